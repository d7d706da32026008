// The machine's own parts (services, spooler) read their settings from its registry the
// way Windows keeps them: a subkey found by name without regard to case, numbers as
// REG_DWORD, texts with their terminators.
#pragma once

#include "core/state.h"
#include "registry/registry_store.h"

#include <optional>
#include <string>
#include <string_view>

namespace winsim::detail {

// The subkey of `parent` named `name` without regard to case (a single name, no path),
// or null; and the same subkey's name as it is spelt.
std::shared_ptr<RegKey> subkey_of(const MachineState& machine, const std::string& parent, std::string_view name);
std::optional<std::string> find_subkey(const MachineState& machine, const std::string& parent, std::string_view name);
// One key's values, read where the key is found once: the spooler reads a dozen values
// of each printer for every printer it lists. A missing key reads as one without values.
class KeyValues {
public:
    KeyValues(const MachineState& machine, std::string_view path);
    explicit KeyValues(std::shared_ptr<const RegKey> key) : key_(std::move(key)) {}
    const RegValue* value(std::string_view name) const { return key_ ? key_->value(name) : nullptr; }
    DWORD dword(std::string_view name, DWORD fallback = 0) const;
    // A text without its terminators.
    std::string string(std::string_view name) const;

private:
    std::shared_ptr<const RegKey> key_;
};

DWORD read_dword(const MachineState& machine, std::string_view path, std::string_view name, DWORD fallback = 0);
std::string read_string(const MachineState& machine, std::string_view path, std::string_view name);

}  // namespace winsim::detail
