// The profile calls: WIN.INI and private ini files on the machine's drive. NT keeps the
// WIN.INI sections it maps to the user's registry there, whatever the file says; 95/98
// keep everything in the file.
#include "kernel/profiles.h"

#include "core/api.h"
#include "core/names.h"
#include "kernel/file_rules.h"
#include "kernel/ini_text.h"
#include "registry/registry_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>

namespace winsim::detail {

namespace {

// The WIN.INI sections NT reads from HKCU\Software\Microsoft\Windows NT\CurrentVersion
// (IniFileMapping). NT maps more sections, to other keys; those stay in the file here.
constexpr std::string_view registry_sections[] = {"Windows", "Devices", "PrinterPorts"};
constexpr std::string_view registry_home = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";

// Where a call's entries are: an empty path names no file at all.
struct Profile {
    std::string path;
    bool win_ini = false;
};

std::string win_ini_path(const MachineState& machine) {
    return platform_directories(machine.platform, machine.options.administrator).windows + "\\WIN.INI";
}

Profile win_ini(const MachineState& machine) { return {win_ini_path(machine), true}; }

// The canonical name of a section NT keeps in the registry, when this one is.
std::optional<std::string_view> registry_section(const MachineState& machine, const Profile& profile,
                                                 std::string_view section) {
    if (!profile.win_ini || !is_nt(machine)) return std::nullopt;
    for (std::string_view name : registry_sections)
        if (same_name(name, section)) return name;
    return std::nullopt;
}

std::string section_key(std::string_view name) { return std::string(registry_home) + std::string(name); }

// The file's bytes as the profile calls read them: not at all while another open
// refuses to share it for reading.
std::optional<std::string> file_text(const MachineState& machine, const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::shared_ptr<FileNode> node = machine.files.node(path);
    if (!node || node->directory || !sharing_allows(node, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)) return std::nullopt;
    return node->data;
}

// Writes the file whole, making it when it is not there; 0 or the error.
DWORD store_file(MachineState& machine, const std::string& path, const std::string& bytes) {
    DWORD error = 0;
    std::optional<WindowsPath> parsed = machine.files.full_path(path, error);
    if (!parsed) return error;
    if (parsed->components.empty()) return ERROR_ACCESS_DENIED;
    WindowsPath parent = *parsed;
    parent.components.pop_back();
    std::shared_ptr<FileNode> directory = machine.files.find(parent, error);
    if (!directory || !directory->directory) return ERROR_PATH_NOT_FOUND;
    if (machine.files.on_read_only_drive(*directory)) return ERROR_ACCESS_DENIED;
    std::shared_ptr<FileNode> node = directory->child(parsed->components.back());
    if (node && (node->directory || (node->attributes & FILE_ATTRIBUTE_READONLY))) return ERROR_ACCESS_DENIED;
    if (node && !sharing_allows(node, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ)) return ERROR_SHARING_VIOLATION;
    if (!node) node = machine.files.add_child(*directory, parsed->components.back(), false);
    node->data = bytes;
    touch(*node);
    return 0;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

// A registry section's entries, read in one pass over its key whatever its size; none
// when the key is missing. A value's text ends before its terminators.
std::optional<Entries> registry_entries(const MachineState& machine, std::string_view name) {
    std::shared_ptr<RegKey> key = machine.registry.store().find(section_key(name));
    if (!key) return std::nullopt;
    Entries entries;
    for (const RegValue& value : key->values) {
        if (value.name.empty()) continue;
        std::string text = value.data;
        while (!text.empty() && text.back() == '\0') text.pop_back();
        entries.emplace_back(value.name, std::move(text));
    }
    return entries;
}

// A registry section as a text of that one section, or of none when its key is missing.
IniText registry_text(const MachineState& machine, std::string_view name) {
    IniText text;
    std::optional<Entries> entries = registry_entries(machine, name);
    if (!entries) return text;
    IniSection& section = text.add_section(name);
    // A key's value names are unique already: no entry needs looking up before it is added.
    for (auto& [key, value] : *entries) section.lines.push_back({std::move(key), std::move(value), true});
    return text;
}

void store_registry_section(MachineState& machine, std::string_view name, const IniText& text) {
    const std::string key = section_key(name);
    machine.registry.delete_key(key);
    const IniSection* section = text.section(name);
    if (!section) return;
    machine.registry.create_key(key);
    for (const IniLine& line : section->lines)
        if (line.entry) machine.registry.set_string(key, line.key, line.value);
}

// What the calls read: the file, with NT's registry sections in place of the file's own.
// A read of one section brings in only that one of the registry's: on a print server
// each holds an entry per printer, and a read of the default printer need not copy them.
IniText profile_text(const MachineState& machine, const Profile& profile, LPCSTR asked_section = nullptr) {
    std::optional<std::string> bytes = file_text(machine, profile.path);
    IniText text = bytes ? parse_ini(*bytes) : IniText{};
    if (!profile.win_ini || !is_nt(machine)) return text;
    for (std::string_view name : registry_sections) {
        while (text.remove_section(name)) {
        }
        if (asked_section && !same_name(asked_section, name)) continue;
        IniText kept = registry_text(machine, name);
        text.sections.insert(text.sections.end(), kept.sections.begin(), kept.sections.end());
    }
    return text;
}

// A write: a value set, a key deleted (no value) or a whole section deleted (no key).
// Whether anything changed.
bool apply(IniText& text, std::string_view section, std::optional<std::string_view> key,
           std::optional<std::string_view> value) {
    if (!key) return text.remove_section(section);
    IniSection* found = text.section(section);
    if (!value) return found && found->remove(*key);
    if (!found) found = &text.add_section(section);
    found->set(*key, *value);
    return true;
}

DWORD write_entry(MachineState& machine, const Profile& profile, std::string_view section,
                  std::optional<std::string_view> key, std::optional<std::string_view> value) {
    if (std::optional<std::string_view> name = registry_section(machine, profile, section)) {
        // One entry is one value of the section's key: set or deleted alone, so that a
        // spooler of thousands of printers does not rewrite the section for each.
        if (key) {
            const std::string section_path = section_key(*name);
            if (value) {
                machine.registry.create_key(section_path);
                machine.registry.set_string(section_path, *key, *value);
            } else if (machine.registry.key_exists(section_path)) {
                machine.registry.delete_value(section_path, *key);
            }
            return 0;
        }
        IniText text = registry_text(machine, *name);
        if (apply(text, section, key, value)) store_registry_section(machine, *name, text);
        return 0;
    }
    std::optional<std::string> bytes = file_text(machine, profile.path);
    IniText text = bytes ? parse_ini(*bytes) : IniText{};
    if (!apply(text, section, key, value)) return 0;
    return store_file(machine, profile.path, render_ini(text));
}

// A private file named without a path lies in the Windows directory; with one, it is
// taken against the current directory as every file call takes it.
Profile private_profile(LPCSTR file) {
    const MachineState& machine = state();
    if (!file) return win_ini(machine);
    if (!*file) return {};
    std::string path;
    if (!names_a_path(file)) {
        path = platform_directories(machine.platform, machine.options.administrator).windows + "\\" + file;
    } else {
        DWORD error = 0;
        std::optional<WindowsPath> parsed = machine.files.full_path(file, error);
        if (!parsed) return {};
        path = parsed->text();
    }
    return {path, same_name(path, win_ini_path(machine))};
}

std::optional<std::string_view> optional_text(LPCSTR text) {
    if (!text) return std::nullopt;
    return std::string_view(text);
}

// A value cut to the buffer: nSize - 1 characters at most, always terminated.
DWORD copy_value(std::string_view value, LPSTR buffer, DWORD size) {
    const std::size_t length = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

// Names, each terminated, and one more terminator after the last. A list that leaves
// less than two characters over is cut to nSize - 2 characters, terminated, and the
// last character of the buffer is left alone (Wine's kernel32 profile tests: "not
// enough room for final section name"; the lane, 17 characters of keys in a buffer
// of 19).
DWORD copy_list(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    std::string all;
    for (const std::string& name : names) all += name + '\0';
    if (all.size() + 2 <= size) {
        std::memcpy(buffer, all.data(), all.size());
        buffer[all.size()] = '\0';
        return static_cast<DWORD>(all.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, all.data(), size - 2);
    buffer[size - 2] = '\0';
    return size - 2;
}

// The default is answered without its trailing blanks (Wine's profile tests: "default  "
// gives "default" on every version); no default is an empty one.
std::string_view default_value(LPCSTR text) {
    std::string_view value = text ? text : "";
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    return value;
}

DWORD get_string(const Profile& profile, LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    const MachineState& machine = state();
    const IniText text = profile_text(machine, profile, section);
    if (!section) return copy_list(text.section_names(), buffer, size);
    const IniSection* found = *section ? text.section(section) : nullptr;
    // A section without keys, or none, answers the default instead of an empty list (the lane).
    if (!key && found && !found->keys().empty()) return copy_list(found->keys(), buffer, size);
    if (found && key && *key)
        if (const IniLine* line = found->entry(key)) return copy_value(unquoted(line->value), buffer, size);
    if (!file_text(machine, profile.path) && !registry_section(machine, profile, section)) set_last_error(ERROR_FILE_NOT_FOUND);
    return copy_value(default_value(fallback), buffer, size);
}

// The number at the start of the value, with an optional sign, wrapping at 32 bits as
// Windows does (Wine's profile tests: "4294967297" gives 1, "42A94967297" 42, "B1" 0).
UINT leading_number(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    UINT number = 0;
    for (char digit : text) {
        if (!std::isdigit(static_cast<unsigned char>(digit))) break;
        number = number * 10 + static_cast<UINT>(digit - '0');
    }
    return negative ? 0u - number : number;
}

// No section or key, a missing or an empty value: the default.
UINT get_int(const Profile& profile, LPCSTR section, LPCSTR key, INT fallback) {
    if (!section || !key) return static_cast<UINT>(fallback);
    char value[1024];
    if (!get_string(profile, section, key, "", value, sizeof value)) return static_cast<UINT>(fallback);
    return leading_number(value);
}

BOOL write_string(const Profile& profile, LPCSTR section, LPCSTR key, LPCSTR value) {
    // All three missing only asks to flush the cache, which always answers FALSE.
    if (!section && !key && !value) return FALSE;
    // Unconfirmed on Windows: Wine answers a missing section with ERROR_FILE_NOT_FOUND.
    if (!section || profile.path.empty()) return fail(ERROR_FILE_NOT_FOUND, FALSE);
    DWORD error = write_entry(state(), profile, section, optional_text(key), optional_text(value));
    return error ? fail(error, FALSE) : TRUE;
}

}  // namespace

std::optional<std::string> win_ini_value(const MachineState& machine, std::string_view section, std::string_view key) {
    const std::string asked(section);
    const IniText text = profile_text(machine, win_ini(machine), asked.c_str());
    const IniSection* found = text.section(section);
    const IniLine* line = found ? found->entry(key) : nullptr;
    if (!line) return std::nullopt;
    return line->value;
}

std::vector<std::pair<std::string, std::string>> win_ini_entries(const MachineState& machine, std::string_view section) {
    if (std::optional<std::string_view> name = registry_section(machine, win_ini(machine), section))
        return registry_entries(machine, *name).value_or(Entries{});
    Entries entries;
    const std::string asked(section);
    const IniText text = profile_text(machine, win_ini(machine), asked.c_str());
    const IniSection* found = text.section(section);
    if (!found) return entries;
    // A key written twice answers with its first value, as a lookup of it would.
    std::unordered_map<std::string, std::string> first_values;
    for (const IniLine& line : found->lines) {
        if (!line.entry) continue;
        const std::string& value = first_values.try_emplace(folded_name(line.key), line.value).first->second;
        entries.emplace_back(line.key, value);
    }
    return entries;
}

void write_win_ini(MachineState& machine, std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) {
    write_entry(machine, win_ini(machine), section, key, value);
}

}  // namespace winsim::detail

using winsim::detail::state;

DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString, DWORD nSize) {
    WINSIM_API("GetProfileStringA", 0u);
    return winsim::detail::get_string(winsim::detail::win_ini(state()), lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize);
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName) {
    WINSIM_API("GetPrivateProfileStringA", 0u);
    return winsim::detail::get_string(winsim::detail::private_profile(lpFileName), lpAppName, lpKeyName, lpDefault,
                                      lpReturnedString, nSize);
}

BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString) {
    WINSIM_API("WriteProfileStringA", FALSE);
    return winsim::detail::write_string(winsim::detail::win_ini(state()), lpAppName, lpKeyName, lpString);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
    WINSIM_API("WritePrivateProfileStringA", FALSE);
    return winsim::detail::write_string(winsim::detail::private_profile(lpFileName), lpAppName, lpKeyName, lpString);
}

UINT WINAPI GetProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault) {
    WINSIM_API("GetProfileIntA", static_cast<UINT>(nDefault));
    return winsim::detail::get_int(winsim::detail::win_ini(state()), lpAppName, lpKeyName, nDefault);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
    WINSIM_API("GetPrivateProfileIntA", static_cast<UINT>(nDefault));
    return winsim::detail::get_int(winsim::detail::private_profile(lpFileName), lpAppName, lpKeyName, nDefault);
}
