// The 95/98 driver's files as printer creation writes them: the printer's device
// section of WIN.INI and the driver's private ini file in the Windows directory, for a
// plain and a Docket printer, and again for a definition that leaves everything as it
// is. On the NT family the same calls must leave both alone.
#include "printer_facts.h"
#include "resource_module.h"
#include "scenarios.h"
#include "scratch_files.h"
#include "system_version.h"

#include <string>

namespace conformance {

namespace {

struct FilesPrinter {
    const char* name;
    const char* port;
    const char* ini;  // the driver's private ini file
};
// FILE: gives a section whose port has lost its colon.
const FilesPrinter plain_printer = {"OrvConformance Files", "LPT1:", plain_ini};
const FilesPrinter docket_printer = {"OrvConformance Docket Files", "FILE:", docket_ini};
// Its ini file and sections are named by the 16-bit driver's resource module.
const FilesPrinter module_printer = {"OrvConformance Module Files", "LPT1:", "orvfax16.ini"};
const std::string resource_module_path = std::string(scratch_directory) + "\\ORVFAX16.DRV";

void clear() {
    for (const FilesPrinter* printer : {&plain_printer, &docket_printer, &module_printer}) {
        remove_printer(printer->name, printer->port);
        remove_scratch_file(driver_ini_path(printer->ini).c_str());
    }
    remove_scratch_file(resource_module_path.c_str());
}

void report_files(Session& s, const std::string& step, const FilesPrinter& printer) {
    const std::string section_name = device_section(printer.name, printer.port);
    Facts section = Facts().text("section", section_name);
    for (const char* key : {"Y Resolution", "Paper Size", "Orientation"}) {
        char value[32] = "#";
        GetProfileStringA(section_name.c_str(), key, "(none)", value, sizeof value);
        section.text(key, value);
    }
    s.report(step + ": WIN.INI section", section);
    s.report(step + ": " + printer.ini, Facts().text("file", read_scratch_file(driver_ini_path(printer.ini).c_str())));
    s.report(step + ": DEVMODE", printer_devmode(printer.name));
}

// The settings the 95/98 files take, each away from its default.
INS_PRINTER_DEFINITION definition(const FilesPrinter& printer, Kind kind) {
    INS_PRINTER_DEFINITION d = unchanged_definition(printer.name, kind, printer.port);
    d.pOutputDirectory = scratch_directory;
    d.pOutputPrefix = "PAGE";
    d.pOutputExtension = "TIF";
    d.nFileType = 5;
    d.nMppfFlag = 0;
    // The highest intensity each family takes: NT's gray intensity ends at 100.
    d.nIntensity = system_is_nt() ? 100 : 200;
    d.nLeftMargin = 12;
    d.nCsidEnable = 1;
    d.pCsidName = "Ann";
    d.pCsidNumber = "";
    return d;
}

void win9x_files(Session& s) {
    make_scratch_directory(scratch_directory);
    clear();

    const INS_PRINTER_DEFINITION first = definition(plain_printer, plain);
    s.result("a plain printer", s.x.add_printer(&first));
    report_files(s, "plain", plain_printer);

    INS_PRINTER_DEFINITION with_library = definition(docket_printer, docket);
    with_library.pDocketLibrary = "ORVDOCK.DLL";
    with_library.nMppfFlag = 3;
    with_library.nIntensity = -1;
    s.result("a Docket printer", s.x.add_printer(&with_library));
    report_files(s, "Docket", docket_printer);

    // Version 1 has no CSID fields: CSID goes off, everything else stays as read.
    INS_PRINTER_DEFINITION again = definition(plain_printer, plain);
    again.dwVersion = 1;
    again.pOutputDirectory = again.pOutputPrefix = again.pOutputExtension = nullptr;
    again.nFileType = again.nMppfFlag = again.nIntensity = -1;
    s.result("the plain printer again with version 1", s.x.add_printer(&again));
    report_files(s, "again", plain_printer);

    // Version 4 names the resource module, which the library reads through the thunk.
    write_scratch_file(resource_module_path.c_str(), driver_resource_module());
    INS_PRINTER_DEFINITION named = definition(module_printer, docket);
    named.dwVersion = 4;
    named.pResourceModule16 = resource_module_path.c_str();
    s.result("a Docket printer with the driver's resource module", s.x.add_printer(&named));
    report_files(s, "named by the module", module_printer);

    clear();
}

}  // namespace

std::vector<Scenario> win9x_file_scenarios() {
    return {
        {"Win9xDriverFiles", {"insAddPrinter"}, win9x_files},
    };
}

}  // namespace conformance
