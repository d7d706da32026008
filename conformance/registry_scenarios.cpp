// The registry exports against the system's own registry, read back past the library.
#include "scenarios.h"
#include "session.h"

#include <cstring>
#include <string>

namespace conformance {

namespace {

// ---- registry ---------------------------------------------------------------------

// Every key the registry scenarios write lies below one of these, and they are taken
// away before and after each scenario: a real system keeps its registry from one run
// to the next, and a key left by the last run would hide a key this run creates.
struct ScratchKey {
    HKEY root;
    const char* subkey;
};
const ScratchKey scratch_keys[] = {
    {HKEY_LOCAL_MACHINE, "Software\\OrvConformance"},
    {HKEY_USERS, ".DEFAULT\\Software\\OrvConformance"},
    {HKEY_CURRENT_USER, "Software\\OrvConformance"},
    {HKEY_CLASSES_ROOT, "OrvConformance"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\OrvConformance Printer"},
};

// NT's RegDeleteKeyA takes only a key without subkeys, so the tree goes leaves first.
void delete_tree(HKEY root, const char* subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
    for (;;) {
        char name[256];
        DWORD name_size = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::string child = std::string(subkey) + "\\" + name;
        delete_tree(root, child.c_str());
        HKEY probe = nullptr;
        if (RegOpenKeyExA(root, child.c_str(), 0, KEY_READ, &probe) == ERROR_SUCCESS) {
            // Not deleted: enumerating again would find it again.
            RegCloseKey(probe);
            break;
        }
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, subkey);
}

void clear_scratch_keys() {
    for (const ScratchKey& scratch : scratch_keys) delete_tree(scratch.root, scratch.subkey);
}

// The value as RegQueryValueExA answers it, read past the library.
Facts stored_value(HKEY root, const char* subkey, const char* name) {
    Facts facts;
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(root, subkey, 0, KEY_READ, &key);
    facts.number("open", opened);
    if (opened != ERROR_SUCCESS) return facts;
    DWORD type = REG_NONE;
    BYTE data[64];
    DWORD size = sizeof data;
    LONG queried = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    facts.number("query", queried);
    if (queried != ERROR_SUCCESS) return facts;
    facts.number("type", static_cast<long long>(type)).number("size", static_cast<long long>(size));
    if (type == REG_DWORD && size == 4)
        facts.hex("data", static_cast<unsigned long>(data[0] | data[1] << 8 | data[2] << 16) |
                              static_cast<unsigned long>(data[3]) << 24);
    else
        facts.text("data", std::string_view(reinterpret_cast<const char*>(data), size < sizeof data ? size : sizeof data));
    return facts;
}

Facts key_opens(HKEY root, const char* subkey) {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(root, subkey, 0, KEY_READ, &key);
    if (opened == ERROR_SUCCESS) RegCloseKey(key);
    return Facts().number("open", opened);
}

// Bytes after the buffer the library is told of: they must still hold the fill.
constexpr std::size_t guard_size = 4;

template <typename Fetch>
void fetch(Session& s, std::string_view step, Fetch call, LONG buffer_size) {
    std::string buffer(static_cast<std::size_t>(buffer_size > 0 ? buffer_size : 0) + guard_size, '#');
    LONG type = untouched;
    LONG needed = untouched;
    LONG result = call(reinterpret_cast<LPBYTE>(buffer.data()), &type, buffer_size, &needed);
    Facts facts;
    if (type == untouched) facts.word("type", "untouched");
    else facts.number("type", type);
    if (needed == untouched) facts.word("needed", "untouched");
    else facts.number("needed", needed);
    std::size_t shown = buffer.size() - guard_size;
    facts.text("buffer", std::string_view(buffer).substr(0, shown));
    facts.word("guard", buffer.substr(shown) == std::string(guard_size, '#') ? "intact" : "overwritten");
    s.result(step, result, facts);
}

void fetch_value(Session& s, std::string_view step, const char* path, const char* name, LONG buffer_size) {
    fetch(
        s, step,
        [&](LPBYTE buffer, LPLONG type, LONG size, LPLONG needed) {
            return s.x.fetch_registry_val(path, name, buffer, type, size, needed);
        },
        buffer_size);
}

void set_value(Session& s, std::string_view step, const char* path, const char* name, std::string_view data, LONG type,
               LONG length) {
    std::string copy(data);  // data with a NUL after it even when a length cuts it short
    s.result(step, s.x.set_registry_val(path, name, copy.c_str(), type, length));
}

struct RootForm {
    const char* name;
    HKEY key;
    const char* below;  // where the scenario's keys go, in the library's slash form
    const char* below_key;  // the same, as RegOpenKeyExA takes it
};
const RootForm root_forms[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "Software/OrvConformance", "Software\\OrvConformance"},
    {"HKLM", HKEY_LOCAL_MACHINE, "Software/OrvConformance", "Software\\OrvConformance"},
    {"HKEY_USERS", HKEY_USERS, ".DEFAULT/Software/OrvConformance", ".DEFAULT\\Software\\OrvConformance"},
    {"HKU", HKEY_USERS, ".DEFAULT/Software/OrvConformance", ".DEFAULT\\Software\\OrvConformance"},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, "Software/OrvConformance", "Software\\OrvConformance"},
    {"HKCU", HKEY_CURRENT_USER, "Software/OrvConformance", "Software\\OrvConformance"},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, "OrvConformance", "OrvConformance"},
    {"HKCR", HKEY_CLASSES_ROOT, "OrvConformance", "OrvConformance"},
};

