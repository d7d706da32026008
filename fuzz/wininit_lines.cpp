// Adding a line to WININIT.INI's [rename] section, whatever the file holds already:
// answered 1, the restart finds "destination=source" (in their short forms) in a
// section it reads as [rename], and the old text is all still there, in one piece
// around what was put in.
#include "support/fuzz_support.h"
#include "support/pending_oracle.h"

#include "files/pending_replacements.h"

#include <algorithm>

namespace {

// Whether `text` is `old` with one run of bytes put in somewhere.
bool is_old_with_insertion(std::string_view old, std::string_view text) {
    if (text.size() < old.size()) return false;
    std::size_t prefix = 0;
    while (prefix < old.size() && old[prefix] == text[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < old.size() && old[old.size() - 1 - suffix] == text[text.size() - 1 - suffix]) ++suffix;
    return prefix + suffix >= old.size();
}

bool restart_finds(std::string_view text, const std::string& destination, const std::string& source) {
    std::vector<fuzz::PendingEntry> entries = fuzz::read_wininit_entries(text);
    const std::string target = fuzz::same_name(destination, "NUL") ? "" : destination;
    return std::any_of(entries.begin(), entries.end(), [&](const fuzz::PendingEntry& entry) {
        return entry.carried_out && fuzz::same_name(entry.source, source) && fuzz::same_name(entry.target, target);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    auto machine = fuzz::machine_with_library(winsim::Platform::win95);
    const fuzz::PendingScene scene = fuzz::lay_out_pending_scene(*machine);
    const std::size_t last = scene.files.size() - 1;
    const std::string source = scene.files[input.ConsumeIntegralInRange<std::size_t>(0, last)];
    const bool deletion = input.ConsumeBool();
    const std::string destination = deletion ? "NUL" : scene.files[input.ConsumeIntegralInRange<std::size_t>(0, last)];
    const std::string old = input.ConsumeRemainingBytesAsString();
    const std::string wininit = std::string(machine->platform_info().windows_directory) + "\\WININIT.INI";
    machine->files().write_file(wininit, old);
    const fuzz::Holdings before = fuzz::holdings(*machine);

    const LONG added = add_wininit_rename(source.c_str(), destination.c_str());
    fuzz::require(added == 1, "the line was not added", std::to_string(GetLastError()));
    fuzz::require(fuzz::holdings(*machine) == before, "adding the line left a block or a handle behind");
    const std::string text = machine->files().read_file(wininit).value_or("");
    fuzz::require(is_old_with_insertion(old, text), "the old text is not kept whole", text);
    fuzz::require(restart_finds(text, deletion ? destination : fuzz::short_form(destination), fuzz::short_form(source)),
                  "the restart does not find the line", text);
    return 0;
}
