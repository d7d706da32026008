// The product's daemon as a program started with every logon: its entry in the common
// Startup group (Program Manager's on NT 3.51, a link in the Startup folder elsewhere),
// started at once, and on removal asked to close and its entry taken away.
#include "orvinstl.h"

#include "daemon/program_manager.h"
#include "daemon/shell_link.h"
#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"

namespace {

constexpr const char daemon_window_class[] = "OrvanaDaemonClass";
constexpr const char daemon_desktop[] = "WinSta0\\Default";
// NT 4.0 and 2000 keep everyone's Startup folder in the All Users profile; the other
// systems have one Start Menu.
constexpr const char common_startup_folder[] = "\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\";
constexpr const char startup_folder[] = "\\Start Menu\\Programs\\Startup\\";
constexpr const char link_extension[] = ".lnk";

// The text up to the last `mark`, or all of it when it has none.
void cut_at_last(LPSTR text, char mark) {
    LPSTR last = nullptr;
    for (LPSTR at = text; *at; ++at)
        if (*at == mark) last = at;
    if (last) *last = '\0';
}

// The link's full path: the Windows directory, the platform's Startup folder, the entry
// and ".lnk". S_OK, or the failure as an HRESULT (a path too long for MAX_PATH included).
HRESULT daemon_link_path(LPCSTR entry_name, LPSTR path) {
    const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (!length) return HRESULT_FROM_WIN32(GetLastError());
    LPCSTR folder = os_is_nt4 || os_is_nt5 ? common_startup_folder : startup_folder;
    if (length + lstrlenA(folder) + lstrlenA(entry_name) + lstrlenA(link_extension) >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    lstrcatA(path, folder);
    lstrcatA(path, entry_name);
    lstrcatA(path, link_extension);
    return S_OK;
}

// The link in the common Startup folder, starting the program in its own directory. A
// link that cannot be made is recorded; the daemon is started all the same.
void add_startup_link(LPCSTR entry_name, LPCSTR program_path) {
    char link[MAX_PATH];
    HRESULT result = daemon_link_path(entry_name, link);
    char working_directory[MAX_PATH];
    if (SUCCEEDED(result) && lstrlenA(program_path) >= MAX_PATH) result = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    if (SUCCEEDED(result)) {
        // The extension goes first, so that a path without a directory keeps its name.
        lstrcpyA(working_directory, program_path);
        cut_at_last(working_directory, '.');
        cut_at_last(working_directory, '\\');
        result = create_shell_link(program_path, link, entry_name, nullptr, working_directory);
    }
    record_error(static_cast<DWORD>(result), IDS_SHELL_INVOCATION_TO_CREATE_DAEMON_LINK, nullptr, 0, S_FALSE);
}

// Starts the daemon detached, shown on the interactive desktop. 0, or the Windows code
// of the failed start (recorded).
LONG start_daemon(LPCSTR program_path) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<LPSTR>(daemon_desktop);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    startup.wShowWindow = SW_SHOW;
    char command_line[] = "";
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program_path, command_line, nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE | DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process))
        return record_last_error(IDS_STARTING_DAEMON_PROCESS, program_path, 0, 0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 0;
}

}  // namespace

// Puts the daemon into the common Startup group (replacing an entry of that name) and
// starts it. 0 started; the start's Windows code; on NT 3.51 the DDE code when DDE
// cannot be started (nothing else done). The entry's failures are recorded only.
LONG WINAPI insAddDaemonProcess(LPCSTR entryName, LPCSTR programPath) {
    if (!entryName || !programPath) return ERROR_INVALID_PARAMETER;
    if (os_is_nt351) {
        if (LONG failure = update_startup_group(entryName, programPath)) return failure;
    } else {
        add_startup_link(entryName, programPath);
    }
    return start_daemon(programPath);
}

// Asks a running daemon to close (without waiting for it) and takes its entry out of
// the common Startup group. 0, or the DDE code when DDE cannot be started.
LONG WINAPI insDeleteDaemonProcess(LPCSTR entryName) {
    if (!entryName) return ERROR_INVALID_PARAMETER;
    if (HWND daemon = FindWindowA(daemon_window_class, nullptr)) PostMessageA(daemon, WM_SYSCOMMAND, SC_CLOSE, 0);
    return update_startup_group(entryName, nullptr);
}
