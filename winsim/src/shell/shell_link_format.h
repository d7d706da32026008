// The binary format of a shell link (.lnk) file, as the shell writes it: the header with
// the target's attributes, times and size, the link information that names the target
// on its local volume, and the string data.
#pragma once

#include <winsim/shell/shell.h>

#include <string>

namespace winsim::detail {

struct LinkTargetFacts {
    DWORD attributes = 0;
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    DWORD size = 0;
};

// The NT shells write the string data in UTF-16; the 95/98 shell in the ANSI code page.
std::string encode_shell_link(const ShellLinkContents& link, const LinkTargetFacts& target, bool unicode_strings);

}  // namespace winsim::detail
