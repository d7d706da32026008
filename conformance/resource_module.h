// The 16-bit driver's resource module the scenarios lay out: an NE image whose string
// table names the driver's ini file (520) and its sections (521 to 525), as the
// product's sample module does, under names of its own so that they show apart from
// the library's.
#pragma once

#include <string>

namespace conformance {

std::string driver_resource_module();

}  // namespace conformance
