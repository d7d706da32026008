#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

struct Layout {
    Platform platform;
    const char* windows;
    const char* system;
    const char* temp_path;       // what GetTempPathA answers
    const char* temp_directory;  // the directory itself, by its long name
    const char* driver_directory;
    const char* version_directory;  // nullptr on 95/98
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << winsim::platform_info(layout.platform).name; }

const Layout layouts[] = {
    {Platform::win95, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\TEMP\\", "C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\SYSTEM", nullptr},
    {Platform::win98, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\TEMP\\", "C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\SYSTEM", nullptr},
    {Platform::nt351, "C:\\WINNT", "C:\\WINNT\\system32", "C:\\TEMP\\", "C:\\TEMP", "C:\\WINNT\\system32\\spool\\drivers\\w32x86",
     "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\1"},
    {Platform::nt4, "C:\\WINNT", "C:\\WINNT\\system32", "C:\\TEMP\\", "C:\\TEMP", "C:\\WINNT\\system32\\spool\\drivers\\w32x86",
     "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2"},
    {Platform::win2000, "C:\\WINNT", "C:\\WINNT\\system32", "C:\\DOCUME~1\\ADMINI~1\\LOCALS~1\\Temp\\",
     "C:\\Documents and Settings\\Administrator\\Local Settings\\Temp", "C:\\WINNT\\system32\\spool\\drivers\\w32x86",
     "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3"},
};

class Directories : public testing::TestWithParam<Layout> {
protected:
    void SetUp() override { machine = Machine::create(GetParam().platform); }
    std::unique_ptr<Machine> machine;
};

TEST_P(Directories, ANewMachineHasThemAndTheCallsAnswerThem) {
    const Layout& layout = GetParam();
    for (const char* directory : {layout.windows, layout.system, layout.temp_directory, layout.driver_directory}) {
        ASSERT_NE(machine->files().node(directory), nullptr) << directory;
        EXPECT_TRUE(machine->files().node(directory)->directory) << directory;
    }
    if (layout.version_directory) {
        EXPECT_TRUE(machine->files().exists(layout.version_directory));
    }
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), std::strlen(layout.windows));
    EXPECT_STREQ(buffer, layout.windows);
    EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), std::strlen(layout.system));
    EXPECT_STREQ(buffer, layout.system);
    EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), std::strlen(layout.temp_path));
    EXPECT_STREQ(buffer, layout.temp_path);
    DWORD attributes = GetFileAttributesA(buffer);
    EXPECT_EQ(attributes, DWORD(FILE_ATTRIBUTE_DIRECTORY)) << "the temporary path names a directory that is there";
}

TEST_P(Directories, ASmallBufferGetsTheSizeItNeeds) {
    const Layout& layout = GetParam();
    char buffer[4] = {'k', 'e', 'e', 'p'};
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), std::strlen(layout.windows) + 1);
    EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), std::strlen(layout.temp_path) + 1);
    EXPECT_EQ(std::string(buffer, 4), "keep");
}

// GetFullPathNameA only puts the path together; the call that opens the file refuses
// the characters no name may hold (Wine's kernel32 path tests, test_FunnyChars, pass
// "*" and "?" through GetFullPathNameA; unconfirmed for "|<>\"" on 95/98).
TEST_P(Directories, AFullPathIsMadeOfNamesNoFileMayHave) {
    for (const char* name : {"a*b.dll", "a?b.dll", "a<b.dll", "a>b.dll", "a|b.dll", "a\"b.dll", "a:b.dll"}) {
        SCOPED_TRACE(name);
        std::string given = std::string("C:\\Orvana\\") + name;
        char full[MAX_PATH];
        std::memset(full, 0x5A, sizeof full);
        LPSTR file_part = reinterpret_cast<LPSTR>(0xDEADBEEF);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetFullPathNameA(given.c_str(), MAX_PATH, full, &file_part), given.size());
        EXPECT_STREQ(full, given.c_str());
        EXPECT_EQ(file_part, full + 10);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateFileA(given.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    }
}

