// A file in use is replaced or deleted at the next start of Windows, and a later copy is
// never undone by what an earlier one left waiting.
#include "support/components.h"
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
    // The copies waiting in the temporary directory for the next start, by full path.
    std::vector<std::string> waiting_copies() {
        std::vector<std::string> paths;
        for (const std::string& name : machine->files().list(temporary)) paths.push_back(temporary + name);
        return paths;
    }
    // The one copy waiting for the next start; empty when there is not exactly one.
    std::string waiting_copy() {
        std::vector<std::string> copies = waiting_copies();
        return copies.size() == 1 ? copies.front() : std::string();
    }
    std::string scheduled() { return machine->is_9x() ? wininit() : pending(); }

    std::string system_directory, destination, temporary;
};

TEST_P(Deferral, AFileInUseIsReplacedAtTheNextStart) {
    machine->files().hold(destination, FILE_SHARE_READ);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    EXPECT_EQ(take_error_text(), "") << "a deferral is no error";
    EXPECT_EQ(RebootRequired(), 0) << "the export leaves the restart flag to its caller";
    std::string copy = waiting_copy();
    ASSERT_NE(copy, "") << "one copy waits in the temporary directory";
    EXPECT_EQ(upper(copy).rfind(upper(temporary) + "ORV", 0), 0u) << copy;
    EXPECT_EQ(upper(copy).substr(copy.size() - 4), ".TMP") << "an 8.3 name of GetTempFileNameA's";
    EXPECT_EQ(machine->files().read_file(copy), unversioned_dll("new"));
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("old"));
    std::string upper_destination = upper(destination);
    if (machine->is_9x()) {
        EXPECT_EQ(wininit(), "[Rename]\r\nNUL=" + upper_destination + "\r\n" + upper_destination + "=" + upper(copy) + "\r\n");
    } else {
        std::string expected = "\\??\\" + upper_destination + std::string(1, '\0') + std::string(1, '\0') + "\\??\\" + copy +
                               std::string(1, '\0') + "\\??\\" + upper_destination + std::string(2, '\0');
        EXPECT_EQ(pending(), expected);
    }
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("new"));
    EXPECT_EQ(waiting_copies(), std::vector<std::string>{});
    if (machine->is_9x()) {
        EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\WININIT.INI"));
        EXPECT_TRUE(machine->files().exists("C:\\WINDOWS\\WININIT.BAK"));
    }
}

// Two files of one name for two places wait side by side, each with a copy of its own.
TEST_P(Deferral, SameNamedFilesForTwoPlacesEachKeepTheirOwnBytes) {
    std::string other = "C:\\OTHER\\orvmon.dll";
    machine->files().write_file(other, unversioned_dll("other old"));
    machine->files().write_file("C:\\SETUP2\\orvmon.dll", unversioned_dll("other new"));
    machine->files().hold(destination, FILE_SHARE_READ);
    machine->files().hold(other, FILE_SHARE_READ);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), -13);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP2\\orvmon.dll", other.c_str(), 0), -13);
    EXPECT_EQ(waiting_copies().size(), 2u);
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("new"));
    EXPECT_EQ(machine->files().read_file(other), unversioned_dll("other new"));
    EXPECT_EQ(waiting_copies(), std::vector<std::string>{});
}

// Copying the same file to the same place again replaces what waited, copy included.
TEST_P(Deferral, ASecondDeferredCopyReplacesTheFirst) {
    machine->files().hold(destination, FILE_SHARE_READ);
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    std::string first = waiting_copy();
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\orvmon.dll", unversioned_dll("newest"));
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    std::string second = waiting_copy();
    ASSERT_NE(second, "") << "the first copy does not stay behind";
    EXPECT_EQ(machine->files().read_file(second), unversioned_dll("newest"));
    std::string text = scheduled();
    EXPECT_EQ(upper(text).find(upper(first)), first == second ? upper(text).find(upper(second)) : std::string::npos);
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("newest"));
    EXPECT_EQ(waiting_copies(), std::vector<std::string>{});
}

// A copy onto a file that merely shares the temporary directory with a waiting copy, or
// whose name is the start of the held file's, leaves the waiting replacement alone.
TEST_P(Deferral, OnlyTheSameFileIsCleanedUpNeverOneWhoseNameContainsIt) {
    machine->files().hold(destination, FILE_SHARE_READ);
    // Named in capitals, as NT's own entries then name the waiting copy too.
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), -13);
    std::string before = scheduled();
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", temporary.c_str(), 0), 0);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", (system_directory + "\\ORVMON.DL").c_str(), 0), 0);
    EXPECT_EQ(scheduled(), before);
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("new")) << "the installed file is never lost";
}

// A copy onto the waiting copy itself takes its whole replacement back: the installed
// file is neither deleted nor replaced by bytes nobody meant for it.
TEST_P(Deferral, ACopyOntoAWaitingCopyTakesItsReplacementBackWhole) {
    machine->files().hold(destination, FILE_SHARE_READ);
    ASSERT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", destination.c_str(), 0), -13);
    std::string copy = waiting_copy();
    machine->files().write_file("C:\\SETUP\\notes.txt", "notes");
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\notes.txt", copy.c_str(), 1), 0);
    if (machine->is_9x()) {
        EXPECT_EQ(wininit(), "<none>");
    } else {
        EXPECT_EQ(pending(), std::string(1, '\0'));
    }
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(destination), unversioned_dll("old"));
}

