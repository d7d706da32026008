#include "registry/machine_registry.h"

#include "core/names.h"

#include <cstring>

namespace winsim::detail {

std::optional<std::string> find_subkey(const MachineState& machine, const std::string& parent, std::string_view name) {
    if (name.empty() || name.find('\\') != std::string_view::npos || !machine.registry.key_exists(parent)) return std::nullopt;
    for (const std::string& key : machine.registry.subkeys(parent))
        if (same_name(key, name)) return key;
    return std::nullopt;
}

DWORD read_dword(const MachineState& machine, std::string_view path, std::string_view name, DWORD fallback) {
    std::optional<RegistryValue> value = machine.registry.value(path, name);
    if (!value || value->bytes.size() < 4) return fallback;
    DWORD number = 0;
    std::memcpy(&number, value->bytes.data(), 4);
    return number;
}

std::string read_string(const MachineState& machine, std::string_view path, std::string_view name) {
    std::optional<RegistryValue> value = machine.registry.value(path, name);
    if (!value) return {};
    std::string text = value->bytes;
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace winsim::detail
