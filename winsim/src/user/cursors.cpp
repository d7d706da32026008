// The mouse cursor: the system's shared cursors, and the one shown.
#include "core/api.h"

namespace {

// The system cursors a program of these generations asks for by ID.
bool is_system_cursor(WORD id) { return id >= 32512 && id <= 32516; }

}  // namespace

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    WINSIM_API("LoadCursorA", nullptr);
    if (hInstance) return winsim::detail::not_simulated("LoadCursorA of a module's cursor", static_cast<HCURSOR>(nullptr));
    if (!IS_INTRESOURCE(lpCursorName))
        return winsim::detail::not_simulated("LoadCursorA of a cursor by name", static_cast<HCURSOR>(nullptr));
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(lpCursorName));
    if (!is_system_cursor(id)) return winsim::detail::fail<HCURSOR>(ERROR_RESOURCE_NAME_NOT_FOUND, nullptr);  // (unconfirmed)
    return winsim::Desktop::system_cursor(id);
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    WINSIM_API("SetCursor", nullptr);
    return winsim::detail::state().desktop.set_cursor(hCursor);
}
