// Slash paths of registry keys: "HKLM/System/CurrentControlSet/Control/Print".
#pragma once

#include "platform.h"

// Opens the key the path names for reading and writing, creating every missing key on
// the way (on NT with access for everyone). `error` is 0, or the recorded Windows
// error code; the key is the caller's to close only when it is 0.
HKEY traverse_path(LPCSTR path, LONG* error);

// 1 when the key exists (and the value too, when a name is given); creates nothing.
LONG ConfirmRegValueExists(LPCSTR path, LPCSTR value_name);

// Characters, with the terminator, of the buffer a printer's settings key path is
// made in; a printer name that would not fit is refused (123).
constexpr int printer_key_path_size = 400;

// Bytes of the text a REG_DWORD value is carried as ("%ld" of any 32-bit value fits).
constexpr LONG dword_text_size = 20;

// Signed decimal text of a REG_DWORD value, and back: leading white space skipped, one
// optional sign, digits to the first other character; no digits give 0, and a number
// beyond 32 bits stops at the nearest end of the range.
LONG dword_from_text(LPCSTR text);
void dword_to_text(DWORD value, LPSTR text);

// The bytes a value's data has: -1 stands for the text with its terminator, any other
// negative length for none.
inline SIZE_T value_data_size(LPCSTR data, LONG length) {
    if (length == -1) return static_cast<SIZE_T>(lstrlenA(data ? data : "")) + 1;
    return static_cast<SIZE_T>(length < 0 ? 0 : length);
}

// Reads a REG_DWORD value; 0, or the Windows code, recorded with the value's name.
LONG query_dword(HKEY key, LPCSTR name, DWORD* value);

// A heap copy of the text with its terminator (heap_free), or null without memory.
LPSTR copy_text(LPCSTR text);
