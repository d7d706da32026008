// A spooler list read the way every list of the library is read: one call for the size
// (its 122 expected), one LocalAlloc block of that size, one call to fill it. A list that
// changes between the two calls is reported as the failure it is; there is no retry.
// And a name looked up in such a list.
#pragma once

#include "platform.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "orvinstl.h"

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

// Whether the list `enumerate(count, error)` gives holds an entry whose `name_of` member
// is `name`, without regard to letter case: 0 with `present` set, -1 while error_flag is
// set, 87 for a null pointer, or the enumeration's error. `present` says 0 whatever the
// answer, and the flag is tested before anything else.
template <typename Info, typename Enumerate>
LONG find_listed_name(LPCSTR name, LPLONG present, Enumerate enumerate, LPSTR Info::*name_of) {
    if (present) *present = 0;
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!name || !present) return ERROR_INVALID_PARAMETER;
    LONG count = 0, error = 0;
    Info* list = enumerate(&count, &error);
    if (!list) return error;
    for (LONG i = 0; i < count && !*present; ++i)
        if (lstrcmpiA(list[i].*name_of, name) == 0) *present = 1;
    LocalFree(list);
    return 0;
}
