#include "registry_path.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"
#include "frame/platform_flags.h"

namespace {

struct Root {
    LPCSTR name;
    HKEY key;
};

// Compared byte for byte over the whole first segment, in this order.
const Root roots[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
    {"HKU", HKEY_USERS}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER}, {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"HKCR", HKEY_CLASSES_ROOT},
};

constexpr REGSAM read_write = KEY_READ | KEY_WRITE;

bool same_bytes(LPCSTR a, LPCSTR b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

bool find_root(LPCSTR segment, HKEY* key) {
    for (const Root& root : roots) {
        if (same_bytes(root.name, segment)) {
            *key = root.key;
            return true;
        }
    }
    return false;
}

}  // namespace

LONG query_dword(HKEY key, LPCSTR name, DWORD* value) {
    DWORD size = sizeof *value;
    LONG code = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size);
    return code ? record_error(static_cast<DWORD>(code), IDS_RETRIEVE_DATA_REGVALUEQUERYEX_REG_DWORD, name, 0, 0) : 0;
}

LPSTR copy_text(LPCSTR text) {
    auto* copy = static_cast<LPSTR>(heap_alloc(static_cast<SIZE_T>(lstrlenA(text)) + 1));
    if (copy) lstrcpyA(copy, text);
    return copy;
}

namespace {

// Ends the first segment of `text` at its slash; answers the rest, or null after the last.
LPSTR split_segment(LPSTR text) {
    for (LPSTR p = text; *p; ++p) {
        if (*p == '/') {
            *p = '\0';
            return p + 1;
        }
    }
    return nullptr;
}

// Security attributes that give a new key access for everyone: the product's parts that
// run in a user's context write these keys.
class OpenSecurity {
public:
    LONG prepare() {
        descriptor_ = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
        if (!descriptor_) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        if (!InitializeSecurityDescriptor(descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(descriptor_, TRUE, nullptr, FALSE))
            return record_last_error(IDS_TRAVERSE_PATH_REGISTRY_KEY_CREATOR, nullptr, 0, 0);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = TRUE;
        return ERROR_SUCCESS;
    }
    ~OpenSecurity() {
        if (descriptor_) LocalFree(descriptor_);
    }
    LPSECURITY_ATTRIBUTES attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    HLOCAL descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

HKEY traverse_path(LPCSTR path, LONG* error) {
    *error = ERROR_SUCCESS;
    LPSTR copy = copy_text(path);
    if (!copy) {
        *error = record_error(ERROR_NOT_ENOUGH_MEMORY, IDS_MEMORY_ALLOCATION, path, 0, 0);
        return nullptr;
    }
    LPSTR segment = copy;
    LPSTR rest = split_segment(segment);
    HKEY current = nullptr;
    OpenSecurity security;
    if (!find_root(segment, &current)) {
        *error = record_error(ERROR_INVALID_DATA, IDS_TRAVERSE_PATH_REGISTRY_KEY_CREATOR, segment, 0, 0);
        current = nullptr;
    } else if (os_is_nt) {
        *error = security.prepare();
        if (*error) current = nullptr;
    }
    while (current && rest) {
        segment = rest;
        rest = split_segment(segment);
        HKEY next = nullptr;
        LONG code = RegOpenKeyExA(current, segment, 0, read_write, &next);
        if (code == ERROR_FILE_NOT_FOUND) {
            DWORD disposition = 0;
            code = RegCreateKeyExA(current, segment, 0, nullptr, REG_OPTION_NON_VOLATILE, read_write, security.attributes(),
                                   &next, &disposition);
            if (code) *error = record_error(static_cast<DWORD>(code), IDS_TRAVERSE_PATH_REGCREATEKEYEX, segment, 0, 0);
        } else if (code) {
            *error = record_error(static_cast<DWORD>(code), IDS_TRAVERSE_PATH_REGOPENKEYEX, segment, 0, 0);
        }
        RegCloseKey(current);
        current = code ? nullptr : next;
    }
    heap_free(copy);
    return current;
}

LONG ConfirmRegValueExists(LPCSTR path, LPCSTR value_name) {
    LPSTR copy = copy_text(path);
    if (!copy) {
        record_error(ERROR_NOT_ENOUGH_MEMORY, IDS_MEMORY_ALLOCATION, path, 0, 0);
        return 0;
    }
    LONG exists = 0;
    LPSTR rest = split_segment(copy);
    HKEY root = nullptr;
    if (!find_root(copy, &root)) {
        record_error(ERROR_INVALID_DATA, IDS_CONFIRMREGVALUEEXISTS, path, 0, 0);
    } else if (!rest) {
        exists = 1;
    } else {
        for (LPSTR p = rest; *p; ++p)
            if (*p == '/') *p = '\\';
        HKEY key = nullptr;
        LONG code = RegOpenKeyExA(root, rest, 0, KEY_READ, &key);
        if (code) {
            record_error(static_cast<DWORD>(code), IDS_CONFIRMREGVALUEEXISTS, path, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND);
        } else {
            exists = 1;
            if (value_name && *value_name) {
                code = RegQueryValueExA(key, value_name, nullptr, nullptr, nullptr, nullptr);
                if (code) {
                    exists = 0;
                    record_error(static_cast<DWORD>(code), IDS_CONFIRMREGVALUEEXISTS, path, ERROR_FILE_NOT_FOUND,
                                 ERROR_PATH_NOT_FOUND);
                }
            }
            RegCloseKey(key);
        }
    }
    heap_free(copy);
    return exists;
}

LONG dword_from_text(LPCSTR text) {
    LPCSTR p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 2147483648LL) value = 2147483648LL;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) value = 2147483647LL;
    return static_cast<LONG>(value);
}

void dword_to_text(DWORD value, LPSTR text) { wsprintfA(text, "%ld", static_cast<LONG>(value)); }
