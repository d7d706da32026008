// The library's general-purpose heap, and guards that give blocks back on every path.
#pragma once

#include "platform.h"

void* heap_alloc(SIZE_T bytes);
void heap_free(void* block);

// A zero-filled LocalAlloc block, freed when the guard goes.
class LocalBlock {
public:
    explicit LocalBlock(SIZE_T bytes) : block_(static_cast<LPSTR>(LocalAlloc(LPTR, bytes))) {}
    ~LocalBlock() {
        if (block_) LocalFree(block_);
    }
    LocalBlock(LocalBlock&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;
    LPSTR get() const { return block_; }

private:
    LPSTR block_;
};
