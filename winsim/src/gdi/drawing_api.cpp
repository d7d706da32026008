// Drawing: text laid out in a rectangle, bitmaps stretched onto the page, and what a
// program asks of the font it draws with. On a printer's page each drawing is
// recorded in device units; on the screen and in memory it leaves nothing to see.
#include "gdi/gdi_objects.h"
#include "gdi/text_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using winsim::detail::DeviceContextObject;
using winsim::detail::RealizedFont;
using winsim::detail::fail;

// Device units to logical ones, for lengths.
LONG logical_height(const DeviceContextObject& context, LONG device) {
    return static_cast<LONG>(std::lround(device / winsim::detail::device_units_per_logical_y(context)));
}

LONG logical_width(const DeviceContextObject& context, LONG device) {
    return std::abs(winsim::detail::logical_x(context, device) - winsim::detail::logical_x(context, 0));
}

winsim::PrintedText printed_text(const DeviceContextObject& context, const RealizedFont& font, std::string_view text,
                                 const RECT& rectangle, UINT flags) {
    winsim::PrintedText printed;
    printed.text = std::string(text);
    printed.rectangle = rectangle;
    std::shared_ptr<winsim::detail::FontObject> selected = winsim::detail::font_of(context.drawing.font);
    const LOGFONTA asked = selected ? selected->logfont : winsim::detail::device_font(context);
    printed.face = asked.lfFaceName;
    printed.drawn_face = font.family();
    printed.font_height = selected ? static_cast<LONG>(std::lround(asked.lfHeight * winsim::detail::device_units_per_logical_y(context)))
                                   : asked.lfHeight;
    if (selected && asked.lfHeight == 0) printed.font_height = winsim::detail::default_font_height(context.device.dpi_y);
    printed.weight = asked.lfWeight >= FW_SEMIBOLD ? FW_BOLD : FW_NORMAL;
    printed.italic = asked.lfItalic != 0;
    printed.cell_height = font.metrics().tmHeight;
    printed.flags = flags;
    return printed;
}

}  // namespace

int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    WINSIM_API("DrawTextA", 0);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, 0);  // (Wine's text.c accepts 87 or 6)
    if (!lprc) return fail(ERROR_INVALID_PARAMETER, 0);  // (unconfirmed)
    // No text, or a count of 0, draws nothing and answers 0 (Wine's text.c, for NT).
    if (!lpchText || cchText == 0) return 0;
    const std::string_view text(lpchText, cchText < 0 ? std::strlen(lpchText) : static_cast<std::size_t>(cchText));
    const RealizedFont font = winsim::detail::realized_font(*context);
    if (!font.valid()) return fail(ERROR_INVALID_HANDLE, 0);  // (unconfirmed: no face for the font)

    // The layout happens in device units, the rectangle mapped there first.
    RECT device{winsim::detail::device_x(*context, lprc->left), winsim::detail::device_y(*context, lprc->top),
                winsim::detail::device_x(*context, lprc->right), winsim::detail::device_y(*context, lprc->bottom)};
    const LONG tab_width = format & DT_EXPANDTABS ? 8 * font.metrics().tmAveCharWidth : 0;
    const auto measure = [&](std::string_view run) { return font.width(run, 0, tab_width); };
    const std::vector<winsim::detail::TextLine> lines = winsim::detail::lay_out_text(text, format, device.right - device.left, measure);

    const LONG line_height = font.metrics().tmHeight;
    const int height = static_cast<int>(lines.size()) * static_cast<int>(logical_height(*context, line_height));
    if (format & DT_CALCRECT) {
        LONG widest = 0;
        for (const auto& line : lines) widest = std::max(widest, line.width);
        const bool empty = text.empty();
        lprc->right = lprc->left + (empty ? 0 : logical_width(*context, widest));
        lprc->bottom = lprc->top + (empty ? 0 : height);
        return height;
    }
    if (winsim::PrintedPage* page = winsim::detail::current_page(*context)) {
        winsim::PrintedText printed = printed_text(*context, font, text, device, format);
        LONG y = device.top;
        for (const auto& line : lines) {
            const LONG x = format & DT_CENTER ? device.left + (device.right - device.left - line.width) / 2 : device.left;
            printed.lines.push_back(winsim::PrintedLine{line.text, x, y, line.width});
            y += line_height;
        }
        printed.returned_height = height;
        page->items.emplace_back(std::move(printed));
    }
    return height;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm) {
    WINSIM_API("GetTextMetricsA", FALSE);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context || !lptm) return fail(ERROR_INVALID_PARAMETER, FALSE);  // (unconfirmed)
    const RealizedFont font = winsim::detail::realized_font(*context);
    if (!font.valid()) return fail(ERROR_INVALID_HANDLE, FALSE);  // (unconfirmed)
    TEXTMETRICA metrics = font.metrics();
    // The answer is in logical units.
    for (LONG* height : {&metrics.tmHeight, &metrics.tmAscent, &metrics.tmDescent, &metrics.tmInternalLeading, &metrics.tmExternalLeading})
        *height = logical_height(*context, *height);
    for (LONG* width : {&metrics.tmAveCharWidth, &metrics.tmMaxCharWidth}) *width = logical_width(*context, *width);
    metrics.tmDigitizedAspectX = context->device.dpi_x;
    metrics.tmDigitizedAspectY = context->device.dpi_y;
    *lptm = metrics;
    return TRUE;
}

// The character set of the font selected, or of the device's own; DEFAULT_CHARSET
// for a context that is not one.
int WINAPI GetTextCharset(HDC hdc) {
    WINSIM_API("GetTextCharset", DEFAULT_CHARSET);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, DEFAULT_CHARSET);  // (unconfirmed)
    std::shared_ptr<winsim::detail::FontObject> font = winsim::detail::font_of(context->drawing.font);
    const BYTE charset = font ? font->logfont.lfCharSet : context->device.properties.charset;
    return charset == DEFAULT_CHARSET ? ANSI_CHARSET : charset;
}

// From a memory context's bitmap onto a page, through the destination's mapping.
BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
                       int hSrc, DWORD rop) {
    WINSIM_API("StretchBlt", FALSE);
    std::shared_ptr<DeviceContextObject> target = winsim::detail::context_of(hdcDest);
    std::shared_ptr<DeviceContextObject> source = winsim::detail::context_of(hdcSrc);
    if (!target || !source) return fail(ERROR_INVALID_HANDLE, FALSE);  // (unconfirmed)
    if (rop != SRCCOPY) return winsim::detail::not_simulated("StretchBlt with a raster operation other than SRCCOPY", FALSE);
    std::shared_ptr<winsim::detail::BitmapObject> bitmap = winsim::detail::bitmap_of(source->drawing.bitmap);
    if (!bitmap) return TRUE;  // the one-pixel stock bitmap: nothing worth recording
    if (winsim::PrintedPage* page = winsim::detail::current_page(*target)) {
        winsim::PrintedBitmap printed;
        printed.destination = RECT{winsim::detail::device_x(*target, xDest), winsim::detail::device_y(*target, yDest),
                                   winsim::detail::device_x(*target, xDest + wDest), winsim::detail::device_y(*target, yDest + hDest)};
        printed.source_x = xSrc;
        printed.source_y = ySrc;
        printed.source_width = wSrc;
        printed.source_height = hSrc;
        printed.dib = bitmap->dib;
        page->items.emplace_back(std::move(printed));
    }
    return TRUE;
}
