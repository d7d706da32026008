#include "gdi/text_layout.h"

#include <gtest/gtest.h>

namespace {

using winsim::detail::lay_out_text;

// Every character ten units wide.
std::vector<std::string> lines_of(std::string_view text, UINT flags, LONG width) {
    std::vector<std::string> lines;
    for (const auto& line : lay_out_text(text, flags, width, [](std::string_view run) { return static_cast<LONG>(run.size() * 10); }))
        lines.push_back(line.text);
    return lines;
}

TEST(TextLayout, WordBreaksDropTheSpacesAtTheBreakAndKeepLeadingOnes) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(lines_of("ab cd ef", DT_WORDBREAK, 50), (Lines{"ab cd", "ef"})) << "a word ending on the edge fits";
    EXPECT_EQ(lines_of("ab   cd", DT_WORDBREAK, 40), (Lines{"ab", "cd"}));
    EXPECT_EQ(lines_of("  ab cd", DT_WORDBREAK, 40), (Lines{"  ab", "cd"}));
    EXPECT_EQ(lines_of("abcdefgh ij", DT_WORDBREAK, 30), (Lines{"abcdefgh", "ij"}));
    EXPECT_EQ(lines_of("ab\n\ncd", DT_WORDBREAK, 30), (Lines{"ab", "", "cd"})) << "an empty paragraph is an empty line";
    EXPECT_EQ(lines_of("ab\rcd\r\n", 0, 30), (Lines{"ab", "cd"}));
    EXPECT_EQ(lines_of("a\nb", DT_SINGLELINE, 100), (Lines{"a\nb"}));
    EXPECT_EQ(lines_of("", 0, 100), (Lines{""}));
}

}  // namespace
