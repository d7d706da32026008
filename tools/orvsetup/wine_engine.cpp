#include "wine_engine.h"

#include "child_process.h"
#include "step_lines.h"
#include "wine_prefix.h"

#include <cstdlib>
#include <stdexcept>

namespace orvsetup {

namespace {

constexpr const char* player_program = "orvplayer.exe";
constexpr int unusable_status = 2;

struct WineRun {
    std::filesystem::path wine64;
    std::filesystem::path prefix;
    std::filesystem::path folder;  // the run's own: the prefix and the player's errors

    // Headless on every computer, as the steps Wine cannot play are worded for it: with a
    // display, a message box would wait for a person.
    std::vector<std::pair<std::string, std::string>> environment() const {
        return {{"WINEPREFIX", prefix.string()}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    }

    // A Wine program of the prefix (wineboot, ...), its errors into the run's folder.
    int wine(const std::vector<std::string>& words, const std::string& log) const {
        ChildRun child{{wine64.string()}, environment(), folder / log};
        child.arguments.insert(child.arguments.end(), words.begin(), words.end());
        return run_child(child, {});
    }

    // Ends the Wine session of the prefix, so that nothing of it outlives the run.
    void end_session() const {
        run_child({{(wine64.parent_path() / "wineserver").string(), "-k"}, environment(), {}}, {});
    }
};

// The file of the setup source: the run's own folder, else a real module of the Windows
// build, else the host build's sample image.
std::filesystem::path source_of(const std::string& name, const RunOptions& options, const WinePlaces& places) {
    if (!options.sources_folder.empty()) return std::filesystem::path(options.sources_folder) / name;
    const std::filesystem::path real = places.player_folder / "components" / name;
    return std::filesystem::exists(real) ? real : places.sample_components / name;
}

void lay_out_sources(const SetupScript& script, const RunOptions& options, const WinePlaces& places,
                     const std::filesystem::path& prefix) {
    auto in_prefix = [&prefix](const std::string& windows_path) {
        std::optional<std::filesystem::path> host = prefix_path_of(prefix, windows_path);
        if (!host) throw std::runtime_error("under Wine, " + windows_path + " must lie on drive C:");
        return *host;
    };
    for (const std::string& name : script.source_files) {
        const std::filesystem::path from = source_of(name, options, places);
        const std::filesystem::path to = in_prefix(script.source_folder + "\\" + name);
        std::filesystem::create_directories(to.parent_path());
        std::error_code error;
        if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error))
            throw std::runtime_error("cannot read " + from.string() + " for the setup source");
    }
    for (const std::string& folder : script.made_folders) std::filesystem::create_directories(in_prefix(folder));
}

std::string joined(std::span<const std::string> names) {
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ",") + name;
    return list;
}

// Plays one part of the script and prints each step as its line comes.
ScriptRun play_part(const WineRun& wine, const RunOptions& options, std::span<const std::string> platforms,
                    const WinePlaces& places, bool uninstall, std::FILE* out) {
    const std::string log = std::string(uninstall ? "uninstall" : "install") + ".player.err";
    ChildRun child{{wine.wine64.string(), (places.player_folder / player_program).string(), "--platform", options.platform,
                    "--platforms", joined(platforms)},
                   wine.environment(), wine.folder / log};
    if (uninstall) child.arguments.push_back("--uninstall");
    child.arguments.push_back(wine_path_of(options.script));
    StepLineReader reader(options.platform);
    std::string problem;
    const int status = run_child(child, [&](const std::string& line) {
        if (!problem.empty()) return;
        if (!reader.take(line, problem)) {
            problem = std::string(player_program) + " wrote a line orvsetup cannot read (" + problem + "): " + line;
            return;
        }
        if (reader.ended() || reader.run().steps.empty()) return;
        print_step(out, reader.run().steps.back(), options.json);
        std::fflush(out);
    });
    ScriptRun run = reader.run();
    if (problem.empty() && !reader.ended())
        problem = std::string(player_program) + " ended with status " + std::to_string(status) +
                  " before the end of its account; its errors are in " + (wine.folder / log).string();
    if (!problem.empty()) run.problem = problem;
    print_run_end(out, run, options.json);
    return run;
}

}  // namespace

WinePlaces wine_places() {
    WinePlaces places;
    places.player_folder = ORV_WINDOWS_PLAYER_DIR;
    places.sample_components = std::filesystem::path(ORV_SAMPLE_COMPONENTS_DIR) / "x64";
    places.make_prefix = ORV_MAKE_WINE_PREFIX;
    places.template_prefix = ORV_WINE_TEMPLATE_PREFIX;
    // Only the last run is kept, for a person to look into: a prefix is large.
    places.run_folder = std::filesystem::path(ORV_WINE_TEMPLATE_PREFIX).parent_path() / "wine-run";
    return places;
}

int run_on_wine(const RunOptions& options, const SetupScript& script, std::span<const std::string> platforms,
                const std::string& wine_version, const WinePlaces& places, std::FILE* out, std::FILE* err) {
    auto unusable = [err](const std::string& text) {
        std::fprintf(err, "orvsetup: --engine wine: %s\n", text.c_str());
        return unusable_status;
    };
    std::string problem;
    std::optional<std::filesystem::path> wine64 =
        find_wine64(std::getenv("WINE64"), std::getenv("PATH"), debian_wine64_places, problem);
    if (!wine64) return unusable(problem);
    if (!std::filesystem::exists(places.player_folder / player_program))
        return unusable((places.player_folder / player_program).string() + " is not built (scripts/build mingw-x64)");
    WineRun wine{*wine64, {}, places.run_folder};
    wine.prefix = wine.folder / "prefix";
    if (!std::filesystem::exists(places.template_prefix / "system.reg")) {
        std::fprintf(err, "orvsetup: making the Wine prefix %s (once, a minute)\n", places.template_prefix.c_str());
        std::filesystem::create_directories(places.run_folder);
        const std::filesystem::path log = places.run_folder / "make-wine-prefix.log";
        if (run_child({{places.make_prefix.string(), wine64->string(), places.template_prefix.string()}, {}, log}, {}) != 0)
            return unusable("the Wine prefix could not be made; see " + log.string());
    }
    try {
        copy_prefix(places.template_prefix, wine.prefix);
        if (!pose_as(wine.prefix, player_program, wine_version))
            return unusable(wine.prefix.string() + " is no Wine prefix (no user.reg)");
        lay_out_sources(script, options, places, wine.prefix);
    } catch (const std::exception& error) {
        return unusable(error.what());
    }
    ScriptRun install = play_part(wine, options, platforms, places, false, out);
    bool accepted = install.all_accepted();
    if (options.uninstall) {
        // The product is used before it is removed: Windows has been restarted since.
        wine.wine({"wineboot", "-r"}, "restart.err");
        if (!options.json) std::fputs("-- uninstall\n", out);
        accepted = play_part(wine, options, platforms, places, true, out).all_accepted() && accepted;
        if (!options.json) std::fputs("what the removal left behind is not compared under Wine\n", out);
    }
    wine.end_session();
    return accepted ? 0 : 1;
}

}  // namespace orvsetup
