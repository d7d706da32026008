#include "support/library.h"

#include "frame/error_state.h"
#include "frame/messages.h"

namespace {

using testing_support::LibraryTest;
using winsim::Platform;

class ErrorText : public LibraryTest {
protected:
    void SetUp() override { start(Platform::win2000); }
};

const char not_found_entry[] =
    "Printer installer WARNING (copying file [1]): \nerror #2 for value 'C:\\SETUP\\ORV.DLL'.\n"
    "The system cannot find the file specified. \n";
const char denied_entry[] = "Printer installer WARNING (copying file [2]): \nerror #5.\nAccess is denied. \n";

TEST_F(ErrorText, OneEntryWithAndWithoutValueName) {
    EXPECT_EQ(record_error(2, IDS_COPYING_FILE_1, "C:\\SETUP\\ORV.DLL", 0, 0), 2);
    EXPECT_EQ(ErrorTextLen(), static_cast<LONG>(sizeof not_found_entry));
    EXPECT_EQ(take_error_text(), not_found_entry);
    EXPECT_EQ(ErrorTextLen(), 0);
    SetLastError(5);
    EXPECT_EQ(record_last_error(IDS_COPYING_FILE_2, nullptr, 0, 0), 5);
    EXPECT_EQ(take_error_text(), denied_entry);
}

TEST_F(ErrorText, EntriesAreSeparatedByOneLineFeedAndWarningsMix) {
    record_error(2, IDS_COPYING_FILE_1, "C:\\SETUP\\ORV.DLL", 0, 0);
    record_error(5, IDS_COPYING_FILE_2, nullptr, 0, 0);
    record_warning(IDS_UNSUPPORTED_OS);
    EXPECT_EQ(take_error_text(), std::string(not_found_entry) + "\n" + denied_entry + "\n" +
                                     "Printer installer WARNING: This driver installation utility does not support this "
                                     "operating system.\n");
    record_warning(IDS_NOT_ADMINISTRATOR);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING: You must have Administrative privileges to install printer drivers.\n")
        << "the first entry after a retrieval has no separator";
}

TEST_F(ErrorText, IgnoredCodesAndZeroRecordNothing) {
    EXPECT_EQ(record_error(122, IDS_ENUMERATING_MONITORS_1, nullptr, 122, 0), 122);
    EXPECT_EQ(record_error(234, IDS_ENUMERATING_MONITORS_1, nullptr, 122, 234), 234);
    EXPECT_EQ(record_error(0, IDS_ENUMERATING_MONITORS_1, nullptr, 0, 0), 0);
    SetLastError(0);
    EXPECT_EQ(record_last_error(IDS_ENUMERATING_MONITORS_1, "x", 0, 0), 0);
    EXPECT_EQ(ErrorTextLen(), 0);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

TEST_F(ErrorText, PrinterCodesCarryTheirNotes) {
    record_error(1801, IDS_ADDPRINTER, "Orvana Fax", 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (AddPrinter()): \nerror #1801 for value 'Orvana Fax'.\n"
              "The printer name is invalid. \n"
              "Note: This message is a generic failure; Windows uses this error code to report\n"
              "a number of different error conditions relating to printer installation.\n");
    record_error(1722, IDS_ENUMERATING_PRINTERS_1, nullptr, 0, 0);
    record_error(2, IDS_COPYING_FILE_1, "C:\\SETUP\\ORV.DLL", 0, 0);
    EXPECT_EQ(take_error_text(),
              std::string("Printer installer WARNING (Enumerating printers [1]): \nerror #1722.\n"
                          "The RPC server is unavailable. \n"
                          "This message is usually caused by the spooler being shut down.\n"
                          "On Windows NT, it may be restarted in Control Panel | Services.\n"
                          "On Windows 95, this requires a reboot.") +
                  "\n" + not_found_entry)
        << "the spooler note ends without a line feed, so the separator follows it directly";
}

TEST_F(ErrorText, InsertsShowTheValueNameOrStayAsTheyStand) {
    record_error(193, IDS_LOADLIBRARY_MONITOR_DLL, "C:\\WINNT\\system32\\orvmon.dll", 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (LoadLibrary (monitor DLL)): \nerror #193 for value "
              "'C:\\WINNT\\system32\\orvmon.dll'.\nC:\\WINNT\\system32\\orvmon.dll is not a valid Win32 application. \n");
    record_error(193, IDS_LOADLIBRARY_MONITOR_DLL, nullptr, 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (LoadLibrary (monitor DLL)): \nerror #193.\n%1 is not a valid Win32 application. \n");
}

// The system text comes laid out to 80 columns as Windows lays it out: a line that
// reaches 80 breaks at its last space (the final line break's space included), and a
// value name in the text is never split but gets a line of its own.
TEST_F(ErrorText, LongSystemTextsAreLaidOutToEightyColumns) {
    const std::string deep_path =
        "C:\\ORVANA\\COMPONENTS\\X86\\DRIVERS\\VERSION3\\LANGUAGES\\ENGLISH\\UNITEDSTATES\\MONITORS\\LOCAL\\ORVMON.DLL";
    record_error(1053, IDS_SHUT_DOWN_SPOOLER_SERVICE_CONTROLSERVICE, nullptr, 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (shut_down_spooler_service - ControlService): \nerror #1053.\n"
              "The service did not respond to the start or control request in a timely\r\nfashion. \n");
    record_error(32, IDS_COPYING_FILE_1, "C:\\WINNT\\system32\\ORVMON.DLL", 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (copying file [1]): \nerror #32 for value 'C:\\WINNT\\system32\\ORVMON.DLL'.\n"
              "The process cannot access the file because it is being used by another process.\r\n\n");
    record_error(193, IDS_LOADLIBRARY_MONITOR_DLL, deep_path.c_str(), 0, 0);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (LoadLibrary (monitor DLL)): \nerror #193 for value '" +
                                     deep_path + "'.\n" + deep_path + "\r\n is not a valid Win32 application. \n");
}

TEST_F(ErrorText, ACodeWithoutSystemTextNamesTheFormattingFailure) {
    record_error(12345, IDS_DELETEMONITOR, "Orvana Port", 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (DeleteMonitor): \nerror #12345 for value 'Orvana Port'.\n"
              "Unable to format error message; error code 317\n");
    machine->faults().fail("FormatMessageA", ERROR_NOT_ENOUGH_MEMORY);
    record_error(2, IDS_DELETEMONITOR, nullptr, 0, 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (DeleteMonitor): \nerror #2.\nUnable to format error message; error code 8\n");
}

TEST_F(ErrorText, ALongValueNameIsKeptWhole) {
    std::string name = "HKLM/SYSTEM/CurrentControlSet/Control/Print/Printers/" + std::string(700, 'P') + "/PrinterDriverData";
    record_error(5, IDS_TRAVERSE_PATH_REGCREATEKEYEX, name.c_str(), 0, 0);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (traverse_path (RegCreateKeyEx)): \nerror #5 for value '" + name +
                                     "'.\nAccess is denied. \n");
    EXPECT_EQ(machine->live_heap_blocks(), 0u) << "the long heading's block is given back";
}

TEST_F(ErrorText, WithoutMemoryTheNewEntryIsDroppedAndTheOldTextStays) {
    record_error(5, IDS_COPYING_FILE_2, nullptr, 0, 0);
    machine->faults().fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(record_error(2, IDS_COPYING_FILE_1, "C:\\SETUP\\ORV.DLL", 0, 0), 2) << "the code still comes back";
    machine->faults().fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    record_warning(IDS_UNSUPPORTED_OS);
    EXPECT_EQ(take_error_text(), denied_entry);
    EXPECT_EQ(machine->live_local_blocks(), 0u);

    machine->faults().fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    record_warning(IDS_UNSUPPORTED_OS);
    EXPECT_EQ(ErrorTextLen(), 0) << "a text that was not there stays not there";
}

TEST_F(ErrorText, RetrievalContract) {
    EXPECT_EQ(RetrieveErrorText(nullptr), 0);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(RetrieveErrorText(buffer), 1);
    EXPECT_STREQ(buffer, "") << "no text gives an empty one";
    record_warning(IDS_NOT_ADMINISTRATOR);
    EXPECT_EQ(RetrieveErrorText(nullptr), 0);
    EXPECT_GT(ErrorTextLen(), 0) << "a null buffer leaves the text in place";
    take_error_text();
    EXPECT_EQ(machine->live_local_blocks(), 0u) << "retrieval frees the text";
}

TEST_F(ErrorText, FlagsAreReadAndClearedOnlyAsTheirExportsSay) {
    EXPECT_EQ(ClearErrorFlag(), 0);
    error_flag = 1;
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(ClearErrorFlag(), 0);
    EXPECT_EQ(RebootRequired(), 0);
    reboot_flag = 1;
    EXPECT_EQ(RebootRequired(), 1);
    EXPECT_EQ(RebootRequired(), 1) << "the restart flag stays set";
}

TEST_F(ErrorText, APendingSpoolerRestartOn9xAsksForARestart) {
    start(Platform::win98);
    spooler_restart_pending = 1;
    EXPECT_EQ(RebootRequired(), 1);
    EXPECT_EQ(reboot_flag, 1);
}

class MessageBoxEntry : public LibraryTest {
protected:
    void SetUp() override { start(Platform::nt4); }
    const winsim::ShownMessageBox& last_box() { return machine->desktop().message_boxes().back(); }
};

TEST_F(MessageBoxEntry, ShowsTheEntryInsteadOfKeepingIt) {
    SetLastError(1801);
    EXPECT_EQ(show_last_error(nullptr, IDS_ATTEMPTING_TO_PRINT_TEST_PAGE, "Orvana Fax", 0, 0), 1801);
    ASSERT_EQ(machine->desktop().message_boxes().size(), 1u);
    EXPECT_EQ(last_box().caption, "Installer DLL Error");
    EXPECT_EQ(last_box().type, static_cast<UINT>(MB_OK | MB_ICONHAND));
    EXPECT_EQ(last_box().text,
              "Printer installer WARNING (attempting to print test page): \nerror #1801 for value 'Orvana Fax'.\n"
              "The printer name is invalid. \n"
              "Note: This message is a generic failure; Windows uses this error code to report\n"
              "a number of different error conditions relating to printer installation.\n");
    EXPECT_EQ(ErrorTextLen(), 0);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

TEST_F(MessageBoxEntry, TheSpoolerCodeGetsNoNoteInABox) {
    SetLastError(1722);
    show_last_error(nullptr, IDS_ATTEMPTING_TO_START_DOCUMENT, nullptr, 0, 0);
    EXPECT_EQ(last_box().text,
              "Printer installer WARNING (attempting to start document): \nerror #1722.\nThe RPC server is unavailable. \n");
}

TEST_F(MessageBoxEntry, WithoutMemoryTheSystemTextIsShownAloneUnderTheCrampTitle) {
    machine->faults().fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(5);
    EXPECT_EQ(show_last_error(nullptr, IDS_ATTEMPTING_TO_PRINT_TEST_PAGE, nullptr, 0, 0), 5);
    EXPECT_EQ(last_box().caption, "Installer DLL error (memory cramp)");
    EXPECT_EQ(last_box().text, "Access is denied. \n");
}

TEST_F(MessageBoxEntry, IgnoredCodesShowNothing) {
    SetLastError(122);
    EXPECT_EQ(show_last_error(nullptr, IDS_ATTEMPTING_TO_PRINT_TEST_PAGE, nullptr, 122, 0), 122);
    EXPECT_TRUE(machine->desktop().message_boxes().empty());
}

}  // namespace
