// Fonts and bitmaps: making them, selecting them into contexts, deleting them.
#include "gdi/gdi_objects.h"
#include "images/module_resources.h"

#include <cstring>

namespace {

using winsim::detail::BitmapObject;
using winsim::detail::ContextKind;
using winsim::detail::DeviceContextObject;
using winsim::detail::FontObject;
using winsim::detail::fail;
using winsim::detail::state;

bool is_stock(HGDIOBJ object) {
    return object == winsim::detail::device_default_font() || object == winsim::detail::default_bitmap();
}

// The size and depth of a bitmap resource, from the header that begins it; nothing
// for bytes that hold no bitmap a program could draw.
std::shared_ptr<BitmapObject> bitmap_from_resource(std::string dib) {
    auto bitmap = std::make_shared<BitmapObject>();
    if (dib.size() >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER header;
        std::memcpy(&header, dib.data(), sizeof header);
        if (header.biSize < sizeof header || header.biWidth <= 0 || header.biHeight == 0) return nullptr;
        bitmap->width = header.biWidth;
        bitmap->height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
        // LoadBitmapA makes a bitmap of the screen's format; a monochrome one stays
        // monochrome.
        bitmap->bit_count = header.biBitCount == 1 ? 1 : 32;
    } else {
        return nullptr;
    }
    bitmap->dib = std::move(dib);
    return bitmap;
}

}  // namespace

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf) {
    WINSIM_API("CreateFontIndirectA", nullptr);
    if (!lplf) return fail<HFONT>(ERROR_INVALID_PARAMETER, nullptr);  // (unconfirmed)
    auto font = std::make_shared<FontObject>();
    font->logfont = *lplf;
    font->logfont.lfFaceName[LF_FACESIZE - 1] = '\0';
    return static_cast<HFONT>(winsim::detail::add_handle(std::move(font)));
}

// A font goes into any context; a bitmap only into a memory context, and into one
// at a time. The answer is the object it replaces, which the program selects back.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    WINSIM_API("SelectObject", nullptr);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);  // (unconfirmed)
    std::shared_ptr<FontObject> font = winsim::detail::font_of(h);
    if ((font && !font->delete_pending) || h == winsim::detail::device_default_font()) {
        HGDIOBJ previous = context->drawing.font;
        if (font) ++font->selections;
        context->drawing.font = h;
        winsim::detail::deselect(previous);
        return previous;
    }
    std::shared_ptr<BitmapObject> bitmap = winsim::detail::bitmap_of(h);
    if (bitmap || h == winsim::detail::default_bitmap()) {
        if (context->kind != ContextKind::memory) return fail<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);  // (unconfirmed)
        if (bitmap && bitmap->selected_in && bitmap->selected_in != hdc) return fail<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);
        HGDIOBJ previous = context->drawing.bitmap;
        winsim::detail::deselect(previous);
        if (bitmap) bitmap->selected_in = hdc;
        context->drawing.bitmap = h;
        return previous;
    }
    return fail<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);  // (unconfirmed)
}

// A stock object is never deleted, yet the call succeeds. A font still selected
// somewhere lives on until it is taken out; a selected bitmap is not deleted.
BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    WINSIM_API("DeleteObject", FALSE);
    if (!ho) return FALSE;
    if (is_stock(ho)) return TRUE;
    if (std::shared_ptr<FontObject> font = winsim::detail::font_of(ho)) {
        if (font->selections > 0) font->delete_pending = true;
        else state().handles.erase(reinterpret_cast<std::uintptr_t>(ho));
        return TRUE;
    }
    if (std::shared_ptr<BitmapObject> bitmap = winsim::detail::bitmap_of(ho)) {
        if (bitmap->selected_in) return FALSE;  // (unconfirmed)
        state().handles.erase(reinterpret_cast<std::uintptr_t>(ho));
        return TRUE;
    }
    return fail(ERROR_INVALID_HANDLE, FALSE);  // (unconfirmed)
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    WINSIM_API("LoadBitmapA", nullptr);
    if (!hInstance) return winsim::detail::not_simulated("LoadBitmapA of a system bitmap", static_cast<HBITMAP>(nullptr));
    if (!IS_INTRESOURCE(lpBitmapName))
        return winsim::detail::not_simulated("LoadBitmapA of a bitmap by name", static_cast<HBITMAP>(nullptr));
    DWORD error = 0;
    std::optional<std::string> dib =
        winsim::detail::module_bitmap(hInstance, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(lpBitmapName)), error);
    if (!dib) return fail<HBITMAP>(error, nullptr);
    std::shared_ptr<BitmapObject> bitmap = bitmap_from_resource(std::move(*dib));
    if (!bitmap) return fail<HBITMAP>(ERROR_INVALID_DATA, nullptr);  // (unconfirmed)
    return static_cast<HBITMAP>(winsim::detail::add_handle(std::move(bitmap)));
}

// Only the question a program asks before drawing a bitmap: its size and format,
// with no bits (lpvBits null, the header's bit count 0).
int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage) {
    WINSIM_API("GetDIBits", 0);
    (void)start;
    (void)cLines;
    (void)usage;
    std::shared_ptr<BitmapObject> bitmap = winsim::detail::bitmap_of(hbm);
    if (!winsim::detail::context_of(hdc) || !bitmap || !lpbmi) return fail(ERROR_INVALID_PARAMETER, 0);  // (unconfirmed)
    if (lpvBits) return winsim::detail::not_simulated("GetDIBits of the bits", 0);
    if (lpbmi->bmiHeader.biSize == sizeof(BITMAPCOREHEADER)) {
        auto* core = reinterpret_cast<BITMAPCOREHEADER*>(lpbmi);
        if (core->bcBitCount != 0) return winsim::detail::not_simulated("GetDIBits of a colour table", 0);
        core->bcWidth = static_cast<WORD>(bitmap->width);
        core->bcHeight = static_cast<WORD>(bitmap->height);
        core->bcPlanes = 1;
        core->bcBitCount = bitmap->bit_count;
        return 1;
    }
    if (lpbmi->bmiHeader.biSize >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER& header = lpbmi->bmiHeader;
        if (header.biBitCount != 0) return winsim::detail::not_simulated("GetDIBits of a colour table", 0);
        header.biWidth = bitmap->width;
        header.biHeight = bitmap->height;
        header.biPlanes = 1;
        header.biBitCount = bitmap->bit_count;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(((bitmap->width * bitmap->bit_count + 31) / 32) * 4 * bitmap->height);
        return 1;
    }
    return fail(ERROR_INVALID_PARAMETER, 0);  // (unconfirmed)
}
