// The parts of a path as the runtime library's _splitpath gives them, and the rule by
// which the product's own file copies count as done.
#pragma once

#include "orvinstl.h"

struct PathParts {
    char drive[_MAX_DRIVE];
    char directory[_MAX_DIR];
    char name[_MAX_FNAME];
    char extension[_MAX_EXT];
};

inline void split_path(LPCSTR path, PathParts* parts) {
    _splitpath(path, parts->drive, parts->directory, parts->name, parts->extension);
}

// What follows a path's last backslash: the whole path when it has none.
inline LPCSTR file_name_part(LPCSTR path) {
    LPCSTR name = path;
    for (LPCSTR at = path; *at; ++at)
        if (*at == '\\') name = at + 1;
    return name;
}

// A safe copy that copied, kept an installed file that is not older, or left the
// replacement to the next start has done what an installation needs.
inline bool copy_counts_as_done(LONG result) {
    return result == INS_OK || result == INS_INSTALLED_NOT_OLDER || result == INS_DEFERRED_TO_RESTART;
}
