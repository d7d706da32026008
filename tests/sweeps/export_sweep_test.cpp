// Every export's main scenarios, each platform call they make failed in turn: the
// standard installation, the driver update, the port move, the removal, the test page
// and the daemon both ways, on the five platforms.
#include "sweeps/export_sweep.h"

#include <map>

namespace {

using testing_support::ExportSweep;
using testing_support::SweepScenario;
using winsim::FaultMode;
using winsim::Platform;

const std::map<std::string, SweepScenario>& scenarios() {
    static const std::map<std::string, SweepScenario> all = [] {
        std::map<std::string, SweepScenario> by_name;
        for (SweepScenario scenario : {
                 SweepScenario{"installation", "standard.toml", {}, false, true},
                 SweepScenario{"driver_update", "update.toml",
                               {"insAddPrintDriverEx orvfax.drv (the update)", "insAddPrintDriverEx orvdrv351.dll (the update)",
                                "insAddPrintDriverEx orvdrv.dll (the update)"},
                               false, true},
                 SweepScenario{"port_move", "reconfigure.toml", {"insMovePort"}, false, true},
                 SweepScenario{"test_page", "standard.toml", {"insPrintTestPage"}, false, true},
                 SweepScenario{"daemon_added", "standard.toml", {"insAddDaemonProcess", "insAddDaemonService"}, false, true},
                 SweepScenario{"daemon_removed", "standard.toml", {"insDeleteDaemonProcess", "insDeleteDaemonService"}, true, false},
                 SweepScenario{"removal", "standard.toml", {}, true, false},
             })
            by_name.emplace(scenario.name, scenario);
        return by_name;
    }();
    return all;
}

class ExportSweepTest : public testing::TestWithParam<testing_support::SweepCase> {};

TEST_P(ExportSweepTest, EveryCallFailedIsAnsweredTrulyAndLosesNothing) {
    const auto& [name, platform, mode] = GetParam();
    ExportSweep sweep(scenarios().at(name), platform);
    if (!sweep.applies()) GTEST_SKIP() << "the script has no such steps for this platform";
    const testing_support::SweepFigures figures = sweep.sweep(mode);
    EXPECT_GT(figures.calls, 0u);
    RecordProperty("calls", static_cast<int>(figures.calls));
    RecordProperty("runs", static_cast<int>(figures.runs));
    RecordProperty("lasting_losses", static_cast<int>(figures.lasting_losses));
}

std::vector<std::string> scenario_names() {
    std::vector<std::string> names;
    for (const auto& [name, scenario] : scenarios()) names.push_back(name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ExportSweepTest,
                         testing::Combine(testing::ValuesIn(scenario_names()),
                                          testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4,
                                                          Platform::win2000),
                                          testing::Values(FaultMode::once, FaultMode::from_then_on)),
                         testing_support::sweep_case_name);

}  // namespace
