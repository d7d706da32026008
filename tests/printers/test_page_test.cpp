// The test page: what it prints about a printer, where it puts it, and what it shows the
// user when it cannot print.
#include "spooler/driver_test.h"

#include "frame/error_state.h"

#include <winsim/gdi/graphics.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::DriverTest;
using winsim::Platform;

class TestPage : public DriverTest {
protected:
    // The product's driver installed with its files, and a printer "Fax" on LPT1: using it.
    void install_printer(Platform platform, const winsim::DeviceProperties& device = {}) {
        lay_out(platform);
        ASSERT_EQ(install(), 0) << take_error_text();
        INS_PRINTER_DEFINITION printer = testing_support::unchanged_definition();
        const std::string driver = model();
        printer.pDriverName = driver.c_str();
        ASSERT_EQ(insAddPrinter(&printer), 0) << take_error_text();
        machine->graphics().set_device(driver, device);
    }
    const winsim::PrintedPage& page() const { return machine->graphics().last_job("Fax").pages.at(0); }
    std::vector<std::string> drawn_texts() const {
        std::vector<std::string> texts;
        for (const winsim::PrintedText& text : page().texts()) texts.push_back(text.text);
        return texts;
    }
};

class TestPageOn : public TestPage, public testing::WithParamInterface<Platform> {};

TEST_P(TestPageOn, PrintsTheReport) {
    install_printer(GetParam());
    EXPECT_EQ(insPrintTestPage(nullptr, "Fax"), 0) << take_error_text();
    for (const std::string& text : drawn_texts()) std::printf("[%s]\n", text.c_str());
}

INSTANTIATE_TEST_SUITE_P(Platforms, TestPageOn,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
