// orvplayer: the setup-script player built for Windows. It performs a script's steps on
// the real OrvInstl.dll beside it, as orvsetup does on a simulated machine, and writes
// its account a JSON line a step (step_lines.h) for orvsetup to read back.
//
//   orvplayer.exe --platform NAME --platforms NAME,NAME,... [--uninstall] SCRIPT
//
// --platform is the Windows version the steps are chosen for; --platforms the names a
// script may give (orvsetup hands over its own list, so the two never disagree).
#include "script_runner.h"
#include "service_watch.h"
#include "setup_script.h"
#include "step_lines.h"
#include "windows_as_found.h"
#include "wine_limits.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct PlayerOptions {
    std::string platform;
    std::vector<std::string> platforms;
    bool uninstall = false;
    std::string script;
};

std::vector<std::string> split_names(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) names.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return names;
}

bool parse(int argc, char** argv, PlayerOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == "--platform" && has_value) options.platform = argv[++i];
        else if (word == "--platforms" && has_value) options.platforms = split_names(argv[++i]);
        else if (word == "--uninstall") options.uninstall = true;
        else if (options.script.empty() && word.rfind("--", 0) != 0) options.script = word;
        else return false;
    }
    return !options.platform.empty() && !options.platforms.empty() && !options.script.empty();
}

// Wine's own ntdll exports its version; Windows' does not.
bool under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace

int main(int argc, char** argv) {
    // orvsetup reads the lines on Linux: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    PlayerOptions options;
    if (!parse(argc, argv, options)) {
        std::fputs("usage: orvplayer --platform NAME --platforms NAME,... [--uninstall] SCRIPT\n", stderr);
        return 2;
    }
    orvsetup::SetupScript script;
    try {
        script = orvsetup::read_setup_script(options.script, options.platforms);
    } catch (const orvsetup::ScriptError& error) {
        std::fprintf(stderr, "orvplayer: %s\n", error.what());
        return 105;
    }
    orvsetup::RunHost host;
    std::size_t index = 0;
    host.step_ended = [&index](const orvsetup::StepOutcome& step) {
        orvsetup::write_step_line(stdout, index++, step);
        // The next step may end the process: what was played so far is out already.
        std::fflush(stdout);
    };
    if (under_wine()) {
        orvsetup::lay_out_windows_as_found();
        host.cannot_play = orvsetup::wine_cannot_play;
    }
    // Watched from here on: the spooler started above is the machine as found.
    host.observe = orvsetup::watch_services();
    orvsetup::ScriptRun run =
        orvsetup::perform_steps(options.uninstall ? script.uninstall : script.install, options.platform, host);
    orvsetup::write_end_line(stdout, run);
    return 0;
}
