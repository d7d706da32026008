// Program modules that the host links in and winsim serves by name, as Windows serves
// a DLL from disk: the library registers itself as "OrvInstl.dll", so that a setup
// program's LoadLibraryA runs its DllMain and GetProcAddress finds its exports.
#pragma once

#include <winsim/windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace winsim {

typedef BOOL(WINAPI* DllEntryPoint)(HINSTANCE, DWORD, LPVOID);

// An export's address as GetProcAddress hands it out, whatever the function's type.
template <typename Function>
FARPROC export_address(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct ProgramModule {
    std::string name;  // file name, "OrvInstl.dll"
    DllEntryPoint entry = nullptr;
    std::vector<std::pair<std::string, FARPROC>> exports;
    std::map<UINT, std::string> strings;  // the module's string table
    // The module's bitmap resources by ID, each as a resource file holds it: the
    // BITMAPINFOHEADER, the colour table and the bits, without the .bmp file header.
    std::map<UINT, std::string> bitmaps;
    // Served only where a file of its name lies in LoadLibraryA's search order (or at
    // the path asked for): a module the product ships, which a machine may lack.
    bool needs_file = false;
};

// Registers a module for every machine of this host process; a second registration of
// the same name replaces the first.
void register_program_module(ProgramModule module);
const ProgramModule* find_program_module(std::string_view name);

}  // namespace winsim
