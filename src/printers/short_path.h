// The short (8.3) form of an existing file's path, which the 16-bit driver can open.
#pragma once

#include "platform.h"

// Into `buffer` of MAX_PATH characters; false, the buffer's text not to be used, when the
// file has none or it would not fit.
inline bool short_path_of(LPCSTR path, LPSTR buffer) {
    const DWORD length = GetShortPathNameA(path, buffer, MAX_PATH);
    return length != 0 && length < MAX_PATH;
}
