#include <winsim/machine.h>

#include "kernel/system_messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using winsim::Machine;
using winsim::Platform;

struct Formatted {
    DWORD length;
    DWORD error;
    std::string text;
};

Formatted format(DWORD flags, LPCVOID source, DWORD id, const DWORD_PTR* args = nullptr, DWORD language = 0) {
    char buffer[512];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0xDEADBEEF);
    DWORD length = FormatMessageA(flags, source, id, language, buffer, sizeof buffer,
                                  reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    DWORD error = GetLastError();
    return {length, error, length ? std::string(buffer, length + 1) : std::string()};
}

Formatted from_system(DWORD id, DWORD width = 0) { return format(FORMAT_MESSAGE_FROM_SYSTEM | width, nullptr, id); }

Formatted from_string(const char* definition, DWORD width = 0, const DWORD_PTR* args = nullptr) {
    DWORD flags = FORMAT_MESSAGE_FROM_STRING | width | (args ? FORMAT_MESSAGE_ARGUMENT_ARRAY : 0);
    return format(flags, definition, 0, args);
}

// The text with its terminator, as the buffer must hold it.
std::string terminated(const std::string& text) { return text + '\0'; }

TEST(FormatMessageSystemTexts, ComeWithTheirOwnLineBreakAtWidthZero) {
    auto machine = Machine::create(Platform::win2000);
    Formatted r = from_system(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(r.text, terminated("The system cannot find the file specified.\r\n"));
    EXPECT_EQ(r.length, 44u);
    EXPECT_EQ(from_system(3008).text, terminated("The specified print monitor is currently in use.\r\n"));
}

TEST(FormatMessageSystemTexts, EveryEntryIsOneLineEndingInCrLf) {
    const DWORD codes[] = {0,    1,    2,    3,    4,    5,    6,    8,    13,   14,   15,   32,   53,
                           80,   87,   120,  122,  123,  126,  127,  183,  193,  206,  234,  317,  487,
                           1006, 1053, 1056, 1060, 1062, 1073, 1114, 1132, 1332, 1337, 1722, 1796, 1797,
                           1798, 1801, 1802, 1804, 1812, 1813, 1814, 1815, 3000, 3001, 3006, 3008};
    for (DWORD code : codes) {
        const char* text = winsim::detail::system_message_text(code);
        ASSERT_NE(text, nullptr) << code;
        std::string s(text);
        ASSERT_GE(s.size(), 3u) << code;
        EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << code;
        EXPECT_EQ(s.find_first_of("\r\n"), s.size() - 2) << code;
    }
    EXPECT_EQ(winsim::detail::system_message_text(7), nullptr);
    EXPECT_EQ(winsim::detail::system_message_text(0xFFFFFFFF), nullptr);
}

TEST(FormatMessageSystemTexts, UnknownCodeFailsWithMessageNotFound) {
    auto machine = Machine::create(Platform::win2000);
    Formatted r = from_system(7);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST(FormatMessageSystemTexts, EnglishIdentifiersSucceedOthersFailAsThePlatformsLoaderDoes) {
    for (DWORD language : {0x0000u, 0x0400u, 0x0409u}) {
        auto machine = Machine::create(Platform::win2000);
        EXPECT_EQ(format(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, nullptr, language).text,
                  terminated("Access is denied.\r\n"))
            << language;
    }
    {
        auto machine = Machine::create(Platform::win2000);
        Formatted german = format(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, nullptr, 0x0407);
        EXPECT_EQ(german.length, 0u);
        EXPECT_EQ(german.error, 1815u);  // ERROR_RESOURCE_LANG_NOT_FOUND
    }
    {
        auto machine = Machine::create(Platform::win7);
        Formatted german = format(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, nullptr, 0x0407);
        EXPECT_EQ(german.length, 0u);
        EXPECT_EQ(german.error, 15100u);  // ERROR_MUI_FILE_NOT_FOUND
    }
}

TEST(FormatMessageWidth, ShortTextTurnsItsFinalLineBreakIntoASpace) {
    auto machine = Machine::create(Platform::win2000);
    Formatted r = from_system(ERROR_FILE_NOT_FOUND, 80);
    EXPECT_EQ(r.text, terminated("The system cannot find the file specified. "));
    EXPECT_EQ(r.length, 43u);
}

TEST(FormatMessageWidth, MaxWidthMaskJoinsLinesButKeepsHardBreaks) {
    auto machine = Machine::create(Platform::win2000);
    EXPECT_EQ(from_system(ERROR_ACCESS_DENIED, FORMAT_MESSAGE_MAX_WIDTH_MASK).text, terminated("Access is denied. "));
    EXPECT_EQ(from_string("one\r\ntwo\nthree%nfour\r\n", FORMAT_MESSAGE_MAX_WIDTH_MASK).text,
              terminated("one two three\r\nfour "));
    // No width: every line break stays as written.
    EXPECT_EQ(from_string("one\r\ntwo\nthree%nfour\r\n").text, terminated("one\r\ntwo\nthree\r\nfour\r\n"));
}

TEST(FormatMessageWidth, LongSystemTextBreaksAtSpacesWithinTheWidth) {
    auto machine = Machine::create(Platform::win2000);
    // Lines 2 and 4 fill the width exactly; the final space no longer fits and goes.
    EXPECT_EQ(from_system(1053, 20).text, terminated("The service did not\r\n"
                                                     "respond to the start\r\n"
                                                     "or control request\r\n"
                                                     "in a timely fashion."));
}

TEST(FormatMessageWidth, LongStringWrapsAtEightyWithCrLfInPlaceOfTheSpace) {
    auto machine = Machine::create(Platform::win2000);
    std::string definition;
    std::vector<std::string> words;
    for (int i = 1; i <= 30; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, "word%02d", i);
        words.push_back(word);
        definition += (i > 1 ? " " : "") + words.back();
    }
    definition += "\r\n";
    // Eleven six-letter words and their ten spaces make 76 columns; a twelfth would
    // need 83.
    auto line = [&](int first, int last) {
        std::string s;
        for (int i = first; i <= last; ++i) s += (i > first ? " " : "") + words[static_cast<std::size_t>(i - 1)];
        return s;
    };
    std::string expected = line(1, 11) + "\r\n" + line(12, 22) + "\r\n" + line(23, 30) + " ";
    Formatted r = from_string(definition.c_str(), 80);
    EXPECT_EQ(r.text, terminated(expected));
    EXPECT_EQ(r.length, expected.size());
}

TEST(FormatMessageWidth, WordLongerThanTheWidthIsCutAtIt) {
    auto machine = Machine::create(Platform::win2000);
    EXPECT_EQ(from_string("ab abcdefghijklmnop qr", 10).text, terminated("ab\r\nabcdefghij\r\nklmnop qr"));
}

TEST(FormatMessageWidth, SpacesInsideALineAndHardBreaksSurvive) {
    auto machine = Machine::create(Platform::win2000);
    EXPECT_EQ(from_string("a  b\r\nc%nd", 80).text, terminated("a  b c\r\nd"));
    // Escaped spaces are text, not break points: the line breaks before "x%b%by".
    EXPECT_EQ(from_string("abcdef x%b%by", 8).text, terminated("abcdef\r\nx  y"));
}

TEST(FormatMessageInserts, ArgumentArrayFillsTheSystemTextsInsert) {
    auto machine = Machine::create(Platform::win2000);
    const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("C:\\x.exe")};
    Formatted r = format(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, ERROR_BAD_EXE_FORMAT, args);
    EXPECT_EQ(r.text, terminated("C:\\x.exe is not a valid Win32 application.\r\n"));
}

