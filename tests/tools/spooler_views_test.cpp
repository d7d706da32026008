// The views of what an installation registered with the spooler: monitors, ports with
// their settings, drivers with their files, print processors, and the default printer.
#include "machine_commands.h"
#include "script_machine.h"
#include "spooler_views.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::unique_ptr<winsim::Machine> installed(winsim::Platform platform) {
    std::vector<std::string> names;
    for (const winsim::PlatformInfo& info : winsim::all_platforms()) names.emplace_back(info.name);
    const orvsetup::SetupScript script =
        orvsetup::read_setup_script(std::string(ORV_SOURCE_DIR) + "/samples/setups/standard.toml", names);
    auto machine = winsim::Machine::create(platform);
    orvsetup::lay_out_sources(*machine, script, orvsetup::sample_sources_for(*machine));
    EXPECT_TRUE(orvsetup::perform_on(*machine, script.install, {}, nullptr, false).all_accepted());
    return machine;
}

std::string shown(winsim::Machine& machine, const std::vector<std::string>& words, bool json, int expected_status = 0) {
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_machine_command(machine, words, json, out, out), expected_status);
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

std::string value(const std::vector<orvsetup::NamedValue>& values, const std::string& name) {
    auto found = std::find_if(values.begin(), values.end(), [&](const orvsetup::NamedValue& v) { return v.first == name; });
    return found == values.end() ? "(none)" : found->second;
}

struct ViewCase {
    winsim::Platform platform;
    const char* monitor_dll;      // the product's monitor among the others
    const char* driver;
    const char* version_key;      // NT keeps drivers by version
    const char* environment;
    // On 2000 the monitor adds the port through its configuration channel and keeps its
    // settings as it likes; elsewhere the library writes them into the port's key.
    const char* port_prefix;
    const char* port_spawn;
};

class SpoolerViews : public testing::TestWithParam<ViewCase> {};

TEST_P(SpoolerViews, ShowWhatTheStandardInstallationRegistered) {
    auto machine = installed(GetParam().platform);

    const std::vector<orvsetup::MonitorView> monitors = orvsetup::view_monitors(*machine);
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[1].name, "Orvana Fax Port");
    EXPECT_EQ(monitors[1].dll, GetParam().monitor_dll);

    const std::vector<orvsetup::PortView> ports = orvsetup::view_ports(*machine);
    auto port = std::find_if(ports.begin(), ports.end(), [](const orvsetup::PortView& p) { return p.name == "ORVFAX2:"; });
    ASSERT_NE(port, ports.end());
    EXPECT_EQ(port->monitor, "Orvana Fax Port");
    EXPECT_EQ(value(port->settings, "Output Prefix"), GetParam().port_prefix);
    EXPECT_EQ(value(port->settings, "Spawn in User Context"), GetParam().port_spawn);

    const std::vector<orvsetup::DriverView> drivers = orvsetup::view_drivers(*machine);
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].name, GetParam().driver);
    EXPECT_EQ(drivers[0].version_key, GetParam().version_key);
    EXPECT_EQ(drivers[0].environment, GetParam().environment);
    EXPECT_EQ(value(drivers[0].values, "Dependent Files"), "orvfont.dat, orvcover.dll, orvdrv.hlp");

    const std::vector<orvsetup::ProcessorView> processors = orvsetup::view_processors(*machine);
    ASSERT_EQ(processors.size(), 2u);
    EXPECT_EQ(processors[1].name, "Orvana Print Processor");
    EXPECT_EQ(value(processors[1].values, "Driver"), "orvproc.dll");
    EXPECT_EQ(value(processors[1].values, "Datatypes"), "RAW");
}

INSTANTIATE_TEST_SUITE_P(Platforms, SpoolerViews,
                         testing::Values(ViewCase{winsim::Platform::win98, "orvmon.dll", "Orvana Win98 Driver", "", "Windows 4.0", "PORT", "1"},
                                         ViewCase{winsim::Platform::nt4, "orvmon.dll", "Orvana Print Driver", "Version-2",
                                                  "Windows NT x86", "PORT", "1"},
                                         ViewCase{winsim::Platform::win2000, "orvmon.dll", "Orvana Print Driver", "Version-3",
                                                  "Windows NT x86", "(none)", "(none)"}),
                         [](const testing::TestParamInfo<ViewCase>& view_case) {
                             return std::string(winsim::platform_info(view_case.param.platform).name);
                         });

TEST(ShowCommand, EachViewIsAWordOfShow) {
    auto machine = installed(winsim::Platform::nt4);
    EXPECT_EQ(shown(*machine, {"show", "default"}, false), "Orvana Fax,winspool,Ne00:\n");
    EXPECT_EQ(shown(*machine, {"show", "default"}, true), "{\"default_printer\": \"Orvana Fax,winspool,Ne00:\"}\n");
    EXPECT_EQ(shown(*machine, {"show", "monitors"}, true),
              "{\"monitor\": \"Local Port\", \"dll\": \"localspl.dll\"}\n{\"monitor\": \"Orvana Fax Port\", \"dll\": \"orvmon.dll\"}\n");
    const std::string ports = shown(*machine, {"show", "ports"}, false);
    EXPECT_NE(ports.find("ORVFAX2:         monitor Orvana Fax Port\n    Fax Dialog Loc         C:\\ORVANA\\ORV32DLG.EXE\n"),
              std::string::npos)
        << ports;
    EXPECT_EQ(shown(*machine, {"show"}, false, 2),
              "orvsetup: show takes printers, ports, monitors, drivers, processors, services, startup, default, pending or diff "
              "OTHER-DIR\n");
    EXPECT_EQ(shown(*machine, {"show", "ports", "all"}, false, 2),
              "orvsetup: show ports takes no further words (--json before the command for JSON)\n");
    EXPECT_EQ(shown(*machine, {"show", "diff"}, false, 2), "orvsetup: show diff takes the folder of another machine\n");

    auto fresh = winsim::Machine::create(winsim::Platform::win95);
    EXPECT_EQ(shown(*fresh, {"show", "default"}, false), "no default printer\n");
    EXPECT_EQ(shown(*fresh, {"show", "drivers"}, false), "no printer drivers\n");
}

}  // namespace
