// Each failing step of the file installation leaves its entry and its result.
#include "support/images.h"
#include "support/library.h"
#include "support/registry.h"

#include "files/directories.h"
#include "files/versions.h"

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
        // The clean-up asks for the short form first; the second ask is the new line's.
        FaultCase{"wininit_not_written", Platform::win98, true, "GetShortPathNameA", 2, "preparing file for move at reboot",
                  ERROR_ACCESS_DENIED}),
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
