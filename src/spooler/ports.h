// The spooler's ports: which exist, which monitor owns one, and a port name as each
// platform writes it.
#pragma once

#include "platform.h"

// Characters, with the terminator, a port name may have once written the platform's
// way; a longer name is refused (123) rather than cut, as a cut name could be another
// port's.
constexpr int port_name_size = 100;

// The port name the platform's way into `normalized` (port_name_size): 95 ends every
// port name with ":", NT 3.51 none; the others take it as it is. False when it does
// not fit.
bool normalize_port_name(LPCSTR name, LPSTR normalized);

// Deletes a port the spooler listed, through its monitor, without asking the spooler
// again whether it exists: 0, or the code recorded with the name written the platform's
// way.
LONG delete_listed_port(LPCSTR name);

// The ports at level 1 or 2 (a LocalAlloc block the caller frees), or null; null with
// error 0 means none.
LPBYTE enumerate_ports(DWORD level, LONG* count, LONG* error);

// 1 when the port (normalized) belongs to the monitor, else 0; `error` is 0, or the
// enumeration's code.
LONG port_belongs_to_monitor(LPCSTR port, LPCSTR monitor, LONG* error);
