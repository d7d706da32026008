#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

const Platform all_platforms[] = {Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000};
const Platform nt_platforms[] = {Platform::nt351, Platform::nt4, Platform::win2000};
const Platform win9x_platforms[] = {Platform::win95, Platform::win98};

std::string name_of(const testing::TestParamInfo<Platform>& info) {
    return std::string(winsim::platform_info(info.param).name);
}

constexpr const char* ini = "C:\\ORV\\test.ini";
// The layout of Wine's profile tests: a quoted value, a line without "=", a short value.
constexpr const char* contents = "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";
constexpr const char* user_key = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";

class Profile : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = Machine::create(GetParam());
        machine->files().write_file(ini, contents);
    }
    std::string windows() const { return winsim::platform_info(GetParam()).windows_directory.data(); }
    // The answer and the buffer, its terminators included, for a buffer of `size`.
    std::pair<DWORD, std::string> read(LPCSTR section, LPCSTR key, LPCSTR fallback, DWORD size, LPCSTR file = ini) {
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        DWORD count = GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
        return {count, std::string(buffer, size)};
    }
    std::string value(LPCSTR section, LPCSTR key, LPCSTR file = ini) {
        char buffer[256] = "#";
        GetPrivateProfileStringA(section, key, "(none)", buffer, sizeof buffer, file);
        return buffer;
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(Profile, NamesAreFoundWithoutRegardToCaseAndQuotesComeOff) {
    EXPECT_EQ(value("SECTION1", "NaMe1"), "val1");
    EXPECT_EQ(value("section1", "name2"), "val2");
    EXPECT_EQ(value("section1", "name3"), "(none)") << "a line without = is no key";
    machine->files().write_file(ini, "[s]\rk=v\r");
    EXPECT_EQ(value("s", "k"), "v") << "a lone CR ends a line";
}

TEST_P(Profile, TheDefaultAnswersWhatIsMissingWithoutItsTrailingBlanks) {
    EXPECT_EQ(read("section1", "notakey", "default  ", 32), std::make_pair(DWORD(7), std::string("default\0", 8) + std::string(24, '#')));
    EXPECT_EQ(read("notasection", "name1", "one two", 8).first, 7u);
    EXPECT_EQ(read("", "name1", "default", 8).first, 7u) << "an empty section is none";
    EXPECT_EQ(read("section1", "", "default", 8).first, 7u) << "an empty key is none";
    EXPECT_EQ(read("section1", "notakey", nullptr, 4), std::make_pair(DWORD(0), std::string("\0###", 4)));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(read("section1", "name1", "default", 8, "C:\\ORV\\missing.ini").first, 7u);
    // The documentation of GetPrivateProfileStringA: a missing file leaves ERROR_FILE_NOT_FOUND.
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_P(Profile, AValueIsCutToTheBufferLessOne) {
    EXPECT_EQ(read("section1", "name1", "x", 0), std::make_pair(DWORD(0), std::string()));
    EXPECT_EQ(read("section1", "name1", "x", 4), std::make_pair(DWORD(3), std::string("val\0", 4)));
    EXPECT_EQ(read("section1", "name1", "x", 5), std::make_pair(DWORD(4), std::string("val1\0", 5)));
    EXPECT_EQ(read("section1", "name4", "x", 1), std::make_pair(DWORD(0), std::string("\0", 1)));
}

TEST_P(Profile, ListsEndInTwoTerminatorsAndAreCutToTheBufferLessTwo) {
    // Wine's profile tests: the whole list, then cut in its last name.
    EXPECT_EQ(read(nullptr, "name1", "x", 20), std::make_pair(DWORD(18), std::string("section1\0section2\0\0#", 20)));
    EXPECT_EQ(read(nullptr, nullptr, "x", 16), std::make_pair(DWORD(14), std::string("section1\0secti\0#", 16)));
    EXPECT_EQ(read("SECTION1", nullptr, "x", 20), std::make_pair(DWORD(18), std::string("name1\0name2\0name4\0\0#", 20)));
    EXPECT_EQ(read("section1", nullptr, "x", 16), std::make_pair(DWORD(14), std::string("name1\0name2\0na\0#", 16)));
    EXPECT_EQ(read("section1", nullptr, "x", 19), std::make_pair(DWORD(17), std::string("name1\0name2\0name4\0#", 19)))
        << "one terminator over is still too little (the lane)";
    // The lane: no keys to list answers the default.
    EXPECT_EQ(read("section2", nullptr, "default", 4), std::make_pair(DWORD(3), std::string("def\0", 4)));
    EXPECT_EQ(read("nosuch", nullptr, "default", 8).first, 7u);
}

TEST_P(Profile, WritingMakesTheFileAndSectionAndKeepsTheKeysSpelling) {
    const char* made = "C:\\ORV\\made.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("Printer", "Owner", "Ann", made));
    ASSERT_TRUE(WritePrivateProfileStringA("printer", "Debug", "1", made));
    ASSERT_TRUE(WritePrivateProfileStringA("PRINTER", "OWNER", "Bob", made));
    EXPECT_EQ(machine->files().read_file(made), "[Printer]\r\nOwner=Bob\r\nDebug=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "k", "v", made));
    // The lane: no blank line between sections.
    EXPECT_EQ(machine->files().read_file(made), "[Printer]\r\nOwner=Bob\r\nDebug=1\r\n[Other]\r\nk=v\r\n");
}

TEST_P(Profile, ANullValueDeletesTheKeyAndANullKeyTheSection) {
    ASSERT_TRUE(WritePrivateProfileStringA("section1", "NAME1", nullptr, ini));
    EXPECT_EQ(value("section1", "name1"), "(none)");
    EXPECT_EQ(value("section1", "name4"), "a");
    ASSERT_TRUE(WritePrivateProfileStringA("SECTION1", nullptr, nullptr, ini));
    EXPECT_EQ(machine->files().read_file(ini), "[section2]\r\n");
    const char* missing = "C:\\ORV\\never.ini";
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, missing));
    EXPECT_TRUE(WritePrivateProfileStringA("s", nullptr, nullptr, missing));
    EXPECT_FALSE(machine->files().exists(missing)) << "deleting from no file makes none";
}

TEST_P(Profile, WritesThatCannotBeDone) {
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini)) << "a flush answers FALSE";
    SetLastError(0xDEADBEEF);
    // Wine answers a missing section so; Windows' code is unconfirmed.
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", ini));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\NOWHERE\\x.ini"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    // Wine's profile tests: a file held open for writing without sharing refuses the write.
    HANDLE held = CreateFileA(ini, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", ini));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_EQ(machine->files().read_file(ini), contents);
}

