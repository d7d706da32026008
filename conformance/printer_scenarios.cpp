// Printer creation through the library: a new printer of each kind, one created with
// selections at their edges, an existing printer updated, and rejected selections,
// each looked at through the spooler's record, the DEVMODE and the driver settings.
#include "printer_facts.h"
#include "product_driver.h"
#include "scenarios.h"

#include <string>

namespace conformance {

namespace {

// With a source path the call is insAddPrinterEx's.
void add(Session& s, const std::string& step, const INS_PRINTER_DEFINITION& definition, const char* source = nullptr) {
    LONG result = source ? s.x.add_printer_ex(&definition, source) : s.x.add_printer(&definition);
    s.result(step, result, printer_record(definition.pPrinterName));
}

// The record, the DEVMODE and the settings of a printer the library made.
void look_at(Session& s, const std::string& step, const char* name) {
    s.report(step + ": DEVMODE", printer_devmode(name));
    report_settings(s, step + ": settings", name);
}

void new_printers(Session& s) {
    remove_driver_ini_files();
    struct New {
        const char* step;
        const char* name;
        Kind kind;
    };
    for (const New& printer : {New{"a plain printer", "OrvConformance Plain", plain},
                               New{"a Prism printer", "OrvConformance Prism", prism},
                               New{"a Docket printer", "OrvConformance Docket", docket}}) {
        remove_printer(printer.name);
        add(s, printer.step, unchanged_definition(printer.name, printer.kind));
        look_at(s, printer.step, printer.name);
        remove_printer(printer.name);
    }
    remove_driver_ini_files();
}

// Every selection at the edge where it is still taken, and the DEVMODE defaults.
void selections(Session& s) {
    remove_driver_ini_files();
    const char name[] = "OrvConformance Selections";
    remove_printer(name);
    INS_PRINTER_DEFINITION d = unchanged_definition(name, docket);
    d.pPrintProcessor = "";
    d.pDatatype = "RAW";
    d.pOutputDirectory = "";
    d.pOutputPrefix = "PAGE";
    d.nSpawnInUserContext = 7;
    d.nSeparateVdm = 3;
    d.nServerShareFlag = 0;
    d.nFileType = 5;
    d.nMppfFlag = 0;
    d.nSpoolMode = 2;
    d.nColorMode = 5;
    d.nDitherPattern = 7;
    d.nNtDitherPattern = 16;
    d.nIntensity = 100;
    d.nDriverTimeout = 0;
    d.nResolution = 2;
    d.nPaperSize = DMPAPER_A4;
    d.nOrientation = 5;
    d.pDocketLibrary = "";
    d.nLeftMargin = -2;
    d.nPrintMode = 3;
    d.nJpegQuality = 255;
    d.nCsidEnable = 2;
    d.pCsidName = "";
    d.pCsidNumber = "+1 555 0100";
    add(s, "a printer with selections at their edges", d);
    look_at(s, "with selections", name);
    remove_printer(name);
    remove_driver_ini_files();
}

// An existing printer: the spool mode replaces its attributes, an empty processor keeps
// its own, and a setting its key lacks is not added.
void update(Session& s) {
    remove_driver_ini_files();
    const char name[] = "OrvConformance Update";
    remove_printer(name);
    s.report("an existing printer", add_plain_printer(name));
    // No dialog program is named, so the source path copies nothing.
    add(s, "updated with the defaults", unchanged_definition(name, plain), "C:\\ORVCONF\\SETUP\\ORV32DLG.EXE");
    look_at(s, "updated", name);

    INS_PRINTER_DEFINITION d = unchanged_definition(name, prism);
    d.pPrintProcessor = "";
    d.nSpoolMode = 3;
    d.nFileType = 2;
    d.nJpegQuality = 80;
    d.nResolution = 9;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, settings_key(name).c_str());
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, settings_key(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, "File Type", 0, REG_SZ, reinterpret_cast<const BYTE*>("GIF"), 4);
    RegCloseKey(key);
    add(s, "updated with a key of one value", d);
    look_at(s, "updated again", name);
    remove_printer(name);
    remove_driver_ini_files();
}

// Each rejection on a new printer and on an existing one: -7, its message, and nothing
// added or changed.
void rejections(Session& s) {
    remove_driver_ini_files();
    const char fresh[] = "OrvConformance Rejected";
    const char existing[] = "OrvConformance Kept";
    remove_printer(fresh);
    remove_printer(existing);
    add(s, "the printer kept", unchanged_definition(existing, plain));
    struct Rejection {
        const char* step;
        void (*select)(INS_PRINTER_DEFINITION&);
    };
    const Rejection rejected[] = {
        {"spool mode 4", [](INS_PRINTER_DEFINITION& d) { d.nSpoolMode = 4; }},
        {"file type 9", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 9; }},
        {"NT dither 17", [](INS_PRINTER_DEFINITION& d) { d.nNtDitherPattern = 17; }},
        {"JPEG quality 256", [](INS_PRINTER_DEFINITION& d) { d.nJpegQuality = 256; }},
        {"intensity 201", [](INS_PRINTER_DEFINITION& d) { d.nIntensity = 201; }},
        {"file type 9 and intensity 201", [](INS_PRINTER_DEFINITION& d) {
             d.nFileType = 9;
             d.nIntensity = 201;
         }},
    };
    for (const Rejection& rejection : rejected) {
        // 95/98 take the NT-only selections: the new printer is made then, and goes again.
        remove_printer(fresh);
        for (const char* name : {fresh, existing}) {
            INS_PRINTER_DEFINITION d = unchanged_definition(name, plain);
            d.nSpoolMode = 2;
            d.nFileType = 5;
            rejection.select(d);
            add(s, std::string(rejection.step) + (name == fresh ? " for a new printer" : " for an existing one"), d);
        }
    }
    // Versions the library does not read refuse the call before anything is recorded.
    for (DWORD_PTR version : {0, 5}) {
        INS_PRINTER_DEFINITION d = unchanged_definition(fresh, plain);
        d.dwVersion = version;
        add(s, "definition version " + std::to_string(version), d);
    }
    // The spooler's refusal comes back with its code and the name of the printer.
    INS_PRINTER_DEFINITION unknown_driver = unchanged_definition(fresh, plain);
    unknown_driver.pDriverName = "OrvConformance Nobody's Driver";
    add(s, "a driver nobody installed", unknown_driver);
    report_settings(s, "the printer kept, after", existing);
    remove_printer(existing);
    remove_printer(fresh);
    remove_driver_ini_files();
}

}  // namespace

std::vector<Scenario> printer_scenarios() {
    return {
        {"NewPrinters", {"insAddPrinter"}, new_printers},
        {"PrinterSelections", {"insAddPrinter"}, selections},
        {"PrinterUpdate", {"insAddPrinter", "insAddPrinterEx"}, update},
        {"PrinterRejections", {"insAddPrinter"}, rejections},
    };
}

}  // namespace conformance
