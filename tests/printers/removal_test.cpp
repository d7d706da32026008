// Removing a printer with everything only it used, and copying one onto another port.
#include "spooler/driver_test.h"

#include "printers/removal.h"

#include <winsim/snapshot.h>

#include <algorithm>
#include <string>

namespace {

using winsim::Platform;

constexpr char monitor[] = "Orvana Fax Port";
constexpr char processor[] = "Orvana Print Processor";

class Removal : public testing_support::DriverTest {
protected:
    // The product as a setup program installs it: its monitor with three ports, its
    // print processor and its driver.
    void install_product(Platform platform) {
        lay_out_sources(platform);
        install_components();
    }
    void lay_out_sources(Platform platform) {
        lay_out(platform);
        for (const char* name : {"orvmon.dll", "brg16aud.dll", "brg32aud.dll", "aud16.dll", "orvproc.dll"})
            machine->files().write_file(std::string(source_dir) + name, testing_support::sample_component(name));
    }
    void install_components() {
        ASSERT_EQ(insAddMonitorEx("C:\\SETUP\\orvmon.dll", nullptr, 0), 0) << take_error_text();
        for (const char* name : {"ORVFAX1:", "ORVFAX2:", "ORVFAX3:"}) {
            INS_PORT_DEFINITION port = INS_PORT_DEFINITION_UNCHANGED;
            port.pPortName = name;
            port.pMonitorName = monitor;
            ASSERT_EQ(insAddPort(&port), 0) << take_error_text();
        }
        ASSERT_EQ(insAddPrintProc("C:\\SETUP\\orvproc.dll", nullptr), 0) << take_error_text();
        ASSERT_EQ(install(), 0) << take_error_text();
        ASSERT_EQ(take_error_text(), "");
    }
    // The nth port of the product's monitor as the platform writes it.
    std::string port(int n) const { return "ORVFAX" + std::to_string(n) + (machine->platform() == Platform::nt351 ? "" : ":"); }
    void add_printer(const char* name, const std::string& ports, const char* print_processor = processor) {
        const std::string driver = model();
        INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition();
        printer.pPrinterName = name;
        printer.pPortName = ports.c_str();
        printer.pDriverName = driver.c_str();
        printer.pPrintProcessor = print_processor;
        ASSERT_EQ(insAddPrinter(&printer), 0) << take_error_text();
    }
    bool port_present(const std::string& name) {
        LONG answer = -1;
        EXPECT_EQ(insIsPortPresent(name.c_str(), &answer), 0);
        return answer == 1;
    }
    bool monitor_present() {
        LONG answer = -1;
        EXPECT_EQ(insIsMonitorPresent(monitor, &answer), 0);
        return answer == 1;
    }
    bool processor_present(const char* name = processor) {
        LONG answer = -1;
        EXPECT_EQ(insIsPrtProcPresent(name, &answer), 0);
        return answer == 1;
    }
    std::string processor_file() const {
        char processors[MAX_PATH] = "";
        DWORD needed = 0;
        GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(processors), MAX_PATH, &needed);
        return std::string(processors) + "\\orvproc.dll";
    }
    DWORD registered_version() const {
        return machine->platform() == Platform::nt351 ? 1 : machine->is_nt() ? 2 : 0x400;
    }
    // Where the driver's files lie once installed (NT 3.51 leaves its dependent files in
    // the driver directory itself).
    std::string driver_place() const { return installed_directory(registered_version()) + "\\"; }
    std::string dependents_place() const {
        return machine->platform() == Platform::nt351 ? directory + "\\" : driver_place();
    }
    bool exists(const std::string& path) const { return machine->files().exists(path); }
};

class RemovalOnEveryPlatform : public Removal, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { install_product(GetParam()); }
};

