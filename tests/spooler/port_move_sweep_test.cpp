// No printer is lost when a port is moved: every call the move makes is failed in turn,
// and after each run the printers that were on the port are there as they were, with the
// same default printer, whatever the move answered.
#include "spooler/printer_sweep.h"
#include "support/components.h"

#include <string>

namespace {

using winsim::FaultMode;
using winsim::Platform;

constexpr char monitor[] = "Orvana Fax Port";

class PortMoveSweep : public testing_support::PrinterSweep,
                      public testing::WithParamInterface<testing_support::SweepCase> {
protected:
    void lay_out_move() {
        lay_out(std::get<Platform>(GetParam()));
        machine->files().write_file("C:\\SETUP\\orvmon.dll", testing_support::sample_component("orvmon.dll"));
        ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
        port = machine->platform() == Platform::nt351 ? "ORVFAX1" : "ORVFAX1:";
        definition = INS_PORT_DEFINITION_UNCHANGED;
        definition.pPortName = "ORVFAX1:";
        definition.pMonitorName = monitor;
        ASSERT_EQ(insAddPort(&definition), 0);
        definition.pOutputDirectory = "E:\\MOVED";
        for (const char* name : {"Fax A", "Fax B"}) {
            INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition(4, 2);
            printer.pPrinterName = name;
            printer.pPortName = port.c_str();
            ASSERT_EQ(insAddPrinter(&printer), 0) << take_error_text();
        }
        machine->registry().set_value(settings_key("Fax B"), "Output Prefix", REG_SZ, std::string("FAXB", 5));
        ASSERT_EQ(insSetDefaultPrinter("Fax B"), 0);
        ASSERT_EQ(take_error_text(), "");
        machine->faults().clear();
    }

    // The port is there with the definition's settings (2000's monitor keeps its own).
    bool moved() const {
        LONG present = 0;
        if (insIsPortPresent(port.c_str(), &present) || !present) return false;
        if (machine->platform() == Platform::win2000) return true;
        const std::string key = machine->spooler().root() + "\\Monitors\\" + monitor + "\\PortList\\" + port;
        return machine->registry().value(key, "Output Directory") == testing_support::text_value("E:\\MOVED");
    }

    std::string port;
    INS_PORT_DEFINITION definition{};
};

TEST_P(PortMoveSweep, EveryCallFailedLosesNoPrinterUnnoticed) {
    sweep(
        {[this] { lay_out_move(); }, [this] { return insMovePort(&definition); }, [this] { return moved(); }},
        std::get<FaultMode>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Platforms, PortMoveSweep, testing_support::every_sweep_case(), testing_support::sweep_case_name);

}  // namespace
