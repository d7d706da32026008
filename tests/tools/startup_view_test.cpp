// `orvsetup startup` and the "seen:" lines of a call: what a setup author reads of a
// machine after installing the daemon as a Startup entry, and what the calls did to it.
#include "machine_commands.h"

#include "orvinstl.h"

#include <mkimage/image.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* program = "C:\\ORVANA\\orvdaemon.exe";

std::string startup_command(winsim::Machine& machine, bool json) {
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_machine_command(machine, {"show", "startup"}, json, out, out), 0);
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

std::unique_ptr<winsim::Machine> machine_with_daemon(winsim::Platform platform) {
    auto machine = winsim::Machine::create(platform);
    EXPECT_NE(LoadLibraryA("OrvInstl.dll"), nullptr);
    mkimage::ImageRecipe daemon;
    daemon.dll = false;
    daemon.strings[static_cast<std::uint16_t>(winsim::daemon_class_string)] = winsim::daemon_window_class;
    machine->files().write_file(program, mkimage::build_image(daemon));
    return machine;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(StartupView, ShowsProgramManagersEntryAndTheDaemonOnNt351) {
    auto machine = machine_with_daemon(winsim::Platform::nt351);
    EXPECT_TRUE(has(startup_command(*machine, false), "group Startup (personal)\n"));
    orvsetup::CallObserver seen = orvsetup::watch_machine(*machine);
    ASSERT_EQ(insAddDaemonProcess("Orvana Daemon", program), 0);
    EXPECT_EQ(seen(), std::vector<std::string>{"started C:\\ORVANA\\orvdaemon.exe"});
    const std::string text = startup_command(*machine, false);
    EXPECT_TRUE(has(text, "group Startup (common)\n  item Orvana Daemon: C:\\ORVANA\\orvdaemon.exe\n")) << text;
    EXPECT_TRUE(has(text, "program C:\\ORVANA\\orvdaemon.exe (running, window OrvanaDaemonClass)\n")) << text;

    ASSERT_EQ(insDeleteDaemonProcess("Orvana Daemon"), 0);
    EXPECT_EQ(seen(), (std::vector<std::string>{"posted SC_CLOSE to OrvanaDaemonClass", "ended C:\\ORVANA\\orvdaemon.exe"}));
    const std::string after = startup_command(*machine, false);
    EXPECT_TRUE(has(after, "group Startup (common)\nprogram")) << after;
    EXPECT_TRUE(has(after, "(ended, window OrvanaDaemonClass)")) << after;
}

TEST(StartupView, ShowsTheLinkWithItsTargetOnNt4) {
    auto machine = machine_with_daemon(winsim::Platform::nt4);
    EXPECT_EQ(startup_command(*machine, false),
              "startup folder C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\n"
              "startup folder C:\\WINNT\\Profiles\\Administrator\\Start Menu\\Programs\\Startup\n"
              "no startup entries\n");
    ASSERT_EQ(insAddDaemonProcess("Orvana Daemon", program), 0);
    EXPECT_TRUE(has(startup_command(*machine, false),
                    "link C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk\n"
                    "  target             C:\\ORVANA\\orvdaemon.exe\n"
                    "  description        Orvana Daemon\n"
                    "  working directory  C:\\ORVANA\n"));
    const std::string json = startup_command(*machine, true);
    EXPECT_TRUE(has(json, "{\"link\": \"C:\\\\WINNT\\\\Profiles\\\\All Users\\\\Start Menu\\\\Programs\\\\Startup\\\\Orvana "
                          "Daemon.lnk\", \"target\": \"C:\\\\ORVANA\\\\orvdaemon.exe\", \"description\": \"Orvana Daemon\", "
                          "\"working_directory\": \"C:\\\\ORVANA\", \"arguments\": \"\"}\n"))
        << json;
    EXPECT_TRUE(has(json, "{\"program\": \"C:\\\\ORVANA\\\\orvdaemon.exe\", \"running\": true, \"window_class\": "
                          "\"OrvanaDaemonClass\"}\n"))
        << json;
}

}  // namespace
