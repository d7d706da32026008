// The library as a module of winsim: on the host it is linked into the program, and
// this registers it under its file name, so that a setup program's LoadLibraryA runs
// its DllMain and GetProcAddress finds what the export list names.
#include "orvinstl.h"

#include <winsim/images/modules.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

const std::map<UINT, std::string>& orvinstl_string_table();
const std::map<UINT, std::string>& orvinstl_bitmap_table();
const std::vector<std::pair<std::string, FARPROC>>& orvinstl_export_table();

namespace {

struct Registration {
    Registration() {
        winsim::ProgramModule module{"OrvInstl.dll", &DllMain, orvinstl_export_table(), orvinstl_string_table()};
        module.bitmaps = orvinstl_bitmap_table();
        winsim::register_program_module(std::move(module));
    }
} registration;

}  // namespace
