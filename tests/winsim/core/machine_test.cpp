#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace winsim {
// Test names and failure messages show the platform by its name.
void PrintTo(const PlatformInfo& info, std::ostream* out) { *out << info.name; }
}  // namespace winsim

namespace {

using winsim::Machine;
using winsim::Platform;

class VersionAnswers : public testing::TestWithParam<winsim::PlatformInfo> {};

TEST_P(VersionAnswers, GetVersionExAAnswersAsThePlatformDoes) {
    const winsim::PlatformInfo& platform = GetParam();
    auto machine = Machine::create(platform.platform);
    OSVERSIONINFOA version;
    std::memset(&version, 0xAB, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwMajorVersion, platform.major);
    EXPECT_EQ(version.dwMinorVersion, platform.minor);
    EXPECT_EQ(version.dwBuildNumber, platform.build_number);
    EXPECT_EQ(version.dwPlatformId, platform.platform_id);
    EXPECT_STREQ(version.szCSDVersion, std::string(platform.csd_version).c_str());
    EXPECT_EQ(GetLastError(), 0xDEADBEEF) << "a successful GetVersionExA leaves the last error";
}

TEST_P(VersionAnswers, WrongStructureSizesAreRefused) {
    auto machine = Machine::create(GetParam().platform);
    for (DWORD size : {0u, 147u, 149u, 200u}) {
        OSVERSIONINFOEXA version{};
        version.dwOSVersionInfoSize = size;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&version))) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << size;
        EXPECT_EQ(version.dwMajorVersion, 0u) << "nothing written for size " << size;
    }
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_EQ(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&version)) != FALSE, GetParam().accepts_version_info_ex);
}

INSTANTIATE_TEST_SUITE_P(EveryPlatform, VersionAnswers, testing::ValuesIn(winsim::all_platforms().begin(), winsim::all_platforms().end()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(PlatformTable, KnownVersionsOfTheGenerations) {
    // The facts the library's checks turn on.
    EXPECT_EQ(winsim::platform_info(Platform::win98se).build_number & 0xFFFF, 2222u);
    EXPECT_EQ(winsim::platform_info(Platform::win98se).minor, 10u);
    EXPECT_EQ(winsim::platform_info(Platform::winme).minor, 90u);
    EXPECT_EQ(winsim::platform_info(Platform::nt351).minor, 51u);
    EXPECT_EQ(winsim::platform_info(Platform::win32s).platform_id, static_cast<DWORD>(VER_PLATFORM_WIN32s));
    EXPECT_EQ(winsim::platform_info(Platform::nt4).wine_version, "nt40");
    EXPECT_EQ(winsim::platform_info(Platform::win2000).wine_version, "win2k");
    EXPECT_TRUE(winsim::platform_info(Platform::nt31).wine_version.empty());
}

TEST(PlatformTable, NamesRoundTripAndUnknownNamesAreNotGuessed) {
    for (const winsim::PlatformInfo& info : winsim::all_platforms()) EXPECT_EQ(winsim::find_platform(info.name), info.platform);
    EXPECT_FALSE(winsim::find_platform("NT4"));
    EXPECT_FALSE(winsim::find_platform("win2k"));
    EXPECT_FALSE(winsim::find_platform(""));
}

TEST(Clock, SleepMovesTheMachineClockAndNothingElse) {
    auto machine = Machine::create(Platform::nt4);
    DWORD before = GetTickCount();
    FILETIME wall_before = machine->clock().now();
    Sleep(120000);
    EXPECT_EQ(GetTickCount() - before, 120000u);
    FILETIME wall_after = machine->clock().now();
    std::uint64_t a = (std::uint64_t(wall_before.dwHighDateTime) << 32) | wall_before.dwLowDateTime;
    std::uint64_t b = (std::uint64_t(wall_after.dwHighDateTime) << 32) | wall_after.dwLowDateTime;
    EXPECT_EQ(b - a, 120000ull * 10000);
    auto other = Machine::create(Platform::nt4);
    EXPECT_EQ(GetTickCount(), 0u) << "a new machine starts its own clock";
}

TEST(Memory, BlocksAreTrackedAndZeroedWhenAsked) {
    auto machine = Machine::create(Platform::win98);
    auto* local = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(local, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(local[i], 0);
    void* heap = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 10);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(machine->live_local_blocks(), 1u);
    EXPECT_EQ(machine->live_heap_blocks(), 1u);
    EXPECT_EQ(LocalFree(local), nullptr);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, heap));
    EXPECT_EQ(machine->live_local_blocks(), 0u);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST(Memory, FreeingWhatWasNotAllocatedFails) {
    auto machine = Machine::create(Platform::win2000);
    int not_a_block = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LocalFree(&not_a_block), &not_a_block);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    void* block = LocalAlloc(LPTR, 4);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(LocalFree(block), block) << "a second free of the same block fails";
    EXPECT_FALSE(HeapFree(GetProcessHeap(), 0, &not_a_block));
}

