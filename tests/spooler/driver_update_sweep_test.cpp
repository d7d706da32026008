// No printer is lost when the driver under it is updated: every call the update makes is
// failed in turn, with three printers on the driver (one of them the default), and after
// each run they are there with their ports, settings and DEVMODEs, on the old driver or
// the new, with the same default printer, whatever the update answered.
#include "spooler/driver_test.h"

#include <string>

namespace {

using winsim::FaultMode;
using winsim::Platform;

class DriverUpdateSweep : public testing_support::DriverTest,
                          public testing::WithParamInterface<testing_support::SweepCase> {
protected:
    void lay_out_update() {
        answered_model[0] = '\0';
        lay_out(std::get<Platform>(GetParam()));
        ASSERT_EQ(install(), 0) << take_error_text();
        const std::string driver = model();
        const char* ports[] = {"LPT1:", "COM1:", "FILE:"};
        const char* names[] = {"Fax A", "Fax B", "Fax C"};
        for (int i = 0; i < 3; ++i) {
            INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition(4, 2);
            printer.pPrinterName = names[i];
            printer.pPortName = ports[i];
            printer.pDriverName = driver.c_str();
            printer.nJpegQuality = 60 + i;
            // Choices that live in the DEVMODE only, which a new driver makes anew.
            printer.nPaperSize = i == 0 ? DMPAPER_A4 : -1;
            printer.nOrientation = i == 0 ? 1 : -1;
            printer.nResolution = i == 0 ? 4 : 0;
            ASSERT_EQ(insAddPrinter(&printer), 0) << take_error_text();
        }
        ASSERT_EQ(insSetDefaultPrinter("Fax B"), 0);
        ASSERT_EQ(take_error_text(), "");
        ClearErrorFlag();
        renew_sources();
        machine->faults().clear();
    }
    // The new driver file is in place and registered under the model name the
    // installation read (on 95 the library's own when the thunk could not be asked).
    bool updated() {
        const std::string installed = installed_directory(registered_version()) + "\\" +
                                      driver_file().substr(sizeof source_dir - 1);
        return present(answered_model) &&
               machine->files().read_file(installed) == machine->files().read_file(driver_file());
    }
    char answered_model[80] = "";
    DWORD registered_version() const {
        return machine->platform() == Platform::nt351 ? 1 : machine->is_nt() ? 2 : 0x400;
    }
};

TEST_P(DriverUpdateSweep, EveryCallFailedLosesNoPrinterUnnoticed) {
    sweep({[this] { lay_out_update(); }, [this] { return install(answered_model); }, [this] { return updated(); },
               [this] { return std::string(answered_model); }},
              std::get<FaultMode>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Platforms, DriverUpdateSweep, testing_support::every_sweep_case(), testing_support::sweep_case_name);

}  // namespace
