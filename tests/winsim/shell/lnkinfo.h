// Reads a link file back with an independent parser, Debian's lnkinfo (liblnk-utils):
// what a link written on the machine holds, as another program sees it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace testing_support {

// lnkinfo's "Name<TAB>: value" lines, keyed by name ("Local path", "Description",
// "Working directory", ...); empty when lnkinfo is missing or refuses the file.
inline std::map<std::string, std::string> lnkinfo_fields(const std::string& link_bytes) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("winsim-link-" + std::to_string(::getpid()) + ".lnk");
    std::ofstream(file, std::ios::binary) << link_bytes;
    std::map<std::string, std::string> fields;
    const std::string command = "lnkinfo '" + file.string() + "' 2>/dev/null";
    if (FILE* output = ::popen(command.c_str(), "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, output)) {
            std::string text(line);
            const std::size_t colon = text.find(": ");
            if (colon == std::string::npos) continue;
            std::string name = text.substr(0, colon);
            while (!name.empty() && (name.back() == '\t' || name.back() == ' ')) name.pop_back();
            while (!name.empty() && (name.front() == '\t' || name.front() == ' ')) name.erase(0, 1);
            std::string value = text.substr(colon + 2);
            while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
            fields.emplace(name, value);
        }
        if (::pclose(output) != 0) fields.clear();
    }
    std::filesystem::remove(file);
    return fields;
}

}  // namespace testing_support
