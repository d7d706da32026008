// The test page: what it prints about a printer, where on the page, and what it shows the
// user when it cannot print.
#include "spooler/driver_test.h"
#include "support/temp_path.h"

#include "frame/error_state.h"
#include "frame/messages.h"

#include <winsim/gdi/graphics.h>
#include <winsim/user/desktop.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using testing_support::DriverTest;
using winsim::Platform;

constexpr const char* end_line = "\nThis is the end of the printer test page.";

class TestPage : public DriverTest {
protected:
    // The product's driver installed with its files, and a printer on LPT1: using it.
    void install_printer(Platform platform, const winsim::DeviceProperties& device = {}, const char* name = "Fax",
                         std::filesystem::path folder = {}) {
        lay_out(platform, true, std::move(folder));
        ASSERT_EQ(install(), 0) << take_error_text();
        INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition();
        const std::string driver = model();
        printer.pPrinterName = name;
        printer.pDriverName = driver.c_str();
        ASSERT_EQ(insAddPrinter(&printer), 0) << take_error_text();
        machine->graphics().set_device(driver, device);
        printer_name = name;
    }
    bool printed() const {
        for (const winsim::PrintedJob& job : machine->graphics().jobs())
            if (job.printer == printer_name) return true;
        return false;
    }
    const winsim::PrintedJob& job() const { return machine->graphics().last_job(printer_name); }
    const winsim::PrintedPage& page() const { return job().pages.at(0); }
    std::vector<std::string> drawn_texts() const {
        std::vector<std::string> texts;
        for (const winsim::PrintedText& text : page().texts()) texts.push_back(text.text);
        return texts;
    }
    winsim::PrintedText drawn(const std::string& starting) const {
        for (const winsim::PrintedText& text : page().texts())
            if (text.text.rfind(starting, 0) == 0) return text;
        throw std::out_of_range("no line starts with " + starting);
    }
    // The caller's cursor shows again, and the hourglass showed meanwhile.
    void expect_cursor_restored() const {
        const winsim::Desktop& desktop = machine->desktop();
        EXPECT_EQ(desktop.cursor(), winsim::Desktop::system_cursor(32512));
        ASSERT_FALSE(desktop.cursors_set().empty());
        EXPECT_EQ(desktop.cursors_set().front(), winsim::Desktop::system_cursor(32514));
    }
    std::string printer_name;
};

// The report's lines as each platform's driver registration makes them: 95/98 register
// the 16-bit driver as its own data and configuration file, NT 3.51 lists no dependent files.
std::vector<std::string> expected_report(Platform platform) {
    const bool nt = platform != Platform::win95 && platform != Platform::win98;
    const std::string model = nt ? "Orvana Print Driver" : "Orvana Win98 Driver";
    const std::string driver = platform == Platform::nt351 ? "orvdrv351.dll" : nt ? "orvdrv.dll" : "orvfax.drv";
    const std::string directory = !nt ? "C:\\WINDOWS\\SYSTEM\\"
                                  : platform == Platform::nt351 ? "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\1\\"
                                                                : "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\";
    const std::string driver_version = !nt || platform == Platform::nt351 ? "4.1.0.7" : "4.2.0.7";
    const std::string devmode_version = platform == Platform::nt351 ? "3.32" : platform == Platform::win2000 ? "4.01" : "4.00";
    std::vector<std::string> lines = {
        "Orvana\nPrinter Test Page",
        "Congratulations!\n",
        "If you can read this information, you have correctly installed your " + model +
            ".\n\nThe information below describes your printer driver and port settings.\n",
        "Printer name:   Fax",
        "Printer model:   " + model,
        "Driver name:     " + driver,
        " " + directory + driver + "\t(" + driver_version + ")"};
    if (nt) {
        lines.push_back("Data file:       orvdrvui.dll");
        lines.push_back("Config file:     orvdrvui.dll");
    }
    lines.push_back("DEVMODE version: " + devmode_version);
    lines.push_back("Color support:   No");
    lines.push_back("Port name:       LPT1:");
    lines.push_back("Data format:     RAW");
    if (platform != Platform::nt351) {
        // The bare names the driver lists are found in its directory.
        lines.push_back("\nFiles used by this driver:");
        lines.push_back(" " + directory + "orvfont.dat");
        lines.push_back(" " + directory + "orvcover.dll\t(4.1.0.7)");
        lines.push_back(" " + directory + "orvdrv.hlp");
    }
    lines.push_back(end_line);
    return lines;
}