TEST_P(Directories, ThePrinterDriverDirectoryInTwoCalls) {
    const Layout& layout = GetParam();
    const bool nt = machine->is_nt();
    char environment[32];
    std::strcpy(environment, nt ? "windows nt X86" : "WINDOWS 4.0");  // compared without regard to case
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, environment, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, std::strlen(layout.driver_directory) + 1);
    std::string buffer(needed, '\xAA');
    ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, environment, 1, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed));
    EXPECT_STREQ(buffer.c_str(), layout.driver_directory);
    char other[] = "Windows NT Alpha";
    EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, other, 1, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
    EXPECT_EQ(GetPrinterDriverDirectoryA(nullptr, environment, 2, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed) != FALSE, !nt)
        << "NT refuses level 2, 95/98 do not look at the level";
}

INSTANTIATE_TEST_SUITE_P(Platforms, Directories, testing::ValuesIn(layouts),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param.platform).name); });

TEST(PrinterDriverDirectory, EachFamilyKnowsWhichEnvironments) {
    char nt_environment[] = "Windows NT x86";
    char win40[] = "Windows 4.0";
    char buffer[MAX_PATH];
    DWORD needed = 0;
    {
        auto machine = Machine::create(Platform::win98);
        SetLastError(0);
        EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, nt_environment, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
    }
    auto machine = Machine::create(Platform::nt4);
    ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, win40, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed));
    EXPECT_STREQ(buffer, "C:\\WINNT\\system32\\spool\\drivers\\win40") << "NT keeps drivers for 95/98 clients apart";
    ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed));
    EXPECT_STREQ(buffer, "C:\\WINNT\\system32\\spool\\drivers\\w32x86") << "no environment is the machine's own";
}

class CurrentDirectory : public testing::Test {
protected:
    void SetUp() override {
        machine = Machine::create(Platform::nt4);
        machine->files().write_file("C:\\Setup\\disk1\\setup.inf", "[Version]");
    }
    std::string current() {
        char buffer[MAX_PATH];
        DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
        return std::string(buffer, length);
    }
    std::unique_ptr<Machine> machine;
};

