// Draws a 1-bit bitmap from a description of shapes and writes it as a .bmp file, as
// a resource compiler takes it:
//
//   logogen DESCRIPTION.toml OUT.bmp
//
// Shapes are drawn without smoothing, so that every pixel is ink or paper and the same
// description always gives the same bytes.
#include <cairo.h>
#include <toml++/toml.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Point {
    double x;
    double y;
};

[[noreturn]] void fail_at(const toml::node& node, const std::string& what) {
    const toml::source_position where = node.source().begin;
    throw std::runtime_error("line " + std::to_string(where.line) + ": " + what);
}

double number(const toml::table& shape, std::string_view key) {
    const toml::node* node = shape.get(key);
    if (!node) fail_at(shape, "the shape needs \"" + std::string(key) + "\"");
    if (std::optional<double> value = node->value<double>()) return *value;
    fail_at(*node, "\"" + std::string(key) + "\" is not a number");
}

Point point(const toml::node& node) {
    const toml::array* pair = node.as_array();
    if (!pair || pair->size() != 2 || !(*pair)[0].value<double>() || !(*pair)[1].value<double>())
        fail_at(node, "a point is [x, y]");
    return {*(*pair)[0].value<double>(), *(*pair)[1].value<double>()};
}

std::vector<Point> points(const toml::table& shape) {
    const toml::array* list = shape["points"].as_array();
    if (!list || list->size() < 2) fail_at(shape, "the shape needs \"points\", two at least");
    std::vector<Point> out;
    for (const toml::node& node : *list) out.push_back(point(node));
    return out;
}

void draw(cairo_t* pen, const toml::table& shape) {
    const std::string kind = shape["kind"].value_or(std::string());
    const bool clear = shape["clear"].value_or(false);
    cairo_set_source_rgba(pen, 0, 0, 0, clear ? 0.0 : 1.0);
    cairo_set_operator(pen, clear ? CAIRO_OPERATOR_CLEAR : CAIRO_OPERATOR_OVER);
    cairo_new_path(pen);
    if (kind == "polygon" || kind == "polyline") {
        const std::vector<Point> corners = points(shape);
        cairo_move_to(pen, corners[0].x, corners[0].y);
        for (std::size_t i = 1; i < corners.size(); ++i) cairo_line_to(pen, corners[i].x, corners[i].y);
        if (kind == "polygon") {
            cairo_close_path(pen);
            cairo_fill(pen);
        } else {
            cairo_set_line_width(pen, number(shape, "width"));
            cairo_stroke(pen);
        }
    } else if (kind == "circle" || kind == "arc") {
        const toml::node* center_node = shape.get("center");
        if (!center_node) fail_at(shape, "the shape needs \"center\"");
        const Point center = point(*center_node);
        const double radius = number(shape, "radius");
        const double degrees = M_PI / 180.0;
        const double from = kind == "arc" ? number(shape, "from") * degrees : 0.0;
        const double to = kind == "arc" ? number(shape, "to") * degrees : 2 * M_PI;
        cairo_arc(pen, center.x, center.y, radius, from, to);
        if (kind == "circle" && !shape.get("width")) {
            cairo_fill(pen);
        } else {
            cairo_set_line_width(pen, number(shape, "width"));
            cairo_stroke(pen);
        }
    } else {
        fail_at(shape, "unknown shape kind \"" + kind + "\" (polygon, polyline, circle, arc)");
    }
}

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}
void put32(std::string& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

// A bottom-up 1-bit .bmp: colour 0 is black ink, colour 1 white paper.
std::string bmp_of(cairo_surface_t* surface) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int row_bytes = (width + 31) / 32 * 4;
    const std::uint32_t bits_offset = 14 + 40 + 8;
    const std::uint32_t image_size = static_cast<std::uint32_t>(row_bytes * height);
    std::string out = "BM";
    put32(out, bits_offset + image_size);
    put32(out, 0);
    put32(out, bits_offset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1);
    put16(out, 1);
    put32(out, 0);  // BI_RGB
    put32(out, image_size);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, 2);
    put32(out, 0);
    put32(out, 0x00000000);
    put32(out, 0x00FFFFFF);
    for (int y = height - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(row_bytes), '\0');
        for (int x = 0; x < width; ++x) {
            // An A1 surface keeps pixel x in bit x % 32 of its 32-bit word, lowest first
            // on a little-endian machine.
            const std::uint32_t word = reinterpret_cast<const std::uint32_t*>(pixels + y * stride)[x / 32];
            const bool ink = (word >> (x % 32)) & 1;
            if (!ink) row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        }
        out += row;
    }
    return out;
}

std::string draw_description(const std::string& path) {
    toml::table description = toml::parse_file(path);
    const int width = description["width"].value_or(0);
    const int height = description["height"].value_or(0);
    if (width <= 0 || height <= 0) throw std::runtime_error("the description needs a positive width and height");
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    cairo_t* pen = cairo_create(surface);
    cairo_set_antialias(pen, CAIRO_ANTIALIAS_NONE);
    std::string bytes;
    try {
        if (const toml::array* shapes = description["shape"].as_array())
            for (const toml::node& shape : *shapes) {
                if (!shape.as_table()) fail_at(shape, "a shape is a table");
                draw(pen, *shape.as_table());
            }
        cairo_surface_flush(surface);
        bytes = bmp_of(surface);
    } catch (...) {
        cairo_destroy(pen);
        cairo_surface_destroy(surface);
        throw;
    }
    cairo_destroy(pen);
    cairo_surface_destroy(surface);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: logogen DESCRIPTION.toml OUT.bmp\n");
        return 2;
    }
    try {
        const std::string bytes = draw_description(argv[1]);
        std::ofstream out(argv[2], std::ios::binary);
        out << bytes;
        if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const toml::parse_error& error) {
        std::fprintf(stderr, "logogen: %s: line %u: %s\n", argv[1], error.source().begin.line,
                     std::string(error.description()).c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "logogen: %s: %s\n", argv[1], error.what());
        return 1;
    }
    return 0;
}
