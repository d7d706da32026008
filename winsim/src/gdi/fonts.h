// Fonts as a device realises them: the host's face that stands for the face a program
// names (fontconfig, with Liberation's metric-compatible faces for the core Windows
// ones), read with FreeType and measured as GDI measures a TrueType font, so that the
// text a page measures is the text it shows.
#pragma once

#include <winsim/windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

typedef struct FT_FaceRec_* FT_Face;

namespace winsim::detail {

struct HostFace;

class RealizedFont {
public:
    // The face a LOGFONTA names at a cell or character height in device units
    // (lfHeight already mapped); nullptr-like (!valid()) when no face was found.
    static RealizedFont realize(const LOGFONTA& font, LONG device_height, bool device_font);

    bool valid() const { return face_ != nullptr; }
    const TEXTMETRICA& metrics() const { return metrics_; }
    // The family that draws it ("Liberation Serif").
    const std::string& family() const;
    // The size of its em, in device units: what a renderer scales the face to.
    double em_size() const { return em_size_; }
    FT_Face ft_face() const;

    // A character's advance in device units (code page 1252 byte).
    LONG advance(unsigned char c) const;
    // The width of a run; with tab stops, tabs go to the next multiple of tab_width
    // counted from `start` (the run's position on its line).
    LONG width(std::string_view text, LONG start = 0, LONG tab_width = 0) const;
    // The glyph of a character, for drawing it.
    unsigned glyph(unsigned char c) const;

private:
    std::shared_ptr<HostFace> face_;
    double scale_ = 0;  // device units per font unit
    double em_size_ = 0;
    TEXTMETRICA metrics_{};
};

// The default height of a device's own font: 12 points (10 characters an inch for a
// fixed-pitch face), in device units.
LONG default_font_height(int dpi_y);

}  // namespace winsim::detail
