// The user's default printer through the library: none set, one set by its name or by a
// whole entry passed back, one not listed, and the entry it leaves in the profile.
#include "printer_facts.h"
#include "scenarios.h"

#include <cstring>
#include <string>

namespace conformance {

namespace {

const char default_printer[] = "OrvConformance Default";

std::string device_entry() {
    char entry[260] = "#";
    GetProfileStringA("windows", "device", "(none)", entry, sizeof entry);
    return entry;
}

void get(Session& s, const char* step, DWORD size) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    LONG result = s.x.get_default_printer(buffer, size);
    s.result(step, result, Facts().text("buffer", std::string(buffer, size)));
}

void set(Session& s, const char* step, const char* printer) {
    LONG result = s.x.set_default_printer(printer);
    s.result(step, result, Facts().text("device", device_entry()));
}

void default_printer_calls(Session& s) {
    remove_printer(default_printer);
    WriteProfileStringA("windows", "device", nullptr);
    get(s, "none set", 16);
    s.report("the printer to be the default", add_plain_printer(default_printer));
    set(s, "set by its name", default_printer);
    get(s, "read back", 64);
    get(s, "read into a buffer of 8", 8);
    set(s, "set by a whole entry of another driver and port", "OrvConformance Default,Other Driver,COM9:");
    set(s, "set of a printer not listed", "OrvConformance Nobody");
    set(s, "set by an empty name", "");
    remove_printer(default_printer);
    WriteProfileStringA("windows", "device", nullptr);
}

}  // namespace

std::vector<Scenario> default_printer_scenarios() {
    return {
        {"DefaultPrinter", {"insGetDefaultPrinter", "insSetDefaultPrinter"}, default_printer_calls},
    };
}

}  // namespace conformance
