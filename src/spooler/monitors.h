// The product's port monitor: whether the spooler has it, putting it in, taking it out.
#pragma once

#include "platform.h"

// The registered monitors at level 1 (a LocalAlloc block the caller frees) or null;
// null with error 0 means none.
MONITOR_INFO_1A* enumerate_monitors(LONG* count, LONG* error);

// Removes a registered monitor; with delete_file its DLL in the system directory goes
// too (at the next start of Windows when it is in use).
LONG delete_monitor(LPCSTR name, LONG delete_file);

// Copies the modules the monitor needs beside it (95/98 only): 1, or 0 when one failed.
LONG copy_monitor_companions(LPCSTR monitor_path);

// Copies the dialog program and the modules it needs from the source's directory to
// the program's: 1, or 0 when something failed.
LONG copy_dialog_companions(LPCSTR source_path, LPCSTR program_path);
