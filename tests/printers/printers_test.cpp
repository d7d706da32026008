#include "support/library.h"

#include "frame/error_state.h"
#include "printers/cursor_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using winsim::Platform;

class Printers : public testing_support::LibraryTest {
protected:
    void SetUp() override { start(Platform::nt4); }
    void add(const char* name) { machine->spooler().add_printer(name, "LPT1:", "Orvana Print Driver"); }
    void SetUpDriver() { machine->spooler().add_driver("Orvana Print Driver"); }
};

TEST_F(Printers, NoPrintersGiveEmptyNames) {
    char name[32] = "x";
    LONG result = -1;
    INS_PRINTER_CURSOR_HANDLE cursor = insGetFirstPrinterName(name, sizeof name, &result);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(name, "");
    std::strcpy(name, "x");
    EXPECT_EQ(insGetNextPrinterName(cursor, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(insFinishPrinterName(cursor), 0);
    LONG present = -1;
    EXPECT_EQ(insIsPrinterPresent("Orvana Fax", &present), 0);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

TEST_F(Printers, CursorsWalkTheNamesSideBySide) {
    SetUpDriver();
    add("Orvana Fax");
    add("A printer with a rather long name");
    LONG result = 0;
    char first[64], second[8], tiny[1] = {'x'};
    INS_PRINTER_CURSOR_HANDLE one = insGetFirstPrinterName(first, sizeof first, &result);
    INS_PRINTER_CURSOR_HANDLE two = insGetFirstPrinterName(second, sizeof second, &result);
    EXPECT_STREQ(first, "Orvana Fax");
    EXPECT_STREQ(second, "Orvana ") << "a name longer than the buffer is cut";
    insGetNextPrinterName(one, first, sizeof first);
    EXPECT_STREQ(first, "A printer with a rather long name");
    insGetNextPrinterName(two, tiny, 1);
    EXPECT_EQ(tiny[0], '\0') << "a buffer of one character holds an empty name";
    insGetNextPrinterName(one, first, sizeof first);
    EXPECT_STREQ(first, "") << "after the last name";
    insGetNextPrinterName(one, first, sizeof first);
    EXPECT_STREQ(first, "");
    insFinishPrinterName(one);
    insFinishPrinterName(two);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

TEST_F(Printers, TheCursorKeepsItsContractForBadInput) {
    LONG result = 0;
    EXPECT_EQ(insGetFirstPrinterName(nullptr, 10, &result), nullptr);
    EXPECT_EQ(result, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insGetFirstPrinterName(nullptr, 10, nullptr), nullptr);
    char name[8] = "x";
    EXPECT_EQ(insGetNextPrinterName(nullptr, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(insFinishPrinterName(nullptr), 0);
}

// A setup program that uses a cursor after finishing it, finishes it twice, or passes a
// value it never had is answered as for no cursor: nothing freed twice, nothing read from
// freed memory (the sanitizer build watches this), and the other walks go on.
TEST_F(Printers, AFinishedOrUnknownCursorIsAnsweredAsNone) {
    SetUpDriver();
    add("Orvana Fax");
    add("Sales Fax");
    LONG result = 0;
    char name[32];
    INS_PRINTER_CURSOR_HANDLE finished = insGetFirstPrinterName(name, sizeof name, &result);
    EXPECT_EQ(insFinishPrinterName(finished), 0);
    INS_PRINTER_CURSOR_HANDLE open = insGetFirstPrinterName(name, sizeof name, &result);
    ASSERT_NE(open, nullptr);
    EXPECT_NE(open, finished) << "a slot used again is a new cursor";
    std::strcpy(name, "x");
    EXPECT_EQ(insGetNextPrinterName(finished, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(insFinishPrinterName(finished), 0);
    int local = 0;
    EXPECT_EQ(insFinishPrinterName(reinterpret_cast<INS_PRINTER_CURSOR_HANDLE>(&local)), 0);
    EXPECT_EQ(insGetNextPrinterName(open, name, sizeof name), 0);
    EXPECT_STREQ(name, "Sales Fax") << "the open walk is untouched";
    EXPECT_EQ(insFinishPrinterName(open), 0);
    EXPECT_EQ(insFinishPrinterName(open), 0);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

// Walks never finished take every cursor there is; the next has none, says why, and a
// finished walk makes room again.
TEST_F(Printers, CursorsNeverFinishedRunOutAndFinishingMakesRoom) {
    SetUpDriver();
    add("Orvana Fax");
    std::vector<INS_PRINTER_CURSOR_HANDLE> cursors;
    LONG result = 0;
    char name[32];
    for (int i = 0; i < cursor_table_size; ++i) cursors.push_back(insGetFirstPrinterName(name, sizeof name, &result));
    EXPECT_EQ(std::count(cursors.begin(), cursors.end(), nullptr), 0);
    std::strcpy(name, "x");
    EXPECT_EQ(insGetFirstPrinterName(name, sizeof name, &result), nullptr);
    EXPECT_EQ(result, ERROR_NO_MORE_SEARCH_HANDLES);
    EXPECT_STREQ(name, "");
    insFinishPrinterName(cursors.back());
    cursors.back() = insGetFirstPrinterName(name, sizeof name, &result);
    EXPECT_NE(cursors.back(), nullptr);
    EXPECT_STREQ(name, "Orvana Fax");
    for (INS_PRINTER_CURSOR_HANDLE cursor : cursors) insFinishPrinterName(cursor);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u);
}

TEST_F(Printers, PresenceIgnoresLetterCaseAndTheFlagBlocksIt) {
    SetUpDriver();
    add("Orvana Fax");
    LONG present = 0;
    EXPECT_EQ(insIsPrinterPresent("ORVANA FAX", &present), 0);
    EXPECT_EQ(present, 1);
    error_flag = 1;
    EXPECT_EQ(insIsPrinterPresent("Orvana Fax", &present), -1);
    EXPECT_EQ(present, 0);
    char name[32];
    LONG result = 0;
    INS_PRINTER_CURSOR_HANDLE cursor = insGetFirstPrinterName(name, sizeof name, &result);
    EXPECT_STREQ(name, "Orvana Fax") << "the cursor exports ignore the flag";
    insFinishPrinterName(cursor);
    EXPECT_EQ(insDelPrinter("Orvana Fax"), -1);
}

TEST_F(Printers, DeletionPurgesJobsFirst) {
    SetUpDriver();
    add("Orvana Fax");
    machine->spooler().queue_job("Orvana Fax");
    EXPECT_EQ(insDelPrinter("Orvana Fax"), 0);
    EXPECT_FALSE(machine->spooler().has_printer("Orvana Fax"));
    EXPECT_EQ(insDelPrinter("Nobody"), 0);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Printers, ADeletedPrinterWithAnotherHandleOpenIsPendingDeletion) {
    SetUpDriver();
    add("Orvana Fax");
    HANDLE other = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("Orvana Fax"), &other, &defaults));
    EXPECT_EQ(insDelPrinter("Orvana Fax"), 0);
    EXPECT_TRUE(machine->spooler().has_printer("Orvana Fax"));
    EXPECT_EQ(machine->spooler().printer_status("Orvana Fax") & PRINTER_STATUS_PENDING_DELETION,
              static_cast<DWORD>(PRINTER_STATUS_PENDING_DELETION));
    ClosePrinter(other);
    EXPECT_FALSE(machine->spooler().has_printer("Orvana Fax"));
}

// A handle left open would keep the deleted printer pending deletion and its name taken,
// so that a port move or driver update could not make it again: the close is tried again.
TEST_F(Printers, ACloseThatFailsOnceStillLetsTheDeletedPrinterGo) {
    SetUpDriver();
    add("Orvana Fax");
    machine->faults().fail("ClosePrinter", ERROR_INVALID_HANDLE);
    EXPECT_EQ(insDelPrinter("Orvana Fax"), 0);
    EXPECT_FALSE(machine->spooler().has_printer("Orvana Fax"));
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Printers, ARefusedPurgeLeavesThePrinter) {
    SetUpDriver();
    add("Orvana Fax");
    machine->spooler().queue_job("Orvana Fax");
    machine->faults().fail("SetPrinterA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insDelPrinter("Orvana Fax"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(machine->spooler().has_printer("Orvana Fax"));
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (Purging jobs on printer to be deleted): \nerror #5 for value "
                                 "'Orvana Fax'.\nAccess is denied. \n");
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Printers, FailuresOfEachStepAreRecorded) {
    struct Case {
        const char* api;
        unsigned nth;
        const char* activity;
    } cases[] = {
        {"EnumPrintersA", 1, "Enumerating printers [1]"},
        {"EnumPrintersA", 2, "Enumerating printers [2]"},
        {"LocalAlloc", 1, "Memory allocation"},
        {"OpenPrinterA", 1, "OpenPrinter"},
        {"DeletePrinter", 1, "Deleting printer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.api) + " " + std::to_string(c.nth));
        start(Platform::win2000);
        SetUpDriver();
        add("Orvana Fax");
        machine->faults().fail(c.api, ERROR_ACCESS_DENIED, c.nth);
        EXPECT_EQ(insDelPrinter("Orvana Fax"), ERROR_ACCESS_DENIED);
        std::string text = take_error_text();
        EXPECT_EQ(text.rfind(std::string("Printer installer WARNING (") + c.activity + ")", 0), 0u) << text;
        EXPECT_TRUE(machine->spooler().has_printer("Orvana Fax"));
        EXPECT_EQ(machine->open_handles(), 0u);
        EXPECT_EQ(machine->live_local_blocks(), 0u);
    }
}

TEST_F(Printers, AFailedEnumerationGivesTheCursorItsCodeAndNoNames) {
    SetUpDriver();
    add("Orvana Fax");
    for (unsigned nth : {1u, 2u}) {
        SCOPED_TRACE(nth);
        machine->faults().fail("EnumPrintersA", ERROR_NOT_ENOUGH_MEMORY, nth);
        char name[32] = "x";
        LONG result = 0;
        INS_PRINTER_CURSOR_HANDLE cursor = insGetFirstPrinterName(name, sizeof name, &result);
        ASSERT_NE(cursor, nullptr) << "the walk can still be finished";
        EXPECT_EQ(result, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_STREQ(name, "");
        EXPECT_EQ(insGetNextPrinterName(cursor, name, sizeof name), 0);
        EXPECT_STREQ(name, "");
        insFinishPrinterName(cursor);
        EXPECT_NE(take_error_text().find(nth == 1 ? "(Enumerating printers [1]): \nerror #8."
                                                  : "(Enumerating printers [2]): \nerror #8."),
                  std::string::npos);
        EXPECT_EQ(machine->live_local_blocks(), 0u);
        EXPECT_EQ(machine->live_heap_blocks(), 0u);
    }
}

TEST_F(Printers, TheSpoolerStoppedAnswers1722WithItsNote) {
    machine->services().set_stopped("Spooler");
    LONG present = 0;
    EXPECT_EQ(insIsPrinterPresent("Orvana Fax", &present), RPC_S_SERVER_UNAVAILABLE);
    EXPECT_NE(take_error_text().find("This message is usually caused by the spooler being shut down."), std::string::npos);
}

}  // namespace
