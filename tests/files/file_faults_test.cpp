// Each failing step of the file installation leaves its entry and its result.
#include "support/images.h"
#include "support/library.h"
#include "support/registry.h"

#include "files/directories.h"
#include "files/versions.h"

#include <functional>
#include <optional>

using mkimage::ImageKind;
using mkimage::Translation;
using testing_support::unversioned_dll;
using testing_support::versioned_dll;
using winsim::Platform;

namespace {

struct FaultCase {
    const char* name;
    Platform platform;
    bool hold_destination;
    const char* api;
    unsigned nth;
    const char* activity;  // the entry the failure leaves
    LONG result;
    DWORD code = ERROR_ACCESS_DENIED;
};

class FileFaults : public testing_support::LibraryTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(FileFaults, TheFailingStepIsRecordedWithItsResult) {
    const FaultCase& c = GetParam();
    start(c.platform);
    std::string destination = std::string(machine->platform_info().system_directory) + "\\ORVMON.DLL";
    machine->files().write_file(destination, versioned_dll({1, 0, 0, 0}, "old", ImageKind::ne, {Translation{0x0409, 1252}}));
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", versioned_dll({2, 0, 0, 0}, "new", ImageKind::ne, {Translation{0x0409, 1252}}));
    if (c.hold_destination) machine->files().hold(destination, FILE_SHARE_READ);
    machine->faults().fail(c.api, c.code, c.nth);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), c.result);
    std::string text = take_error_text();
    EXPECT_EQ(text.rfind(std::string("Printer installer WARNING (") + c.activity + "): \nerror #", 0), 0u) << text;
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    EXPECT_EQ(machine->files().list(temporary), std::vector<std::string>{}) << "no copy waits for a replacement never scheduled";
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

// The copy of a 16-bit file whose version wins: probe, probe, sizes, versions, then the
// 16-bit code-page test, then the copy (deferred when the destination is held).
INSTANTIATE_TEST_SUITE_P(
    Steps, FileFaults,
    testing::Values(
        FaultCase{"source_unreadable", Platform::nt4, false, "CreateFileA", 2, "checking files prior to copy operation", 2},
        FaultCase{"version_block_unreadable", Platform::nt4, false, "GetFileVersionInfoA", 1, "reading version info from file", 0},
        FaultCase{"fixed_block_unreadable", Platform::win98, false, "VerQueryValueA", 1,
                  "reading fixed version info block from file", 0},
        FaultCase{"code_page_unreadable", Platform::win98, false, "VerQueryValueA", 3, "retrieving code page from 16-bit DLL", 0},
        FaultCase{"no_memory_for_versions", Platform::nt4, false, "HeapAlloc", 1, "Memory allocation", 0},
        // Only access denied and sharing violations count as in use.
        FaultCase{"copy_fails", Platform::win2000, false, "CopyFileA", 1, "copying file [1]", 112, 112},
        FaultCase{"temporary_copy_fails", Platform::nt4, true, "CopyFileA", 2, "copying file [2]", ERROR_ACCESS_DENIED},
        FaultCase{"deletion_not_scheduled", Platform::nt4, true, "MoveFileExA", 1, "preparing file for move at reboot",
                  ERROR_ACCESS_DENIED},
        // The clean-up asks for the short forms of the destination and the temporary
        // directory, the deferral for the destination's again; the fourth ask is the new line's.
        FaultCase{"wininit_not_written", Platform::win98, true, "GetShortPathNameA", 4, "preparing file for move at reboot",
                  ERROR_ACCESS_DENIED},
        FaultCase{"destination_without_short_form", Platform::win98, true, "GetShortPathNameA", 3,
                  "preparing file for move at reboot", ERROR_ACCESS_DENIED}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

class FileFailures : public testing_support::LibraryTest {};

TEST_F(FileFailures, ACopyThatCannotBeScheduledNeverLeavesTheDeletionAlone) {
    start(Platform::win2000);
    std::string destination = "C:\\WINNT\\system32\\ORVMON.DLL";
    machine->files().write_file(destination, unversioned_dll("old"));
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", unversioned_dll("new"));
    machine->files().hold(destination, FILE_SHARE_READ);
    machine->faults().fail("MoveFileExA", ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), ERROR_ACCESS_DENIED);
    EXPECT_NE(take_error_text().find("preparing file for move at reboot"), std::string::npos);
    auto pending = testing_support::stored_value(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                                 "PendingFileRenameOperations");
    ASSERT_TRUE(pending);
    EXPECT_EQ(pending->bytes.find("ORVMON.DLL"), std::string::npos) << "the deletion was taken back";
    machine->reboot();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("old")) << "a restart keeps the installed file";
}