// A printer on two of the monitor's ports (95/98 pool no printer: one port), alone on
// everything: all of it goes, the monitor's unused ports first, then the monitor.
TEST_P(RemovalOnEveryPlatform, ThePrinterTakesEverythingOnlyItUsedWithIt) {
    add_printer("Fax", machine->is_nt() ? port(1) + "," + port(2) : port(1));
    ASSERT_TRUE(exists(dependents_place() + "orvfont.dat"));
    EXPECT_EQ(insNukePrinter("Fax"), 0) << take_error_text();
    EXPECT_EQ(take_error_text(), "");
    EXPECT_FALSE(machine->spooler().has_printer("Fax"));
    EXPECT_FALSE(present(model().c_str()));
    const std::string driver_name = driver_file().substr(sizeof source_dir - 1);
    for (const std::string& file : {driver_place() + driver_name, directory + "\\" + driver_name})
        EXPECT_FALSE(exists(file)) << file;
    if (machine->is_nt()) {
        EXPECT_FALSE(exists(driver_place() + "orvdrvui.dll"));
    }
    // NT 3.51 registers no dependent files, so nothing tells which they were.
    for (const char* name : {"orvfont.dat", "orvcover.dll", "orvdrv.hlp"})
        EXPECT_EQ(exists(dependents_place() + name), machine->platform() == Platform::nt351) << name;
    EXPECT_FALSE(processor_present());
    EXPECT_FALSE(exists(processor_file()));
    for (int n = 1; n <= 3; ++n) EXPECT_FALSE(port_present(port(n))) << n;
    EXPECT_FALSE(monitor_present());
    const std::vector<std::string> ports = machine->spooler().ports();
    EXPECT_NE(std::find(ports.begin(), ports.end(), "LPT1:"), ports.end()) << "Local Port's ports stay";
    expect_nothing_left();
}

// What another printer still uses stays: the shared driver with its files and the shared
// processor; the port only the removed printer used goes, the monitor stays for the
// other printer's port.
TEST_P(RemovalOnEveryPlatform, WhatAnotherPrinterUsesStays) {
    add_printer("Fax", port(1));
    add_printer("Other Fax", port(2));
    EXPECT_EQ(insNukePrinter("Fax"), 0) << take_error_text();
    EXPECT_TRUE(present(model().c_str()));
    EXPECT_TRUE(exists(driver_place() + driver_file().substr(sizeof source_dir - 1)));
    EXPECT_TRUE(exists(dependents_place() + "orvfont.dat"));
    EXPECT_TRUE(processor_present());
    EXPECT_FALSE(port_present(port(1)));
    EXPECT_TRUE(port_present(port(2)));
    EXPECT_TRUE(port_present(port(3))) << "the monitor stays, and its unused ports with it";
    EXPECT_TRUE(monitor_present());
    expect_nothing_left();
}

// The product installed on a fresh machine and both its printers removed leave the
// machine as it was, but for what no removal can take (listed with its reason in the
// README).
class Residue : public Removal, public testing::WithParamInterface<Platform> {};

TEST_P(Residue, NothingIsLeftBehind) {
    lay_out_sources(GetParam());
    const winsim::Snapshot before = winsim::take_snapshot(*machine);
    install_components();
    add_printer("Fax A", port(1));
    add_printer("Fax B", port(2));
    ASSERT_EQ(insSetDefaultPrinter("Fax B"), 0);
    EXPECT_EQ(insNukePrinter("Fax A"), 0) << take_error_text();
    EXPECT_EQ(insNukePrinter("Fax B"), 0) << take_error_text();
    const std::vector<std::string> left = winsim::differences(before, winsim::take_snapshot(*machine));
    std::vector<std::string> expected;
    switch (GetParam()) {
        case Platform::win95:
        case Platform::win98:
            // The monitor's companion modules, which another program may share; the
            // sections the spooler keeps in WIN.INI, empty; the 16-bit driver's ini file.
            expected = {"+ file C:\\WINDOWS\\SYSTEM\\AUD16.DLL (608 bytes, attributes 0x00000020)",
                        "+ file C:\\WINDOWS\\SYSTEM\\BRG16AUD.DLL (640 bytes, attributes 0x00000020)",
                        "+ file C:\\WINDOWS\\SYSTEM\\BRG32AUD.DLL (2048 bytes, attributes 0x00000020)",
                        "+ file C:\\WINDOWS\\WIN.INI (38 bytes, attributes 0x00000020)",
                        "+ file C:\\WINDOWS\\orvlotus.ini (275 bytes, attributes 0x00000020)"};
            break;
        case Platform::nt351:
            // The dependent files, which NT 3.51 registers with no driver.
            expected = {"+ file C:\\WINNT\\system32\\spool\\drivers\\w32x86\\ORVCOVER.DLL (2048 bytes, attributes 0x00000020)",
                        "+ file C:\\WINNT\\system32\\spool\\drivers\\w32x86\\ORVDRV.HLP (26 bytes, attributes 0x00000020)",
                        "+ file C:\\WINNT\\system32\\spool\\drivers\\w32x86\\ORVFONT.DAT (18 bytes, attributes 0x00000020)"};
            break;
        case Platform::win2000:
            // The spooler's directory of version-2 drivers, empty; the keys above the
            // printers' settings, open to everyone as the library made them.
            expected = {"+ directory C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2",
                        "+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print (null DACL)",
                        "+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers (null DACL)"};
            break;
        default:
            break;
    }
    EXPECT_EQ(left, expected);
}

