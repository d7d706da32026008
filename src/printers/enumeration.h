// The local printers, as the spooler lists them at level 2.
#pragma once

#include "platform.h"

// The list (a LocalAlloc block the caller frees) or null; null with error 0 means no
// printers.
PRINTER_INFO_2A* enumerate_printers(LONG* count, LONG* error);
