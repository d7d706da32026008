// A shell link (.lnk file) made through the shell's link object.
#pragma once

#include "platform.h"

// Saves a link at `link` (overwriting one that is there) to `target` with that
// description and, when given, arguments and working directory. The HRESULT of the save,
// or of the first step that failed.
HRESULT create_shell_link(LPCSTR target, LPCSTR link, LPCSTR description, LPCSTR arguments, LPCSTR working_directory);