TEST_F(FileFailures, AFailedDeletionIsRecorded) {
    start(Platform::nt4);
    machine->files().write_file("C:\\Orvana\\a.dll", "MZ");
    machine->faults().fail("DeleteFileA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insFileDelete("C:\\Orvana\\a.dll"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (insFileDelete deleting file): \nerror #5 for value "
                                 "'C:\\Orvana\\a.dll'.\nAccess is denied. \n");
    machine->faults().fail("CreateFileA", ERROR_INVALID_NAME);
    EXPECT_EQ(insFileDelete("C:\\Orvana\\a.dll"), ERROR_INVALID_NAME);
}

TEST_F(FileFailures, DirectoriesAreMadeFromTheTopDown) {
    start(Platform::win98);
    machine->files().make_directories("C:\\Orvana");
    for (const char* given : {"C:\\Orvana\\A\\B\\C", "C:\\Orvana\\X\\Y\\Z\\"}) {
        char path[MAX_PATH];
        lstrcpyA(path, given);
        EXPECT_EQ(create_directory_path(path), 0) << given;
        EXPECT_STREQ(path, given) << "the caller's path is as it was";
        EXPECT_EQ(machine->files().current_directory(), "C:\\Orvana") << "the first ancestor that existed is current";
        EXPECT_EQ(create_directory_path(path), 0);
        std::string deepest = given;
        if (deepest.back() == '\\') deepest.pop_back();
        EXPECT_EQ(machine->files().current_directory(), deepest) << "called again, the directory itself is current";
    }
    char missing_drive[] = "Q:\\Orvana";
    EXPECT_NE(create_directory_path(missing_drive), 0);
}

TEST_F(FileFailures, VersionStringsComeFromTheDriverDirectoryOrWhereTheNameLeads) {
    start(Platform::nt4);
    mkimage::VersionInfo info;
    info.file_version = {4, 1, 0, 7};
    info.translations = {Translation{0x0409, 0x04E4}};
    info.string_tables = {{Translation{0x0409, 0x04E4}, {{"ProductVersion", "4.1 product"}}}};
    mkimage::ImageRecipe recipe;
    recipe.version = info;
    machine->files().write_file("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\orvdrv.dll", mkimage::build_image(recipe));
    FileVersion version{};
    get_file_version_string("orvdrv.dll", &version);
    EXPECT_STREQ(version.path, "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\orvdrv.dll");
    ASSERT_NE(version.text, nullptr);
    EXPECT_STREQ(version.text, "4.1 product") << "without FileVersion the product version serves";
    release_file_version(&version);
    get_file_version_string("nowhere.dll", &version);
    EXPECT_EQ(version.text, nullptr);
    release_file_version(&version);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
    EXPECT_EQ(take_error_text(), "");
}

}  // namespace

