// `orvsetup run SCRIPT --engine wine --platform P`: the script played by orvplayer.exe on
// the real OrvInstl.dll under Wine, in a prefix made for the run and posing as P, printed
// as a run on a simulated machine is.
#pragma once

#include "run_command.h"
#include "setup_script.h"

#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

namespace orvsetup {

// Where the Windows side of a run is found and made.
struct WinePlaces {
    std::filesystem::path player_folder;      // orvplayer.exe, OrvInstl.dll, components/
    std::filesystem::path sample_components;  // the host build's x64 sample images
    std::filesystem::path make_prefix;        // scripts/make-wine-prefix
    std::filesystem::path template_prefix;    // made once, copied for each run
    std::filesystem::path run_folder;         // the last run: its prefix and the player's errors
};

// This build's places.
WinePlaces wine_places();

// Plays `script` on `options.platform`, which Wine knows as `wine_version`; `platforms`
// are the names a script may give. The status is that of a run on a simulated machine;
// 2 when Wine or the player cannot be used (said on `err`).
int run_on_wine(const RunOptions& options, const SetupScript& script, std::span<const std::string> platforms,
                const std::string& wine_version, const WinePlaces& places, std::FILE* out, std::FILE* err);

}  // namespace orvsetup
