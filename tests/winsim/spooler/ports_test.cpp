#include <winsim/faults.h>
#include <winsim/machine.h>
#include <winsim/spooler/print_registry.h>
#include <winsim/spooler/spooler.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using winsim::Machine;
using winsim::Platform;
namespace reg = winsim::print_registry;

constexpr DWORD dead = 0xDEADBEEF;
constexpr const char* orvana = "Orvana Port";

// What EnumPortsA answers, in its two calls.
std::vector<BYTE> enumerate(DWORD level, DWORD& returned) {
    DWORD needed = dead;
    returned = dead;
    SetLastError(dead);
    EXPECT_FALSE(EnumPortsA(nullptr, level, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    if (needed) {
        SetLastError(dead);
        EXPECT_FALSE(EnumPortsA(nullptr, level, buffer.data(), needed - 1, &needed, &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
    EXPECT_TRUE(EnumPortsA(nullptr, level, buffer.data(), needed, &needed, &returned));
    return buffer;
}

std::vector<std::string> listed() {
    DWORD returned = 0;
    std::vector<BYTE> buffer = enumerate(1, returned);
    std::vector<std::string> names;
    for (DWORD i = 0; i < returned; ++i) names.emplace_back(reinterpret_cast<const PORT_INFO_1A*>(buffer.data())[i].pName);
    return names;
}

void expect_failure(BOOL result, DWORD code) {
    EXPECT_FALSE(result);
    EXPECT_EQ(GetLastError(), code);
}

struct Ports : testing::TestWithParam<Platform> {
    std::unique_ptr<Machine> machine = Machine::create(GetParam());

    Ports() { machine->spooler().add_monitor(orvana, "orvmon.dll"); }
    std::string orvana_key() const { return machine->spooler().root() + "\\Monitors\\" + orvana; }
    // The library's registry road: a port with settings, and a plain port.
    void write_ports() {
        machine->registry().set_string(orvana_key() + "\\PortList\\ORV1:", "Output Prefix", "AAAA");
        machine->registry().set_string(orvana_key() + "\\Ports", "ORVPLAIN:", "");
    }
    // An unknown monitor or port: Wine's spooler test, 87 on NT 3.51 and 95/98, 50 on
    // XP (NT 4.0 and 2000 taken the same).
    DWORD unknown() const { return machine->is_nt() && GetParam() != Platform::nt351 ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER; }
    // A null string: NT's RPC layer refuses it with 1780, 95/98 with 87 (Wine's test).
    DWORD null_string() const { return static_cast<DWORD>(machine->is_nt() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER); }
};

const std::vector<std::string> local_ports{"LPT1:", "COM1:", "FILE:"};

TEST_P(Ports, LevelTwoNamesEachPortsMonitor) {
    DWORD returned = 0;
    std::vector<BYTE> buffer = enumerate(2, returned);
    ASSERT_EQ(returned, 3u);
    for (DWORD i = 0; i < returned; ++i) {
        const auto& info = reinterpret_cast<const PORT_INFO_2A*>(buffer.data())[i];
        EXPECT_EQ(info.pPortName, local_ports[i]);
        EXPECT_STREQ(info.pMonitorName, "Local Port");
        EXPECT_STREQ(info.pDescription, "Local Port");
        EXPECT_EQ(info.fPortType, static_cast<DWORD>(PORT_TYPE_WRITE));
    }
    // NT 3.51's local monitor keeps its ports in the system's own list.
    const bool system_list = GetParam() == Platform::nt351;
    EXPECT_EQ(machine->registry().value(std::string(reg::nt351_local_ports), "LPT1:").has_value(), system_list);
    EXPECT_EQ(machine->registry().value(machine->spooler().root() + "\\Monitors\\Local Port\\Ports", "LPT1:").has_value(), !system_list);
    DWORD needed = dead;
    SetLastError(dead);
    expect_failure(EnumPortsA(nullptr, 3, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned), ERROR_INVALID_LEVEL);
    SetLastError(dead);
    expect_failure(EnumPortsA(nullptr, 1, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &returned), null_string());
}

TEST_P(Ports, AMonitorKnowsWhatItsRegistryHeldWhenItLastLooked) {
    write_ports();
    EXPECT_EQ(listed(), local_ports) << "written after the monitor read its ports";
    EXPECT_TRUE(AddPortA(nullptr, nullptr, const_cast<char*>("orvana port")));
    std::vector<std::string> all = local_ports;
    all.insert(all.end(), {"ORVPLAIN:", "ORV1:"});
    EXPECT_EQ(listed(), all);

    // A restart reads them too, and a port's key written since.
    machine->registry().create_key(orvana_key() + "\\PortList\\ORV2:");
    machine->reboot();
    all.push_back("ORV2:");
    EXPECT_EQ(listed(), all);
}

TEST_P(Ports, DeletionGoesThroughTheMonitorThatOwnsThePort) {
    write_ports();
    ASSERT_TRUE(AddPortA(nullptr, nullptr, const_cast<char*>(orvana)));
    // Microsoft's DeletePort page: refused while a printer is connected to the port,
    // pooled with others too (unconfirmed: 170).
    machine->spooler().add_printer("Fax", "LPT1:,FILE:", "Orvana Print Driver");
    SetLastError(dead);
    expect_failure(DeletePortA(nullptr, nullptr, const_cast<char*>("file:")), ERROR_BUSY);
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>("Fax"), &printer, &all));
    ASSERT_TRUE(DeletePrinter(printer));
    ASSERT_TRUE(ClosePrinter(printer));
    for (const char* port : {"file:", "ORV1:", "orvplain:"}) EXPECT_TRUE(DeletePortA(nullptr, nullptr, const_cast<char*>(port))) << port;
    EXPECT_EQ(listed(), (std::vector<std::string>{"LPT1:", "COM1:"}));
    EXPECT_FALSE(machine->registry().key_exists(orvana_key() + "\\PortList\\ORV1:"));
    EXPECT_FALSE(machine->registry().value(orvana_key() + "\\Ports", "ORVPLAIN:").has_value());
    machine->reboot();
    EXPECT_EQ(listed(), (std::vector<std::string>{"LPT1:", "COM1:"})) << "the registry no longer holds them";

    SetLastError(dead);
    expect_failure(DeletePortA(nullptr, nullptr, const_cast<char*>("FILE:")), unknown());
    SetLastError(dead);
    expect_failure(DeletePortA(nullptr, nullptr, nullptr), null_string());
    SetLastError(dead);
    expect_failure(AddPortA(nullptr, nullptr, const_cast<char*>("No Such Monitor")), unknown());
    SetLastError(dead);
    expect_failure(AddPortA(nullptr, nullptr, nullptr), null_string());
}

TEST_P(Ports, ASavedMachineKeepsWhatItsMonitorsRead) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("winsim-ports-" + std::string(winsim::platform_info(GetParam()).name) + "-" +
                                          std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(folder);
    machine = Machine::create(GetParam(), {}, folder);
    machine->spooler().add_monitor(orvana, "orvmon.dll");
    machine->spooler().add_port(orvana, "ORV0:");
    write_ports();
    machine->save();
    machine = Machine::open(folder);
    std::vector<std::string> all = local_ports;
    all.push_back("ORV0:");
    EXPECT_EQ(listed(), all) << "the ports written after the monitor last looked stay unknown";
    machine.reset();
    std::filesystem::remove_all(folder);
}

TEST_P(Ports, EveryCallFailsByFaultInjection) {
    write_ports();
    for (const char* api : {"EnumPortsA", "AddPortA", "DeletePortA", "GetComputerNameA"}) machine->faults().fail(api, ERROR_NOT_ENOUGH_MEMORY);
    DWORD needed = 0, returned = 0;
    SetLastError(dead);
    expect_failure(EnumPortsA(nullptr, 1, nullptr, 0, &needed, &returned), ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(dead);
    expect_failure(AddPortA(nullptr, nullptr, const_cast<char*>(orvana)), ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(dead);
    expect_failure(DeletePortA(nullptr, nullptr, const_cast<char*>("FILE:")), ERROR_NOT_ENOUGH_MEMORY);
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    SetLastError(dead);
    expect_failure(GetComputerNameA(name, &size), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(listed(), local_ports) << "neither the add nor the deletion happened";
}

INSTANTIATE_TEST_SUITE_P(All, Ports, testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const testing::TestParamInfo<Platform>& param) { return std::string(winsim::platform_info(param.param).name); });

TEST(PortsOnNt, ANonAdministratorMayNeitherAddNorDelete) {
    winsim::MachineOptions options;
    options.administrator = false;
    auto machine = Machine::create(Platform::nt4, options);
    machine->spooler().add_monitor(orvana, "orvmon.dll");
    SetLastError(dead);
    expect_failure(AddPortA(nullptr, nullptr, const_cast<char*>(orvana)), ERROR_ACCESS_DENIED);  // Wine's test: administrators only
    SetLastError(dead);
    expect_failure(DeletePortA(nullptr, nullptr, const_cast<char*>("LPT1:")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(listed(), local_ports);
}

TEST(ComputerName, IsTheRegistrysAndSizedWithItsEnd) {
    auto machine = Machine::create(Platform::win98);
    machine->registry().set_string(std::string(reg::computer_name_key), std::string(reg::computer_name), "FAXSERVER");
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    std::memset(name, 'x', sizeof name);
    DWORD size = 9;
    SetLastError(dead);
    // Microsoft's GetComputerName page: 111, and the size with the terminating null.
    expect_failure(GetComputerNameA(name, &size), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 10u);
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_STREQ(name, "FAXSERVER");
    EXPECT_EQ(size, 9u) << "without the terminating null";
}

// The configuration channel of a monitor: Windows 2000's.
struct Channel : testing::Test {
    std::unique_ptr<Machine> machine = Machine::create(Platform::win2000);
    HANDLE channel = nullptr;

    Channel() { machine->spooler().add_monitor(orvana, "orvmon.dll"); }
    BOOL open(const std::string& name, DWORD access = SERVER_ACCESS_ADMINISTER) {
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, access};
        return OpenPrinterA(const_cast<char*>(name.c_str()), &channel, &defaults);
    }
    std::string computer() {
        char name[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD size = sizeof name;
        EXPECT_TRUE(GetComputerNameA(name, &size));
        return name;
    }
    // A command with the port's wide name as input; the status it answers.
    DWORD command(const char16_t* what, const std::u16string& port, BOOL* exists = nullptr, DWORD output_size = sizeof(BOOL)) {
        DWORD needed = dead, status = dead;
        EXPECT_TRUE(XcvDataW(channel, what, reinterpret_cast<PBYTE>(const_cast<char16_t*>(port.c_str())),
                             static_cast<DWORD>((port.size() + 1) * sizeof(char16_t)), reinterpret_cast<PBYTE>(exists),
                             exists ? output_size : 0, &needed, &status));
        EXPECT_EQ(needed, exists ? sizeof(BOOL) : 0u);
        return status;
    }
};

TEST_F(Channel, PortExistsAndAddPortAsTheLibraryCallsThem) {
    ASSERT_TRUE(open("\\\\" + computer() + "\\,XcvMonitor " + orvana));
    BOOL exists = dead;
    EXPECT_EQ(command(u"PortExists", u"lpt1:", &exists), 0u);
    EXPECT_EQ(exists, TRUE) << "any monitor's port is one";
    EXPECT_EQ(command(u"PortExists", u"ORV1:", &exists), 0u);
    EXPECT_EQ(exists, FALSE);
    EXPECT_EQ(command(u"PortExists", u"ORV1:", &exists, 2), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    EXPECT_EQ(command(u"AddPort", u"ORV1:"), 0u);
    EXPECT_TRUE(machine->registry().key_exists(machine->spooler().root() + "\\Monitors\\Orvana Port\\PortList\\ORV1:"));
    EXPECT_EQ(listed(), (std::vector<std::string>{"LPT1:", "COM1:", "FILE:", "ORV1:"}));
    EXPECT_EQ(command(u"AddPort", u"orv1:"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));  // Wine's spooler: 183
    EXPECT_TRUE(ClosePrinter(channel));

    // The local monitor keeps a port it adds as a plain one.
    ASSERT_TRUE(open(",XcvMonitor Local Port"));
    EXPECT_EQ(command(u"AddPort", u"LPT2:"), 0u);
    EXPECT_TRUE(machine->registry().value(machine->spooler().root() + "\\Monitors\\Local Port\\Ports", "LPT2:").has_value());
    // A handle from before a restart is stale.
    machine->reboot();
    DWORD needed = dead, status = dead;
    SetLastError(dead);
    expect_failure(XcvDataW(channel, u"AddPort", nullptr, 0, nullptr, 0, &needed, &status), ERROR_INVALID_HANDLE);
    EXPECT_EQ(status, dead);
}

TEST_F(Channel, OpensOnlyForAKnownMonitorWithTheRight) {
    SetLastError(dead);
    expect_failure(open(",XcvMonitor No Such Monitor"), ERROR_INVALID_PRINTER_NAME);  // (unconfirmed)
    HANDLE printer = nullptr;
    machine->spooler().add_printer("Fax", "LPT1:", "Orvana Print Driver");
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>("Fax"), &printer, nullptr));
    DWORD needed = dead, status = dead;
    SetLastError(dead);
    expect_failure(XcvDataW(printer, u"PortExists", nullptr, 0, nullptr, 0, &needed, &status), ERROR_INVALID_HANDLE);
    machine->faults().fail("XcvDataW", ERROR_NOT_ENOUGH_MEMORY);
    ASSERT_TRUE(open(std::string(",XcvMonitor ") + orvana));
    SetLastError(dead);
    expect_failure(XcvDataW(channel, u"AddPort", nullptr, 0, nullptr, 0, &needed, &status), ERROR_NOT_ENOUGH_MEMORY);

    winsim::MachineOptions options;
    options.administrator = false;
    machine = Machine::create(Platform::win2000, options);
    SetLastError(dead);
    expect_failure(open(",XcvMonitor Local Port"), ERROR_ACCESS_DENIED);
}

TEST(ChannelBefore2000, IsNoPrintersNameAndWinspoolHasNoXcvData) {
    for (Platform platform : {Platform::win98, Platform::nt4}) {
        auto machine = Machine::create(platform);
        HANDLE channel = nullptr;
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
        SetLastError(dead);
        expect_failure(OpenPrinterA(const_cast<char*>(",XcvMonitor Local Port"), &channel, &defaults), ERROR_INVALID_PRINTER_NAME);
        HMODULE winspool = LoadLibraryA("winspool.drv");
        ASSERT_NE(winspool, nullptr);
        EXPECT_EQ(GetProcAddress(winspool, "XcvDataW"), nullptr);
        FreeLibrary(winspool);
    }
    auto machine = Machine::create(Platform::win2000);
    HMODULE winspool = LoadLibraryA("winspool.drv");
    EXPECT_NE(GetProcAddress(winspool, "XcvDataW"), nullptr);
    FreeLibrary(winspool);
}

}  // namespace
