#include "printer_layout.h"

#include <gtest/gtest.h>

namespace {

using winsim::Platform;
using winsim_test::devmode_of;
using winsim_test::printer_record;

// The driver name the library passes: none on 95/98, the spooler's on NT.
const char* driver_for(const winsim::Machine& machine) { return machine.is_nt() ? "WINSPOOL" : nullptr; }

struct DeviceContexts : testing::TestWithParam<Platform> {
    void SetUp() override { machine = winsim_test::machine_with_printers(GetParam()); }
    std::unique_ptr<winsim::Machine> machine;
};

INSTANTIATE_TEST_SUITE_P(All, DeviceContexts,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(DeviceContexts, TheFirstContextMakesTheProductsDevmode) {
    ASSERT_EQ(devmode_of(printer_record(winsim_test::product_printer)), nullptr) << "no DEVMODE before the first context";
    const std::size_t handles = machine->open_handles();
    HDC context = CreateDCA(driver_for(*machine), winsim_test::product_printer, nullptr, nullptr);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(machine->open_handles(), handles + 1) << "a context is a handle of the process";

    const std::vector<BYTE> record = printer_record(winsim_test::product_printer);
    const DEVMODEA* mode = devmode_of(record);
    ASSERT_NE(mode, nullptr);
    const auto [version, size] = winsim_test::public_devmode(GetParam());
    EXPECT_EQ(mode->dmSpecVersion, version);
    EXPECT_EQ(mode->dmSize, size);
    EXPECT_GT(mode->dmSize + mode->dmDriverExtra, 206) << "the intensity byte lies inside the private part";
    EXPECT_STREQ(reinterpret_cast<const char*>(mode->dmDeviceName), winsim_test::product_printer);

    EXPECT_TRUE(DeleteDC(context));
    EXPECT_EQ(machine->open_handles(), handles);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteDC(context)) << "a context is deleted once";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_P(DeviceContexts, AnotherMakersPrinterKeepsItsPublicDevmode) {
    const std::vector<BYTE> before = printer_record(winsim_test::other_printer);
    const DEVMODEA* mode = devmode_of(before);
    ASSERT_NE(mode, nullptr) << "its driver made one when the printer was added";
    EXPECT_EQ(mode->dmDriverExtra, 0);
    const std::string bytes(reinterpret_cast<const char*>(mode), mode->dmSize);
    HDC context = CreateDCA(driver_for(*machine), winsim_test::other_printer, nullptr, nullptr);
    ASSERT_NE(context, nullptr);
    DeleteDC(context);
    const std::vector<BYTE> after = printer_record(winsim_test::other_printer);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(devmode_of(after)), devmode_of(after)->dmSize), bytes);
}

TEST_P(DeviceContexts, ContextsOfWhatCannotPrintFail) {
    const std::size_t handles = machine->open_handles();
    auto expect_failure = [&](const char* printer, DWORD code, const char* why) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateDCA(driver_for(*machine), printer, nullptr, nullptr), nullptr) << why;
        EXPECT_EQ(GetLastError(), code) << why;
    };
    // 1801 as opening an unknown printer gives; 126 as loading a missing module gives
    // (both unconfirmed for a device context).
    expect_failure("No Such Printer", ERROR_INVALID_PRINTER_NAME, "an unknown printer");
    expect_failure(nullptr, ERROR_INVALID_PARAMETER, "no device");
    machine->files().remove(winsim_test::driver_directory() + "\\ORVDRV.DLL");
    expect_failure(winsim_test::product_printer, ERROR_MOD_NOT_FOUND, "a driver whose file is gone");
    EXPECT_EQ(devmode_of(printer_record(winsim_test::product_printer)), nullptr) << "a failed context makes no DEVMODE";
    EXPECT_EQ(machine->open_handles(), handles);
}

TEST(DeviceContexts, NtLoadsTheDriverFromItsVersionDirectoryAndNeedsTheSpooler) {
    auto machine = winsim_test::machine_with_printers(Platform::win2000);
    const std::string directory = winsim_test::driver_directory();
    machine->files().remove(directory + "\\ORVDRV.DLL");
    machine->files().write_file(directory + "\\3\\ORVDRV.DLL", "MZ");
    HDC context = CreateDCA("WINSPOOL", winsim_test::product_printer, nullptr, nullptr);
    EXPECT_NE(context, nullptr);
    DeleteDC(context);
    machine->services().set_stopped("Spooler");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateDCA("WINSPOOL", winsim_test::product_printer, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
