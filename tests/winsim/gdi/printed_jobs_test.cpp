#include "printing_fixture.h"

#include <winsim/images/modules.h>

#include <cairo.h>

#include <cstring>
#include <filesystem>

namespace {

using winsim::Platform;
using winsim_test::product_printer;

struct PrintedJobs : testing::TestWithParam<Platform> {
    void SetUp() override { machine = winsim_test::machine_with_printers(GetParam()); }
    std::unique_ptr<winsim::Machine> machine;
};

INSTANTIATE_TEST_SUITE_P(All, PrintedJobs,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(PrintedJobs, ADocumentIsQueuedUntilEndDocAndKeepsItsPages) {
    HDC printer = CreateDCA(nullptr, product_printer, nullptr, nullptr);
    ASSERT_NE(printer, nullptr);
    DOCINFOA document{sizeof(DOCINFOA), "Test page", nullptr, nullptr, 0};
    const int id = StartDocA(printer, &document);
    ASSERT_GT(id, 0);
    std::vector<winsim::PrintJob> queued = machine->spooler().jobs(product_printer);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].id, static_cast<DWORD>(id));
    EXPECT_EQ(queued[0].document, "Test page");
    for (const char* line : {"first page", "second page"}) {
        ASSERT_GT(StartPage(printer), 0);
        RECT rectangle{0, 0, 1000, 1000};
        EXPECT_GT(DrawTextA(printer, line, -1, &rectangle, 0), 0);
        ASSERT_GT(EndPage(printer), 0);
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(EndPage(printer), SP_ERROR) << "no page is open";
    EXPECT_GT(EndDoc(printer), 0);
    EXPECT_TRUE(machine->spooler().jobs(product_printer).empty()) << "the printer printed it";
    const winsim::PrintedJob& job = machine->graphics().last_job(product_printer);
    EXPECT_EQ(job.id, static_cast<DWORD>(id));
    EXPECT_TRUE(job.ended);
    ASSERT_EQ(job.pages.size(), 2u);
    EXPECT_EQ(job.pages[0].lines(), std::vector<std::string>{"first page"});
    EXPECT_EQ(job.pages[1].lines(), std::vector<std::string>{"second page"});
    EXPECT_TRUE(job.pdf.empty()) << "a machine without a folder writes no files";
    EXPECT_TRUE(DeleteDC(printer));
}

TEST_P(PrintedJobs, DocumentFailures) {
    HDC printer = CreateDCA(nullptr, product_printer, nullptr, nullptr);
    ASSERT_NE(printer, nullptr);
    DOCINFOA document{sizeof(DOCINFOA), "Test page", nullptr, nullptr, 0};
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(StartPage(printer), SP_ERROR) << "no document";
    machine->faults().fail("StartDocA", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(StartDocA(printer, &document), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    if (machine->is_nt()) {
        machine->services().set_stopped("Spooler");
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(StartDocA(printer, &document), SP_ERROR);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    }
    EXPECT_TRUE(machine->graphics().jobs().empty());
    EXPECT_TRUE(DeleteDC(printer));
}

TEST(PrintedJobsLeftOpen, ADeletedContextDropsItsUnfinishedJob) {
    auto machine = winsim_test::machine_with_printers(Platform::win2000);
    HDC printer = CreateDCA(nullptr, product_printer, nullptr, nullptr);
    DOCINFOA document{sizeof(DOCINFOA), "Left open", nullptr, nullptr, 0};
    ASSERT_GT(StartDocA(printer, &document), 0);
    EXPECT_TRUE(DeleteDC(printer));
    EXPECT_TRUE(machine->spooler().jobs(product_printer).empty());
    EXPECT_FALSE(machine->graphics().last_job(product_printer).ended);
}

// The share of dark pixels of a PNG inside a rectangle of its own pixels.
struct Png {
    explicit Png(const std::filesystem::path& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Png() { cairo_surface_destroy(surface); }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    int dark_pixels(int left, int top, int right, int bottom) const {
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        int dark = 0;
        for (int y = std::max(0, top); y < std::min(bottom, height()); ++y)
            for (int x = std::max(0, left); x < std::min(right, width()); ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, data + y * stride + x * 4, 4);
                if ((pixel & 0xFF) < 128) ++dark;
            }
        return dark;
    }
    cairo_surface_t* surface;
};

TEST(RenderedPages, ThePngHasThePagesSizeAndInkOnlyWhereDrawn) {
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "winsim_rendered_page";
    std::filesystem::remove_all(folder);
    auto machine = winsim::Machine::create(Platform::win2000, {}, folder);
    machine->spooler().add_driver("Orvana Print Driver", "ORVDRV.DLL");
    machine->spooler().add_printer(product_printer, "LPT1:", "Orvana Print Driver");
    machine->files().write_file(winsim_test::driver_directory() + "\\ORVDRV.DLL", "MZ");
    HDC printer = CreateDCA(nullptr, product_printer, nullptr, nullptr);
    ASSERT_NE(printer, nullptr);
    DOCINFOA document{sizeof(DOCINFOA), "Rendered", nullptr, nullptr, 0};
    const int id = StartDocA(printer, &document);
    StartPage(printer);
    // A text at one inch from the printable corner, in a rectangle two inches wide:
    // the long line wraps.
    RECT rectangle{300, 300, 900, 3000};
    EXPECT_GT(DrawTextA(printer, "A line too long for two inches wraps onto the next line", -1, &rectangle, DT_WORDBREAK), 0);
    // A black bitmap stretched into a half-inch square two inches down.
    winsim::ProgramModule module;
    module.name = "RenderTest.dll";
    module.bitmaps[1] = winsim_test::black_dib(57, 47);
    winsim::register_program_module(module);
    HMODULE program = LoadLibraryA("RenderTest.dll");
    HBITMAP bitmap = LoadBitmapA(program, MAKEINTRESOURCEA(1));
    HDC memory = CreateCompatibleDC(printer);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    EXPECT_TRUE(StretchBlt(printer, 305, 605, 150, 150, memory, 0, 0, 57, 47, SRCCOPY));
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    FreeLibrary(program);
    EndPage(printer);
    EndDoc(printer);
    DeleteDC(printer);

    const winsim::PrintedJob& job = machine->graphics().last_job(product_printer);
    EXPECT_GT(job.pages[0].lines().size(), 1u) << "the line wrapped";
    const std::filesystem::path png = folder / "jobs" / product_printer / (std::to_string(id) + ".png");
    EXPECT_EQ(job.pages[0].png, png);
    ASSERT_TRUE(std::filesystem::exists(png));
    EXPECT_TRUE(std::filesystem::exists(job.pdf));
    Png image(png);
    EXPECT_EQ(image.width(), 1275) << "letter at 150 dpi";
    EXPECT_EQ(image.height(), 1650);
    // The text's rectangle on the sheet: the printable area begins a quarter inch in;
    // 300 dots are 150 pixels.
    const int left = (75 + 300) / 2, top = (75 + 300) / 2, right = (75 + 900) / 2;
    const winsim::PrintedText text = job.pages[0].texts()[0];
    const int bottom = top + static_cast<int>(text.lines.size() * text.cell_height / 2);
    const int text_ink = image.dark_pixels(left, top, right, bottom);
    EXPECT_GT(text_ink, 200);
    const int square = (75 + 305) / 2, square_top = (75 + 605) / 2;
    EXPECT_EQ(image.dark_pixels(square, square_top, square + 75, square_top + 75), 75 * 75) << "the square is black";
    const int all = image.dark_pixels(0, 0, image.width(), image.height());
    EXPECT_EQ(text_ink + 75 * 75, all) << "no ink outside the text's rectangle and the square";
    std::filesystem::remove_all(folder);
}

}  // namespace
