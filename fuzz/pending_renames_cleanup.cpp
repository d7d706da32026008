// Taking back one file's operations from PendingFileRenameOperations, whatever the
// list holds: the operations that concern the file go, every other stays byte for
// byte in its order, and no file that a kept operation still names is deleted.
#include "support/fuzz_support.h"
#include "support/pending_oracle.h"

#include "files/pending_replacements.h"

#include <algorithm>

namespace {

const char session_manager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char pending_value[] = "PendingFileRenameOperations";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    auto machine = fuzz::machine_with_library(winsim::Platform::nt4);
    const fuzz::PendingScene scene = fuzz::lay_out_pending_scene(*machine);
    const std::string path = scene.candidates[input.ConsumeIntegralInRange<std::size_t>(0, scene.candidates.size() - 1)];
    const std::string list = input.ConsumeRemainingBytesAsString();
    machine->registry().set_value(session_manager, pending_value, REG_MULTI_SZ, list);

    const fuzz::CleanedFile file{path, fuzz::short_form(path)};
    const std::vector<fuzz::PendingEntry> entries = fuzz::read_pending_pairs(list);
    const std::vector<bool> marked = fuzz::concerning(entries, file);
    const fuzz::Holdings before = fuzz::holdings(*machine);

    std::string argument = path;
    const LONG result = remove_pending_replacements(argument.data());
    fuzz::require(result == ERROR_SUCCESS, "the clean-up failed", std::to_string(result));
    fuzz::require(fuzz::holdings(*machine) == before, "the clean-up left a block or a handle behind");
    std::optional<winsim::RegistryValue> left = machine->registry().value(session_manager, pending_value);
    fuzz::require(left.has_value(), "the list is gone");
    const std::string expected = fuzz::without(list, entries, marked);
    // NT's ANSI entry counts in the terminator that follows a list written without one.
    const bool rewritten = std::find(marked.begin(), marked.end(), true) != marked.end();
    const bool terminated = rewritten && !expected.empty() && expected.back() != '\0' && left->bytes == expected + '\0';
    fuzz::require(left->bytes == expected || terminated, "the list is not the old one less the file's operations",
                  fuzz::printable(left->bytes) + "\ninstead of\n" + fuzz::printable(expected));
    fuzz::require_files_kept(*machine, scene, entries, marked);
    return 0;
}
