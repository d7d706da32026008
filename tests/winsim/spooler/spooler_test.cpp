#include "support/temp_path.h"

#include <winsim/machine.h>
#include <winsim/spooler/print_registry.h>

#include <mkimage/image.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using winsim::Machine;
using winsim::Platform;

std::string monitor_dll(std::vector<std::string> exports, mkimage::ImageKind kind = mkimage::ImageKind::pe32) {
    mkimage::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.module_name = "ORVMON";
    recipe.exports = std::move(exports);
    return mkimage::build_image(recipe);
}

std::string system_file(Machine& machine, const std::string& name) {
    return std::string(machine.platform_info().system_directory) + "\\" + name;
}

BOOL add_monitor(const char* name, const char* environment, const char* dll) {
    MONITOR_INFO_2A info{const_cast<char*>(name), const_cast<char*>(environment), const_cast<char*>(dll)};
    return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
}

std::vector<std::string> enumerated_monitors(DWORD level) {
    DWORD needed = 0, returned = 0;
    EnumMonitorsA(nullptr, level, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumMonitorsA(nullptr, level, buffer.data(), needed, &needed, &returned));
    std::vector<std::string> names;
    for (DWORD i = 0; i < returned; ++i)
        names.push_back(level == 1 ? reinterpret_cast<MONITOR_INFO_1A*>(buffer.data())[i].pName
                                   : reinterpret_cast<MONITOR_INFO_2A*>(buffer.data())[i].pName);
    return names;
}

struct Platformed : testing::TestWithParam<Platform> {};

TEST(Spooler, EveryCallFailsWith1722WhileTheSpoolerIsStoppedOnNt) {
    auto machine = Machine::create(Platform::nt4);
    machine->spooler().add_driver("Orvana Laser");
    machine->spooler().add_printer("Orvana", "LPT1:", "Orvana Laser");
    machine->services().set_stopped("Spooler");
    DWORD needed = 0, returned = 0;
    HANDLE printer = nullptr;
    char directory[MAX_PATH];
    auto expect_1722 = [](BOOL ok) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    };
    expect_1722(EnumMonitorsA(nullptr, 1, nullptr, 0, &needed, &returned));
    expect_1722(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    expect_1722(OpenPrinterA(const_cast<char*>("Orvana"), &printer, nullptr));
    expect_1722(add_monitor("X", "Windows NT x86", "x.dll"));
    expect_1722(DeleteMonitorA(nullptr, nullptr, const_cast<char*>("Local Port")));
    expect_1722(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed));
    machine->services().set_running("Spooler");
    EXPECT_TRUE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed));
}