// Entries another program wrote name the file by its short form, or in other letters.
TEST_P(Deferral, EntriesNamingTheFileByItsShortFormAreCleanedUp) {
    std::string folder = "C:\\Program Files\\Orvana";
    machine->files().write_file(folder + "\\orvmon.dll", unversioned_dll("old"));
    machine->files().write_file(temporary + "waiting.dll", unversioned_dll("stale"));
    char short_form[MAX_PATH];
    ASSERT_NE(GetShortPathNameA((folder + "\\orvmon.dll").c_str(), short_form, MAX_PATH), 0u);
    ASSERT_NE(std::string(short_form), upper(folder + "\\orvmon.dll"));
    std::string stale_copy = temporary + "waiting.dll";
    if (machine->is_9x()) {
        char short_copy[MAX_PATH];
        GetShortPathNameA(stale_copy.c_str(), short_copy, MAX_PATH);
        machine->files().write_file("C:\\WINDOWS\\WININIT.INI", "[rename]\r\nnul=" + std::string(short_form) + "\r\n" +
                                                                     short_form + "=" + short_copy + "\r\n");
    } else {
        std::string list = "\\??\\" + std::string(short_form) + std::string(2, '\0') + "\\??\\" + stale_copy + '\0' +
                           "!\\??\\" + short_form + std::string(2, '\0');
        testing_support::store_value(HKEY_LOCAL_MACHINE, session_manager, "PendingFileRenameOperations", REG_MULTI_SZ, list);
    }
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", (folder + "\\orvmon.dll").c_str(), 0), 0);
    EXPECT_EQ(scheduled(), machine->is_9x() ? "<none>" : std::string(1, '\0'));
    EXPECT_FALSE(machine->files().exists(stale_copy)) << "the stale copy in the temporary directory goes with its entry";
    reboot_and_reload();
    EXPECT_EQ(machine->files().read_file(folder + "\\orvmon.dll"), unversioned_dll("new"));
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

// The report's own steps: the monitor installed twice on 98 (the second copy waits for
// the restart, as the spooler holds the file), then a copy into the temporary directory
// under the monitor's name. The restart must still bring the monitor's file.
TEST(DeferralReported, ACopyIntoTheTemporaryDirectoryLeavesTheMonitorsReplacementAlone) {
    for (Platform platform : {Platform::win98, Platform::nt4}) {
        SCOPED_TRACE(winsim::platform_info(platform).name);
        auto machine = winsim::Machine::create(platform);
        ASSERT_NE(LoadLibraryA("OrvInstl.dll"), nullptr);
        const std::string monitor = testing_support::sample_component("orvmon.dll");
        machine->files().write_file("C:\\SETUP\\ORVMON.DLL", monitor);
        std::string installed = std::string(machine->platform_info().system_directory) + "\\ORVMON.DLL";
        EXPECT_EQ(insAddMonitor("C:\\SETUP\\ORVMON.DLL", nullptr), 0);
        if (machine->is_nt()) machine->files().hold(installed, FILE_SHARE_READ);  // NT's spooler lets go; another program does not
        EXPECT_EQ(insAddMonitor("C:\\SETUP\\ORVMON.DLL", nullptr), 0);
        char temporary[MAX_PATH];
        GetTempPathA(MAX_PATH, temporary);
        EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", temporary, 0), 0);
        machine->reboot();
        EXPECT_EQ(machine->files().read_file(installed), monitor);
    }
}

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

// Found by fuzzing: the same text in another section, inside a longer line or behind a
// header that does not begin its line scheduled nothing, and a header put after a last
// line without its line end ran into that line; each answered 1 all the same.
TEST_F(Wininit, OnlyALineOfTheSectionCountsAndANewHeaderBeginsItsOwnLine) {
    const std::string header = "[Rename]\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"[Other]\r\n" + line + header, "[Other]\r\n" + line + header + line},
        {header + "X" + line, header + line + "X" + line},
        {"; " + header + line, "; " + header + line + header + line},
        {"[windows]\r\nload=", "[windows]\r\nload=\r\n" + header + line},
    };
    for (const auto& [before, after] : cases) {
        lay_out(before);
        EXPECT_EQ(add(), 1) << before;
        EXPECT_EQ(text(), after) << before;
    }
}

// Found by fuzzing: the restart reads these headers as the section too, so an entry
// below one that the clean-up passed over undid a later copy at the restart.
TEST_F(Wininit, TheCleanUpReadsTheHeaderAsTheRestartDoes) {
    for (const char* header : {"[ rename ]", "[Rename] ; kept by hand", "[RENAME]"}) {
        lay_out(header + std::string("\r\n") + line);
        char path[MAX_PATH] = "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL";
        EXPECT_EQ(remove_pending_replacements(path), 0) << header;
        EXPECT_EQ(text(), "<none>") << header << ": only the header was left";
    }
}

// Found by fuzzing: a waiting copy that a move still pending names stays, or that
// move finds nothing to move at the restart.
TEST_F(Wininit, AWaitingCopyThatAnotherEntryNamesStays) {
    const std::string other = "C:\\OTHER.DLL=C:\\WINDOWS\\TEMP\\ORVMON.DLL\r\n";
    lay_out("[Rename]\r\n" + line + other);
    char path[MAX_PATH] = "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL";
    EXPECT_EQ(remove_pending_replacements(path), 0);
    EXPECT_EQ(text(), "[Rename]\r\n" + other);
    EXPECT_TRUE(machine->files().exists("C:\\WINDOWS\\TEMP\\ORVMON.DLL"));
}

// Found by fuzzing: a NUL at the end of a text counted as a blank, so the clean-up read
// "[Rename\0]" as the section, which the restart does not, and took away its lines.
TEST_F(Wininit, ANulIsNoBlank) {
    const std::string kept = std::string("[Rename\0]\r\n", 11) + line;
    lay_out(kept);
    char path[MAX_PATH] = "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL";
    EXPECT_EQ(remove_pending_replacements(path), 0);
    EXPECT_EQ(text(), kept);
}

}  // namespace
