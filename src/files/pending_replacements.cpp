// Taking back pending operations. Both lists are read into one shape, operations of a
// source and a target (no target: a deletion), so that one rule decides for both which
// operations concern a file.
#include "pending_replacements.h"

#include "frame/memory.h"

#include <cctype>
#include <cstring>

namespace {

const char session_manager_key[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char pending_value[] = "PendingFileRenameOperations";
// The session manager's own name space, in which NT names the files of the list.
const char nt_prefix[] = "\\??\\";
constexpr SIZE_T nt_prefix_length = 4;

// A piece of a list's text, not terminated.
struct Span {
    const char* text = nullptr;
    SIZE_T length = 0;
};

struct PendingOperation {
    Span source;
    Span target;                // empty for a deletion
    SIZE_T begin = 0, end = 0;  // the bytes of the list it takes up
    bool removed = false;
};

// The file a clean-up is about, in both the forms a list may name it by, and where the
// library's waiting copies lie.
struct FileNames {
    char long_form[MAX_PATH];
    char short_form[MAX_PATH];  // empty when the file has none (it does not exist)
    char temporary_directory[MAX_PATH];
    char short_temporary_directory[MAX_PATH];
};

// A block of the library's heap, given back when the guard goes.
class HeapBlock {
public:
    explicit HeapBlock(SIZE_T size) : block_(heap_alloc(size)) {}
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() { heap_free(block_); }
    char* text() const { return static_cast<char*>(block_); }

private:
    void* block_;
};

// The operations of one list, in list order.
class OperationList {
public:
    OperationList() = default;
    OperationList(const OperationList&) = delete;
    OperationList& operator=(const OperationList&) = delete;
    ~OperationList() { heap_free(items_); }
    bool add(const PendingOperation& operation) {
        if (count_ == capacity_) {
            SIZE_T capacity = capacity_ ? capacity_ * 2 : 16;
            auto* grown = static_cast<PendingOperation*>(heap_alloc(capacity * sizeof(PendingOperation)));
            if (!grown) return false;
            if (items_) std::memcpy(grown, items_, count_ * sizeof(PendingOperation));
            heap_free(items_);
            items_ = grown;
            capacity_ = capacity;
        }
        items_[count_++] = operation;
        return true;
    }
    SIZE_T size() const { return count_; }
    PendingOperation& operator[](SIZE_T at) { return items_[at]; }

private:
    PendingOperation* items_ = nullptr;
    SIZE_T count_ = 0, capacity_ = 0;
};

Span span_of(LPCSTR path) { return Span{path, std::strlen(path)}; }

// Paths compare as the file system compares names: whole, letter by letter, without
// regard to case.
bool same_path(Span a, Span b) {
    if (!a.length || a.length != b.length) return false;
    for (SIZE_T at = 0; at < a.length; ++at)
        if (std::toupper(static_cast<unsigned char>(a.text[at])) != std::toupper(static_cast<unsigned char>(b.text[at])))
            return false;
    return true;
}

// Copies the span into a terminated path; false when it does not fit.
bool to_path(Span name, LPSTR path) {
    if (!name.length || name.length >= MAX_PATH) return false;
    std::memcpy(path, name.text, name.length);
    path[name.length] = '\0';
    return true;
}

// Whether the list's name stands for the file: its long or its short form, or another
// mix of long and short components that comes to the same short form.
bool names_file(Span name, const FileNames& file) {
    if (same_path(name, span_of(file.long_form))) return true;
    if (!file.short_form[0]) return false;
    if (same_path(name, span_of(file.short_form))) return true;
    char path[MAX_PATH], short_path[MAX_PATH];
    return to_path(name, path) && short_path_of(path, short_path) && same_path(span_of(short_path), span_of(file.short_form));
}

// Whether the name is that of a file directly in `directory` (which ends in "\").
bool directly_in(Span name, LPCSTR directory) {
    Span folder = span_of(directory);
    if (!folder.length || name.length <= folder.length || !same_path(Span{name.text, folder.length}, folder)) return false;
    return std::memchr(name.text + folder.length, '\\', name.length - folder.length) == nullptr;
}

// Marks what concerns the file: its deletion, every move onto it, and, when the file is
// the copy waiting to replace another, that replacement whole (its moves and the
// deletion that clears their way).
void mark_what_concerns(OperationList& operations, const FileNames& file) {
    for (SIZE_T i = 0; i < operations.size(); ++i) {
        PendingOperation& operation = operations[i];
        bool deletion = operation.target.length == 0;
        if (names_file(deletion ? operation.source : operation.target, file)) operation.removed = true;
        if (deletion || !names_file(operation.source, file)) continue;
        for (SIZE_T j = 0; j < operations.size(); ++j) {
            PendingOperation& other = operations[j];
            if (same_path(other.target.length ? other.target : other.source, operation.target)) other.removed = true;
        }
    }
}

// Whether an operation that stays names `name` as the file it moves or deletes.
bool still_named(OperationList& operations, Span name) {
    for (SIZE_T i = 0; i < operations.size(); ++i)
        if (!operations[i].removed && same_path(operations[i].source, name)) return true;
    return false;
}

// Deletes the copies the taken-back moves were waiting with. Only copies in the
// temporary directory go, where the library leaves its own, so that no other
// program's file is lost; never the file itself, which is about to be written; and
// never a copy that an operation still pending names.
void delete_waiting_copies(OperationList& operations, const FileNames& file) {
    for (SIZE_T i = 0; i < operations.size(); ++i) {
        const PendingOperation& operation = operations[i];
        if (!operation.removed || !operation.target.length || names_file(operation.source, file) ||
            still_named(operations, operation.source))
            continue;
        char path[MAX_PATH];
        bool in_temporary = directly_in(operation.source, file.temporary_directory) ||
                            (file.short_temporary_directory[0] && directly_in(operation.source, file.short_temporary_directory));
        if (in_temporary && to_path(operation.source, path)) DeleteFileA(path);
    }
}

// Copies the list into `kept` without the removed operations, the others in their
// order and the bytes after the last one (the list's end) behind them. Answers the new
// size. The list itself stays as it was, so that its operations can still be read.
SIZE_T copy_kept(const char* text, SIZE_T size, OperationList& operations, char* kept) {
    SIZE_T written = 0, read = 0;
    for (SIZE_T i = 0; i < operations.size(); ++i) {
        const PendingOperation& operation = operations[i];
        SIZE_T until = operation.removed ? operation.begin : operation.end;
        std::memcpy(kept + written, text + read, until - read);
        written += until - read;
        read = operation.end;
    }
    std::memcpy(kept + written, text + read, size - read);
    return written + size - read;
}

bool any_removed(OperationList& operations) {
    for (SIZE_T i = 0; i < operations.size(); ++i)
        if (operations[i].removed) return true;
    return false;
}

Span without_prefix(Span name, const char* prefix, SIZE_T prefix_length) {
    if (name.length >= prefix_length && std::memcmp(name.text, prefix, prefix_length) == 0)
        return Span{name.text + prefix_length, name.length - prefix_length};
    return name;
}

// The terminated string at `at`, never past `end`; false when no terminator comes
// before the end (a value the system did not write whole).
bool bounded_string(const char* at, const char* end, Span* string) {
    const void* terminator = std::memchr(at, '\0', static_cast<SIZE_T>(end - at));
    if (!terminator) return false;
    *string = Span{at, static_cast<SIZE_T>(static_cast<const char*>(terminator) - at)};
    return true;
}

// PendingFileRenameOperations: pairs of "\??\source" and "\??\target" (a "!" before it
// for a move that may replace, nothing for a deletion), ended by an empty string. The
// walk stops at the end or at bytes that do not make a whole pair.
bool read_pairs(const char* list, SIZE_T size, OperationList& operations) {
    const char* end = list + size;
    const char* at = list;
    Span source, target;
    while (at < end && *at && bounded_string(at, end, &source) && bounded_string(source.text + source.length + 1, end, &target)) {
        PendingOperation operation;
        operation.source = without_prefix(source, nt_prefix, nt_prefix_length);
        operation.target = without_prefix(without_prefix(target, "!", 1), nt_prefix, nt_prefix_length);
        operation.begin = static_cast<SIZE_T>(at - list);
        at = target.text + target.length + 1;
        operation.end = static_cast<SIZE_T>(at - list);
        if (!operations.add(operation)) return false;
    }
    return true;
}

// Reads the list with the right to read only, which every user has, and asks for the
// right to write only when something must go.
LONG remove_from_pending_renames(const FileNames& file) {
    HKEY key = nullptr;
    LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, session_manager_key, 0, KEY_QUERY_VALUE, &key);
    if (code) return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code;
    DWORD size = 0;
    DWORD type = 0;
    code = RegQueryValueExA(key, pending_value, nullptr, nullptr, nullptr, &size);
    HeapBlock list(static_cast<SIZE_T>(size) + 1);
    OperationList operations;
    if (code == ERROR_SUCCESS && !list.text()) code = ERROR_NOT_ENOUGH_MEMORY;
    if (code == ERROR_SUCCESS) code = RegQueryValueExA(key, pending_value, nullptr, &type, reinterpret_cast<LPBYTE>(list.text()), &size);
    RegCloseKey(key);
    // No list, nothing pending.
    if (code == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (code) return code;
    if (!read_pairs(list.text(), size, operations)) return ERROR_NOT_ENOUGH_MEMORY;
    mark_what_concerns(operations, file);
    if (!any_removed(operations)) return ERROR_SUCCESS;
    HeapBlock kept(static_cast<SIZE_T>(size) + 1);
    if (!kept.text()) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD kept_size = static_cast<DWORD>(copy_kept(list.text(), size, operations, kept.text()));
    code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, session_manager_key, 0, KEY_SET_VALUE, &key);
    if (code) return code;
    code = RegSetValueExA(key, pending_value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.text()), kept_size);
    RegCloseKey(key);
    // Only a copy whose entry is gone may go: one still named would be moved at the restart.
    if (code == ERROR_SUCCESS) delete_waiting_copies(operations, file);
    return code;
}