class SavedMachine : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("winsim-saved-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(SavedMachine, OpensAgainAsItWasSaved) {
    winsim::MachineOptions options;
    options.administrator = false;
    options.terminal_services = true;
    options.setupapi = winsim::SetupApi::without_is_user_admin;
    options.arch = winsim::Arch::x64;
    FILETIME written{};
    {
        auto machine = Machine::create(Platform::nt4, options, folder);
        machine->files().write_file("C:\\Orvana\\Setup\\ReadMe.TXT", std::string("line\r\n\0binary", 14));
        machine->files().make_directories("C:\\Empty Dir");
        machine->files().write_file("C:\\Orvana\\a.dll", "MZ");
        machine->files().node("C:\\Orvana\\a.dll")->attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
        Sleep(5000);
        written = machine->files().node("C:\\Orvana\\Setup\\ReadMe.TXT")->last_write_time;
        machine->save();
    }
    EXPECT_FALSE(winsim::has_current_machine());
    ASSERT_TRUE(Machine::exists_in(folder));
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "drive_c" / "Orvana" / "Setup" / "ReadMe.TXT"));

    auto machine = Machine::open(folder);
    EXPECT_EQ(machine->platform(), Platform::nt4);
    EXPECT_FALSE(machine->options().administrator);
    EXPECT_TRUE(machine->options().terminal_services);
    EXPECT_EQ(machine->options().setupapi, winsim::SetupApi::without_is_user_admin);
    EXPECT_EQ(machine->options().arch, winsim::Arch::x64);
    EXPECT_EQ(GetTickCount(), 5000u);
    EXPECT_EQ(machine->files().read_file("c:\\orvana\\setup\\readme.txt"), std::string("line\r\n\0binary", 14));
    EXPECT_EQ(machine->files().node("C:\\Orvana\\a.dll")->attributes, DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    FILETIME reread = machine->files().node("C:\\Orvana\\Setup\\ReadMe.TXT")->last_write_time;
    EXPECT_EQ(reread.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(reread.dwHighDateTime, written.dwHighDateTime);
    EXPECT_EQ(machine->files().list("C:\\"), (std::vector<std::string>{"WINNT", "TEMP", "Program Files", "Orvana", "Empty Dir"}))
        << "creation order is kept, the system's own directories first";
    EXPECT_EQ(machine->files().list("C:\\Orvana"), (std::vector<std::string>{"Setup", "a.dll"}));
}

TEST_F(SavedMachine, SavingTwiceGivesTheSameStateFile) {
    auto machine = Machine::create(Platform::win98, {}, folder);
    machine->files().write_file("C:\\WINDOWS\\WIN.INI", "[windows]\r\n");
    machine->save();
    auto read = [&] {
        std::ifstream in(folder / "machine.toml");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string first = read();
    machine.reset();
    auto reopened = Machine::open(folder);
    reopened->save();
    EXPECT_EQ(read(), first);
}

TEST_F(SavedMachine, AFolderWithoutAMachineIsNotOpened) {
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(Machine::exists_in(folder));
    EXPECT_THROW(Machine::open(folder), std::runtime_error);
    std::ofstream(folder / "machine.toml") << "platform = \"os2\"\n";
    EXPECT_THROW(Machine::open(folder), std::runtime_error);
}

TEST(Machine, WithoutAFolderItCannotBeSaved) {
    auto machine = Machine::create(Platform::win95);
    EXPECT_THROW(machine->save(), std::logic_error);
}

}  // namespace
