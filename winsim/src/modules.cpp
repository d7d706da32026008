// Modules of the process: the system modules winsim provides, and the program modules
// the host links in (the library among them), loaded, looked up and freed as Windows
// does, with their string tables served by LoadStringA.
#include "api.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace winsim {

namespace {

std::map<std::string, ProgramModule>& program_modules() {
    static std::map<std::string, ProgramModule> modules;
    return modules;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

void register_program_module(ProgramModule module) {
    std::string key = lower(module.name);
    program_modules()[key] = std::move(module);
}

const ProgramModule* find_program_module(std::string_view name) {
    auto it = program_modules().find(lower(name));
    return it == program_modules().end() ? nullptr : &it->second;
}

}  // namespace winsim

namespace {

using winsim::detail::LoadedModule;
using winsim::detail::ModuleKind;
using winsim::detail::state;

// The terminal-server extension's kernel export: only its presence is ever asked for.
INT_PTR WINAPI citrix_get_app_module_name() { return 0; }

// SETUPAPI.DLL's IsUserAdmin answers the machine's administrator option.
BOOL WINAPI is_user_admin() { return state().options.administrator ? TRUE : FALSE; }

// The module name Windows looks for: the file name of the path, with ".DLL" added
// when it has no extension.
std::string module_file_name(std::string_view path) {
    auto slash = path.find_last_of("\\/");
    std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (name.find('.') == std::string::npos) name += ".DLL";
    return name;
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Describes a module of that name, or answers false when the machine has none.
bool describe_module(const std::string& name, LoadedModule& module) {
    module.name = name;
    if (same_name(name, "kernel32.dll")) {
        module.kind = ModuleKind::system;
        module.exports["GetVersionExA"] = winsim::export_address(&GetVersionExA);
        module.exports["LoadLibraryA"] = winsim::export_address(&LoadLibraryA);
        module.exports["GetProcAddress"] = winsim::export_address(&GetProcAddress);
        module.exports["FreeLibrary"] = winsim::export_address(&FreeLibrary);
        if (state().options.terminal_services)
            module.exports["CitrixGetAppModuleName"] = winsim::export_address(&citrix_get_app_module_name);
        return true;
    }
    if (same_name(name, "setupapi.dll")) {
        if (state().options.setupapi == winsim::SetupApi::absent) return false;
        module.kind = ModuleKind::system;
        if (state().options.setupapi == winsim::SetupApi::present)
            module.exports["IsUserAdmin"] = winsim::export_address(&is_user_admin);
        return true;
    }
    if (const winsim::ProgramModule* program = winsim::find_program_module(name)) {
        module.kind = ModuleKind::program;
        module.program = program;
        for (const auto& [export_name, address] : program->exports) module.exports[export_name] = address;
        return true;
    }
    return false;
}

LoadedModule* module_of(HMODULE handle) {
    auto& modules = state().modules;
    auto it = modules.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == modules.end() ? nullptr : &it->second;
}

HMODULE load_module(LPCSTR path, DWORD flags) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool as_data = flags & LOAD_LIBRARY_AS_DATAFILE;
    std::string name = module_file_name(path);
    auto& modules = state().modules;
    for (auto& [base, module] : modules) {
        if (module.as_data == as_data && same_name(module.name, name)) {
            ++module.references;
            return reinterpret_cast<HMODULE>(base);
        }
    }
    LoadedModule module;
    if (!describe_module(name, module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    module.as_data = as_data;
    module.references = 1;
    std::uintptr_t base = state().next_module_base;
    state().next_module_base += 0x100000;
    // A module mapped as data is marked in its handle's low bit, as Windows marks it.
    if (as_data) base |= 1;
    LoadedModule& loaded = modules.emplace(base, std::move(module)).first->second;
    bool run_entry = !as_data && !(flags & DONT_RESOLVE_DLL_REFERENCES) && loaded.kind == ModuleKind::program &&
                     loaded.program->entry;
    if (run_entry) {
        loaded.entry_called = true;
        winsim::DllEntryPoint entry = loaded.program->entry;
        winsim::detail::ForeignCode foreign;
        if (!entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_ATTACH, nullptr)) {
            modules.erase(base);
            SetLastError(1114);  // ERROR_DLL_INIT_FAILED
            return nullptr;
        }
    }
    return reinterpret_cast<HMODULE>(base);
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    WINSIM_API("LoadLibraryA", nullptr);
    return load_module(lpLibFileName, 0);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    WINSIM_API("LoadLibraryExA", nullptr);
    if (hFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return load_module(lpLibFileName, dwFlags);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    WINSIM_API("GetProcAddress", nullptr);
    LoadedModule* module = module_of(hModule);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (module->as_data || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    auto it = module->exports.find(std::string_view(lpProcName));
    if (it == module->exports.end()) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    WINSIM_API("FreeLibrary", FALSE);
    LoadedModule* module = module_of(hLibModule);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (--module->references > 0) return TRUE;
    if (module->entry_called) {
        winsim::DllEntryPoint entry = module->program->entry;
        winsim::detail::ForeignCode foreign;
        entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    }
    state().modules.erase(reinterpret_cast<std::uintptr_t>(hLibModule));
    return TRUE;
}

// Copies the string of that ID, cut to the buffer less its terminator; a missing ID
// gives an empty string and 0, as Windows gives.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    WINSIM_API("LoadStringA", 0);
    LoadedModule* module = module_of(hInstance);
    if (!module || !lpBuffer || cchBufferMax <= 0) {
        SetLastError(module ? ERROR_INVALID_PARAMETER : ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    std::string_view text;
    bool found = false;
    if (module->program) {
        auto it = module->program->strings.find(uID & 0xFFFF);
        if (it != module->program->strings.end()) {
            text = it->second;
            found = true;
        }
    }
    std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchBufferMax - 1));
    if (count) std::memcpy(lpBuffer, text.data(), count);
    lpBuffer[count] = '\0';
    if (!found) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return static_cast<int>(count);
}
