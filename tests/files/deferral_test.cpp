// A file in use is replaced or deleted at the next start of Windows, and a later copy is
// never undone by what an earlier one left waiting.
#include "support/images.h"
#include "support/library.h"
#include "support/registry.h"

#include "files/pending_replacements.h"

using testing_support::unversioned_dll;
using winsim::Platform;

namespace {

const char session_manager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

class Deferral : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override {
        start(GetParam());
        system_directory = machine->platform_info().system_directory;
        destination = system_directory + "\\orvmon.dll";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        temporary = temp;
        machine->files().write_file(destination, unversioned_dll("old"));
        Sleep(2000);
        machine->files().write_file("C:\\SETUP\\orvmon.dll", unversioned_dll("new"));
    }
    std::string upper(std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }
    std::string wininit() { return machine->files().read_file("C:\\WINDOWS\\WININIT.INI").value_or("<none>"); }
    std::string pending() {
        auto value = testing_support::stored_value(HKEY_LOCAL_MACHINE, session_manager, "PendingFileRenameOperations");
        return value ? value->bytes : "<none>";
    }
    void reboot_and_reload() {
        machine->reboot();
        library = LoadLibraryA("OrvInstl.dll");
    }

    std::string system_directory, destination, temporary;
};

TEST_P(Deferral, AFileInUseIsReplacedAtTheNextStart) {
    machine->files().hold(destination, FILE_SHARE_READ);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    EXPECT_EQ(take_error_text(), "") << "a deferral is no error";
    EXPECT_EQ(RebootRequired(), 0) << "the export leaves the restart flag to its caller";
    EXPECT_EQ(machine->files().read_file(temporary + "orvmon.dll"), unversioned_dll("new"));
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("old"));
    std::string upper_destination = upper(destination);
    if (machine->is_9x()) {
        std::string short_temp = "C:\\WINDOWS\\TEMP\\ORVMON.DLL";
        EXPECT_EQ(wininit(), "[Rename]\r\nNUL=" + upper_destination + "\r\n" + upper_destination + "=" + short_temp + "\r\n");
    } else {
        std::string expected = "\\??\\" + upper_destination + std::string(1, '\0') + std::string(1, '\0') + "\\??\\" + temporary +
                               "orvmon.dll" + std::string(1, '\0') + "\\??\\" + upper_destination + std::string(2, '\0');
        EXPECT_EQ(pending(), expected);
    }
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("new"));
    EXPECT_FALSE(machine->files().exists(temporary + "orvmon.dll"));
    if (machine->is_9x()) {
        EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI"));
        EXPECT_TRUE(machine->files().exists("C:\\WINDOWS\\WININIT.BAK"));
    }
}

TEST_P(Deferral, ALaterCopyIsNotUndoneByWhatAnEarlierOneLeftWaiting) {
    machine->files().hold(destination, FILE_SHARE_READ);
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    machine->files().release(destination);
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\orvmon.dll", unversioned_dll("newest"));
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), 0);
    if (machine->is_9x()) {
        EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI")) << "only the header was left, so the file goes";
    } else {
        EXPECT_EQ(pending(), std::string(1, '\0')) << "both pairs naming the file are gone";
    }
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("newest"));
}

TEST_P(Deferral, ACopyDeferredTwiceIsScheduledOnce) {
    machine->files().hold(destination, FILE_SHARE_READ);
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    std::string first = machine->is_9x() ? wininit() : pending();
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 1), -13);
    EXPECT_EQ(machine->is_9x() ? wininit() : pending(), first);
}

TEST_P(Deferral, DeletionOfAFileInUseWaitsForTheNextStart) {
    machine->files().write_file("C:\\Orvana\\busy.dll", "MZ");
    machine->files().write_file("C:\\Orvana\\locked.dll", "MZ");
    machine->files().node("C:\\Orvana\\locked.dll")->attributes = FILE_ATTRIBUTE_READONLY;
    machine->files().write_file("C:\\Orvana\\free.dll", "MZ");
    machine->files().hold("C:\\Orvana\\busy.dll", FILE_SHARE_READ);
    EXPECT_EQ(insFileDelete("C:\\Orvana\\free.dll"), 0);
    EXPECT_FALSE(machine->files().exists("C:\\Orvana\\free.dll"));
    EXPECT_EQ(insFileDelete("C:\\Orvana\\missing.dll"), 0);
    EXPECT_EQ(insFileDelete("C:\\Nowhere\\missing.dll"), 0);
    EXPECT_EQ(insFileDelete("C:\\Orvana\\busy.dll"), -13);
    EXPECT_EQ(insFileDelete("C:\\Orvana\\locked.dll"), -13);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_TRUE(machine->files().exists("C:\\Orvana\\busy.dll"));
    if (machine->is_9x()) {
        EXPECT_EQ(wininit(), "[Rename]\r\nNUL=C:\\ORVANA\\LOCKED.DLL\r\nNUL=C:\\ORVANA\\BUSY.DLL\r\n");
    }
    reboot_and_reload();
    EXPECT_FALSE(machine->files().exists("C:\\Orvana\\busy.dll"));
}

