// The registry's key tree, shared by the Win32 calls and the control API, and its
// REGEDIT4 text form.
#pragma once

#include "core/names.h"

#include <winsim/platforms.h>
#include <winsim/registry/registry.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winsim {
struct MachineOptions;
}

namespace winsim::detail {

struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

struct RegKey {
    std::string name;
    std::weak_ptr<RegKey> parent;
    std::vector<std::shared_ptr<RegKey>> subkeys;  // creation order
    // The same subkeys by their folded names: a print server's key holds thousands, and
    // every lookup by name would walk them all.
    std::unordered_map<std::string, std::shared_ptr<RegKey>> subkeys_by_name;
    // Creation order. Changed only through set_value and remove_value, which keep the
    // index by name beside it: a print server's "Devices" key holds a value per printer.
    std::vector<RegValue> values;
    std::unordered_map<std::string, std::size_t> value_positions;
    std::optional<KeySecurity> security;
    // Created by a user who is not an administrator: as on NT, the creator's default
    // DACL lets that user write the key even where the machine's keys are closed to them.
    bool user_owned = false;
    // Set once the key is gone from the tree; open handles still hold it.
    bool deleted = false;
    // When the Win32 calls last changed the key (FILETIME units); REGEDIT4 has no room
    // for it, so a machine opened again starts from its boot time.
    std::uint64_t last_write = 0;

    std::shared_ptr<RegKey> subkey(std::string_view key_name) const;
    RegValue* value(std::string_view value_name);
    const RegValue* value(std::string_view value_name) const;
    // Sets a value's type and data, adding it after the others when it is new.
    void set_value(std::string_view value_name, DWORD type, std::string data);
    bool remove_value(std::string_view value_name);
};

std::shared_ptr<RegKey> add_subkey(const std::shared_ptr<RegKey>& parent, std::string_view key_name);
// A key name with its letters folded, as names are compared.
std::string folded_name(std::string_view name);


// The parts of a relative key path; nothing when the path is malformed (it starts with
// a backslash or has two together). One trailing backslash is allowed, as on Windows.
std::optional<std::vector<std::string_view>> split_key_path(std::string_view path);

class RegistryStore {
public:
    RegistryStore();

    // Empties the registry and lays out the keys a new machine of this platform has.
    void lay_out(Platform platform, const MachineOptions& options);

    std::shared_ptr<RegKey> local_machine() const { return local_machine_; }
    std::shared_ptr<RegKey> users() const { return users_; }
    // Where HKEY_CURRENT_USER and HKEY_CLASSES_ROOT lead; null once deleted.
    std::shared_ptr<RegKey> current_user() const;
    std::shared_ptr<RegKey> classes_root() const;
    const std::string& current_user_name() const { return current_user_name_; }

    // A key by its full path ("HKEY_LOCAL_MACHINE\\SOFTWARE"), or null.
    std::shared_ptr<RegKey> find(std::string_view path) const;
    // Creates what is missing of a full path.
    std::shared_ptr<RegKey> create(std::string_view path);
    // A key below `from` by a relative path, or null.
    static std::shared_ptr<RegKey> find_below(std::shared_ptr<RegKey> from, const std::vector<std::string_view>& parts);

    // Takes a key and everything below it out of the tree; handles to any of them then
    // see a deleted key.
    static void remove(const std::shared_ptr<RegKey>& key);
    bool is_root(const RegKey& key) const { return &key == local_machine_.get() || &key == users_.get(); }
    bool under_local_machine(const RegKey& key) const;

    std::string write_text() const;
    // Replaces every key by what the text holds; the user stays who lay_out() made.
    // Throws std::runtime_error naming the line when the text is not REGEDIT4.
    void read_text(std::string_view text);

private:
    // The path with HKEY_CURRENT_USER and HKEY_CLASSES_ROOT replaced by where they lead.
    std::string canonical(std::string_view path) const;
    // The real root of a full path and the parts below it (views into `storage`).
    std::shared_ptr<RegKey> split(std::string_view path, std::vector<std::string_view>& parts, std::string& storage) const;

    std::shared_ptr<RegKey> local_machine_;
    std::shared_ptr<RegKey> users_;
    std::string current_user_name_;
};

}  // namespace winsim::detail
