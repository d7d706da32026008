// Names as Windows compares them: without regard to case.
#pragma once

#include <strings.h>

#include <string_view>

namespace orvsetup {

inline bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace orvsetup