class TestPageOn : public TestPage, public testing::WithParamInterface<Platform> {};

TEST_P(TestPageOn, PrintsTheReportOnOnePageAndGivesEverythingBack) {
    install_printer(GetParam());
    EXPECT_EQ(insPrintTestPage(nullptr, "Fax"), 0) << take_error_text();
    EXPECT_EQ(drawn_texts(), expected_report(GetParam()));
    EXPECT_TRUE(job().ended);
    EXPECT_EQ(job().document, "Orvana printer test page");
    EXPECT_EQ(job().pages.size(), 1u);
    EXPECT_TRUE(machine->desktop().message_boxes().empty());
    EXPECT_EQ(take_error_text(), "");
    expect_cursor_restored();
    expect_nothing_left();
}

// Every counted call failed in turn: whatever fails, the page and the job are given back,
// the cursor is the caller's again, and success means a whole page.
TEST_P(TestPageOn, AFailureAnywhereLeavesNothingBehind) {
    install_printer(GetParam());
    for (unsigned nth = 1; nth < 2000; ++nth) {
        SCOPED_TRACE("call " + std::to_string(nth));
        machine->graphics().jobs().clear();
        unsigned failed_releases = 0;
        std::string failed;
        machine->faults().on_inject = [&](const winsim::Injection& injection) {
            if (failed.empty()) failed = injection.api;
            if (testing_support::is_release(injection.api)) ++failed_releases;
        };
        const std::size_t held_before = machine->live_heap_blocks() + machine->live_local_blocks() + machine->open_handles();
        machine->faults().fail(winsim::Faults::any_api, ERROR_NOT_ENOUGH_MEMORY, nth);
        const LONG result = insPrintTestPage(nullptr, "Fax");
        machine->faults().clear();
        machine->faults().on_inject = nullptr;
        take_error_text();
        EXPECT_EQ(machine->desktop().cursor(), winsim::Desktop::system_cursor(32512));
        SCOPED_TRACE("failed " + failed);
        EXPECT_LE(machine->live_heap_blocks() + machine->live_local_blocks() + machine->open_handles(), held_before + failed_releases);
        if (result == 0) {
            ASSERT_TRUE(printed());
            EXPECT_TRUE(job().ended);
            EXPECT_EQ(drawn_texts().back(), end_line);
        }
        if (failed.empty()) {
            EXPECT_EQ(result, 0);
            EXPECT_GT(nth, 30u);
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Platforms, TestPageOn,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

TEST_F(TestPage, WithBitmapsTheLogoTakesTheCornerAndTheHeadingStandsBesideIt) {
    install_printer(Platform::win2000);  // 300 dots to the inch
    ASSERT_EQ(insPrintTestPage(nullptr, "Fax"), 0);
    const std::vector<winsim::PrintedBitmap> bitmaps = page().bitmaps();
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].destination.left, 150);
    EXPECT_EQ(bitmaps[0].destination.top, 150);
    EXPECT_EQ(bitmaps[0].destination.right, 450);
    EXPECT_EQ(bitmaps[0].destination.bottom, 450);
    EXPECT_EQ(bitmaps[0].source_width, 570);
    EXPECT_EQ(bitmaps[0].source_height, 469);

    const winsim::PrintedText heading = drawn("Orvana");
    EXPECT_EQ(heading.face, "Times New Roman");
    EXPECT_EQ(heading.font_height, 150);  // 36 points
    EXPECT_EQ(heading.rectangle.left, 600);
    EXPECT_EQ(heading.rectangle.top, 150);
    EXPECT_EQ(heading.flags, UINT{DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX});
    ASSERT_EQ(heading.lines.size(), 2u);
    EXPECT_EQ(heading.lines[1].text, "Printer Test Page");

    const winsim::PrintedText body = drawn("Congratulations");
    EXPECT_EQ(body.rectangle.left, 150);
    EXPECT_EQ(body.rectangle.top, 600);
    EXPECT_EQ(body.rectangle.right, heading.rectangle.right);
    EXPECT_EQ(drawn("If you can read").rectangle.top, 600 + body.returned_height);
}

TEST_F(TestPage, WithoutBitmapsTheHeadingIsCentredInTheDevicesOwnFont) {
    winsim::DeviceProperties device;
    device.bit_block_transfers = false;
    install_printer(Platform::nt4, device);
    ASSERT_EQ(insPrintTestPage(nullptr, "Fax"), 0);
    EXPECT_TRUE(page().bitmaps().empty());
    const winsim::PrintedText heading = drawn("Orvana");
    EXPECT_EQ(heading.text, "Orvana\nPrinter Test Page\n");
    EXPECT_TRUE(heading.flags & DT_CENTER);
    EXPECT_NE(heading.face, "Times New Roman");
    EXPECT_EQ(heading.rectangle.top, 150);
    EXPECT_EQ(drawn("Congratulations").rectangle.top, 150 + heading.returned_height);
    EXPECT_EQ(drawn("Congratulations").rectangle.left, 150);
}

TEST_F(TestPage, TheBodyIsInCourierNewUnlessTheDevicesFontIsFixedAndInTheScreensCharacters) {
    struct Case {
        const char* what;
        bool proportional;
        BYTE charset;
        bool courier;
    } cases[] = {{"fixed, ANSI", false, ANSI_CHARSET, false},
                 {"proportional", true, ANSI_CHARSET, true},
                 {"another character set", false, SHIFTJIS_CHARSET, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        winsim::DeviceProperties device;
        device.proportional_default_font = c.proportional;
        device.charset = c.charset;
        install_printer(Platform::win2000, device);
        ASSERT_EQ(insPrintTestPage(nullptr, "Fax"), 0);
        const winsim::PrintedText body = drawn("Printer name:");
        if (c.courier) {
            EXPECT_EQ(body.face, "Courier New");
            EXPECT_EQ(body.font_height, 42);  // 10 points at 300 dots to the inch
        } else {
            EXPECT_NE(body.face, "Courier New");
        }
        expect_nothing_left();
    }
}

TEST_F(TestPage, ColourAndTheDevmodeVersionAreAsTheDeviceAnswers) {
    winsim::DeviceProperties device;
    device.colour = true;
    device.answers_capabilities = false;
    install_printer(Platform::nt4, device);
    ASSERT_EQ(insPrintTestPage(nullptr, "Fax"), 0);
    const std::vector<std::string> texts = drawn_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Color support:   Yes"), texts.end());
    for (const std::string& text : texts) EXPECT_EQ(text.rfind("DEVMODE version", 0), std::string::npos);
}

TEST_F(TestPage, ALineTooLongForThePageWraps) {
    const std::string name(120, 'W');
    install_printer(Platform::win2000, {}, name.c_str());
    ASSERT_EQ(insPrintTestPage(nullptr, name.c_str()), 0) << take_error_text();
    const winsim::PrintedText line = drawn("Printer name:");
    EXPECT_GT(line.lines.size(), 1u);
    EXPECT_EQ(drawn("Printer model:").rectangle.top, line.rectangle.top + line.returned_height);
}

TEST_F(TestPage, WithTheErrorFlagSetTheUserIsOfferedTheEarlierErrorsAndNothingIsPrinted) {
    for (int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        install_printer(Platform::win98);
        record_error(ERROR_ACCESS_DENIED, IDS_ADDMONITOR, nullptr, 0, 0);
        const std::string earlier = error_text;
        error_flag = 1;
        machine->desktop().answer_next(answer);
        EXPECT_EQ(insPrintTestPage(nullptr, "Fax"), answer == IDYES ? INS_TEST_PAGE_NOT_PRINTED : INS_ERROR_FLAG_SET);
        error_flag = 0;
        EXPECT_FALSE(printed());
        const auto& boxes = machine->desktop().message_boxes();
        ASSERT_EQ(boxes.size(), answer == IDYES ? 2u : 1u);
        EXPECT_EQ(boxes[0].text,
                  "Unrecoverable errors occurred earlier in the process of installing print drivers.\n"
                  "Would you like to see the text of those earlier errors?");
        EXPECT_EQ(boxes[0].caption, "Error printing test page");
        EXPECT_EQ(boxes[0].type, UINT{MB_YESNO | MB_ICONHAND});
        if (answer == IDYES) {
            EXPECT_EQ(boxes[1].text, earlier);
            EXPECT_EQ(boxes[1].type, UINT{MB_OK | MB_ICONHAND});
        }
        EXPECT_EQ(take_error_text(), earlier) << "the text is shown, not taken";
        expect_cursor_restored();
    }
}

TEST_F(TestPage, APrinterWithoutADeviceContextIsNamedWholeInTheBox) {
    install_printer(Platform::nt4);
    const std::string missing = "Reception " + std::string(300, 'x');
    EXPECT_EQ(insPrintTestPage(nullptr, missing.c_str()), INS_NO_SUCH_PRINTER);
    const auto& boxes = machine->desktop().message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unable to create device context for printer\nPossibly the printer " + missing + " does not exist.");
    EXPECT_EQ(boxes[0].caption, "Error printing test page");
    EXPECT_EQ(take_error_text(), "") << "shown, not recorded";
    expect_cursor_restored();
    expect_nothing_left();
}

TEST_F(TestPage, AFailedOpenOrStartIsShownWithItsStepAndNothingIsLeftOpen) {
    struct Case {
        const char* api;
        const char* step;
    } cases[] = {{"OpenPrinterA", "OpenPrinter"}, {"StartDocA", "attempting to start document"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.api);
        install_printer(Platform::win2000);
        machine->faults().fail(c.api, ERROR_ACCESS_DENIED);
        EXPECT_EQ(insPrintTestPage(nullptr, "Fax"), ERROR_ACCESS_DENIED);
        EXPECT_FALSE(printed() && job().ended);
        const auto& boxes = machine->desktop().message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].text.find(c.step), std::string::npos) << boxes[0].text;
        EXPECT_NE(boxes[0].text.find("Access is denied."), std::string::npos) << boxes[0].text;
        EXPECT_EQ(take_error_text(), "");
        expect_cursor_restored();
        expect_nothing_left();
    }
}

