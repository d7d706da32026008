#include "printing_fixture.h"

#include <functional>

namespace {

using winsim_test::PrintingFixture;

struct GdiFaults : PrintingFixture {
    void SetUp() override { open_page(); }
};

// Every drawing call can be made to fail, with its own failure value and the code asked.
TEST_F(GdiFaults, EveryCallFailsWithItsFailureValueWhenTold) {
    RECT rectangle{0, 0, 100, 100};
    LOGFONTA logfont{};
    TEXTMETRICA metrics{};
    DOCINFOA document{sizeof(DOCINFOA), "Faulted", nullptr, nullptr, 0};
    BITMAPCOREHEADER core{12, 0, 0, 0, 0};
    HDC memory = CreateCompatibleDC(printer);
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"GetDeviceCaps", [&] { return GetDeviceCaps(printer, LOGPIXELSX) == 0; }},
        {"GetClipBox", [&] { return GetClipBox(printer, &rectangle) == ERROR; }},
        {"CreateFontIndirectA", [&] { return CreateFontIndirectA(&logfont) == nullptr; }},
        {"SelectObject", [&] { return SelectObject(printer, previous_font) == nullptr; }},
        {"DeleteObject", [&] { return !DeleteObject(previous_font); }},
        {"GetTextMetricsA", [&] { return !GetTextMetricsA(printer, &metrics); }},
        {"GetTextCharset", [&] { return GetTextCharset(printer) == DEFAULT_CHARSET; }},
        {"DrawTextA", [&] { return DrawTextA(printer, "x", -1, &rectangle, 0) == 0; }},
        {"LoadBitmapA", [&] { return LoadBitmapA(reinterpret_cast<HINSTANCE>(1), MAKEINTRESOURCEA(1)) == nullptr; }},
        {"GetDIBits", [&] { return GetDIBits(printer, nullptr, 0, 0, nullptr, reinterpret_cast<LPBITMAPINFO>(&core), 0) == 0; }},
        {"CreateCompatibleDC", [&] { return CreateCompatibleDC(printer) == nullptr; }},
        {"StretchBlt", [&] { return !StretchBlt(printer, 0, 0, 1, 1, memory, 0, 0, 1, 1, SRCCOPY); }},
        {"SetMapMode", [&] { return SetMapMode(printer, MM_TEXT) == 0; }},
        {"SetWindowOrgEx", [&] { return !SetWindowOrgEx(printer, 0, 0, nullptr); }},
        {"SetWindowExtEx", [&] { return !SetWindowExtEx(printer, 1, 1, nullptr); }},
        {"SetViewportOrgEx", [&] { return !SetViewportOrgEx(printer, 0, 0, nullptr); }},
        {"SetViewportExtEx", [&] { return !SetViewportExtEx(printer, 1, 1, nullptr); }},
        {"SaveDC", [&] { return SaveDC(printer) == 0; }},
        {"RestoreDC", [&] { return !RestoreDC(printer, -1); }},
        {"GetNearestColor", [&] { return GetNearestColor(printer, 0) == CLR_INVALID; }},
        {"StartDocA", [&] { return StartDocA(printer, &document) == SP_ERROR; }},
        {"StartPage", [&] { return StartPage(printer) == SP_ERROR; }},
        {"EndPage", [&] { return EndPage(printer) == SP_ERROR; }},
        {"EndDoc", [&] { return EndDoc(printer) == SP_ERROR; }},
        {"GetDC", [&] { return GetDC(nullptr) == nullptr; }},
        {"ReleaseDC", [&] { return ReleaseDC(nullptr, printer) == 0; }},
        {"DeviceCapabilitiesA", [&] { return DeviceCapabilitiesA(winsim_test::product_printer, "LPT1:", DC_VERSION, nullptr, nullptr) == -1; }},
        {"LoadCursorA", [&] { return LoadCursorA(nullptr, IDC_WAIT) == nullptr; }},
        {"SetCursor", [&] { return SetCursor(nullptr) == nullptr; }},
    };
    const std::size_t handles = machine->open_handles();
    for (const auto& [name, call] : calls) {
        machine->faults().fail(name, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(call()) << name << " did not fail";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << name;
    }
    EXPECT_EQ(machine->open_handles(), handles) << "a failed call makes nothing";
    EXPECT_EQ(page().items.size(), 0u) << "a failed call draws nothing";
    EXPECT_EQ(machine->spooler().jobs(winsim_test::product_printer).size(), 1u) << "only the fixture's document is queued";
    DeleteDC(memory);
}

}  // namespace
