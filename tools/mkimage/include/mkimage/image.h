// Whole images that Windows would load: PE32 and PE32+ DLLs and programs with a
// string table, a version resource and named exports, and NE modules with the same
// resources in their 16-bit forms. Tests lay them out on a simulated disk; the same
// bytes load on Windows, so a conformance run can put both side by side.
#pragma once

#include <mkimage/headers.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mkimage {

enum class ImageKind { pe32, pe32_plus, ne };

// a.b.c.d, as a version resource keeps it in two DWORDs (a.b and c.d).
struct VersionNumber {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;
    std::uint32_t high() const { return static_cast<std::uint32_t>(major) << 16 | minor; }
    std::uint32_t low() const { return static_cast<std::uint32_t>(build) << 16 | revision; }
};

struct Translation {
    std::uint16_t language = 0x0409;
    std::uint16_t code_page = 1252;
    // "040904E4": the name of the string table of this translation.
    std::string key() const;
};

// One StringFileInfo table: its translation names it, values keep their order.
struct VersionStrings {
    Translation translation;
    std::vector<std::pair<std::string, std::string>> values;  // "CompanyName", "..."
};

inline constexpr std::uint32_t vs_ffi_fileflagsmask = 0x3F;
inline constexpr std::uint32_t vos_dos_windows16 = 0x00010001;
inline constexpr std::uint32_t vos_nt_windows32 = 0x00040004;
inline constexpr std::uint32_t vft_app = 1;
inline constexpr std::uint32_t vft_dll = 2;
inline constexpr std::uint32_t vft_drv = 3;
inline constexpr std::uint32_t vft2_drv_printer = 1;

struct VersionInfo {
    VersionNumber file_version;
    VersionNumber product_version;
    std::uint32_t file_flags_mask = vs_ffi_fileflagsmask;
    std::uint32_t file_flags = 0;
    std::optional<std::uint32_t> file_os;    // default: 16-bit Windows for NE, Win32 on NT otherwise
    std::optional<std::uint32_t> file_type;  // default: VFT_DLL or VFT_APP after the recipe
    std::uint32_t file_subtype = 0;
    std::uint32_t file_date_ms = 0;
    std::uint32_t file_date_ls = 0;
    // VarFileInfo\Translation, in this order; empty leaves VarFileInfo out.
    std::vector<Translation> translations;
    // StringFileInfo's tables; empty leaves StringFileInfo out.
    std::vector<VersionStrings> string_tables;
};

struct ImageRecipe {
    ImageKind kind = ImageKind::pe32;
    bool dll = true;
    std::string module_name = "IMAGE";  // NE module name; PE export directory name (with ".DLL")
    std::uint16_t language = 0x0409;    // of every resource
    // The string table. Texts are ANSI (code page 1252); a PE keeps them in UTF-16.
    std::map<std::uint16_t, std::string> strings;
    std::optional<VersionInfo> version;
    // Bitmap resources of a PE by ID, each as a .bmp file holds it less its file
    // header (BITMAPINFOHEADER, colours, bits). NE images take none.
    std::map<std::uint16_t, std::string> bitmaps;
    // Named exports of a PE, each a function that returns 0. NE images take none.
    std::vector<std::string> exports;
};

// Where build_image put what a test may want to break; 0 for what the image
// does not have. Offsets are from the start of the file.
struct ImageMap {
    std::size_t resources = 0;       // PE: the root resource directory; NE: the resource table
    std::size_t resources_size = 0;  // PE: the .rsrc section's raw size; NE: the table's size
    std::size_t exports = 0;         // PE: the export directory
    std::size_t version = 0;         // the version resource's data
    std::size_t version_size = 0;
};

// A complete image after `recipe`. Throws std::invalid_argument for what the format
// cannot hold (an NE string over 255 bytes, exports or bitmaps in an NE image).
std::string build_image(const ImageRecipe& recipe, ImageMap* map = nullptr);

// The version resource's bytes alone, as it sits in the image: UTF-16 nodes with a
// type field for PE, ANSI nodes without one for NE.
std::string version_resource(const VersionInfo& info, ImageKind kind, bool dll);

}  // namespace mkimage
