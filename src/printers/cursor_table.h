// The printer cursors the setup program holds. A cursor handed out is not the walk's
// address but a slot of this table and the slot's generation, so that a cursor used after
// it was finished, finished twice, or never handed out is recognised and answered as no
// cursor, instead of reaching memory that is no longer the walk's.
#pragma once

#include "orvinstl.h"

// A walk over the local printers' names, as insGetFirstPrinterName took the list.
struct PrinterWalk {
    LONG count;
    LONG next;
    PRINTER_INFO_2A* printers;
};

// How many walks may be open at once; one more has no cursor.
constexpr int cursor_table_size = 256;

// A cursor for the walk, or null when every slot is taken.
INS_PRINTER_CURSOR_HANDLE open_cursor(PrinterWalk* walk);
// The walk of a cursor handed out and not finished; null for any other value.
PrinterWalk* find_cursor(INS_PRINTER_CURSOR_HANDLE cursor);
// Takes the cursor out of the table: its walk, for the caller to free, or null.
PrinterWalk* close_cursor(INS_PRINTER_CURSOR_HANDLE cursor);
// A new process holds no cursors.
void reset_cursor_table();
