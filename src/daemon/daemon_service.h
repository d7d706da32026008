// The product's daemon as a Windows service on the NT family: its program copied into
// the system directory and registered to start with Windows, and taken out again.
#pragma once

#include "platform.h"

// The path the service's program is copied to: the system directory, a "\" unless it
// ends in one already (a root), and the name part of `program`. 0, or
// ERROR_FILENAME_EXCED_RANGE when it does not fit `size` characters.
LONG service_program_path(LPCSTR system_directory, LPCSTR program, LPSTR path, DWORD size);