// Each form writes a value named after itself into the same key, so the check of the
// short form shows both values side by side only when both forms lead to one key.
void registry_roots(Session& s) {
    for (const RootForm& form : root_forms) {
        std::string path = std::string(form.name) + "/" + form.below + "/Roots";
        std::string key = std::string(form.below_key) + "\\Roots";
        std::string data = std::string("written as ") + form.name;
        set_value(s, std::string("set ") + form.name, path.c_str(), form.name, data, REG_SZ, -1);
        fetch_value(s, std::string("fetch ") + form.name, path.c_str(), form.name, 32);
        s.report(std::string("stored ") + form.name, stored_value(form.key, key.c_str(), form.name));
    }
    for (std::size_t i = 0; i + 1 < std::size(root_forms); i += 2) {
        const RootForm& long_form = root_forms[i];
        std::string key = std::string(long_form.below_key) + "\\Roots";
        s.report(std::string("long form's value seen through ") + root_forms[i + 1].name,
                 stored_value(root_forms[i + 1].key, key.c_str(), long_form.name));
    }
    fetch_value(s, "fetch under a root alone", "HKLM", "OrvConformance absent value", 8);
    set_value(s, "set with a trailing slash", "HKLM/Software/OrvConformance/Trailing/", "Value", "trailing", REG_SZ, -1);
    s.report("stored with a trailing slash", stored_value(HKEY_LOCAL_MACHINE, "Software\\OrvConformance\\Trailing", "Value"));
    set_value(s, "set with backslashes in a segment", "HKLM/Software\\OrvConformance\\Back/Slash", "Value", "back", REG_SZ,
              -1);
    s.report("stored with backslashes in a segment",
             stored_value(HKEY_LOCAL_MACHINE, "Software\\OrvConformance\\Back\\Slash", "Value"));
}

void registry_bad_root(Session& s) {
    set_value(s, "set under lower-case root", "hklm/Software/OrvConformance/Lower", "Value", "x", REG_SZ, -1);
    s.report("key under lower-case root", key_opens(HKEY_LOCAL_MACHINE, "Software\\OrvConformance\\Lower"));
    fetch_value(s, "fetch under lower-case root", "hklm/Software/OrvConformance/Lower", "Value", 8);
    set_value(s, "set under unknown root", "HKEY_DYN_DATA/OrvConformance", "Value", "x", REG_SZ, -1);
    fetch_value(s, "fetch with an empty path", "", "Value", 8);
}

void registry_dword(Session& s) {
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"minus one", "-1"},
        {"signed with trailing letters", " +12abc"},
        {"beyond 32 bits", "99999999999"},
        {"no digits", "abc"},
    };
    for (const auto& c : cases) {
        set_value(s, std::string("set ") + c.name, "HKLM/Software/OrvConformance/Dword", c.name, c.text, REG_DWORD, 0);
        s.report(std::string("stored ") + c.name, stored_value(HKEY_LOCAL_MACHINE, "Software\\OrvConformance\\Dword", c.name));
        fetch_value(s, std::string("fetch ") + c.name, "HKLM/Software/OrvConformance/Dword", c.name, 16);
    }
}

