#include "kernel/short_names.h"

#include <cctype>
#include <cstdio>

namespace winsim::detail {

namespace {

// What a short name may hold besides letters and digits; bytes above 127 count as
// characters of the code page and may stand too.
bool short_name_char(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 128 || std::isalnum(u)) return true;
    return std::string_view("$%'-_@~`!(){}^#&").find(c) != std::string_view::npos;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Spaces and dots go; the characters a long name may hold and a short one may not
// become underscores.
std::string cleaned(std::string_view part) {
    std::string out;
    for (char c : part) {
        if (c == ' ' || c == '.') continue;
        out += short_name_char(c) ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : '_';
    }
    return out;
}

// NTFS's fallback form carries four hex digits derived from the long name. The
// system's own function is not documented; any stable 16-bit digest gives names of
// the same form, and the same name always gets the same digits.
unsigned name_digest(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (char c : upper(name)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return (hash ^ (hash >> 16)) & 0xFFFF;
}

std::string with_extension(std::string base, const std::string& extension) {
    return extension.empty() ? base : base + "." + extension;
}

}  // namespace

bool is_short_name(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    std::size_t dot = name.find('.');
    std::string_view base = name.substr(0, dot);
    std::string_view extension = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
    if (dot != std::string_view::npos && extension.empty()) return false;
    for (char c : base)
        if (!short_name_char(c)) return false;
    for (char c : extension)
        if (!short_name_char(c)) return false;
    return true;
}

std::string make_alias(std::string_view name, ShortNameStyle style, const std::function<bool(std::string_view)>& taken) {
    if (is_short_name(name)) {
        if (style == ShortNameStyle::ntfs) return {};
        std::string alias = upper(name);
        if (alias == name) return {};
        // VFAT keeps an upper-case alias unless another file has that name already.
        if (!taken(alias)) return alias;
    }
    std::string_view rest = name;
    while (!rest.empty() && rest.front() == '.') rest.remove_prefix(1);
    std::size_t dot = rest.rfind('.');
    std::string base = cleaned(rest.substr(0, dot));
    std::string extension = dot == std::string_view::npos ? std::string{} : cleaned(rest.substr(dot + 1)).substr(0, 3);
    if (base.empty()) base = extension.empty() ? std::string("_") : extension;
    base = base.substr(0, 6);
    for (int n = 1; n <= 4; ++n) {
        std::string alias = with_extension(base + "~" + std::to_string(n), extension);
        if (!taken(alias)) return alias;
    }
    if (style == ShortNameStyle::ntfs) {
        for (unsigned digest = name_digest(name);; digest = (digest + 1) & 0xFFFF) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "%04X", digest);
            for (int n = 1; n <= 9; ++n) {
                std::string alias = with_extension(base.substr(0, 2) + hex + "~" + std::to_string(n), extension);
                if (!taken(alias)) return alias;
            }
        }
    }
    // VFAT counts on, giving up a character of the name for each digit the number grows.
    for (int n = 5; n < 1000000; ++n) {
        std::string number = "~" + std::to_string(n);
        std::string alias = with_extension(base.substr(0, 8 - number.size()) + number, extension);
        if (!taken(alias)) return alias;
    }
    return {};
}

bool is_short_path(const WindowsPath& path) {
    for (const std::string& component : path.components)
        if (!is_short_name(component)) return false;
    return true;
}

}  // namespace winsim::detail
