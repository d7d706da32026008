// Programs started on the machine and their windows. A started program runs until a
// restart; the product's daemon opens its window and ends when the window is asked to
// close (WM_SYSCOMMAND with SC_CLOSE). A running program holds its file open for reading,
// as the loader holds an image it maps.
#include "core/api.h"
#include "images/image_reader.h"

#include <cstdio>
#include <string>

namespace {

using winsim::detail::fail;
using winsim::detail::state;

struct ProcessObject : winsim::detail::KernelObject {
    DWORD id = 0;
};

std::string holder_name(DWORD id) { return "process " + std::to_string(id); }

// Every program has one window at most, so a window is named by its program's id.
constexpr std::uintptr_t first_window = 0x00020000;
HWND window_of(DWORD id) { return reinterpret_cast<HWND>(first_window + id); }

winsim::StartedProcess* process_of_window(HWND window) {
    for (winsim::StartedProcess& process : state().session.processes)
        if (process.running && !process.window_class.empty() && window_of(process.id) == window) return &process;
    return nullptr;
}

const winsim::detail::ProgramRefusal* refusal_of(const std::string& program) {
    auto& refusals = state().session.refusals;
    auto it = refusals.find(program);
    return it == refusals.end() ? nullptr : &it->second;
}

}  // namespace

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    WINSIM_API("CreateProcessA", FALSE);
    (void)lpProcessAttributes;
    (void)lpThreadAttributes;
    (void)bInheritHandles;
    (void)lpEnvironment;
    if (!lpApplicationName)
        return winsim::detail::not_simulated("CreateProcessA that finds its program in the command line", FALSE);
    if (lpCurrentDirectory) return winsim::detail::not_simulated("CreateProcessA with a current directory", FALSE);
    if (!lpStartupInfo || !lpProcessInformation) return fail(ERROR_INVALID_PARAMETER, FALSE);

    // The program is taken as named, from the current directory; no search path.
    auto& machine = state();
    DWORD error = 0;
    std::shared_ptr<winsim::FileNode> node = machine.files.find(lpApplicationName, error);
    if (!node) return fail(error, FALSE);
    if (node->directory) return fail(ERROR_ACCESS_DENIED, FALSE);
    std::optional<winsim::detail::Image> image = winsim::detail::Image::parse(node->data);
    if (!image || image->is_dll()) return fail(ERROR_BAD_EXE_FORMAT, FALSE);
    const std::string program = machine.files.full_path(lpApplicationName, error)->text();
    if (const winsim::detail::ProgramRefusal* refusal = refusal_of(program); refusal && refusal->start_code)
        return fail(refusal->start_code, FALSE);

    winsim::StartedProcess process;
    process.id = machine.session.next_process_id;
    machine.session.next_process_id += 4;
    process.program = program;
    process.command_line = lpCommandLine ? lpCommandLine : "";
    process.creation_flags = dwCreationFlags;
    process.desktop = lpStartupInfo->lpDesktop ? lpStartupInfo->lpDesktop : "";
    process.startup_flags = lpStartupInfo->dwFlags;
    process.show_window = lpStartupInfo->dwFlags & STARTF_USESHOWWINDOW ? lpStartupInfo->wShowWindow : SW_SHOWNORMAL;
    if (image->load_string(winsim::daemon_class_string).text == winsim::daemon_window_class)
        process.window_class = winsim::daemon_window_class;
    machine.files.hold(program, FILE_SHARE_READ, GENERIC_READ, holder_name(process.id));

    auto process_handle = std::make_shared<ProcessObject>();
    process_handle->id = process.id;
    auto thread_handle = std::make_shared<ProcessObject>();
    thread_handle->id = process.id;
    lpProcessInformation->hProcess = winsim::detail::add_handle(process_handle);
    lpProcessInformation->hThread = winsim::detail::add_handle(thread_handle);
    lpProcessInformation->dwProcessId = process.id;
    lpProcessInformation->dwThreadId = process.id + 2;
    winsim::detail::note_program_event(machine, "started " + program);
    machine.session.processes.push_back(std::move(process));
    return TRUE;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    WINSIM_API("FindWindowA", nullptr);
    if (!lpClassName || IS_INTRESOURCE(lpClassName))
        return winsim::detail::not_simulated("FindWindowA by title or class atom", static_cast<HWND>(nullptr));
    // The daemon's window has no title.
    if (lpWindowName && *lpWindowName) return nullptr;
    for (const winsim::StartedProcess& process : state().session.processes)
        if (process.running && !process.window_class.empty() && winsim::detail::same_name(process.window_class, lpClassName))
            return window_of(process.id);
    return nullptr;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WINSIM_API("PostMessageA", FALSE);
    (void)lParam;
    if (hWnd == HWND_BROADCAST) return winsim::detail::not_simulated("PostMessageA to every window", FALSE);
    winsim::StartedProcess* process = process_of_window(hWnd);
    if (!process) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    // The low four bits of a system command are the system's own.
    const bool close = Msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE;
    char what[64];
    std::snprintf(what, sizeof what, close ? "SC_CLOSE" : "message 0x%04X", Msg);
    winsim::detail::note_program_event(state(), std::string("posted ") + what + " to " + process->window_class);
    if (!close) return TRUE;
    const winsim::detail::ProgramRefusal* refusal = refusal_of(process->program);
    if (refusal && refusal->close) return TRUE;
    process->running = false;
    state().files.release(process->program, holder_name(process->id));
    winsim::detail::note_program_event(state(), "ended " + process->program);
    return TRUE;
}
