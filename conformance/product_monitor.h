// The product's port monitor as the scenarios install it through the library, and its
// removal, with the spooler alone, before and after them: Wine's prefix keeps what an
// earlier run left.
#pragma once

#include "session.h"

namespace conformance {

inline constexpr char product_monitor[] = "Orvana Fax Port";

// Lays the monitor out in a setup folder and installs it with insAddMonitor; the
// result, the name it read and the restart flag go in the step's line.
void install_product_monitor(Session& s, const char* step);

// The monitor unregistered, its keys (and its ports' keys) and its installed file gone.
void clear_product_monitor();

}  // namespace conformance
