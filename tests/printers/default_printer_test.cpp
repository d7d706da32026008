// The default printer as a setup program reads and sets it, on both families: WIN.INI's
// "Device" entry (the user's registry on NT) and the broadcast that announces it.
#include "support/library.h"

#include "frame/error_state.h"

#include <cstring>
#include <string>

namespace {

using winsim::Platform;

class DefaultPrinter : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override {
        start(GetParam());
        machine->spooler().add_driver("Orvana Print Driver");
        machine->spooler().add_printer("Orvana Fax", "LPT1:", "Orvana Print Driver");
        machine->spooler().add_printer("Other", "FILE:", "Orvana Print Driver");
    }
    bool nine_x() const { return machine->platform_info().family == winsim::Family::win9x; }
    static std::string profile(const char* section, const char* key) {
        char value[1024];
        GetProfileStringA(section, key, "<absent>", value, sizeof value);
        return value;
    }
    static std::string device() { return profile("Windows", "Device"); }
    std::size_t broadcasts() const { return machine->desktop().broadcasts().size(); }
};

TEST_P(DefaultPrinter, NoEntryMeansNoDefaultPrinter) {
    ASSERT_EQ(device(), "<absent>");
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(insGetDefaultPrinter(buffer, sizeof buffer), INS_NO_SUCH_PRINTER);
    EXPECT_STREQ(buffer, ",,");
    // Nor does an empty one.
    WriteProfileStringA("Windows", "Device", "");
    EXPECT_EQ(insGetDefaultPrinter(buffer, sizeof buffer), INS_NO_SUCH_PRINTER);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(DefaultPrinter, TheEntryWrittenIsTheNameWithItsDevicesValue) {
    const std::string listed = profile("Devices", "Orvana Fax");
    ASSERT_NE(listed, "<absent>");
    const std::size_t before = broadcasts();
    EXPECT_EQ(insSetDefaultPrinter("Orvana Fax"), INS_OK);
    EXPECT_EQ(device(), "Orvana Fax," + listed);

    ASSERT_EQ(broadcasts(), before + 1);
    const winsim::Broadcast& sent = machine->desktop().broadcasts().back();
    EXPECT_EQ(sent.message, static_cast<UINT>(WM_WININICHANGE));
    EXPECT_EQ(sent.wparam, 0u);
    // 95/98 name the section, NT names none.
    EXPECT_EQ(sent.section, nine_x() ? std::optional<std::string>("Windows") : std::nullopt);
    EXPECT_EQ(sent.flags, static_cast<UINT>(SMTO_NORMAL));
    EXPECT_EQ(sent.timeout_ms, 1000u);

    char buffer[64];
    EXPECT_EQ(insGetDefaultPrinter(buffer, sizeof buffer), INS_OK);
    EXPECT_EQ(std::string(buffer), "Orvana Fax," + listed);
    // A whole entry comes back unchanged; its driver and port are not the ones used.
    EXPECT_EQ(insSetDefaultPrinter("Other,Some Driver,COM9:"), INS_OK);
    EXPECT_EQ(device(), "Other," + profile("Devices", "Other"));
    EXPECT_EQ(insSetDefaultPrinter(buffer), INS_OK);
    EXPECT_EQ(device(), "Orvana Fax," + listed);
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(DefaultPrinter, APrinterNotListedChangesNothing) {
    ASSERT_EQ(insSetDefaultPrinter("Orvana Fax"), INS_OK);
    const std::string before = device();
    const std::size_t sent = broadcasts();
    for (const char* printer : {"Nobody", "", ",Orvana Fax"}) {
        SCOPED_TRACE(printer);
        EXPECT_EQ(insSetDefaultPrinter(printer), INS_NO_SUCH_PRINTER);
        EXPECT_EQ(take_error_text(), "Printer installer WARNING: Cannot set default printer (no such printer)\n");
    }
    // A "Devices" entry without a driver and port lists nothing to make an entry of.
    WriteProfileStringA("Devices", "Hollow", "");
    EXPECT_EQ(insSetDefaultPrinter("Hollow"), INS_NO_SUCH_PRINTER);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING: Cannot set default printer (no such printer)\n");
    EXPECT_EQ(device(), before);
    EXPECT_EQ(broadcasts(), sent);
}

// A "Devices" value longer than any fixed buffer still names the printer's own port.
TEST_P(DefaultPrinter, LongNamesAndValuesAreTakenWhole) {
    const std::string value = "ORVDRV," + std::string(300, 'p') + ":";
    WriteProfileStringA("Devices", "Orvana Fax", value.c_str());
    EXPECT_EQ(insSetDefaultPrinter("Orvana Fax"), INS_OK);
    EXPECT_EQ(device(), "Orvana Fax," + value);

    // A name too long for the working buffer is refused rather than cut to another's.
    const std::string long_name(MAX_PATH, 'n');
    const std::size_t sent = broadcasts();
    EXPECT_EQ(insSetDefaultPrinter((long_name + ",ORVDRV,LPT1:").c_str()), ERROR_INVALID_NAME);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (retriveing port/driver name): \nerror #123 for value '" +
                                     long_name + ",ORVDRV,LPT1:'.\nThe filename, directory name, or volume label "
                                     "syntax is incorrect. \n");
    EXPECT_EQ(device(), "Orvana Fax," + value);
    EXPECT_EQ(broadcasts(), sent);
    // One character less fits; "Devices" does not list it.
    EXPECT_EQ(insSetDefaultPrinter(long_name.substr(1).c_str()), INS_NO_SUCH_PRINTER);
}

TEST_P(DefaultPrinter, ASmallBufferGetsTheEntryCut) {
    ASSERT_EQ(insSetDefaultPrinter("Orvana Fax"), INS_OK);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(insGetDefaultPrinter(buffer, 5), INS_OK);
    EXPECT_STREQ(buffer, "Orva");
    EXPECT_EQ(buffer[5], '#') << "nothing written past the size given";
    EXPECT_EQ(insGetDefaultPrinter(buffer, 3), INS_OK);
    EXPECT_STREQ(buffer, "Or");

    // Fewer than 3 characters could not tell ",," from a printer's name.
    std::memset(buffer, '#', sizeof buffer);
    for (DWORD size : {2u, 0u}) {
        EXPECT_EQ(insGetDefaultPrinter(buffer, size), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(take_error_text(), "Printer installer WARNING (retrieving default printer name): \nerror #122.\n"
                                     "The data area passed to a system call is too small. \n");
    }
    EXPECT_EQ(buffer[0], '#');
}

TEST_P(DefaultPrinter, NullPointersAndTheErrorFlag) {
    EXPECT_EQ(insGetDefaultPrinter(nullptr, 10), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insSetDefaultPrinter(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(take_error_text(), "") << "a null pointer is answered, not recorded";
    error_flag = 1;
    char buffer[64] = "x";
    EXPECT_EQ(insGetDefaultPrinter(buffer, sizeof buffer), INS_ERROR_FLAG_SET);
    EXPECT_STREQ(buffer, "x");
    EXPECT_EQ(insSetDefaultPrinter("Orvana Fax"), INS_OK) << "setting the default does not look at the flag";
}

TEST_P(DefaultPrinter, UnreadableEntriesAreRecorded) {
    ASSERT_EQ(insSetDefaultPrinter("Orvana Fax"), INS_OK);
    const std::string before = device();
    const std::size_t sent = broadcasts();
    char buffer[64] = "x";
    machine->faults().fail("GetProfileStringA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insGetDefaultPrinter(buffer, sizeof buffer), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (retrieving default printer name): \nerror #5.\n"
                                 "Access is denied. \n");
    machine->faults().fail("GetProfileStringA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insSetDefaultPrinter("Other"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (retriveing port/driver name): \nerror #5 for value "
                                 "'Other'.\nAccess is denied. \n");
    // A value that needs a block of its own, and none to be had.
    WriteProfileStringA("Devices", "Other", ("ORVDRV," + std::string(300, 'p')).c_str());
    machine->faults().fail("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(insSetDefaultPrinter("Other"), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(take_error_text().find("(retriveing port/driver name): \nerror #8 for value 'Other'"), std::string::npos);
    EXPECT_EQ(device(), before);
    EXPECT_EQ(broadcasts(), sent);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, DefaultPrinter,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4,
                                         Platform::win2000),
                         [](const testing::TestParamInfo<Platform>& tested) {
                             return std::string(winsim::platform_info(tested.param).name);
                         });

}  // namespace
