// The spooler as far as the lane can take it: the monitors and printers a system
// has, looked up through the library. Installing the sample monitor needs a spooler
// that loads it, which only winsim's does, so the lane asks only what every spooler
// answers.
#include "scenarios.h"
#include "session.h"

#include <string>

namespace conformance {

namespace {

// insIsMonitorPresent and insIsPrinterPresent answer alike.
using PresenceCheck = LONG(WINAPI*)(LPCSTR, LPLONG);

void presence(Session& s, const char* step, PresenceCheck check, const char* name) {
    LONG present = untouched;
    LONG result = check(name, &present);
    s.result(step, result, Facts().number("present", present));
}

void monitors(Session& s) {
    presence(s, "the local port monitor", s.x.is_monitor_present, "Local Port");
    presence(s, "its name in other letter case", s.x.is_monitor_present, "LOCAL PORT");
    presence(s, "a monitor nobody installed", s.x.is_monitor_present, "OrvConformance Monitor");
    s.result("deleting a monitor nobody installed", s.x.delete_monitor("OrvConformance Monitor"));
}

void printers(Session& s) {
    presence(s, "a printer nobody installed", s.x.is_printer_present, "OrvConformance Printer");
    s.result("deleting a printer nobody installed", s.x.del_printer("OrvConformance Printer"));

    // The names themselves depend on the system's printers: the walk shows that it
    // ends, and how many it gave.
    char name[256] = "#";
    LONG result = untouched;
    INS_PRINTER_CURSOR_HANDLE cursor = s.x.get_first_printer_name(name, sizeof name, &result);
    long long names = 0;
    while (cursor && name[0] && names < 1000) {
        ++names;
        s.x.get_next_printer_name(cursor, name, sizeof name);
    }
    Facts walk = Facts().number("cursor", cursor ? 1 : 0).number("names", names);
    s.result("walking the printers", result, walk.number("finish", s.x.finish_printer_name(cursor)));

    char one[1] = {'#'};
    result = untouched;
    cursor = s.x.get_first_printer_name(one, 1, &result);
    Facts first = Facts().text("buffer", std::string(one, 1));
    s.result("a buffer of one character", result, first.number("finish", s.x.finish_printer_name(cursor)));
    result = untouched;
    cursor = s.x.get_first_printer_name(nullptr, 10, &result);
    s.result("no buffer", result, Facts().number("cursor", cursor ? 1 : 0));
    char after[8] = "#";
    result = s.x.get_next_printer_name(nullptr, after, sizeof after);
    s.result("next without a cursor", result, Facts().text("buffer", after));
    s.result("finishing without a cursor", s.x.finish_printer_name(nullptr));
}

}  // namespace

std::vector<Scenario> spooler_scenarios() {
    return {
        {"Monitors", {"insIsMonitorPresent", "insDeleteMonitor"}, monitors},
        {"Printers",
         {"insIsPrinterPresent", "insDelPrinter", "insGetFirstPrinterName", "insGetNextPrinterName", "insFinishPrinterName"},
         printers},
    };
}

}  // namespace conformance
