// The product's printer driver installed through the library from its own files
// (under Wine the lane's real driver and configuration DLL; on 95/98 the 16-bit driver),
// updated with a newer driver file while two printers use it, and removed with them.
// The lane's set-up registers the same model for the other scenarios, so the scenario
// takes it away first and, under Wine, lays it out again afterwards.
#include "component_files.h"
#include "printer_facts.h"
#include "product_driver.h"
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"
#include "system_version.h"

#include <string>

namespace conformance {

namespace {

const char setup_directory[] = "C:\\ORVCONF\\DRV";
const char first_printer[] = "OrvConformance Driver One";
const char second_printer[] = "OrvConformance Driver Two";
// The help file goes among the dependent files too: the library copies only those.
const char help_file[] = "orvdrv.hlp";
const char dependent_files[] = "orvdrv.hlp\0orvfont.dat\0";

// The driver file of the system: NT's 32-bit driver (built for NT 3.51 there, whose
// spooler takes only its own driver version), or the 16-bit one of 95/98.
const char* driver_file() {
    const OSVERSIONINFOA version = system_version();
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return "orvfax.drv";
    return version.dwMajorVersion == 3 ? "orvdrv351.dll" : "orvdrv.dll";
}
const char config_file[] = "orvdrvui.dll";

std::string in_setup(const char* file) { return std::string(setup_directory) + "\\" + file; }

std::string driver_directory() {
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    return directory;
}

// The model, its printers, its files in the driver directory (where an installed file
// of the same version would make the installation a refused update) and in the setup
// folder.
void clear_driver() {
    remove_printer(first_printer);
    remove_printer(second_printer);
    DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(product_models().plain));
    for (const char* file : {driver_file(), config_file, "orvdrv.hlp", "orvfont.dat"}) {
        remove_scratch_file((driver_directory() + "\\" + file).c_str());
        remove_scratch_file(in_setup(file).c_str());
    }
}

void lay_out(const char* component, const char* file) { lay_out_component(component, in_setup(file).c_str()); }

void presence(Session& s, const char* step, const char* name, const char* file) {
    LONG present = untouched;
    char installed[64] = "#";
    const LONG result = s.x.is_print_driver_present_ex(name, file, &present, installed);
    s.result(step, result, Facts().number("present", present).text("installed", installed));
}

void install(Session& s, const char* step) {
    char model[80] = "#";
    const LONG result = s.x.add_print_driver_ex(in_setup(driver_file()).c_str(), in_setup(config_file).c_str(), help_file,
                                                dependent_files, model);
    s.result(step, result, Facts().text("model", model).number("reboot", s.x.reboot_required()));
}

std::string default_printer_name() {
    char entry[256] = "";
    GetProfileStringA("windows", "device", "", entry, sizeof entry);
    const std::string text = entry;
    return text.substr(0, text.find(','));
}

void printers_on_it(Session& s, const char* when) {
    s.report(std::string("first printer ") + when, printer_record(first_printer));
    s.report(std::string("second printer ") + when, printer_record(second_printer));
    s.report(std::string("the default ") + when, Facts().text("default", default_printer_name()));
}

void driver_install(Session& s) {
    const char* model = product_models().plain;
    const std::string saved_default = default_printer_name();
    clear_driver();
    make_scratch_directory(scratch_directory);
    make_scratch_directory(setup_directory);
    lay_out(driver_file(), driver_file());
    lay_out(config_file, config_file);
    lay_out("orvdrv.hlp", "orvdrv.hlp");
    lay_out("orvfont.dat", "orvfont.dat");

    presence(s, "by name before it is installed", model, nullptr);
    presence(s, "by file before it is installed", "Nobody's Driver", driver_file());
    install(s, "installed");
    presence(s, "by name", model, nullptr);
    std::string shouted = model;
    for (char& c : shouted) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    presence(s, "by name in other letter case", shouted.c_str(), nullptr);
    presence(s, "by file", "Nobody's Driver", driver_file());

    s.report("first printer on it", add_plain_printer(first_printer));
    s.report("second printer on it", add_plain_printer(second_printer));
    const LONG made_default = s.x.set_default_printer(second_printer);
    s.result("the second made the default", made_default, Facts().text("default", default_printer_name()));
    lay_out((std::string("newer\\") + driver_file()).c_str(), driver_file());
    install(s, "updated with a newer driver file");
    printers_on_it(s, "after the update");
    install(s, "the same file again");

    const LONG removed = s.x.del_print_driver(model);
    s.result("removed with its printers", removed);
    printers_on_it(s, "after the removal");
    presence(s, "by name after the removal", model, nullptr);
    s.result("removed when not installed", s.x.del_print_driver(model));

    clear_driver();
    if (!saved_default.empty()) s.x.set_default_printer(saved_default.c_str());
    s.take_error_text();
#ifdef _WIN32
    lay_out_product_driver();
#endif
}

}  // namespace

std::vector<Scenario> driver_install_scenarios() {
    return {
        {"DriverInstall",
         {"insIsPrintDriverPresentEx", "insAddPrintDriverEx", "insDelPrintDriver", "insSetDefaultPrinter", "RebootRequired"},
         driver_install},
    };
}

}  // namespace conformance
