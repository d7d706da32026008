// A path in the temporary directory that no other test process uses: ctest runs tests
// side by side, and other checkouts' suites may run on the same machine.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace testing_support {

inline std::filesystem::path temp_path(const std::string& name) {
    return std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()));
}

}  // namespace testing_support
