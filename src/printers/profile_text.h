// A profile text held whole: a value read from WIN.INI or a private ini file, or a name
// joined for one, in a MAX_PATH buffer while it fits there and in a heap block of its
// own when it is longer, so that nothing read or written is cut at a fixed size.
#pragma once

#include "platform.h"

class ProfileText {
public:
    ProfileText() { fixed_[0] = '\0'; }
    ~ProfileText();
    ProfileText(const ProfileText&) = delete;
    ProfileText& operator=(const ProfileText&) = delete;

    // Reads `key` of `section` from `file` (WIN.INI when null) with `fallback` for a
    // missing key, reading again into a larger block while the value fills the buffer.
    // False, with the last error ERROR_NOT_ENOUGH_MEMORY, when no block could be had.
    bool read(LPCSTR file, LPCSTR section, LPCSTR key, LPCSTR fallback);
    // `first`, a comma and `second`. False when no block could be had.
    bool join(LPCSTR first, LPCSTR second);

    LPSTR get() { return block_ ? block_ : fixed_; }
    DWORD length() const { return length_; }

private:
    // Room for `size` characters; the text it held is gone.
    bool reserve(DWORD size);
    DWORD size() const { return block_ ? block_size_ : MAX_PATH; }

    char fixed_[MAX_PATH];
    LPSTR block_ = nullptr;
    DWORD block_size_ = 0;
    DWORD length_ = 0;
};
