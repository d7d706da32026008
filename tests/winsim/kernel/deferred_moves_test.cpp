#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

constexpr const char* session_manager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* pending = "PendingFileRenameOperations";

std::string multi_sz(std::initializer_list<std::string> strings) {
    std::string out;
    for (const std::string& text : strings) out += text + '\0';
    return out + '\0';
}

class NtDelayed : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = Machine::create(GetParam());
        machine->files().write_file("C:\\WINNT\\system32\\ORVUI.DLL", "old");
        machine->files().write_file("C:\\WINNT\\system32\\ORV1.TMP", "new");
        machine->files().write_file("C:\\TEMP\\scratch.tmp", "scratch");
        machine->files().write_file("C:\\TEMP\\moved.txt", "moved");
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(NtDelayed, WritesThePairsInTheSystemsOwnForm) {
    ASSERT_FALSE(machine->registry().value(session_manager, pending));
    ASSERT_TRUE(MoveFileExA("C:\\WINNT\\system32\\ORV1.TMP", "C:\\WINNT\\system32\\ORVUI.DLL",
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\TEMP\\scratch.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    SetCurrentDirectoryA("C:\\TEMP");
    ASSERT_TRUE(MoveFileExA("moved.txt", "c:\\Done.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    std::optional<winsim::RegistryValue> value = machine->registry().value(session_manager, pending);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(value->bytes, multi_sz({"\\??\\C:\\WINNT\\system32\\ORV1.TMP", "!\\??\\C:\\WINNT\\system32\\ORVUI.DLL",
                                      "\\??\\C:\\TEMP\\scratch.tmp", "", "\\??\\C:\\TEMP\\moved.txt", "\\??\\C:\\Done.txt"}));
    EXPECT_EQ(machine->files().read_file("C:\\WINNT\\system32\\ORVUI.DLL"), "old") << "nothing moves before the restart";
}

TEST_P(NtDelayed, ARestartCarriesThemOutInOrderAndDropsTheValue) {
    machine->files().hold("C:\\WINNT\\system32\\ORVUI.DLL", FILE_SHARE_READ);
    ASSERT_TRUE(MoveFileExA("C:\\WINNT\\system32\\ORV1.TMP", "C:\\WINNT\\system32\\ORVUI.DLL",
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\TEMP\\scratch.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    // Without the "!" an existing destination stays, and so does the source.
    machine->files().write_file("C:\\Done.txt", "there");
    ASSERT_TRUE(MoveFileExA("C:\\TEMP\\moved.txt", "C:\\Done.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    HANDLE open = CreateFileA("C:\\TEMP\\moved.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    machine->reboot();
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_TRUE(machine->files().holds().empty());
    EXPECT_EQ(machine->files().read_file("C:\\WINNT\\system32\\ORVUI.DLL"), "new");
    EXPECT_FALSE(machine->files().exists("C:\\WINNT\\system32\\ORV1.TMP"));
    EXPECT_FALSE(machine->files().exists("C:\\TEMP\\scratch.tmp"));
    EXPECT_EQ(machine->files().read_file("C:\\Done.txt"), "there");
    EXPECT_EQ(machine->files().read_file("C:\\TEMP\\moved.txt"), "moved");
    EXPECT_FALSE(machine->registry().value(session_manager, pending));
    EXPECT_LT(GetTickCount(), 1000u) << "a new uptime starts";
}

TEST_P(NtDelayed, RefusesWhatWindowsRefuses) {
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\TEMP\\missing.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileExA("C:\\TEMP\\scratch.tmp", "C:\\x", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(MoveFileExA("C:\\TEMP\\scratch.tmp", nullptr, 0)) << "only a delayed move may delete";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(machine->registry().value(session_manager, pending));
}

INSTANTIATE_TEST_SUITE_P(Nt, NtDelayed, testing::Values(Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

TEST(NtDelayedWithoutRights, AUserCannotWriteTheSessionManagersKey) {
    winsim::MachineOptions options;
    options.administrator = false;
    auto machine = Machine::create(Platform::nt4, options);
    machine->files().write_file("C:\\a.tmp", "");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\a.tmp", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

class Win9xDelayed : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = Machine::create(GetParam());
        machine->files().write_file("C:\\WINDOWS\\SYSTEM\\ORVUI.DLL", "old");
        machine->files().write_file("C:\\WINDOWS\\SYSTEM\\ORV1.TMP", "new");
        machine->files().write_file("C:\\WINDOWS\\TEMP\\scratch.tmp", "scratch");
        machine->files().write_file("C:\\Program Files\\Orvana Printer\\Long Name.dll", "long");
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(Win9xDelayed, MoveFileExIsNotThere) {
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\WINDOWS\\SYSTEM\\ORV1.TMP", "C:\\WINDOWS\\SYSTEM\\ORVUI.DLL",
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(MoveFileExA("C:\\WINDOWS\\SYSTEM\\ORV1.TMP", "C:\\WINDOWS\\SYSTEM\\X.DLL", 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(machine->registry().value(session_manager, pending));
}

TEST_P(Win9xDelayed, ARestartWorksThroughWininitAndKeepsItAsBak) {
    machine->files().write_file("C:\\WINDOWS\\WININIT.BAK", "an older one");
    machine->files().write_file("C:\\WINDOWS\\wininit.ini",
                                "[Other]\r\nNUL=C:\\WINDOWS\\SYSTEM\\ORVUI.DLL\r\n"
                                "[rename]\r\n"
                                "C:\\WINDOWS\\SYSTEM\\ORVUI.DLL=C:\\WINDOWS\\SYSTEM\\ORV1.TMP\r\n"
                                "nul=c:\\windows\\temp\\scratch.tmp\r\n"
                                "NUL=C:\\Program Files\\Orvana Printer\\Long Name.dll\r\n"
                                "NUL=C:\\PROGRA~1\\" + std::string(300, 'X') + "\r\n");
    machine->reboot();
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\SYSTEM\\ORVUI.DLL"), "new") << "only [rename] is read";
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\SYSTEM\\ORV1.TMP"));
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\TEMP\\scratch.tmp"));
    EXPECT_TRUE(machine->files().exists("C:\\Program Files\\Orvana Printer\\Long Name.dll")) << "long names are passed over";
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI"));
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\WININIT.BAK").value_or("").substr(0, 7), "[Other]");
}

TEST_P(Win9xDelayed, ShortNamesOfLongNamesAreRead) {
    char short_name[MAX_PATH];
    ASSERT_NE(GetShortPathNameA("C:\\Program Files\\Orvana Printer\\Long Name.dll", short_name, sizeof short_name), 0u);
    machine->files().write_file("C:\\WINDOWS\\WININIT.INI", std::string("[RENAME]\r\nNUL=") + short_name + "\r\n");
    machine->reboot();
    EXPECT_FALSE(machine->files().exists("C:\\Program Files\\Orvana Printer\\Long Name.dll"));
}

INSTANTIATE_TEST_SUITE_P(Win9x, Win9xDelayed, testing::Values(Platform::win95, Platform::win98),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

TEST(Reboot, EndsTheProcessAndLeavesTheMachineUsable) {
    auto machine = Machine::create(Platform::win98);
    machine->files().write_file("C:\\f.txt", "x");
    SetCurrentDirectoryA("C:\\WINDOWS");
    HANDLE file = CreateFileA("C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LocalAlloc(LPTR, 16);
    SetLastError(1234);
    machine->reboot();
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
    EXPECT_EQ(GetLastError(), 0u);
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, "C:\\");
    EXPECT_FALSE(CloseHandle(file)) << "the old process's handle is gone";
    HANDLE again = CreateFileA("C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.BAK")) << "no WININIT.INI, no WININIT.BAK";
}

}  // namespace
