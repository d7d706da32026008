// winsim's REGEDIT4 reader, over any text: it reads the text or refuses it with a
// message, never more; and what it read, saved, reads back to the same text.
#include "support/fuzz_support.h"

#include "registry/registry_store.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    winsim::detail::RegistryStore store;
    try {
        store.read_text(text);
    } catch (const std::runtime_error&) {
        // Refused as a whole: the keys it had are still there, and save as before.
        winsim::detail::RegistryStore fresh;
        fuzz::require(store.write_text() == fresh.write_text(), "a refused text changed the registry");
        return 0;
    }
    const std::string saved = store.write_text();
    winsim::detail::RegistryStore reopened;
    try {
        reopened.read_text(saved);
    } catch (const std::exception& error) {
        fuzz::broken("a registry it read does not read back once saved", error.what());
    }
    fuzz::require(reopened.write_text() == saved, "the registry read back is not the one saved", saved);
    return 0;
}
