// The key tree and its REGEDIT4 text. The text is what regedit of that time reads and
// writes, so a saved machine's registry can be read in an editor and imported on a real
// machine; values whose bytes the quoted form would lose (strings without their
// terminator or with NULs inside) are written as hex(1): so that nothing changes on
// the way back.
#include "core/names.h"
#include "registry/registry_store.h"

#include <winsim/machine.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace winsim::detail {

namespace {

constexpr std::string_view local_machine_name = "HKEY_LOCAL_MACHINE";
constexpr std::string_view users_name = "HKEY_USERS";
constexpr std::string_view current_user_root_name = "HKEY_CURRENT_USER";
constexpr std::string_view classes_root_name = "HKEY_CLASSES_ROOT";

// The user winsim's NT machines are logged on as; 95/98 without user profiles use the
// default user's key.
constexpr std::string_view nt_user_sid = "S-1-5-21-1004336348-1177238915-682003330-1000";
constexpr std::string_view win9x_user = ".DEFAULT";

constexpr std::string_view newline = "\r\n";
// regedit breaks hex data so that no line is longer than this (the continuing
// backslash included).
constexpr std::size_t hex_line_width = 79;

// Marks this winsim writes as comments, so that regedit passes over them.
constexpr std::string_view security_mark = "; winsim-security: ";
constexpr std::string_view owner_mark = "; winsim-owner: user";
// A name that holds a line break cannot stand on a REGEDIT4 line: the key's path or the
// value's name is given whole, in hex, in a mark before its line, and the line itself
// carries the name with its breaks made spaces (what regedit would import).
constexpr std::string_view key_path_mark = "; winsim-key-path: ";
constexpr std::string_view value_name_mark = "; winsim-value-name: ";

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The keys a freshly installed system has that the work on this machine touches. Their
// spelling follows each family, as the case is kept and shows when keys are enumerated.
std::vector<std::string> default_keys(Platform platform, const MachineOptions& options, std::string_view user) {
    bool nt = platform_info(platform).family == Family::nt;
    std::string hklm(local_machine_name);
    std::string control_set = hklm + (nt ? "\\SYSTEM" : "\\System") + "\\CurrentControlSet";
    std::string print = control_set + "\\Control\\Print";
    std::string hkcu = std::string(users_name) + "\\" + std::string(user);
    std::vector<std::string> keys = {
        hklm + "\\SOFTWARE",
        hklm + "\\SOFTWARE\\Classes",
        hklm + "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
    };
    if (nt) keys.push_back(hklm + "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    keys.push_back(print + "\\Environments\\" + (nt ? "Windows NT x86" : "Windows 4.0"));
    if (nt && options.arch == Arch::x64) keys.push_back(print + "\\Environments\\Windows x64");
    keys.push_back(print + "\\Monitors");
    keys.push_back(print + "\\Printers");
    if (nt) keys.push_back(control_set + "\\Control\\Session Manager");
    keys.push_back(control_set + "\\Services");
    keys.push_back(std::string(users_name) + "\\.DEFAULT");
    keys.push_back(hkcu + "\\Software");
    if (nt) {
        std::string current_version = hkcu + "\\Software\\Microsoft\\Windows NT\\CurrentVersion";
        keys.push_back(current_version + "\\Devices");
        keys.push_back(current_version + "\\PrinterPorts");
        keys.push_back(current_version + "\\Windows");
    }
    return keys;
}

// ---- writing ------------------------------------------------------------------------

bool breaks_line(std::string_view name) { return name.find_first_of("\r\n") != std::string_view::npos; }

// The mark that gives a name with line breaks whole, and the name the line can carry.
std::string line_name(std::string& out, std::string_view mark, std::string_view name) {
    std::string on_line(name);
    if (!breaks_line(name)) return on_line;
    out += mark;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", static_cast<unsigned char>(name[i]));
        out += byte;
    }
    out += newline;
    std::replace_if(on_line.begin(), on_line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return on_line;
}

std::string quote_text(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// Whether a REG_SZ can be written as "text": exactly one terminator, at the end, and
// nothing that would end the line.
bool fits_quoted_form(const std::string& data) {
    if (data.empty() || data.back() != '\0') return false;
    return std::none_of(data.begin(), data.end() - 1, [](char c) { return c == '\0' || c == '\r' || c == '\n'; });
}

void write_hex(std::string& out, std::string line, const std::string& data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        bool last = i + 1 == data.size();
        // Room for the byte, its comma and the backslash that would continue the line.
        if (line.size() + 2 + (last ? 0 : 1) + 1 > hex_line_width && !line.ends_with(':')) {
            out += line;
            out += '\\';
            out += newline;
            line = "  ";
        }
        line += byte;
        if (!last) line += ',';
    }
    out += line;
    out += newline;
}

void write_value(std::string& out, const RegValue& value) {
    std::string line = value.name.empty() ? std::string("@") : quote_text(line_name(out, value_name_mark, value.name));
    line += '=';
    if (value.type == REG_SZ && fits_quoted_form(value.data)) {
        out += line + quote_text(std::string_view(value.data).substr(0, value.data.size() - 1));
        out += newline;
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        auto byte = [&](int i) { return static_cast<DWORD>(static_cast<unsigned char>(value.data[i])); };
        char number[16];
        std::snprintf(number, sizeof number, "%08x", byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
        out += line + "dword:" + number;
        out += newline;
        return;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        char type[24];
        std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
        line += type;
    }
    write_hex(out, std::move(line), value.data);
}

void write_key(std::string& out, const RegKey& key, const std::string& path) {
    const std::string on_line = line_name(out, key_path_mark, path);
    out += "[" + on_line + "]";
    out += newline;
    if (key.security) {
        out += security_mark;
        out += !key.security->dacl_present ? "no-dacl" : key.security->dacl_null ? "null-dacl" : "dacl";
        out += newline;
    }
    if (key.user_owned) {
        out += owner_mark;
        out += newline;
    }
    for (const RegValue& value : key.values) write_value(out, value);
    out += newline;
    for (const auto& subkey : key.subkeys) write_key(out, *subkey, path + "\\" + subkey->name);
}

// ---- reading ------------------------------------------------------------------------

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    // The next logical line (hex data continued over several lines joined), or false at
    // the end.
    bool next(std::string& line) {
        if (!physical(line)) return false;
        first_line_ = number_;
        while (!line.empty() && line.back() == '\\' && line.front() != '[' && line.front() != ';') {
            line.pop_back();
            std::string more;
            if (!physical(more)) fail("the data goes on past the end of the file");
            std::size_t start = more.find_first_not_of(" \t");
            line += start == std::string::npos ? std::string() : more.substr(start);
        }
        return true;
    }

    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("registry.reg line " + std::to_string(first_line_) + ": " + why);
    }

private:
    bool physical(std::string& line) {
        if (position_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', position_);
        if (end == std::string_view::npos) end = text_.size();
        line.assign(text_.substr(position_, end - position_));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        position_ = end + 1;
        ++number_;
        return true;
    }

    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t number_ = 0;
    std::size_t first_line_ = 0;
};

// Reads a quoted string starting at `at`, leaving `at` after its closing quote.
std::string read_quoted(const std::string& line, std::size_t& at, const Reader& reader) {
    if (at >= line.size() || line[at] != '"') reader.fail("a quoted string was expected");
    std::string text;
    for (++at; at < line.size(); ++at) {
        char c = line[at];
        if (c == '"') {
            ++at;
            return text;
        }
        if (c == '\\') {
            if (++at >= line.size()) break;
            c = line[at];
        }
        text += c;
    }
    reader.fail("a quoted string has no end");
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string read_hex_bytes(std::string_view text, const Reader& reader) {
    std::string bytes;
    std::size_t at = 0;
    auto skip_blanks = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    };
    skip_blanks();
    while (at < text.size()) {
        int high = at + 1 < text.size() ? hex_digit(text[at]) : -1;
        int low = high >= 0 ? hex_digit(text[at + 1]) : -1;
        if (low < 0) reader.fail("hex data must be two digits a byte, with commas between");
        bytes += static_cast<char>(high * 16 + low);
        at += 2;
        skip_blanks();
        if (at < text.size()) {
            if (text[at] != ',') reader.fail("hex data must be two digits a byte, with commas between");
            ++at;
            skip_blanks();
        }
    }
    return bytes;
}

RegValue read_value(const std::string& line, const Reader& reader) {
    RegValue value;
    std::size_t at = 0;
    if (line[0] == '@') {
        at = 1;
    } else {
        value.name = read_quoted(line, at, reader);
    }
    if (at >= line.size() || line[at] != '=') reader.fail("'=' was expected after the value's name");
    std::string_view data = std::string_view(line).substr(at + 1);
    if (data.starts_with('"')) {
        ++at;
        value.type = REG_SZ;
        value.data = read_quoted(line, at, reader);
        value.data += '\0';
        if (at != line.size()) reader.fail("something follows the quoted string");
    } else if (data.starts_with("dword:")) {
        std::string_view digits = data.substr(6);
        if (digits.size() != 8 || std::any_of(digits.begin(), digits.end(), [](char c) { return hex_digit(c) < 0; }))
            reader.fail("a dword is eight hex digits");
        DWORD number = 0;
        for (char c : digits) number = number << 4 | static_cast<DWORD>(hex_digit(c));
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i) value.data += static_cast<char>(number >> (8 * i) & 0xff);
    } else if (data.starts_with("hex:")) {
        value.type = REG_BINARY;
        value.data = read_hex_bytes(data.substr(4), reader);
    } else if (data.starts_with("hex(")) {
        std::size_t close = data.find("):");
        if (close == std::string_view::npos || close == 4) reader.fail("hex(type): was expected");
        DWORD type = 0;
        for (char c : data.substr(4, close - 4)) {
            int digit = hex_digit(c);
            if (digit < 0 || type > 0x0fffffff) reader.fail("the type in hex(type): is a hex number");
            type = type << 4 | static_cast<DWORD>(digit);
        }
        value.type = type;
        value.data = read_hex_bytes(data.substr(close + 2), reader);
    } else {
        reader.fail("the value's data is of no form this file knows");
    }
    return value;
}

}  // namespace


