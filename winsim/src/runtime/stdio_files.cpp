// fopen on the machine's drive (see windows.h for why): a FILE* of libc's own whose
// reads, writes and seeks go to a file node of the machine through a process handle,
// opened with the access and sharing the Windows C runtime's fopen asks for (it
// shares reading and writing with everyone). Text mode is the runtime's: CR LF reads
// as LF, LF writes as CR LF, and a Ctrl-Z ends what is read.
#include "core/api.h"
#include "kernel/file_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

using winsim::detail::FileObject;
using winsim::detail::state;

struct StdioFile {
    winsim::detail::MachineState* machine;
    HANDLE handle;
    std::shared_ptr<FileObject> file;
    bool text = true;
    bool append = false;
};

ssize_t read_cookie(void* cookie, char* buffer, size_t size) {
    auto* stream = static_cast<StdioFile*>(cookie);
    FileObject& file = *stream->file;
    if (!winsim::detail::wants_read(file.access)) {
        errno = EBADF;
        return -1;
    }
    const std::string& data = file.node->data;
    size_t out = 0;
    while (out < size && file.position < data.size()) {
        char c = data[file.position];
        if (stream->text) {
            if (c == '\x1A') break;
            if (c == '\r' && file.position + 1 < data.size() && data[file.position + 1] == '\n') {
                ++file.position;
                continue;
            }
        }
        buffer[out++] = c;
        ++file.position;
    }
    return static_cast<ssize_t>(out);
}

ssize_t write_cookie(void* cookie, const char* buffer, size_t size) {
    auto* stream = static_cast<StdioFile*>(cookie);
    FileObject& file = *stream->file;
    if (!winsim::detail::wants_write(file.access)) {
        errno = EBADF;
        return -1;
    }
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        if (stream->text && buffer[i] == '\n') bytes += '\r';
        bytes += buffer[i];
    }
    if (stream->append) file.position = file.node->data.size();
    winsim::detail::write_at_position(file, bytes);
    return static_cast<ssize_t>(size);
}

int seek_cookie(void* cookie, off64_t* offset, int whence) {
    auto* stream = static_cast<StdioFile*>(cookie);
    FileObject& file = *stream->file;
    off64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<off64_t>(file.position)
                                        : static_cast<off64_t>(file.node->data.size());
    off64_t target = base + *offset;
    if (target < 0) {
        errno = EINVAL;
        return -1;
    }
    file.position = static_cast<std::uint64_t>(target);
    *offset = target;
    return 0;
}

int close_cookie(void* cookie) {
    auto* stream = static_cast<StdioFile*>(cookie);
    // A machine that went away closed its handles with it.
    if (winsim::has_current_machine() && &state() == stream->machine) {
        auto& handles = state().handles;
        auto it = handles.find(reinterpret_cast<std::uintptr_t>(stream->handle));
        if (it != handles.end() && it->second == stream->file) handles.erase(it);
    }
    delete stream;
    return 0;
}

int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;  // the runtime's mapping of both
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    default: return EINVAL;
    }
}

}  // namespace

FILE* winsim_fopen(const char* path, const char* mode) {
    winsim::detail::ApiCall call("fopen");
    if (DWORD code = call.injected()) {
        // The runtime's fopen fails through its CreateFile, whose error stays behind.
        SetLastError(code);
        errno = errno_of(code);
        return nullptr;
    }
    if (!path || !mode || !std::strchr("rwa", mode[0])) {
        errno = EINVAL;
        return nullptr;
    }
    const bool plus = std::strchr(mode, '+') != nullptr;
    DWORD access = 0;
    DWORD disposition = OPEN_EXISTING;
    switch (mode[0]) {
    case 'r': access = GENERIC_READ | (plus ? GENERIC_WRITE : 0); break;
    case 'w':
        access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        disposition = CREATE_ALWAYS;
        break;
    default:
        access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        disposition = OPEN_ALWAYS;
        break;
    }
    DWORD error = 0;
    bool existed = false;
    std::shared_ptr<FileObject> file = winsim::detail::open_file(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                                                                 FILE_ATTRIBUTE_NORMAL, error, existed);
    if (!file) {
        SetLastError(error);
        errno = errno_of(error);
        return nullptr;
    }
    auto* stream = new StdioFile{&state(), nullptr, file, std::strchr(mode, 'b') == nullptr, mode[0] == 'a'};
    stream->handle = winsim::detail::add_handle(file);
    cookie_io_functions_t functions{read_cookie, write_cookie, seek_cookie, close_cookie};
    // libc takes the mode for its own checks; text and binary are this side's business.
    const char* libc_mode = plus ? (mode[0] == 'r' ? "r+" : mode[0] == 'w' ? "w+" : "a+") : (mode[0] == 'r' ? "r" : mode[0] == 'w' ? "w" : "a");
    FILE* out = fopencookie(stream, libc_mode, functions);
    if (!out) close_cookie(stream);
    return out;
}
