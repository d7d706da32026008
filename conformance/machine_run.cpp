#include "machine_run.h"

#include "component_files.h"
#include "product_driver.h"

#include <mkimage/image.h>

#include <string>
#include <vector>

namespace conformance {

namespace {

// A module image of the machine's architecture with the one export a caller looks up.
std::string module_image(winsim::Machine& machine, const char* module_name, const char* export_name) {
    mkimage::ImageRecipe recipe;
    recipe.kind = machine.options().arch == winsim::Arch::x64 ? mkimage::ImageKind::pe32_plus : mkimage::ImageKind::pe32;
    recipe.module_name = module_name;
    recipe.exports = {export_name};
    return mkimage::build_image(recipe);
}

// The lane ships the resource thunk beside the program; here it goes where the
// product's setup puts it, the system directory, so that LoadLibraryA finds it by name
// (winsim runs the thunk's own code for it; the image only has to be there).
void ship_resource_thunk(winsim::Machine& machine) {
    machine.files().write_file(std::string(machine.platform_info().system_directory) + "\\brg32res.dll",
                               module_image(machine, "BRG32RES", "LoadString32_16"));
}

// What the lane's set-up does under Wine, through the control API: the driver's file
// (the image of the recipe the lane's driver is built with, so that its version is the
// same) in the driver directory, its models registered, and the file also where the
// spooler then finds the models' driver, as AddPrinterDriverA copies it there.
void lay_out_product_driver(winsim::Machine& machine) {
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    const std::string image = component_bytes("orvdrv.dll");
    machine.files().write_file(std::string(directory) + "\\" + product_driver_file, image);
    const ProductModels& models = product_models();
    machine.spooler().add_driver(models.plain, product_driver_file);
    machine.spooler().add_driver(models.docket, product_driver_file);

    DWORD count = 0;
    EnumPrinterDriversA(nullptr, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> block(needed);
    if (!needed || !EnumPrinterDriversA(nullptr, nullptr, 2, block.data(), needed, &needed, &count)) return;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_2A*>(block.data());
    for (DWORD i = 0; i < count; ++i) {
        const std::string name = drivers[i].pName;
        if ((name == models.plain || name == models.docket) && !machine.files().exists(drivers[i].pDriverPath))
            machine.files().write_file(drivers[i].pDriverPath, image);
    }
}

}  // namespace

void play_on(winsim::Machine& machine, const Scenario& scenario, std::FILE* out) {
    machine.make_current();
    ship_resource_thunk(machine);
    lay_out_product_driver(machine);
    play(scenario, Phase::before_restart, out);
    if (!scenario.after_restart) return;
    machine.reboot();
    play(scenario, Phase::after_restart, out);
}

}  // namespace conformance
