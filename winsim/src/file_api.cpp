// Files as the kernel hands them out: handles with their access and sharing, sizes,
// and read-only mappings of a file's bytes.
#include "api.h"

#include <cstring>

namespace winsim::detail {

HANDLE add_handle(std::shared_ptr<KernelObject> object) {
    std::uintptr_t value = state().next_handle;
    state().next_handle += 4;
    state().handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace winsim::detail

namespace {

using winsim::detail::FileObject;
using winsim::detail::MappingObject;
using winsim::detail::state;

constexpr DWORD error_invalid_address = 487;
constexpr DWORD error_mapped_alignment = 1132;
constexpr std::uint64_t allocation_granularity = 0x10000;

bool wants_read(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL); }
bool wants_write(DWORD access) { return access & (GENERIC_WRITE | GENERIC_ALL); }

// Whether an open of `node` with this access and sharing agrees with every handle
// already open on it, as the sharing rules of Windows ask.
bool sharing_allows(const std::shared_ptr<winsim::FileNode>& node, DWORD access, DWORD share) {
    for (const auto& [value, object] : state().handles) {
        auto open = std::dynamic_pointer_cast<FileObject>(object);
        if (!open || open->node != node) continue;
        if (wants_read(access) && !(open->share & FILE_SHARE_READ)) return false;
        if (wants_write(access) && !(open->share & FILE_SHARE_WRITE)) return false;
        if (wants_read(open->access) && !(share & FILE_SHARE_READ)) return false;
        if (wants_write(open->access) && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    WINSIM_API("CreateFileA", INVALID_HANDLE_VALUE);
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING || wants_write(dwDesiredAccess))
        winsim::detail::not_simulated("CreateFileA other than opening an existing file for reading");
    DWORD error = 0;
    std::shared_ptr<winsim::FileNode> node = state().files.find(lpFileName, error);
    if (!node) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (node->directory) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!sharing_allows(node, dwDesiredAccess, dwShareMode)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->node = node;
    file->access = dwDesiredAccess;
    file->share = dwShareMode;
    return winsim::detail::add_handle(std::move(file));
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    WINSIM_API("GetFileSize", INVALID_FILE_SIZE);
    auto file = winsim::detail::handle_object<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    std::uint64_t size = file->node->data.size();
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    // A size whose low word is all ones is told apart from a failure by the last error.
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName) {
    WINSIM_API("CreateFileMappingA", nullptr);
    if (hFile == INVALID_HANDLE_VALUE || lpName) winsim::detail::not_simulated("mappings backed by the paging file or named");
    auto file = winsim::detail::handle_object<FileObject>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (flProtect != PAGE_READONLY) winsim::detail::not_simulated("CreateFileMappingA other than PAGE_READONLY");
    if (!wants_read(file->access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::uint64_t maximum = (static_cast<std::uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    // A read-only mapping cannot be larger than its file, and an empty file cannot be
    // mapped at all.
    if (maximum == 0 && file->node->data.empty()) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    if (maximum > file->node->data.size()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto mapping = std::make_shared<MappingObject>();
    mapping->node = file->node;
    mapping->protect = flProtect;
    return winsim::detail::add_handle(std::move(mapping));
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
    WINSIM_API("MapViewOfFile", nullptr);
    auto mapping = winsim::detail::handle_object<MappingObject>(hFileMappingObject);
    if (!mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (dwDesiredAccess & FILE_MAP_WRITE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::uint64_t offset = (static_cast<std::uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    const std::string& data = mapping->node->data;
    if (offset % allocation_granularity) {
        SetLastError(error_mapped_alignment);
        return nullptr;
    }
    if (offset > data.size() || dwNumberOfBytesToMap > data.size() - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::size_t size = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : data.size() - offset;
    winsim::detail::View view;
    view.mapping = mapping;
    view.size = size;
    view.bytes = std::make_unique<char[]>(size ? size : 1);
    std::memcpy(view.bytes.get(), data.data() + offset, size);
    const void* address = view.bytes.get();
    state().views.emplace(address, std::move(view));
    return const_cast<void*>(address);
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
    WINSIM_API("UnmapViewOfFile", FALSE);
    if (state().views.erase(lpBaseAddress) == 0) {
        SetLastError(error_invalid_address);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    WINSIM_API("CloseHandle", FALSE);
    if (state().handles.erase(reinterpret_cast<std::uintptr_t>(hObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
