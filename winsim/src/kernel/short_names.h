// The 8.3 aliases that FAT and NTFS give long names.
#pragma once

#include <winsim/kernel/filesystem.h>

#include <functional>
#include <string>
#include <string_view>

namespace winsim::detail {

// Whether a name can stand as a short name as it is (letters of any case).
bool is_short_name(std::string_view name);

// The alias of `name` in a directory where `taken` says which names and aliases are
// in use already; empty when the platform gives the name no alias of its own.
std::string make_alias(std::string_view name, ShortNameStyle style, const std::function<bool(std::string_view)>& taken);

// Whether every component of a path is a short name: what code that runs before
// long names exist (WININIT on 95/98) can read.
bool is_short_path(const WindowsPath& path);

}  // namespace winsim::detail