const auto every_platform = testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000);
const auto platform_name = [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); };
INSTANTIATE_TEST_SUITE_P(Platforms, RemovalOnEveryPlatform, every_platform, platform_name);
INSTANTIATE_TEST_SUITE_P(Platforms, Residue, every_platform, platform_name);

TEST_F(Removal, APrinterThatIsNotThereChangesNothing) {
    install_product(Platform::nt4);
    const unsigned calls = machine->faults().total_calls();
    EXPECT_EQ(insNukePrinter("No Such Printer"), 0);
    EXPECT_EQ(machine->faults().calls("DeletePrinter") + machine->faults().calls("DeletePrinterDriverA"), 0u);
    EXPECT_LE(machine->faults().total_calls() - calls, 3u) << "the presence test, and nothing more";
    EXPECT_TRUE(present(model().c_str()));
    EXPECT_EQ(insNukePrinter(nullptr), ERROR_INVALID_PARAMETER);
}

// "Local Port" and its ports, and the built-in processor in any letter case, are the
// system's: they never go with a printer.
TEST_F(Removal, TheSystemsPortsAndProcessorStay) {
    install_product(Platform::win2000);
    add_printer("Fax", "LPT1:,FILE:", "WinPrint");
    EXPECT_EQ(insNukePrinter("Fax"), 0) << take_error_text();
    EXPECT_TRUE(port_present("LPT1:"));
    EXPECT_TRUE(port_present("FILE:"));
    EXPECT_TRUE(processor_present("winprint"));
    EXPECT_EQ(machine->faults().calls("DeletePortA") + machine->faults().calls("DeleteMonitorA") +
                  machine->faults().calls("DeletePrintProcessorA"),
              0u);
    EXPECT_TRUE(processor_present()) << "the product's processor, which the printer did not use, stays";
}

// A dependent file another installed driver also lists stays for it.
TEST_F(Removal, ASharedDependentFileStays) {
    install_product(Platform::nt4);
    machine->spooler().add_driver("Office Fax", "OFFAX.DLL", {"", "", {"orvfont.dat"}});
    add_printer("Fax", port(1));
    EXPECT_EQ(insNukePrinter("Fax"), 0) << take_error_text();
    EXPECT_TRUE(exists(dependents_place() + "orvfont.dat"));
    EXPECT_FALSE(exists(dependents_place() + "orvcover.dll"));
}

// A driver file held by a program waits for the restart; the removal goes on.
TEST_F(Removal, AFileInUseIsDeletedAtTheRestart) {
    install_product(Platform::nt4);
    add_printer("Fax", port(1));
    const std::string held = dependents_place() + "orvcover.dll";
    machine->files().hold(held, 0);
    EXPECT_EQ(insNukePrinter("Fax"), 0) << take_error_text();
    EXPECT_EQ(RebootRequired(), 1);
    EXPECT_TRUE(exists(held));
    EXPECT_FALSE(monitor_present()) << "the steps after the deferred deletion ran";
}

