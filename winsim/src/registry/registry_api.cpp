// The registry calls of advapi32. They return their error code instead of setting the
// last error. The NT family checks rights: a user who is not an administrator reads
// HKEY_LOCAL_MACHINE but writes only the keys that let everyone write (a present, null
// DACL) and the keys that user made; 95/98 check nothing and keep no security at all.
#include "core/api.h"
#include "registry/registry_store.h"

#include <algorithm>
#include <cstring>

namespace {

using winsim::detail::RegKey;
using winsim::detail::RegValue;
using winsim::detail::RegistryStore;
using winsim::detail::fail;
using winsim::detail::state;

// The entry of a registry call: fault injection answers with the code itself.
#define WINSIM_REGISTRY_API(name)                                  \
    ::winsim::detail::ApiCall winsim_api_call_(name);              \
    if (DWORD winsim_code_ = winsim_api_call_.injected()) return static_cast<LONG>(winsim_code_);

constexpr LONG error_bad_pathname = 161;
constexpr REGSAM maximum_allowed = 0x02000000;
constexpr REGSAM wow64_view_flags = 0x0300;
constexpr WORD se_self_relative = 0x8000;
// A self-relative descriptor with neither owner, group nor ACLs.
constexpr DWORD empty_security_descriptor_size = 20;

struct KeyObject : winsim::detail::KernelObject {
    std::shared_ptr<RegKey> key;
    REGSAM access = 0;
};

using winsim::detail::is_nt;
RegistryStore& store() { return state().registry.store(); }

bool may_write(const RegKey& key) {
    if (!is_nt() || state().options.administrator) return true;
    if (!store().under_local_machine(key)) return true;
    if (key.user_owned) return true;
    return key.security && key.security->dacl_present && key.security->dacl_null;
}

REGSAM mapped(REGSAM sam) {
    if (sam & (GENERIC_READ | GENERIC_EXECUTE)) sam |= KEY_READ;
    if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
    if (sam & GENERIC_ALL) sam |= KEY_ALL_ACCESS;
    return sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | wow64_view_flags | SYNCHRONIZE);
}

