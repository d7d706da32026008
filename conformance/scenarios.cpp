#include "scenarios.h"

#include "session.h"

namespace conformance {

namespace {

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> table = [] {
        std::vector<Scenario> all;
        for (std::vector<Scenario> (*group)() :
             {frame_scenarios, system_text_scenarios, registry_scenarios, file_scenarios, spooler_scenarios, port_scenarios, processor_scenarios, loader_scenarios,
              user_scenarios, thunk_scenarios, profile_scenarios, driver_scenarios, printer_scenarios,
              win9x_file_scenarios, default_printer_scenarios, daemon_service_scenarios, product_port_scenarios,
              product_processor_scenarios, driver_install_scenarios, removal_scenarios,
              daemon_startup_scenarios, test_page_scenarios})
            for (Scenario& scenario : group()) all.push_back(std::move(scenario));
        return all;
    }();
    return table;
}

// The exports every scenario reads the error state through.
const char* const error_state_exports[] = {"ErrorTextLen", "RetrieveErrorText"};

}  // namespace

std::span<const Scenario> all_scenarios() { return scenarios(); }

const Scenario* find_scenario(const std::string& name) {
    for (const Scenario& scenario : scenarios())
        if (name == scenario.name) return &scenario;
    return nullptr;
}

void play(const Scenario& scenario, Phase phase, std::FILE* out) {
    void (*part)(Session&) = phase == Phase::before_restart ? scenario.play : scenario.after_restart;
    if (!part) return;
    // Without a path, LoadLibraryA looks in the program's own folder first: there the
    // lane puts the DLL under test, as a setup program keeps it beside itself.
    HMODULE library = LoadLibraryA("OrvInstl.dll");
    Session loader(scenario.name, Exports{}, out);
    if (!library) {
        loader.report("load", Facts().word("failed", "OrvInstl.dll does not load"));
        return;
    }
    std::vector<const char*> needs(std::begin(error_state_exports), std::end(error_state_exports));
    needs.insert(needs.end(), scenario.needs.begin(), scenario.needs.end());
    for (const char* name : needs) {
        if (!GetProcAddress(library, name)) {
            loader.report("load", Facts().word("skipped", std::string("OrvInstl.dll does not export ") + name));
            FreeLibrary(library);
            return;
        }
    }
    Session session(scenario.name, find_exports(library), out);
    part(session);
    FreeLibrary(library);
}

}  // namespace conformance
