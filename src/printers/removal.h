// What printer removal needs to know of a printer's list of ports.
#pragma once

#include "platform.h"

// 1 when one of the comma-separated entries of the printer's port list is the port
// (without regard to case), else 0 (also for a null or empty list). The list is cut at
// each comma while it is compared, and put back.
LONG port_list_contains(LPSTR port_list, LPCSTR port);
