// Finding one string of a 16-bit module's string table.
#pragma once

#include "module_file.h"

#include <cstdint>
#include <optional>

namespace brg32res {

// Where a string's ANSI text lies in the file: at most 255 bytes, as NE keeps them.
struct StringPlace {
    std::uint64_t offset = 0;
    std::uint8_t length = 0;
};

// The place of the string of that ID, or nothing when the file is no NE image, is cut
// short before the string's end, or holds no such string.
std::optional<StringPlace> find_ne_string(ModuleFile& file, std::uint16_t id);

}  // namespace brg32res