TEST_P(Profile, ANameWithoutAPathLiesInTheWindowsDirectory) {
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", "orvfxb.ini"));
    EXPECT_EQ(machine->files().read_file(windows() + "\\orvfxb.ini"), "[s]\r\nk=v\r\n");
    machine->files().set_current_directory("C:\\ORV");
    EXPECT_EQ(value("section1", "name1", "test.ini"), "(none)") << "not the current directory";
    EXPECT_EQ(value("section1", "name1", ".\\test.ini"), "val1");
}

TEST_P(Profile, NumbersWrapAtThirtyTwoBitsAndStopAtTheFirstOtherCharacter) {
    // Wine's profile tests, the NT column where 95/98 differ (unconfirmed for 95/98 here).
    const std::pair<const char*, UINT> cases[] = {{"-1", 0xFFFFFFFFu}, {"+1", 1},     {"4294967296", 0},
                                                  {"4294967297", 1},   {"-4294967297", 0xFFFFFFFFu},
                                                  {"42A94967297", 42}, {"B4294967297", 0}, {" 17 ", 17}};
    for (const auto& [text, number] : cases) {
        ASSERT_TRUE(WritePrivateProfileStringA("Test", "ProfileInt", text, ini));
        EXPECT_EQ(GetPrivateProfileIntA("Test", "ProfileInt", 5, ini), number) << text;
    }
    EXPECT_EQ(GetPrivateProfileIntA("Test", "missing", -1, ini), 0xFFFFFFFFu);
    EXPECT_EQ(GetPrivateProfileIntA(nullptr, "ProfileInt", 3, ini), 3u);
    EXPECT_EQ(GetPrivateProfileIntA("Test", nullptr, 3, ini), 3u);
    ASSERT_TRUE(WritePrivateProfileStringA("Test", "ProfileInt", "", ini));
    EXPECT_EQ(GetPrivateProfileIntA("Test", "ProfileInt", 9, ini), 9u) << "an empty value";
}

