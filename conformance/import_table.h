// A loaded module's import address table, where the module finds the functions it
// imports: the lane points entries of OrvInstl.dll's table at its own functions, so
// that it sees the library's calls of them (Windows only).
#pragma once

#include <windows.h>

namespace conformance {

// Points the module's entry for `function` of `dll` (its file name, compared without
// regard to case) at `replacement`. Answers the address the entry held, or null when
// the module imports no such function by name (nothing is changed then).
void* replace_import(HMODULE module, const char* dll, const char* function, void* replacement);

}  // namespace conformance
