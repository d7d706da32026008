// Broadcasts to every top-level window, as the library sends them when the printer
// list or the default printer changes: what SendMessageTimeoutA answers, and what it
// answers for a window that does not exist.
#include "scenarios.h"
#include "session.h"

namespace conformance {

namespace {

Facts sent(HWND window, LPARAM section, UINT flags) {
    DWORD_PTR result = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    LRESULT answer = SendMessageTimeoutA(window, WM_WININICHANGE, 0, section, flags, 1000, &result);
    Facts facts;
    facts.number("result", answer);
    if (!answer) return facts.number("error", static_cast<long long>(GetLastError())).hex("out", static_cast<unsigned long>(result));
    return facts.hex("out", static_cast<unsigned long>(result));
}

void broadcasts(Session& s) {
    s.report("devices to all windows", sent(HWND_BROADCAST, reinterpret_cast<LPARAM>("devices"), SMTO_BLOCK));
    s.report("no section to all bits set", sent(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), 0, SMTO_NORMAL));
    s.report("devices to a window that does not exist", sent(reinterpret_cast<HWND>(0x1234), reinterpret_cast<LPARAM>("devices"), SMTO_BLOCK));
}

}  // namespace

std::vector<Scenario> user_scenarios() {
    return {
        {"Broadcasts", {}, broadcasts},
    };
}

}  // namespace conformance
