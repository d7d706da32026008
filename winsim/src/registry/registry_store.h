// The registry's key tree, shared by the Win32 calls and the control API, and its
// REGEDIT4 text form.
#pragma once

#include "core/names.h"

#include <winsim/platforms.h>
#include <winsim/registry/registry.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// A key's values or subkeys in the order of their names, letters folded: the positions
// of the entries, found by halving. A print server's keys hold thousands of entries and
// each of its printers' keys a few dozen; four bytes an entry beside the entries
// themselves keep a key's lookups within the memory the key already takes.
class NameIndex {
public:
    // The position of the entry named `name`, or nothing.
    template <typename NameAt>
    std::optional<std::size_t> find(std::string_view name, NameAt name_at) const {
        const auto at = lower_bound(name, name_at);
        if (at == positions_.end() || !same_name(name_at(*at), name)) return std::nullopt;
        return *at;
    }
    // Takes in the entry just placed at `position`, after all the others.
    template <typename NameAt>
    void add(std::size_t position, NameAt name_at) {
        positions_.insert(lower_bound(name_at(position), name_at), static_cast<std::uint32_t>(position));
    }
    // Lets go of the entry at `position`; the entries behind it move one forward.
    template <typename NameAt>
    void remove(std::size_t position, NameAt name_at) {
        auto at = lower_bound(name_at(position), name_at);
        while (at != positions_.end() && *at != position && same_name(name_at(*at), name_at(position))) ++at;
        if (at != positions_.end() && *at == position) positions_.erase(at);
        for (std::uint32_t& later : positions_)
            if (later > position) --later;
    }

private:
    template <typename NameAt>
    std::vector<std::uint32_t>::const_iterator lower_bound(std::string_view name, NameAt name_at) const {
        return std::lower_bound(positions_.begin(), positions_.end(), name,
                                [&](std::uint32_t position, std::string_view wanted) { return LessNoCase{}(name_at(position), wanted); });
    }

    std::vector<std::uint32_t> positions_;
};

struct RegKey {
    std::string name;
    std::weak_ptr<RegKey> parent;
    // Both in creation order, as they are enumerated, and changed only through the
    // functions below, which keep their indexes beside them.
    std::vector<std::shared_ptr<RegKey>> subkeys;
    std::vector<RegValue> values;
    NameIndex subkey_index;
    NameIndex value_index;
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
    // Takes a subkey out of the list and the index; it stays whole itself.
    void unlink_subkey(const RegKey& subkey);

    // The names the indexes order.
    auto value_name_at() const {
        return [this](std::size_t at) -> std::string_view { return values[at].name; };
    }
    auto subkey_name_at() const {
        return [this](std::size_t at) -> std::string_view { return subkeys[at]->name; };
    }
};

std::shared_ptr<RegKey> add_subkey(const std::shared_ptr<RegKey>& parent, std::string_view key_name);

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
