#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

class CodePages : public testing::Test {
protected:
    void SetUp() override { machine = Machine::create(Platform::win2000); }
    // The conversion of the text with its terminator, as the call answers it.
    std::u16string wide(const char* text, DWORD flags = 0) {
        WCHAR buffer[64];
        const int written = MultiByteToWideChar(CP_ACP, flags, text, -1, buffer, 64);
        EXPECT_GT(written, 0) << GetLastError();
        return std::u16string(buffer, buffer + (written > 0 ? written : 0));
    }
    std::unique_ptr<Machine> machine;
};

TEST_F(CodePages, TheAnsiCodePageIsWindows1252) {
    EXPECT_EQ(wide("LPT1:"), std::u16string(u"LPT1:\0", 6));
    // The euro sign and the curly quotes lie in 0x80 to 0x9F; the rest of the high half
    // is Latin-1.
    EXPECT_EQ(wide("\x80\x93\x94\xE9"), std::u16string(u"\u20AC\u201C\u201D\u00E9\0", 5));
    EXPECT_EQ(wide("\x81"), std::u16string(u"\u0081\0", 2)) << "an unassigned byte is its C1 control";
}

TEST_F(CodePages, CompositeSplitsAccentedLettersAndLeavesTheOthers) {
    EXPECT_EQ(wide("\xE9t\xE9", MB_COMPOSITE), std::u16string(u"e\u0301te\u0301\0", 6));
    EXPECT_EQ(wide("\xC7\x8A\xFF\xDF\xC6", MB_COMPOSITE), std::u16string(u"C\u0327S\u030Cy\u0308\u00DF\u00C6\0", 9));
    EXPECT_EQ(wide("\xE9", MB_PRECOMPOSED), std::u16string(u"\u00E9\0", 2));
}

TEST_F(CodePages, SizesBuffersAndRefusals) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_COMPOSITE, "\xE9t\xE9", -1, nullptr, 0), 6) << "the size asked for";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, nullptr, 0), 2) << "a length without the terminator";
    WCHAR small[3] = {u'#', u'#', u'#'};
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, small, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_COMPOSITE, "a", -1, small, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, small, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    machine->faults().fail("MultiByteToWideChar", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -1, small, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

}  // namespace
