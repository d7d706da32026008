// Mapping modes, window and viewport, and the stack of saved drawing states.
#include "gdi/gdi_objects.h"

#include <cstdlib>

namespace {

using winsim::detail::DeviceContextObject;
using winsim::detail::DrawingState;
using winsim::detail::fail;

// MM_ISOTROPIC keeps one unit as long across as down: the viewport extent shrinks on
// the axis that would stretch more.
void keep_isotropic(DeviceContextObject& context) {
    DrawingState& d = context.drawing;
    if (d.map_mode != MM_ISOTROPIC) return;
    const double across = std::abs(static_cast<double>(d.viewport_extent.cx) / d.window_extent.cx) / context.device.dpi_x;
    const double down = std::abs(static_cast<double>(d.viewport_extent.cy) / d.window_extent.cy) / context.device.dpi_y;
    // An extent never shrinks to nothing: the mapping divides by it.
    auto shrink = [](LONG extent, double factor) {
        const LONG shrunk = static_cast<LONG>(extent * factor);
        return shrunk != 0 ? shrunk : extent < 0 ? -1 : 1;
    };
    if (across > down) d.viewport_extent.cx = shrink(d.viewport_extent.cx, down / across);
    else if (down > across) d.viewport_extent.cy = shrink(d.viewport_extent.cy, across / down);
}

template <typename Pair, typename Member>
BOOL set_pair(HDC hdc, Pair* previous, Member member, LONG x, LONG y, bool is_extent) {
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, FALSE);  // (unconfirmed)
    Pair& value = context->drawing.*member;
    if (previous) *previous = value;
    if (is_extent) {
        // Extents mean nothing in MM_TEXT: the call succeeds and changes nothing.
        if (context->drawing.map_mode == MM_TEXT) return TRUE;
        if (x == 0 || y == 0) return fail(ERROR_INVALID_PARAMETER, FALSE);  // (unconfirmed)
    }
    value = Pair{x, y};
    if (is_extent) keep_isotropic(*context);
    return TRUE;
}

}  // namespace

int WINAPI SetMapMode(HDC hdc, int iMode) {
    WINSIM_API("SetMapMode", 0);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, 0);  // (unconfirmed)
    if (iMode != MM_TEXT && iMode != MM_ISOTROPIC && iMode != MM_ANISOTROPIC)
        return winsim::detail::not_simulated("SetMapMode to a metric or English mode", 0);
    DrawingState& d = context->drawing;
    const int previous = d.map_mode;
    // MM_TEXT comes with one dot to the unit; the free modes start from the extents
    // the old mode had.
    if (iMode == MM_TEXT) d.window_extent = d.viewport_extent = SIZE{1, 1};
    d.map_mode = iMode;
    keep_isotropic(*context);
    return previous;
}

BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    WINSIM_API("SetWindowOrgEx", FALSE);
    return set_pair(hdc, lppt, &DrawingState::window_origin, x, y, false);
}

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    WINSIM_API("SetViewportOrgEx", FALSE);
    return set_pair(hdc, lppt, &DrawingState::viewport_origin, x, y, false);
}

BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    WINSIM_API("SetWindowExtEx", FALSE);
    return set_pair(hdc, lpsz, &DrawingState::window_extent, x, y, true);
}

BOOL WINAPI SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    WINSIM_API("SetViewportExtEx", FALSE);
    return set_pair(hdc, lpsz, &DrawingState::viewport_extent, x, y, true);
}

// The level of the state saved: 1 for the first.
int WINAPI SaveDC(HDC hdc) {
    WINSIM_API("SaveDC", 0);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, 0);  // (unconfirmed)
    context->saved.push_back(context->drawing);
    if (std::shared_ptr<winsim::detail::FontObject> font = winsim::detail::font_of(context->drawing.font)) ++font->selections;
    return static_cast<int>(context->saved.size());
}

// A positive level goes back to the state saved at that level; a negative one counts
// back from the last saved. The states saved after it go too.
BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
    WINSIM_API("RestoreDC", FALSE);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, FALSE);  // (unconfirmed)
    const int depth = static_cast<int>(context->saved.size());
    const int level = nSavedDC < 0 ? depth + nSavedDC + 1 : nSavedDC;
    if (nSavedDC == 0 || level < 1 || level > depth) return FALSE;  // no error set (unconfirmed)
    const DrawingState restored = context->saved[static_cast<std::size_t>(level - 1)];
    // Each saved state holds its font as a selection; the ones dropped let theirs go.
    for (int dropped = depth; dropped > level; --dropped)
        winsim::detail::deselect(context->saved[static_cast<std::size_t>(dropped - 1)].font);
    context->saved.resize(static_cast<std::size_t>(level - 1));
    const HGDIOBJ current_font = context->drawing.font;
    const HGDIOBJ current_bitmap = context->drawing.bitmap;
    context->drawing = restored;
    context->drawing.bitmap = current_bitmap;  // a memory context's bitmap stays (unconfirmed)
    winsim::detail::deselect(current_font);
    return TRUE;
}
