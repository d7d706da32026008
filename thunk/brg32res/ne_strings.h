// Finding one string of a 16-bit module's string table.
#pragma once

#include "module_file.h"

#include <cstdint>
#include <optional>
#include <string>

namespace brg32res {

// The string of that ID, or nothing when the file is no NE image, is cut short on the
// way, or holds no such string. Texts are ANSI and at most 255 bytes, as NE keeps them.
std::optional<std::string> find_ne_string(ModuleFile& file, std::uint16_t id);

}  // namespace brg32res