TEST_P(Platformed, MonitorEnumerationSizingBoundary) {
    auto machine = Machine::create(GetParam());
    for (DWORD level : machine->is_nt() ? std::vector<DWORD>{1, 2} : std::vector<DWORD>{1}) {
        DWORD needed = 0, returned = 7;
        SetLastError(0);
        EXPECT_FALSE(EnumMonitorsA(nullptr, level, nullptr, 0, &needed, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(returned, 0u);
        ASSERT_GT(needed, 0u);
        std::vector<BYTE> buffer(needed);
        DWORD again = 0;
        EXPECT_FALSE(EnumMonitorsA(nullptr, level, buffer.data(), needed - 1, &again, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(again, needed);
        ASSERT_TRUE(EnumMonitorsA(nullptr, level, buffer.data(), needed, &again, &returned));
        ASSERT_EQ(returned, 1u);
        if (level == 2) {
            const auto& info = *reinterpret_cast<MONITOR_INFO_2A*>(buffer.data());
            EXPECT_STREQ(info.pName, "Local Port");
            EXPECT_STREQ(info.pEnvironment, machine->spooler().environment().c_str());
            // Strings lie inside the caller's buffer.
            EXPECT_GE(reinterpret_cast<BYTE*>(info.pDLLName), buffer.data());
            EXPECT_LT(reinterpret_cast<BYTE*>(info.pDLLName), buffer.data() + needed);
        }
    }
}

// Wine's winspool test_EnumMonitors: level 2 "is not supported on win9x" (124); a level
// nobody knows is 124 on NT, an empty success on 95/98 (the size they report then is
// unconfirmed: winsim says 0).
TEST_P(Platformed, MonitorEnumerationLevels) {
    auto machine = Machine::create(GetParam());
    const bool nt = machine->is_nt();
    DWORD needed = 0xDEADBEEF, returned = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    BOOL listed = EnumMonitorsA(nullptr, 2, nullptr, 0, &needed, &returned);
    EXPECT_FALSE(listed);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_LEVEL));
    for (DWORD level : {0u, 3u}) {
        needed = returned = 0xDEADBEEF;
        SetLastError(0xDEADBEEF);
        listed = EnumMonitorsA(nullptr, level, nullptr, 0, &needed, &returned);
        EXPECT_EQ(listed != FALSE, !nt) << level;
        if (nt) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
        } else {
            EXPECT_EQ(returned, 0u);
            EXPECT_EQ(needed, 0u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, Platformed, testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

struct MonitorCase {
    Platform platform;
    std::vector<std::string> exports;
    DWORD error;  // 0: added
};

class AddMonitor : public testing::TestWithParam<MonitorCase> {};

TEST_P(AddMonitor, AcceptsThePlatformsInitialisationExports) {
    const MonitorCase& c = GetParam();
    auto machine = Machine::create(c.platform);
    machine->files().write_file(system_file(*machine, "orvmon.dll"), monitor_dll(c.exports));
    SetLastError(0);
    BOOL ok = add_monitor("Orvana Port", machine->spooler().environment().c_str(), "orvmon.dll");
    EXPECT_EQ(ok != FALSE, c.error == 0);
    if (c.error) {
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(machine->spooler().monitors().size(), 1u);
        return;
    }
    EXPECT_EQ(machine->registry().value(machine->spooler().root() + "\\Monitors\\Orvana Port", "Driver")->bytes,
              std::string("orvmon.dll", 11));
    EXPECT_EQ(enumerated_monitors(1), (std::vector<std::string>{"Local Port", "Orvana Port"}));
}

INSTANTIATE_TEST_SUITE_P(
    Exports, AddMonitor,
    testing::Values(MonitorCase{Platform::win95, {"InitializeMonitorEx"}, 0},
                    MonitorCase{Platform::win98, {"InitializePrintMonitor"}, ERROR_INVALID_PARAMETER},
                    MonitorCase{Platform::nt351, {"InitializePrintMonitor"}, 0},
                    MonitorCase{Platform::nt4, {"InitializeMonitorEx"}, 0},
                    MonitorCase{Platform::nt4, {"InitializeMonitor"}, 0},
                    MonitorCase{Platform::nt4, {"InitializePrintMonitor2"}, ERROR_PROC_NOT_FOUND},
                    MonitorCase{Platform::win2000, {"InitializePrintMonitor2"}, 0},
                    MonitorCase{Platform::win2000, {"InitializePrintMonitor"}, 0},
                    MonitorCase{Platform::win2000, {"InitializeMonitorEx"}, ERROR_PROC_NOT_FOUND}));

TEST_P(Platformed, AddMonitorRefusals) {
    auto machine = Machine::create(GetParam());
    const bool nt = machine->is_nt();
    const std::string init = nt ? "InitializePrintMonitor" : "InitializeMonitorEx";
    const std::string environment = machine->spooler().environment();
    machine->files().write_file(system_file(*machine, "orvmon.dll"), monitor_dll({init}));
    machine->files().write_file("C:\\ORV\\orvmon.dll", monitor_dll({init}));
    machine->files().write_file(system_file(*machine, "orvmon64.dll"), monitor_dll({init}, mkimage::ImageKind::pe32_plus));

    EXPECT_FALSE(add_monitor("Orvana", nt ? "Windows 4.0" : "Windows NT x86", "orvmon.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    EXPECT_FALSE(add_monitor("Orvana", environment.c_str(), "missing.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(add_monitor("Orvana", environment.c_str(), "C:\\ORV\\orvmon.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(add_monitor("Orvana", environment.c_str(), "orvmon64.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_BAD_EXE_FORMAT : ERROR_INVALID_PARAMETER));

    // Environments are compared without regard to case.
    std::string lower = environment;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ASSERT_TRUE(add_monitor("Orvana", lower.c_str(), "orvmon.dll"));
    EXPECT_FALSE(add_monitor("orvana", environment.c_str(), "orvmon.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED : ERROR_ALREADY_EXISTS));
}

// Wine's winspool test_AddMonitor, which records both families: the level is checked on
// 95/98 too; NT answers a missing name or DLL name with 87, 95/98 with 1314 and a
// missing environment with ERROR_INVALID_ENVIRONMENT; an empty DLL name is 87 on both.
TEST_P(Platformed, AddMonitorArguments) {
    auto machine = Machine::create(GetParam());
    const bool nt = machine->is_nt();
    const std::string environment = machine->spooler().environment();
    machine->files().write_file(system_file(*machine, "orvmon.dll"), monitor_dll({nt ? "InitializePrintMonitor" : "InitializeMonitorEx"}));
    char* env = const_cast<char*>(environment.c_str());
    char name[] = "Orvana", empty[] = "", dll[] = "orvmon.dll";
    const DWORD missing = nt ? ERROR_INVALID_PARAMETER : ERROR_PRIVILEGE_NOT_HELD;
    struct Case {
        const char* what;
        DWORD level;
        bool no_info;
        MONITOR_INFO_2A info;
        DWORD error;
    } cases[] = {
        {"level 1", 1, true, {}, ERROR_INVALID_LEVEL},
        {"level 3", 3, true, {}, ERROR_INVALID_LEVEL},
        {"no record", 2, true, {}, nt ? 0xDEADBEEFu : static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD)},  // NT leaves the last error alone
        {"an empty record", 2, false, {}, static_cast<DWORD>(nt ? ERROR_INVALID_PARAMETER : ERROR_INVALID_ENVIRONMENT)},
        {"an empty name", 2, false, {empty, env, dll}, missing},
        {"no DLL name", 2, false, {name, env, nullptr}, missing},
        {"an empty DLL name", 2, false, {name, env, empty}, ERROR_INVALID_PARAMETER},
    };
    for (Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(AddMonitorA(nullptr, c.level, c.no_info ? nullptr : reinterpret_cast<LPBYTE>(&c.info))) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(machine->spooler().monitors(), std::vector<std::string>{"Local Port"});
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(add_monitor("Orvana", environment.c_str(), "orvmon.dll"));
    EXPECT_EQ(GetLastError(), 0u) << "a monitor installer relies on it (Wine's spooler sets it for that reason)";
}

// Wine's winspool test_DeleteMonitor: the environment is not looked at for the local
// machine; a missing name is 87 on NT, 123 on 95/98.
TEST_P(Platformed, DeleteMonitorArguments) {
    auto machine = Machine::create(GetParam());
    const bool nt = machine->is_nt();
    machine->spooler().add_monitor("Orvana", "orvmon.dll");
    for (char* monitor : {static_cast<char*>(nullptr), const_cast<char*>("")}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, monitor));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME));
    }
    EXPECT_TRUE(DeleteMonitorA(nullptr, const_cast<char*>("invalid_env"), const_cast<char*>("Orvana")));
    EXPECT_EQ(machine->spooler().monitors(), std::vector<std::string>{"Local Port"});
}

TEST_P(Platformed, DeleteMonitorInUseAndUnknown) {
    auto machine = Machine::create(GetParam());
    const bool nt = machine->is_nt();
    machine->files().write_file(system_file(*machine, "orvmon.dll"), monitor_dll({nt ? "InitializePrintMonitor" : "InitializeMonitorEx"}));
    ASSERT_TRUE(add_monitor("Orvana", machine->spooler().environment().c_str(), "orvmon.dll"));
    machine->spooler().add_port("Orvana", "ORV1:");
    machine->spooler().add_driver("Orvana Laser");
    machine->spooler().add_printer("Orvana", "ORV1:", "Orvana Laser");
    EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, const_cast<char*>("Orvana")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE));
    EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, const_cast<char*>("No Such Monitor")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(nt ? ERROR_UNKNOWN_PRINT_MONITOR : ERROR_INVALID_PARAMETER));

    HANDLE printer = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>("Orvana"), &printer, &all));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    ASSERT_TRUE(DeleteMonitorA(nullptr, nullptr, const_cast<char*>("orvana")));
    EXPECT_EQ(machine->spooler().monitors(), std::vector<std::string>{"Local Port"});
    // Its DLL is no longer held: it can be replaced.
    machine->files().write_file("C:\\x.dll", "new");
    EXPECT_TRUE(CopyFileA("C:\\x.dll", system_file(*machine, "orvmon.dll").c_str(), FALSE));
}

