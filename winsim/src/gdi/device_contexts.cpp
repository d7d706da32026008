// Device contexts of printers. Making one loads the printer's driver, and a printer
// that has no DEVMODE yet gets the driver's first one then. A device context is an
// object in the process's handle table, so one never deleted shows as a leak.
#include "gdi/printer_devmodes.h"
#include "kernel/file_rules.h"
#include "spooler/spooler_internal.h"

namespace {

using winsim::detail::fail;
using winsim::detail::state;
namespace reg = winsim::print_registry;

struct DeviceContextObject : winsim::detail::KernelObject {
    std::string printer;
    std::string devmode;  // the settings the context draws with
    std::vector<std::string> modules;  // the driver's files it keeps loaded
};

// What a context holds while it lives: the driver's modules, loaded for it, each
// context under its own name so that deleting one leaves the others' holds.
std::string holder_of(HDC context) {
    return "device context " + std::to_string(reinterpret_cast<std::uintptr_t>(context));
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
    const std::string printer_key = winsim::detail::printers_key(machine) + "\\" + *printer;
    const std::string driver = winsim::detail::read_string(machine, printer_key, reg::printer_driver);
    std::optional<std::string> driver_key =
        winsim::detail::find_subkey(machine, winsim::detail::drivers_key(machine), driver);
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
    context->devmode = pdm && winsim::detail::readable_devmode(*pdm)
                           ? winsim::detail::accepted_devmode(machine, *printer, *driver_key, *held, *pdm)
                           : *held;
    context->modules = winsim::detail::loaded_driver_modules(machine, *driver_key);
    const std::vector<std::string> modules = context->modules;
    HDC handle = static_cast<HDC>(winsim::detail::add_handle(std::move(context)));
    for (const std::string& module : modules) machine.files.hold(module, FILE_SHARE_READ, GENERIC_READ, holder_of(handle));
    return handle;
}

BOOL WINAPI DeleteDC(HDC hdc) {
    WINSIM_API("DeleteDC", FALSE);
    std::shared_ptr<DeviceContextObject> context = winsim::detail::handle_object<DeviceContextObject>(hdc);
    if (!context) return fail(ERROR_INVALID_HANDLE, FALSE);
    for (const std::string& module : context->modules) state().files.release(module, holder_of(hdc));
    state().handles.erase(reinterpret_cast<std::uintptr_t>(hdc));
    return TRUE;
}