Span trimmed(Span text) {
    while (text.length && (*text.text == ' ' || *text.text == '\t')) ++text.text, --text.length;
    // Compared one by one: strchr would find the terminator and take a NUL for a blank.
    auto blank_or_line_end = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (text.length && blank_or_line_end(text.text[text.length - 1])) --text.length;
    return text;
}

// A section header that WININIT reads as [Rename]: the name between the brackets, blanks
// aside, in any letter case, whatever follows the closing bracket.
bool is_rename_header(Span line) {
    const void* close = std::memchr(line.text, ']', line.length);
    if (!line.length || *line.text != '[' || !close) return false;
    return same_path(trimmed(Span{line.text + 1, static_cast<SIZE_T>(static_cast<const char*>(close) - line.text - 1)}),
                     span_of("Rename"));
}

// The entries of WININIT.INI's [Rename] section (in any letter case): "NUL=file"
// deletes the file, "target=source" moves the source onto the target. Each takes up its
// line with the line end. Answers how many lines the file has.
bool read_rename_lines(const char* text, SIZE_T size, OperationList& operations, SIZE_T* lines) {
    bool in_rename = false;
    *lines = 0;
    for (SIZE_T begin = 0, end = 0; begin < size; begin = end) {
        const void* line_feed = std::memchr(text + begin, '\n', size - begin);
        end = line_feed ? static_cast<SIZE_T>(static_cast<const char*>(line_feed) - text) + 1 : size;
        ++*lines;
        Span line = trimmed(Span{text + begin, end - begin});
        if (line.length && *line.text == '[') {
            in_rename = is_rename_header(line);
            continue;
        }
        const void* equals = line.length ? std::memchr(line.text, '=', line.length) : nullptr;
        if (!in_rename || !equals) continue;
        SIZE_T left_length = static_cast<SIZE_T>(static_cast<const char*>(equals) - line.text);
        Span left = trimmed(Span{line.text, left_length});
        Span right = trimmed(Span{line.text + left_length + 1, line.length - left_length - 1});
        PendingOperation operation;
        operation.source = right;
        if (!same_path(left, span_of("NUL"))) operation.target = left;
        operation.begin = begin;
        operation.end = end;
        if (!operations.add(operation)) return false;
    }
    return true;
}

