// The modules the port monitor and the product's dialog program need beside them.
#include "monitors.h"

#include "files/directories.h"
#include "files/paths.h"
#include "frame/platform_flags.h"
#include "orvinstl.h"

namespace {

const char* const monitor_companions_9x[] = {"brg16aud", "brg32aud", "aud16", nullptr};
const char* const no_companions[] = {nullptr};
const char* const dialog_companions_16bit[] = {"orv16flt", "orvpipe", nullptr};
const char* const dialog_companions_32bit[] = {"orv32flt", nullptr};
const char* const dialog_companions_9x[] = {"orv16flt", "orv32flt", "brg16flt", "brg32flt", nullptr};

bool split(LPCSTR path, PathParts* parts) {
    if (lstrlenA(path) >= MAX_PATH) return false;
    split_path(path, parts);
    return true;
}

// Joins the parts when the result fits MAX_PATH.
bool join(LPSTR path, LPCSTR drive, LPCSTR directory, LPCSTR name, LPCSTR extension) {
    if (lstrlenA(drive) + lstrlenA(directory) + lstrlenA(name) + lstrlenA(extension) + 2 >= MAX_PATH) return false;
    _makepath(path, drive, directory, name, extension);
    return true;
}

// A copy done, kept (the installed one is not older) or left to the next start all
// count; anything else stops the companions.
bool safe_copy_done(LPCSTR source, LPCSTR destination) { return copy_counts_as_done(insSafeFileCopy(source, destination, 0)); }

bool copy_modules(const char* const* modules, const PathParts& from, LPCSTR to_drive, LPCSTR to_directory) {
    for (const char* const* module = modules; *module; ++module) {
        char source[MAX_PATH], destination[MAX_PATH];
        if (!join(source, from.drive, from.directory, *module, ".dll") ||
            !join(destination, to_drive, to_directory, *module, ".dll") || !safe_copy_done(source, destination))
            return false;
    }
    return true;
}

}  // namespace

LONG copy_monitor_companions(LPCSTR monitor_path) {
    PathParts from{};
    if (!split(monitor_path, &from)) return 0;
    const char* const* modules = os_is_9x ? monitor_companions_9x : no_companions;
    char system[MAX_PATH];
    if (!GetSystemDirectoryA(system, MAX_PATH)) return 0;
    char drive[_MAX_DRIVE] = "";
    LPCSTR directory = system;
    if (system[0] && system[1] == ':') {
        drive[0] = system[0];
        drive[1] = ':';
        drive[2] = '\0';
        directory = system + 2;
    }
    return copy_modules(modules, from, drive, directory) ? 1 : 0;
}

LONG copy_dialog_companions(LPCSTR source_path, LPCSTR program_path) {
    PathParts source{}, program{};
    if (!split(source_path, &source) || !split(program_path, &program)) return 0;
    char program_directory[MAX_PATH];
    if (!join(program_directory, program.drive, program.directory, "", "")) return 0;
    if (create_directory_path(program_directory)) return 0;
    const char* const* modules = dialog_companions_9x;
    if (os_is_nt) {
        DWORD type = 0;
        if (!GetBinaryTypeA(source_path, &type)) return 0;
        bool sixteen_bit = type == SCS_DOS_BINARY || type == SCS_WOW_BINARY || type == SCS_PIF_BINARY;
        modules = sixteen_bit ? dialog_companions_16bit : dialog_companions_32bit;
    }
    if (lstrcmpiA(source.drive, program.drive) == 0 && lstrcmpiA(source.directory, program.directory) == 0) return 1;
    char from[MAX_PATH], to[MAX_PATH];
    if (!join(from, source.drive, source.directory, program.name, program.extension) ||
        !join(to, program.drive, program.directory, program.name, program.extension) || !safe_copy_done(from, to))
        return 0;
    return copy_modules(modules, source, program.drive, program.directory) ? 1 : 0;
}
