#include "images/image_reader.h"

#include "images/byte_reader.h"

#include <algorithm>

namespace winsim::detail {

namespace {

// Limits that no image the loader accepts comes near; they keep a corrupt count from
// making a reader loop for long.
constexpr std::uint64_t most_sections = 96;
constexpr std::uint64_t most_exports = 65536;
constexpr std::uint64_t most_directory_entries = 4096;
constexpr std::size_t longest_export_name = 4096;


constexpr std::uint32_t subdirectory_flag = 0x80000000;

char to_ansi(std::uint16_t unit) {
    // The texts are ASCII; anything past Latin-1 has no byte of its own here.
    return unit < 0x100 ? static_cast<char>(unit) : '?';
}

}  // namespace

std::optional<Image> Image::parse(std::string bytes) {
    Image image;
    image.bytes_ = std::move(bytes);
    const ByteReader file(image.bytes_);
    if (!file.has(0, 0x40) || !file.starts_with(0, "MZ")) return std::nullopt;
    const std::uint64_t new_header = *file.u32(0x3C);
    if (file.starts_with(new_header, std::string_view("PE\0\0", 4))) {
        if (!image.parse_pe(new_header)) return std::nullopt;
        return image;
    }
    if (file.starts_with(new_header, "NE")) {
        if (!image.parse_ne(new_header)) return std::nullopt;
        return image;
    }
    return std::nullopt;
}

bool Image::parse_pe(std::uint64_t nt_headers) {
    const ByteReader file(bytes_);
    const std::uint64_t coff = nt_headers + 4;
    if (!file.has(coff, 20)) return false;
    machine_ = *file.u16(coff);
    const std::uint64_t section_count = *file.u16(coff + 2);
    const std::uint64_t optional_size = *file.u16(coff + 16);
    dll_ = *file.u16(coff + 18) & image_file_dll;
    const std::uint64_t optional = coff + 20;
    if (!file.has(optional, optional_size) || optional_size < 2) return false;
    std::uint64_t directory_count_at;
    switch (*file.u16(optional)) {
    case optional_magic_pe32:
        format_ = ImageFormat::pe32;
        directory_count_at = 92;
        break;
    case optional_magic_pe32_plus:
        format_ = ImageFormat::pe32_plus;
        directory_count_at = 108;
        break;
    default:
        return false;
    }
    if (optional_size < directory_count_at + 4) return false;
    if (section_count > most_sections) return false;
    const std::uint64_t section_table = optional + optional_size;
    for (std::uint64_t i = 0; i < section_count; ++i) {
        const std::uint64_t at = section_table + 40 * i;
        if (!file.has(at, 40)) return false;
        sections_.push_back({*file.u32(at + 12), *file.u32(at + 8), *file.u32(at + 20), *file.u32(at + 16)});
    }
    // A directory counts only when the optional header really holds it.
    const std::uint64_t directory_count =
        std::min<std::uint64_t>(*file.u32(optional + directory_count_at), (optional_size - directory_count_at - 4) / 8);
    auto directory = [&](std::uint64_t index, std::uint64_t& rva, std::uint64_t& size) {
        rva = size = 0;
        if (index >= directory_count) return;
        const std::uint64_t at = optional + directory_count_at + 4 + 8 * index;
        rva = *file.u32(at);
        size = *file.u32(at + 4);
    };
    std::uint64_t export_rva, export_size;
    directory(0, export_rva, export_size);
    if (export_rva && export_size) read_exports(export_rva, export_size);
    directory(2, resource_rva_, resource_size_);
    return true;
}

std::optional<std::uint64_t> Image::file_offset(std::uint64_t rva, std::uint64_t size) const {
    for (const Section& section : sections_) {
        const std::uint64_t extent = std::max(section.virtual_size, section.raw_size);
        if (rva < section.rva || rva - section.rva >= extent) continue;
        const std::uint64_t into = rva - section.rva;
        // Only what the file holds can be read; the rest of a section is zeros in
        // memory, which no lookup here needs.
        if (into > section.raw_size || size > section.raw_size - into) return std::nullopt;
        const std::uint64_t offset = section.raw_pointer + into;
        if (!ByteReader(bytes_).has(offset, size)) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

void Image::read_exports(std::uint64_t rva, std::uint64_t size) {
    const ByteReader file(bytes_);
    std::optional<std::uint64_t> directory = file_offset(rva, 40);
    if (!directory) return;
    const std::uint64_t name_count = *file.u32(*directory + 24);
    const std::uint64_t names_rva = *file.u32(*directory + 32);
    if (name_count > most_exports) return;
    std::optional<std::uint64_t> names = file_offset(names_rva, 4 * name_count);
    if (!names) return;
    for (std::uint64_t i = 0; i < name_count; ++i) {
        std::optional<std::uint64_t> name = file_offset(*file.u32(*names + 4 * i), 1);
        if (!name) continue;
        if (std::optional<std::string> text = file.c_string(*name, longest_export_name)) exports_.push_back(std::move(*text));
    }
}

bool Image::has_export(std::string_view name) const {
    return std::find(exports_.begin(), exports_.end(), name) != exports_.end();
}

bool Image::parse_ne(std::uint64_t ne_header) {
    const ByteReader file(bytes_);
    if (!file.has(ne_header, 0x40)) return false;
    format_ = ImageFormat::ne;
    dll_ = *file.u16(ne_header + 0x0C) & 0x8000;
    const std::uint64_t resource_table = *file.u16(ne_header + 0x24);
    const std::uint64_t resident_names = *file.u16(ne_header + 0x26);
    // An empty resource table is none at all: the next table starts where it would.
    ne_has_resources_ = resource_table != resident_names;
    ne_resource_table_ = ne_header + resource_table;
    return true;
}

ResourceData Image::find_resource(WORD type, WORD id) const {
    return format_ == ImageFormat::ne ? find_ne_resource(type, id) : find_pe_resource(type, id);
}

ResourceData Image::find_pe_resource(WORD type, WORD id) const {
    ResourceData result;
    const ByteReader file(bytes_);
    if (!resource_rva_ || !resource_size_) return result;
    std::optional<std::uint64_t> root = file_offset(resource_rva_, 16);
    if (!root) return result;

    // One level of the tree: the entry of `wanted` (any entry when there is none to
    // want, as for the language), or nothing.
    auto entry_of = [&](std::uint64_t directory, std::optional<WORD> wanted) -> std::optional<std::uint32_t> {
        if (!file.has(directory, 16)) return std::nullopt;
        const std::uint64_t count = std::uint64_t{*file.u16(directory + 12)} + *file.u16(directory + 14);
        for (std::uint64_t i = 0; i < std::min(count, most_directory_entries); ++i) {
            const std::uint64_t entry = directory + 16 + 8 * i;
            if (!file.has(entry, 8)) return std::nullopt;
            const std::uint32_t name = *file.u32(entry);
            if (wanted && name != *wanted) continue;  // a named entry has its top bit set and never matches
            return *file.u32(entry + 4);
        }
        return std::nullopt;
    };
    // Offsets inside the tree count from the root and must stay inside the section.
    auto inside = [&](std::uint32_t value) -> std::optional<std::uint64_t> {
        const std::uint64_t offset = value & ~subdirectory_flag;
        if (offset >= resource_size_) return std::nullopt;
        std::optional<std::uint64_t> at = file_offset(resource_rva_ + offset, 16);
        return at;
    };

    std::optional<std::uint32_t> type_entry = entry_of(*root, type);
    if (!type_entry || !(*type_entry & subdirectory_flag)) {
        result.lookup = ResourceLookup::no_type;
        return result;
    }
    result.lookup = ResourceLookup::no_name;
    std::optional<std::uint64_t> names = inside(*type_entry);
    if (!names) return result;
    std::optional<std::uint32_t> name_entry = entry_of(*names, id);
    if (!name_entry || !(*name_entry & subdirectory_flag)) return result;
    std::optional<std::uint64_t> languages = inside(*name_entry);
    if (!languages) return result;
    std::optional<std::uint32_t> language_entry = entry_of(*languages, std::nullopt);
    if (!language_entry || (*language_entry & subdirectory_flag)) return result;
    std::optional<std::uint64_t> data_entry = inside(*language_entry);
    if (!data_entry) return result;
    const std::uint64_t data_rva = *file.u32(*data_entry);
    const std::uint64_t data_size = *file.u32(*data_entry + 4);
    std::optional<std::uint64_t> data = file_offset(data_rva, data_size);
    if (!data) return result;
    result.lookup = ResourceLookup::found;
    result.bytes = file.view(*data, data_size);
    result.file_offset = static_cast<std::size_t>(*data);
    return result;
}

ResourceData Image::find_ne_resource(WORD type, WORD id) const {
    ResourceData result;
    if (!ne_has_resources_) return result;
    const ByteReader file(bytes_);
    std::optional<std::uint16_t> shift = file.u16(ne_resource_table_);
    // A shift past 15 would move every offset out of a 16-bit image's reach.
    if (!shift || *shift > 15) return result;
    result.lookup = ResourceLookup::no_type;
    std::uint64_t at = ne_resource_table_ + 2;
    for (std::uint64_t types = 0; types < most_directory_entries; ++types) {
        std::optional<std::uint16_t> type_id = file.u16(at);
        if (!type_id || *type_id == 0) return result;
        std::optional<std::uint16_t> count = file.u16(at + 2);
        if (!count) return result;
        const std::uint64_t names = at + 8;
        if (*type_id == (0x8000 | type)) {
            result.lookup = ResourceLookup::no_name;
            for (std::uint64_t i = 0; i < *count; ++i) {
                const std::uint64_t entry = names + 12 * i;
                if (!file.has(entry, 12)) return result;
                if (*file.u16(entry + 6) != (0x8000 | id)) continue;
                const std::uint64_t offset = std::uint64_t{*file.u16(entry)} << *shift;
                const std::uint64_t length = std::uint64_t{*file.u16(entry + 2)} << *shift;
                if (!file.has(offset, length)) return result;
                result.lookup = ResourceLookup::found;
                result.bytes = file.view(offset, length);
                result.file_offset = static_cast<std::size_t>(offset);
                return result;
            }
            return result;
        }
        at = names + 12 * std::uint64_t{*count};
    }
    return result;
}

StringLookup Image::load_string(UINT id) const {
    StringLookup result;
    const WORD block = static_cast<WORD>((id & 0xFFFF) / 16 + 1);
    const unsigned slot = id % 16;
    ResourceData data = find_resource(resource_type_string, block);
    result.lookup = data.lookup;
    if (data.lookup != ResourceLookup::found) return result;
    const ByteReader table(data.bytes);
    std::uint64_t at = 0;
    const bool unicode = format_ != ImageFormat::ne;
    for (unsigned i = 0; i <= slot; ++i) {
        std::optional<std::uint16_t> length = unicode ? table.u16(at) : std::optional<std::uint16_t>(table.u8(at));
        if (!length) return result;  // a block cut short has nothing from there on
        at += unicode ? 2 : 1;
        const std::uint64_t size = unicode ? 2ull * *length : *length;
        if (!table.has(at, size)) return result;
        if (i == slot) {
            if (unicode)
                for (std::uint64_t c = 0; c < *length; ++c) result.text += to_ansi(*table.u16(at + 2 * c));
            else
                result.text = std::string(table.view(at, size));
        }
        at += size;
    }
    return result;
}

}  // namespace winsim::detail
