// Modules of the process: the system modules winsim provides, the program modules
// the host links in (the library among them), and images read from the machine's
// disk, loaded, looked up and freed as Windows does, with their string tables served
// by LoadStringA.
#include "core/names.h"
#include "core/api.h"
#include "images/image_reader.h"
#include "images/module_resources.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

using winsim::detail::same_name;

namespace winsim {

namespace {

std::map<std::string, ProgramModule, detail::LessNoCase>& program_modules() {
    static std::map<std::string, ProgramModule, detail::LessNoCase> modules;
    return modules;
}

}  // namespace

void register_program_module(ProgramModule module) {
    std::string key = module.name;
    program_modules()[key] = std::move(module);
}

const ProgramModule* find_program_module(std::string_view name) {
    auto it = program_modules().find(name);
    return it == program_modules().end() ? nullptr : &it->second;
}

}  // namespace winsim

namespace {

using winsim::detail::Image;
using winsim::detail::ImageFormat;
using winsim::detail::LoadedModule;
using winsim::detail::ModuleKind;
using winsim::detail::ResourceLookup;
using winsim::detail::fail;
using winsim::detail::state;

constexpr DWORD error_bad_format = 11;  // ERROR_BAD_FORMAT

// A module loaded from disk: its image, kept as it was read, and the path it was
// read from. The process state has no room for them, so they live here, keyed by the
// machine and the module's handle; a load always replaces what an earlier machine at
// the same address may have left.
struct DiskModule {
    std::shared_ptr<const Image> image;
    std::string path;
};

std::map<std::pair<const void*, std::uintptr_t>, DiskModule>& disk_modules() {
    static std::map<std::pair<const void*, std::uintptr_t>, DiskModule> modules;
    return modules;
}

std::pair<const void*, std::uintptr_t> disk_key(std::uintptr_t base) { return {&state(), base}; }

// A module from disk is a program module without a program behind it.
bool is_disk_module(const LoadedModule& module) { return module.kind == ModuleKind::program && !module.program; }

const DiskModule* disk_module(std::uintptr_t base) {
    auto it = disk_modules().find(disk_key(base));
    return it == disk_modules().end() ? nullptr : &it->second;
}

// What GetProcAddress hands out for a function of an image from disk: there is no
// code of it to run, so a call fails at once and says so.
INT_PTR WINAPI disk_export_called() {
    return winsim::detail::not_simulated("calling a function of a DLL loaded from disk", INT_PTR{0});
}

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
    if (same_name(name, "winspool.drv")) {
        module.kind = ModuleKind::system;
        // A monitor's configuration channel came with Windows 2000.
        if (state().platform == winsim::Platform::win2000) module.exports["XcvDataW"] = winsim::export_address(&XcvDataW);
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

// Where Windows looks for a bare module name: the program's directory and the
// current one (both C:\ here), the system directory, on NT the 16-bit system
// directory, then the Windows directory.
std::vector<std::string> search_directories() {
    const winsim::PlatformInfo& platform = winsim::platform_info(state().platform);
    // The program's own directory comes first; a setup program runs from its current
    // directory here, so that one stands for both.
    std::vector<std::string> directories{state().files.current_directory(), std::string(platform.system_directory)};
    if (platform.family == winsim::Family::nt) directories.push_back(std::string(platform.windows_directory) + "\\SYSTEM");
    directories.push_back(std::string(platform.windows_directory));
    return directories;
}

struct FoundFile {
    std::shared_ptr<winsim::FileNode> node;
    std::string path;  // full, as Windows would name the module
    DWORD error = 0;
};

// Whether the name ends in a separator: the name of a file followed by "\" names no
// file, and NT's file system refuses it outright.
bool ends_in_separator(std::string_view path) { return !path.empty() && (path.back() == '\\' || path.back() == '/'); }

// What a load answers when it finds no file. Loaded as code, the module is not found;
// as a data file, the file is not found, except that NT 4.0 goes on to map the handle
// its failed open gave and answers that the handle is invalid (Wine's module.c,
// testLoadLibraryEx, with its NT 4.0 branch; earlier NT versions taken as 4.0,
// unconfirmed).
DWORD not_found_error(bool as_data) {
    if (!as_data) return ERROR_MOD_NOT_FOUND;
    const winsim::PlatformInfo& platform = winsim::platform_info(state().platform);
    return platform.family == winsim::Family::nt && platform.major < 5 ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
}

// A name that carries a path, relative ("SUB\m.dll", ".\m.dll", "C:m.dll") or full, is
// looked for only where it points, from the current directory as every file call takes
// it; a bare name goes through the search order.
FoundFile find_module_file(LPCSTR path, const std::string& name, bool as_data) {
    FoundFile found;
    DWORD error = 0;
    if (winsim::detail::names_a_path(path)) {
        std::optional<winsim::WindowsPath> parsed;
        if (!ends_in_separator(path)) parsed = state().files.full_path(path, error);
        if (parsed) found.node = state().files.find(*parsed, error);
        if (!found.node) {
            found.error = not_found_error(as_data);
        } else if (found.node->directory) {
            found.node = nullptr;
            found.error = ERROR_ACCESS_DENIED;
        } else {
            found.path = parsed->text();
        }
        return found;
    }
    for (const std::string& directory : search_directories()) {
        std::string candidate = directory;
        if (candidate.back() != '\\') candidate += '\\';
        candidate += name;
        std::optional<winsim::WindowsPath> parsed = winsim::FileSystem::parse(candidate, error);
        if (!parsed) continue;
        std::shared_ptr<winsim::FileNode> node = state().files.find(*parsed, error);
        if (node && !node->directory) {
            found.node = std::move(node);
            found.path = parsed->text();
            return found;
        }
    }
    found.error = not_found_error(as_data);
    return found;
}

// Whether the process can map `image` the way it is asked to, or the error it fails
// with. A 16-bit module is never mapped by a Win32 loader: NT refuses it as code and
// as data file alike with ERROR_BAD_EXE_FORMAT, Windows 9x with ERROR_BAD_FORMAT;
// only Win32s loads it, through the 16-bit kernel, and says so in the last error.
DWORD refusal(const Image& image, bool as_data) {
    const winsim::Family family = winsim::platform_info(state().platform).family;
    if (image.format() == ImageFormat::ne) {
        if (family == winsim::Family::win32s) return 0;
        return family == winsim::Family::win9x ? error_bad_format : ERROR_BAD_EXE_FORMAT;
    }
    // A system from before 64-bit Windows cannot read the PE32+ headers even to
    // find the resources.
    if (image.format() == ImageFormat::pe32_plus && !winsim::detail::knows_pe32_plus(winsim::platform_info(state().platform))) return ERROR_BAD_EXE_FORMAT;
    if (as_data) return 0;
    const bool x64 = state().options.arch == winsim::Arch::x64;
    const bool native = x64 ? image.format() == ImageFormat::pe32_plus && image.machine() == winsim::detail::image_machine_amd64
                            : image.format() == ImageFormat::pe32 && image.machine() == winsim::detail::image_machine_i386;
    return native ? 0 : ERROR_BAD_EXE_FORMAT;
}

LoadedModule* module_of(HMODULE handle) {
    auto& modules = state().modules;
    auto it = modules.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == modules.end() ? nullptr : &it->second;
}

std::uintptr_t next_base(bool as_data) {
    std::uintptr_t base = state().next_module_base;
    state().next_module_base += 0x100000;
    // A module mapped as data is marked in its handle's low bit, as Windows marks it.
    return as_data ? base | 1 : base;
}

HMODULE load_from_disk(LPCSTR path, const std::string& name, DWORD flags) {
    const bool as_data = flags & LOAD_LIBRARY_AS_DATAFILE;
    FoundFile file = find_module_file(path, name, as_data);
    if (!file.node) return fail(file.error, nullptr);
    auto& modules = state().modules;
    for (auto& [base, module] : modules) {
        if (module.as_data != as_data || !is_disk_module(module)) continue;
        const DiskModule* disk = disk_module(base);
        if (disk && same_name(disk->path, file.path)) {
            ++module.references;
            return reinterpret_cast<HMODULE>(base);
        }
    }
    std::optional<Image> parsed = Image::parse(file.node->data);
    if (!parsed) return fail(ERROR_BAD_EXE_FORMAT, nullptr);
    if (DWORD error = refusal(*parsed, as_data)) return fail(error, nullptr);
    auto image = std::make_shared<const Image>(std::move(*parsed));
    LoadedModule module;
    module.name = file.node->name;
    module.kind = ModuleKind::program;
    module.as_data = as_data;
    module.references = 1;
    if (!as_data && image->format() != ImageFormat::ne)
        for (const std::string& export_name : image->exports())
            module.exports[export_name] = winsim::export_address(&disk_export_called);
    const std::uintptr_t base = next_base(as_data);
    modules.emplace(base, std::move(module));
    disk_modules()[disk_key(base)] = DiskModule{std::move(image), file.path};
    // Win32s hands back a 16-bit module and tells so only in the last error.
    if (disk_module(base)->image->format() == ImageFormat::ne) SetLastError(ERROR_BAD_EXE_FORMAT);
    return reinterpret_cast<HMODULE>(base);
}

HMODULE load_module(LPCSTR path, DWORD flags) {
    if (!path || !*path) return fail(ERROR_INVALID_PARAMETER, nullptr);
    bool as_data = flags & LOAD_LIBRARY_AS_DATAFILE;
    std::string name = module_file_name(path);
    auto& modules = state().modules;
    // A loaded module of the name answers a bare name; a path answers it only for
    // the modules that are not files of this disk, which have no other name.
    for (auto& [base, module] : modules) {
        if (module.as_data != as_data || !same_name(module.name, name)) continue;
        if (is_disk_module(module) && winsim::detail::names_a_path(path)) continue;
        ++module.references;
        return reinterpret_cast<HMODULE>(base);
    }
    LoadedModule module;
    if (!describe_module(name, module)) return load_from_disk(path, name, flags);
    // A program module the product ships is there only where its file is.
    if (module.program && module.program->needs_file) {
        FoundFile file = find_module_file(path, name, as_data);
        if (!file.node) return fail(file.error, nullptr);
    }
    module.as_data = as_data;
    module.references = 1;
    std::uintptr_t base = next_base(as_data);
    LoadedModule& loaded = modules.emplace(base, std::move(module)).first->second;
    bool run_entry = !as_data && !(flags & DONT_RESOLVE_DLL_REFERENCES) && loaded.kind == ModuleKind::program &&
                     loaded.program && loaded.program->entry;
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
    if (hFile) return fail(ERROR_INVALID_PARAMETER, nullptr);
    return load_module(lpLibFileName, dwFlags);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    WINSIM_API("GetProcAddress", nullptr);
    LoadedModule* module = module_of(hModule);
    if (!module) return fail(ERROR_INVALID_HANDLE, nullptr);
    if (!module->as_data && is_disk_module(*module)) {
        const DiskModule* disk = disk_module(reinterpret_cast<std::uintptr_t>(hModule));
        if (disk && disk->image->format() == ImageFormat::ne)
            return winsim::detail::not_simulated("GetProcAddress on a 16-bit module (Win32s thunks)", static_cast<FARPROC>(nullptr));
    }
    if (module->as_data || IS_INTRESOURCE(lpProcName)) return fail(ERROR_PROC_NOT_FOUND, nullptr);
    auto it = module->exports.find(std::string_view(lpProcName));
    if (it == module->exports.end()) return fail(ERROR_PROC_NOT_FOUND, nullptr);
    return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    WINSIM_API("FreeLibrary", FALSE);
    LoadedModule* module = module_of(hLibModule);
    if (!module) return fail(ERROR_MOD_NOT_FOUND, FALSE);
    if (--module->references > 0) return TRUE;
    if (module->entry_called) {
        winsim::DllEntryPoint entry = module->program->entry;
        winsim::detail::ForeignCode foreign;
        entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    }
    state().modules.erase(reinterpret_cast<std::uintptr_t>(hLibModule));
    disk_modules().erase(disk_key(reinterpret_cast<std::uintptr_t>(hLibModule)));
    return TRUE;
}

// Copies the string of that ID, cut to the buffer less its terminator; a missing ID
// gives an empty string and 0, as Windows gives. For an image from disk the error
// tells how far the lookup got; an empty slot of a block that is there sets none.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    WINSIM_API("LoadStringA", 0);
    LoadedModule* module = module_of(hInstance);
    if (!module || !lpBuffer || cchBufferMax <= 0) return fail(module ? ERROR_INVALID_PARAMETER : ERROR_RESOURCE_DATA_NOT_FOUND, 0);
    std::string_view text;
    bool found = false;
    std::string disk_text;
    DWORD missing_error = ERROR_RESOURCE_NAME_NOT_FOUND;
    if (module->program) {
        auto it = module->program->strings.find(uID & 0xFFFF);
        if (it != module->program->strings.end()) {
            text = it->second;
            found = true;
        }
    } else if (const DiskModule* disk = disk_module(reinterpret_cast<std::uintptr_t>(hInstance))) {
        winsim::detail::StringLookup lookup = disk->image->load_string(uID);
        if (lookup.lookup == ResourceLookup::found) {
            disk_text = std::move(lookup.text);
            text = disk_text;
            found = true;
        } else {
            missing_error = winsim::detail::lookup_error(lookup.lookup);
        }
    }
    std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchBufferMax - 1));
    if (count) std::memcpy(lpBuffer, text.data(), count);
    lpBuffer[count] = '\0';
    if (!found) SetLastError(missing_error);
    return static_cast<int>(count);
}

namespace winsim::detail {

std::optional<std::string> module_bitmap(HINSTANCE instance, WORD id, DWORD& error) {
    LoadedModule* module = module_of(instance);
    error = ERROR_RESOURCE_DATA_NOT_FOUND;
    if (!module) return std::nullopt;
    if (module->program) {
        auto it = module->program->bitmaps.find(id);
        if (it != module->program->bitmaps.end()) return it->second;
        error = module->program->bitmaps.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND;
        return std::nullopt;
    }
    const DiskModule* disk = disk_module(reinterpret_cast<std::uintptr_t>(instance));
    if (!disk) return std::nullopt;
    ResourceData found = disk->image->find_resource(resource_type_bitmap, id);
    if (found.lookup != ResourceLookup::found) {
        error = lookup_error(found.lookup);
        return std::nullopt;
    }
    return std::string(found.bytes);
}

}  // namespace winsim::detail