INSTANTIATE_TEST_SUITE_P(Platforms, Deferral, testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4,
                                                              Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

class Wininit : public testing_support::LibraryTest {
protected:
    void SetUp() override {
        start(Platform::win98);
        machine->files().write_file("C:\\WINDOWS\\SYSTEM\\ORVMON.DLL", "MZ");
        machine->files().write_file("C:\\WINDOWS\\TEMP\\ORVMON.DLL", "MZ");
    }
    void lay_out(const std::string& text) { machine->files().write_file("C:\\WINDOWS\\WININIT.INI", text); }
    std::string text() { return machine->files().read_file("C:\\WINDOWS\\WININIT.INI").value_or("<none>"); }
    LONG add() { return add_wininit_rename("C:\\WINDOWS\\TEMP\\ORVMON.DLL", "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL"); }
    const std::string line = "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL=C:\\WINDOWS\\TEMP\\ORVMON.DLL\r\n";
};

TEST_F(Wininit, LinesGoBelowTheHeaderOrUnderANewOne) {
    EXPECT_EQ(add(), 1);
    EXPECT_EQ(text(), "[Rename]\r\n" + line) << "no file: it is made";
    lay_out("[windows]\r\nload=\r\n[Rename]\r\nNUL=C:\\OLD.DLL\r\n");
    EXPECT_EQ(add(), 1);
    EXPECT_EQ(text(), "[windows]\r\nload=\r\n[Rename]\r\n" + line + "NUL=C:\\OLD.DLL\r\n");
    for (std::string without : {std::string("[windows]\r\nload=\r\n"), std::string("[rename]\r\nNUL=C:\\OLD.DLL\r\n"),
                                std::string("[Rename]\nNUL=C:\\OLD.DLL\n")}) {
        lay_out(without);
        EXPECT_EQ(add(), 1);
        EXPECT_EQ(text(), without + "[Rename]\r\n" + line) << "the header is matched exactly";
    }
}

TEST_F(Wininit, ALineThatIsThereAlreadyLeavesTheFileAsItWas) {
    std::string before = "[Rename]\r\n" + line + "NUL=C:\\OLD.DLL\r\n";
    lay_out(before);
    EXPECT_EQ(add(), 1);
    EXPECT_EQ(text(), before);
}

TEST_F(Wininit, TheCleanUpKeepsLongLinesWholeAndWorksFromAReadOnlyMedium) {
    std::string long_line = "; " + std::string(300, 'x') + "\r\n";
    lay_out("[Rename]\r\n" + long_line + line + "NUL=C:\\WINDOWS\\SYSTEM\\ORVMON.DLL\r\n");
    machine->files().add_drive('D', true);
    machine->files().write_file("D:\\SETUP.EXE", "MZ");
    machine->files().set_current_directory("D:\\");
    char path[MAX_PATH] = "C:\\WINDOWS\\SYSTEM\\orvmon.dll";
    remove_pending_replacements(path);
    EXPECT_STREQ(path, "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL") << "the caller's path is upper-cased";
    EXPECT_EQ(text(), "[Rename]\r\n" + long_line) << "the scratch file lives in the Windows directory, not on the CD";
    for (const std::string& name : machine->files().list("C:\\WINDOWS")) EXPECT_NE(name.rfind("mrc", 0), 0u) << name;
}

TEST_F(Wininit, ACopyNamedInOtherLetterCaseIsStillCleanedUp) {
    lay_out("[Rename]\r\n" + line);
    char path[MAX_PATH] = "c:\\windows\\system\\OrvMon.Dll";
    remove_pending_replacements(path);
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI"));
}

}  // namespace