std::optional<std::vector<std::string_view>> split_key_path(std::string_view path) {
    std::vector<std::string_view> parts;
    if (path.empty()) return parts;
    if (path.ends_with('\\')) path.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty()) return std::nullopt;
        parts.push_back(part);
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::shared_ptr<RegKey> RegKey::subkey(std::string_view key_name) const {
    const auto position = subkey_index.find(key_name, subkey_name_at());
    return position ? subkeys[*position] : nullptr;
}

RegValue* RegKey::value(std::string_view value_name) {
    const auto position = value_index.find(value_name, value_name_at());
    return position ? &values[*position] : nullptr;
}

const RegValue* RegKey::value(std::string_view value_name) const { return const_cast<RegKey*>(this)->value(value_name); }

void RegKey::set_value(std::string_view value_name, DWORD type, std::string data) {
    if (RegValue* existing = value(value_name)) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    values.push_back(RegValue{std::string(value_name), type, std::move(data)});
    value_index.add(values.size() - 1, value_name_at());
}

bool RegKey::remove_value(std::string_view value_name) {
    const auto position = value_index.find(value_name, value_name_at());
    if (!position) return false;
    value_index.remove(*position, value_name_at());
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(*position));
    return true;
}

void RegKey::unlink_subkey(const RegKey& subkey) {
    const auto found = std::find_if(subkeys.begin(), subkeys.end(), [&](const auto& key) { return key.get() == &subkey; });
    if (found == subkeys.end()) return;
    const auto position = static_cast<std::size_t>(found - subkeys.begin());
    subkey_index.remove(position, subkey_name_at());
    subkeys.erase(found);
}

