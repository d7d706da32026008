#include "printing_fixture.h"

#include <winsim/images/modules.h>
#include <mkimage/image.h>

#include <cstring>

namespace {

using winsim_test::PrintingFixture;
using winsim_test::black_dib;

struct BitmapsAndMapping : PrintingFixture {
    void SetUp() override {
        winsim::ProgramModule module;
        module.name = "GdiTest.dll";
        module.bitmaps[102] = black_dib(570, 469);
        winsim::register_program_module(module);
        open_page();
    }
};

TEST_F(BitmapsAndMapping, LoadBitmapFromProgramModulesAndImagesOnDisk) {
    HMODULE program = LoadLibraryA("GdiTest.dll");
    ASSERT_NE(program, nullptr);
    HBITMAP bitmap = LoadBitmapA(program, MAKEINTRESOURCEA(102));
    ASSERT_NE(bitmap, nullptr);
    BITMAPCOREHEADER core{12, 0xDEAD, 0xDEAD, 0xDEAD, 0};
    EXPECT_NE(GetDIBits(printer, bitmap, 0, 0, nullptr, reinterpret_cast<LPBITMAPINFO>(&core), DIB_PAL_COLORS), 0);
    EXPECT_EQ(core.bcWidth, 570);
    EXPECT_EQ(core.bcHeight, 469);
    EXPECT_EQ(core.bcPlanes, 1);
    EXPECT_EQ(core.bcBitCount, 1) << "a monochrome bitmap stays monochrome";
    EXPECT_TRUE(DeleteObject(bitmap));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadBitmapA(program, MAKEINTRESOURCEA(103)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    mkimage::ImageRecipe recipe;
    recipe.bitmaps[7] = black_dib(40, 30);
    machine->files().write_file("C:\\LOGO.DLL", mkimage::build_image(recipe));
    HMODULE image = LoadLibraryExA("C:\\LOGO.DLL", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    bitmap = LoadBitmapA(image, MAKEINTRESOURCEA(7));
    ASSERT_NE(bitmap, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    EXPECT_NE(GetDIBits(printer, bitmap, 0, 0, nullptr, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info.bmiHeader.biWidth, 40);
    EXPECT_EQ(info.bmiHeader.biHeight, 30);
    DeleteObject(bitmap);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadBitmapA(image, MAKEINTRESOURCEA(8)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    FreeLibrary(image);
    FreeLibrary(program);
}

TEST_F(BitmapsAndMapping, StretchBltGoesThroughTheAnisotropicMapping) {
    HMODULE program = LoadLibraryA("GdiTest.dll");
    HBITMAP bitmap = LoadBitmapA(program, MAKEINTRESOURCEA(102));
    HDC memory = CreateCompatibleDC(printer);
    ASSERT_NE(memory, nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    ASSERT_NE(previous, nullptr);
    EXPECT_FALSE(DeleteObject(bitmap)) << "a selected bitmap is not deleted (unconfirmed)";

    const int saved = SaveDC(printer);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(SetMapMode(printer, MM_ANISOTROPIC), MM_TEXT);
    SIZE old_extent{-1, -1};
    EXPECT_TRUE(SetWindowOrgEx(printer, 0, 0, nullptr));
    EXPECT_TRUE(SetWindowExtEx(printer, 100, 100, &old_extent));
    EXPECT_EQ(old_extent.cx, 1) << "the free modes start from MM_TEXT's extents";
    EXPECT_TRUE(SetViewportExtEx(printer, 300, 300, nullptr));
    EXPECT_TRUE(SetViewportOrgEx(printer, 150, 150, nullptr));
    EXPECT_TRUE(StretchBlt(printer, 0, 0, 100, 100, memory, 0, 0, 570, 469, SRCCOPY));
    RECT box{};
    GetClipBox(printer, &box);
    EXPECT_EQ(box.left, -50) << "the clip box in logical units: the corner lies half an inch before the origin";
    EXPECT_EQ(box.right, (2400 - 150) / 3);
    EXPECT_TRUE(RestoreDC(printer, saved));
    EXPECT_EQ(SetMapMode(printer, MM_TEXT), MM_TEXT) << "RestoreDC brought MM_TEXT back";

    const std::vector<winsim::PrintedBitmap> bitmaps = page().bitmaps();
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].destination.left, 150);
    EXPECT_EQ(bitmaps[0].destination.top, 150);
    EXPECT_EQ(bitmaps[0].destination.right, 450) << "100 logical units are one inch";
    EXPECT_EQ(bitmaps[0].destination.bottom, 450);
    EXPECT_EQ(bitmaps[0].source_width, 570);
    EXPECT_EQ(bitmaps[0].source_height, 469);

    EXPECT_EQ(SelectObject(memory, previous), bitmap);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(bitmap));
    FreeLibrary(program);
}

TEST_F(BitmapsAndMapping, ExtentsMeanNothingInTextModeAndSavedStatesStack) {
    EXPECT_TRUE(SetWindowExtEx(printer, 100, 100, nullptr));
    EXPECT_TRUE(SetViewportExtEx(printer, 300, 300, nullptr));
    RECT box{};
    GetClipBox(printer, &box);
    EXPECT_EQ(box.right, 2400) << "MM_TEXT ignores extents";

    EXPECT_EQ(SaveDC(printer), 1);
    SetViewportOrgEx(printer, 10, 20, nullptr);
    EXPECT_EQ(SaveDC(printer), 2);
    SetMapMode(printer, MM_ANISOTROPIC);
    EXPECT_EQ(SaveDC(printer), 3);
    EXPECT_FALSE(RestoreDC(printer, 4)) << "no state saved at that level";
    EXPECT_FALSE(RestoreDC(printer, 0));
    EXPECT_TRUE(RestoreDC(printer, -2)) << "two back from the last: the state saved at level 2";
    EXPECT_EQ(SetMapMode(printer, MM_TEXT), MM_TEXT);
    POINT origin{};
    SetViewportOrgEx(printer, 0, 0, &origin);
    EXPECT_EQ(origin.x, 10);
    EXPECT_EQ(origin.y, 20);
    EXPECT_TRUE(RestoreDC(printer, 1));
    EXPECT_FALSE(RestoreDC(printer, 1)) << "restoring pops the level and the ones after it";

    // MM_ISOTROPIC keeps a unit as long across as down: the longer extent shrinks.
    SetMapMode(printer, MM_ISOTROPIC);
    SetWindowExtEx(printer, 100, 100, nullptr);
    SetViewportExtEx(printer, 300, 600, nullptr);
    SIZE kept{};
    SetViewportExtEx(printer, 1, 1, &kept);
    EXPECT_EQ(kept.cx, 300);
    EXPECT_EQ(kept.cy, 300);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetWindowExtEx(printer, 0, 100, nullptr)) << "an extent of 0 would divide by nothing";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "unconfirmed";
}

TEST_F(BitmapsAndMapping, TextDrawnThroughAMappingIsRecordedInDeviceUnits) {
    SetMapMode(printer, MM_ANISOTROPIC);
    SetWindowExtEx(printer, 100, 100, nullptr);
    SetViewportExtEx(printer, 300, 300, nullptr);
    select_font("Courier New", 14);  // 14 logical units: 42 dots
    EXPECT_NEAR(metrics().tmHeight, 14, 1) << "metrics are in logical units";
    RECT rectangle{10, 10, 500, 500};
    const int height = DrawTextA(printer, "one\ntwo", -1, &rectangle, DT_NOPREFIX);
    EXPECT_EQ(height, 2 * metrics().tmHeight);
    const winsim::PrintedText text = page().texts().back();
    EXPECT_EQ(text.rectangle.left, 30);
    EXPECT_EQ(text.rectangle.right, 1500);
    EXPECT_NEAR(text.cell_height, 42, 1);
    EXPECT_EQ(text.lines[1].y, 30 + text.cell_height);
}

}  // namespace
