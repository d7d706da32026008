// The product's sample components as the build wrote them, for tests that install them.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

// The x86 build of a sample component ("orvmon.dll"); empty when the build has none.
inline std::string sample_component(const char* name) {
    std::ifstream in(std::filesystem::path(ORV_SAMPLE_COMPONENTS_DIR) / "x86" / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace testing_support
