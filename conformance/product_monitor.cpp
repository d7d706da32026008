#include "product_monitor.h"

#include "component_files.h"
#include "scratch_files.h"

#include <string>
#include <vector>

namespace conformance {

namespace {

const char setup_directory[] = "C:\\ORVCONF\\MON";
const char setup_file[] = "C:\\ORVCONF\\MON\\orvmon.dll";
const char monitor_key[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Orvana Fax Port";

// A key and every key below it; NT's RegDeleteKeyA takes only a key without subkeys.
void delete_tree(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> subkeys;
    char name[MAX_PATH];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(name, length);
    }
    RegCloseKey(key);
    for (const std::string& subkey : subkeys) delete_tree(path + "\\" + subkey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

std::string installed_file() {
    char directory[MAX_PATH] = "";
    GetSystemDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\orvmon.dll";
}

}  // namespace

void install_product_monitor(Session& s, const char* step) {
    make_scratch_directory(scratch_directory);
    make_scratch_directory(setup_directory);
    const bool laid_out = lay_out_component("orvmon.dll", setup_file);
    char name[80] = "#";
    const LONG result = s.x.add_monitor(setup_file, name);
    s.result(step, result,
             Facts().number("laid_out", laid_out ? 1 : 0).text("name", name).number("reboot", s.x.reboot_required()));
}

void clear_product_monitor() {
    DeleteMonitorA(nullptr, nullptr, const_cast<char*>(product_monitor));
    delete_tree(monitor_key);
    remove_scratch_file(installed_file().c_str());
    remove_scratch_file(setup_file);
}

}  // namespace conformance
