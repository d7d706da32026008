#include "profile_text.h"

#include "frame/memory.h"

ProfileText::~ProfileText() { heap_free(block_); }

bool ProfileText::reserve(DWORD size) {
    if (size <= this->size()) return true;
    LPSTR block = static_cast<LPSTR>(heap_alloc(size));
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    heap_free(block_);
    block_ = block;
    block_size_ = size;
    return true;
}

bool ProfileText::read(LPCSTR file, LPCSTR section, LPCSTR key, LPCSTR fallback) {
    for (;;) {
        length_ = file ? GetPrivateProfileStringA(section, key, fallback, get(), size(), file)
                       : GetProfileStringA(section, key, fallback, get(), size());
        // A value that fills the buffer may go on beyond it: the profile calls cut it to
        // one character less than the buffer holds.
        if (length_ + 1 < size()) return true;
        if (!reserve(size() * 2)) return false;
    }
}

bool ProfileText::join(LPCSTR first, LPCSTR second) {
    const DWORD first_length = static_cast<DWORD>(lstrlenA(first));
    const DWORD second_length = static_cast<DWORD>(lstrlenA(second));
    if (!reserve(first_length + 1 + second_length + 1)) return false;
    LPSTR text = get();
    lstrcpyA(text, first);
    text[first_length] = ',';
    lstrcpyA(text + first_length + 1, second);
    length_ = first_length + 1 + second_length;
    return true;
}
