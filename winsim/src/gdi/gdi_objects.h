// The objects of the process's GDI: device contexts with the device they draw on,
// fonts and bitmaps. Each is an object of the handle table, so that one a program
// never deletes shows as a leak; the stock objects are not, as on Windows.
#pragma once

#include "core/api.h"
#include "gdi/device_geometry.h"
#include "gdi/fonts.h"

#include <winsim/gdi/printed_jobs.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

struct FontObject : KernelObject {
    LOGFONTA logfont{};
    int selections = 0;         // the contexts it is selected into
    bool delete_pending = false;  // deleted while selected: it goes when deselected
};

struct BitmapObject : KernelObject {
    std::string dib;  // BITMAPINFOHEADER, colours, bits, as a resource holds them
    LONG width = 0;
    LONG height = 0;
    WORD bit_count = 0;
    HDC selected_in = nullptr;
};

// The stock objects a context starts with: the device's own font, and the one-pixel
// bitmap of a memory context.
HGDIOBJ device_default_font();
HGDIOBJ default_bitmap();

enum class ContextKind { printer, screen, memory };

// What SaveDC keeps and RestoreDC brings back.
struct DrawingState {
    int map_mode = MM_TEXT;
    POINT window_origin{0, 0};
    SIZE window_extent{1, 1};
    POINT viewport_origin{0, 0};
    SIZE viewport_extent{1, 1};
    HGDIOBJ font = nullptr;    // device_default_font() until a program selects one
    HGDIOBJ bitmap = nullptr;  // memory contexts only
};

// The document a printer context is printing.
struct OpenDocument {
    std::size_t job = 0;  // index into the machine's printed jobs
    DWORD spooler_id = 0;
    bool page_open = false;
};

struct DeviceContextObject : KernelObject {
    ContextKind kind = ContextKind::printer;
    std::string printer;
    std::string driver;
    std::string devmode;               // the settings the context draws with
    std::vector<std::string> modules;  // the driver's files it keeps loaded
    DeviceGeometry device;
    DrawingState drawing;
    std::vector<DrawingState> saved;
    std::optional<OpenDocument> document;
};

std::shared_ptr<DeviceContextObject> context_of(HDC context);
std::shared_ptr<FontObject> font_of(HGDIOBJ object);
std::shared_ptr<BitmapObject> bitmap_of(HGDIOBJ object);

// The device's own font, its height in device units.
LOGFONTA device_font(const DeviceContextObject& context);
// The font a context draws with: the selected one at its mapped height, or the
// device's own.
RealizedFont realized_font(const DeviceContextObject& context);

// Taking an object out of a context (or the context going): a font deleted while it
// was selected goes now.
void deselect(HGDIOBJ object);

// A context going: the objects selected into it are taken out.
void release_objects(DeviceContextObject& context);
// A context deleted with its document still open: the job never prints.
void abandon_document(DeviceContextObject& context);

// The page a printer context draws on: null outside a started page.
PrintedPage* current_page(DeviceContextObject& context);

// The logical-to-device mapping of a context, and back.
LONG device_x(const DeviceContextObject& context, LONG x);
LONG device_y(const DeviceContextObject& context, LONG y);
LONG logical_x(const DeviceContextObject& context, LONG x);
LONG logical_y(const DeviceContextObject& context, LONG y);
// How many device units one logical unit of height is.
double device_units_per_logical_y(const DeviceContextObject& context);

}  // namespace winsim::detail