// The rights a handle to `key` gets for `sam`, or ERROR_ACCESS_DENIED. `creator` is
// the user who has just created the key, to whom it belongs.
LONG grant(const RegKey& key, REGSAM sam, bool creator, REGSAM& granted) {
    if (!is_nt()) {
        granted = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    sam = mapped(sam);
    bool writable = creator || may_write(key);
    if (sam & maximum_allowed) {
        granted = (writable ? KEY_ALL_ACCESS : KEY_READ) | (sam & ~maximum_allowed);
        return ERROR_SUCCESS;
    }
    if ((sam & ~static_cast<REGSAM>(KEY_READ)) && !writable) return ERROR_ACCESS_DENIED;
    granted = sam;
    return ERROR_SUCCESS;
}

bool is_predefined(HKEY key) {
    auto value = reinterpret_cast<std::intptr_t>(key);
    return value >= static_cast<std::int32_t>(0x80000000) && value <= static_cast<std::int32_t>(0x80000006);
}

struct Opened {
    std::shared_ptr<RegKey> key;
    REGSAM access = 0;
    LONG error = ERROR_SUCCESS;
};

Opened resolve(HKEY handle) {
    Opened opened;
    if (is_predefined(handle)) {
        if (handle == HKEY_LOCAL_MACHINE) opened.key = store().local_machine();
        else if (handle == HKEY_USERS) opened.key = store().users();
        else if (handle == HKEY_CURRENT_USER) opened.key = store().current_user();
        else if (handle == HKEY_CLASSES_ROOT) opened.key = store().classes_root();
        else {
            winsim::detail::report_not_simulated("HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG and HKEY_DYN_DATA");
            opened.error = ERROR_CALL_NOT_IMPLEMENTED;
            return opened;
        }
        if (!opened.key) {
            // Only the control API can take away the key a predefined handle stands for.
            opened.error = ERROR_BADKEY;
            return opened;
        }
        opened.access = !is_nt() || may_write(*opened.key) ? KEY_ALL_ACCESS : KEY_READ;
        return opened;
    }
    auto object = winsim::detail::handle_object<KeyObject>(handle);
    if (!object) {
        opened.error = ERROR_INVALID_HANDLE;
        return opened;
    }
    opened.key = object->key;
    opened.access = object->access;
    // 95/98 find the handle's key gone from their tree; NT says so.
    if (opened.key->deleted) opened.error = is_nt() ? ERROR_KEY_DELETED : ERROR_BADKEY;
    return opened;
}

// Resolves a handle for an operation that needs `right` on NT.
Opened resolve_for(HKEY handle, REGSAM right) {
    Opened opened = resolve(handle);
    if (opened.error == ERROR_SUCCESS && is_nt() && !(opened.access & right)) opened.error = ERROR_ACCESS_DENIED;
    return opened;
}

HKEY add_key_handle(std::shared_ptr<RegKey> key, REGSAM access) {
    auto object = std::make_shared<KeyObject>();
    object->key = std::move(key);
    object->access = access;
    return reinterpret_cast<HKEY>(winsim::detail::add_handle(std::move(object)));
}

void touch(RegKey& key) {
    key.last_write = winsim::detail::ticks_of(state().clock.now());
}

FILETIME last_write_of(const RegKey& key) {
    // 95/98 keep no times.
    if (!is_nt()) return FILETIME{0, 0};
    return winsim::detail::filetime_of(key.last_write ? key.last_write : state().clock.boot_time());
}

bool is_string_type(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Copies a name with its terminator when the buffer (in characters, terminator
// included) holds it; otherwise ERROR_MORE_DATA and nothing written.
LONG copy_name(const std::string& name, LPSTR buffer, LPDWORD size) {
    if (*size < name.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Whether the caller's buffer is too small for the value's data.
bool data_overflows(const RegValue& value, LPBYTE data, LPDWORD size) {
    return data && size && *size < value.data.size();
}

// The value's data into a caller's buffer, as RegQueryValueExA and RegEnumValueA answer.
// A text stored without its terminator is handed out as stored, and terminated
// when the buffer has room for one more byte; the size answered stays the stored one.
LONG copy_data(const RegValue& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type) *type = value.type;
    if (!size) return ERROR_SUCCESS;
    const auto needed = static_cast<DWORD>(value.data.size());
    const bool overflows = data_overflows(value, data, size);
    if (data && !overflows) {
        std::memcpy(data, value.data.data(), needed);
        if (is_string_type(value.type) && needed > 0 && *size > needed && value.data.back() != '\0') data[needed] = '\0';
    }
    *size = needed;
    return overflows ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

// What NT's ANSI entry does with a text whose size leaves out the terminator while the
// byte after it is one: it counts the terminator in. It reads that byte as Windows
// does, one past the size given.
DWORD text_size_with_terminator(DWORD type, const BYTE* data, DWORD size) {
    if (is_nt() && is_string_type(type) && data && size > 0 && data[size - 1] != 0 && data[size] == 0) return size + 1;
    return size;
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    WINSIM_REGISTRY_API("RegOpenKeyExA");
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    Opened base = resolve(hKey);
    if (base.error) return base.error;
    if (!lpSubKey || !*lpSubKey) {
        if (is_predefined(hKey)) {
            *phkResult = hKey;
            return ERROR_SUCCESS;
        }
        // NT 3.5 made a null subkey mean an empty one; 3.1 refused it.
        if (!lpSubKey && state().platform == winsim::Platform::nt31) return ERROR_BADKEY;
    }
    auto parts = winsim::detail::split_key_path(lpSubKey ? lpSubKey : "");
    if (!parts) return error_bad_pathname;
    std::shared_ptr<RegKey> key = RegistryStore::find_below(base.key, *parts);
    if (!key) return ERROR_FILE_NOT_FOUND;
    REGSAM granted = 0;
    if (LONG error = grant(*key, samDesired, false, granted)) return error;
    *phkResult = add_key_handle(std::move(key), granted);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition) {
    WINSIM_REGISTRY_API("RegCreateKeyExA");
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    Opened base = resolve(hKey);
    if (base.error) return base.error;
    auto parts = winsim::detail::split_key_path(lpSubKey);
    if (!parts) return error_bad_pathname;

    std::shared_ptr<RegKey> key = base.key;
    std::size_t existing = 0;
    for (; existing < parts->size(); ++existing) {
        std::shared_ptr<RegKey> next = key->subkey((*parts)[existing]);
        if (!next) break;
        key = std::move(next);
    }
    bool creating = existing < parts->size();
    REGSAM granted = 0;
    if (!creating) {
        if (LONG error = grant(*key, samDesired, false, granted)) return error;
        if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        *phkResult = add_key_handle(std::move(key), granted);
        return ERROR_SUCCESS;
    }

    if (dwOptions & REG_OPTION_VOLATILE) return winsim::detail::unsimulated_code("volatile registry keys");
    std::optional<winsim::KeySecurity> security;
    if (is_nt()) {
        if (!may_write(*key)) return ERROR_ACCESS_DENIED;
        if (lpSecurityAttributes && lpSecurityAttributes->lpSecurityDescriptor) {
            const auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(lpSecurityAttributes->lpSecurityDescriptor);
            if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) return ERROR_INVALID_SECURITY_DESCR;
            if (descriptor->Control & se_self_relative) return winsim::detail::unsimulated_code("self-relative security descriptors");
            bool present = descriptor->Control & SE_DACL_PRESENT;
            security = winsim::KeySecurity{present, present && descriptor->Dacl == nullptr};
        }
    }
    bool user_owned = is_nt() && !state().options.administrator && store().under_local_machine(*key);
    touch(*key);
    // Every level the call makes gets the caller's descriptor, as NT builds a path key by key.
    for (; existing < parts->size(); ++existing) {
        key = winsim::detail::add_subkey(key, (*parts)[existing]);
        key->security = security;
        key->user_owned = user_owned;
        touch(*key);
    }
    grant(*key, samDesired, true, granted);
    if (lpdwDisposition) *lpdwDisposition = REG_CREATED_NEW_KEY;
    *phkResult = add_key_handle(std::move(key), granted);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    WINSIM_REGISTRY_API("RegCloseKey");
    if (is_predefined(hKey)) return ERROR_SUCCESS;
    if (!winsim::detail::handle_object<KeyObject>(hKey)) return ERROR_INVALID_HANDLE;
    state().handles.erase(reinterpret_cast<std::uintptr_t>(hKey));
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    WINSIM_REGISTRY_API("RegQueryValueExA");
    Opened opened = resolve_for(hKey, KEY_QUERY_VALUE);
    if (opened.error) return opened.error;
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    const RegValue* value = opened.key->value(lpValueName ? lpValueName : "");
    if (!value) {
        // Asked for the size only, NT answers 0; 95/98 leave it. The type is 0
        // (REG_NONE) on 95/98; NT writes a value of its own, taken as 0 (unconfirmed).
        if (!lpData && lpcbData && is_nt()) *lpcbData = 0;
        if (lpType) *lpType = REG_NONE;
        return ERROR_FILE_NOT_FOUND;
    }
    return copy_data(*value, lpType, lpData, lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    WINSIM_REGISTRY_API("RegSetValueExA");
    Opened opened = resolve_for(hKey, KEY_SET_VALUE);
    if (opened.error) return opened.error;
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    std::string name = lpValueName ? lpValueName : "";
    // Windows 95 keeps only strings as a key's default value; 98 took any type.
    if (name.empty() && dwType != REG_SZ && state().platform == winsim::Platform::win95) return ERROR_INVALID_PARAMETER;
    cbData = text_size_with_terminator(dwType, lpData, cbData);
    std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
    // 95/98 take a text by its terminator and ignore the size given; NT stores exactly
    // the bytes it is given. A list of texts still needs its size.
    if (!is_nt() && (dwType == REG_SZ || dwType == REG_EXPAND_SZ) && lpData)
        data.assign(reinterpret_cast<const char*>(lpData), std::strlen(reinterpret_cast<const char*>(lpData)) + 1);
    else if (!is_nt() && is_string_type(dwType) && (data.empty() || data.back() != '\0'))
        data += '\0';
    opened.key->set_value(name, dwType, std::move(data));
    touch(*opened.key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    WINSIM_REGISTRY_API("RegQueryInfoKeyA");
    Opened opened = resolve_for(hKey, KEY_QUERY_VALUE);
    if (opened.error) return opened.error;
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    // 95 lets a class buffer come without its size; NT does not.
    if (lpClass && !lpcchClass && is_nt()) return ERROR_INVALID_PARAMETER;
    const RegKey& key = *opened.key;
    // No key has a class: the class is the empty string.
    if (lpcchClass) {
        if (lpClass && *lpcchClass > 0) lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    std::size_t longest_subkey = 0;
    for (const auto& subkey : key.subkeys) longest_subkey = std::max(longest_subkey, subkey->name.size());
    // 95/98 count the longest subkey name with its terminator.
    if (!is_nt() && !key.subkeys.empty()) ++longest_subkey;
    std::size_t longest_name = 0;
    std::size_t longest_data = 0;
    for (const RegValue& value : key.values) {
        longest_name = std::max(longest_name, value.name.size());
        longest_data = std::max(longest_data, value.data.size());
    }
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key.subkeys.size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(longest_subkey);
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(key.values.size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(longest_name);
    if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(longest_data);
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = is_nt() ? empty_security_descriptor_size : 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = last_write_of(key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    WINSIM_REGISTRY_API("RegEnumValueA");
    Opened opened = resolve_for(hKey, KEY_QUERY_VALUE);
    if (opened.error) return opened.error;
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    if (dwIndex >= opened.key->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& value = opened.key->values[dwIndex];
    // Data that does not fit leaves both the name and the data alone; a name that does
    // not fit is cut to its buffer and the data still written. Either way the name's
    // size stays as it was and the type and the data's size are answered.
    if (data_overflows(value, lpData, lpcbData)) {
        copy_data(value, lpType, nullptr, lpcbData);
        return ERROR_MORE_DATA;
    }
    if (copy_name(value.name, lpValueName, lpcchValueName) == ERROR_SUCCESS) return copy_data(value, lpType, lpData, lpcbData);
    if (*lpcchValueName > 0) {
        std::memcpy(lpValueName, value.name.data(), *lpcchValueName - 1);
        lpValueName[*lpcchValueName - 1] = '\0';
    }
    copy_data(value, lpType, lpData, lpcbData);
    return ERROR_MORE_DATA;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    WINSIM_REGISTRY_API("RegEnumKeyExA");
    Opened opened = resolve_for(hKey, KEY_ENUMERATE_SUB_KEYS);
    if (opened.error) return opened.error;
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    if (dwIndex >= opened.key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const RegKey& subkey = *opened.key->subkeys[dwIndex];
    if (LONG error = copy_name(subkey.name, lpName, lpcchName)) return error;
    if (lpcchClass) {
        if (lpClass && *lpcchClass > 0) lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = last_write_of(subkey);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    WINSIM_REGISTRY_API("RegDeleteValueA");
    Opened opened = resolve_for(hKey, KEY_SET_VALUE);
    if (opened.error) return opened.error;
    std::string_view name = lpValueName ? lpValueName : "";
    if (!opened.key->remove_value(name)) return ERROR_FILE_NOT_FOUND;
    touch(*opened.key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    WINSIM_REGISTRY_API("RegDeleteKeyA");
    Opened base = resolve(hKey);
    if (base.error) return base.error;
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    auto parts = winsim::detail::split_key_path(lpSubKey);
    if (!parts) return error_bad_pathname;
    // What a predefined handle stands for is not the caller's to delete.
    if (parts->empty() && is_predefined(hKey)) return ERROR_ACCESS_DENIED;
    std::shared_ptr<RegKey> key = RegistryStore::find_below(base.key, *parts);
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (store().is_root(*key)) return ERROR_ACCESS_DENIED;
    if (is_nt()) {
        // NT deletes one key at a time; 95/98 take the key with everything below it.
        if (!key->subkeys.empty() || !may_write(*key)) return ERROR_ACCESS_DENIED;
    }
    if (auto parent = key->parent.lock()) touch(*parent);
    RegistryStore::remove(key);
    return ERROR_SUCCESS;
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    WINSIM_API("InitializeSecurityDescriptor", FALSE);
    // 95/98 have the entry points of NT's security but none of it.
    if (!is_nt()) return fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION, FALSE);
    if (!pSecurityDescriptor) return fail(ERROR_INVALID_PARAMETER, FALSE);
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    *descriptor = SECURITY_DESCRIPTOR{};
    descriptor->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                                      BOOL bDaclDefaulted) {
    WINSIM_API("SetSecurityDescriptorDacl", FALSE);
    if (!is_nt()) return fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (!pSecurityDescriptor) return fail(ERROR_INVALID_PARAMETER, FALSE);
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) return fail(ERROR_UNKNOWN_REVISION, FALSE);
    if (descriptor->Control & se_self_relative) return fail(ERROR_INVALID_SECURITY_DESCR, FALSE);
    if (!bDaclPresent) {
        descriptor->Control &= static_cast<WORD>(~SE_DACL_PRESENT);
        return TRUE;
    }
    descriptor->Control |= SE_DACL_PRESENT;
    descriptor->Dacl = pDacl;
    if (bDaclDefaulted) descriptor->Control |= SE_DACL_DEFAULTED;
    else descriptor->Control &= static_cast<WORD>(~SE_DACL_DEFAULTED);
    return TRUE;
}
