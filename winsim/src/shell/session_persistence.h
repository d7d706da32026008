// The user's session's part of the machine's state file: Program Manager's groups, the
// programs started and the misbehaviour asked of them.
#pragma once

#include "shell/shell_state.h"

#include <toml++/toml.h>

namespace winsim::detail {

void write_session(const MachineState& machine, toml::table& table);
void read_session(MachineState& machine, const toml::table& table);

}  // namespace winsim::detail