INSTANTIATE_TEST_SUITE_P(EveryPlatform, Profile, testing::ValuesIn(all_platforms), name_of);

// WIN.INI: what every platform keeps in the file, and NT's sections in the registry.
class WinIni : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override { machine = Machine::create(GetParam()); }
    std::string win_ini() const { return std::string(winsim::platform_info(GetParam()).windows_directory) + "\\WIN.INI"; }
    std::unique_ptr<Machine> machine;
};

TEST_P(WinIni, OtherSectionsAreInTheFile) {
    ASSERT_TRUE(WriteProfileStringA("OrvTest", "Key", "Value"));
    EXPECT_EQ(machine->files().read_file(win_ini()), "[OrvTest]\r\nKey=Value\r\n");
    char buffer[16];
    EXPECT_EQ(GetProfileStringA("orvtest", "KEY", "", buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "Value");
    EXPECT_EQ(GetPrivateProfileStringA("OrvTest", "Key", "", buffer, sizeof buffer, "win.ini"), 5u) << "the same file";
    ASSERT_TRUE(WriteProfileStringA("OrvTest", "Number", "12"));
    EXPECT_EQ(GetProfileIntA("OrvTest", "Number", 0), 12u);
}

INSTANTIATE_TEST_SUITE_P(EveryPlatform, WinIni, testing::ValuesIn(all_platforms), name_of);

class NtWinIni : public WinIni {};

TEST_P(NtWinIni, TheMappedSectionsLiveInTheUsersRegistry) {
    for (const char* section : {"windows", "Devices", "PRINTERPORTS"}) {
        ASSERT_TRUE(WriteProfileStringA(section, "OrvKey", "OrvValue")) << section;
    }
    EXPECT_FALSE(machine->files().exists(win_ini()));
    for (const char* key : {"Windows", "Devices", "PrinterPorts"}) {
        std::optional<winsim::RegistryValue> value = machine->registry().value(std::string(user_key) + key, "OrvKey");
        ASSERT_TRUE(value) << key;
        EXPECT_EQ(value->type, DWORD(REG_SZ));
        EXPECT_EQ(value->bytes, std::string("OrvValue\0", 9));
    }
    ASSERT_TRUE(WriteProfileStringA("devices", "OrvKey", nullptr));
    EXPECT_FALSE(machine->registry().value(std::string(user_key) + "Devices", "OrvKey"));
    ASSERT_TRUE(WriteProfileStringA("Windows", nullptr, nullptr));
    EXPECT_FALSE(machine->registry().key_exists(std::string(user_key) + "Windows"));
}

TEST_P(NtWinIni, TheFilesOwnMappedSectionsAreNotRead) {
    machine->files().write_file(win_ini(), "[Devices]\r\nStale=HPPCL,LPT1:\r\n[Other]\r\nk=v\r\n");
    machine->registry().set_string(std::string(user_key) + "Devices", "Fresh", "winspool,Ne00:");
    char buffer[64];
    EXPECT_EQ(GetProfileStringA("Devices", "Stale", "", buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetProfileStringA("Devices", nullptr, "", buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 7), std::string("Fresh\0", 7));
    // A new machine has sections of its own in the registry: only these two are looked at.
    char sections[256];
    DWORD count = GetProfileStringA(nullptr, nullptr, "", sections, sizeof sections);
    int others = 0, devices = 0;
    for (const char* name = sections; name < sections + count; name += std::strlen(name) + 1) {
        others += std::strcmp(name, "Other") == 0;
        devices += std::strcmp(name, "Devices") == 0;
    }
    EXPECT_EQ(others, 1);
    EXPECT_EQ(devices, 1) << "the file's own Devices section is not listed beside the registry's";
}

INSTANTIATE_TEST_SUITE_P(Nt, NtWinIni, testing::ValuesIn(nt_platforms), name_of);

class Win9xWinIni : public WinIni {};

TEST_P(Win9xWinIni, EverySectionIsInTheFile) {
    ASSERT_TRUE(WriteProfileStringA("Devices", "OrvKey", "ORVDRV,LPT1:"));
    EXPECT_EQ(machine->files().read_file(win_ini()), "[Devices]\r\nOrvKey=ORVDRV,LPT1:\r\n");
    EXPECT_FALSE(machine->registry().key_exists(std::string(user_key) + "Devices"));
}

INSTANTIATE_TEST_SUITE_P(Win9x, Win9xWinIni, testing::ValuesIn(win9x_platforms), name_of);

// The spooler's entries of its printers, as each platform keeps them.
struct Entries {
    Platform platform;
    const char* first_device;   // "Devices" of the first printer
    const char* second_device;  // of the second, on another port
};

void PrintTo(const Entries& entries, std::ostream* out) { *out << winsim::platform_info(entries.platform).name; }

// 95/98 name the driver module and port; NT gives each printer a winspool port of its own.
const Entries entries[] = {
    {Platform::win95, "ORVDRV,LPT1:", "ORVDRV,FILE:"},  {Platform::win98, "ORVDRV,LPT1:", "ORVDRV,FILE:"},
    {Platform::nt351, "winspool,Ne00:", "winspool,Ne01:"}, {Platform::nt4, "winspool,Ne00:", "winspool,Ne01:"},
    {Platform::win2000, "winspool,Ne00:", "winspool,Ne01:"},
};

class PrinterEntries : public testing::TestWithParam<Entries> {
protected:
    void SetUp() override {
        machine = Machine::create(GetParam().platform);
        machine->spooler().add_driver("Orv Driver", "ORVDRV.DLL");
    }
    std::string entry(const char* section, const char* printer) {
        char buffer[64] = "#";
        GetProfileStringA(section, printer, "(none)", buffer, sizeof buffer);
        return buffer;
    }
    void delete_printer(const char* name) {
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>(name), &printer, &defaults));
        ASSERT_TRUE(DeletePrinter(printer));
        ASSERT_TRUE(ClosePrinter(printer));
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(PrinterEntries, AddingWritesThemAndTheGoingPrinterTakesItsOwn) {
    machine->spooler().add_printer("Orv Fax", "LPT1:", "Orv Driver");
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<LPSTR>("Orv Image");
    info.pPortName = const_cast<LPSTR>("FILE:");
    info.pDriverName = const_cast<LPSTR>("Orv Driver");
    info.pPrintProcessor = const_cast<LPSTR>("WinPrint");
    info.pDatatype = const_cast<LPSTR>("RAW");
    HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(added, nullptr);
    ClosePrinter(added);
    EXPECT_EQ(entry("Devices", "Orv Fax"), GetParam().first_device);
    EXPECT_EQ(entry("PrinterPorts", "Orv Fax"), std::string(GetParam().first_device) + ",15,45");
    EXPECT_EQ(entry("devices", "ORV IMAGE"), GetParam().second_device);
    EXPECT_EQ(entry("PrinterPorts", "Orv Image"), std::string(GetParam().second_device) + ",15,45");

    delete_printer("Orv Fax");
    EXPECT_EQ(entry("Devices", "Orv Fax"), "(none)");
    EXPECT_EQ(entry("PrinterPorts", "Orv Fax"), "(none)");
    EXPECT_EQ(entry("Devices", "Orv Image"), GetParam().second_device) << "the other printer keeps its entry";
    machine->spooler().add_printer("Orv Fax", "LPT1:", "Orv Driver");
    EXPECT_EQ(entry("Devices", "Orv Fax"), GetParam().first_device) << "a freed port is given again";
}

TEST_P(PrinterEntries, APrinterWaitingForItsJobsKeepsThemUntilItGoes) {
    machine->spooler().add_printer("Orv Fax", "LPT1:", "Orv Driver");
    DWORD job = machine->spooler().queue_job("Orv Fax");
    delete_printer("Orv Fax");
    ASSERT_TRUE(machine->spooler().has_printer("Orv Fax"));
    EXPECT_EQ(entry("Devices", "Orv Fax"), GetParam().first_device);
    machine->spooler().finish_job("Orv Fax", job);
    ASSERT_FALSE(machine->spooler().has_printer("Orv Fax"));
    EXPECT_EQ(entry("Devices", "Orv Fax"), "(none)");
}

INSTANTIATE_TEST_SUITE_P(EveryPlatform, PrinterEntries, testing::ValuesIn(entries));

}  // namespace
