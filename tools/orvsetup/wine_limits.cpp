#include "wine_limits.h"

#include <algorithm>
#include <initializer_list>

namespace orvsetup {

namespace {

struct WineLimit {
    std::string_view export_name;
    std::initializer_list<std::string_view> platforms;  // empty: every platform
    std::string_view reason;
};

constexpr std::string_view refused_purge =
    "Wine's SetPrinterA level 0, the purge the library makes before it deletes a printer, fails with 124 (invalid "
    "level) on every version it poses as, so nothing is deleted; Windows purges and deletes the printer";

constexpr std::string_view no_program_manager =
    "without a display nothing answers Program Manager's DDE conversation under Wine (DdeConnect fails with 16394), "
    "so the library records the failure; on Windows Program Manager, or the shell in its place, answers";

// Played under Wine posing as each platform (orvsetup run --engine wine) and in the
// Windows lane; each reason says what Wine does and what Windows does instead.
const WineLimit limits[] = {
    {"insNukePrinter", {}, refused_purge},
    {"insDelPrinter", {}, refused_purge},
    {"insDelPrintDriver", {}, refused_purge},
    {"insMovePort", {}, refused_purge},
    {"insPrintTestPage", {},
     "without a display Wine gives the test page no screen to measure and draws it with its own PostScript driver, "
     "which takes the driver's data file for a PPD (and, posing as 95 or 98, fails the document with 1157): the page "
     "is not printed, where Windows prints it"},
    {"insDeletePort", {"win95", "win98", "win2000"},
     "Wine's DeletePortA asks only the local monitor and the monitors that keep each port as a key of their own, "
     "not the product's monitor, and answers 50; Windows asks every monitor"},
    {"insDeletePortEx", {"win95", "win98", "win2000"},
     "Wine's DeletePortA asks only the local monitor and the monitors that keep each port as a key of their own, "
     "not the product's monitor, and answers 50; Windows asks every monitor"},
    {"insAddDaemonProcess", {"nt351"}, no_program_manager},
    {"insDeleteDaemonProcess", {}, no_program_manager},
    {"insDeleteDaemonService", {"nt351", "nt4", "win2000"},
     "the daemon here is the sample image, which has no code: Wine's service manager cannot start it at the "
     "restart, so the library finds the service stopped (1062) where Windows runs the product's daemon"},
    {"insAddDaemonService", {"win95", "win98"},
     "Wine has a service control manager under every version it poses as; 95 and 98 have none, and the library "
     "installs no service there (120)"},
    {"insDeleteDaemonService", {"win95", "win98"},
     "Wine has a service control manager under every version it poses as; 95 and 98 have none (120)"},
};

}  // namespace

std::string wine_cannot_play(std::string_view export_name, std::string_view platform) {
    for (const WineLimit& limit : limits) {
        if (limit.export_name != export_name) continue;
        if (limit.platforms.size() == 0 ||
            std::find(limit.platforms.begin(), limit.platforms.end(), platform) != limit.platforms.end())
            return std::string(limit.reason);
    }
    return {};
}

}  // namespace orvsetup
