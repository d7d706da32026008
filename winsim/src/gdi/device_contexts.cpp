// Device contexts: a printer's, the screen's, and memory ones. Making a printer's
// loads the printer's driver, and a printer that has no DEVMODE yet gets the driver's
// first one then. A device context is an object in the process's handle table, so one
// never deleted shows as a leak.
#include "gdi/gdi_objects.h"
#include "gdi/printer_devmodes.h"
#include "kernel/file_rules.h"
#include "spooler/spooler_internal.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using winsim::detail::ContextKind;
using winsim::detail::DeviceContextObject;
using winsim::detail::fail;
using winsim::detail::state;
namespace reg = winsim::print_registry;

// What a context holds while it lives: the driver's modules, loaded for it, each
// context under its own name so that deleting one leaves the others' holds.
std::string holder_of(HDC context) {
    return "device context " + std::to_string(reinterpret_cast<std::uintptr_t>(context));
}

// The printer's driver: its name, and its key among the environment's drivers when it
// is registered.
std::pair<std::string, std::optional<std::string>> driver_of(const winsim::detail::MachineState& machine,
                                                             const std::string& printer) {
    std::string driver = winsim::detail::read_string(machine, winsim::detail::printers_key(machine) + "\\" + printer, reg::printer_driver);
    std::optional<std::string> key = winsim::detail::find_subkey(machine, winsim::detail::drivers_key(machine), driver);
    return {std::move(driver), std::move(key)};
}

}  // namespace

HDC WINAPI CreateDCA(LPCSTR pwszDriver, LPCSTR pwszDevice, LPCSTR pszPort, const DEVMODEA* pdm) {
    WINSIM_API("CreateDCA", nullptr);
    (void)pszPort;  // ignored for printers since Win32
    if (pwszDriver && winsim::detail::same_name(pwszDriver, "DISPLAY"))
        return winsim::detail::not_simulated("CreateDCA of the display", static_cast<HDC>(nullptr));
    // The driver name is not looked at for a printer: the printer's own driver is loaded.
    if (!pwszDevice) return fail<HDC>(ERROR_INVALID_PARAMETER, nullptr);  // (unconfirmed)
    if (!winsim::detail::spooler_answers()) return nullptr;
    winsim::detail::MachineState& machine = state();
    std::optional<std::string> printer = winsim::detail::find_printer(machine, pwszDevice);
    // The spooler's answer to opening a printer it does not know (unconfirmed for 95/98).
    if (!printer) return fail<HDC>(ERROR_INVALID_PRINTER_NAME, nullptr);
    const auto [driver, driver_key] = driver_of(machine, *printer);
    if (!driver_key) return fail<HDC>(ERROR_UNKNOWN_PRINTER_DRIVER, nullptr);  // (unconfirmed)
    const std::string file =
        winsim::detail::read_string(machine, winsim::detail::drivers_key(machine) + "\\" + *driver_key, reg::driver_file);
    // A driver that cannot be loaded fails as its LoadLibrary did (unconfirmed).
    if (winsim::detail::loaded_driver_file(machine, file).empty()) return fail<HDC>(ERROR_MOD_NOT_FOUND, nullptr);
    std::optional<std::string> held = winsim::detail::stored_devmode(machine, *printer);
    if (!held) {
        held = winsim::detail::driver_devmode(machine, *printer, *driver_key);
        winsim::detail::store_devmode(machine, *printer, *held);
    }
    auto context = std::make_shared<DeviceContextObject>();
    context->printer = *printer;
    context->driver = driver;
    context->devmode = pdm && winsim::detail::readable_devmode(*pdm)
                           ? winsim::detail::accepted_devmode(machine, *printer, *driver_key, *held, *pdm)
                           : *held;
    context->modules = winsim::detail::loaded_driver_modules(machine, *driver_key);
    context->device = winsim::detail::printer_geometry(machine.graphics.device(driver), context->devmode);
    context->drawing.font = winsim::detail::device_default_font();
    const std::vector<std::string> modules = context->modules;
    HDC handle = static_cast<HDC>(winsim::detail::add_handle(std::move(context)));
    for (const std::string& module : modules) machine.files.hold(module, FILE_SHARE_READ, GENERIC_READ, holder_of(handle));
    return handle;
}

BOOL WINAPI DeleteDC(HDC hdc) {
    WINSIM_API("DeleteDC", FALSE);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, FALSE);
    winsim::detail::abandon_document(*context);
    winsim::detail::release_objects(*context);
    for (const std::string& module : context->modules) state().files.release(module, holder_of(hdc));
    state().handles.erase(reinterpret_cast<std::uintptr_t>(hdc));
    return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    WINSIM_API("CreateCompatibleDC", nullptr);
    auto memory = std::make_shared<DeviceContextObject>();
    if (hdc) {
        std::shared_ptr<DeviceContextObject> model = winsim::detail::context_of(hdc);
        if (!model) return fail<HDC>(ERROR_INVALID_HANDLE, nullptr);  // (unconfirmed)
        memory->device = model->device;
    } else {
        memory->device = winsim::detail::screen_geometry(state().graphics.screen_charset());
    }
    memory->kind = ContextKind::memory;
    memory->drawing.font = winsim::detail::device_default_font();
    memory->drawing.bitmap = winsim::detail::default_bitmap();
    return static_cast<HDC>(winsim::detail::add_handle(std::move(memory)));
}

