#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

std::string short_path(const char* path) {
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path, buffer, sizeof buffer);
    return length && length < sizeof buffer ? std::string(buffer, length) : std::string("<failed>");
}

struct AliasCase {
    Platform platform;
    const char* readme;        // alias of readme.txt
    const char* fifth;         // the fifth "Long File Name.txt"-like name
};

void PrintTo(const AliasCase& c, std::ostream* out) { *out << winsim::platform_info(c.platform).name; }

class ShortNames : public testing::TestWithParam<AliasCase> {
protected:
    void SetUp() override { machine = Machine::create(GetParam().platform); }
    std::string alias(const char* path) {
        machine->files().write_file(path, "");
        return short_path(path);
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(ShortNames, AnEightThreeNameInLowerCase) {
    EXPECT_EQ(alias("C:\\readme.txt"), std::string("C:\\") + GetParam().readme);
    EXPECT_EQ(alias("C:\\SETUP.INF"), "C:\\SETUP.INF") << "an upper-case 8.3 name is its own alias everywhere";
}

TEST_P(ShortNames, LongNamesCountUpInTheirDirectory) {
    EXPECT_EQ(alias("C:\\Long File Name.txt"), "C:\\LONGFI~1.TXT");
    EXPECT_EQ(alias("C:\\Long File Names.txt"), "C:\\LONGFI~2.TXT");
    EXPECT_EQ(alias("C:\\Long File Named.txt"), "C:\\LONGFI~3.TXT");
    EXPECT_EQ(alias("C:\\Long File Namer.txt"), "C:\\LONGFI~4.TXT");
    std::string fifth = alias("C:\\Long File Nameless.txt");
    std::string pattern = GetParam().fifth;
    ASSERT_EQ(fifth.size(), pattern.size()) << fifth;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        EXPECT_TRUE(pattern[i] == '#' ? std::isxdigit(static_cast<unsigned char>(fifth[i])) != 0 : fifth[i] == pattern[i])
            << fifth << " against " << pattern;
    std::string other = alias("C:\\Other\\Long File Name.txt");
    EXPECT_EQ(other, short_path("C:\\Other") + "\\LONGFI~1.TXT")
        << "another directory counts from 1";
}

TEST_P(ShortNames, CharactersThatAShortNameCannotHold) {
    EXPECT_EQ(alias("C:\\a+b=c.txt"), "C:\\A_B_C~1.TXT");
    EXPECT_EQ(alias("C:\\my setup[1].html"), "C:\\MYSETU~1.HTM");
    EXPECT_EQ(alias("C:\\read.me.now.txt"), "C:\\README~1.TXT") << "every dot but the last goes";
    EXPECT_EQ(alias("C:\\Program Files\\Orvana Printer\\Orvana Driver.dll"), "C:\\PROGRA~1\\ORVANA~1\\ORVANA~1.DLL");
}

TEST_P(ShortNames, FilesOpenByTheirAliases) {
    machine->files().write_file("C:\\Program Files\\Orvana Printer\\Driver Setup.ini", "alias");
    HANDLE file = CreateFileA("c:\\progra~1\\orvana~1\\driver~1.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 5u);
    CloseHandle(file);
    char long_path[MAX_PATH];
    DWORD length = GetLongPathNameA("C:\\PROGRA~1\\ORVANA~1\\DRIVER~1.INI", long_path, sizeof long_path);
    if (GetParam().platform == Platform::win95 || GetParam().platform == Platform::nt4) {
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    } else {
        EXPECT_STREQ(long_path, "C:\\Program Files\\Orvana Printer\\Driver Setup.ini");
    }
}

TEST_P(ShortNames, AMissingPathHasNoShortName) {
    char buffer[MAX_PATH] = "kept";
    SetLastError(0);
    EXPECT_EQ(GetShortPathNameA("C:\\Program Files\\missing.dll", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetShortPathNameA("C:\\Missing Dir\\a.dll", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_STREQ(buffer, "kept");
}

TEST_P(ShortNames, TwoCallsSizeTheBuffer) {
    machine->files().write_file("C:\\Program Files\\Orvana Printer\\a.dll", "");
    const char* path = "C:\\Program Files\\Orvana Printer\\a.dll";
    DWORD needed = GetShortPathNameA(path, nullptr, 0);
    std::string expected = short_path(path);
    EXPECT_EQ(needed, expected.size() + 1);
    std::string buffer(needed, '\0');
    EXPECT_EQ(GetShortPathNameA(path, buffer.data(), needed), expected.size());
    EXPECT_EQ(GetShortPathNameA(path, buffer.data(), needed - 1), needed) << "one short of the terminator";
}

INSTANTIATE_TEST_SUITE_P(Platforms, ShortNames,
                         testing::Values(AliasCase{Platform::win95, "README.TXT", "C:\\LONGFI~5.TXT"},
                                         AliasCase{Platform::win98, "README.TXT", "C:\\LONGFI~5.TXT"},
                                         AliasCase{Platform::nt4, "readme.txt", "C:\\LO####~1.TXT"},
                                         AliasCase{Platform::win2000, "readme.txt", "C:\\LO####~1.TXT"}),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param.platform).name); });

TEST(ShortNames95, AnUpperCaseAliasGivesWayToAFileOfThatName) {
    auto machine = Machine::create(Platform::win98);
    machine->files().write_file("C:\\README.TXT", "");
    machine->files().write_file("C:\\readme.txt", "");  // the same name: one file
    EXPECT_EQ(machine->files().list("C:\\").back(), "README.TXT");
    machine->files().write_file("C:\\Readme.doc", "");
    machine->files().write_file("C:\\README.DOC.bak", "");
    EXPECT_EQ(short_path("C:\\Readme.doc"), "C:\\README.DOC");
    EXPECT_EQ(short_path("C:\\README.DOC.bak"), "C:\\README~1.BAK");
}

}  // namespace
