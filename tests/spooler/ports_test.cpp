#include "support/components.h"
#include "printers/product_printers.h"

#include "frame/error_state.h"

#include <string>
#include <vector>

namespace {

using testing_support::number_value;
using testing_support::text_value;
using winsim::Platform;

constexpr char monitor[] = "Orvana Fax Port";

INS_PORT_DEFINITION product_port(const char* name) {
    INS_PORT_DEFINITION d = INS_PORT_DEFINITION_UNCHANGED;
    d.pPortName = name;
    d.pMonitorName = monitor;
    return d;
}

class PortTest : public testing_support::ProductPrinters {
protected:
    // The product's monitor installed, as the setup does before its ports.
    void lay_out_ports(Platform platform) {
        lay_out(platform);
        machine->files().write_file("C:\\SETUP\\orvmon.dll", testing_support::sample_component("orvmon.dll"));
        ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
        ASSERT_EQ(take_error_text(), "");
    }
    std::string port_key(const std::string& port) const {
        return machine->spooler().root() + "\\Monitors\\" + monitor + "\\PortList\\" + port;
    }
    std::optional<winsim::RegistryValue> port_setting(const std::string& port, const char* name) const {
        return machine->registry().value(port_key(port), name);
    }
    bool present(const char* port) {
        LONG answer = -1;
        EXPECT_EQ(insIsPortPresent(port, &answer), 0);
        return answer == 1;
    }
    // The port as the spooler lists it at level 2, with its monitor; empty when absent.
    std::string listed_monitor(const std::string& port) const {
        DWORD needed = 0, returned = 0;
        EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned);
        std::vector<BYTE> block(needed);
        if (!EnumPortsA(nullptr, 2, block.data(), needed, &needed, &returned)) return {};
        const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(block.data());
        for (DWORD i = 0; i < returned; ++i)
            if (lstrcmpiA(ports[i].pPortName, port.c_str()) == 0) return ports[i].pMonitorName ? ports[i].pMonitorName : "";
        return {};
    }
};

class Ports : public PortTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { lay_out_ports(GetParam()); }
    bool keys_written() const { return GetParam() != Platform::win2000; }
};

TEST_P(Ports, AProductPortIsAddedWithItsSettingsFoundAndDeleted) {
    INS_PORT_DEFINITION d = product_port("ORVFAX1:");
    d.pOutputDirectory = "D:\\FAXES";
    d.nSeparateVdm = 7;
    EXPECT_EQ(insAddPort(&d), 0);
    EXPECT_EQ(take_error_text(), "");
    const std::string port = GetParam() == Platform::nt351 ? "ORVFAX1" : "ORVFAX1:";
    EXPECT_TRUE(present("orvfax1:")) << "names are compared without regard to case";
    EXPECT_EQ(listed_monitor(port), monitor) << "the spooler learnt of it";
    if (keys_written()) {
        EXPECT_EQ(port_setting(port, "Output Directory"), text_value("D:\\FAXES"));
        EXPECT_EQ(port_setting(port, "Separate VDM"), number_value(1)) << "a positive number is on";
        EXPECT_EQ(port_setting(port, "Output Prefix"), text_value("AAAA")) << "a new port takes the defaults";
        EXPECT_EQ(port_setting(port, "Spawn in User Context"), number_value(1));
        EXPECT_EQ(port_setting(port, "Driver Timeout"), number_value(60));
        EXPECT_EQ(port_setting(port, "Permission"), number_value(0));
        EXPECT_EQ(machine->registry().values(port_key(port)).size(), 8u);
    }
    EXPECT_EQ(RebootRequired(), 0);

    EXPECT_EQ(insDeletePort("ORVFAX1:"), 0);
    EXPECT_FALSE(present("ORVFAX1:"));
    EXPECT_EQ(insDeletePort("ORVFAX1:"), 0) << "a port that is not there is no failure";
    EXPECT_EQ(machine->faults().calls("DeletePortA"), 1u) << "nor asked of the spooler";
    EXPECT_EQ(take_error_text(), "");
    expect_nothing_left();
}

// 95 ends every port name with a colon, NT 3.51 none; the others keep names as given.
TEST_P(Ports, TheColonFollowsThePlatform) {
    INS_PORT_DEFINITION d = product_port("ORVFAX2");
    ASSERT_EQ(insAddPort(&d), 0);
    const Platform platform = GetParam();
    EXPECT_EQ(present("ORVFAX2:"), platform == Platform::win95 || platform == Platform::nt351);
    EXPECT_TRUE(present("ORVFAX2"));
    EXPECT_EQ(listed_monitor(platform == Platform::win95 ? "ORVFAX2:" : "ORVFAX2"), monitor);
}

