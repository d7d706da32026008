// Reads and lays out registry values through the Win32 calls, as another program on
// the machine would, to see what the library wrote.
#pragma once

#include <winsim/windows.h>

#include <optional>
#include <string>

namespace testing_support {

struct StoredValue {
    DWORD type;
    std::string bytes;
    bool operator==(const StoredValue&) const = default;
};

inline std::optional<StoredValue> stored_value(HKEY root, const char* key_path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, key_path, 0, KEY_READ, &key)) return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<StoredValue> value;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string bytes(size, '\0');
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(bytes.data()), &size) == ERROR_SUCCESS)
            value = StoredValue{type, bytes.substr(0, size)};
    }
    RegCloseKey(key);
    return value;
}

inline bool key_exists(HKEY root, const char* key_path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, key_path, 0, KEY_READ, &key)) return false;
    RegCloseKey(key);
    return true;
}

inline void store_value(HKEY root, const char* key_path, const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    RegCreateKeyExA(root, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

inline std::string dword_bytes(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }
inline std::string text_bytes(const char* text) { return std::string(text, std::char_traits<char>::length(text) + 1); }

}  // namespace testing_support
