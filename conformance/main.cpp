// conformance: plays the lane's scenarios through OrvInstl.dll and prints what each
// step observed. Built for Windows it plays against the system it runs on; built for
// the host it plays each scenario on a fresh winsim machine of the chosen platform.
//
//   conformance.exe [--after-restart] [SCENARIO...]        (Windows, or Wine)
//   conformance [--platform NAME] [SCENARIO...]            (host, on winsim)
//
// On Windows the parts a scenario plays after a restart are a second run, with
// --after-restart, once the system has restarted; on winsim each scenario's machine is
// restarted between its two parts.
//   conformance --list                                     scenario names
//   conformance --list-platforms                           (host) our names and Wine's
#include "scenarios.h"

#ifdef _WIN32
#include "product_driver.h"
#include "spooler_service.h"

#include <fcntl.h>
#include <io.h>
#else
#include "machine_run.h"
#endif

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

int usage() {
#ifdef _WIN32
    std::fputs("usage: conformance [--list] [--after-restart] [SCENARIO...]\n", stderr);
#else
    std::fputs("usage: conformance [--list | --list-platforms] [--platform NAME] [SCENARIO...]\n", stderr);
#endif
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The lines are compared byte for byte with the host's: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    conformance::Phase phase = conformance::Phase::before_restart;
#else
    std::string platform_name = "win2000";
#endif
    std::vector<const conformance::Scenario*> chosen;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--list") {
            for (const conformance::Scenario& scenario : conformance::all_scenarios()) std::printf("%s\n", scenario.name);
            return 0;
        }
#ifdef _WIN32
        if (word == "--after-restart") {
            phase = conformance::Phase::after_restart;
            continue;
        }
#else
        if (word == "--list-platforms") {
            // The lane takes the Wine version of each platform from here, so that the
            // pairing lives only in winsim's table.
            for (const winsim::PlatformInfo& info : winsim::all_platforms())
                if (!info.wine_version.empty())
                    std::printf("%.*s\t%.*s\n", static_cast<int>(info.name.size()), info.name.data(),
                                static_cast<int>(info.wine_version.size()), info.wine_version.data());
            return 0;
        }
        if (word == "--platform") {
            if (++i == argc) return usage();
            platform_name = argv[i];
            continue;
        }
#endif
        if (word.rfind("--", 0) == 0) return usage();
        const conformance::Scenario* scenario = conformance::find_scenario(word);
        if (!scenario) {
            std::fprintf(stderr, "conformance: no scenario is named %s\n", word.c_str());
            return 2;
        }
        chosen.push_back(scenario);
    }
    if (chosen.empty())
        for (const conformance::Scenario& scenario : conformance::all_scenarios()) chosen.push_back(&scenario);

#ifndef _WIN32
    std::optional<winsim::Platform> platform = winsim::find_platform(platform_name);
    if (!platform) {
        std::fprintf(stderr, "conformance: no platform is named %s\n", platform_name.c_str());
        return 2;
    }
#endif
#ifdef _WIN32
    // Without the driver the printer scenarios would only show its absence; a lane that
    // cannot lay it out fails as a run, not as a difference.
    if (unsigned long error = conformance::lay_out_product_driver()) {
        std::fprintf(stderr, "conformance: laying out the product's driver failed with %lu\n", error);
        return 1;
    }
    if (unsigned long error = conformance::start_spooler_service()) {
        std::fprintf(stderr, "conformance: starting the spooler service failed with %lu\n", error);
        return 1;
    }
#endif
    for (const conformance::Scenario* scenario : chosen) {
#ifdef _WIN32
        conformance::play(*scenario, phase, stdout);
#else
        std::unique_ptr<winsim::Machine> machine = winsim::Machine::create(*platform);
        conformance::play_on(*machine, *scenario, stdout);
#endif
        std::fflush(stdout);
    }
    return 0;
}