// A printer the spooler keeps only until its last job is done counts as gone: its
// driver is no reason to keep the driver.
TEST_F(Removal, APrinterPendingDeletionIsNotAUser) {
    install_product(Platform::nt4);
    add_printer("Fax", port(1));
    add_printer("Old Fax", port(2));
    machine->spooler().queue_job("Old Fax");
    HANDLE open = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>("Old Fax"), &open, &defaults));
    ASSERT_TRUE(DeletePrinter(open));
    ClosePrinter(open);
    ASSERT_EQ(machine->spooler().printer_status("Old Fax") & PRINTER_STATUS_PENDING_DELETION,
              static_cast<DWORD>(PRINTER_STATUS_PENDING_DELETION));
    EXPECT_EQ(insNukePrinter("Fax"), 0) << take_error_text();
    EXPECT_EQ(machine->faults().calls("DeletePrinterDriverA"), 1u) << "the driver was taken as unused";
    EXPECT_FALSE(present(model().c_str()));
}

// On a print server of 2,000 printers and 4,000 ports, removing one printer reads each
// list once: asking for each port's owner port by port would list the ports thousands
// of times.
class PrintServer : public testing_support::LibraryTest {
protected:
    void SetUp() override {
        machine = winsim::Machine::create_from_description(ORV_PRINT_SERVER_DESCRIPTION);
        library = LoadLibraryA("OrvInstl.dll");
        ASSERT_NE(library, nullptr);
    }
};

TEST_F(PrintServer, RemovingAPrinterReadsEachListOnce) {
    const unsigned ports_before = machine->faults().calls("EnumPortsA");
    const unsigned printers_before = machine->faults().calls("EnumPrintersA");
    EXPECT_EQ(insNukePrinter("Queue 0007"), 0);
    EXPECT_FALSE(machine->spooler().has_printer("Queue 0007"));
    const std::vector<std::string> ports = machine->spooler().ports();
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "KNET_14:"), 0) << "its port went with it";
    EXPECT_EQ(ports.size(), 4002u);
    EXPECT_EQ(machine->faults().calls("EnumPortsA") - ports_before, 2u) << "one listing: its size, then the list";
    // Its own presence test, the deletion's, and the printers that remain.
    EXPECT_EQ(machine->faults().calls("EnumPrintersA") - printers_before, 6u);
}

TEST(PortList, EntriesAreComparedWithoutCaseAndTheListIsPutBack) {
    char list[] = "ORVFAX1:,lpt1:,FILE:";
    EXPECT_EQ(port_list_contains(list, "LPT1:"), 1);
    EXPECT_EQ(port_list_contains(list, "file:"), 1);
    EXPECT_EQ(port_list_contains(list, "ORVFAX1"), 0);
    EXPECT_EQ(port_list_contains(list, "LPT1:,FILE:"), 0);
    EXPECT_STREQ(list, "ORVFAX1:,lpt1:,FILE:");
    char empty[] = "";
    EXPECT_EQ(port_list_contains(empty, ""), 0);
    EXPECT_EQ(port_list_contains(nullptr, "LPT1:"), 0);
}

