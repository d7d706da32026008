// Replacements and deletions left to the next start of Windows: PendingFileRenameOperations
// on NT, the [Rename] section of WININIT.INI on 95/98.
#pragma once

#include "platform.h"

// Removes every pending operation that names the file, so that a restart cannot undo a
// copy made now. Upper-cases `path` in place. Reports nothing.
void remove_pending_replacements(LPSTR path);

// Adds "short destination=short source" below the [Rename] header of WININIT.INI (the
// destination "NUL" stays as it is): 1 when the line is in the file afterwards, else 0.
LONG add_wininit_rename(LPCSTR source, LPCSTR destination);
