// WIN.INI as the machine's own parts (the spooler) keep their entries in it: on NT the
// sections Windows maps to the user's registry live there, on 95/98 in the file.
#pragma once

#include "core/state.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace winsim::detail {

std::optional<std::string> win_ini_value(const MachineState& machine, std::string_view section, std::string_view key);
// Every key of the section with its value, read in one pass.
std::vector<std::pair<std::string, std::string>> win_ini_entries(const MachineState& machine, std::string_view section);
// Sets the key, or deletes it without a value.
void write_win_ini(MachineState& machine, std::string_view section, std::string_view key,
                   std::optional<std::string_view> value);

}  // namespace winsim::detail
