#include "printing_fixture.h"

namespace {

using winsim_test::PrintingFixture;

struct TextDrawing : PrintingFixture {
    void SetUp() override { open_page(); }
    // Draws and answers the lines the page recorded for that call.
    std::vector<std::string> drawn_lines(const char* text, RECT rectangle, UINT flags, int* height = nullptr) {
        const int returned = DrawTextA(printer, text, -1, &rectangle, flags);
        if (height) *height = returned;
        const std::vector<winsim::PrintedText> texts = page().texts();
        std::vector<std::string> lines;
        for (const auto& line : texts.back().lines) lines.push_back(line.text);
        return lines;
    }
};

TEST_F(TextDrawing, FontHeightsFollowWindowsSignConvention) {
    // A positive height is the cell, a negative one the character (em) height; the
    // Liberation faces carry the Windows ascent and descent of the faces they stand for.
    select_font("Courier New", 42);
    EXPECT_NEAR(metrics().tmHeight, 42, 1);
    EXPECT_EQ(metrics().tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "Courier New is of fixed pitch: the bit is clear";
    TEXTMETRICA cell = metrics();
    SelectObject(printer, previous_font);
    DeleteObject(font);
    select_font("Courier New", -42);
    EXPECT_GT(metrics().tmHeight, cell.tmHeight);
    EXPECT_NEAR(metrics().tmHeight - metrics().tmInternalLeading, 42, 1) << "the em is the cell less its internal leading";
    SelectObject(printer, previous_font);
    DeleteObject(font);
    select_font("Times New Roman", 150);
    EXPECT_NE(metrics().tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "a proportional face SETS the bit";
    EXPECT_EQ(page().texts().size(), 0u);
}

TEST_F(TextDrawing, LinesBreakAtLineFeedsAndAtSpacesBeforeTheRightEdge) {
    select_font("Courier New", 42);
    const LONG character = metrics().tmAveCharWidth;
    const LONG line = metrics().tmHeight;
    // Ten and a half characters wide: "aaaa bbbb" fits, "aaaa bbbb cccc" does not.
    const RECT narrow{100, 100, 100 + character * 21 / 2, 2000};
    int height = 0;
    EXPECT_EQ(drawn_lines("aaaa bbbb cccc", narrow, DT_WORDBREAK | DT_NOPREFIX, &height),
              (std::vector<std::string>{"aaaa bbbb", "cccc"}));
    EXPECT_EQ(height, 2 * line);
    EXPECT_EQ(drawn_lines("one\r\ntwo\nthree", narrow, DT_NOPREFIX, &height), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(height, 3 * line);
    EXPECT_EQ(drawn_lines("\nend", narrow, DT_NOPREFIX, &height), (std::vector<std::string>{"", "end"}));
    EXPECT_EQ(height, 2 * line) << "a leading line feed is an empty line";
    EXPECT_EQ(drawn_lines("text\n", narrow, DT_NOPREFIX, &height), (std::vector<std::string>{"text"}));
    EXPECT_EQ(height, line) << "a final line feed opens no line (unconfirmed)";
    // A word wider than the rectangle stands whole on its own line (Wine's text.c:
    // "line1 line2" in a 1-pixel rectangle is two lines without DT_EDITCONTROL).
    EXPECT_EQ(drawn_lines("extraordinarily long", RECT{0, 0, character * 5, 2000}, DT_WORDBREAK, &height),
              (std::vector<std::string>{"extraordinarily", "long"}));
    EXPECT_EQ(height, 2 * line);
    // Without DT_WORDBREAK nothing breaks at the edge.
    EXPECT_EQ(drawn_lines("aaaa bbbb cccc", narrow, DT_NOPREFIX), (std::vector<std::string>{"aaaa bbbb cccc"}));
}

TEST_F(TextDrawing, TabsPrefixesAndCentring) {
    select_font("Courier New", 42);
    const LONG character = metrics().tmAveCharWidth;
    RECT rectangle{0, 0, 4000, 2000};
    // Tab stops every eight average characters.
    ASSERT_NE(DrawTextA(printer, "ab\tc", -1, &rectangle, DT_EXPANDTABS | DT_CALCRECT), 0);
    EXPECT_EQ(rectangle.right, 9 * character);
    EXPECT_EQ(rectangle.bottom, metrics().tmHeight);

    EXPECT_EQ(drawn_lines("&Save && go&", RECT{0, 0, 4000, 2000}, 0), (std::vector<std::string>{"Save & go"}));
    EXPECT_EQ(drawn_lines("&Save", RECT{0, 0, 4000, 2000}, DT_NOPREFIX), (std::vector<std::string>{"&Save"}));

    RECT centred{100, 50, 100 + 20 * character, 2000};
    ASSERT_NE(DrawTextA(printer, "abcd\nabcdefgh", -1, &centred, DT_CENTER), 0);
    const std::vector<winsim::PrintedLine> lines = page().texts().back().lines;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].x, 100 + 8 * character) << "four characters in twenty: eight to the left";
    EXPECT_EQ(lines[1].x, 100 + 6 * character);
    EXPECT_EQ(lines[1].y, 50 + metrics().tmHeight);
}

TEST_F(TextDrawing, NothingToDrawAndBadArguments) {
    const std::size_t drawn = page().texts().size();
    RECT rectangle{10, 10, 100, 100};
    // A count of 0 draws nothing and answers 0; an empty text answers a line (Wine's text.c).
    EXPECT_EQ(DrawTextA(printer, "text", 0, &rectangle, 0), 0);
    EXPECT_GT(DrawTextA(printer, "", -1, &rectangle, DT_CALCRECT), 0);
    EXPECT_EQ(rectangle.right, rectangle.left) << "an empty text calculates an empty rectangle";
    EXPECT_EQ(rectangle.bottom, rectangle.top);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(DrawTextA(reinterpret_cast<HDC>(0xBAD0), "text", -1, &rectangle, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "Wine's text.c accepts 6 or 87";
    EXPECT_EQ(page().texts().size(), drawn) << "a calculation draws nothing";
}

TEST_F(TextDrawing, TheDevicesOwnFontAndCharacterSets) {
    // Without a font selected the device's own font draws: fixed pitch by default.
    EXPECT_EQ(metrics().tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    EXPECT_NE(metrics().tmPitchAndFamily & TMPF_DEVICE, 0);
    EXPECT_EQ(GetTextCharset(printer), ANSI_CHARSET);
    DeleteDC(printer);
    printer = nullptr;
    winsim::DeviceProperties proportional;
    proportional.proportional_default_font = true;
    proportional.charset = SHIFTJIS_CHARSET;
    open_page(proportional);
    EXPECT_NE(metrics().tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    EXPECT_EQ(GetTextCharset(printer), SHIFTJIS_CHARSET);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetTextCharset(screen), ANSI_CHARSET);
    ReleaseDC(nullptr, screen);
    machine->graphics().set_screen_charset(OEM_CHARSET);
    screen = GetDC(nullptr);
    EXPECT_EQ(GetTextCharset(screen), OEM_CHARSET) << "the machine chooses the screen's set";
    ReleaseDC(nullptr, screen);
}

}  // namespace
