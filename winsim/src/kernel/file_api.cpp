// Files as the kernel hands them out: handles with their access and sharing, reading
// and writing, sizes, times and attributes, mappings, copying, deleting and moving.
#include "core/api.h"
#include "kernel/file_rules.h"

#include <algorithm>
#include <cstring>

namespace winsim::detail {

HANDLE add_handle(std::shared_ptr<KernelObject> object) {
    std::uintptr_t value = state().next_handle;
    state().next_handle += 4;
    state().handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

bool wants_read(DWORD access) { return access & (GENERIC_READ | GENERIC_ALL); }
bool wants_write(DWORD access) { return access & (GENERIC_WRITE | GENERIC_ALL); }

namespace {

struct Opener {
    DWORD access;
    DWORD share;
};

// Every open of the node: the process's file handles, the files its mappings and
// views keep open, and other processes' holds.
std::vector<Opener> openers(const std::shared_ptr<FileNode>& node) {
    std::vector<const FileObject*> files;
    auto note = [&](const std::shared_ptr<FileObject>& file) {
        if (file && file->node == node && std::find(files.begin(), files.end(), file.get()) == files.end())
            files.push_back(file.get());
    };
    for (const auto& [value, object] : state().handles) {
        note(std::dynamic_pointer_cast<FileObject>(object));
        if (auto mapping = std::dynamic_pointer_cast<MappingObject>(object)) note(mapping->file);
    }
    for (const auto& [address, view] : state().views) note(view.mapping->file);
    std::vector<Opener> out;
    for (const FileObject* file : files) out.push_back({file->access, file->share});
    for (const FileHold& held : state().files.holds())
        if (held.node == node) out.push_back({held.access, held.share});
    return out;
}

}  // namespace

bool sharing_allows(const std::shared_ptr<FileNode>& node, DWORD access, DWORD share) {
    for (const Opener& open : openers(node)) {
        if (wants_read(access) && !(open.share & FILE_SHARE_READ)) return false;
        if (wants_write(access) && !(open.share & FILE_SHARE_WRITE)) return false;
        if ((access & DELETE) && !(open.share & FILE_SHARE_DELETE)) return false;
        if (wants_read(open.access) && !(share & FILE_SHARE_READ)) return false;
        if (wants_write(open.access) && !(share & FILE_SHARE_WRITE)) return false;
        if ((open.access & DELETE) && !(share & FILE_SHARE_DELETE)) return false;
    }
    return true;
}

bool openers_allow_delete(const std::shared_ptr<FileNode>& node) {
    for (const Opener& open : openers(node))
        if (!(open.share & FILE_SHARE_DELETE)) return false;
    return true;
}

DWORD open_file_refusal() {
    return is_nt() ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED;
}

void touch(FileNode& node) { node.last_write_time = node.last_access_time = state().clock.now(); }

void write_at_position(FileObject& file, std::string_view bytes) {
    if (bytes.empty()) return;
    std::string& data = file.node->data;
    if (file.position + bytes.size() > data.size()) data.resize(file.position + bytes.size(), '\0');
    std::memcpy(data.data() + file.position, bytes.data(), bytes.size());
    file.position += bytes.size();
    touch(*file.node);
}

std::optional<Resolved> resolve(LPCSTR path, DWORD& error) {
    if (!path) {
        error = ERROR_INVALID_PARAMETER;
        return std::nullopt;
    }
    std::optional<WindowsPath> parsed = state().files.full_path(path, error);
    if (!parsed) return std::nullopt;
    Resolved out{*parsed, nullptr, nullptr};
    if (parsed->components.empty()) {
        out.node = state().files.find(*parsed, error);
        if (!out.node) return std::nullopt;
        return out;
    }
    WindowsPath parent = *parsed;
    parent.components.pop_back();
    out.directory = state().files.find(parent, error);
    if (!out.directory || !out.directory->directory) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    out.node = out.directory->child(parsed->components.back());
    return out;
}

std::optional<Resolved> resolve_existing(LPCSTR path, DWORD& error) {
    std::optional<Resolved> found = resolve(path, error);
    if (found && !found->node) {
        error = ERROR_FILE_NOT_FOUND;
        return std::nullopt;
    }
    return found;
}

DWORD delete_file(const Resolved& file) {
    if (!file.node) return ERROR_FILE_NOT_FOUND;
    if (file.node->directory) return ERROR_ACCESS_DENIED;
    if (state().files.on_read_only_drive(*file.node)) return ERROR_ACCESS_DENIED;
    if (file.node->attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (!openers_allow_delete(file.node)) return open_file_refusal();
    state().files.unlink(file.node);
    return 0;
}

DWORD move_node(const Resolved& source, const Resolved& target, bool replace) {
    if (!source.node || !source.node->parent) return ERROR_FILE_NOT_FOUND;
    if (!target.directory) return ERROR_PATH_NOT_FOUND;
    FileSystem& files = state().files;
    if (files.on_read_only_drive(*source.node) || files.on_read_only_drive(*target.directory)) return ERROR_ACCESS_DENIED;
    if (target.node == source.node) {
        // A new spelling of the same name: only the case changes.
        files.unlink(source.node);
        files.link(*target.directory, source.node, target.path.components.back());
        return 0;
    }
    if (target.node) {
        if (!replace || target.node->directory) return ERROR_ALREADY_EXISTS;
        if (target.node->attributes & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
        if (!openers_allow_delete(target.node)) return open_file_refusal();
    }
    if (!openers_allow_delete(source.node)) return open_file_refusal();
    if (source.node->directory)
        for (FileNode* above = target.directory.get(); above; above = above->parent)
            if (above == source.node.get()) return ERROR_ACCESS_DENIED;  // into itself
    if (target.node) files.unlink(target.node);
    files.unlink(source.node);
    files.link(*target.directory, source.node, target.path.components.back());
    return 0;
}

}  // namespace winsim::detail

namespace {

using winsim::detail::FileObject;
using winsim::detail::MappingObject;
using winsim::detail::Resolved;
using winsim::detail::fail;
using winsim::detail::state;
using winsim::detail::wants_read;
using winsim::detail::wants_write;

constexpr DWORD error_mapped_alignment = 1132;
constexpr std::uint64_t allocation_granularity = 0x10000;
constexpr DWORD settable_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;

// A new file's attributes: FILE_ATTRIBUTE_NORMAL and nothing both mean "archive only".
DWORD new_file_attributes(DWORD requested) { return (requested & settable_attributes) | FILE_ATTRIBUTE_ARCHIVE; }

std::shared_ptr<FileObject> file_of(HANDLE handle) { return winsim::detail::handle_object<FileObject>(handle); }

}  // namespace


namespace winsim::detail {

std::shared_ptr<FileObject> open_file(LPCSTR path, DWORD access, DWORD share, DWORD disposition, DWORD attributes,
                                      DWORD& error, bool& existed) {
    existed = false;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::optional<Resolved> file = resolve(path, error);
    if (!file) return nullptr;
    std::shared_ptr<FileNode> node = file->node;
    auto refuse = [&](DWORD code) {
        error = code;
        return nullptr;
    };
    const bool creates = disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING;
    if (!node && !creates) return refuse(ERROR_FILE_NOT_FOUND);
    if (node && disposition == CREATE_NEW) return refuse(ERROR_FILE_EXISTS);
    if (node && node->directory) return refuse(ERROR_ACCESS_DENIED);
    const bool truncates = node && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (disposition == TRUNCATE_EXISTING && !wants_write(access)) return refuse(ERROR_INVALID_PARAMETER);
    FileSystem& files = state().files;
    // A read-only medium refuses every change; unconfirmed: a CD answers 5 here, a
    // write-protected floppy would answer 19.
    if (files.is_read_only(file->path.drive) && (wants_write(access) || truncates || !node))
        return refuse(ERROR_ACCESS_DENIED);
    if (node && (node->attributes & FILE_ATTRIBUTE_READONLY) && (wants_write(access) || truncates))
        return refuse(ERROR_ACCESS_DENIED);
    if (node && !sharing_allows(node, access, share)) return refuse(ERROR_SHARING_VIOLATION);
    existed = node != nullptr;
    if (!node) {
        node = files.add_child(*file->directory, file->path.components.back(), false);
        node->attributes = new_file_attributes(attributes);
    } else if (truncates) {
        node->data.clear();
        touch(*node);
        if (disposition == CREATE_ALWAYS) node->attributes = new_file_attributes(attributes);
    }
    auto handle = std::make_shared<FileObject>();
    handle->node = node;
    handle->access = access;
    handle->share = share;
    return handle;
}

}  // namespace winsim::detail

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    WINSIM_API("CreateFileA", INVALID_HANDLE_VALUE);
    DWORD error = 0;
    bool existed = false;
    std::shared_ptr<FileObject> file = winsim::detail::open_file(lpFileName, dwDesiredAccess, dwShareMode,
                                                                 dwCreationDisposition, dwFlagsAndAttributes, error, existed);
    if (!file) return fail(error, INVALID_HANDLE_VALUE);
    // The two dispositions that may or may not find the file tell which it was.
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
        SetLastError(existed ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return winsim::detail::add_handle(std::move(file));
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    WINSIM_API("ReadFile", FALSE);
    if (lpOverlapped) return winsim::detail::not_simulated("ReadFile with OVERLAPPED", FALSE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpNumberOfBytesRead) return fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpNumberOfBytesRead = 0;
    if (!wants_read(file->access)) return fail(ERROR_ACCESS_DENIED, FALSE);
    const std::string& data = file->node->data;
    if (file->position >= data.size()) return TRUE;  // at the end a read gives 0 bytes and succeeds
    std::size_t count = std::min<std::uint64_t>(nNumberOfBytesToRead, data.size() - file->position);
    std::memcpy(lpBuffer, data.data() + file->position, count);
    file->position += count;
    *lpNumberOfBytesRead = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
    WINSIM_API("WriteFile", FALSE);
    if (lpOverlapped) return winsim::detail::not_simulated("WriteFile with OVERLAPPED", FALSE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpNumberOfBytesWritten) return fail(ERROR_INVALID_PARAMETER, FALSE);
    *lpNumberOfBytesWritten = 0;
    if (!wants_write(file->access)) return fail(ERROR_ACCESS_DENIED, FALSE);
    winsim::detail::write_at_position(*file, std::string_view(static_cast<const char*>(lpBuffer), nNumberOfBytesToWrite));
    *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LPLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    WINSIM_API("SetFilePointer", INVALID_SET_FILE_POINTER);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    std::int64_t distance = lpDistanceToMoveHigh
                                ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                                                            static_cast<DWORD>(lDistanceToMove))
                                : lDistanceToMove;
    std::int64_t base = 0;
    switch (dwMoveMethod) {
    case FILE_BEGIN: break;
    case FILE_CURRENT: base = static_cast<std::int64_t>(file->position); break;
    case FILE_END: base = static_cast<std::int64_t>(file->node->data.size()); break;
    default: return fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    std::int64_t target = base + distance;
    if (target < 0) return fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    file->position = static_cast<std::uint64_t>(target);
    if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(file->position >> 32);
    // A position whose low word is all ones is told apart from a failure by the last error.
    if (static_cast<DWORD>(file->position) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return static_cast<DWORD>(file->position);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    WINSIM_API("SetEndOfFile", FALSE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!wants_write(file->access)) return fail(ERROR_ACCESS_DENIED, FALSE);
    file->node->data.resize(file->position, '\0');
    winsim::detail::touch(*file->node);
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    WINSIM_API("FlushFileBuffers", FALSE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    // Everything is on the disk already; only the rights are checked.
    if (!wants_write(file->access)) return fail(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    WINSIM_API("GetFileSize", INVALID_FILE_SIZE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    std::uint64_t size = file->node->data.size();
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    // A size whose low word is all ones is told apart from a failure by the last error.
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime, LPFILETIME lpLastWriteTime) {
    WINSIM_API("GetFileTime", FALSE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpCreationTime) *lpCreationTime = file->node->creation_time;
    if (lpLastAccessTime) *lpLastAccessTime = file->node->last_access_time;
    if (lpLastWriteTime) *lpLastWriteTime = file->node->last_write_time;
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                        const FILETIME* lpLastWriteTime) {
    WINSIM_API("SetFileTime", FALSE);
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!wants_write(file->access)) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (lpCreationTime) file->node->creation_time = *lpCreationTime;
    if (lpLastAccessTime) file->node->last_access_time = *lpLastAccessTime;
    if (lpLastWriteTime) file->node->last_write_time = *lpLastWriteTime;
    return TRUE;
}

LONG WINAPI CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2) {
    winsim::detail::ApiCall call("CompareFileTime");  // cannot fail
    auto value = [](const FILETIME* time) {
        return (static_cast<std::uint64_t>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
    };
    std::uint64_t a = value(lpFileTime1);
    std::uint64_t b = value(lpFileTime2);
    return a < b ? -1 : a > b ? 1 : 0;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    WINSIM_API("GetFileAttributesA", INVALID_FILE_ATTRIBUTES);
    DWORD error = 0;
    std::optional<Resolved> file = winsim::detail::resolve_existing(lpFileName, error);
    if (!file) return fail(error, INVALID_FILE_ATTRIBUTES);
    return file->node->attributes;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    WINSIM_API("SetFileAttributesA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> file = winsim::detail::resolve_existing(lpFileName, error);
    if (!file) return fail(error, FALSE);
    if (state().files.on_read_only_drive(*file->node)) return fail(ERROR_ACCESS_DENIED, FALSE);
    DWORD kept = file->node->attributes & FILE_ATTRIBUTE_DIRECTORY;
    file->node->attributes = kept | (dwFileAttributes & settable_attributes);
    return TRUE;
}

// Copies the bytes, the attributes and the last-write time, as Windows' CopyFile does:
// a copy looks as old as its source, which is what lets a version check of dates work
// after it. The archive bit is set on the copy (unconfirmed whether 95/98 set it).
BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    WINSIM_API("CopyFileA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> source = winsim::detail::resolve_existing(lpExistingFileName, error);
    if (!source) return fail(error, FALSE);
    if (source->node->directory) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (!winsim::detail::sharing_allows(source->node, GENERIC_READ, FILE_SHARE_READ))
        return fail(ERROR_SHARING_VIOLATION, FALSE);
    std::optional<Resolved> target = winsim::detail::resolve(lpNewFileName, error);
    if (!target) return fail(error, FALSE);
    if (target->path.components.empty()) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (target->node && bFailIfExists) return fail(ERROR_FILE_EXISTS, FALSE);
    if (target->node && target->node->directory) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (state().files.is_read_only(target->path.drive)) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (target->node && (target->node->attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)))
        return fail(ERROR_ACCESS_DENIED, FALSE);
    // A file copied onto itself is open for reading without write sharing.
    if (target->node == source->node) return fail(ERROR_SHARING_VIOLATION, FALSE);
    if (target->node && !winsim::detail::sharing_allows(target->node, GENERIC_WRITE, 0))
        return fail(ERROR_SHARING_VIOLATION, FALSE);
    std::shared_ptr<winsim::FileNode> copy = target->node;
    if (!copy) copy = state().files.add_child(*target->directory, target->path.components.back(), false);
    copy->data = source->node->data;
    copy->attributes = (source->node->attributes & settable_attributes) | FILE_ATTRIBUTE_ARCHIVE;
    copy->last_write_time = source->node->last_write_time;
    copy->last_access_time = state().clock.now();
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    WINSIM_API("DeleteFileA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> file = winsim::detail::resolve(lpFileName, error);
    if (!file) return fail(error, FALSE);
    if (DWORD refused = winsim::detail::delete_file(*file)) return fail(refused, FALSE);
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    WINSIM_API("MoveFileA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> source = winsim::detail::resolve_existing(lpExistingFileName, error);
    if (!source) return fail(error, FALSE);
    std::optional<Resolved> target = winsim::detail::resolve(lpNewFileName, error);
    if (!target) return fail(error, FALSE);
    if (target->path.components.empty()) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (target->path.drive != source->path.drive) return winsim::detail::not_simulated("MoveFileA across drives", FALSE);
    if (DWORD refused = winsim::detail::move_node(*source, *target, false)) return fail(refused, FALSE);
    return TRUE;
}

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName) {
    WINSIM_API("CreateFileMappingA", nullptr);
    if (hFile == INVALID_HANDLE_VALUE || lpName) return winsim::detail::not_simulated("mappings backed by the paging file or named", static_cast<HANDLE>(nullptr));
    auto file = file_of(hFile);
    if (!file) return fail(ERROR_INVALID_HANDLE, static_cast<HANDLE>(nullptr));
    if (flProtect != PAGE_READONLY && flProtect != PAGE_READWRITE)
        return winsim::detail::not_simulated("CreateFileMappingA other than PAGE_READONLY or PAGE_READWRITE", static_cast<HANDLE>(nullptr));
    const bool writable = flProtect == PAGE_READWRITE;
    if (!wants_read(file->access) || (writable && !wants_write(file->access)))
        return fail(ERROR_ACCESS_DENIED, static_cast<HANDLE>(nullptr));
    std::uint64_t maximum = (static_cast<std::uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    std::string& data = file->node->data;
    // An empty file cannot be mapped at its own size.
    if (maximum == 0 && data.empty()) return fail(ERROR_FILE_INVALID, static_cast<HANDLE>(nullptr));
    if (maximum > data.size()) {
        // Only a writable mapping may grow its file, and it does so at once.
        if (!writable) return fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
        data.resize(maximum, '\0');
        winsim::detail::touch(*file->node);
    }
    auto mapping = std::make_shared<MappingObject>();
    mapping->node = file->node;
    mapping->file = file;
    mapping->protect = flProtect;
    return winsim::detail::add_handle(std::move(mapping));
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
    WINSIM_API("MapViewOfFile", nullptr);
    auto mapping = winsim::detail::handle_object<MappingObject>(hFileMappingObject);
    if (!mapping) return fail(ERROR_INVALID_HANDLE, static_cast<LPVOID>(nullptr));
    const bool writable = dwDesiredAccess & FILE_MAP_WRITE;
    if (writable && mapping->protect != PAGE_READWRITE) return fail(ERROR_ACCESS_DENIED, static_cast<LPVOID>(nullptr));
    std::uint64_t offset = (static_cast<std::uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    const std::string& data = mapping->node->data;
    if (offset % allocation_granularity) return fail(error_mapped_alignment, static_cast<LPVOID>(nullptr));
    if (offset > data.size() || dwNumberOfBytesToMap > data.size() - offset)
        return fail(ERROR_ACCESS_DENIED, static_cast<LPVOID>(nullptr));
    std::size_t size = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : data.size() - offset;
    winsim::detail::View view;
    view.mapping = mapping;
    view.size = size;
    view.offset = offset;
    view.writable = writable;
    view.bytes = std::make_unique<char[]>(size ? size : 1);
    std::memcpy(view.bytes.get(), data.data() + offset, size);
    const void* address = view.bytes.get();
    state().views.emplace(address, std::move(view));
    return const_cast<void*>(address);
}

namespace {

// Puts what was written through a view back into its file.
void write_back(const winsim::detail::View& view) {
    if (!view.writable) return;
    std::string& data = view.mapping->node->data;
    if (view.offset >= data.size()) return;  // the file was cut short meanwhile
    std::size_t count = std::min<std::uint64_t>(view.size, data.size() - view.offset);
    if (std::memcmp(data.data() + view.offset, view.bytes.get(), count) == 0) return;
    std::memcpy(data.data() + view.offset, view.bytes.get(), count);
    winsim::detail::touch(*view.mapping->node);
}

}  // namespace

void winsim::detail::write_back_views(MachineState& machine) {
    for (const auto& [address, view] : machine.views) write_back(view);
}

BOOL WINAPI FlushViewOfFile(LPCVOID lpBaseAddress, SIZE_T dwNumberOfBytesToFlush) {
    WINSIM_API("FlushViewOfFile", FALSE);
    auto it = state().views.find(lpBaseAddress);
    if (it == state().views.end()) return fail(ERROR_INVALID_ADDRESS, FALSE);
    write_back(it->second);
    return TRUE;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
    WINSIM_API("UnmapViewOfFile", FALSE);
    auto it = state().views.find(lpBaseAddress);
    if (it == state().views.end()) return fail(ERROR_INVALID_ADDRESS, FALSE);
    write_back(it->second);
    state().views.erase(it);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    WINSIM_API("CloseHandle", FALSE);
    if (state().handles.erase(reinterpret_cast<std::uintptr_t>(hObject)) == 0) return fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}
