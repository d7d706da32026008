// How DrawTextA lays a text out in lines: line feeds, word breaks at the rectangle's
// right edge, "&" prefixes. Only widths matter here; the font measures them.
#pragma once

#include <winsim/windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::detail {

struct TextLine {
    std::string text;
    LONG width = 0;
};

// The width of a run of text standing at the start of a line.
using MeasureRun = std::function<LONG(std::string_view)>;

// The lines of a text in a rectangle `width` wide, as DrawTextA breaks them with
// those flags (DT_WORDBREAK, DT_SINGLELINE, DT_NOPREFIX).
std::vector<TextLine> lay_out_text(std::string_view text, UINT flags, LONG width, const MeasureRun& measure);

}  // namespace winsim::detail