std::shared_ptr<RegKey> add_subkey(const std::shared_ptr<RegKey>& parent, std::string_view key_name) {
    auto key = std::make_shared<RegKey>();
    key->name = std::string(key_name);
    key->parent = parent;
    parent->subkeys.push_back(key);
    parent->subkey_index.add(parent->subkeys.size() - 1, parent->subkey_name_at());
    return key;
}

RegistryStore::RegistryStore() { lay_out(Platform::win2000, MachineOptions{}); }

void RegistryStore::lay_out(Platform platform, const MachineOptions& options) {
    local_machine_ = std::make_shared<RegKey>();
    local_machine_->name = std::string(local_machine_name);
    users_ = std::make_shared<RegKey>();
    users_->name = std::string(users_name);
    bool nt = platform_info(platform).family == Family::nt;
    current_user_name_ = std::string(nt ? nt_user_sid : win9x_user);
    for (const std::string& path : default_keys(platform, options, current_user_name_)) create(path);
}

std::shared_ptr<RegKey> RegistryStore::current_user() const { return users_->subkey(current_user_name_); }

std::shared_ptr<RegKey> RegistryStore::classes_root() const {
    std::shared_ptr<RegKey> software = local_machine_->subkey("SOFTWARE");
    return software ? software->subkey("Classes") : nullptr;
}

