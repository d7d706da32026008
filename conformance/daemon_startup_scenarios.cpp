// The daemon as a Startup entry: added with a program that is not there (so that
// nothing runs), added again over itself, and removed. A link goes into the Startup
// folder a new machine of the version has (the scenario makes it where the system keeps
// none, and clears it again, since the system keeps folders across runs); NT 3.51 talks
// to Program Manager. Headless, nothing answers Program Manager's conversation under
// Wine, so the machine it is held against runs without Program Manager too.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"
#include "system_version.h"

#ifndef _WIN32
#include <winsim/machine.h>
#endif

#include <string>
#include <vector>

namespace conformance {

namespace {

constexpr const char entry[] = "OrvConf Daemon";
constexpr const char missing_program[] = "C:\\ORVCONF\\ORVCDMN.EXE";

std::string windows_directory() {
    char directory[MAX_PATH] = "";
    GetWindowsDirectoryA(directory, MAX_PATH);
    return directory;
}

// NT 4.0 and 2000 keep everyone's Startup folder in the All Users profile.
bool keeps_profiles() {
    const OSVERSIONINFOA version = system_version();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && (version.dwMajorVersion == 4 || version.dwMajorVersion == 5);
}

bool talks_to_program_manager() {
    const OSVERSIONINFOA version = system_version();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 3;
}

// A new 2000 has no All Users tree under its Windows directory; NT 3.51 keeps its
// groups in Program Manager.
bool new_machine_has_the_folder() {
    const OSVERSIONINFOA version = system_version();
    return !talks_to_program_manager() && !(version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 5);
}

// The folders from the Windows directory down to the Startup folder, outermost first.
std::vector<std::string> startup_folder_chain() {
    std::vector<std::string> chain;
    std::string path = windows_directory();
    const std::vector<const char*> names = keeps_profiles()
                                               ? std::vector<const char*>{"Profiles", "All Users", "Start Menu", "Programs", "Startup"}
                                               : std::vector<const char*>{"Start Menu", "Programs", "Startup"};
    for (const char* name : names) chain.push_back(path += std::string("\\") + name);
    return chain;
}

std::string link_path() { return startup_folder_chain().back() + "\\" + entry + ".lnk"; }

// The link and every folder of the chain that holds nothing else go.
void clear() {
    remove_scratch_file(link_path().c_str());
    const std::vector<std::string> chain = startup_folder_chain();
    for (auto folder = chain.rbegin(); folder != chain.rend(); ++folder) RemoveDirectoryA(folder->c_str());
}

void lay_out_startup_folder() {
    if (!new_machine_has_the_folder()) return;
    for (const std::string& folder : startup_folder_chain()) CreateDirectoryA(folder.c_str(), nullptr);
}

Facts link_facts() {
    return Facts().number("link", GetFileAttributesA(link_path().c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
}

void daemon_startup(Session& s) {
#ifndef _WIN32
    winsim::current_machine().shell().run_program_manager(false);
#endif
    clear();
    lay_out_startup_folder();
    make_scratch_directory(scratch_directory);
    remove_scratch_file(missing_program);

    LONG result = s.x.add_daemon_process(entry, missing_program);
    s.result("added with a program that is not there", result, link_facts());
    result = s.x.add_daemon_process(entry, missing_program);
    s.result("added again", result, link_facts());
    result = s.x.delete_daemon_process(entry);
    s.result("removed", result, link_facts());

    s.result("added with no name", s.x.add_daemon_process(nullptr, missing_program));
    s.result("removed with no name", s.x.delete_daemon_process(nullptr));
    clear();
}

}  // namespace

std::vector<Scenario> daemon_startup_scenarios() {
    return {
        {"DaemonStartup", {"insAddDaemonProcess", "insDeleteDaemonProcess"}, daemon_startup},
    };
}

}  // namespace conformance
