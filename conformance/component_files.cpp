#include "component_files.h"

#include "scratch_files.h"

#include "orvinstl.h"

#ifndef _WIN32
#include <fstream>
#include <sstream>
#endif

namespace conformance {

std::string component_bytes(const char* name) {
#ifdef _WIN32
    // The program's own folder, read with the system's calls: the lane's runs are
    // started from elsewhere.
    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length == sizeof program) return {};
    std::string path(program, length);
    path = path.substr(0, path.rfind('\\') + 1) + "components\\" + name;
    return read_scratch_file(path.c_str());
#else
    // winsim's files are the machine's; the components are the host's, built beside
    // the program.
    std::string path = std::string(ORV_LANE_COMPONENTS_DIR) + "/" + name;
    for (char& c : path)
        if (c == '\\') c = '/';
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return file ? bytes.str() : std::string();
#endif
}

bool lay_out_component(const char* name, const char* destination) {
    const std::string bytes = component_bytes(name);
    return !bytes.empty() && write_scratch_file(destination, bytes);
}

}  // namespace conformance
