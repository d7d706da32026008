#include <winsim/snapshot.h>

#include <winsim/machine.h>

#include <cstdio>

namespace winsim {

namespace {

std::string hex(DWORD number) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(number));
    return text;
}

void take_files(const FileNode& directory, const std::string& path, Snapshot& snapshot) {
    for (const auto& child : directory.children) {
        const std::string child_path = path + "\\" + child->name;
        if (child->directory) {
            snapshot.entries["directory " + child_path] = "";
            take_files(*child, child_path, snapshot);
        } else {
            snapshot.entries["file " + child_path] =
                std::to_string(child->data.size()) + " bytes, attributes " + hex(child->attributes) + "\n" + child->data;
        }
    }
}

void take_key(const Registry& registry, const std::string& path, Snapshot& snapshot) {
    const std::optional<KeySecurity> security = registry.security_descriptor(path);
    snapshot.entries["key " + path] = security && security->dacl_present && security->dacl_null ? "null DACL" : "";
    for (const std::string& name : registry.values(path)) {
        const std::optional<RegistryValue> value = registry.value(path, name);
        if (value) snapshot.entries["value " + path + "\\" + name] = "type " + std::to_string(value->type) + "\n" + value->bytes;
    }
    for (const std::string& subkey : registry.subkeys(path)) take_key(registry, path + "\\" + subkey, snapshot);
}

// What a changed entry is said to be: the first line of what it holds.
std::string headline(const std::string& held) { return held.substr(0, held.find('\n')); }

}  // namespace

Snapshot take_snapshot(Machine& machine) {
    Snapshot snapshot;
    for (char letter : machine.files().drive_letters())
        if (std::shared_ptr<FileNode> root = machine.files().root(letter)) take_files(*root, std::string(1, letter) + ":", snapshot);
    for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_USERS"}) take_key(machine.registry(), root, snapshot);
    Spooler spooler = machine.spooler();
    for (const std::string& monitor : spooler.monitors()) snapshot.entries["monitor " + monitor] = "";
    for (const std::string& port : spooler.ports()) snapshot.entries["port " + port] = "";
    for (const std::string& printer : spooler.printers()) snapshot.entries["printer " + printer] = hex(spooler.printer_status(printer));
    return snapshot;
}

std::vector<std::string> differences(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> lines;
    auto old_entry = before.entries.begin();
    auto new_entry = after.entries.begin();
    while (old_entry != before.entries.end() || new_entry != after.entries.end()) {
        if (new_entry == after.entries.end() || (old_entry != before.entries.end() && old_entry->first < new_entry->first)) {
            lines.push_back("- " + old_entry->first);
            ++old_entry;
        } else if (old_entry == before.entries.end() || new_entry->first < old_entry->first) {
            const std::string said = headline(new_entry->second);
            lines.push_back("+ " + new_entry->first + (said.empty() ? "" : " (" + said + ")"));
            ++new_entry;
        } else {
            if (old_entry->second != new_entry->second)
                lines.push_back("~ " + new_entry->first + " (" + headline(old_entry->second) + " -> " + headline(new_entry->second) + ")");
            ++old_entry;
            ++new_entry;
        }
    }
    return lines;
}

}  // namespace winsim
