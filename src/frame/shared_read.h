// A file opened only to be read, while other programs may go on reading and writing it.
#pragma once

#include "platform.h"

inline HANDLE open_for_shared_reading(LPCSTR path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}
