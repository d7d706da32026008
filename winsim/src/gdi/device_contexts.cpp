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
};

// The driver's file as the spooler would load it: in the driver directory, on NT in
// the subdirectory of the platform's driver version or the directory itself.
bool driver_file_present(const std::string& file) {
    if (file.empty()) return false;
    winsim::detail::MachineState& machine = state();
    const winsim::detail::Directories where = winsim::detail::platform_directories(machine.platform, machine.options.administrator);
    if (machine.files.exists(where.driver + "\\" + file)) return true;
    return !where.driver_version.empty() && machine.files.exists(where.driver + "\\" + where.driver_version + "\\" + file);
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
    if (!driver_file_present(file)) return fail<HDC>(ERROR_MOD_NOT_FOUND, nullptr);
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
    return static_cast<HDC>(winsim::detail::add_handle(std::move(context)));
}

BOOL WINAPI DeleteDC(HDC hdc) {
    WINSIM_API("DeleteDC", FALSE);
    if (!winsim::detail::handle_object<DeviceContextObject>(hdc)) return fail(ERROR_INVALID_HANDLE, FALSE);
    state().handles.erase(reinterpret_cast<std::uintptr_t>(hdc));
    return TRUE;
}
