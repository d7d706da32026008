#include "support/library.h"
#include "support/registry.h"

#include <cstring>

namespace {

using testing_support::dword_bytes;
using testing_support::key_exists;
using testing_support::stored_value;
using testing_support::StoredValue;
using testing_support::store_value;
using testing_support::text_bytes;
using winsim::Platform;

class RegistryValues : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { start(GetParam()); }

    struct Fetched {
        LONG result;
        std::string buffer;
        LONG type;
        LONG needed;
    };
    // Past RegSetValueExA, which ends every text on 95/98 and on NT counts in the
    // terminator that follows it.
    void lay_down_unterminated(const char* name, const char* text) {
        machine->registry().set_value("HKEY_LOCAL_MACHINE\\Software\\Test", name, REG_SZ, text);
    }
    Fetched fetch(const char* path, const char* name, LONG size) {
        std::string buffer(static_cast<std::size_t>(size) + 8, '#');
        LONG type = 0x7777, needed = 0x7777;
        LONG result = insFetchRegistryVal(path, name, reinterpret_cast<LPBYTE>(buffer.data()), &type, size, &needed);
        EXPECT_EQ(buffer.substr(static_cast<std::size_t>(size)), std::string(8, '#')) << "nothing written past the buffer";
        return Fetched{result, buffer.substr(0, static_cast<std::size_t>(size)), type, needed};
    }
};

TEST_P(RegistryValues, RootNamesAndTheirShortForms) {
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Orvana", "A", "one", REG_SZ, -1), 0);
    EXPECT_EQ(insSetRegistryVal("HKEY_CURRENT_USER/Software/Orvana", "B", "two", REG_SZ, -1), 0);
    EXPECT_EQ(insSetRegistryVal("HKU/.probe", "C", "3", REG_DWORD, 0), 0);
    EXPECT_EQ(insSetRegistryVal("HKCR/.orv", "", "Orvana.Document", REG_SZ, -1), 0);
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORVANA", "a"), (StoredValue{REG_SZ, text_bytes("one")}));
    EXPECT_EQ(stored_value(HKEY_CURRENT_USER, "Software\\Orvana", "B"), (StoredValue{REG_SZ, text_bytes("two")}));
    EXPECT_EQ(stored_value(HKEY_USERS, ".probe", "C"), (StoredValue{REG_DWORD, dword_bytes(3)}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Classes\\.orv", ""), (StoredValue{REG_SZ, text_bytes("Orvana.Document")}))
        << "HKCR is HKLM\\Software\\Classes";
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(RegistryValues, ARootInOtherLetterCaseIsNoRoot) {
    EXPECT_EQ(insSetRegistryVal("hklm/Software/Test", "A", "x", REG_SZ, -1), 13);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (traverse_path (registry key creator)): \nerror #13 for value 'hklm'.\n"
              "The data is invalid. \n");
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, "Software\\Test"));
}

TEST_P(RegistryValues, ARootAloneNamesTheRootKey) {
    EXPECT_EQ(insSetRegistryVal("HKCU", "AtTheRoot", "1", REG_DWORD, 0), 0);
    EXPECT_EQ(stored_value(HKEY_CURRENT_USER, nullptr, "AtTheRoot"), (StoredValue{REG_DWORD, dword_bytes(1)}));
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_P(RegistryValues, NumbersCrossAsDecimalTextBothWays) {
    struct Case {
        const char* text;
        DWORD stored;
        const char* read_back;
    } cases[] = {
        {"-1", 0xFFFFFFFF, "-1"},       {" +12abc", 12, "12"},         {"abc", 0, "0"},
        {"\t\n 42", 42, "42"},          {"--5", 0, "0"},               {"2147483647", 0x7FFFFFFF, "2147483647"},
        {"-2147483648", 0x80000000, "-2147483648"}, {"99999999999", 0x7FFFFFFF, "2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(insSetRegistryVal("HKLM/Software/Test", "N", c.text, REG_DWORD, 0), 0);
        EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "N"), (StoredValue{REG_DWORD, dword_bytes(c.stored)}));
        Fetched f = fetch("HKLM/Software/Test", "N", 64);
        EXPECT_EQ(f.result, 0);
        EXPECT_EQ(f.type, REG_DWORD);
        EXPECT_STREQ(f.buffer.c_str(), c.read_back);
        EXPECT_EQ(f.needed, static_cast<LONG>(std::strlen(c.read_back) + 1));
    }
}

TEST_P(RegistryValues, TextsAreWrittenWithTheLengthGiven) {
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "Whole", "abc", REG_SZ, -1), 0);
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Whole"), (StoredValue{REG_SZ, std::string("abc\0", 4)}));
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "Cut", "abcdef", REG_SZ, 3), 0);
    // NT writes exactly the bytes given; 95/98 take a text whole, by its terminator.
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Cut"),
              (StoredValue{REG_SZ, machine->is_nt() ? std::string("abc") : text_bytes("abcdef")}))
        << "an explicit length without the terminator writes that many bytes on NT";
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "Bytes", "\x01\x02\x03", REG_BINARY, 2), 0);
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Bytes"), (StoredValue{REG_BINARY, "\x01\x02"}));
}

