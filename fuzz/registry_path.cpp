// Registry path texts through the exports that take them: a value written under any
// path is read back as written, a path refused is refused with an entry in the error
// text, nothing stays open, and the registry the machine keeps is still one it can
// save and read again.
#include "support/fuzz_support.h"

#include "orvinstl.h"
#include "registry/registry_path.h"
#include "registry/registry_store.h"

#include <stdexcept>

namespace {

// The registry as the machine saves it, read back into a registry of its own.
void require_saved_registry_reads_back(winsim::Machine& machine) {
    const std::string saved = machine.registry().regedit_text();
    winsim::detail::RegistryStore reopened;
    try {
        reopened.read_text(saved);
    } catch (const std::exception& error) {
        fuzz::broken("the saved registry does not read back", error.what());
    }
    fuzz::require(reopened.write_text() == saved, "the registry read back is not the one saved");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool nt = input.ConsumeBool();
    const std::string path = fuzz::text(input, 600);
    const std::string name = fuzz::text(input, 80);
    const std::string value = fuzz::text(input, 300);
    auto machine = fuzz::machine_with_library(nt ? winsim::Platform::nt4 : winsim::Platform::win98);
    const fuzz::Holdings before = fuzz::holdings(*machine);

    const LONG written = insSetRegistryVal(path.c_str(), name.c_str(), value.c_str(), REG_SZ, -1);
    if (written == ERROR_SUCCESS) {
        std::string buffer(value.size() + 1, '#');
        LONG type = -1, needed = -1;
        const LONG read = insFetchRegistryVal(path.c_str(), name.c_str(), reinterpret_cast<LPBYTE>(buffer.data()), &type,
                                              static_cast<LONG>(buffer.size()), &needed);
        fuzz::require(read == ERROR_SUCCESS && type == REG_SZ, "a value written cannot be read", std::to_string(read));
        fuzz::require(buffer == value + '\0', "the value read is not the one written", buffer);
    } else {
        fuzz::require(ErrorTextLen() > 0, "a refused path left no entry in the error text", std::to_string(written));
    }
    ConfirmRegValueExists(path.c_str(), name.c_str());
    fuzz::take_error_text();
    fuzz::require(fuzz::holdings(*machine) == before, "a key or a block stayed open");
    require_saved_registry_reads_back(*machine);
    return 0;
}