std::string RegistryStore::canonical(std::string_view path) const {
    std::size_t slash = path.find('\\');
    std::string_view root_name = path.substr(0, slash);
    std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    if (same_name(root_name, local_machine_name)) return std::string(local_machine_name) + std::string(rest);
    if (same_name(root_name, users_name)) return std::string(users_name) + std::string(rest);
    if (same_name(root_name, current_user_root_name))
        return std::string(users_name) + "\\" + current_user_name_ + std::string(rest);
    // Keys are found without regard to case; a missing one is made as Windows spells it.
    if (same_name(root_name, classes_root_name)) return std::string(local_machine_name) + "\\SOFTWARE\\Classes" + std::string(rest);
    throw std::invalid_argument("no registry root is named " + std::string(root_name));
}

std::shared_ptr<RegKey> RegistryStore::split(std::string_view path, std::vector<std::string_view>& parts,
                                             std::string& storage) const {
    storage = canonical(path);
    std::size_t slash = storage.find('\\');
    std::shared_ptr<RegKey> root = same_name(std::string_view(storage).substr(0, slash), local_machine_name) ? local_machine_ : users_;
    std::optional<std::vector<std::string_view>> split_parts;
    if (slash != std::string::npos) {
        split_parts = split_key_path(std::string_view(storage).substr(slash + 1));
        if (!split_parts) throw std::invalid_argument("malformed registry path: " + std::string(path));
        parts = std::move(*split_parts);
    }
    return root;
}

std::shared_ptr<RegKey> RegistryStore::find_below(std::shared_ptr<RegKey> from, const std::vector<std::string_view>& parts) {
    for (std::string_view part : parts) {
        if (!from) return nullptr;
        from = from->subkey(part);
    }
    return from;
}

std::shared_ptr<RegKey> RegistryStore::find(std::string_view path) const {
    std::vector<std::string_view> parts;
    std::string storage;
    std::shared_ptr<RegKey> root = split(path, parts, storage);
    return find_below(root, parts);
}

std::shared_ptr<RegKey> RegistryStore::create(std::string_view path) {
    std::vector<std::string_view> parts;
    std::string storage;
    std::shared_ptr<RegKey> key = split(path, parts, storage);
    for (std::string_view part : parts) {
        std::shared_ptr<RegKey> next = key->subkey(part);
        if (!next) next = add_subkey(key, part);
        key = next;
    }
    return key;
}

void RegistryStore::remove(const std::shared_ptr<RegKey>& key) {
    if (auto parent = key->parent.lock()) parent->unlink_subkey(*key);
    // Marked from the top down; the subtree stays linked so that a handle deep inside
    // it still finds its way to the mark.
    std::vector<std::shared_ptr<RegKey>> pending{key};
    while (!pending.empty()) {
        std::shared_ptr<RegKey> next = pending.back();
        pending.pop_back();
        next->deleted = true;
        pending.insert(pending.end(), next->subkeys.begin(), next->subkeys.end());
    }
}

bool RegistryStore::under_local_machine(const RegKey& key) const {
    const RegKey* at = &key;
    std::shared_ptr<RegKey> hold;
    while (true) {
        if (at == local_machine_.get()) return true;
        hold = at->parent.lock();
        if (!hold) return false;
        at = hold.get();
    }
}

std::string RegistryStore::write_text() const {
    std::string out = "REGEDIT4";
    out += newline;
    out += newline;
    write_key(out, *local_machine_, local_machine_->name);
    write_key(out, *users_, users_->name);
    return out;
}

