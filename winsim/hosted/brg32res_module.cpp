// The product's resource thunk as a module of winsim. Unlike the library, which a
// setup program brings with it, the thunk is a file the product ships: a machine has it
// only where its file lies in LoadLibraryA's search order, and then this code runs.
#include <brg32res.h>

#include <winsim/images/modules.h>

namespace {

struct Registration {
    Registration() {
        winsim::ProgramModule module{"brg32res.dll", nullptr, {{"LoadString32_16", winsim::export_address(&LoadString32_16)}}, {}};
        module.needs_file = true;
        winsim::register_program_module(std::move(module));
    }
} registration;

}  // namespace
