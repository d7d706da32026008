// The fuzz targets' own reading of the pending lists: a fault here would let a fault of
// the library's clean-up pass, so it is held to hand-made lists first.
#include "support/fuzz_support.h"
#include "support/pending_oracle.h"

#include <gtest/gtest.h>

namespace {

using fuzz::PendingEntry;

std::string with_nuls(std::string text) {
    for (char& c : text)
        if (c == '|') c = '\0';
    return text;
}

TEST(PendingOracle, PairsLoseTheirMarksAndStopAtTheEndOrAnUnendedPair) {
    const std::string list = with_nuls("\\??\\C:\\A.DLL||\\??\\C:\\TEMP\\B.TMP|!\\??\\C:\\A.DLL||tail");
    std::vector<PendingEntry> entries = fuzz::read_pending_pairs(list);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].source, "C:\\A.DLL");
    EXPECT_EQ(entries[0].target, "");
    EXPECT_EQ(entries[1].source, "C:\\TEMP\\B.TMP");
    EXPECT_EQ(entries[1].target, "C:\\A.DLL");
    EXPECT_EQ(entries[1].end, list.find(std::string("\0\0tail", 6)) + 1) << "the empty text ends the list";
    EXPECT_EQ(fuzz::read_pending_pairs(with_nuls("\\??\\C:\\A.DLL|\\??\\C:\\B.DLL")).size(), 0u) << "no terminator";
}

TEST(PendingOracle, WininitEntriesAreThoseOfTheSectionsTheRestartReads) {
    const std::string text = "[Other]\r\nNUL=C:\\X.DLL\r\n[ rename ] note\r\nnul = C:\\A.DLL\r\n;NUL=C:\\B.DLL\r\n" +
                             std::string("C:\\D.DLL=C:\\") + std::string(260, 'L') + "\r\nno equals\r\n[windows]\r\nNUL=C:\\Y.DLL";
    std::vector<PendingEntry> entries = fuzz::read_wininit_entries(text);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].source, "C:\\A.DLL");
    EXPECT_EQ(entries[0].target, "") << "NUL in any letters deletes";
    EXPECT_TRUE(entries[0].carried_out);
    EXPECT_FALSE(entries[1].carried_out) << "a comment";
    EXPECT_EQ(entries[2].target, "C:\\D.DLL");
    EXPECT_FALSE(entries[2].carried_out) << "longer than the restart reads";
    EXPECT_TRUE(fuzz::is_rename_header("  [Rename]"));
    EXPECT_FALSE(fuzz::is_rename_header("[Renamed]"));
    EXPECT_FALSE(fuzz::is_rename_header("[Rename"));
}

TEST(PendingOracle, AReplacementTheFileWaitsToMakeGoesWhole) {
    auto machine = fuzz::machine_with_library(winsim::Platform::win98);
    machine->files().write_file("C:\\Program Files\\Orvana\\orvmon.dll", "MZ");
    const fuzz::CleanedFile file{"C:\\Program Files\\Orvana\\orvmon.dll", fuzz::short_form("C:\\Program Files\\Orvana\\orvmon.dll")};
    ASSERT_EQ(file.short_form, "C:\\PROGRA~1\\ORVANA\\ORVMON.DLL");
    const std::vector<PendingEntry> entries = {
        {"c:\\progra~1\\orvana\\orvmon.dll", "", 0, 1},                 // its deletion, by the short form
        {"C:\\TEMP\\A.TMP", "C:\\Program Files\\Orvana\\ORVMON.DLL", 1, 2},  // a move onto it
        {"C:\\PROGRA~1\\ORVANA\\ORVMON.DLL", "C:\\OTHER.DLL", 2, 3},     // it waits to replace another
        {"C:\\other.dll", "", 3, 4},                                     // that replacement's deletion
        {"C:\\TEMP\\B.TMP", "C:\\KEEP.DLL", 4, 5},
    };
    EXPECT_EQ(fuzz::concerning(entries, file), (std::vector<bool>{true, true, true, true, false}));
    EXPECT_EQ(fuzz::without("abcdef", entries, {true, false, true, true, false}), "bef");
}

}  // namespace
