// Putting one of the product's spooler components (a port monitor, a print processor)
// where the spooler loads it from.
#pragma once

#include "platform.h"

// Copies the file to where it is installed: 0 when the copy counts as done (-12 and -13
// included; -13 also asks for a restart), else the safe copy's code recorded with the
// copying message and the source path.
LONG install_component_file(LPCSTR path, LPCSTR installed_path);
