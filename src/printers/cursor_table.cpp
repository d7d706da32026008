#include "cursor_table.h"

namespace {

struct Slot {
    PrinterWalk* walk;
    WORD generation;  // of the cursor handed out last from this slot; 0 never
};

Slot slots[cursor_table_size];

// The low word holds the slot's number from 1, the high word its generation: never 0,
// and never an address the heap hands out.
INS_PRINTER_CURSOR_HANDLE handle_of(int slot) {
    const UINT_PTR value = (static_cast<UINT_PTR>(slots[slot].generation) << 16) | static_cast<UINT_PTR>(slot + 1);
    return reinterpret_cast<INS_PRINTER_CURSOR_HANDLE>(value);
}

// The slot a cursor names while it is open, or -1.
int slot_of(INS_PRINTER_CURSOR_HANDLE cursor) {
    const UINT_PTR value = reinterpret_cast<UINT_PTR>(cursor);
    if (value > 0xFFFFFFFFu) return -1;
    const int slot = static_cast<int>(value & 0xFFFF) - 1;
    if (slot < 0 || slot >= cursor_table_size) return -1;
    if (!slots[slot].walk || slots[slot].generation != static_cast<WORD>(value >> 16)) return -1;
    return slot;
}

}  // namespace

INS_PRINTER_CURSOR_HANDLE open_cursor(PrinterWalk* walk) {
    for (int slot = 0; slot < cursor_table_size; ++slot) {
        if (slots[slot].walk) continue;
        slots[slot].walk = walk;
        if (++slots[slot].generation == 0) slots[slot].generation = 1;
        return handle_of(slot);
    }
    return nullptr;
}

PrinterWalk* find_cursor(INS_PRINTER_CURSOR_HANDLE cursor) {
    const int slot = slot_of(cursor);
    return slot < 0 ? nullptr : slots[slot].walk;
}

PrinterWalk* close_cursor(INS_PRINTER_CURSOR_HANDLE cursor) {
    const int slot = slot_of(cursor);
    if (slot < 0) return nullptr;
    PrinterWalk* walk = slots[slot].walk;
    slots[slot].walk = nullptr;
    return walk;
}

void reset_cursor_table() {
    for (Slot& slot : slots) slot = Slot{nullptr, 0};
}
