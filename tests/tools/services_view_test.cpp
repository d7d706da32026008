// `orvsetup services`: what a setup author reads of a machine's services after
// installing the daemon as one, for a person and as JSON.
#include "machine_commands.h"
#include "services_view.h"

#include "orvinstl.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string services_command(winsim::Machine& machine, bool json) {
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_machine_command(machine, {"show", "services"}, json, out, out), 0);
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

std::string block_of(const std::string& text, const std::string& name) {
    std::size_t at = text.find(name + "\n");
    if (at == std::string::npos) return {};
    std::size_t end = text.find("\n", text.find("  state", at));
    return text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
}

TEST(ServicesView, ShowsTheDaemonServiceAsInstalledAndAfterTheRestart) {
    auto machine = winsim::Machine::create(winsim::Platform::win2000);
    ASSERT_NE(LoadLibraryA("OrvInstl.dll"), nullptr);
    machine->files().write_file("C:\\SETUP\\orvdaemon.exe", "MZ daemon");
    ASSERT_EQ(insAddDaemonService("OrvDaemon", "C:\\SETUP\\orvdaemon.exe", nullptr, nullptr), 0);

    const std::string installed = "OrvDaemon\n"
                                  "  display name  OrvDaemon\n"
                                  "  type          0x110 own process, interactive\n"
                                  "  start         2 automatic\n"
                                  "  image path    C:\\WINNT\\system32\\orvdaemon.exe\n"
                                  "  account       LocalSystem\n"
                                  "  state         stopped\n";
    EXPECT_EQ(block_of(services_command(*machine, false), "OrvDaemon"), installed);
    EXPECT_NE(services_command(*machine, false).find("Spooler\n  display name  Print Spooler\n"), std::string::npos);

    machine->reboot();
    const std::string json = services_command(*machine, true);
    EXPECT_NE(json.find("{\"service\": \"OrvDaemon\", \"display_name\": \"OrvDaemon\", \"type\": 272, \"start\": 2, "
                        "\"image_path\": \"C:\\\\WINNT\\\\system32\\\\orvdaemon.exe\", \"account\": \"LocalSystem\", "
                        "\"state\": \"running\"}\n"),
              std::string::npos)
        << json;
}

TEST(ServicesView, NineXHasNone) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    EXPECT_EQ(services_command(*machine, false), "no services\n");
    EXPECT_EQ(services_command(*machine, true), "");
}

}  // namespace
