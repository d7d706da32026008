#include "../gdi/printer_layout.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using winsim::Platform;
using winsim_test::devmode_of;
using winsim_test::printer_record;

constexpr std::size_t intensity_offset = 206;

struct PrinterDevmodes : testing::TestWithParam<Platform> {
    void SetUp() override {
        machine = winsim_test::machine_with_printers(GetParam());
        DeleteDC(CreateDCA(nullptr, winsim_test::product_printer, nullptr, nullptr));
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        EXPECT_TRUE(OpenPrinterA(const_cast<char*>(winsim_test::product_printer), &printer, &defaults));
    }
    void TearDown() override { ClosePrinter(printer); }
    std::unique_ptr<winsim::Machine> machine;
    HANDLE printer = nullptr;
};

INSTANTIATE_TEST_SUITE_P(All, PrinterDevmodes,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(PrinterDevmodes, LevelTwoSizingBoundaryHoldsTheWholeDevmode) {
    DWORD needed = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterA(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(needed, sizeof(PRINTER_INFO_2A));

    // One byte short fails and tells the same size again.
    std::vector<BYTE> buffer(needed + 16, 0xDE);
    DWORD again = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetPrinterA(printer, 2, buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);

    ASSERT_TRUE(GetPrinterA(printer, 2, buffer.data(), needed, &again));
    for (std::size_t i = needed; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xDE) << "written past the size asked for at " << i;
    const DEVMODEA* mode = devmode_of(buffer);
    ASSERT_NE(mode, nullptr);
    const BYTE* start = reinterpret_cast<const BYTE*>(mode);
    EXPECT_GE(start, buffer.data() + sizeof(PRINTER_INFO_2A));
    EXPECT_LE(start + mode->dmSize + mode->dmDriverExtra, buffer.data() + needed) << "the private part lies inside the answer";
}

TEST_P(PrinterDevmodes, TheIntensityByteSurvivesSetAndGet) {
    std::vector<BYTE> record = printer_record(winsim_test::product_printer);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(record.data());
    reinterpret_cast<BYTE*>(info->pDevMode)[intensity_offset] = 200;
    info->pDevMode->dmPaperSize = DMPAPER_A4;
    ASSERT_TRUE(SetPrinterA(printer, 2, record.data(), 0));
    const std::vector<BYTE> after = printer_record(winsim_test::product_printer);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(devmode_of(after))[intensity_offset], 200);
    EXPECT_EQ(devmode_of(after)->dmPaperSize, DMPAPER_A4);

    // Without a DEVMODE the printer keeps the one it has.
    std::vector<BYTE> bare = after;
    reinterpret_cast<PRINTER_INFO_2A*>(bare.data())->pDevMode = nullptr;
    ASSERT_TRUE(SetPrinterA(printer, 2, bare.data(), 0));
    EXPECT_EQ(reinterpret_cast<const BYTE*>(devmode_of(printer_record(winsim_test::product_printer)))[intensity_offset], 200);
}

// A DEVMODE of another version keeps the driver's version, sizes and private part and
// takes the public settings both versions have (unconfirmed: the driver converts it).
TEST_P(PrinterDevmodes, ADevmodeOfAnotherSizeIsTakenInTheDriversOwn) {
    std::vector<BYTE> record = printer_record(winsim_test::product_printer);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(record.data());
    reinterpret_cast<BYTE*>(info->pDevMode)[intensity_offset] = 201;
    ASSERT_TRUE(SetPrinterA(printer, 2, record.data(), 0));

    const WORD own_size = winsim_test::public_devmode(GetParam()).second;
    DEVMODEA other{};
    std::strcpy(reinterpret_cast<char*>(other.dmDeviceName), winsim_test::product_printer);
    other.dmSpecVersion = 0x0320;
    other.dmSize = own_size == 124 ? 148 : 124;
    other.dmFields = DM_ORIENTATION;
    other.dmOrientation = DMORIENT_LANDSCAPE;
    info = reinterpret_cast<PRINTER_INFO_2A*>(record.data());
    info->pDevMode = &other;
    ASSERT_TRUE(SetPrinterA(printer, 2, record.data(), 0));

    const std::vector<BYTE> after = printer_record(winsim_test::product_printer);
    const DEVMODEA* kept = devmode_of(after);
    EXPECT_EQ(kept->dmSize, own_size);
    EXPECT_EQ(kept->dmSpecVersion, winsim_test::public_devmode(GetParam()).first);
    EXPECT_EQ(kept->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(kept)[intensity_offset], 201) << "a private part of another size is not taken";

    // Shorter than any public part: refused, nothing changed.
    other.dmSize = 100;
    other.dmOrientation = DMORIENT_PORTRAIT;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetPrinterA(printer, 2, record.data(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));  // unconfirmed
    EXPECT_EQ(devmode_of(printer_record(winsim_test::product_printer))->dmOrientation, DMORIENT_LANDSCAPE);
}

// AddPrinterA of the product's driver: no DEVMODE until the first device context
// unless the caller gives one, which the driver takes in its own form.
TEST_P(PrinterDevmodes, AddedPrintersOfTheProductsDriver) {
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>("Orvana Docket");
    info.pPortName = const_cast<char*>("LPT1:");
    info.pDriverName = const_cast<char*>("Orvana Print Driver");
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(added, nullptr);
    ClosePrinter(added);
    EXPECT_EQ(devmode_of(printer_record("Orvana Docket")), nullptr);

    DEVMODEA given{};
    given.dmSize = 124;
    given.dmFields = DM_PAPERSIZE;
    given.dmPaperSize = DMPAPER_A4;
    info.pPrinterName = const_cast<char*>("Orvana Docket 2");
    info.pDevMode = &given;
    added = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(added, nullptr);
    ClosePrinter(added);
    const std::vector<BYTE> record = printer_record("Orvana Docket 2");
    const DEVMODEA* kept = devmode_of(record);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->dmSize, winsim_test::public_devmode(GetParam()).second);
    EXPECT_GT(kept->dmSize + kept->dmDriverExtra, 206);
    EXPECT_EQ(kept->dmPaperSize, DMPAPER_A4);
}

TEST_P(PrinterDevmodes, AnotherMakersDriverKeepsTheCallersBytes) {
    HANDLE other_printer = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>(winsim_test::other_printer), &other_printer, &defaults));
    std::vector<BYTE> record = printer_record(winsim_test::other_printer);
    const DEVMODEA* held = devmode_of(record);
    std::vector<BYTE> given(held->dmSize + 8u, 0);
    std::memcpy(given.data(), held, held->dmSize);
    auto* mode = reinterpret_cast<DEVMODEA*>(given.data());
    mode->dmDriverExtra = 8;
    given.back() = 0x5A;
    reinterpret_cast<PRINTER_INFO_2A*>(record.data())->pDevMode = mode;
    ASSERT_TRUE(SetPrinterA(other_printer, 2, record.data(), 0));
    ClosePrinter(other_printer);
    const std::vector<BYTE> after = printer_record(winsim_test::other_printer);
    const DEVMODEA* kept = devmode_of(after);
    EXPECT_EQ(kept->dmDriverExtra, 8);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(kept)[kept->dmSize + 7], 0x5A);
}

}  // namespace
