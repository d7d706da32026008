// The user interface as far as a setup helper reaches it: message boxes, shown to
// nobody and answered by the test.
#include "core/api.h"

namespace winsim {

int Desktop::show(ShownMessageBox box) {
    if (answers_.empty()) {
        if ((box.type & 0x0F) != MB_OK)
            return detail::not_simulated("a message box with choices and no answer queued: " + box.text, 0);
        box.answer = IDOK;
    } else {
        box.answer = answers_.front();
        answers_.pop_front();
    }
    shown_.push_back(box);
    return box.answer;
}

}  // namespace winsim

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    WINSIM_API("MessageBoxA", 0);
    winsim::ShownMessageBox box;
    box.owner = hWnd;
    box.text = lpText ? lpText : "";
    // Windows captions a box without a title "Error".
    box.caption = lpCaption ? lpCaption : "Error";
    box.type = uType;
    return winsim::detail::state().desktop.show(std::move(box));
}

// No window of the setup program is active: the desktop shows none.
HWND WINAPI GetActiveWindow(void) {
    winsim::detail::ApiCall call("GetActiveWindow");
    return nullptr;
}