TEST(Spooler, HoldsItsMonitorsWhileRunningAndReadsTheRegistryWhenItStarts) {
    auto machine = Machine::create(Platform::nt4);
    const std::string dll = system_file(*machine, "orvmon.dll");
    machine->files().write_file(dll, monitor_dll({"InitializePrintMonitor"}));
    machine->files().write_file("C:\\new.dll", "new");
    ASSERT_TRUE(add_monitor("Orvana", nullptr, "orvmon.dll"));
    EXPECT_FALSE(CopyFileA("C:\\new.dll", dll.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE spooler = OpenServiceA(manager, "Spooler", SERVICE_ALL_ACCESS);
    SERVICE_STATUS s{};
    ASSERT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, &s));
    // Still held while the spooler is on its way out.
    EXPECT_FALSE(CopyFileA("C:\\new.dll", dll.c_str(), FALSE));
    Sleep(2000);
    EXPECT_TRUE(CopyFileA("C:\\new.dll", dll.c_str(), FALSE));
    machine->files().write_file(dll, monitor_dll({"InitializePrintMonitor"}));

    // Registered while stopped: the spooler sees it once it starts.
    machine->files().write_file(system_file(*machine, "late.dll"), monitor_dll({"InitializePrintMonitor"}));
    machine->registry().set_string(machine->spooler().root() + "\\Monitors\\Late", "Driver", "late.dll");
    ASSERT_TRUE(StartServiceA(spooler, 0, nullptr));
    Sleep(2000);
    EXPECT_EQ(enumerated_monitors(2), (std::vector<std::string>{"Local Port", "Orvana", "Late"}));
    EXPECT_FALSE(CopyFileA("C:\\new.dll", system_file(*machine, "late.dll").c_str(), FALSE));
    CloseServiceHandle(spooler);
    CloseServiceHandle(manager);
}

