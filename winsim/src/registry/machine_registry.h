// The machine's own parts (services, spooler) read their settings from its registry the
// way Windows keeps them: a subkey found by name without regard to case, numbers as
// REG_DWORD, texts with their terminators.
#pragma once

#include "core/state.h"

#include <optional>
#include <string>
#include <string_view>

namespace winsim::detail {

// The subkey of `parent` named `name` without regard to case, as it is spelt.
std::optional<std::string> find_subkey(const MachineState& machine, const std::string& parent, std::string_view name);
DWORD read_dword(const MachineState& machine, std::string_view path, std::string_view name, DWORD fallback = 0);
std::string read_string(const MachineState& machine, std::string_view path, std::string_view name);

}  // namespace winsim::detail
