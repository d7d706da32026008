// The services' and the spooler's part of the machine's state file.
#pragma once

#include "services/service_state.h"

#include <toml++/toml.h>

namespace winsim::detail {

void write_services(const MachineState& machine, toml::table& table);
void read_services(MachineState& machine, const toml::table& table);
void write_spooler(const MachineState& machine, toml::table& table);
void read_spooler(MachineState& machine, const toml::table& table);

}  // namespace winsim::detail