TEST(Spooler, NineXHoldsItsMonitorsToo) {
    auto machine = Machine::create(Platform::win98);
    const std::string dll = system_file(*machine, "orvmon.dll");
    machine->files().write_file(dll, monitor_dll({"InitializeMonitorEx"}));
    machine->files().write_file("C:\\new.dll", "new");
    ASSERT_TRUE(add_monitor("Orvana", "Windows 4.0", "orvmon.dll"));
    EXPECT_FALSE(CopyFileA("C:\\new.dll", dll.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    machine->reboot();
    EXPECT_FALSE(CopyFileA("C:\\new.dll", dll.c_str(), FALSE));
}

class Printers : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = Machine::create(GetParam());
        machine->spooler().add_driver("Orvana Laser");
        machine->spooler().add_printer("Orvana A", "LPT1:", "Orvana Laser");
        machine->spooler().add_printer("Orvana B", "FILE:", "Orvana Laser");
    }
    std::vector<std::string> listed() {
        DWORD needed = 0, returned = 0;
        EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed);
        EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &returned));
        std::vector<std::string> names;
        for (DWORD i = 0; i < returned; ++i) names.push_back(reinterpret_cast<PRINTER_INFO_2A*>(buffer.data())[i].pPrinterName);
        return names;
    }
    HANDLE open(const char* name, DWORD access) {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, access};
        EXPECT_TRUE(OpenPrinterA(const_cast<char*>(name), &printer, &defaults)) << name;
        return printer;
    }
    std::unique_ptr<Machine> machine;
};

