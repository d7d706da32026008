#include "wine_prefix.h"

#include <unistd.h>

#include <fstream>

namespace orvsetup {

const std::vector<std::filesystem::path> debian_wine64_places = {"/usr/lib/wine/wine64",
                                                                 "/usr/lib/x86_64-linux-gnu/wine/wine64"};

namespace {

bool is_program(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error) && access(file.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::filesystem::path> find_wine64(const char* wine64_variable, const char* path_variable,
                                                 const std::vector<std::filesystem::path>& places, std::string& problem) {
    if (wine64_variable && *wine64_variable) {
        if (is_program(wine64_variable)) return std::filesystem::path(wine64_variable);
        problem = std::string("WINE64 names ") + wine64_variable + ", which is not a program";
        return std::nullopt;
    }
    std::string path = path_variable ? path_variable : "";
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t colon = path.find(':', start);
        if (colon == std::string::npos) colon = path.size();
        if (colon > start && is_program(std::filesystem::path(path.substr(start, colon - start)) / "wine64"))
            return std::filesystem::path(path.substr(start, colon - start)) / "wine64";
        start = colon + 1;
    }
    for (const std::filesystem::path& place : places)
        if (is_program(place)) return place;
    problem = "no wine64 found on PATH nor in";
    for (const std::filesystem::path& place : places) problem += " " + place.string();
    problem += ": install Debian's wine and wine64, or set WINE64";
    return std::nullopt;
}

std::optional<std::filesystem::path> prefix_path_of(const std::filesystem::path& prefix, const std::string& windows_path) {
    if (windows_path.size() < 3 || (windows_path[0] != 'C' && windows_path[0] != 'c') || windows_path.compare(1, 2, ":\\") != 0)
        return std::nullopt;
    std::filesystem::path host = prefix / "drive_c";
    std::size_t start = 3;
    while (start < windows_path.size()) {
        std::size_t slash = windows_path.find('\\', start);
        if (slash == std::string::npos) slash = windows_path.size();
        const std::string part = windows_path.substr(start, slash - start);
        if (part == "..") return std::nullopt;  // never outside the prefix's drive
        if (!part.empty() && part != ".") host /= part;
        start = slash + 1;
    }
    return host;
}

std::string wine_path_of(const std::filesystem::path& file) {
    std::string path = "Z:" + std::filesystem::absolute(file).lexically_normal().string();
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void copy_prefix(const std::filesystem::path& template_prefix, const std::filesystem::path& run_prefix) {
    std::filesystem::remove_all(run_prefix);
    std::filesystem::create_directories(run_prefix.parent_path());
    // The drive letters are symbolic links (c: to drive_c, z: to /): copied as links.
    std::filesystem::copy(template_prefix, run_prefix,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
}

bool pose_as(const std::filesystem::path& prefix, const std::string& program, const std::string& wine_version) {
    const std::filesystem::path user_registry = prefix / "user.reg";
    if (!std::filesystem::exists(user_registry)) return false;
    // Wine reads its saved registry at start and takes a key wherever it stands.
    std::ofstream out(user_registry, std::ios::app | std::ios::binary);
    out << "\n[Software\\\\Wine\\\\AppDefaults\\\\" << program << "] 0\n\"Version\"=\"" << wine_version << "\"\n";
    return static_cast<bool>(out);
}

}  // namespace orvsetup