void RegistryStore::read_text(std::string_view text) {
    auto local_machine = std::make_shared<RegKey>();
    local_machine->name = std::string(local_machine_name);
    auto users = std::make_shared<RegKey>();
    users->name = std::string(users_name);
    std::swap(local_machine, local_machine_);
    std::swap(users, users_);
    try {
        Reader reader(text);
        std::string line;
        if (!reader.next(line) || line != "REGEDIT4") reader.fail("the file does not start with REGEDIT4");
        std::shared_ptr<RegKey> key;
        // Names given whole by the marks before their lines.
        std::optional<std::string> marked_path, marked_value;
        while (reader.next(line)) {
            if (line.empty()) continue;
            if (line.starts_with(key_path_mark)) {
                marked_path = read_hex_bytes(std::string_view(line).substr(key_path_mark.size()), reader);
                continue;
            }
            if (line.starts_with(value_name_mark)) {
                marked_value = read_hex_bytes(std::string_view(line).substr(value_name_mark.size()), reader);
                continue;
            }
            if (line.starts_with(security_mark) || line == owner_mark) {
                if (!key) reader.fail("a mark stands before any key");
                if (line == owner_mark) {
                    key->user_owned = true;
                    continue;
                }
                std::string_view kind = std::string_view(line).substr(security_mark.size());
                if (kind == "null-dacl") key->security = KeySecurity{true, true};
                else if (kind == "dacl") key->security = KeySecurity{true, false};
                else if (kind == "no-dacl") key->security = KeySecurity{false, false};
                else reader.fail("unknown security mark");
                continue;
            }
            if (line.front() == ';') continue;
            if (line.front() == '[') {
                if (line.back() != ']') reader.fail("a key's line must end with ']'");
                if (marked_value) reader.fail("a value's name stands before a key");
                std::string path = marked_path.value_or(line.substr(1, line.size() - 2));
                marked_path.reset();
                std::string_view root = std::string_view(path).substr(0, path.find('\\'));
                if (!same_name(root, local_machine_name) && !same_name(root, users_name))
                    reader.fail("keys are kept under HKEY_LOCAL_MACHINE and HKEY_USERS only");
                try {
                    key = create(path);
                } catch (const std::invalid_argument& error) {
                    reader.fail(error.what());
                }
                continue;
            }
            if (!key) reader.fail("a value stands before any key");
            if (marked_path) reader.fail("a key's path stands before a value");
            RegValue value = read_value(line, reader);
            if (marked_value) value.name = std::move(*marked_value);
            marked_value.reset();
            if (key->value(value.name)) reader.fail("the value \"" + value.name + "\" is there twice");
            key->set_value(value.name, value.type, std::move(value.data));
        }
    } catch (...) {
        std::swap(local_machine, local_machine_);
        std::swap(users, users_);
        throw;
    }
}

}  // namespace winsim::detail

// ---- the control API ------------------------------------------------------------------

namespace winsim {

namespace {

std::shared_ptr<detail::RegKey> existing(const detail::RegistryStore& store, std::string_view path) {
    std::shared_ptr<detail::RegKey> key = store.find(path);
    if (!key) throw std::invalid_argument("no registry key " + std::string(path));
    return key;
}

}  // namespace

Registry::Registry() : store_(std::make_unique<detail::RegistryStore>()) {}
Registry::~Registry() = default;

const std::string& Registry::current_user_key() const { return store_->current_user_name(); }

bool Registry::key_exists(std::string_view path) const { return store_->find(path) != nullptr; }

void Registry::create_key(std::string_view path) { store_->create(path); }

bool Registry::delete_key(std::string_view path) {
    std::shared_ptr<detail::RegKey> key = store_->find(path);
    if (!key) return false;
    if (store_->is_root(*key)) throw std::invalid_argument("a root key cannot be deleted: " + std::string(path));
    detail::RegistryStore::remove(key);
    return true;
}

std::vector<std::string> Registry::subkeys(std::string_view path) const {
    std::vector<std::string> names;
    for (const auto& key : existing(*store_, path)->subkeys) names.push_back(key->name);
    return names;
}

std::vector<std::string> Registry::values(std::string_view path) const {
    std::vector<std::string> names;
    for (const auto& value : existing(*store_, path)->values) names.push_back(value.name);
    return names;
}

void Registry::set_value(std::string_view path, std::string_view name, DWORD type, std::string_view bytes) {
    std::shared_ptr<detail::RegKey> key = store_->create(path);
    key->set_value(name, type, std::string(bytes));
}

void Registry::set_string(std::string_view path, std::string_view name, std::string_view text) {
    std::string bytes(text);
    bytes += '\0';
    set_value(path, name, REG_SZ, bytes);
}

void Registry::set_dword(std::string_view path, std::string_view name, DWORD number) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(number >> (8 * i) & 0xff);
    set_value(path, name, REG_DWORD, bytes);
}

std::optional<RegistryValue> Registry::value(std::string_view path, std::string_view name) const {
    std::shared_ptr<detail::RegKey> key = store_->find(path);
    if (!key) return std::nullopt;
    const detail::RegValue* value = key->value(name);
    if (!value) return std::nullopt;
    return RegistryValue{value->type, value->data};
}

bool Registry::delete_value(std::string_view path, std::string_view name) {
    std::shared_ptr<detail::RegKey> key = store_->find(path);
    if (!key) return false;
    return key->remove_value(name);
}

std::optional<KeySecurity> Registry::security_descriptor(std::string_view path) const {
    return existing(*store_, path)->security;
}

void Registry::set_security_descriptor(std::string_view path, std::optional<KeySecurity> security) {
    existing(*store_, path)->security = security;
}

std::string Registry::regedit_text() const { return store_->write_text(); }

}  // namespace winsim