INSTANTIATE_TEST_SUITE_P(All, Printers, testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(Printers, EnumerationSizingAndContents) {
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    DWORD again = 0;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed - 1, &again, &returned));
    EXPECT_EQ(again, needed);
    ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &again, &returned));
    ASSERT_EQ(returned, 2u);
    const auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    EXPECT_STREQ(info[1].pPrinterName, "Orvana B");
    EXPECT_STREQ(info[1].pPortName, "FILE:");
    EXPECT_STREQ(info[1].pDriverName, "Orvana Laser");
    EXPECT_STREQ(info[1].pPrintProcessor, "WinPrint");
    ASSERT_NE(info[0].pDevMode, nullptr);
    const WORD size = winsim::platform_info(GetParam()).major >= 5 ? 156 : GetParam() == Platform::nt351 ? 124 : 148;
    EXPECT_EQ(info[0].pDevMode->dmSize, size);
    EXPECT_STREQ(reinterpret_cast<const char*>(info[0].pDevMode->dmDeviceName), "Orvana A");
    EXPECT_LE(reinterpret_cast<const BYTE*>(info[0].pDevMode) + size, buffer.data() + needed);
}

TEST_P(Printers, OpenNames) {
    HANDLE printer = nullptr;
    // "" is 1801 on NT and 87 on 95/98 (Wine's test_OpenPrinter). A name with a comma
    // that is none of the spooler's other objects is no printer: 1801 (Wine's test takes
    // 1801 or 87 for "illegal,name"; 95/98 unconfirmed).
    const struct {
        const char* name;
        DWORD error;
    } refused[] = {
        {"", static_cast<DWORD>(machine->is_nt() ? ERROR_INVALID_PRINTER_NAME : ERROR_INVALID_PARAMETER)},
        {"Nobody", ERROR_INVALID_PRINTER_NAME},
        {"a,b", ERROR_INVALID_PRINTER_NAME},
        {"Orvana A,b", ERROR_INVALID_PRINTER_NAME},
        {"Orvana A,", ERROR_INVALID_PRINTER_NAME},
        {",Ports", ERROR_INVALID_PRINTER_NAME},
        // The other objects a name reaches are not simulated yet, but for a monitor's
        // channel on this computer (ports_test.cpp); before 2000 no monitor has one.
        {"\\\\SERVER", ERROR_CALL_NOT_IMPLEMENTED},
        {"\\\\SERVER\\,XcvMonitor Local Port",
         static_cast<DWORD>(GetParam() == Platform::win2000 ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_PRINTER_NAME)},
        {",XcvPort LPT1:", ERROR_CALL_NOT_IMPLEMENTED},
        {"LPT1:,Port", ERROR_CALL_NOT_IMPLEMENTED},
        {"Orvana A,Job 1", ERROR_CALL_NOT_IMPLEMENTED},
    };
    for (const auto& c : refused) {
        printer = reinterpret_cast<HANDLE>(0xDEADBEEF);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(OpenPrinterA(const_cast<char*>(c.name), &printer, nullptr)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        EXPECT_EQ(printer, reinterpret_cast<HANDLE>(0xDEADBEEF)) << c.name;
    }
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>("orvana a"), &printer, nullptr));
    EXPECT_TRUE(ClosePrinter(printer));
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A key under Printers is a printer only with the whole entry the spooler reads at
// start; the key a registry write makes for a printer's settings is none, and a
// restart leaves it a key.
TEST_P(Printers, AKeyAloneIsNoPrinter) {
    const std::string ghost = machine->spooler().root() + "\\Printers\\Ghost";
    machine->registry().set_dword(ghost + "\\PrinterDriverData", "Resolution", 300);
    const std::string partial = machine->spooler().root() + "\\Printers\\Partial";
    machine->registry().set_string(partial, "Name", "Partial");
    machine->registry().set_string(partial, "Port", "LPT1:");
    machine->registry().set_string(partial, "Printer Driver", "Orvana Laser");
    for (int restarted = 0; restarted < 2; ++restarted) {
        EXPECT_EQ(listed(), (std::vector<std::string>{"Orvana A", "Orvana B"})) << restarted;
        EXPECT_FALSE(machine->spooler().has_printer("Ghost"));
        for (const char* name : {"Ghost", "Partial"}) {
            HANDLE printer = reinterpret_cast<HANDLE>(0xDEADBEEF);
            SetLastError(0xDEADBEEF);
            EXPECT_FALSE(OpenPrinterA(const_cast<char*>(name), &printer, nullptr)) << name;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME)) << name;
        }
        EXPECT_TRUE(machine->registry().key_exists(ghost + "\\PrinterDriverData")) << restarted;
        EXPECT_TRUE(machine->registry().key_exists(partial)) << restarted;
        machine->reboot();
    }
    // A printer added under that name takes the key over, its settings included.
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>("Ghost");
    info.pPortName = const_cast<char*>("LPT1:");
    info.pDriverName = const_cast<char*>("Orvana Laser");
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(added, nullptr);
    ClosePrinter(added);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Orvana A", "Orvana B", "Ghost"}));
    EXPECT_EQ(machine->registry().value(ghost + "\\PrinterDriverData", "Resolution")->bytes, std::string("\x2c\x01\0\0", 4));
}

