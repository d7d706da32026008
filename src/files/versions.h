// What files say of their own versions, and which of two is the newer.
#pragma once

#include "platform.h"

// CompareFileTime on the last-write times of two open files: -1, 0 or 1.
LONG compare_file_times(HANDLE a, HANDLE b);

// 1 when file A counts as newer than B, -1 when B counts as newer, 0 when equal (or
// neither has version information, or memory ran out). A 16-bit A in another code page
// than B counts as newer.
LONG compare_file_versions(LPCSTR a, LPCSTR b);

// A file's version string, found as the test page looks for it: a bare name in the
// printer driver directory, then on the search path.
struct FileVersion {
    char path[MAX_PATH];  // where the file was found (the name as given when it was not)
    LPCSTR text;          // the version string inside `block`, or null
    HLOCAL block;         // released by release_file_version
};
void get_file_version_string(LPCSTR file_name, FileVersion* version);
void release_file_version(FileVersion* version);
