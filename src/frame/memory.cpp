#include "memory.h"

void* heap_alloc(SIZE_T bytes) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }

void heap_free(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}
