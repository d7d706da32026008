// The daemon's entry in the common Startup group, through Program Manager's DDE
// commands (answered on the later systems by the shell, on the Start Menu's folders).
#pragma once

#include "platform.h"

// Opens a conversation with Program Manager and sends it the common Startup group, the
// removal of the entry `entry_name`, its addition for `program_path` when that is given,
// and the group's minimising. A command that fails is recorded and the next is sent all
// the same. 0, or the DDE code of a failed DdeInitializeA (recorded), with nothing sent.
LONG update_startup_group(LPCSTR entry_name, LPCSTR program_path);
