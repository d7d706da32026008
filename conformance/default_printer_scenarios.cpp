// The default printer through the library for a printer the spooler installed, so that
// the entry it writes carries the spooler's own "Devices" entry, and what becomes of
// the default when that printer goes. The system's own default is put back afterwards.
#include "printer_facts.h"
#include "scenarios.h"

#include <cstring>
#include <string>

namespace conformance {

namespace {

const char installed_printer[] = "OrvConformance Default";

std::string device_entry() {
    char entry[260] = "#";
    GetProfileStringA("windows", "device", "<none>", entry, sizeof entry);
    return entry;
}

// The entry read, as a setup program would keep it to pass back.
std::string get(Session& s, const char* step) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    LONG result = s.x.get_default_printer(buffer, sizeof buffer);
    s.result(step, result, Facts().text("buffer", buffer));
    return buffer;
}

void set(Session& s, const char* step, const char* printer) {
    LONG result = s.x.set_default_printer(printer);
    s.result(step, result, Facts().text("device", device_entry()));
}

void installed_default(Session& s) {
    const std::string saved = device_entry();
    remove_printer(installed_printer);
    WriteProfileStringA("windows", "device", nullptr);
    s.report("the printer", add_plain_printer(installed_printer));
    set(s, "set by its name", installed_printer);
    const std::string entry = get(s, "read back");
    set(s, "set by the entry read back", entry.c_str());
    remove_printer(installed_printer);
    get(s, "read once the printer is deleted");
    WriteProfileStringA("windows", "device", saved == "<none>" ? nullptr : saved.c_str());
}

}  // namespace

std::vector<Scenario> default_printer_scenarios() {
    return {
        {"DefaultInstalledPrinter", {"insGetDefaultPrinter", "insSetDefaultPrinter"}, installed_default},
    };
}

}  // namespace conformance
