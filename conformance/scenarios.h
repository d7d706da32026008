// The scenarios the lane plays through OrvInstl.dll's exports. They are plain Win32,
// so that the same code runs against a real Windows (or Wine) and against winsim, and
// each prints what it observed, one line per step (see observation.h).
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace conformance {

class Session;

struct Scenario {
    const char* name;
    // The exports it calls: without one of them the scenario says so and plays nothing,
    // so that an older DLL still gives a comparable line.
    std::vector<const char*> needs;
    void (*play)(Session& session);
    // What it looks at once Windows has restarted after it played, or null. The restart
    // lies between two runs of the program: the lane restarts Wine, winsim restarts
    // its machine.
    void (*after_restart)(Session& session) = nullptr;
};

enum class Phase { before_restart, after_restart };

std::span<const Scenario> all_scenarios();
const Scenario* find_scenario(const std::string& name);

// Loads OrvInstl.dll, plays the scenario's part of that phase, and unloads the library
// again, so that every part starts with the library's state as a fresh process has it.
void play(const Scenario& scenario, Phase phase, std::FILE* out);

// Each group's scenarios, in the order the lane lists them.
std::vector<Scenario> frame_scenarios();
std::vector<Scenario> system_text_scenarios();
std::vector<Scenario> registry_scenarios();
std::vector<Scenario> file_scenarios();
std::vector<Scenario> spooler_scenarios();
std::vector<Scenario> port_scenarios();
std::vector<Scenario> processor_scenarios();
std::vector<Scenario> loader_scenarios();
std::vector<Scenario> user_scenarios();
std::vector<Scenario> thunk_scenarios();
std::vector<Scenario> profile_scenarios();
std::vector<Scenario> driver_scenarios();
std::vector<Scenario> printer_scenarios();
std::vector<Scenario> win9x_file_scenarios();
std::vector<Scenario> default_printer_scenarios();
std::vector<Scenario> daemon_service_scenarios();
std::vector<Scenario> product_port_scenarios();
std::vector<Scenario> product_processor_scenarios();
std::vector<Scenario> driver_install_scenarios();
std::vector<Scenario> removal_scenarios();
std::vector<Scenario> daemon_startup_scenarios();
std::vector<Scenario> test_page_scenarios();

}  // namespace conformance
