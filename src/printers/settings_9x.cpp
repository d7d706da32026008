// Placeholder while the 95/98 settings files are written on their own branch.
#include "printer_context.h"

LONG write_9x_driver_settings(const INS_PRINTER_DEFINITION&, PrinterContext*) { return 0; }
void make_default_file_name(LPSTR, LPCSTR, LPCSTR, LPCSTR) {}
