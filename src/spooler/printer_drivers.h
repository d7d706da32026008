// The printer-driver operations that printer removal shares with driver installation.
#pragma once

#include "platform.h"

// The platform's drivers at level 2 or 3 (a LocalAlloc block the caller frees) or null;
// null with error 0 means no drivers.
LPBYTE enumerate_printer_drivers(DWORD level, LONG* count, LONG* error);

// Puts "*" over the first character of each entry of the dependent-file list that an
// installed driver still depends on, so that its remover leaves it. 0, or the
// enumeration's error code.
LONG mark_shared_dependent_files(LPSTR dependent_files);

// A directory ending in "\" and a file's name (the part of `file` after its last "\")
// joined into `path` (MAX_PATH characters): 0, or 206 recorded when they do not fit.
LONG path_in_directory(LPCSTR directory, LPCSTR file, LPSTR path);
