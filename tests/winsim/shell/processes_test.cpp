#include <winsim/machine.h>

#include <mkimage/image.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::Platform;

constexpr const char* daemon_path = "C:\\ORVANA\\orvdaemon.exe";

// A program image whose string 1 names the window class it opens.
std::string program_image(const char* window_class) {
    mkimage::ImageRecipe recipe;
    recipe.dll = false;
    recipe.strings[static_cast<std::uint16_t>(winsim::daemon_class_string)] = window_class;
    return mkimage::build_image(recipe);
}

class Processes : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = winsim::Machine::create(GetParam());
        machine->files().write_file(daemon_path, program_image("OrvanaDaemonClass"));
    }
    BOOL start(const char* program, PROCESS_INFORMATION& info) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        char command_line[] = "";
        return CreateProcessA(program, command_line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                              &info);
    }
    std::unique_ptr<winsim::Machine> machine;
};

INSTANTIATE_TEST_SUITE_P(Platforms, Processes, testing::Values(Platform::win98, Platform::nt351, Platform::win2000));

TEST_P(Processes, TheDaemonOpensItsWindowAndEndsWhenAskedToClose) {
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(start(daemon_path, info));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_TRUE(CloseHandle(info.hThread));
    HWND window = FindWindowA("orvanadaemonclass", nullptr);
    ASSERT_NE(window, nullptr) << "class names are compared without regard to case";
    EXPECT_EQ(FindWindowA("OtherClass", nullptr), nullptr);
    // Any other message leaves it running.
    EXPECT_TRUE(PostMessageA(window, WM_WININICHANGE, 0, 0));
    EXPECT_TRUE(machine->shell().processes()[0].running);
    // The low bits of a system command are the system's.
    EXPECT_TRUE(PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE | 2, 0));
    EXPECT_FALSE(machine->shell().processes()[0].running);
    EXPECT_EQ(FindWindowA("OrvanaDaemonClass", nullptr), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    std::vector<std::string> seen;
    for (const winsim::ProgramEvent& event : machine->shell().events()) seen.push_back(event.what);
    EXPECT_EQ(seen, (std::vector<std::string>{"started C:\\ORVANA\\orvdaemon.exe", "posted message 0x001A to OrvanaDaemonClass",
                                              "posted SC_CLOSE to OrvanaDaemonClass", "ended C:\\ORVANA\\orvdaemon.exe"}));
    // Ended, it no longer holds its file.
    EXPECT_TRUE(DeleteFileA(daemon_path));
}

TEST_P(Processes, AProgramThatCannotRunIsRefusedWithWindowsCode) {
    machine->files().write_file("C:\\ORVANA\\notes.exe", "plain text");
    machine->files().write_file("C:\\ORVANA\\helper.exe", mkimage::build_image(mkimage::ImageRecipe{}));
    const std::pair<const char*, DWORD> cases[] = {
        {"C:\\ORVANA\\missing.exe", ERROR_FILE_NOT_FOUND},
        {"C:\\NOWHERE\\orvdaemon.exe", ERROR_PATH_NOT_FOUND},
        {"C:\\ORVANA", ERROR_ACCESS_DENIED},
        {"C:\\ORVANA\\notes.exe", ERROR_BAD_EXE_FORMAT},
        {"C:\\ORVANA\\helper.exe", ERROR_BAD_EXE_FORMAT},
    };
    for (const auto& [program, code] : cases) {
        PROCESS_INFORMATION info{};
        info.hProcess = reinterpret_cast<HANDLE>(0xDEADBEEF);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(start(program, info)) << program;
        EXPECT_EQ(GetLastError(), code) << program;
    }
    EXPECT_TRUE(machine->shell().processes().empty());
    machine->shell().refuse_start(daemon_path, ERROR_NOT_ENOUGH_MEMORY);
    PROCESS_INFORMATION info{};
    EXPECT_FALSE(start(daemon_path, info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    machine->shell().refuse_start(daemon_path, 0);
    EXPECT_TRUE(start(daemon_path, info));
}

TEST(ProcessesAcrossRuns, RunningProgramsAreKeptWithTheMachineAndEndAtARestart) {
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "winsim-processes";
    std::filesystem::remove_all(folder);
    {
        auto machine = winsim::Machine::create(Platform::nt4, {}, folder);
        machine->files().write_file(daemon_path, program_image("OrvanaDaemonClass"));
        machine->shell().refuse_close(daemon_path);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOW;
        startup.lpDesktop = const_cast<char*>("WinSta0\\Default");
        PROCESS_INFORMATION info{};
        char command_line[] = "/background";
        ASSERT_TRUE(CreateProcessA(daemon_path, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        machine->save();
    }
    auto machine = winsim::Machine::open(folder);
    ASSERT_EQ(machine->shell().processes().size(), 1u);
    const winsim::StartedProcess& daemon = machine->shell().processes()[0];
    EXPECT_EQ(daemon.command_line, "/background");
    EXPECT_EQ(daemon.desktop, "WinSta0\\Default");
    EXPECT_EQ(daemon.show_window, SW_SHOW);
    EXPECT_TRUE(daemon.running);
    HWND window = FindWindowA("OrvanaDaemonClass", nullptr);
    ASSERT_NE(window, nullptr);
    // It still refuses to close, and still holds its file.
    EXPECT_TRUE(PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0));
    EXPECT_TRUE(machine->shell().processes()[0].running);
    EXPECT_FALSE(DeleteFileA(daemon_path));
    machine->reboot();
    EXPECT_FALSE(machine->shell().processes()[0].running);
    EXPECT_EQ(FindWindowA("OrvanaDaemonClass", nullptr), nullptr);
    EXPECT_TRUE(DeleteFileA(daemon_path));
    std::filesystem::remove_all(folder);
}

}  // namespace
