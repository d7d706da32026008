// Where LoadLibraryExA finds a module named with a relative path, and what it answers
// for a file's name followed by a backslash. The images are loaded as data files: they
// are images, not code, and a data file loads whatever the machine's architecture.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <mkimage/tagged_images.h>

#include <string>

namespace conformance {

namespace {

const std::string folder = std::string(scratch_directory) + "\\LOADER";
const std::string sub_folder = folder + "\\SUB";
const std::string monitor_path = folder + "\\orvmon.dll";
const std::string sub_module_path = sub_folder + "\\m.dll";

bool lay_out_modules() {
    const std::string image = mkimage::versioned_dll({1, 0, 0, 0}, "loader");
    return make_scratch_directory(scratch_directory) && make_scratch_directory(folder.c_str()) &&
           make_scratch_directory(sub_folder.c_str()) && write_scratch_file(monitor_path.c_str(), image) &&
           write_scratch_file(sub_module_path.c_str(), image);
}

void clear_modules() {
    remove_scratch_file(sub_module_path.c_str());
    remove_scratch_file(monitor_path.c_str());
    RemoveDirectoryA(sub_folder.c_str());
    RemoveDirectoryA(folder.c_str());
}

Facts loaded_as_data(const char* name) {
    SetLastError(0);
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return Facts().word("module", "none").number("error", static_cast<long long>(GetLastError()));
    FreeLibrary(module);
    return Facts().word("module", "loaded");
}

void relative_names(Session& s) {
    clear_modules();
    if (!lay_out_modules()) {
        s.report("lay out", Facts().word("failed", "the scratch modules cannot be written"));
        clear_modules();
        return;
    }
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, previous);
    BOOL moved = SetCurrentDirectoryA(folder.c_str());
    s.report("current directory", Facts().word("set", moved ? "yes" : "no"));
    const char* const names[] = {
        "C:\\ORVCONF\\LOADER\\orvmon.dll", "SUB\\m.dll", "SUB/m.dll", ".\\orvmon.dll", "C:orvmon.dll",
        "..\\LOADER\\orvmon.dll", "\\ORVCONF\\LOADER\\orvmon.dll", "SUB\\absent.dll",
    };
    for (const char* name : names) s.report(std::string("load ") + name, loaded_as_data(name));
    const char* const followed_by_backslash[] = {"C:\\ORVCONF\\LOADER\\orvmon.dll\\", "orvmon.dll\\", "SUB\\m.dll\\"};
    for (const char* name : followed_by_backslash) s.report(std::string("load ") + name, loaded_as_data(name));
    SetCurrentDirectoryA(previous);
    clear_modules();
}

}  // namespace

std::vector<Scenario> loader_scenarios() {
    return {
        {"LoaderRelativeNames", {}, relative_names},
    };
}

}  // namespace conformance
