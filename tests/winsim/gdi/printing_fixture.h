// A printer context of the product's printer on a machine whose driver has the
// device a test chose, with a document and a page open, and a font of a face and
// height selected into it.
#pragma once

#include "printer_layout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace winsim_test {

inline constexpr const char* product_driver = "Orvana Print Driver";

// A monochrome DIB as a resource holds it: header, two colours (black, white), rows
// bottom-up, each padded to four bytes; every pixel black.
inline std::string black_dib(LONG width, LONG height) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 1;
    std::string dib(reinterpret_cast<const char*>(&header), sizeof header);
    const RGBQUAD colours[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    dib.append(reinterpret_cast<const char*>(colours), sizeof colours);
    dib.append(static_cast<std::size_t>((width + 31) / 32 * 4 * height), '\0');
    return dib;
}

struct PrintingFixture : testing::Test {
    void open_page(const winsim::DeviceProperties& device = {}, winsim::Platform platform = winsim::Platform::win2000) {
        machine = machine_with_printers(platform);
        machine->graphics().set_device(product_driver, device);
        printer = CreateDCA(nullptr, product_printer, nullptr, nullptr);
        ASSERT_NE(printer, nullptr);
        DOCINFOA document{sizeof(DOCINFOA), "Test document", nullptr, nullptr, 0};
        ASSERT_GT(StartDocA(printer, &document), 0);
        ASSERT_GT(StartPage(printer), 0);
    }
    void TearDown() override {
        if (font) {
            SelectObject(printer, previous_font);
            DeleteObject(font);
        }
        if (printer) DeleteDC(printer);
    }
    // Selects a font of that face and LOGFONT height.
    void select_font(const char* face, LONG height) {
        LOGFONTA logfont{};
        logfont.lfHeight = height;
        logfont.lfWeight = FW_NORMAL;
        std::snprintf(logfont.lfFaceName, LF_FACESIZE, "%s", face);
        font = CreateFontIndirectA(&logfont);
        ASSERT_NE(font, nullptr);
        previous_font = SelectObject(printer, font);
        ASSERT_NE(previous_font, nullptr);
    }
    TEXTMETRICA metrics() {
        TEXTMETRICA found{};
        EXPECT_TRUE(GetTextMetricsA(printer, &found));
        return found;
    }
    const winsim::PrintedPage& page() { return machine->graphics().jobs().back().pages.back(); }

    std::unique_ptr<winsim::Machine> machine;
    HDC printer = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previous_font = nullptr;
};

}  // namespace winsim_test