TEST_F(CurrentDirectory, StartsAtTheRootAndRelativePathsFollowIt) {
    EXPECT_EQ(current(), "C:\\");
    ASSERT_TRUE(SetCurrentDirectoryA("setup"));
    EXPECT_EQ(current(), "C:\\setup") << "the letters as given";
    ASSERT_TRUE(SetCurrentDirectoryA("disk1\\..\\disk1"));
    EXPECT_EQ(GetFileAttributesA("setup.inf"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    char full[MAX_PATH];
    LPSTR file_part = nullptr;
    EXPECT_EQ(GetFullPathNameA("..\\other.txt", sizeof full, full, &file_part), std::strlen("C:\\setup\\other.txt"));
    EXPECT_STREQ(full, "C:\\setup\\other.txt");
    EXPECT_STREQ(file_part, "other.txt");
    GetFullPathNameA("\\WINNT\\", sizeof full, full, &file_part);
    EXPECT_STREQ(full, "C:\\WINNT\\");
    EXPECT_EQ(file_part, nullptr) << "a path ending in a backslash has no file part";
    EXPECT_EQ(GetFullPathNameA("x.txt", 4, full, nullptr), std::strlen("C:\\setup\\disk1\\x.txt") + 1);
}

TEST_F(CurrentDirectory, MissingDirectoriesAreRefused) {
    SetLastError(0);
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Setup\\disk2"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Missing\\disk2"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(SetCurrentDirectoryA("C:\\Setup\\disk1\\setup.inf"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
    EXPECT_EQ(current(), "C:\\");
}

TEST(CreateDirectory, AnswersForExistingAndMissingParents) {
    auto machine = Machine::create(Platform::win98);
    ASSERT_TRUE(CreateDirectoryA("C:\\Program Files\\Orvana", nullptr));
    EXPECT_TRUE(machine->files().node("C:\\Program Files\\Orvana")->directory);
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryA("C:\\Program Files\\Orvana", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\Missing\\Orvana", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    machine->files().write_file("C:\\Program Files\\Orvana\\a.txt", "");
    EXPECT_FALSE(RemoveDirectoryA("C:\\Program Files\\Orvana"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
    machine->files().remove("C:\\Program Files\\Orvana\\a.txt");
    EXPECT_TRUE(RemoveDirectoryA("C:\\Program Files\\Orvana"));
    EXPECT_FALSE(machine->files().exists("C:\\Program Files\\Orvana"));
}

class TemporaryFiles : public testing::Test {
protected:
    void SetUp() override { machine = Machine::create(Platform::win98); }
    std::unique_ptr<Machine> machine;
};

TEST_F(TemporaryFiles, EachCallMakesANewEmptyFile) {
    char first[MAX_PATH];
    char second[MAX_PATH];
    UINT a = GetTempFileNameA("C:\\WINDOWS\\TEMP\\", "orvana", 0, first);
    UINT b = GetTempFileNameA("C:\\WINDOWS\\TEMP", "orvana", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_STRNE(first, second);
    char expected[MAX_PATH];
    std::snprintf(expected, sizeof expected, "C:\\WINDOWS\\TEMP\\orv%04X.TMP", a);
    EXPECT_STREQ(first, expected) << "three letters of the prefix, four hex digits";
    EXPECT_EQ(machine->files().read_file(first), "");
    EXPECT_EQ(machine->files().read_file(second), "");
}

TEST_F(TemporaryFiles, ADotMeansTheCurrentDirectoryAndANumberOnlyNamesAFile) {
    SetCurrentDirectoryA("C:\\WINDOWS");
    char name[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(".", "~x", 0, name), 0u);
    EXPECT_EQ(std::string(name).substr(0, 13), "C:\\WINDOWS\\~x");
    EXPECT_TRUE(machine->files().exists(name));
    EXPECT_EQ(GetTempFileNameA(".", "abc", 0x1A2B, name), 0x1A2Bu);
    EXPECT_STREQ(name, "C:\\WINDOWS\\abc1A2B.TMP");
    EXPECT_FALSE(machine->files().exists(name)) << "with a number given, no file is made";
}

// Wine's kernel32 path tests (test_InitPathA) expect ERROR_DIRECTORY for a missing
// directory, whether a number is given or not.
TEST_F(TemporaryFiles, AMissingDirectoryIsNoDirectory) {
    for (UINT unique : {0u, 1u, 2u}) {
        char name[MAX_PATH] = "untouched";
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetTempFileNameA("C:\\WINDOWS\\TEMP\\missing", "tfn", unique, name), 0u) << unique;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY)) << unique;
        EXPECT_STREQ(name, "untouched");
    }
}

TEST_F(TemporaryFiles, AReadOnlyCurrentDirectoryCannotTakeThem) {
    machine->files().add_drive('D', true);
    machine->files().write_file("D:\\SETUP.EXE", "MZ");
    ASSERT_TRUE(SetCurrentDirectoryA("D:\\"));
    char name[MAX_PATH] = "untouched";
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameA(".", "orv", 0, name), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(machine->files().list("D:\\"), std::vector<std::string>{"SETUP.EXE"});
    EXPECT_EQ(CreateFileA("scratch.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    HANDLE setup = CreateFileA("setup.exe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(setup, INVALID_HANDLE_VALUE) << "reading from the CD works";
    CloseHandle(setup);
    EXPECT_EQ(GetFileAttributesA("D:\\SETUP.EXE") & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileA("D:\\SETUP.EXE"));
    EXPECT_FALSE(CreateDirectoryA("D:\\NEW", nullptr));
    EXPECT_NE(GetTempFileNameA("C:\\WINDOWS\\TEMP", "orv", 0, name), 0u) << "the temporary directory still takes them";
}

TEST(OpenFile, FindsABareNameAlongTheSearchOrder) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\WINNT\\ORVANA.INI", "w");
    machine->files().write_file("C:\\WINNT\\system32\\ORVANA.INI", "s");
    OFSTRUCT found{};
    EXPECT_NE(OpenFile("orvana.ini", &found, OF_EXIST), HFILE_ERROR);
    EXPECT_STREQ(found.szPathName, "C:\\WINNT\\system32\\orvana.ini") << "the system directory comes before Windows'";
    machine->files().write_file("C:\\Setup\\orvana.ini", "c");
    SetCurrentDirectoryA("C:\\Setup");
    EXPECT_NE(OpenFile("ORVANA.INI", &found, OF_EXIST), HFILE_ERROR);
    EXPECT_STREQ(found.szPathName, "C:\\Setup\\ORVANA.INI") << "the current directory comes first";
    EXPECT_EQ(found.fFixedDisk, 1);
    EXPECT_EQ(found.cBytes, sizeof found);
    SetLastError(0);
    EXPECT_EQ(OpenFile("missing.ini", &found, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(found.nErrCode, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenFile("C:\\Missing\\a.ini", &found, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(found.nErrCode, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(machine->open_handles(), 0u) << "OF_EXIST leaves nothing open";
}

}  // namespace
