// Wine as orvsetup uses it: the wine64 program, a template prefix made once, and a fresh
// copy of it for each run, posing as the Windows version asked for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvsetup {

// Debian's places of wine64, where PATH has none.
extern const std::vector<std::filesystem::path> debian_wine64_places;

// The wine64 to run: `wine64_variable` (WINE64) when set, else the first wine64 on
// `path_variable` (PATH), else the first of `places` that is a program. Answers null,
// with what a person should do in `problem`, when there is none.
std::optional<std::filesystem::path> find_wine64(const char* wine64_variable, const char* path_variable,
                                                 const std::vector<std::filesystem::path>& places, std::string& problem);

// Where C:\... of a prefix lies on this computer; null for a path on another drive.
std::optional<std::filesystem::path> prefix_path_of(const std::filesystem::path& prefix, const std::string& windows_path);

// The Z: path under which Wine's programs see a file of this computer.
std::string wine_path_of(const std::filesystem::path& file);

// Replaces `run_prefix` with a copy of `template_prefix` (Wine must not be running in
// either). Throws std::filesystem::filesystem_error.
void copy_prefix(const std::filesystem::path& template_prefix, const std::filesystem::path& run_prefix);

// Makes Wine pose as `wine_version` (win95, nt40, win2k, ...) for `program` (a file name)
// in a prefix no Wine runs in, as HKCU\Software\Wine\AppDefaults\<program> value
// "Version" says. Answers false when the prefix has no user.reg.
bool pose_as(const std::filesystem::path& prefix, const std::string& program, const std::string& wine_version);

}  // namespace orvsetup
