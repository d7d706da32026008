// The product's port monitor as the lane installs it under Wine, whose spooler loads
// a monitor and runs it. It does what a spooler asks of a port monitor to keep its
// ports and no more: it knows its ports from its registry keys as it read them when
// it was loaded and when it was asked to add one (ports with settings as keys under
// "PortList", plain ports as values of "Ports"), lists them, and deletes them. It
// prints nothing: the lane never sends a document to its ports.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr UINT monitor_name_string = 300;
const wchar_t monitors_key[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

HMODULE self = nullptr;
CRITICAL_SECTION guard;
std::wstring monitor_name;
std::vector<std::wstring> ports;

bool same_port(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

bool knows(const std::wstring& port) {
    return std::any_of(ports.begin(), ports.end(), [&](const std::wstring& known) { return same_port(known, port); });
}

std::wstring key_of(const wchar_t* part) { return monitors_key + monitor_name + L"\\" + part; }

// The names under one of the monitor's keys: its subkeys or its values.
std::vector<std::wstring> names_under(const wchar_t* part, bool subkeys) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_of(part).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[MAX_PATH];
        DWORD length = MAX_PATH;
        LONG status = subkeys ? RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr)
                              : RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

// What the registry holds now becomes the monitor's list: plain ports first, then the
// ports with settings, each name once.
void read_ports() {
    std::vector<std::wstring> read;
    for (bool subkeys : {false, true})
        for (std::wstring& name : names_under(subkeys ? L"PortList" : L"Ports", subkeys))
            if (std::none_of(read.begin(), read.end(), [&](const std::wstring& known) { return same_port(known, name); }))
                read.push_back(std::move(name));
    ports = std::move(read);
}

struct Locked {
    Locked() { EnterCriticalSection(&guard); }
    ~Locked() { LeaveCriticalSection(&guard); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// The spooler's two-call enumeration: fixed records from the start of the buffer,
// their strings packed from its end.
BOOL WINAPI enum_ports(HANDLE, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (level != 1 && level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    Locked locked;
    const DWORD record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const DWORD name_bytes = static_cast<DWORD>((monitor_name.size() + 1) * sizeof(wchar_t));
    DWORD total = 0;
    for (const std::wstring& port : ports)
        total += record + static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)) + (level == 2 ? 2 * name_bytes : 0);
    *needed = total;
    *returned = 0;
    if (size < total || (!buffer && total)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    BYTE* end = buffer + total;
    auto pack = [&](const std::wstring& text) {
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        end -= bytes;
        CopyMemory(end, text.c_str(), bytes);
        return reinterpret_cast<LPWSTR>(end);
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (level == 1) {
            reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = pack(ports[i]);
            continue;
        }
        // Its ports are described by the monitor's own name.
        PORT_INFO_2W& info = reinterpret_cast<PORT_INFO_2W*>(buffer)[i];
        info.pPortName = pack(ports[i]);
        info.pMonitorName = pack(monitor_name);
        info.pDescription = pack(monitor_name);
        info.fPortType = PORT_TYPE_WRITE;
        info.Reserved = 0;
    }
    *returned = static_cast<DWORD>(ports.size());
    return TRUE;
}

// Adding a port: whoever asks has written its keys already; the monitor reads them.
BOOL WINAPI add_port(HANDLE, LPWSTR, HWND, LPWSTR) {
    Locked locked;
    read_ports();
    return TRUE;
}

BOOL WINAPI add_port_ex(HANDLE, LPWSTR, DWORD, LPBYTE, LPWSTR) {
    Locked locked;
    read_ports();
    return TRUE;
}

// The port's entry goes from the registry and from the list.
BOOL WINAPI delete_port(HANDLE, LPWSTR, HWND, LPWSTR port_name) {
    Locked locked;
    if (!port_name || !knows(port_name)) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    HKEY plain = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_of(L"Ports").c_str(), 0, KEY_SET_VALUE, &plain) == ERROR_SUCCESS) {
        RegDeleteValueW(plain, port_name);
        RegCloseKey(plain);
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (key_of(L"PortList") + L"\\" + port_name).c_str());
    std::erase_if(ports, [&](const std::wstring& known) { return same_port(known, port_name); });
    return TRUE;
}

// The configuration channel: one kind of handle, the monitor itself.
BOOL WINAPI xcv_open_port(HANDLE monitor, LPCWSTR, ACCESS_MASK, PHANDLE channel) {
    *channel = monitor;
    return TRUE;
}

BOOL WINAPI xcv_close_port(HANDLE) { return TRUE; }

// Whether the spooler has a port of that name, of any monitor.
bool spooler_has_port(const std::wstring& port) {
    DWORD needed = 0;
    DWORD count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
    const auto* infos = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    return std::any_of(infos, infos + count, [&](const PORT_INFO_1W& info) { return same_port(info.pName, port); });
}

// "PortExists" answers with a BOOL; "AddPort" records a port without settings of its
// own as a key under PortList and reads the ports again.
DWORD WINAPI xcv_data_port(HANDLE, LPCWSTR command, PBYTE input, DWORD input_size, PBYTE output, DWORD output_size,
                           PDWORD needed) {
    const std::wstring port = input ? std::wstring(reinterpret_cast<const wchar_t*>(input),
                                                   wcsnlen(reinterpret_cast<const wchar_t*>(input), input_size / sizeof(wchar_t)))
                                    : std::wstring();
    if (lstrcmpW(command, L"PortExists") == 0) {
        *needed = sizeof(BOOL);
        if (port.empty()) return ERROR_INVALID_PARAMETER;
        if (!output || output_size < sizeof(BOOL)) return ERROR_INSUFFICIENT_BUFFER;
        const BOOL exists = spooler_has_port(port) ? TRUE : FALSE;
        CopyMemory(output, &exists, sizeof exists);
        return ERROR_SUCCESS;
    }
    if (lstrcmpW(command, L"AddPort") == 0) {
        *needed = 0;
        if (port.empty()) return ERROR_INVALID_PARAMETER;
        Locked locked;
        if (knows(port)) return ERROR_ALREADY_EXISTS;
        HKEY key = nullptr;
        const LONG made = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (key_of(L"PortList") + L"\\" + port).c_str(), 0, nullptr, 0,
                                          KEY_READ, nullptr, &key, nullptr);
        if (made != ERROR_SUCCESS) return static_cast<DWORD>(made);
        RegCloseKey(key);
        read_ports();
        return ERROR_SUCCESS;
    }
    return ERROR_INVALID_PARAMETER;
}

void WINAPI shutdown(HANDLE) {}

MONITOR2 table() {
    MONITOR2 functions{};
    functions.cbSize = sizeof functions;
    functions.pfnEnumPorts = enum_ports;
    functions.pfnAddPort = add_port;
    functions.pfnAddPortEx = add_port_ex;
    functions.pfnDeletePort = delete_port;
    functions.pfnXcvOpenPort = xcv_open_port;
    functions.pfnXcvDataPort = xcv_data_port;
    functions.pfnXcvClosePort = xcv_close_port;
    functions.pfnShutdown = shutdown;
    return functions;
}

MONITOR2 functions = table();

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        InitializeCriticalSection(&guard);
    } else if (reason == DLL_PROCESS_DETACH) {
        DeleteCriticalSection(&guard);
    }
    return TRUE;
}

// The spooler's first call once it has loaded the monitor: the monitor takes its name
// from its string table and its ports from its keys, and hands over its functions.
LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE monitor) {
    wchar_t name[80];
    const int length = LoadStringW(self, monitor_name_string, name, 80);
    if (length <= 0) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    Locked locked;
    monitor_name.assign(name, static_cast<std::size_t>(length));
    read_ports();
    *monitor = &functions;
    return &functions;
}

}  // extern "C"