namespace {

struct NameCase {
    Platform platform;
    const char* name;
};

class InvalidNames : public testing_support::LibraryTest, public testing::WithParamInterface<NameCase> {};

// Windows puts such a path together (GetFullPathNameA) but refuses to open it: 123, as
// CreateFileA answers it (Wine's kernel32 path and file tests), never 206 "too long".
TEST_P(InvalidNames, AreRefusedWithTheCodeWindowsGives) {
    start(GetParam().platform);
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", "MZ");
    machine->files().make_directories("C:\\Orvana");
    std::string path = std::string("C:\\Orvana\\") + GetParam().name;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", path.c_str(), 0), ERROR_INVALID_NAME);
    EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (copying file [1]): \nerror #123 for value 'C:\\SETUP\\ORVMON.DLL'", 0), 0u);
    EXPECT_EQ(insSafeFileCopy(path.c_str(), "C:\\Orvana\\NEW.DLL", 0), ERROR_INVALID_NAME);
    take_error_text();
    EXPECT_EQ(insFileDelete(path.c_str()), ERROR_INVALID_NAME);
    EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (insFileDelete deleting file): \nerror #123 for value", 0), 0u);
    EXPECT_EQ(machine->files().list("C:\\Orvana"), std::vector<std::string>{});
}

std::vector<NameCase> invalid_names() {
    std::vector<NameCase> cases;
    for (Platform platform : {Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000})
        for (const char* name : {"A:B.DLL", "A*B.DLL", "A?B.DLL", "A<B.DLL", "A>B.DLL", "A\"B.DLL", "A|B.DLL"})
            cases.push_back({platform, name});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Platforms, InvalidNames, testing::ValuesIn(invalid_names()), [](const auto& param_info) {
    std::string name(winsim::platform_info(param_info.param.platform).name);
    return name + "_" + std::to_string(param_info.index);
});

class SchedulingFailures : public testing_support::LibraryTest {
protected:
    void expect_nothing_scheduled() {
        EXPECT_FALSE(testing_support::stored_value(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                                   "PendingFileRenameOperations"));
    }
};

// -13 promises that the restart will do it; a deletion that could not be scheduled says why.
TEST_F(SchedulingFailures, ADeletionThatCannotBeScheduledAnswersItsCode) {
    winsim::MachineOptions user;
    user.administrator = false;
    start(Platform::nt4, user);
    machine->files().write_file("C:\\Orvana\\busy.dll", "MZ");
    machine->files().hold("C:\\Orvana\\busy.dll", FILE_SHARE_READ);
    SetLastError(0xDEADBEEF);
    // A user may not write the session manager's key (platform-facts: delayed moves need an administrator).
    EXPECT_EQ(insFileDelete("C:\\Orvana\\busy.dll"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (preparing file for move at reboot): \nerror #5 for value "
                                 "'C:\\Orvana\\busy.dll'.\nAccess is denied. \n");
    expect_nothing_scheduled();

    start(Platform::win98);
    machine->files().write_file("C:\\Orvana\\busy.dll", "MZ");
    machine->files().write_file("C:\\WINDOWS\\WININIT.INI", "[Rename]\r\n");
    machine->files().hold("C:\\Orvana\\busy.dll", FILE_SHARE_READ);
    machine->files().hold("C:\\WINDOWS\\WININIT.INI", 0);
    EXPECT_EQ(insFileDelete("C:\\Orvana\\busy.dll"), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (preparing file for move at reboot): \nerror #32 for value "
                                      "'C:\\Orvana\\busy.dll'.",
                                      0),
              0u);
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\WININIT.INI"), "[Rename]\r\n");
}

// On 95/98 the move line goes in first; when the deletion line cannot follow, the move
// is taken back with its copy, and the restart leaves the installed file as it was.
TEST_F(SchedulingFailures, HalfAReplacementIsTakenBackOn95And98) {
    start(Platform::win98);
    std::string destination = "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL";
    machine->files().write_file(destination, unversioned_dll("old"));
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", unversioned_dll("new"));
    machine->files().hold(destination, FILE_SHARE_READ);
    // Short forms: the clean-up's two, the deferral's check, the move line's two, then
    // the deletion line's.
    machine->faults().fail("GetShortPathNameA", ERROR_ACCESS_DENIED, 6);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (preparing file for move at reboot): \nerror #5 for value "
                                 "'C:\\WINDOWS\\SYSTEM\\ORVMON.DLL'.\nAccess is denied. \n");
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI")) << "only the header was left";
    EXPECT_EQ(machine->files().list("C:\\WINDOWS\\TEMP"), std::vector<std::string>{});
    machine->reboot();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("old"));
}

// A short form longer than MAX_PATH is only measured by GetShortPathNameA; WININIT.INI
// can name no such file, so nothing is copied or scheduled.
TEST_F(SchedulingFailures, ADestinationWhoseShortFormDoesNotFitIsRefused) {
    start(Platform::win98);
    std::string folder = "C:";
    for (int level = 0; level < 60; ++level) folder += "\\a b";
    std::string destination = folder + "\\ORVMON.DLL";
    ASSERT_LT(destination.size(), static_cast<std::size_t>(MAX_PATH));
    machine->files().write_file(destination, unversioned_dll("old"));
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", unversioned_dll("new"));
    machine->files().hold(destination, FILE_SHARE_READ);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (preparing file for move at reboot): \nerror #206 for value 'C:\\A B", 0), 0u);
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI"));
    EXPECT_EQ(machine->files().list("C:\\WINDOWS\\TEMP"), std::vector<std::string>{});
    EXPECT_EQ(insFileDelete(destination.c_str()), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI"));
}

}  // namespace

