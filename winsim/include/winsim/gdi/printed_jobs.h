// What a printer printed: every document a program sent to a printer through a device
// context, its pages, and what was drawn on each, in the device's own units (dots from
// the printable area's top-left corner), so that a test reads a page as a person would.
#pragma once

#include <winsim/windows.h>

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace winsim {

// One line of a text as it stands on the page: its characters (tabs kept, "&" prefixes
// resolved) and where its left end and top lie.
struct PrintedLine {
    std::string text;
    LONG x = 0;
    LONG y = 0;
    LONG width = 0;
};

// A DrawTextA call that drew.
struct PrintedText {
    std::string text;                // as the program passed it
    std::vector<PrintedLine> lines;  // as broken and placed
    RECT rectangle{};                // the program's rectangle, in device units
    std::string face;                // the face the program asked for
    std::string drawn_face;          // the face that drew it ("Liberation Mono")
    LONG font_height = 0;            // the height asked, in device units (LOGFONT's sign)
    LONG weight = FW_NORMAL;
    bool italic = false;
    LONG cell_height = 0;            // the font's cell height, in device units
    UINT flags = 0;
    int returned_height = 0;         // what DrawTextA answered, in logical units
};

// A StretchBlt onto the page.
struct PrintedBitmap {
    RECT destination{};  // device units
    LONG source_x = 0;   // the part of the bitmap drawn, in its pixels
    LONG source_y = 0;
    LONG source_width = 0;
    LONG source_height = 0;
    // The source bitmap as a resource holds it: BITMAPINFOHEADER, colours, bits.
    std::string dib;
};

using PrintedItem = std::variant<PrintedText, PrintedBitmap>;

struct PrintedPage {
    std::vector<PrintedItem> items;
    // The page rendered as an image, when the machine has a folder.
    std::filesystem::path png;
    // Every text line of the page, top to bottom as drawn.
    std::vector<std::string> lines() const;
    std::vector<PrintedText> texts() const;
    std::vector<PrintedBitmap> bitmaps() const;
};

struct PrintedJob {
    DWORD id = 0;
    std::string printer;
    std::string document;
    // The device it was printed on.
    int dpi_x = 0;
    int dpi_y = 0;
    LONG paper_width = 0;   // the whole sheet, in dots
    LONG paper_height = 0;
    LONG offset_x = 0;      // where the printable area begins on the sheet
    LONG offset_y = 0;
    std::vector<PrintedPage> pages;
    // EndDoc ended it (a job left open by a program is not printed).
    bool ended = false;
    // Every page of the job, at its true size, when the machine has a folder.
    std::filesystem::path pdf;
};

}  // namespace winsim
