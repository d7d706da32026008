// What a restart carries out of the file operations put off to it.
#pragma once

#include "core/state.h"

namespace winsim::detail {

// NT: PendingFileRenameOperations, then the value is deleted.
void carry_out_pending_renames(MachineState& machine);
// 95/98: WININIT.INI's [rename] section, then the file becomes WININIT.BAK.
void carry_out_wininit(MachineState& machine);

}  // namespace winsim::detail
