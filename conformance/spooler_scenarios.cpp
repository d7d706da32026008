// The spooler as far as the lane can take it: the monitors and printers a system
// has, looked up through the library. Installing the sample monitor needs a spooler
// that loads it, which only winsim's does, so the lane asks only what every spooler
// answers.
#include "scenarios.h"
#include "session.h"

#include <cstring>
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

// The settings the value exports write for a printer named "a,b": a key no spooler
// created, under a name no printer can bear. It goes before and after the scenario, so
// that a key left by an earlier run cannot change what this one sees.
const char comma_printer[] = "a,b";
const char comma_printer_key[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\a,b";
const char comma_printer_settings[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\a,b\\PrinterDriverData";

void remove_comma_printer_key() {
    // NT's RegDeleteKeyA takes only a key without subkeys: the settings go first.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, comma_printer_settings);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, comma_printer_key);
}

bool walk_lists(Session& s, const char* wanted) {
    char name[256] = "";
    LONG result = untouched;
    INS_PRINTER_CURSOR_HANDLE cursor = s.x.get_first_printer_name(name, sizeof name, &result);
    bool listed = false;
    for (int names = 0; cursor && name[0] && names < 1000; ++names) {
        listed = listed || lstrcmpiA(name, wanted) == 0;
        s.x.get_next_printer_name(cursor, name, sizeof name);
    }
    s.x.finish_printer_name(cursor);
    return listed;
}

Facts settings_key() {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, comma_printer_settings, 0, KEY_READ, &key);
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
    return Facts().number("settings_key", opened);
}

void comma_printer_name(Session& s) {
    remove_comma_printer_key();
    LONG result = s.x.set_printer_val(comma_printer, "Resolution", "300", REG_DWORD, 0);
    s.result("settings of a printer named a,b", result, settings_key());
    presence(s, "is a,b a printer", s.x.is_printer_present, comma_printer);
    s.report("is a,b among the printers", Facts().number("listed", walk_lists(s, comma_printer) ? 1 : 0));
    result = s.x.del_printer(comma_printer);
    s.result("deleting a,b", result, settings_key());
    presence(s, "a name that is only a comma", s.x.is_printer_present, ",");
    s.result("deleting it", s.x.del_printer(","));
    remove_comma_printer_key();
}

// The default printer through the exports, for a printer that only "Devices" lists:
// the exports read and write nothing else, so no printer needs installing. The
// system's own entry is put back afterwards.
const char listed_printer[] = "OrvConformance Printer";

std::string default_entry() {
    char entry[256] = "#";
    GetProfileStringA("windows", "device", "<none>", entry, sizeof entry);
    return entry;
}

void get_default(Session& s, const char* step, DWORD size) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    LONG result = s.x.get_default_printer(buffer, size);
    s.result(step, result, Facts().text("buffer", std::string(buffer, size)));
}

void set_default(Session& s, const char* step, const char* printer) {
    LONG result = s.x.set_default_printer(printer);
    s.result(step, result, Facts().text("entry", default_entry()));
}

void default_printer(Session& s) {
    const std::string saved = default_entry();
    WriteProfileStringA("Devices", listed_printer, "ORVDRV,LPT1:");
    WriteProfileStringA("windows", "device", nullptr);
    get_default(s, "no default printer", 8);
    set_default(s, "a printer Devices lists", listed_printer);
    get_default(s, "the entry read", 48);
    get_default(s, "the entry read into 5 characters", 5);
    get_default(s, "the entry read into 2 characters", 2);
    set_default(s, "a whole entry passed back", "OrvConformance Printer,Another Driver,COM9:");
    set_default(s, "a printer Devices does not list", "OrvConformance Nobody");
    WriteProfileStringA("Devices", listed_printer, nullptr);
    WriteProfileStringA("windows", "device", saved == "<none>" ? nullptr : saved.c_str());
}

}  // namespace

std::vector<Scenario> spooler_scenarios() {
    return {
        {"Monitors", {"insIsMonitorPresent", "insDeleteMonitor"}, monitors},
        {"Printers",
         {"insIsPrinterPresent", "insDelPrinter", "insGetFirstPrinterName", "insGetNextPrinterName", "insFinishPrinterName"},
         printers},
        {"CommaPrinter",
         {"insSetPrinterVal", "insIsPrinterPresent", "insDelPrinter", "insGetFirstPrinterName", "insGetNextPrinterName",
          "insFinishPrinterName"},
         comma_printer_name},
        {"DefaultPrinter", {"insGetDefaultPrinter", "insSetDefaultPrinter"}, default_printer},
    };
}

}  // namespace conformance