TEST_P(Printers, PurgeNeedsAdministerRightsOnNt) {
    machine->spooler().queue_job("Orvana A");
    HANDLE use = open("Orvana A", PRINTER_ACCESS_USE);
    BOOL purged = SetPrinterA(use, 0, nullptr, PRINTER_CONTROL_PURGE);
    EXPECT_EQ(purged != FALSE, machine->is_9x());
    if (!purged) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        HANDLE admin = open("Orvana A", PRINTER_ALL_ACCESS);
        EXPECT_TRUE(SetPrinterA(admin, 0, nullptr, PRINTER_CONTROL_PURGE));
        ClosePrinter(admin);
    }
    EXPECT_TRUE(machine->spooler().jobs("Orvana A").empty());
    ClosePrinter(use);
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_P(Printers, DeletionWaitsForJobsAndOtherHandles) {
    machine->spooler().queue_job("Orvana A");
    HANDLE deleter = open("Orvana A", PRINTER_ALL_ACCESS);
    HANDLE other = open("Orvana A", PRINTER_ACCESS_USE);
    ASSERT_TRUE(DeletePrinter(deleter));
    EXPECT_EQ(listed(), (std::vector<std::string>{"Orvana A", "Orvana B"}));
    EXPECT_TRUE(machine->spooler().printer_status("Orvana A") & PRINTER_STATUS_PENDING_DELETION);
    EXPECT_TRUE(SetPrinterA(deleter, 0, nullptr, PRINTER_CONTROL_PURGE));
    ClosePrinter(deleter);
    EXPECT_TRUE(machine->spooler().has_printer("Orvana A"));  // `other` still holds it
    ClosePrinter(other);
    EXPECT_EQ(listed(), std::vector<std::string>{"Orvana B"});

    // Without jobs or other handles it goes at once.
    HANDLE b = open("Orvana B", PRINTER_ALL_ACCESS);
    ASSERT_TRUE(DeletePrinter(b));
    EXPECT_TRUE(listed().empty());
    EXPECT_TRUE(ClosePrinter(b));
}

