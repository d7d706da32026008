#include "gdi/graphics_persistence.h"

namespace winsim::detail {

void write_graphics(const MachineState& machine, toml::table& table) {
    toml::array devices;
    for (const auto& [driver, device] : machine.graphics.devices())
        devices.push_back(toml::table{{"driver", driver},
                                      {"resolution", device.resolution},
                                      {"margin", device.margin},
                                      {"colour", device.colour},
                                      {"bit_block_transfers", device.bit_block_transfers},
                                      {"proportional_default_font", device.proportional_default_font},
                                      {"charset", static_cast<int>(device.charset)},
                                      {"answers_capabilities", device.answers_capabilities}});
    table.insert("device", std::move(devices));
    table.insert("screen_charset", static_cast<int>(machine.graphics.screen_charset()));
}

void read_graphics(MachineState& machine, const toml::table& table) {
    if (const toml::array* devices = table["device"].as_array())
        for (const toml::node& entry : *devices) {
            const toml::table* saved = entry.as_table();
            if (!saved) continue;
            DeviceProperties device;
            device.resolution = (*saved)["resolution"].value_or(device.resolution);
            device.margin = (*saved)["margin"].value_or(device.margin);
            device.colour = (*saved)["colour"].value_or(device.colour);
            device.bit_block_transfers = (*saved)["bit_block_transfers"].value_or(device.bit_block_transfers);
            device.proportional_default_font = (*saved)["proportional_default_font"].value_or(device.proportional_default_font);
            device.charset = static_cast<BYTE>((*saved)["charset"].value_or(static_cast<int>(device.charset)));
            device.answers_capabilities = (*saved)["answers_capabilities"].value_or(device.answers_capabilities);
            machine.graphics.set_device((*saved)["driver"].value_or(std::string{}), device);
        }
    machine.graphics.set_screen_charset(static_cast<BYTE>(table["screen_charset"].value_or(static_cast<int>(ANSI_CHARSET))));
}

}  // namespace winsim::detail
