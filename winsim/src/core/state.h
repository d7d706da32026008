// The inside of a simulated machine: what its process holds (last error, blocks,
// handles, modules) beside the machine's own disk, clock and fault rules.
#pragma once

#include <winsim/machine.h>
#include <winsim/images/modules.h>
#include <winsim/gdi/graphics.h>

#include "services/service_state.h"
#include "shell/shell_state.h"

#include <map>
#include <memory>
#include <string>

namespace winsim::detail {

struct KernelObject {
    virtual ~KernelObject() = default;
};

struct FileObject : KernelObject {
    std::shared_ptr<FileNode> node;
    DWORD access = 0;
    DWORD share = 0;
    std::uint64_t position = 0;
};

// A mapping keeps its file open, as Windows does, even after the file's handle is closed.
struct MappingObject : KernelObject {
    std::shared_ptr<FileNode> node;
    std::shared_ptr<FileObject> file;
    DWORD protect = 0;
};

// A view is a copy of the file's bytes; a writable one is written back into the file
// when it is flushed or unmapped.
struct View {
    std::shared_ptr<MappingObject> mapping;
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::uint64_t offset = 0;
    bool writable = false;
};

enum class ModuleKind { program, system };

struct LoadedModule {
    std::string name;
    ModuleKind kind = ModuleKind::system;
    const ProgramModule* program = nullptr;
    bool as_data = false;
    bool entry_called = false;
    int references = 0;
    std::map<std::string, FARPROC, std::less<>> exports;
};

struct MachineState {
    Platform platform = Platform::win2000;
    MachineOptions options;
    std::filesystem::path folder;
    Clock clock;
    Faults faults;
    FileSystem files{clock};
    Desktop desktop;
    Graphics graphics;
    Registry registry;

    DWORD last_error = 0;
    std::map<const void*, std::size_t> local_blocks;
    std::map<const void*, std::size_t> heap_blocks;
    std::map<std::uintptr_t, std::shared_ptr<KernelObject>> handles;
    std::uintptr_t next_handle = 0x100;
    std::map<const void*, View> views;
    std::map<std::uintptr_t, LoadedModule> modules;
    std::uintptr_t next_module_base = 0x10000000;

    // Keyed by the service's name as its registry key spells it.
    std::map<std::string, ServiceRun, LessNoCase> services;
    std::vector<ServiceEvent> service_events;
    SpoolerRun spooler;
    SessionRun session;
};

MachineState& state();

// A FILETIME as its count of 100-nanosecond ticks, and back.
inline std::uint64_t ticks_of(const FILETIME& time) {
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
inline FILETIME filetime_of(std::uint64_t ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

inline bool is_nt(const MachineState& machine) { return platform_info(machine.platform).family == Family::nt; }
// Whether the current machine is of the NT family.
inline bool is_nt() { return is_nt(state()); }

// Handle table of the process. Handles are small multiples of 4, as on Windows.
HANDLE add_handle(std::shared_ptr<KernelObject> object);
template <typename T>
std::shared_ptr<T> handle_object(HANDLE handle) {
    auto& handles = state().handles;
    auto it = handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles.end()) return nullptr;
    return std::dynamic_pointer_cast<T>(it->second);
}

}  // namespace winsim::detail