std::string profile(const char* section, const char* key) {
    char value[256];
    GetProfileStringA(section, key, "<absent>", value, sizeof value);
    return value;
}

// 95/98 name the driver's module and the port in a printer's entries and follow a port
// change; NT's name winspool and the printer's own NeNN: port, which do not change.
TEST_P(Printers, EntriesFollowAPortChangeOnlyWhereTheyNameThePort) {
    const std::string devices = profile("Devices", "Orvana A");
    const std::string ports = profile("PrinterPorts", "Orvana A");
    HANDLE printer = open("Orvana A", PRINTER_ALL_ACCESS);
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterA(printer, 2, buffer.data(), needed, &needed));
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    info->pPortName = const_cast<char*>("COM1:");
    ASSERT_TRUE(SetPrinterA(printer, 2, buffer.data(), 0));
    ClosePrinter(printer);
    if (winsim::platform_info(GetParam()).family == winsim::Family::win9x) {
        EXPECT_EQ(devices, "ORVDRV,LPT1:");
        EXPECT_EQ(profile("Devices", "Orvana A"), "ORVDRV,COM1:");
        EXPECT_EQ(profile("PrinterPorts", "Orvana A"), "ORVDRV,COM1:,15,45");
    } else {
        EXPECT_EQ(profile("Devices", "Orvana A"), devices);
        EXPECT_EQ(profile("PrinterPorts", "Orvana A"), ports);
    }
    EXPECT_EQ(profile("Devices", "Orvana B"), winsim::platform_info(GetParam()).family == winsim::Family::win9x
                                                  ? "ORVDRV,FILE:"
                                                  : "winspool,Ne01:");
}

// Wine takes the default printer's entry out with the printer (unconfirmed on Windows).
TEST_P(Printers, DeletingTheDefaultPrinterTakesItsDeviceEntry) {
    ASSERT_TRUE(WriteProfileStringA("Windows", "Device", "ORVANA A,ORVDRV,LPT1:"));
    ASSERT_TRUE(WriteProfileStringA("Windows", "Beep", "yes"));
    HANDLE b = open("Orvana B", PRINTER_ALL_ACCESS);
    ASSERT_TRUE(DeletePrinter(b));
    ClosePrinter(b);
    EXPECT_EQ(profile("Windows", "Device"), "ORVANA A,ORVDRV,LPT1:") << "another printer's deletion leaves it";
    HANDLE a = open("Orvana A", PRINTER_ALL_ACCESS);
    ASSERT_TRUE(DeletePrinter(a));
    ClosePrinter(a);
    EXPECT_EQ(profile("Windows", "Device"), "<absent>");
    EXPECT_EQ(profile("Devices", "Orvana A"), "<absent>");
    EXPECT_EQ(profile("Windows", "Beep"), "yes");
}

