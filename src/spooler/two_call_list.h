// A spooler list read the way every list of the library is read: one call for the size
// (its 122 expected), one LocalAlloc block of that size, one call to fill it. A list that
// changes between the two calls is reported as the failure it is; there is no retry.
#pragma once

#include "platform.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"

// `call(buffer, size, needed, returned)` is the spooler enumeration. Answers the block
// (the caller's to LocalFree) or null; null with error 0 is an empty list.
template <typename EnumerationCall>
LPBYTE read_two_call_list(EnumerationCall call, UINT sizing_message, UINT filling_message, LONG* count, LONG* error) {
    *count = 0;
    *error = 0;
    DWORD needed = 0, returned = 0;
    if (!call(nullptr, 0, &needed, &returned)) {
        LONG code = record_last_error(sizing_message, nullptr, ERROR_INSUFFICIENT_BUFFER, 0);
        if (code != 0 && code != ERROR_INSUFFICIENT_BUFFER) {
            *error = code;
            return nullptr;
        }
    }
    if (needed == 0) return nullptr;
    auto* block = static_cast<LPBYTE>(LocalAlloc(LPTR, needed));
    if (!block) {
        *error = record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        return nullptr;
    }
    if (!call(block, needed, &needed, &returned)) {
        *error = record_last_error(filling_message, nullptr, 0, 0);
        LocalFree(block);
        return nullptr;
    }
    *count = static_cast<LONG>(returned);
    return block;
}