TEST_P(RegistryValues, OtherTypesWriteNothing) {
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "Expand", "%windir%", REG_EXPAND_SZ, -1), 0);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "Multi", "a\0b\0", REG_MULTI_SZ, 5), 0);
    EXPECT_FALSE(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Expand"));
    EXPECT_FALSE(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Multi"));
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "Software\\Test")) << "the key is made all the same";
}

TEST_P(RegistryValues, UnsafeInputIsRefusedAndNothingIsDone) {
    LONG type = 0, needed = 0;
    BYTE buffer[8];
    EXPECT_EQ(insSetRegistryVal(nullptr, "A", "x", REG_SZ, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", nullptr, "x", REG_SZ, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "A", nullptr, REG_SZ, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "A", "x", REG_BINARY, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Test", "A", "x", REG_SZ, -2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insFetchRegistryVal("HKLM/Software/Test", "A", buffer, nullptr, 8, &needed), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insFetchRegistryVal("HKLM/Software/Test", "A", buffer, &type, 8, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insFetchRegistryVal("HKLM/Software/Test", "A", nullptr, &type, 8, &needed), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insFetchPrinterVal(nullptr, "A", buffer, &type, 8, &needed), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insSetPrinterVal("Fax", "A", nullptr, REG_SZ, -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, "Software\\Test"));
}

TEST_P(RegistryValues, AMissingValueIsTwoAndItsKeysAreMade) {
    Fetched f = fetch("HKLM/Software/Nowhere/Deeper", "Missing", 16);
    EXPECT_EQ(f.result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(f.type, REG_NONE);
    EXPECT_EQ(f.buffer[0], '\0');
    EXPECT_EQ(f.needed, 0x7777) << "needed size is left alone";
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "Software\\Nowhere\\Deeper")) << "a read creates the keys of its path";
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(RegistryValues, BuffersTooSmallReportTheSizeNeeded) {
    store_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Text", REG_SZ, text_bytes("abcdef"));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Bytes", REG_BINARY, "\x01\x02\x03\x04\x05");
    store_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Number", REG_DWORD, dword_bytes(0xFFFFFFFF));

    Fetched text_fits = fetch("HKLM/Software/Test", "Text", 7);
    EXPECT_EQ(text_fits.result, 0);
    EXPECT_STREQ(text_fits.buffer.c_str(), "abcdef");
    EXPECT_EQ(text_fits.needed, 0x7777) << "a text that fits does not write needed size";
    Fetched text_short = fetch("HKLM/Software/Test", "Text", 6);
    EXPECT_EQ(text_short.result, 0);
    EXPECT_EQ(text_short.buffer[0], '\0');
    EXPECT_EQ(text_short.needed, 7);
    EXPECT_EQ(text_short.type, REG_SZ);

    Fetched bytes_fit = fetch("HKLM/Software/Test", "Bytes", 5);
    EXPECT_EQ(bytes_fit.result, 0);
    EXPECT_EQ(bytes_fit.buffer, "\x01\x02\x03\x04\x05");
    EXPECT_EQ(bytes_fit.needed, 5);
    Fetched bytes_short = fetch("HKLM/Software/Test", "Bytes", 4);
    EXPECT_EQ(bytes_short.result, 0);
    EXPECT_EQ(bytes_short.buffer, std::string("\0###", 4));
    EXPECT_EQ(bytes_short.needed, 5);

    Fetched number_fits = fetch("HKLM/Software/Test", "Number", 3);
    EXPECT_STREQ(number_fits.buffer.c_str(), "-1");
    EXPECT_EQ(number_fits.needed, 3);
    Fetched number_short = fetch("HKLM/Software/Test", "Number", 2);
    EXPECT_EQ(number_short.result, 0);
    EXPECT_EQ(number_short.buffer[0], '\0');
    EXPECT_EQ(number_short.needed, 3);
    Fetched zero_buffer = fetch("HKLM/Software/Test", "Number", 0);
    EXPECT_EQ(zero_buffer.result, 0);
    EXPECT_EQ(zero_buffer.needed, 3) << "a buffer of no bytes is not written at all";
}

// A text stored without its terminator needs a byte more than its stored size: the
// size reported is the one a second call really needs, whatever buffer the first had.
TEST_P(RegistryValues, ATextStoredWithoutTerminatorReportsTheSizeItReallyNeeds) {
    lay_down_unterminated("Bare", "abcde");
    for (LONG size : {0, 3, 5}) {
        SCOPED_TRACE(size);
        Fetched short_buffer = fetch("HKLM/Software/Test", "Bare", size);
        EXPECT_EQ(short_buffer.result, 0);
        EXPECT_EQ(short_buffer.type, REG_SZ);
        EXPECT_EQ(short_buffer.needed, 6) << "five characters and the terminator the caller gets";
        if (size > 0) {
            EXPECT_EQ(short_buffer.buffer[0], '\0');
        }
    }
    Fetched exact = fetch("HKLM/Software/Test", "Bare", 6);
    EXPECT_EQ(exact.result, 0);
    EXPECT_EQ(exact.buffer, std::string("abcde\0", 6));
    EXPECT_EQ(exact.needed, 0x7777) << "a text that fits does not write needed size";
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Bare")->bytes, "abcde") << "reading changes nothing";
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(RegistryValues, WithoutMemoryToMeasureATextTheLargerSizeIsReported) {
    lay_down_unterminated("Bare", "abcde");
    store_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Ended", REG_SZ, text_bytes("abcde"));
    // Both are answered their stored size and one byte: exact for the bare text, one
    // more than needed for the ended one, never too little.
    for (const char* name : {"Bare", "Ended"}) {
        // The first block is the copy of the path the key is opened by.
        machine->faults().fail("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY, 2);
        Fetched f = fetch("HKLM/Software/Test", name, 3);
        EXPECT_EQ(f.result, 0) << name;
        EXPECT_EQ(f.needed, std::string_view(name) == "Bare" ? 6 : 7) << name;
    }
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_P(RegistryValues, AFailedReadOfATextIsRecorded) {
    lay_down_unterminated("Bare", "abcde");
    // The first query asks for the size; the second reads the text to measure it.
    machine->faults().fail("RegQueryValueExA", ERROR_ACCESS_DENIED, 2);
    Fetched f = fetch("HKLM/Software/Test", "Bare", 3);
    EXPECT_EQ(f.result, ERROR_ACCESS_DENIED);
    EXPECT_EQ(f.needed, 0x7777);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (retrieve_data [RegValueQueryEx(REG_SZ)]): \nerror #5 for value 'Bare'.\n"
              "Access is denied. \n");
}

TEST_P(RegistryValues, OtherStoredTypesAreNotRead) {
    store_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Test", "Empty", REG_SZ, "");
    Fetched multi = fetch("HKLM/Software/Test", "Multi", 16);
    EXPECT_EQ(multi.result, 0);
    EXPECT_EQ(multi.type, REG_MULTI_SZ);
    EXPECT_EQ(multi.buffer[0], '\0');
    Fetched empty = fetch("HKLM/Software/Test", "Empty", 16);
    EXPECT_EQ(empty.result, 0);
    EXPECT_EQ(empty.type, REG_SZ);
    EXPECT_EQ(empty.needed, 0x7777);
}

TEST_P(RegistryValues, PrinterValuesLiveUnderThePrintersSettingsKey) {
    EXPECT_EQ(insSetPrinterVal("Orvana Fax", "Intensity", "160", REG_DWORD, 0), 0);
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Orvana Fax\\PrinterDriverData",
                           "Intensity"),
              (StoredValue{REG_DWORD, dword_bytes(160)}));
    Fetched f{};
    std::string buffer(16, '\0');
    LONG type = 0, needed = 0;
    EXPECT_EQ(insFetchPrinterVal("Orvana Fax", "Intensity", reinterpret_cast<LPBYTE>(buffer.data()), &type, 16, &needed), 0);
    EXPECT_STREQ(buffer.c_str(), "160");
    EXPECT_EQ(insFetchPrinterVal("Nobody", "Intensity", reinterpret_cast<LPBYTE>(buffer.data()), &type, 16, &needed), 2);
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Nobody\\PrinterDriverData"))
        << "the settings key of a printer that does not exist is made";
}

TEST_P(RegistryValues, ASlashInAPrinterNameSplitsTheKey) {
    EXPECT_EQ(insSetPrinterVal("Fax/Office", "A", "x", REG_SZ, -1), 0);
    EXPECT_TRUE(stored_value(HKEY_LOCAL_MACHINE,
                             "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Fax\\Office\\PrinterDriverData", "A"));
}

TEST_P(RegistryValues, APrinterNameTooLongForItsPathIsRefused) {
    // The prefix and suffix take 71 characters of the 400.
    std::string fits(328, 'P');
    std::string too_long(329, 'P');
    EXPECT_EQ(insSetPrinterVal(fits.c_str(), "A", "x", REG_SZ, -1), 0);
    EXPECT_EQ(insSetPrinterVal(too_long.c_str(), "A", "x", REG_SZ, -1), ERROR_INVALID_NAME);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (traverse_path (registry key creator)): \nerror #123 for value '" +
                                     too_long + "'.\nThe filename, directory name, or volume label syntax is incorrect. \n");
    std::string buffer(16, '\0');
    LONG type = 0, needed = 0;
    EXPECT_EQ(insFetchPrinterVal(too_long.c_str(), "A", reinterpret_cast<LPBYTE>(buffer.data()), &type, 16, &needed),
              ERROR_INVALID_NAME);
}

INSTANTIATE_TEST_SUITE_P(Platforms, RegistryValues, testing::Values(Platform::win95, Platform::win98, Platform::nt351,
                                                                    Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