void registry_created_keys(Session& s) {
    s.report("key before", key_opens(HKEY_CURRENT_USER, "Software\\OrvConformance\\Created\\Deeper"));
    set_value(s, "set under missing keys", "HKCU/Software/OrvConformance/Created/Deeper", "Value", "x", REG_SZ, -1);
    s.report("key after set", key_opens(HKEY_CURRENT_USER, "Software\\OrvConformance\\Created\\Deeper"));
    s.report("stored", stored_value(HKEY_CURRENT_USER, "Software\\OrvConformance\\Created\\Deeper", "Value"));
    fetch_value(s, "fetch a missing value under missing keys", "HKLM/Software/OrvConformance/ByFetch", "Absent", 8);
    s.report("key after fetch", key_opens(HKEY_LOCAL_MACHINE, "Software\\OrvConformance\\ByFetch"));
}

void registry_buffer_sizes(Session& s) {
    const char* path = "HKLM/Software/OrvConformance/Sizes";
    set_value(s, "set text", path, "Text", "hello world", REG_SZ, -1);
    for (LONG size : {32, 12, 11, 1, 0})
        fetch_value(s, "fetch text into " + std::to_string(size), path, "Text", size);
    set_value(s, "set bytes", path, "Bytes", std::string_view("\x01\x00\x02\xFF\x03", 5), REG_BINARY, 5);
    for (LONG size : {8, 5, 4, 0})
        fetch_value(s, "fetch bytes into " + std::to_string(size), path, "Bytes", size);
    set_value(s, "set number", path, "Number", "-123456", REG_DWORD, 0);
    for (LONG size : {8, 7, 0})
        fetch_value(s, "fetch number into " + std::to_string(size), path, "Number", size);
}

void registry_text_lengths(Session& s) {
    const char* path = "HKLM/Software/OrvConformance/Lengths";
    const char* key = "Software\\OrvConformance\\Lengths";
    set_value(s, "set text without its terminator", path, "Cut", "abcdef", REG_SZ, 3);
    s.report("stored text without its terminator", stored_value(HKEY_LOCAL_MACHINE, key, "Cut"));
    fetch_value(s, "fetch text without its terminator", path, "Cut", 8);
    set_value(s, "set empty text", path, "Empty", "ignored", REG_SZ, 0);
    s.report("stored empty text", stored_value(HKEY_LOCAL_MACHINE, key, "Empty"));
    fetch_value(s, "fetch empty text", path, "Empty", 8);
    set_value(s, "set expandable text", path, "Expand", "%PATH%", REG_EXPAND_SZ, -1);
    s.report("stored expandable text", stored_value(HKEY_LOCAL_MACHINE, key, "Expand"));
    set_value(s, "set bytes with length -1", path, "Bytes", "abc", REG_BINARY, -1);
    s.report("stored bytes with length -1", stored_value(HKEY_LOCAL_MACHINE, key, "Bytes"));
}

// A key the scenario reads and writes past the library; null when it cannot be made.
HKEY scratch_key(const char* subkey) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// What RegQueryValueExA leaves in a buffer of `size` bytes filled with '#', and one
// byte past it.
Facts queried_into(HKEY key, const char* name, DWORD size) {
    BYTE buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    DWORD answered = size;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, buffer, &answered);
    return Facts()
        .number("result", result)
        .number("size", static_cast<long long>(answered))
        .text("buffer", std::string_view(reinterpret_cast<const char*>(buffer), size + 1));
}

// A text stored without its terminator: NT counts in a terminator the size left out
// when the byte after it is one, reads hand the bare text out terminated when there is
// room, and the export tells the size a caller really needs.
void registry_unterminated_texts(Session& s) {
    const char* path = "HKLM/Software/OrvConformance/Unterminated";
    const char* subkey = "Software\\OrvConformance\\Unterminated";
    set_value(s, "set text with its length", path, "Exact", "abcdef", REG_SZ, 6);
    s.report("stored text with its length", stored_value(HKEY_LOCAL_MACHINE, subkey, "Exact"));
    HKEY key = scratch_key(subkey);
    if (!key) {
        s.report("open", Facts().word("failed", "the scratch key cannot be made"));
        return;
    }
    // Eight bytes of "FullString": the byte after them is no terminator.
    LONG set = RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("FullString"), 8);
    s.report("set bare text", Facts().number("result", set));
    s.report("stored bare text", stored_value(HKEY_LOCAL_MACHINE, subkey, "Bare"));
    for (DWORD size : {16u, 9u, 8u})
        s.report("query bare text into " + std::to_string(size), queried_into(key, "Bare", size));
    for (LONG size : {16, 12, 11, 9, 8, 4, 0})
        fetch_value(s, "fetch bare text into " + std::to_string(size), path, "Bare", size);
    RegCloseKey(key);
}