TEST(FormatMessageInserts, IgnoreInsertsCopiesThemAsTheyStand) {
    auto machine = Machine::create(Platform::win2000);
    Formatted r = format(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(r.text, terminated("%1 is not a valid Win32 application.\r\n"));
    Formatted s = format(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, "%1!d! of %12 at 100%%", 0);
    EXPECT_EQ(s.text, terminated("%1!d! of %12 at 100%%"));
}

TEST(FormatMessageInserts, PrintfConversionsAndTwoDigitNumbers) {
    auto machine = Machine::create(Platform::win2000);
    std::vector<DWORD_PTR> args(12);
    args[0] = static_cast<DWORD>(-5);
    args[1] = 255;
    args[2] = reinterpret_cast<DWORD_PTR>("name");
    args[11] = 42;
    EXPECT_EQ(from_string("%1!d! files, %2!04x!, %3, %3!.2s!, %12!u!0", 0, args.data()).text,
              terminated("-5 files, 00ff, name, na, 420"));
}

TEST(FormatMessageInserts, InsertWithoutArgumentsFails) {
    auto machine = Machine::create(Platform::win2000);
    Formatted r = from_system(ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageEscapes, EachStandsForItsCharacterAndPercentZeroEnds) {
    auto machine = Machine::create(Platform::win2000);
    EXPECT_EQ(from_string("100%% %.%!%b%t%r%0not copied\r\n").text, terminated("100% .! \t\r"));
    EXPECT_EQ(from_string("line%nnext").text, terminated("line\r\nnext"));
}

TEST(FormatMessageBuffer, TextMustFitWithItsTerminator) {
    auto machine = Machine::create(Platform::win2000);
    const std::string text = "The system cannot find the file specified.\r\n";
    const DWORD length = static_cast<DWORD>(text.size());
    char buffer[64];

    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, length, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, length + 1, nullptr), length);
    EXPECT_EQ(std::string(buffer, length + 1), terminated(text));
    EXPECT_EQ(std::string(buffer + length + 1, sizeof buffer - length - 1), std::string(sizeof buffer - length - 1, '#'));
}

TEST(FormatMessageFaults, InjectedFailureReturnsZeroWithTheCode) {
    auto machine = Machine::create(Platform::win2000);
    machine->faults().fail("FormatMessageA", ERROR_NOT_ENOUGH_MEMORY);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(buffer[0], '#');
    // Only that call fails.
    EXPECT_EQ(from_system(2).length, 44u);
}

}  // namespace
