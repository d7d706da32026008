// Replacements and deletions left to the next start of Windows: PendingFileRenameOperations
// on NT, the [Rename] section of WININIT.INI on 95/98.
#pragma once

#include "platform.h"

// Takes back every pending operation that concerns the file named by the full path
// `path` (in its long or short form, in any letter case): its deletion, the moves onto
// it, and, when it is itself the copy waiting to replace another file, that whole
// replacement. A deletion always goes together with the move that belongs to it, so a
// restart can never delete a file without putting the new one in its place. The waiting
// copies of the replacements taken back are deleted when they lie in the temporary
// directory. Upper-cases `path` in place. Answers 0 when nothing that concerns the file
// is left pending, else the Windows code of what stood in the way; records nothing.
LONG remove_pending_replacements(LPSTR path);

// Adds "short destination=short source" below the [Rename] header of WININIT.INI (the
// destination "NUL" stays as it is): 1 when the line is in the file afterwards, else 0
// with the reason in the last error (206 for a short form that does not fit MAX_PATH).
LONG add_wininit_rename(LPCSTR source, LPCSTR destination);

// The short (8.3) form of an existing path: false with the last error when there is
// none, and with 206 when it does not fit MAX_PATH, in which case nothing is written.
bool short_path_of(LPCSTR path, LPSTR short_path);