TEST_F(TestPage, AReportThatCannotBeReadIsRecordedShownAndThePageStillEnds) {
    install_printer(Platform::nt4);
    machine->faults().fail("GetPrinterA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insPrintTestPage(nullptr, "Fax"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(job().ended) << "what was drawn is printed";
    EXPECT_EQ(drawn_texts(), std::vector<std::string>{"Orvana\nPrinter Test Page"});
    const std::string recorded = take_error_text();
    EXPECT_NE(recorded.find("GetPrinterData(.., 2, ..)"), std::string::npos) << recorded;
    EXPECT_NE(recorded.find("'Fax'"), std::string::npos) << recorded;
    ASSERT_EQ(machine->desktop().message_boxes().size(), 1u);
    EXPECT_NE(machine->desktop().message_boxes()[0].text.find("attempting to print test page"), std::string::npos);
    expect_nothing_left();
}

// The failure shown is the first, with its own code, whatever the calls after it left
// in the last error.
TEST_F(TestPage, AHeadingThatCannotBeDrawnIsShownWithItsOwnCode) {
    install_printer(Platform::win2000);
    machine->faults().fail("DrawTextA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(insPrintTestPage(nullptr, "Fax"), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(job().ended) << "what was drawn is printed";
    ASSERT_EQ(machine->desktop().message_boxes().size(), 1u);
    const std::string shown = machine->desktop().message_boxes()[0].text;
    EXPECT_NE(shown.find("attempting to print test page"), std::string::npos) << shown;
    EXPECT_NE(shown.find("error #8"), std::string::npos) << shown;
    expect_cursor_restored();
    expect_nothing_left();
}

TEST_F(TestPage, ANullNameIsRefused) {
    install_printer(Platform::win2000);
    EXPECT_EQ(insPrintTestPage(nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(printed());
    EXPECT_TRUE(machine->desktop().message_boxes().empty());
    expect_cursor_restored();
}

TEST_F(TestPage, ThePageIsRenderedWithTheSheetsSize) {
    const std::filesystem::path folder = testing_support::temp_path("test-page-rendered");
    std::filesystem::remove_all(folder);
    install_printer(Platform::win2000, {}, "Fax", folder);
    ASSERT_EQ(insPrintTestPage(nullptr, "Fax"), 0);
    ASSERT_FALSE(page().png.empty());
    EXPECT_TRUE(std::filesystem::exists(page().png));
    EXPECT_TRUE(std::filesystem::exists(job().pdf));
    EXPECT_EQ(page().png.parent_path(), folder / "jobs" / "Fax");
    machine.reset();
    std::filesystem::remove_all(folder);
}

}  // namespace
