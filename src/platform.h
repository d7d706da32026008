// The library's one door to the operating system: the Windows SDK on Windows, winsim
// elsewhere. Nothing else in the library knows which one it got.
#pragma once

#ifdef _WIN32
#include <windows.h>
// The shell's link object, for the daemon's Startup entry.
#include <shlobj.h>
// A UTF-16 literal, as the wide calls take it.
#define WIDE_TEXT(text) L##text
#else
// The library opens files on Windows paths with fopen; winsim serves them from the
// simulated drive.
#define WINSIM_REDIRECT_STDIO
#include <winsim/windows.h>
#define WIDE_TEXT(text) u##text
#endif
