// The DEVMODE a printer's driver makes and keeps: its public part in the platform's
// DEVMODE version, and for the product's driver a private part of its own behind it.
#pragma once

#include "core/api.h"

#include <optional>
#include <string>
#include <string_view>

namespace winsim::detail {

// The product's driver is known by its model name, the name it is registered under;
// every other driver is another maker's and keeps no private part.
bool is_product_driver(std::string_view driver);

// The private bytes the product's driver keeps behind the public DEVMODE: enough to
// reach past offset 206 even behind NT 3.51's public part of 124 bytes.
inline constexpr WORD product_private_size = 96;

// The DEVMODE the driver makes for a printer that has none: the platform's public
// part, then the product's private part (zero-filled) for the product's driver.
std::string driver_devmode(const MachineState& machine, std::string_view printer, std::string_view driver);

// Whether a caller's DEVMODE can be read at all: at least the oldest public part.
bool readable_devmode(const DEVMODEA& given);

// What the driver keeps when a caller hands it a DEVMODE over the one it holds (empty
// when the printer has none yet). The product's driver keeps its own version and
// sizes: it takes the public fields the two share and the private part only when the
// caller's has its size. Another maker's driver keeps the caller's bytes as given.
std::string accepted_devmode(const MachineState& machine, std::string_view printer, std::string_view driver,
                             const std::string& held, const DEVMODEA& given);

// The DEVMODE a new printer starts with: the caller's in the driver's form when it
// gave one that can be read, else another maker's driver's own; none for the
// product's driver, which makes it with the printer's first device context.
std::optional<std::string> initial_devmode(const MachineState& machine, std::string_view printer, std::string_view driver,
                                           const DEVMODEA* given);

// The printer's DEVMODE as the spooler keeps it, none before its first device context.
std::optional<std::string> stored_devmode(const MachineState& machine, std::string_view printer);
void store_devmode(MachineState& machine, std::string_view printer, const std::string& devmode);

}  // namespace winsim::detail
