#include "component_copy.h"

#include "paths.h"

#include "frame/error_state.h"
#include "frame/catalogue.h"
#include "orvinstl.h"

LONG install_component_file(LPCSTR path, LPCSTR installed_path) {
    LONG result = insSafeFileCopy(path, installed_path, 0);
    if (result == INS_DEFERRED_TO_RESTART) reboot_flag = 1;
    if (copy_counts_as_done(result)) return INS_OK;
    // The copy's own result names the failure: the thread's last error may have been
    // changed by recording it, or never set for a path too long.
    return record_error(static_cast<DWORD>(result), IDS_COPYING_FILE, path, 0, 0);
}