// The screen's context: one a call, each a handle until ReleaseDC gives it back, as
// the few contexts of Windows' cache are.
HDC WINAPI GetDC(HWND hWnd) {
    WINSIM_API("GetDC", nullptr);
    if (hWnd) return winsim::detail::not_simulated("GetDC of a window", static_cast<HDC>(nullptr));
    auto screen = std::make_shared<DeviceContextObject>();
    screen->kind = ContextKind::screen;
    screen->device = winsim::detail::screen_geometry(state().graphics.screen_charset());
    screen->drawing.font = winsim::detail::device_default_font();
    return static_cast<HDC>(winsim::detail::add_handle(std::move(screen)));
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    WINSIM_API("ReleaseDC", 0);
    (void)hWnd;
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hDC);
    // Only a context GetDC gave is released; ReleaseDC sets no error (unconfirmed).
    if (!context || context->kind != ContextKind::screen) return 0;
    winsim::detail::release_objects(*context);
    state().handles.erase(reinterpret_cast<std::uintptr_t>(hDC));
    return 1;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    WINSIM_API("GetDeviceCaps", 0);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    // An invalid context answers 0 (unconfirmed: the error it sets).
    if (!context) return fail(ERROR_INVALID_HANDLE, 0);
    return winsim::detail::device_capability(context->device, index);
}

// The printable area (the whole surface of a screen or memory context), in logical
// units: a context keeps no clipping region of its own here.
int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
    WINSIM_API("GetClipBox", ERROR);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context || !lprect) return fail(ERROR_INVALID_PARAMETER, ERROR);  // (unconfirmed)
    LONG width = context->device.printable_width;
    LONG height = context->device.printable_height;
    if (context->kind == ContextKind::memory) {
        std::shared_ptr<winsim::detail::BitmapObject> bitmap = winsim::detail::bitmap_of(context->drawing.bitmap);
        width = bitmap ? bitmap->width : 1;
        height = bitmap ? bitmap->height : 1;
    }
    RECT box{winsim::detail::logical_x(*context, 0), winsim::detail::logical_y(*context, 0),
             winsim::detail::logical_x(*context, width), winsim::detail::logical_y(*context, height)};
    if (box.left > box.right) std::swap(box.left, box.right);
    if (box.top > box.bottom) std::swap(box.top, box.bottom);
    *lprect = box;
    return SIMPLEREGION;
}

// A colour device prints every colour as asked; a monochrome one prints black or
// white, whichever is nearer in brightness.
COLORREF WINAPI GetNearestColor(HDC hdc, COLORREF color) {
    WINSIM_API("GetNearestColor", CLR_INVALID);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::context_of(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, static_cast<COLORREF>(CLR_INVALID));  // (unconfirmed)
    color &= 0x00FFFFFF;
    if (context->device.bits_per_pixel > 1) return color;
    const int brightness = (299 * (color & 0xFF) + 587 * ((color >> 8) & 0xFF) + 114 * ((color >> 16) & 0xFF)) / 1000;
    return brightness >= 128 ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

// What the printer's driver tells of itself: the versions of the DEVMODE it makes.
int WINAPI DeviceCapabilitiesA(LPCSTR pDevice, LPCSTR pPort, WORD fwCapability, LPSTR pOutput, const DEVMODEA* pDevMode) {
    WINSIM_API("DeviceCapabilitiesA", -1);
    (void)pPort;
    (void)pOutput;
    (void)pDevMode;
    if (!pDevice) return fail(ERROR_INVALID_PARAMETER, -1);  // (unconfirmed)
    if (!winsim::detail::spooler_answers()) return -1;
    winsim::detail::MachineState& machine = state();
    std::optional<std::string> printer = winsim::detail::find_printer(machine, pDevice);
    if (!printer) return fail(ERROR_INVALID_PRINTER_NAME, -1);  // (unconfirmed)
    const auto [driver, driver_key] = driver_of(machine, *printer);
    if (!driver_key) return fail(ERROR_UNKNOWN_PRINTER_DRIVER, -1);  // (unconfirmed)
    if (!machine.graphics.device(driver).answers_capabilities) return fail(ERROR_NOT_SUPPORTED, -1);  // (unconfirmed)
    if (fwCapability != DC_VERSION && fwCapability != DC_DRIVER)
        return winsim::detail::not_simulated("DeviceCapabilitiesA of capability " + std::to_string(fwCapability), -1);
    const std::string devmode =
        winsim::detail::stored_devmode(machine, *printer).value_or(winsim::detail::driver_devmode(machine, *printer, *driver_key));
    DEVMODEA header{};
    std::memcpy(&header, devmode.data(), std::min(devmode.size(), offsetof(DEVMODEA, dmFields)));
    return fwCapability == DC_VERSION ? header.dmSpecVersion : header.dmDriverVersion;
}
