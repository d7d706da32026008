// The platform the library runs on, worked out once when it is attached.
#pragma once

#include "platform.h"

// Each holds 0 or 1; all are 0 until the library is attached.
extern LONG os_is_nt;
extern LONG os_is_9x;
extern LONG os_is_win95;
extern LONG os_is_win98;
extern LONG os_is_nt351;
extern LONG os_is_nt4;
extern LONG os_is_nt5;
extern LONG os_is_terminal_server;
// The library runs as a 64-bit program.
extern LONG runs_as_x64;

// The library's own module, for its string table and bitmap.
extern HINSTANCE module_handle;

// All flags 0, as a new process has them.
void reset_platform_flags();

// Sets the flags from GetVersionExA; false when the version cannot be had (the flags
// then stay as they were).
bool detect_platform();

// The print environment every spooler call is given: "Windows 4.0" on 95/98, else that
// of the processor the library runs as ("Windows NT x86" for the product's 32-bit build).
LPCSTR print_environment();
