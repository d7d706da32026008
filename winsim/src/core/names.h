// Windows compares the names of files, keys, modules and environments without regard to
// the case of their letters; this is that comparison, in one place.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace winsim::detail {

// The letters are folded inline rather than through the C library's toupper: a
// registry of thousands of printers compares names millions of times while it is laid
// out, and in the C locale both fold the same 26 letters.
inline char folded(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return x == y || folded(x) == folded(y); });
}

// A name with its letters folded, for maps keyed by names as Windows compares them.
inline std::string folded_name(std::string_view name) {
    std::string text(name);
    for (char& c : text) c = folded(c);
    return text;
}

// Whether a name carries a path (a directory or a drive) rather than standing alone
// to be searched for.
inline bool names_a_path(std::string_view name) { return name.find_first_of("\\/:") != std::string_view::npos; }

// The order of such names, for maps keyed by them.
struct LessNoCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return static_cast<unsigned char>(folded(x)) < static_cast<unsigned char>(folded(y));
        });
    }
};

}  // namespace winsim::detail
