// What starts with every logon on a machine, as the setup author checks it after
// installing the daemon as a Startup entry: Program Manager's groups and items, the
// links of the Startup folders with their targets, and the programs started.
#pragma once

#include <winsim/machine.h>

#include <cstdio>

namespace orvsetup {

// Aligned and readable, for a person.
void print_startup(std::FILE* out, winsim::Machine& machine);
// One JSON object a line: a group, a link or a program.
void print_startup_json(std::FILE* out, winsim::Machine& machine);

}  // namespace orvsetup
