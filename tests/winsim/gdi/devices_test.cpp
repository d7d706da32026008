#include "printing_fixture.h"

#include <cstring>
#include <filesystem>
#include <winsim/description.h>

namespace {

using winsim::Platform;
using winsim_test::product_driver;
using winsim_test::product_printer;

// The product printer's DEVMODE, changed and stored as a program's SetPrinterA would.
void set_devmode(void (*change)(DEVMODEA&)) {
    DeleteDC(CreateDCA(nullptr, product_printer, nullptr, nullptr));  // the driver makes its DEVMODE
    HANDLE handle = nullptr;
    PRINTER_DEFAULTSA access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>(product_printer), &handle, &access));
    std::vector<BYTE> record = winsim_test::printer_record(product_printer);
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(record.data());
    ASSERT_NE(info->pDevMode, nullptr);
    change(*info->pDevMode);
    EXPECT_TRUE(SetPrinterA(handle, 2, record.data(), 0));
    ClosePrinter(handle);
}

struct Devices : testing::TestWithParam<Platform> {
    void SetUp() override { machine = winsim_test::machine_with_printers(GetParam()); }
    HDC printer_context() {
        HDC context = CreateDCA(nullptr, product_printer, nullptr, nullptr);
        EXPECT_NE(context, nullptr);
        return context;
    }
    std::unique_ptr<winsim::Machine> machine;
};

INSTANTIATE_TEST_SUITE_P(All, Devices,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(Devices, ALetterPageAtTheDefaultDevice) {
    HDC context = printer_context();
    EXPECT_EQ(GetDeviceCaps(context, LOGPIXELSX), 300);
    EXPECT_EQ(GetDeviceCaps(context, LOGPIXELSY), 300);
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALWIDTH), 2550) << "8.5 inches";
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALHEIGHT), 3300) << "11 inches";
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALOFFSETX), 75);
    EXPECT_EQ(GetDeviceCaps(context, HORZRES), 2550 - 2 * 75);
    EXPECT_EQ(GetDeviceCaps(context, VERTRES), 3300 - 2 * 75);
    EXPECT_EQ(GetDeviceCaps(context, TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(GetDeviceCaps(context, RASTERCAPS) & RC_BITBLT, RC_BITBLT);
    RECT box{-1, -1, -1, -1};
    EXPECT_EQ(GetClipBox(context, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 2400);
    EXPECT_EQ(box.bottom, 3150);
    EXPECT_TRUE(DeleteDC(context));
}

TEST_P(Devices, PaperAndResolutionComeFromTheDevmodeAndTheDevice) {
    set_devmode([](DEVMODEA& mode) {
        mode.dmPaperSize = DMPAPER_A4;
        mode.dmPrintQuality = 600;
    });
    HDC context = printer_context();
    EXPECT_EQ(GetDeviceCaps(context, LOGPIXELSX), 600);
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALWIDTH), 4961) << "210 mm at 600 dpi";
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALHEIGHT), 7016) << "297 mm";
    DeleteDC(context);

    set_devmode([](DEVMODEA& mode) {
        mode.dmPrintQuality = -4;  // DMRES_HIGH: a level, not dots
        mode.dmOrientation = DMORIENT_LANDSCAPE;
        mode.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
        mode.dmPaperWidth = 1000;   // 100 mm
        mode.dmPaperLength = 2000;  // 200 mm
    });
    winsim::DeviceProperties device;
    device.resolution = 200;
    device.margin = 0;
    device.bit_block_transfers = false;
    machine->graphics().set_device(product_driver, device);
    context = printer_context();
    EXPECT_EQ(GetDeviceCaps(context, LOGPIXELSX), 200) << "the device's resolution stands in for a level";
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALWIDTH), 1575) << "landscape: the length across";
    EXPECT_EQ(GetDeviceCaps(context, PHYSICALHEIGHT), 787);
    EXPECT_EQ(GetDeviceCaps(context, HORZRES), 1575);
    EXPECT_EQ(GetDeviceCaps(context, RASTERCAPS) & RC_BITBLT, 0);
    DeleteDC(context);
}

TEST_P(Devices, NearestColourOfColourAndMonochromeDevices) {
    HDC mono = printer_context();
    EXPECT_EQ(GetNearestColor(mono, RGB(0, 0, 255)), RGB(0, 0, 0)) << "pure blue is dark";
    EXPECT_EQ(GetNearestColor(mono, RGB(255, 255, 0)), RGB(255, 255, 255)) << "yellow is bright";
    EXPECT_EQ(GetDeviceCaps(mono, NUMCOLORS), 2);
    winsim::DeviceProperties colour;
    colour.colour = true;
    machine->graphics().set_device(product_driver, colour);
    HDC coloured = printer_context();
    EXPECT_EQ(GetNearestColor(coloured, RGB(0, 0, 255)), RGB(0, 0, 255));
    EXPECT_EQ(GetNearestColor(coloured, RGB(12, 34, 56)), RGB(12, 34, 56));
    EXPECT_EQ(GetNearestColor(mono, RGB(0, 0, 255)), RGB(0, 0, 0)) << "a context keeps the device it was made with";
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetNearestColor(reinterpret_cast<HDC>(0xBAD0), 0), static_cast<COLORREF>(CLR_INVALID));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "unconfirmed";
    DeleteDC(mono);
    DeleteDC(coloured);
}