// Each step's failure ends the removal with its code and its entry; no later step runs.
TEST_F(Removal, EachFailureEndsTheRemovalWhereItHappened) {
    struct Case {
        const char* api;
        unsigned nth;
        const char* entry;
        const char* later_api;  // a call of a later step, never made
    };
    const Case cases[] = {
        {"OpenPrinterA", 1, "(OpenPrinter): \nerror #5 for value 'Fax'.", "DeletePrinter"},
        {"GetPrinterA", 1, "(GetPrinterData(.., 2, ..)): \nerror #5 for value 'Fax'.", "DeletePrinter"},
        {"GetPrinterDriverA", 2, "(GetPrinterData(.., 2, ..)): \nerror #5 for value 'Fax'.", "DeletePrinter"},
        {"DeletePrinterDriverA", 1, "(DeletePrintDriver): \nerror #5 for value '", "DeletePrintProcessorA"},
        {"DeletePrintProcessorA", 1, "error #5 for value 'Orvana Print Processor'.", "DeletePortA"},
        {"DeletePortA", 1, "error #5 for value 'ORVFAX1:'.", "DeleteMonitorA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.api);
        install_product(Platform::nt4);
        add_printer("Fax", port(1));
        machine->faults().fail(c.api, ERROR_ACCESS_DENIED, c.nth);
        EXPECT_EQ(insNukePrinter("Fax"), ERROR_ACCESS_DENIED);
        const std::string text = take_error_text();
        EXPECT_NE(text.find(c.entry), std::string::npos) << text;
        EXPECT_EQ(machine->faults().calls(c.later_api), 0u);
        expect_nothing_left();
    }
}

// Without the list of dependent files the removal goes on and leaves them.
TEST_F(Removal, UnreadableDependentFilesAreLeftWithAWarning) {
    install_product(Platform::nt4);
    add_printer("Fax", port(1));
    machine->faults().fail("GetPrinterDriverA", ERROR_ACCESS_DENIED, 3);
    EXPECT_EQ(insNukePrinter("Fax"), 0);
    const std::string text = take_error_text();
    EXPECT_NE(text.find("(Warning only) Unable to retrieve names of help file and dependent files for printer;"),
              std::string::npos)
        << text;
    EXPECT_FALSE(present(model().c_str()));
    EXPECT_TRUE(exists(dependents_place() + "orvfont.dat"));
    EXPECT_FALSE(monitor_present());
}

class Replication : public Removal {
protected:
    static DWORD attributes_of(const char* printer) {
        const std::vector<BYTE> record = winsim_test::printer_record(printer);
        return record.empty() ? 0 : reinterpret_cast<const PRINTER_INFO_2A*>(record.data())->Attributes;
    }
    void SetUp() override {
        install_product(Platform::win2000);
        add_printer("Fax", port(1));
        machine->registry().set_value(settings_key("Fax"), "Output Prefix", REG_SZ, std::string("SRCE", 5));
    }
};

TEST_F(Replication, TheCopyHasTheSettingsAndDevmodeOnItsOwnPort) {
    const std::string devmode_before = devmode("Fax");
    const auto settings_before = setting_names("Fax");
    EXPECT_EQ(insReplicatePrinter("Fax", "Fax Copy", port(2).c_str()), 0) << take_error_text();
    ASSERT_TRUE(machine->spooler().has_printer("Fax Copy"));
    const std::vector<BYTE> record = winsim_test::printer_record("Fax Copy");
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(record.data());
    EXPECT_STREQ(info->pPortName, port(2).c_str());
    EXPECT_STREQ(info->pDriverName, model().c_str());
    EXPECT_STREQ(info->pPrintProcessor, processor);
    EXPECT_EQ(devmode("Fax Copy"), devmode_before);
    EXPECT_EQ(setting_names("Fax Copy"), settings_before);
    EXPECT_EQ(setting("Output Prefix", "Fax Copy"), testing_support::text_value("SRCE"));
    EXPECT_EQ(setting_names("Fax"), settings_before) << "the source keeps its settings";
    EXPECT_EQ(port_of("Fax"), port(1));
    expect_nothing_left();
}

// The copy is never shared, offline or bidirectional, whatever the source is.
TEST_F(Replication, SharingOfflineAndBidirectionalAreCleared) {
    HANDLE open = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>("Fax"), &open, &defaults));
    std::vector<BYTE> record = winsim_test::printer_record("Fax");
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(record.data());
    info->Attributes |= PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_WORK_OFFLINE | PRINTER_ATTRIBUTE_ENABLE_BIDI;
    info->pShareName = const_cast<char*>("FAX");
    ASSERT_TRUE(SetPrinterA(open, 2, record.data(), 0));
    ClosePrinter(open);
    const DWORD kept = attributes_of("Fax") & ~static_cast<DWORD>(0xC08);
    ASSERT_EQ(insReplicatePrinter("Fax", "Fax Copy", port(2).c_str()), 0) << take_error_text();
    EXPECT_EQ(attributes_of("Fax Copy"), kept);
}

TEST_F(Replication, ANameTakenOrASourceMissingMakesNothing) {
    add_printer("Taken", port(2));
    const auto printers = machine->spooler().printers();
    EXPECT_EQ(insReplicatePrinter("Fax", "Taken", port(3).c_str()), INS_TARGET_PRINTER_EXISTS);
    EXPECT_EQ(insReplicatePrinter("Nobody", "Fax Copy", port(3).c_str()), INS_NO_SUCH_PRINTER);
    EXPECT_EQ(machine->spooler().printers(), printers);
    EXPECT_EQ(insReplicatePrinter("Fax", nullptr, "LPT1:"), ERROR_INVALID_PARAMETER);
}

}  // namespace