namespace {

class DeferralSweep : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    // Fails the Nth call of all the operation's calls, for N = 1, 2, ... until it goes
    // through, each time on a fresh machine whose installed file is held; after each
    // run the machine restarts and `check` sees what the answer promised.
    void sweep(const std::function<LONG()>& operation, const std::function<void(LONG result, const std::string& failed)>& check) {
        for (unsigned nth = 1; nth < 200; ++nth) {
            SCOPED_TRACE("call " + std::to_string(nth));
            start(GetParam());
            destination = std::string(machine->platform_info().system_directory) + "\\ORVMON.DLL";
            machine->files().write_file(destination, unversioned_dll("old"));
            Sleep(2000);
            machine->files().write_file("C:\\SETUP\\ORVMON.DLL", unversioned_dll("new"));
            machine->files().hold(destination, FILE_SHARE_READ);
            if (before) before();
            std::string failed;
            machine->faults().on_inject = [&](const winsim::Injection& injection) { failed = injection.api; };
            machine->faults().fail("*", ERROR_ACCESS_DENIED, nth);
            LONG result = operation();
            machine->faults().clear();
            machine->faults().on_inject = nullptr;
            // A handle or block whose release was failed stays; that is the fault, not a leak.
            if (failed != "CloseHandle" && failed != "RegCloseKey" && failed != "HeapFree" && failed != "UnmapViewOfFile") {
                EXPECT_EQ(machine->open_handles(), 0u) << failed;
                EXPECT_EQ(machine->live_heap_blocks(), 0u) << failed;
            }
            char temporary[MAX_PATH];
            GetTempPathA(MAX_PATH, temporary);
            machine->reboot();
            check(result, failed);
            // No copy stays behind, unless the failed call was the one that finds the
            // temporary directory or the very deletion of the copy.
            if (failed != "DeleteFileA" && failed != "GetTempPathA") {
                EXPECT_EQ(machine->files().list(temporary), std::vector<std::string>{}) << failed;
            }
            if (failed.empty()) {
                EXPECT_GT(nth, 15u) << "every call of the operation was failed once";
                return;
            }
        }
        ADD_FAILURE() << "the operation never went through";
    }
    std::optional<std::string> installed() { return machine->files().read_file(destination); }

    std::string destination;
    std::function<void()> before;
};

// -13 brings the new file at the restart; any other answer leaves the old one.
TEST_P(DeferralSweep, ARestartKeepsWhatACopyPromised) {
    sweep([&] { return insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0); },
          [&](LONG result, const std::string& failed) {
              EXPECT_EQ(installed(), unversioned_dll(result == -13 ? "new" : "old")) << "answered " << result << " after " << failed;
              if (failed.empty()) {
                  EXPECT_EQ(result, -13);
              }
          });
}

// Over a replacement an earlier run left waiting: -13 brings the newest file; any other
// answer leaves what was promised before, the installed file or the waiting one.
TEST_P(DeferralSweep, ARestartKeepsWhatACopyOverAWaitingOnePromised) {
    before = [&] {
        ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), -13);
        Sleep(2000);
        machine->files().write_file("C:\\SETUP\\ORVMON.DLL", unversioned_dll("newest"));
    };
    sweep([&] { return insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0); },
          [&](LONG result, const std::string& failed) {
              if (result == -13) {
                  EXPECT_EQ(installed(), unversioned_dll("newest")) << "after " << failed;
              } else {
                  EXPECT_TRUE(installed() == unversioned_dll("old") || installed() == unversioned_dll("new"))
                      << "answered " << result << " after " << failed;
              }
              if (failed.empty()) {
                  EXPECT_EQ(result, -13);
              }
          });
}

// A deletion that answered -13 leaves nothing after the restart, not even the copy that
// waited to replace the file; one that failed leaves the old file or that copy.
TEST_P(DeferralSweep, ARestartKeepsWhatADeletionPromised) {
    before = [&] { ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), -13); };
    sweep([&] { return insFileDelete(destination.c_str()); },
          [&](LONG result, const std::string& failed) {
              if (result == 0 || result == -13) {
                  EXPECT_EQ(installed(), std::nullopt) << "answered " << result << " after " << failed;
              } else {
                  EXPECT_TRUE(installed() == unversioned_dll("old") || installed() == unversioned_dll("new"))
                      << "answered " << result << " after " << failed;
              }
              if (failed.empty()) {
                  EXPECT_EQ(result, -13);
              }
          });
}

INSTANTIATE_TEST_SUITE_P(Platforms, DeferralSweep,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
