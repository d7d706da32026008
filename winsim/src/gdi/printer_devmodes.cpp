#include "gdi/printer_devmodes.h"

#include "registry/machine_registry.h"
#include "spooler/spooler_internal.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace winsim::detail {

namespace {

// The model names the product's driver files carry.
constexpr std::array<std::string_view, 4> product_models = {
    "Orvana Print Driver", "Orvana Win98 Driver", "Orvana Docket Driver", "Orvana Win98 Docket Driver"};

// The public part of NT 3.51's DEVMODE, the oldest a printer driver of these
// platforms reads.
constexpr WORD oldest_public_size = 124;

std::string printer_key(const MachineState& machine, std::string_view printer) {
    return printers_key(machine) + "\\" + std::string(printer);
}

DEVMODEA header_of(const std::string& devmode) {
    DEVMODEA header{};
    std::memcpy(&header, devmode.data(), std::min(devmode.size(), sizeof header));
    return header;
}

}  // namespace

bool is_product_driver(std::string_view driver) {
    return std::any_of(product_models.begin(), product_models.end(),
                       [&](std::string_view model) { return same_name(model, driver); });
}

std::string driver_devmode(const MachineState& machine, std::string_view printer, std::string_view driver) {
    std::string devmode = default_devmode(machine, printer);
    if (!is_product_driver(driver)) return devmode;
    DEVMODEA header = header_of(devmode);
    header.dmDriverExtra = product_private_size;
    std::memcpy(devmode.data(), &header, offsetof(DEVMODEA, dmFields));
    devmode.append(product_private_size, '\0');
    return devmode;
}

bool readable_devmode(const DEVMODEA& given) { return given.dmSize >= oldest_public_size; }

std::string accepted_devmode(const MachineState& machine, std::string_view printer, std::string_view driver,
                             const std::string& held, const DEVMODEA& given) {
    const char* given_bytes = reinterpret_cast<const char*>(&given);
    if (!is_product_driver(driver)) return std::string(given_bytes, std::size_t{given.dmSize} + given.dmDriverExtra);
    std::string kept = held.empty() ? driver_devmode(machine, printer, driver) : held;
    const DEVMODEA own = header_of(kept);
    // The fields from dmFields on are the public settings; the name, versions and
    // sizes before them stay the driver's.
    const std::size_t settings = offsetof(DEVMODEA, dmFields);
    const std::size_t shared = std::min<std::size_t>(given.dmSize, own.dmSize);
    std::memcpy(kept.data(), given.dmDeviceName, sizeof given.dmDeviceName);
    if (shared > settings) std::memcpy(kept.data() + settings, given_bytes + settings, shared - settings);
    if (given.dmDriverExtra == own.dmDriverExtra)
        std::memcpy(kept.data() + own.dmSize, given_bytes + given.dmSize, own.dmDriverExtra);
    return kept;
}

std::optional<std::string> initial_devmode(const MachineState& machine, std::string_view printer, std::string_view driver,
                                           const DEVMODEA* given) {
    if (given && readable_devmode(*given)) return accepted_devmode(machine, printer, driver, {}, *given);
    if (is_product_driver(driver)) return std::nullopt;
    return driver_devmode(machine, printer, driver);
}

std::optional<std::string> stored_devmode(const MachineState& machine, std::string_view printer) {
    std::optional<RegistryValue> value = machine.registry.value(printer_key(machine, printer), print_registry::printer_devmode);
    if (!value || value->bytes.empty()) return std::nullopt;
    return value->bytes;
}

void store_devmode(MachineState& machine, std::string_view printer, const std::string& devmode) {
    machine.registry.set_value(printer_key(machine, printer), print_registry::printer_devmode, REG_BINARY, devmode);
}

}  // namespace winsim::detail
