#include "gdi/gdi_objects.h"

#include "gdi/fonts.h"

#include <cmath>
#include <cstdio>

namespace winsim::detail {

namespace {

// Stock objects live outside the handle table, at addresses no table handle takes.
constexpr std::uintptr_t stock_font_handle = 0x0188000A;
constexpr std::uintptr_t stock_bitmap_handle = 0x0185000F;

LONG scaled(LONG value, LONG numerator, LONG denominator) {
    return static_cast<LONG>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

HGDIOBJ device_default_font() { return reinterpret_cast<HGDIOBJ>(stock_font_handle); }
HGDIOBJ default_bitmap() { return reinterpret_cast<HGDIOBJ>(stock_bitmap_handle); }

std::shared_ptr<DeviceContextObject> context_of(HDC context) { return handle_object<DeviceContextObject>(context); }
std::shared_ptr<FontObject> font_of(HGDIOBJ object) { return handle_object<FontObject>(object); }
std::shared_ptr<BitmapObject> bitmap_of(HGDIOBJ object) { return handle_object<BitmapObject>(object); }

LOGFONTA device_font(const DeviceContextObject& context) {
    // A fixed-pitch "Courier" or a proportional face, 12 points, in the device's set.
    LOGFONTA own{};
    const DeviceProperties& properties = context.device.properties;
    const char* face = properties.proportional_default_font ? "Times New Roman" : "Courier";
    std::snprintf(own.lfFaceName, LF_FACESIZE, "%s", face);
    own.lfHeight = default_font_height(context.device.dpi_y);
    own.lfWeight = FW_NORMAL;
    own.lfCharSet = properties.charset;
    own.lfPitchAndFamily = properties.proportional_default_font ? VARIABLE_PITCH | FF_ROMAN : FIXED_PITCH | FF_MODERN;
    return own;
}

RealizedFont realized_font(const DeviceContextObject& context) {
    std::shared_ptr<FontObject> font = font_of(context.drawing.font);
    if (!font) {
        const LOGFONTA own = device_font(context);
        return RealizedFont::realize(own, own.lfHeight, context.device.printer);
    }
    const LOGFONTA& asked = font->logfont;
    // A height of 0 asks for the font mapper's default size.
    const LONG device_height = asked.lfHeight == 0 ? default_font_height(context.device.dpi_y)
                                                   : static_cast<LONG>(std::lround(asked.lfHeight * device_units_per_logical_y(context)));
    return RealizedFont::realize(asked, device_height, false);
}

void deselect(HGDIOBJ object) {
    if (std::shared_ptr<FontObject> font = font_of(object)) {
        if (font->selections > 0) --font->selections;
        if (font->delete_pending && font->selections == 0) state().handles.erase(reinterpret_cast<std::uintptr_t>(object));
    } else if (std::shared_ptr<BitmapObject> bitmap = bitmap_of(object)) {
        bitmap->selected_in = nullptr;
    }
}

void release_objects(DeviceContextObject& context) {
    for (const DrawingState& saved : context.saved) deselect(saved.font);
    context.saved.clear();
    deselect(context.drawing.font);
    deselect(context.drawing.bitmap);
    context.drawing.font = nullptr;
    context.drawing.bitmap = nullptr;
}

// Window to viewport: device = (logical - window origin) * viewport extent / window
// extent + viewport origin; MM_TEXT has no extents, one logical unit is one dot.
LONG device_x(const DeviceContextObject& context, LONG x) {
    const DrawingState& d = context.drawing;
    if (d.map_mode == MM_TEXT) return x - d.window_origin.x + d.viewport_origin.x;
    return scaled(x - d.window_origin.x, d.viewport_extent.cx, d.window_extent.cx) + d.viewport_origin.x;
}

LONG device_y(const DeviceContextObject& context, LONG y) {
    const DrawingState& d = context.drawing;
    if (d.map_mode == MM_TEXT) return y - d.window_origin.y + d.viewport_origin.y;
    return scaled(y - d.window_origin.y, d.viewport_extent.cy, d.window_extent.cy) + d.viewport_origin.y;
}

LONG logical_x(const DeviceContextObject& context, LONG x) {
    const DrawingState& d = context.drawing;
    if (d.map_mode == MM_TEXT) return x - d.viewport_origin.x + d.window_origin.x;
    return scaled(x - d.viewport_origin.x, d.window_extent.cx, d.viewport_extent.cx) + d.window_origin.x;
}

LONG logical_y(const DeviceContextObject& context, LONG y) {
    const DrawingState& d = context.drawing;
    if (d.map_mode == MM_TEXT) return y - d.viewport_origin.y + d.window_origin.y;
    return scaled(y - d.viewport_origin.y, d.window_extent.cy, d.viewport_extent.cy) + d.window_origin.y;
}

double device_units_per_logical_y(const DeviceContextObject& context) {
    const DrawingState& d = context.drawing;
    if (d.map_mode == MM_TEXT) return 1.0;
    return std::fabs(static_cast<double>(d.viewport_extent.cy) / d.window_extent.cy);
}

}  // namespace winsim::detail