TEST_P(Printers, AddPrinterValidations) {
    auto add = [](const char* name, const char* port, const char* driver, const char* processor, const char* datatype) {
        PRINTER_INFO_2A info{};
        info.pPrinterName = const_cast<char*>(name);
        info.pPortName = const_cast<char*>(port);
        info.pDriverName = const_cast<char*>(driver);
        info.pPrintProcessor = const_cast<char*>(processor);
        info.pDatatype = const_cast<char*>(datatype);
        SetLastError(0);
        return AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    };
    struct Case {
        const char* name;
        const char* port;
        const char* driver;
        const char* processor;
        const char* datatype;
        DWORD error;
    } cases[] = {
        {"", "LPT1:", "Orvana Laser", "WinPrint", "RAW", ERROR_INVALID_PRINTER_NAME},
        {"A\\B", "LPT1:", "Orvana Laser", "WinPrint", "RAW", ERROR_INVALID_PRINTER_NAME},
        {"A,B", "LPT1:", "Orvana Laser", "WinPrint", "RAW", ERROR_INVALID_PRINTER_NAME},
        {"orvana a", "LPT1:", "Orvana Laser", "WinPrint", "RAW", ERROR_PRINTER_ALREADY_EXISTS},
        {"New", "LPT9:", "Orvana Laser", "WinPrint", "RAW", ERROR_UNKNOWN_PORT},
        {"New", "LPT1:", "Other Laser", "WinPrint", "RAW", ERROR_UNKNOWN_PRINTER_DRIVER},
        {"New", "LPT1:", "Orvana Laser", "OrvPrint", "RAW", ERROR_UNKNOWN_PRINTPROCESSOR},
        {"New", "LPT1:", "Orvana Laser", "WinPrint", "ORVDATA", ERROR_INVALID_DATATYPE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(add(c.name, c.port, c.driver, c.processor, c.datatype), nullptr) << c.name << " " << c.error;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    HANDLE added = add("New", "com1:", "orvana laser", "winprint", "raw");
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(machine->spooler().has_printer("New"));
    EXPECT_TRUE(machine->registry().key_exists(machine->spooler().printer_key("New") + "\\PrinterDriverData"));
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterA(added, 2, nullptr, 0, &needed));
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterA(added, 2, buffer.data(), needed, &needed));
    EXPECT_STREQ(reinterpret_cast<PRINTER_INFO_2A*>(buffer.data())->pPortName, "com1:");
    ClosePrinter(added);
}

TEST(Spooler, NonAdministratorsMayNotAdministerPrintersOnNt) {
    winsim::MachineOptions user;
    user.administrator = false;
    auto machine = Machine::create(Platform::win2000, user);
    machine->spooler().add_driver("Orvana Laser");
    machine->spooler().add_printer("Orvana", "LPT1:", "Orvana Laser");
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_FALSE(OpenPrinterA(const_cast<char*>("Orvana"), &printer, &all));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(OpenPrinterA(const_cast<char*>("Orvana"), &printer, nullptr));
    EXPECT_FALSE(DeletePrinter(printer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ClosePrinter(printer);
}

TEST(Spooler, FaultInjectionFailsSpoolerCalls) {
    auto machine = Machine::create(Platform::nt4);
    machine->faults().fail("EnumPrintersA", ERROR_NOT_ENOUGH_MEMORY);
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(needed, 0u);
}

TEST(Spooler, StateSurvivesSaveAndOpen) {
    const auto folder = testing_support::temp_path("winsim-spooler-persist");
    std::filesystem::remove_all(folder);
    {
        auto machine = Machine::create(Platform::nt4, {}, folder);
        machine->files().write_file(system_file(*machine, "orvmon.dll"), monitor_dll({"InitializePrintMonitor"}));
        ASSERT_TRUE(add_monitor("Orvana", nullptr, "orvmon.dll"));
        machine->spooler().add_driver("Orvana Laser");
        machine->spooler().add_printer("Orvana", "LPT1:", "Orvana Laser");
        machine->spooler().queue_job("Orvana", "Report");
        machine->services().refuse_stop("Spooler", ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        machine->save();
    }
    {
        auto machine = Machine::open(folder);
        EXPECT_TRUE(machine->spooler().running());
        ASSERT_EQ(machine->spooler().jobs("Orvana").size(), 1u);
        EXPECT_EQ(machine->spooler().jobs("Orvana")[0].document, "Report");
        EXPECT_EQ(enumerated_monitors(1), (std::vector<std::string>{"Local Port", "Orvana"}));
        machine->files().write_file("C:\\new.dll", "new");
        EXPECT_FALSE(CopyFileA("C:\\new.dll", system_file(*machine, "orvmon.dll").c_str(), FALSE));
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE spooler = OpenServiceA(manager, "Spooler", SERVICE_ALL_ACCESS);
        SERVICE_STATUS s{};
        EXPECT_FALSE(ControlService(spooler, SERVICE_CONTROL_STOP, &s));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
        CloseServiceHandle(spooler);
        CloseServiceHandle(manager);
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
