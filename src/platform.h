// The library's one door to the operating system: the Windows SDK on Windows, winsim
// elsewhere. Nothing else in the library knows which one it got.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <winsim/windows.h>
#endif
