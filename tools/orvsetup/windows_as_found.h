// What a setup program finds on every Windows machine and a new Wine prefix lacks.
#pragma once

namespace orvsetup {

// Starts the spooler and makes the folders Windows has from its installation on: the
// print processor directory (Windows keeps its own processor there), 95/98's system
// directory, and on 95/98 and NT 4.0 the Startup folder under the Windows directory.
// Where they are, nothing changes.
void lay_out_windows_as_found();

}  // namespace orvsetup
