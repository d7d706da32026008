#include "gdi/fonts.h"

#include "core/names.h"
#include "kernel/code_page_1252.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>

namespace winsim::detail {

// A face file of the host, read once for the whole process: its vertical metrics as
// GDI reads them (the OS/2 table's Windows ascent and descent) and the advance of each
// character of code page 1252, in font units.
struct HostFace {
    FT_Face face = nullptr;
    std::string family;
    int units_per_em = 0;
    int win_ascent = 0;
    int win_descent = 0;
    int line_gap = 0;  // hhea's, beyond what the Windows ascent and descent cover
    int average_width = 0;
    int max_advance = 0;
    bool fixed_pitch = false;
    bool serif = false;
    std::array<unsigned, 256> glyphs{};
    std::array<long, 256> advances{};
};

namespace {

// The faces every Windows of these generations has, and the metric-compatible
// faces that stand for them here.
constexpr std::pair<std::string_view, std::string_view> substitutes[] = {
    {"Times New Roman", "Liberation Serif"}, {"Courier New", "Liberation Mono"}, {"Courier", "Liberation Mono"},
    {"Arial", "Liberation Sans"},           {"Helvetica", "Liberation Sans"},  {"Times", "Liberation Serif"},
};

std::string host_family(std::string_view face) {
    for (const auto& [windows_face, host_face] : substitutes)
        if (same_name(windows_face, face)) return std::string(host_face);
    return std::string(face);
}

FT_Library freetype() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        FT_Init_FreeType(&made);
        return made;
    }();
    return library;
}

// The file fontconfig gives for a family, with the weight and slant asked for.
std::string match_file(const std::string& family, bool bold, bool italic, std::string& matched_family) {
    // Fontconfig's configuration is read once and given back when the process ends.
    static const bool initialised = [] {
        FcInit();
        std::atexit(FcFini);
        return true;
    }();
    (void)initialised;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    if (match) {
        FcChar8* path = nullptr;
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) file = reinterpret_cast<const char*>(path);
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) matched_family = reinterpret_cast<const char*>(name);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

std::shared_ptr<HostFace> read_face(const std::string& file, const std::string& family) {
    auto host = std::make_shared<HostFace>();
    if (FT_New_Face(freetype(), file.c_str(), 0, &host->face) != 0) return nullptr;
    FT_Face face = host->face;
    host->family = family;
    host->units_per_em = face->units_per_EM ? face->units_per_EM : 2048;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    host->win_ascent = os2 ? os2->usWinAscent : face->ascender;
    host->win_descent = os2 ? os2->usWinDescent : -face->descender;
    if (hhea) {
        const int hhea_height = hhea->Ascender - hhea->Descender + hhea->Line_Gap;
        host->line_gap = std::max(0, hhea_height - (host->win_ascent + host->win_descent));
    }
    host->average_width = os2 ? os2->xAvgCharWidth : host->units_per_em / 2;
    host->max_advance = face->max_advance_width;
    host->fixed_pitch = FT_IS_FIXED_WIDTH(face);
    host->serif = family.find("Serif") != std::string::npos || family.find("Times") != std::string::npos;
    for (unsigned byte = 0; byte < 256; ++byte) {
        host->glyphs[byte] = FT_Get_Char_Index(face, from_1252(static_cast<unsigned char>(byte)));
        FT_Fixed advance = 0;
        FT_Get_Advance(face, host->glyphs[byte], FT_LOAD_NO_SCALE, &advance);
        host->advances[byte] = advance;
    }
    return host;
}

std::shared_ptr<HostFace> host_face(std::string_view face, bool bold, bool italic) {
    static std::mutex guard;
    static std::map<std::string, std::shared_ptr<HostFace>, LessNoCase> faces;
    std::lock_guard lock(guard);
    const std::string key = std::string(face) + (bold ? ":bold" : "") + (italic ? ":italic" : "");
    auto it = faces.find(key);
    if (it != faces.end()) return it->second;
    std::string family;
    const std::string file = match_file(host_family(face), bold, italic, family);
    std::shared_ptr<HostFace> read = file.empty() ? nullptr : read_face(file, family);
    faces.emplace(key, read);
    return read;
}

LONG rounded(double value) { return static_cast<LONG>(std::lround(value)); }

}  // namespace

LONG default_font_height(int dpi_y) { return -(12 * dpi_y + 36) / 72; }

RealizedFont RealizedFont::realize(const LOGFONTA& font, LONG device_height, bool device_font) {
    RealizedFont realized;
    std::string face(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE));
    // A LOGFONT without a face gets the face of its pitch, as the font mapper picks one.
    if (face.empty()) face = (font.lfPitchAndFamily & 0x03) == FIXED_PITCH ? "Courier New" : "Times New Roman";
    realized.face_ = host_face(face, font.lfWeight >= FW_SEMIBOLD, font.lfItalic != 0);
    if (!realized.face_) return realized;
    const HostFace& host = *realized.face_;
    // A positive height is the cell (ascent and descent), a negative one the em.
    if (device_height > 0) realized.scale_ = static_cast<double>(device_height) / (host.win_ascent + host.win_descent);
    else realized.scale_ = static_cast<double>(-device_height) / host.units_per_em;
    realized.em_size_ = host.units_per_em * realized.scale_;

    TEXTMETRICA& metrics = realized.metrics_;
    metrics.tmAscent = rounded(host.win_ascent * realized.scale_);
    metrics.tmDescent = rounded(host.win_descent * realized.scale_);
    metrics.tmHeight = metrics.tmAscent + metrics.tmDescent;
    metrics.tmInternalLeading = std::max<LONG>(0, metrics.tmHeight - rounded(realized.em_size_));
    metrics.tmExternalLeading = rounded(host.line_gap * realized.scale_);
    metrics.tmAveCharWidth = rounded(host.average_width * realized.scale_);
    metrics.tmMaxCharWidth = rounded(host.max_advance * realized.scale_);
    metrics.tmWeight = font.lfWeight >= FW_SEMIBOLD ? FW_BOLD : FW_NORMAL;
    metrics.tmItalic = font.lfItalic ? 1 : 0;
    metrics.tmFirstChar = 0x1E;
    metrics.tmLastChar = 0xFF;
    metrics.tmDefaultChar = 0x1F;
    metrics.tmBreakChar = 0x20;
    // TMPF_FIXED_PITCH set means the font is NOT of fixed pitch.
    const BYTE family = host.fixed_pitch ? FF_MODERN : host.serif ? FF_ROMAN : FF_SWISS;
    metrics.tmPitchAndFamily = static_cast<BYTE>((host.fixed_pitch ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR | TMPF_TRUETYPE |
                                                 (device_font ? TMPF_DEVICE : 0) | family);
    metrics.tmCharSet = font.lfCharSet == DEFAULT_CHARSET ? static_cast<BYTE>(ANSI_CHARSET) : font.lfCharSet;
    return realized;
}

const std::string& RealizedFont::family() const { return face_->family; }

FT_Face RealizedFont::ft_face() const { return face_->face; }

LONG RealizedFont::advance(unsigned char c) const { return rounded(face_->advances[c] * scale_); }

unsigned RealizedFont::glyph(unsigned char c) const { return face_->glyphs[c]; }

LONG RealizedFont::width(std::string_view text, LONG start, LONG tab_width) const {
    LONG x = start;
    for (char c : text) {
        if (c == '\t' && tab_width > 0) x = (x / tab_width + 1) * tab_width;
        else x += advance(static_cast<unsigned char>(c));
    }
    return x - start;
}

}  // namespace winsim::detail
