// Messages sent to every top-level window. The machine has no windows of its own, so
// a broadcast reaches nobody and returns at once; the desktop keeps it for whoever
// watches the machine.
#include "core/api.h"

namespace {

// Windows takes HWND_TOPMOST (all bits set) as a broadcast too.
bool is_broadcast(HWND window) { return window == HWND_BROADCAST || window == HWND_TOPMOST; }

// Messages whose lParam carries a section name.
bool carries_section(UINT message) { return message == WM_WININICHANGE; }

}  // namespace

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags, UINT uTimeout,
                                   PDWORD_PTR lpdwResult) {
    WINSIM_API("SendMessageTimeoutA", 0);
    // No window but the broadcast address names anything on this machine. The result
    // is cleared before the window is looked for, so a failed send leaves 0 in it.
    if (lpdwResult) *lpdwResult = 0;
    if (!is_broadcast(hWnd)) return winsim::detail::fail<LRESULT>(ERROR_INVALID_WINDOW_HANDLE, 0);
    winsim::Broadcast message;
    message.message = Msg;
    message.wparam = wParam;
    if (carries_section(Msg) && lParam) message.section = reinterpret_cast<const char*>(lParam);
    message.flags = fuFlags;
    message.timeout_ms = uTimeout;
    winsim::detail::state().desktop.broadcast(std::move(message));
    // A broadcast answers 1 for all the windows it reached.
    if (lpdwResult) *lpdwResult = 1;
    return 1;
}