TEST_P(Devices, DeviceCapabilitiesAnswerTheDriversDevmodeVersions) {
    HDC context = printer_context();  // the product's driver makes its DEVMODE now
    DeleteDC(context);
    const auto [version, size] = winsim_test::public_devmode(GetParam());
    (void)size;
    EXPECT_EQ(DeviceCapabilitiesA(product_printer, "LPT1:", DC_VERSION, nullptr, nullptr), version);
    EXPECT_EQ(DeviceCapabilitiesA(product_printer, "LPT1:", DC_DRIVER, nullptr, nullptr), 0x0100);
    // Another maker's printer answers from the DEVMODE it was given at its creation.
    EXPECT_EQ(DeviceCapabilitiesA(winsim_test::other_printer, "FILE:", DC_VERSION, nullptr, nullptr), version);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(DeviceCapabilitiesA("No Such Printer", "LPT1:", DC_VERSION, nullptr, nullptr), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME)) << "unconfirmed";
    winsim::DeviceProperties silent;
    silent.answers_capabilities = false;
    machine->graphics().set_device(product_driver, silent);
    EXPECT_EQ(DeviceCapabilitiesA(product_printer, "LPT1:", DC_VERSION, nullptr, nullptr), -1);
}

TEST(DeviceObjects, ContextsAndFontsAreHandlesThatShowWhenLeaked) {
    auto machine = winsim_test::machine_with_printers(Platform::nt4);
    const std::size_t handles = machine->open_handles();
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    HDC memory = CreateCompatibleDC(screen);
    LOGFONTA logfont{};
    logfont.lfHeight = 20;
    std::strcpy(logfont.lfFaceName, "Times New Roman");
    HFONT font = CreateFontIndirectA(&logfont);
    EXPECT_EQ(machine->open_handles(), handles + 3);

    // A font deleted while selected lives on until it is taken out (as Windows
    // defers it); the device's own font comes back when it is.
    HGDIOBJ own = SelectObject(memory, font);
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_EQ(machine->open_handles(), handles + 3);
    EXPECT_EQ(SelectObject(memory, own), font);
    EXPECT_EQ(machine->open_handles(), handles + 2);
    EXPECT_TRUE(DeleteObject(own)) << "deleting a stock object succeeds and does nothing";
    EXPECT_EQ(SelectObject(memory, own), own);

    EXPECT_EQ(ReleaseDC(nullptr, memory), 0) << "ReleaseDC gives back only what GetDC gave";
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(machine->open_handles(), handles);
}

}  // namespace

namespace {

TEST(DeviceDescriptions, ADescriptionChoosesDevicesAndASavedMachineKeepsThem) {
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "winsim_described_devices";
    std::filesystem::remove_all(folder);
    auto machine = winsim::Machine::create_from_description_text(R"(platform = "win2000"
[[device]]
driver = "Orvana Print Driver"
resolution = 600
colour = true
bit_block_transfers = false
charset = 128
[screen]
charset = 2
)",
                                                                  "devices.toml", folder);
    auto expect_described = [](winsim::Machine& described) {
        const winsim::DeviceProperties device = described.graphics().device("ORVANA PRINT DRIVER");
        EXPECT_EQ(device.resolution, 600);
        EXPECT_TRUE(device.colour);
        EXPECT_FALSE(device.bit_block_transfers);
        EXPECT_EQ(device.charset, SHIFTJIS_CHARSET);
        EXPECT_EQ(device.margin, winsim::DeviceProperties{}.margin) << "what is left out stays the default";
        EXPECT_EQ(described.graphics().screen_charset(), SYMBOL_CHARSET);
        EXPECT_EQ(described.graphics().device("Another Driver").resolution, 300);
    };
    expect_described(*machine);
    machine->save();
    machine.reset();
    auto reopened = winsim::Machine::open(folder);
    expect_described(*reopened);
    EXPECT_THROW(winsim::Machine::create_from_description_text("platform = \"nt4\"\n[[device]]\ndriver = \"X\"\ncolor = true\n", "bad.toml"),
                 winsim::DescriptionError)
        << "an unknown key is refused";
    std::filesystem::remove_all(folder);
}

}  // namespace
