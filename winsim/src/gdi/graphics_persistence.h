// The devices of a machine's printer drivers and its screen's character set, kept in
// the machine's state file so that a machine opened again draws as it did. The jobs
// printed stay in their files.
#pragma once

#include "core/state.h"

#include <toml++/toml.h>

namespace winsim::detail {

void write_graphics(const MachineState& machine, toml::table& table);
void read_graphics(MachineState& machine, const toml::table& table);

}  // namespace winsim::detail