// What RegEnumValueA writes when the name or the data does not fit.
void registry_enum_overflow(Session& s) {
    HKEY key = scratch_key("Software\\OrvConformance\\Enum");
    if (!key) {
        s.report("open", Facts().word("failed", "the scratch key cannot be made"));
        return;
    }
    LONG set = RegSetValueExA(key, "Test", 0, REG_SZ, reinterpret_cast<const BYTE*>("foobar"), 7);
    s.report("set", Facts().number("result", set));
    const struct {
        const char* step;
        DWORD name_size;
        DWORD data_size;
    } cases[] = {
        {"both overflow", 2, 2}, {"name overflows", 3, 20}, {"empty name buffer", 0, 20},
        {"data overflows", 20, 2}, {"both fit", 20, 20},
    };
    for (const auto& c : cases) {
        char name[21] = "xxxxxxxxxx";
        char data[21] = "xxxxxxxxxx";
        DWORD name_size = c.name_size;
        DWORD data_size = c.data_size;
        DWORD type = 0xDEADBEEF;
        LONG result = RegEnumValueA(key, 0, name, &name_size, nullptr, &type, reinterpret_cast<LPBYTE>(data), &data_size);
        s.report(c.step, Facts()
                             .number("result", result)
                             .number("name_size", static_cast<long long>(name_size))
                             .number("data_size", static_cast<long long>(data_size))
                             .hex("type", type)
                             .text("name", name)
                             .text("data", data));
    }
    DWORD type = 0xDEADBEEF;
    DWORD size = 0xDEADBEEF;
    LONG missing = RegQueryValueExA(key, "Nonexistent Value", nullptr, &type, nullptr, &size);
    s.report("size of a missing value", Facts().number("result", missing).hex("size", size).hex("type", type));
    BYTE buffer[10];
    type = 0xDEADBEEF;
    size = sizeof buffer;
    missing = RegQueryValueExA(key, "Nonexistent Value", nullptr, &type, buffer, &size);
    s.report("missing value into a buffer", Facts().number("result", missing).hex("size", size).hex("type", type));
    RegCloseKey(key);
}

void printer_values(Session& s) {
    const char* printer = "OrvConformance Printer";
    const char* key = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\OrvConformance Printer\\PrinterDriverData";
    s.result("set number", s.x.set_printer_val(printer, "Resolution", "300", REG_DWORD, 0));
    s.report("stored number", stored_value(HKEY_LOCAL_MACHINE, key, "Resolution"));
    fetch(
        s, "fetch number",
        [&](LPBYTE buffer, LPLONG type, LONG size, LPLONG needed) {
            return s.x.fetch_printer_val(printer, "Resolution", buffer, type, size, needed);
        },
        8);
    std::string too_long(330, 'P');
    s.result("set under a name too long for the key path", s.x.set_printer_val(too_long.c_str(), "Value", "1", REG_DWORD, 0));
    fetch(
        s, "fetch under a name too long for the key path",
        [&](LPBYTE buffer, LPLONG type, LONG size, LPLONG needed) {
            return s.x.fetch_printer_val(too_long.c_str(), "Value", buffer, type, size, needed);
        },
        8);
}

template <void (*Play)(Session&)>
void with_scratch_keys(Session& s) {
    clear_scratch_keys();
    Play(s);
    clear_scratch_keys();
}

}  // namespace

std::vector<Scenario> registry_scenarios() {
    return {
        {"RegistryRoots", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_roots>},
        {"RegistryBadRoot", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_bad_root>},
        {"RegistryDword", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_dword>},
        {"RegistryCreatedKeys", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_created_keys>},
        {"RegistryBufferSizes", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_buffer_sizes>},
        {"RegistryTextLengths", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_text_lengths>},
        {"RegistryUnterminatedTexts", {"insSetRegistryVal", "insFetchRegistryVal"}, with_scratch_keys<registry_unterminated_texts>},
        {"RegistryEnumOverflow", {}, with_scratch_keys<registry_enum_overflow>},
        {"PrinterValues", {"insSetPrinterVal", "insFetchPrinterVal"}, with_scratch_keys<printer_values>},
    };
}

}  // namespace conformance
