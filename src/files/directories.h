#pragma once

#include "platform.h"

// Creates the directory and every missing parent, from the top down: 0 when it exists
// afterwards, else a Windows error code. The path may end in "\"; it is the same after
// the call. The first ancestor that existed is left as the current directory.
LONG create_directory_path(LPSTR path);
