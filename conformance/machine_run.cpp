#include "machine_run.h"

#include <mkimage/image.h>

namespace conformance {

namespace {

// The lane ships the resource thunk beside the program; here it goes where the
// product's setup puts it, the system directory, so that LoadLibraryA finds it by name
// (winsim runs the thunk's own code for it; the image only has to be there).
void ship_resource_thunk(winsim::Machine& machine) {
    mkimage::ImageRecipe recipe;
    recipe.kind = machine.options().arch == winsim::Arch::x64 ? mkimage::ImageKind::pe32_plus : mkimage::ImageKind::pe32;
    recipe.module_name = "BRG32RES";
    recipe.exports = {"LoadString32_16"};
    machine.files().write_file(std::string(machine.platform_info().system_directory) + "\\brg32res.dll",
                               mkimage::build_image(recipe));
}

}  // namespace

void play_on(winsim::Machine& machine, const Scenario& scenario, std::FILE* out) {
    machine.make_current();
    ship_resource_thunk(machine);
    play(scenario, Phase::before_restart, out);
    if (!scenario.after_restart) return;
    machine.reboot();
    play(scenario, Phase::after_restart, out);
}

}  // namespace conformance
