// No printer is lost when a port is moved: every call the move makes is failed in turn,
// and after each run the printers that were on the port are there as they were, with the
// same default printer, whatever the move answered.
#include "support/components.h"
#include "printers/product_printers.h"

#include <map>
#include <ostream>
#include <string>

namespace {

using winsim::Platform;

constexpr char monitor[] = "Orvana Fax Port";

// What a printer is to its user: where it prints, through what, with which settings
// and DEVMODE.
struct PrinterState {
    std::string port;
    std::string driver;
    std::map<std::string, winsim::RegistryValue> settings;
    std::string devmode;
    bool operator==(const PrinterState&) const = default;
};

void PrintTo(const PrinterState& state, std::ostream* out) {
    *out << "{port " << state.port << ", driver " << state.driver << ", " << state.settings.size() << " settings, DEVMODE of "
         << state.devmode.size() << " bytes}";
}

class PortMoveSweep : public testing_support::ProductPrinters, public testing::WithParamInterface<Platform> {
protected:
    void lay_out_move() {
        lay_out(GetParam());
        machine->files().write_file("C:\\SETUP\\orvmon.dll", testing_support::sample_component("orvmon.dll"));
        ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
        port = GetParam() == Platform::nt351 ? "ORVFAX1" : "ORVFAX1:";
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

    std::map<std::string, PrinterState> printers() const {
        std::map<std::string, PrinterState> all;
        for (const std::string& name : machine->spooler().printers()) {
            const std::vector<BYTE> record = winsim_test::printer_record(name.c_str());
            if (record.empty()) continue;
            const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(record.data());
            PrinterState state{info->pPortName, info->pDriverName, {}, devmode(name.c_str())};
            for (const std::string& value : setting_names(name)) state.settings[value] = *setting(value.c_str(), name);
            all[name] = state;
        }
        return all;
    }
    // The default printer's name, from the entry that also names its driver and port.
    std::string default_printer() const {
        char entry[256] = "";
        GetProfileStringA("windows", "device", "", entry, sizeof entry);
        const std::string text = entry;
        return text.substr(0, text.find(','));
    }

    // The port is there with the definition's settings (2000's monitor keeps its own).
    bool moved() const {
        LONG present = 0;
        if (insIsPortPresent(port.c_str(), &present) || !present) return false;
        if (GetParam() == Platform::win2000) return true;
        const std::string key = machine->spooler().root() + "\\Monitors\\" + monitor + "\\PortList\\" + port;
        return machine->registry().value(key, "Output Directory") == testing_support::text_value("E:\\MOVED");
    }

    std::string port;
    INS_PORT_DEFINITION definition{};
};

// A release that was failed leaves its block or handle behind; that is the fault, not a leak.
bool failed_release(const std::string& api) {
    return api == "ClosePrinter" || api == "RegCloseKey" || api == "HeapFree" || api == "LocalFree" || api == "CloseHandle" ||
           api == "FreeLibrary" || api == "CloseServiceHandle" || api == "DeleteDC";
}

TEST_P(PortMoveSweep, EveryCallFailedOnceLosesNoPrinter) {
    lay_out_move();
    const std::map<std::string, PrinterState> before = printers();
    const std::string default_before = default_printer();
    ASSERT_EQ(before.size(), 2u);
    unsigned runs = 0;
    for (unsigned nth = 1; nth < 2000; ++nth) {
        SCOPED_TRACE("call " + std::to_string(nth));
        lay_out_move();
        std::string failed;
        machine->faults().on_inject = [&](const winsim::Injection& injection) { failed = injection.api; };
        machine->faults().fail("*", ERROR_NOT_ENOUGH_MEMORY, nth);
        const LONG result = insMovePort(&definition);
        machine->faults().clear();
        machine->faults().on_inject = nullptr;
        take_error_text();
        ++runs;
        if (failed.empty()) {
            EXPECT_EQ(result, 0) << "the move went through once nothing failed";
            EXPECT_GT(nth, 20u);
            break;
        }
        SCOPED_TRACE("failed " + failed);
        // Success is answered only for a move that happened: one failed call that a
        // second try, or a spooler restart left to the next start of Windows, made good.
        if (result == 0) {
            EXPECT_TRUE(moved()) << "a failure answered as success";
        }
        EXPECT_EQ(printers(), before);
        EXPECT_EQ(default_printer(), default_before);
        if (!failed_release(failed)) expect_nothing_left();
    }
    RecordProperty("runs", static_cast<int>(runs));
}

INSTANTIATE_TEST_SUITE_P(Platforms, PortMoveSweep,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
