#include "page_lines.h"

#include "files/paths.h"
#include "files/versions.h"
#include "frame/catalogue.h"

#include <cstdarg>

namespace {

constexpr int page_format_size = 256;
// wvsprintfA writes no more than this.
constexpr int page_line_size = 1024;
constexpr int face_name_size = LF_FACESIZE;
constexpr UINT line_flags = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;

int draw_filled_line(HDC printer, RECT* layout, UINT extra_flags, UINT message_id, va_list arguments) {
    char format[page_format_size];
    if (!load_text(message_id, format, page_format_size)) return 0;
    char line[page_line_size];
    wvsprintfA(line, format, arguments);
    const int height = DrawTextA(printer, line, -1, layout, line_flags | extra_flags);
    if (!height) return 0;
    layout->top += height;
    return 1;
}

}  // namespace

int half_inch_across(HDC printer) { return GetDeviceCaps(printer, LOGPIXELSX) / 2; }
int half_inch_down(HDC printer) { return GetDeviceCaps(printer, LOGPIXELSY) / 2; }

int draw_message_line(HDC printer, RECT* layout, UINT extra_flags, UINT message_id, ...) {
    va_list arguments;
    va_start(arguments, message_id);
    const int drawn = draw_filled_line(printer, layout, extra_flags, message_id, arguments);
    va_end(arguments);
    return drawn;
}

HGDIOBJ select_message_font(HDC printer, HDC screen, UINT face_message_id, int points, HFONT* font) {
    *font = nullptr;
    LOGFONTA face{};
    face.lfHeight = MulDiv(points, GetDeviceCaps(printer, LOGPIXELSY), 72);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = static_cast<BYTE>(GetTextCharset(screen));
    face.lfQuality = PROOF_QUALITY;
    load_text(face_message_id, face.lfFaceName, face_name_size);
    HFONT made = CreateFontIndirectA(&face);
    if (!made) return nullptr;
    HGDIOBJ previous = SelectObject(printer, made);
    // A font the device would not take is given back at once rather than left behind.
    if (!previous || previous == HGDI_ERROR) {
        DeleteObject(made);
        return nullptr;
    }
    *font = made;
    return previous;
}

void restore_message_font(HDC printer, HGDIOBJ previous, HFONT font) {
    if (!previous) return;
    SelectObject(printer, previous);
    DeleteObject(font);
}

int draw_file_line(HDC printer, RECT* layout, LPCSTR path) {
    FileVersion version;
    get_file_version_string(path, &version);
    const int drawn = version.text ? draw_message_line(printer, layout, 0, IDS_TEST_PAGE_FILE_WITH_VERSION, version.path, version.text)
                                   : draw_message_line(printer, layout, 0, IDS_TEST_PAGE_FILE, version.path);
    release_file_version(&version);
    return drawn;
}

int draw_file_name_line(HDC printer, LPCSTR path, RECT* layout, UINT message_id) {
    return draw_message_line(printer, layout, 0, message_id, file_name_part(path ? path : ""));
}

int is_colour_device(HDC printer) { return GetNearestColor(printer, RGB(0, 0, 255)) == RGB(0, 0, 255) ? 1 : 0; }
