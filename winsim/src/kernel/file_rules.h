// What the file calls share: the sharing rules against every open of a file (the
// process's handles, its mappings and other processes' holds), the platform's
// directories, and moving and deleting as the kernel does them.
#pragma once

#include "core/state.h"

#include <optional>
#include <string>

namespace winsim::detail {

bool wants_read(DWORD access);
bool wants_write(DWORD access);

// Whether an open of `node` with this access and sharing agrees with every open
// already made of it.
bool sharing_allows(const std::shared_ptr<FileNode>& node, DWORD access, DWORD share);
// Whether every open of the node lets it be deleted or renamed (FILE_SHARE_DELETE).
bool openers_allow_delete(const std::shared_ptr<FileNode>& node);

// What a deletion or rename of a file that is open answers: NT tells a sharing
// violation; 95/98 answer 5 (unconfirmed: the DOS-era delete refuses an open file
// with "access denied").
DWORD open_file_refusal();

// Marks a file as written now (a write moves its last-write time to the clock).
void touch(FileNode& node);
// Writes the bytes at the open's position, growing the file as needed, and moves the
// position past them; writing nothing leaves the file and its time as they are.
void write_at_position(FileObject& file, std::string_view bytes);

// Where the platform keeps its parts on drive C:.
struct Directories {
    std::string windows;
    std::string system;
    std::string temp;            // without the trailing backslash
    std::string driver;          // the printer driver directory of the native environment
    std::string driver_version;  // the subdirectory a driver's files move into; empty on 95/98
};
// The user a new NT machine is logged on as, whose profile holds 2000's temporary
// directory, is Administrator, or User without the administrator option.
Directories platform_directories(Platform platform, bool administrator);
// Lays out the directories of a new machine.
void lay_out_directories(MachineState& machine);

// The full path of `path` with its node and the node's directory; error as Win32
// answers a missing path. `node` is null when only the last component is missing.
struct Resolved {
    WindowsPath path;
    std::shared_ptr<FileNode> node;
    std::shared_ptr<FileNode> directory;
};
std::optional<Resolved> resolve(LPCSTR path, DWORD& error);
// The same for a path that must name something: a missing last component is
// ERROR_FILE_NOT_FOUND.
std::optional<Resolved> resolve_existing(LPCSTR path, DWORD& error);

// Opens or creates a file as CreateFileA does, without counting a call; null with the
// error when Windows would refuse. `existed` tells whether the file was there.
std::shared_ptr<FileObject> open_file(LPCSTR path, DWORD access, DWORD share, DWORD disposition, DWORD attributes,
                                      DWORD& error, bool& existed);

// Writes what was written through the process's views back into their files, as the
// end of a process does when it unmaps them: a view is the file's own pages on Windows.
void write_back_views(MachineState& machine);

// Deletes a file the way DeleteFileA does; 0 or the error.
DWORD delete_file(const Resolved& file);
// Moves a file or directory onto `target` (whose node may be there already, to be
// replaced); 0 or the error.
DWORD move_node(const Resolved& source, const Resolved& target, bool replace);

}  // namespace winsim::detail