// Rewrites WININIT.INI without what concerns the file: 0, or why it could not.
LONG remove_from_wininit(const FileNames& file) {
    char wininit[MAX_PATH];
    UINT length = GetWindowsDirectoryA(wininit, MAX_PATH);
    if (!length) return static_cast<LONG>(GetLastError());
    if (length + lstrlenA("\\Wininit.ini") >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    lstrcatA(wininit, "\\Wininit.ini");
    // Opened alone, so that no other program writes between the reading and the writing.
    HANDLE ini = CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ini == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : static_cast<LONG>(code);
    }
    DWORD size = GetFileSize(ini, nullptr);
    LONG code = size == INVALID_FILE_SIZE ? static_cast<LONG>(GetLastError()) : ERROR_SUCCESS;
    HeapBlock text(code == ERROR_SUCCESS ? static_cast<SIZE_T>(size) + 1 : 1);
    OperationList operations;
    DWORD done = 0;
    SIZE_T lines = 0;
    bool delete_ini = false;
    if (code == ERROR_SUCCESS && !text.text()) code = ERROR_NOT_ENOUGH_MEMORY;
    if (code == ERROR_SUCCESS && !ReadFile(ini, text.text(), size, &done, nullptr)) code = static_cast<LONG>(GetLastError());
    size = done;
    if (code == ERROR_SUCCESS && !read_rename_lines(text.text(), size, operations, &lines)) code = ERROR_NOT_ENOUGH_MEMORY;
    if (code == ERROR_SUCCESS) mark_what_concerns(operations, file);
    HeapBlock kept(code == ERROR_SUCCESS ? static_cast<SIZE_T>(size) + 1 : 1);
    if (code == ERROR_SUCCESS && any_removed(operations) && !kept.text()) code = ERROR_NOT_ENOUGH_MEMORY;
    if (code == ERROR_SUCCESS && any_removed(operations)) {
        SIZE_T removed_lines = 0;
        for (SIZE_T i = 0; i < operations.size(); ++i) removed_lines += operations[i].removed ? 1 : 0;
        DWORD kept_size = static_cast<DWORD>(copy_kept(text.text(), size, operations, kept.text()));
        // The section header alone is no reason to keep the file.
        delete_ini = lines - removed_lines <= 1;
        if (!delete_ini && (SetFilePointer(ini, 0, nullptr, FILE_BEGIN) != 0 ||
                            !WriteFile(ini, kept.text(), kept_size, &done, nullptr) || done != kept_size || !SetEndOfFile(ini)))
            code = static_cast<LONG>(GetLastError());
    }
    CloseHandle(ini);
    if (delete_ini && !DeleteFileA(wininit)) code = static_cast<LONG>(GetLastError());
    if (code == ERROR_SUCCESS && any_removed(operations)) delete_waiting_copies(operations, file);
    return code;
}

// The temporary directory in both its forms, each ending in "\"; empty when unknown.
void temporary_directories(FileNames& file) {
    DWORD length = GetTempPathA(MAX_PATH, file.temporary_directory);
    if (!length || length >= MAX_PATH) file.temporary_directory[0] = '\0';
    if (!file.temporary_directory[0] || !short_path_of(file.temporary_directory, file.short_temporary_directory))
        file.short_temporary_directory[0] = '\0';
}

}  // namespace

LONG remove_pending_replacements(LPSTR path) {
    for (LPSTR p = path; *p; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    FileNames file{};
    if (lstrlenA(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    lstrcpyA(file.long_form, path);
    if (!short_path_of(path, file.short_form)) {
        // A file that is not there (or cannot be, for its name) has no short form; any
        // other failure would let entries naming the short form slip through.
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND && code != ERROR_INVALID_NAME)
            return static_cast<LONG>(code);
        file.short_form[0] = '\0';
    }
    temporary_directories(file);
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return static_cast<LONG>(GetLastError());
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) return remove_from_pending_renames(file);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return remove_from_wininit(file);
    return ERROR_SUCCESS;
}