TEST_P(Ports, AnExistingPortKeepsWhatTheDefinitionDoesNotGive) {
    INS_PORT_DEFINITION d = product_port("ORVFAX1:");
    d.pOutputPrefix = "FIRST";
    d.nSpawnInUserContext = 0;
    ASSERT_EQ(insAddPort(&d), 0);
    const std::string port = GetParam() == Platform::nt351 ? "ORVFAX1" : "ORVFAX1:";
    if (keys_written()) machine->registry().set_value(port_key(port), "Driver Timeout", REG_DWORD, std::string("\x78\0\0\0", 4));

    INS_PORT_DEFINITION again = product_port("ORVFAX1:");
    again.pOutputExtension = "TIF";
    EXPECT_EQ(insAddPort(&again), 0);
    if (keys_written()) {
        EXPECT_EQ(port_setting(port, "Output Prefix"), text_value("FIRST"));
        EXPECT_EQ(port_setting(port, "Spawn in User Context"), number_value(0)) << "a negative number keeps it";
        EXPECT_EQ(port_setting(port, "Output Extension"), text_value("TIF"));
        EXPECT_EQ(port_setting(port, "Driver Timeout"), number_value(120)) << "no definition sets it";
    } else {
        EXPECT_FALSE(machine->registry().value(port_key(port), "Output Extension")) << "2000's monitor keeps its own";
    }
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(Ports, APortOfAnotherMonitorIsNotTouched) {
    INS_PORT_DEFINITION d = product_port("ORVOTHER:");
    d.pOutputPrefix = "MINE";
    const std::string port = GetParam() == Platform::nt351 ? "ORVOTHER" : "ORVOTHER:";
    machine->spooler().add_port("Local Port", port);
    EXPECT_EQ(insAddPort(&d), -8);
    EXPECT_FALSE(machine->registry().key_exists(port_key(port)));
    EXPECT_EQ(listed_monitor(port), "Local Port");
}

// NT 3.51 keeps every plain port in the system's own key, which is the local monitor's:
// there a plain port is the local monitor's whatever monitor the definition names.
TEST_P(Ports, APlainPortIsAValueOfItsMonitorAndAnExistingOneIsLeftAlone) {
    INS_PORT_DEFINITION d = product_port("PLAIN1:");
    d.nPlainPort = 1;
    const bool nt351 = GetParam() == Platform::nt351;
    if (nt351) d.pMonitorName = "Local Port";
    EXPECT_EQ(insAddPort(&d), 0) << take_error_text();
    EXPECT_TRUE(present("PLAIN1:"));
    const std::string key = nt351 ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports"
                                  : machine->spooler().root() + "\\Monitors\\" + monitor + "\\Ports";
    // 2000's monitor keeps the ports its channel adds its own way.
    if (keys_written()) {
        EXPECT_EQ(machine->registry().value(key, nt351 ? "PLAIN1" : "PLAIN1:"), text_value(""));
    }
    const unsigned writes = machine->faults().calls("RegSetValueExA");
    EXPECT_EQ(insAddPort(&d), 0);
    EXPECT_EQ(machine->faults().calls("RegSetValueExA"), writes) << "nothing written for a plain port that is there";
}

TEST_P(Ports, ANameTooLongForItsBufferIsRefused) {
    const std::string name(GetParam() == Platform::win95 ? 99 : 100, 'P');
    INS_PORT_DEFINITION d = product_port(name.c_str());
    EXPECT_EQ(insAddPort(&d), ERROR_INVALID_NAME);
    EXPECT_NE(take_error_text().find("error #123 for value 'PPPP"), std::string::npos);
    LONG answer = 7;
    EXPECT_EQ(insIsPortPresent(name.c_str(), &answer), ERROR_INVALID_NAME);
    EXPECT_EQ(answer, 0);
    const std::string fits(98, 'P');
    d.pPortName = fits.c_str();
    EXPECT_EQ(insAddPort(&d), 0) << take_error_text();
}

// The flag is tested before anything else; a presence test says 0 whatever it answers.
TEST_P(Ports, TheFlagComesBeforeTheArgumentChecks) {
    INS_PORT_DEFINITION nameless = product_port(nullptr);
    EXPECT_EQ(insAddPort(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insAddPortEx(&nameless, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insMovePort(&nameless), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insDeletePortEx(nullptr, 0, 0), ERROR_INVALID_PARAMETER);
    error_flag = 1;
    LONG answer = 7;
    EXPECT_EQ(insIsPortPresent(nullptr, &answer), -1);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(insAddPort(nullptr), -1);
    EXPECT_EQ(insMovePort(nullptr), -1);
    EXPECT_EQ(insDeletePort(nullptr), -1);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(take_error_text(), "");
}

// The printers on the port come back on the new one with everything they had, in the
// spooler's order; a printer on another port is not touched.
TEST_P(Ports, AMoveCarriesThePrintersOnThePort) {
    INS_PORT_DEFINITION d = product_port("ORVFAX1:");
    ASSERT_EQ(insAddPort(&d), 0);
    const std::string port = GetParam() == Platform::nt351 ? "ORVFAX1" : "ORVFAX1:";
    for (const char* name : {"Fax B", "Fax A", "Elsewhere"}) {
        INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition();
        printer.pPrinterName = name;
        printer.pPortName = std::string(name) == "Elsewhere" ? "LPT1:" : port.c_str();
        ASSERT_EQ(insAddPrinter(&printer), 0) << take_error_text();
    }
    machine->registry().set_value(settings_key("Fax A"), "Output Prefix", REG_SZ, std::string("KEEPME", 7));

    INS_PORT_DEFINITION moved = product_port("ORVFAX1:");
    moved.pOutputDirectory = "E:\\MOVED";
    EXPECT_EQ(insMovePort(&moved), 0) << take_error_text();
    // Made again in the order they were listed in, after the printer that stayed.
    EXPECT_EQ(machine->spooler().printers(), (std::vector<std::string>{"Elsewhere", "Fax B", "Fax A"}));
    EXPECT_EQ(setting("Output Prefix", "Fax A"), text_value("KEEPME"));
    EXPECT_EQ(machine->faults().calls("DeletePrinter"), 2u) << "only the port's printers";
    EXPECT_EQ(machine->faults().calls("DeletePortA"), 1u);
    if (keys_written()) {
        EXPECT_EQ(port_setting(port, "Output Directory"), text_value("E:\\MOVED"));
    }
    EXPECT_EQ(listed_monitor(port), monitor);
    expect_nothing_left();
}

TEST_P(Ports, MovingAPortThatIsNotThereAddsIt) {
    INS_PORT_DEFINITION d = product_port("ORVNEW:");
    EXPECT_EQ(insMovePort(&d), 0);
    EXPECT_TRUE(present("ORVNEW:"));
    EXPECT_EQ(machine->faults().calls("DeletePortA"), 0u);
}

// No printer is lost: a move that fails after its printers were deleted puts the port
// and the printers back before it answers.
TEST_P(Ports, AFailedMovePutsThePrintersBack) {
    INS_PORT_DEFINITION d = product_port("ORVFAX1:");
    ASSERT_EQ(insAddPort(&d), 0);
    const std::string port = GetParam() == Platform::nt351 ? "ORVFAX1" : "ORVFAX1:";
    for (const char* name : {"Fax A", "Fax B"}) {
        INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition();
        printer.pPrinterName = name;
        printer.pPortName = port.c_str();
        ASSERT_EQ(insAddPrinter(&printer), 0);
    }
    for (const char* api : {"DeletePortA", "DeletePrinter"}) {
        SCOPED_TRACE(api);
        machine->faults().fail(api, ERROR_ACCESS_DENIED, std::string(api) == "DeletePrinter" ? 2 : 1);
        EXPECT_EQ(insMovePort(&d), ERROR_ACCESS_DENIED);
        take_error_text();
        EXPECT_TRUE(machine->spooler().has_printer("Fax A"));
        EXPECT_TRUE(machine->spooler().has_printer("Fax B"));
        EXPECT_TRUE(present(port.c_str()));
        machine->faults().clear();
    }
    expect_nothing_left();
}

INSTANTIATE_TEST_SUITE_P(Platforms, Ports,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

using PortSteps = PortTest;

TEST_F(PortSteps, TheDialogProgramComesWithAProductPortOnly) {
    lay_out_ports(Platform::nt4);
    for (const char* name : {"orv32dlg.exe", "orv32flt.dll"})
        machine->files().write_file(std::string("C:\\SETUP\\") + name, testing_support::sample_component(name));
    INS_PORT_DEFINITION d = product_port("ORVFAX1:");
    d.pFaxDialogLoc = "C:\\ORVANA\\orv32dlg.exe";
    EXPECT_EQ(insAddPortEx(&d, "C:\\SETUP\\orv32dlg.exe"), 0) << take_error_text();
    EXPECT_TRUE(machine->files().exists("C:\\ORVANA\\ORV32FLT.DLL"));

    machine->files().remove("C:\\SETUP\\orv32flt.dll");
    d.pPortName = "ORVFAX2:";
    EXPECT_EQ(insAddPortEx(&d, "C:\\SETUP\\orv32dlg.exe"), -17);
    EXPECT_NE(take_error_text().find("Extra files required for operation of this driver failed to copy."), std::string::npos);
    EXPECT_TRUE(present("ORVFAX2:")) << "the port is there all the same";
}

// NT 3.51 and 4.0 learn of a port when the spooler starts again; 95/98 ask the monitor.
TEST_F(PortSteps, EachFamilyTellsTheSpoolerItsOwnWay) {
    struct Case {
        Platform platform;
        bool terminal_server;
        unsigned add_port_calls;
        unsigned stops;
    } cases[] = {
        {Platform::win98, false, 1, 0}, {Platform::nt4, false, 0, 1}, {Platform::nt351, false, 0, 1}, {Platform::nt4, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(winsim::platform_info(c.platform).name) + (c.terminal_server ? " terminal server" : ""));
        winsim::MachineOptions options;
        options.terminal_services = c.terminal_server;
        start(c.platform, options);
        machine->files().write_file("C:\\SETUP\\orvmon.dll", testing_support::sample_component("orvmon.dll"));
        ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
        const unsigned stops = machine->faults().calls("ControlService");
        INS_PORT_DEFINITION d = product_port("ORVFAX1:");
        EXPECT_EQ(insAddPort(&d), 0) << take_error_text();
        EXPECT_EQ(machine->faults().calls("AddPortA"), c.add_port_calls);
        EXPECT_EQ(machine->faults().calls("ControlService"), stops + c.stops);
        EXPECT_TRUE(present("ORVFAX1:"));
    }
}

// A spooler that will not start once is asked again; one that never does leaves the port
// to the next start of Windows.
TEST_F(PortSteps, AStuckSpoolerLeavesARestartToFinishTheJob) {
    lay_out_ports(Platform::nt4);
    machine->faults().fail("StartServiceA", ERROR_ACCESS_DENIED);
    INS_PORT_DEFINITION first = product_port("ORVFAX2:");
    EXPECT_EQ(insAddPort(&first), 0);
    EXPECT_EQ(RebootRequired(), 0) << "the second start went through";
    EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    take_error_text();
    machine->faults().fail_always("StartServiceA", ERROR_ACCESS_DENIED);
    INS_PORT_DEFINITION d = product_port("ORVFAX1:");
    EXPECT_EQ(insAddPort(&d), 0) << "the port's keys are written";
    EXPECT_EQ(RebootRequired(), 1);
    EXPECT_TRUE(machine->registry().key_exists(port_key("ORVFAX1:")));
}

TEST_F(PortSteps, EachFailingStepIsRecordedWithItsResult) {
    constexpr LONG denied = ERROR_ACCESS_DENIED;
    struct Case {
        Platform platform;
        const char* api;
        unsigned nth;
        std::string entry;  // the heading of the entry the step records
        LONG result;
    } cases[] = {
        {Platform::nt4, "EnumPortsA", 1, "(Enumerating ports [1]): \nerror #5.", denied},
        {Platform::nt4, "EnumPortsA", 2, "(Enumerating ports [2]): \nerror #5.", denied},
        {Platform::win98, "AddPortA", 1, "(updating spooler's port list): \nerror #5 for value 'Orvana Fax Port'.", denied},
        {Platform::win2000, "OpenPrinterA", 1, "(opening printer port for xcv operation): \nerror #5 for value 'insAddPort'.",
         denied},
        {Platform::win2000, "LoadLibraryA", 1, "(loading spooler library): \nerror #5 for value 'insAddPort'.", denied},
        {Platform::win2000, "GetProcAddress", 1, "(getting address for XcvData function): \nerror #5 for value 'insAddPort'.",
         denied},
        {Platform::win2000, "XcvDataW", 1, "(checking that port exists with XcvData): \nerror #5 for value 'insAddPort'.",
         denied},
        {Platform::win2000, "XcvDataW", 2, "(adding port with XcvData): \nerror #5 for value 'insAddPort'.", denied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.api) + " " + std::to_string(c.nth) + " on " + std::string(winsim::platform_info(c.platform).name));
        lay_out_ports(c.platform);
        machine->faults().fail(c.api, static_cast<DWORD>(denied), c.nth);
        INS_PORT_DEFINITION d = product_port("ORVFAX1:");
        EXPECT_EQ(insAddPort(&d), c.result);
        const std::string text = take_error_text();
        EXPECT_NE(text.find("Printer installer WARNING " + c.entry), std::string::npos) << text;
        EXPECT_EQ(ClearErrorFlag(), 0);
        expect_nothing_left();
    }
}

TEST_F(PortSteps, ADeletionTheMonitorRefusesIsRecordedWithThePort) {
    lay_out_ports(Platform::win95);
    INS_PORT_DEFINITION d = product_port("ORVFAX1");
    ASSERT_EQ(insAddPort(&d), 0);
    machine->faults().fail("DeletePortA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insDeletePort("ORVFAX1"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (DeletePort): \nerror #5 for value 'ORVFAX1:'.\nAccess is denied. \n");
}

}  // namespace
