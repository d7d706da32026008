// The host's way of playing a scenario: on a winsim machine, with the machine
// restarted between the scenario's two parts, as the lane restarts Wine between its
// two runs.
#pragma once

#include "scenarios.h"

#include <winsim/machine.h>

#include <cstdio>

namespace conformance {

void play_on(winsim::Machine& machine, const Scenario& scenario, std::FILE* out);

}  // namespace conformance
