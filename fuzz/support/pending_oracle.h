// An independent reading of the two lists of operations left to the next start
// (PendingFileRenameOperations on NT, WININIT.INI's [rename] section on 95/98) and of
// what taking back the operations of one file must remove, against which the
// library's clean-up is held.
#pragma once

#include <winsim/machine.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

struct PendingEntry {
    std::string source;
    std::string target;  // empty for a deletion
    std::size_t begin = 0, end = 0;  // the bytes of the list it takes up
    // WININIT.INI only: the restart carries it out (not a comment, not over-long);
    // other lines with "=" in the section are entries only by a looser reading.
    bool carried_out = true;
};

// The file a clean-up is about, in the forms a list may name it by.
struct CleanedFile {
    std::string long_form;
    std::string short_form;  // empty when the file does not exist
};

// Pairs of NUL-ended texts, "\??\" before each path and "!" before a target that may
// be replaced, up to the empty text or the first pair that is not whole.
std::vector<PendingEntry> read_pending_pairs(std::string_view list);

// The lines of the sections the restart reads as [rename] that hold "=": "NUL=file"
// deletes, "target=source" moves.
std::vector<PendingEntry> read_wininit_entries(std::string_view text);
// A "[...]" line that the restart reads as the [rename] header.
bool is_rename_header(std::string_view line);

// For each entry, whether it concerns the file: it deletes the file or moves something
// onto it, or it belongs to a replacement that the file itself waits to make.
std::vector<bool> concerning(const std::vector<PendingEntry>& entries, const CleanedFile& file);

// The bytes of `list` without the entries marked.
std::string without(std::string_view list, const std::vector<PendingEntry>& entries, const std::vector<bool>& marked);

}  // namespace fuzz

namespace fuzz {

// The files a fuzzed list names, laid out on the current machine: the library's two
// waiting copies in the temporary directory first, then installed files under short
// and long names. The clean-ups are asked about one of `candidates`.
struct PendingScene {
    std::vector<std::string> files;
    std::vector<std::string> candidates;
    static constexpr std::size_t waiting_copies = 2;
};
PendingScene lay_out_pending_scene(winsim::Machine& machine);

// Holds the clean-up's outcome for `file` against the files it may delete: no file
// outside the temporary directory goes, nor a waiting copy that a kept entry names.
void require_files_kept(winsim::Machine& machine, const PendingScene& scene, const std::vector<PendingEntry>& entries,
                        const std::vector<bool>& marked);

}  // namespace fuzz
