#include "gdi/page_rendering.h"

#include "gdi/fonts.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <system_error>

namespace winsim::detail {

namespace {

template <typename T, void (*Destroy)(T*)>
struct CairoDeleter {
    void operator()(T* object) const { Destroy(object); }
};
using Surface = std::unique_ptr<cairo_surface_t, CairoDeleter<cairo_surface_t, cairo_surface_destroy>>;
using Context = std::unique_ptr<cairo_t, CairoDeleter<cairo_t, cairo_destroy>>;
using FontFace = std::unique_ptr<cairo_font_face_t, CairoDeleter<cairo_font_face_t, cairo_font_face_destroy>>;

// A printer's name may hold characters a host path cannot ("\\SERVER\Printer").
std::string folder_name(std::string_view printer) {
    std::string name(printer);
    for (char& c : name)
        if (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') c = '_';
    return name;
}

// A bitmap as cairo draws it: the DIB's pixels through its colour table, top row first.
Surface bitmap_surface(const std::string& dib) {
    BITMAPINFOHEADER header;
    if (dib.size() < sizeof header) return nullptr;
    std::memcpy(&header, dib.data(), sizeof header);
    const int bits = header.biBitCount;
    if (header.biCompression != BI_RGB || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) return nullptr;
    const int width = header.biWidth;
    const int height = std::abs(header.biHeight);
    const std::size_t colours = bits <= 8 ? (header.biClrUsed ? header.biClrUsed : 1u << bits) : 0;
    const std::size_t table = header.biSize;
    const std::size_t pixels = table + colours * sizeof(RGBQUAD);
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (width <= 0 || height <= 0 || dib.size() < pixels + stride * height) return nullptr;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    unsigned char* out = cairo_image_surface_get_data(surface.get());
    const int out_stride = cairo_image_surface_get_stride(surface.get());
    auto colour = [&](std::size_t index) -> std::uint32_t {
        if (index >= colours) return 0;
        RGBQUAD quad;
        std::memcpy(&quad, dib.data() + table + index * sizeof quad, sizeof quad);
        return static_cast<std::uint32_t>(quad.rgbRed) << 16 | static_cast<std::uint32_t>(quad.rgbGreen) << 8 | quad.rgbBlue;
    };
    for (int row = 0; row < height; ++row) {
        // Rows are stored bottom-up unless the height is negative.
        const int stored = header.biHeight > 0 ? height - 1 - row : row;
        const auto* in = reinterpret_cast<const unsigned char*>(dib.data() + pixels + stride * stored);
        auto* line = reinterpret_cast<std::uint32_t*>(out + out_stride * row);
        for (int x = 0; x < width; ++x) {
            switch (bits) {
            case 1: line[x] = colour((in[x / 8] >> (7 - x % 8)) & 1); break;
            case 4: line[x] = colour((in[x / 2] >> (x % 2 ? 0 : 4)) & 0xF); break;
            case 8: line[x] = colour(in[x]); break;
            default: {
                const unsigned char* p = in + x * (bits / 8);
                line[x] = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
            }
            }
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

void draw_bitmap(cairo_t* cairo, const PrintedBitmap& bitmap) {
    Surface source = bitmap_surface(bitmap.dib);
    if (!source || bitmap.source_width == 0 || bitmap.source_height == 0) return;
    const RECT& to = bitmap.destination;
    cairo_save(cairo);
    cairo_rectangle(cairo, std::min(to.left, to.right), std::min(to.top, to.bottom), std::abs(to.right - to.left),
                    std::abs(to.bottom - to.top));
    cairo_clip(cairo);
    cairo_translate(cairo, to.left, to.top);
    cairo_scale(cairo, static_cast<double>(to.right - to.left) / bitmap.source_width,
                static_cast<double>(to.bottom - to.top) / bitmap.source_height);
    cairo_set_source_surface(cairo, source.get(), -bitmap.source_x, -bitmap.source_y);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
    cairo_paint(cairo);
    cairo_restore(cairo);
}

// The glyphs of each line at the very positions the layout measured.
void draw_text(cairo_t* cairo, const PrintedText& text) {
    LOGFONTA asked{};
    std::snprintf(asked.lfFaceName, LF_FACESIZE, "%s", text.face.c_str());
    asked.lfWeight = text.weight;
    asked.lfItalic = text.italic ? 1 : 0;
    const RealizedFont font = RealizedFont::realize(asked, text.font_height, false);
    if (!font.valid()) return;
    FontFace face(cairo_ft_font_face_create_for_ft_face(font.ft_face(), 0));
    cairo_save(cairo);
    if (!(text.flags & DT_NOCLIP)) {
        const RECT& box = text.rectangle;
        cairo_rectangle(cairo, box.left, box.top, box.right - box.left, box.bottom - box.top);
        cairo_clip(cairo);
    }
    cairo_set_font_face(cairo, face.get());
    cairo_set_font_size(cairo, font.em_size());
    cairo_set_source_rgb(cairo, 0, 0, 0);
    const LONG tab_width = text.flags & DT_EXPANDTABS ? 8 * font.metrics().tmAveCharWidth : 0;
    for (const PrintedLine& line : text.lines) {
        std::vector<cairo_glyph_t> glyphs;
        LONG x = 0;
        for (char c : line.text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '\t' && tab_width > 0) {
                x = (x / tab_width + 1) * tab_width;
                continue;
            }
            glyphs.push_back(cairo_glyph_t{font.glyph(byte), static_cast<double>(line.x + x),
                                           static_cast<double>(line.y + font.metrics().tmAscent)});
            x += font.advance(byte);
        }
        cairo_show_glyphs(cairo, glyphs.data(), static_cast<int>(glyphs.size()));
    }
    cairo_restore(cairo);
}

// One page on a surface whose units are the device's dots, the sheet's corner at 0.
void draw_page(cairo_t* cairo, const PrintedJob& job, const PrintedPage& page) {
    cairo_save(cairo);
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    cairo_translate(cairo, job.offset_x, job.offset_y);
    for (const PrintedItem& item : page.items) {
        if (const auto* text = std::get_if<PrintedText>(&item)) draw_text(cairo, *text);
        else draw_bitmap(cairo, std::get<PrintedBitmap>(item));
    }
    cairo_restore(cairo);
}

}  // namespace

bool render_job(PrintedJob& job, const std::filesystem::path& machine_folder) {
    const std::filesystem::path folder = machine_folder / "jobs" / folder_name(job.printer);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    const double png_x = static_cast<double>(rendered_dpi) / job.dpi_x;
    const double png_y = static_cast<double>(rendered_dpi) / job.dpi_y;
    const int png_width = static_cast<int>(std::lround(job.paper_width * png_x));
    const int png_height = static_cast<int>(std::lround(job.paper_height * png_y));
    bool written = true;
    for (std::size_t number = 0; number < job.pages.size(); ++number) {
        PrintedPage& page = job.pages[number];
        const std::string name = std::to_string(job.id) + (number ? "-" + std::to_string(number + 1) : "") + ".png";
        Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, png_width, png_height));
        Context cairo(cairo_create(surface.get()));
        cairo_scale(cairo.get(), png_x, png_y);
        draw_page(cairo.get(), job, page);
        cairo_surface_flush(surface.get());
        page.png = folder / name;
        written = cairo_surface_write_to_png(surface.get(), page.png.c_str()) == CAIRO_STATUS_SUCCESS && written;
    }
    // The PDF's unit is the point: 72 to the inch.
    job.pdf = folder / (std::to_string(job.id) + ".pdf");
    Surface pdf(cairo_pdf_surface_create(job.pdf.c_str(), job.paper_width * 72.0 / job.dpi_x, job.paper_height * 72.0 / job.dpi_y));
    {
        Context cairo(cairo_create(pdf.get()));
        cairo_scale(cairo.get(), 72.0 / job.dpi_x, 72.0 / job.dpi_y);
        for (const PrintedPage& page : job.pages) {
            draw_page(cairo.get(), job, page);
            cairo_show_page(cairo.get());
        }
    }
    cairo_surface_finish(pdf.get());
    return written && cairo_surface_status(pdf.get()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace winsim::detail
