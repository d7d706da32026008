#include "registry/machine_registry.h"

#include "core/names.h"

#include <cstring>

namespace winsim::detail {

std::shared_ptr<RegKey> subkey_of(const MachineState& machine, const std::string& parent, std::string_view name) {
    if (name.empty() || name.find('\\') != std::string_view::npos) return nullptr;
    const std::shared_ptr<RegKey> parent_key = machine.registry.store().find(parent);
    return parent_key ? parent_key->subkey(name) : nullptr;
}

std::optional<std::string> find_subkey(const MachineState& machine, const std::string& parent, std::string_view name) {
    const std::shared_ptr<RegKey> key = subkey_of(machine, parent, name);
    if (!key) return std::nullopt;
    return key->name;
}

KeyValues::KeyValues(const MachineState& machine, std::string_view path) : key_(machine.registry.store().find(path)) {}

DWORD KeyValues::dword(std::string_view name, DWORD fallback) const {
    const RegValue* found = value(name);
    if (!found || found->data.size() < 4) return fallback;
    DWORD number = 0;
    std::memcpy(&number, found->data.data(), 4);
    return number;
}

std::string KeyValues::string(std::string_view name) const {
    const RegValue* found = value(name);
    if (!found) return {};
    std::string_view text = found->data;
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    return std::string(text);
}

DWORD read_dword(const MachineState& machine, std::string_view path, std::string_view name, DWORD fallback) {
    return KeyValues(machine, path).dword(name, fallback);
}

std::string read_string(const MachineState& machine, std::string_view path, std::string_view name) {
    return KeyValues(machine, path).string(name);
}

}  // namespace winsim::detail
