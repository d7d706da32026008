// The machine's registry as tests and tools see it: laying out keys and values and
// looking at what the library left there, without going through the Win32 calls (so
// nothing here is counted, failed by fault injection or refused for want of rights).
//
// Paths are backslash paths that start with a root's full name, compared without
// regard to case: "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana". HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT are accepted and lead where Windows leads them: to the current
// user's key under HKEY_USERS and to HKEY_LOCAL_MACHINE\SOFTWARE\Classes. A path
// naming a root that does not exist throws std::invalid_argument.
#pragma once

#include <winsim/windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct RegistryValue {
    DWORD type = REG_NONE;
    std::string bytes;  // exactly as stored, terminators included when there are any
    bool operator==(const RegistryValue&) const = default;
};

// What winsim keeps of the security descriptor a key was created with (NT only): just
// enough to tell "everyone may write" (a present, null DACL) from everything else.
struct KeySecurity {
    bool dacl_present = false;
    bool dacl_null = false;  // meaningful only with dacl_present
    bool operator==(const KeySecurity&) const = default;
};

namespace detail {
class RegistryStore;
}

class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The name of the current user's key under HKEY_USERS.
    const std::string& current_user_key() const;

    bool key_exists(std::string_view path) const;
    // Creates the key and every missing key above it.
    void create_key(std::string_view path);
    // Deletes the key with everything below it; false when there was no such key.
    bool delete_key(std::string_view path);
    // Names of the subkeys and of the values, in creation order ("" is the default value).
    std::vector<std::string> subkeys(std::string_view path) const;
    std::vector<std::string> values(std::string_view path) const;

    // Sets a value, creating its key when needed. The bytes are stored as given.
    void set_value(std::string_view path, std::string_view name, DWORD type, std::string_view bytes);
    // A REG_SZ with its terminator, and a REG_DWORD: the two forms most values take.
    void set_string(std::string_view path, std::string_view name, std::string_view text);
    void set_dword(std::string_view path, std::string_view name, DWORD number);
    std::optional<RegistryValue> value(std::string_view path, std::string_view name) const;
    bool delete_value(std::string_view path, std::string_view name);

    // The security descriptor kept with the key, or nothing when the key was created
    // without one (or on Windows 95/98, which keep none). Throws when there is no key.
    std::optional<KeySecurity> security_descriptor(std::string_view path) const;
    void set_security_descriptor(std::string_view path, std::optional<KeySecurity> security);

    // The whole registry as the REGEDIT4 text that a machine's registry.reg holds.
    std::string regedit_text() const;

    detail::RegistryStore& store() { return *store_; }
    const detail::RegistryStore& store() const { return *store_; }

private:
    std::unique_ptr<detail::RegistryStore> store_;
};

}  // namespace winsim
