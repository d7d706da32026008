#include "machine_run.h"

namespace conformance {

void play_on(winsim::Machine& machine, const Scenario& scenario, std::FILE* out) {
    machine.make_current();
    play(scenario, Phase::before_restart, out);
    if (!scenario.after_restart) return;
    machine.reboot();
    play(scenario, Phase::after_restart, out);
}

}  // namespace conformance
