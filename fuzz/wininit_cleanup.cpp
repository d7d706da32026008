// Taking back one file's operations from WININIT.INI, whatever the file holds: no
// entry the restart would carry out for the file is left, every line that has nothing
// to do with it stays byte for byte in its order, and a file left with no more than
// its [rename] header goes.
#include "support/fuzz_support.h"
#include "support/pending_oracle.h"

#include "files/pending_replacements.h"

namespace {

// The file's lines, each with its line feed.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t begin = 0, end = 0; begin < text.size(); begin = end) {
        std::size_t line_feed = text.find('\n', begin);
        end = line_feed == std::string_view::npos ? text.size() : line_feed + 1;
        lines.push_back(text.substr(begin, end - begin));
    }
    return lines;
}

enum class Fate { keep, remove, either };

// What must become of each line: an entry the restart carries out for the file goes,
// a line with "=" of the section that concerns the file may go (a comment or a line
// too long for the restart), anything else stays.
std::vector<Fate> fates(std::string_view text, const std::vector<fuzz::PendingEntry>& entries, const std::vector<bool>& marked) {
    std::vector<Fate> out;
    std::size_t entry = 0, at = 0;
    for (std::string_view line : lines_of(text)) {
        Fate fate = Fate::keep;
        while (entry < entries.size() && entries[entry].begin < at) ++entry;
        if (entry < entries.size() && entries[entry].begin == at && marked[entry])
            fate = entries[entry].carried_out ? Fate::remove : Fate::either;
        out.push_back(fate);
        at += line.size();
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    auto machine = fuzz::machine_with_library(winsim::Platform::win98);
    const fuzz::PendingScene scene = fuzz::lay_out_pending_scene(*machine);
    const std::string path = scene.candidates[input.ConsumeIntegralInRange<std::size_t>(0, scene.candidates.size() - 1)];
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::string wininit = std::string(machine->platform_info().windows_directory) + "\\WININIT.INI";
    machine->files().write_file(wininit, text);

    const fuzz::CleanedFile file{path, fuzz::short_form(path)};
    const std::vector<fuzz::PendingEntry> entries = fuzz::read_wininit_entries(text);
    const std::vector<bool> marked = fuzz::concerning(entries, file);
    const std::vector<Fate> expected = fates(text, entries, marked);
    const std::vector<std::string_view> old_lines = lines_of(text);
    const fuzz::Holdings before = fuzz::holdings(*machine);

    std::string argument = path;
    const LONG result = remove_pending_replacements(argument.data());
    fuzz::require(result == ERROR_SUCCESS, "the clean-up failed", std::to_string(result));
    fuzz::require(fuzz::holdings(*machine) == before, "the clean-up left a block or a handle behind");

    std::optional<std::string> left = machine->files().read_file(wininit);
    if (!left) {
        // Gone: nothing but a header was left to keep.
        for (std::size_t i = 0; i < old_lines.size(); ++i)
            fuzz::require(expected[i] != Fate::keep || fuzz::is_rename_header(old_lines[i]),
                          "WININIT.INI was deleted with a line to keep", old_lines[i]);
    } else {
        // The lines left are the old ones in their order, less lines that may go.
        std::vector<std::string_view> new_lines = lines_of(*left);
        std::size_t old_at = 0;
        for (std::string_view line : new_lines) {
            while (old_at < old_lines.size() && old_lines[old_at] != line) {
                fuzz::require(expected[old_at] != Fate::keep, "a line to keep was taken away",
                              fuzz::printable(old_lines[old_at]));
                ++old_at;
            }
            fuzz::require(old_at < old_lines.size(), "a line was written that the file did not hold", line);
            fuzz::require(expected[old_at] != Fate::remove, "an entry of the file was left", line);
            ++old_at;
        }
        for (; old_at < old_lines.size(); ++old_at)
            fuzz::require(expected[old_at] != Fate::keep, "a line to keep was taken away", fuzz::printable(old_lines[old_at]));
    }
    fuzz::require_files_kept(*machine, scene, entries, marked);
    return 0;
}
