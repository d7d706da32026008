// The kernel's process basics: last error, version, time and memory.
#include "core/api.h"

#include <cstdlib>
#include <cstring>

using winsim::detail::state;

DWORD WINAPI GetLastError(void) { return state().last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { state().last_error = dwErrCode; }

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    WINSIM_API("GetVersionExA", FALSE);
    const winsim::PlatformInfo& platform = winsim::platform_info(state().platform);
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows takes exactly the structure it knows; any other size is too small.
    DWORD size = info->dwOSVersionInfoSize;
    bool ex = size == sizeof(OSVERSIONINFOEXA) && platform.accepts_version_info_ex;
    if (size != sizeof(OSVERSIONINFOA) && !ex) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = platform.major;
    info->dwMinorVersion = platform.minor;
    info->dwBuildNumber = platform.build_number;
    info->dwPlatformId = platform.platform_id;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::memcpy(info->szCSDVersion, platform.csd_version.data(), platform.csd_version.size());
    if (ex) {
        auto* info_ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
        info_ex->wServicePackMajor = platform.csd_version.empty() ? 0 : static_cast<WORD>(platform.csd_version[13] - '0');
        info_ex->wServicePackMinor = 0;
        info_ex->wSuiteMask = state().options.terminal_services ? 0x0010 : 0;  // VER_SUITE_TERMINAL
        info_ex->wProductType = 1;                                               // VER_NT_WORKSTATION
        info_ex->wReserved = 0;
    }
    return TRUE;
}

// The processor as the calling process sees it: a machine's architecture is that of the
// programs it runs (a 32-bit program on 64-bit Windows is told x86, as WOW64 tells it).
// 95/98 leave the architecture 0, which is x86's.
void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
    winsim::detail::ApiCall call("GetSystemInfo");
    const bool x64 = state().options.arch == winsim::Arch::x64;
    std::memset(info, 0, sizeof *info);
    info->wProcessorArchitecture = x64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL;
    info->dwPageSize = 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(x64 ? 0x7FFFFFFEFFFFull : 0x7FFEFFFFull);
    info->dwActiveProcessorMask = 1;
    info->dwNumberOfProcessors = 1;
    info->dwProcessorType = x64 ? PROCESSOR_AMD_X8664 : PROCESSOR_INTEL_PENTIUM;
    info->dwAllocationGranularity = 0x10000;
    info->wProcessorLevel = x64 ? 6 : 5;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    winsim::detail::ApiCall call("Sleep");
    state().clock.advance(dwMilliseconds);
}

DWORD WINAPI GetTickCount(void) {
    winsim::detail::ApiCall call("GetTickCount");
    return static_cast<DWORD>(state().clock.uptime_ms());
}

namespace {

// Every block the process takes is tracked, so that a test can see a leak and a
// machine that goes away takes its blocks with it.
void* take_block(std::map<const void*, std::size_t>& blocks, std::size_t bytes, bool zero) {
    void* block = zero ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (block) blocks[block] = bytes;
    return block;
}

bool give_block(std::map<const void*, std::size_t>& blocks, void* block) {
    auto it = blocks.find(block);
    if (it == blocks.end()) return false;
    blocks.erase(it);
    std::free(block);
    return true;
}

// The process heap's pseudo handle.
HANDLE const process_heap = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x00150000));

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    WINSIM_API("LocalAlloc", nullptr);
    if (uFlags & LMEM_MOVEABLE) return winsim::detail::not_simulated("LocalAlloc with LMEM_MOVEABLE", static_cast<HLOCAL>(nullptr));
    void* block = take_block(state().local_blocks, uBytes, uFlags & LMEM_ZEROINIT);
    if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    WINSIM_API("LocalFree", hMem);
    if (!hMem) return nullptr;
    if (give_block(state().local_blocks, hMem)) return nullptr;
    SetLastError(ERROR_INVALID_HANDLE);
    return hMem;
}

HANDLE WINAPI GetProcessHeap(void) { return process_heap; }

// Windows' HeapAlloc leaves the last error as it was when it fails; an injected failure
// sets the injected code, so that a test can tell which failure a recorder saw.
LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    WINSIM_API("HeapAlloc", nullptr);
    if (hHeap != process_heap) return winsim::detail::not_simulated("HeapAlloc on a heap other than the process heap", static_cast<LPVOID>(nullptr));
    return take_block(state().heap_blocks, dwBytes, dwFlags & HEAP_ZERO_MEMORY);
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
    WINSIM_API("HeapFree", FALSE);
    if (!lpMem) return TRUE;
    if (hHeap == process_heap && give_block(state().heap_blocks, lpMem)) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}
