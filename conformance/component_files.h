// The product's components the scenarios install, as the lane ships them in
// components/ beside the program: under Wine the lane's real modules (its port
// monitor, print processor and driver), on winsim the images of the same recipes.
// newer\ holds the drivers again with a later file version.
#pragma once

#include <string>

namespace conformance {

// The component's bytes ("orvmon.dll", "newer\\orvdrv.dll"), or nothing when it cannot
// be read.
std::string component_bytes(const char* name);

// The component written to `destination` on the system under test. True when it is there.
bool lay_out_component(const char* name, const char* destination);

}  // namespace conformance
