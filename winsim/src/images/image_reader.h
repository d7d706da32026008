// Images read from the simulated disk: PE32, PE32+ and NE modules, as far as the
// loader, LoadStringA and the version calls look into them. Every offset comes from
// the file, so every read is checked against its end; a broken image reads as one
// without what is broken, never past its bytes.
#pragma once

#include <winsim/platforms.h>
#include <winsim/windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::detail {

enum class ImageFormat { pe32, pe32_plus, ne };

inline constexpr WORD image_machine_i386 = 0x014C;
inline constexpr WORD image_machine_amd64 = 0x8664;
inline constexpr WORD resource_type_bitmap = 2;
inline constexpr WORD resource_type_string = 6;
inline constexpr WORD resource_type_version = 16;

// How far a resource lookup got, which is what the Win32 error tells apart.
enum class ResourceLookup {
    found,
    no_resources,  // ERROR_RESOURCE_DATA_NOT_FOUND: no resource section or table
    no_type,       // ERROR_RESOURCE_TYPE_NOT_FOUND
    no_name,       // ERROR_RESOURCE_NAME_NOT_FOUND
};

// The Win32 error of a lookup that did not find its resource, or 0.
inline DWORD lookup_error(ResourceLookup lookup) {
    switch (lookup) {
    case ResourceLookup::found: return 0;
    case ResourceLookup::no_resources: return ERROR_RESOURCE_DATA_NOT_FOUND;
    case ResourceLookup::no_type: return ERROR_RESOURCE_TYPE_NOT_FOUND;
    case ResourceLookup::no_name: return ERROR_RESOURCE_NAME_NOT_FOUND;
    }
    return ERROR_RESOURCE_NAME_NOT_FOUND;
}

// PE32+ came with the 64-bit systems of XP's time; an older kernel does not know its
// optional header at all.
inline bool knows_pe32_plus(const PlatformInfo& platform) {
    return platform.family == Family::nt && (platform.major > 5 || (platform.major == 5 && platform.minor >= 1));
}

struct ResourceData {
    ResourceLookup lookup = ResourceLookup::no_resources;
    std::string_view bytes;   // into the image; empty unless found
    std::size_t file_offset = 0;
};

struct StringLookup {
    ResourceLookup lookup = ResourceLookup::no_resources;
    // Found means the block of the ID is there; the ID itself may still be empty.
    std::string text;  // ANSI
};

class Image {
public:
    // The image in `bytes`, or nothing when they hold no PE or NE image whose headers
    // are whole.
    static std::optional<Image> parse(std::string bytes);

    ImageFormat format() const { return format_; }
    WORD machine() const { return machine_; }  // 0 for NE
    bool is_dll() const { return dll_; }
    const std::vector<std::string>& exports() const { return exports_; }
    bool has_export(std::string_view name) const;

    // The resource of that type and ID, in whichever language comes first.
    ResourceData find_resource(WORD type, WORD id) const;
    StringLookup load_string(UINT id) const;

private:
    struct Section {
        std::uint64_t rva, virtual_size, raw_pointer, raw_size;
    };
    Image() = default;
    bool parse_pe(std::uint64_t nt_headers);
    bool parse_ne(std::uint64_t ne_header);
    void read_exports(std::uint64_t rva, std::uint64_t size);
    std::optional<std::uint64_t> file_offset(std::uint64_t rva, std::uint64_t size) const;
    ResourceData find_pe_resource(WORD type, WORD id) const;
    ResourceData find_ne_resource(WORD type, WORD id) const;

    std::string bytes_;
    ImageFormat format_ = ImageFormat::pe32;
    WORD machine_ = 0;
    bool dll_ = false;
    std::vector<std::string> exports_;
    std::vector<Section> sections_;
    std::uint64_t resource_rva_ = 0;
    std::uint64_t resource_size_ = 0;
    std::uint64_t ne_resource_table_ = 0;
    bool ne_has_resources_ = false;
};

}  // namespace winsim::detail
