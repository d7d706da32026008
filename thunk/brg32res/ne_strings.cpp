// An NE image keeps its resources in one table after the NE header: a shift count,
// then per type an 8-byte entry (type, count, reserved) followed by 12-byte entries
// for each resource (offset and length in units of 1 << shift, flags, ID, reserved).
// Strings come in blocks of 16: block N + 1 holds IDs 16 N to 16 N + 15, each a
// length byte and that many ANSI bytes.
#include "ne_strings.h"

namespace brg32res {

namespace {

constexpr std::uint64_t dos_new_header_field = 0x3C;
constexpr std::uint64_t ne_resource_table_field = 0x24;
constexpr std::uint16_t integer_id = 0x8000;
constexpr std::uint16_t rt_string = 6;
constexpr std::uint64_t type_entry_size = 8;
constexpr std::uint64_t resource_entry_size = 12;
constexpr unsigned strings_per_block = 16;
// Shifts beyond this would put every resource past any file this module can be.
constexpr std::uint16_t largest_shift = 24;

struct Block {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

bool has_signature(ModuleFile& file, std::uint64_t offset, char first, char second) {
    char bytes[2] = {};
    return file.read(offset, bytes, sizeof bytes) && bytes[0] == first && bytes[1] == second;
}

std::optional<std::uint64_t> resource_table(ModuleFile& file) {
    if (!has_signature(file, 0, 'M', 'Z')) return std::nullopt;
    std::optional<std::uint32_t> ne_header = file.u32(dos_new_header_field);
    if (!ne_header || !has_signature(file, *ne_header, 'N', 'E')) return std::nullopt;
    std::optional<std::uint16_t> table = file.u16(*ne_header + ne_resource_table_field);
    if (!table) return std::nullopt;
    return std::uint64_t{*ne_header} + *table;
}

// The string block holding `block_id`, walking the table until its zero type ends it
// or a read falls outside the file; every entry moves the walk forward, so it ends.
std::optional<Block> find_string_block(ModuleFile& file, std::uint64_t table, std::uint16_t block_id) {
    std::optional<std::uint16_t> shift = file.u16(table);
    if (!shift || *shift > largest_shift) return std::nullopt;
    std::uint64_t entry = table + 2;
    for (;;) {
        std::optional<std::uint16_t> type = file.u16(entry);
        std::optional<std::uint16_t> count = file.u16(entry + 2);
        if (!type || *type == 0 || !count) return std::nullopt;
        entry += type_entry_size;
        if (*type != (integer_id | rt_string)) {
            entry += *count * resource_entry_size;
            continue;
        }
        for (std::uint16_t index = 0; index < *count; ++index, entry += resource_entry_size) {
            std::optional<std::uint16_t> id = file.u16(entry + 6);
            if (!id) return std::nullopt;
            if (*id != (integer_id | block_id)) continue;
            std::optional<std::uint16_t> offset = file.u16(entry);
            std::optional<std::uint16_t> length = file.u16(entry + 2);
            if (!offset || !length) return std::nullopt;
            return Block{std::uint64_t{*offset} << *shift, std::uint64_t{*length} << *shift};
        }
        return std::nullopt;
    }
}

}  // namespace

std::optional<StringPlace> find_ne_string(ModuleFile& file, std::uint16_t id) {
    std::optional<std::uint64_t> table = resource_table(file);
    if (!table) return std::nullopt;
    const std::uint16_t block_id = static_cast<std::uint16_t>(id / strings_per_block + 1);
    std::optional<Block> block = find_string_block(file, *table, block_id);
    if (!block) return std::nullopt;
    // The block's texts must lie inside the block as well as inside the file.
    const std::uint64_t block_end = block->offset + block->length;
    std::uint64_t at = block->offset;
    for (unsigned slot = 0; slot < id % strings_per_block; ++slot) {
        std::optional<std::uint8_t> length = at < block_end ? file.u8(at) : std::nullopt;
        if (!length) return std::nullopt;
        at += 1u + *length;
    }
    std::optional<std::uint8_t> length = at < block_end ? file.u8(at) : std::nullopt;
    if (!length || at + 1 + *length > block_end || !file.holds(at + 1, *length)) return std::nullopt;
    return StringPlace{at + 1, *length};
}

}  // namespace brg32res
