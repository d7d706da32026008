// The drives of a simulated machine: in-memory trees of Windows names, compared
// without regard to case and kept with their case, each name with the 8.3 alias the
// platform's file system gives it, saved to and read from folders of the host so that
// a person can look at the files. Drive C: is always there; a test can add read-only
// drives (a CD to run a setup from).
#pragma once

#include <winsim/windows.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Clock;

struct FileNode {
    std::string name;  // long name, with its case
    // The 8.3 alias, or empty when the name itself serves as the short name.
    std::string short_name;
    bool directory = false;
    std::string data;  // contents of a file, as bytes
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    FILETIME creation_time{};
    FILETIME last_access_time{};
    FILETIME last_write_time{};
    FileNode* parent = nullptr;
    std::vector<std::shared_ptr<FileNode>> children;  // in creation order

    // A child by its long name or its alias.
    std::shared_ptr<FileNode> child(std::string_view child_name) const;
    const std::string& short_or_long() const { return short_name.empty() ? name : short_name; }
};

// A path split into drive and components, with "." and ".." applied.
struct WindowsPath {
    char drive = 'C';
    std::vector<std::string> components;
    std::string text() const;  // "C:\A\b.txt"
};

// How aliases are made: VFAT (95/98) gives every name that is not all upper case an
// upper-case alias; NTFS leaves a valid 8.3 name alone whatever its case, and after
// ~4 switches to a hashed form.
enum class ShortNameStyle { vfat, ntfs };

// A file held open by another process of the machine (the spooler with a driver
// loaded, a running program): it answers opens as a handle of that access and
// sharing would, until it is released or the machine restarts.
struct FileHold {
    std::string path;  // full, as it was held
    std::shared_ptr<FileNode> node;
    DWORD access = GENERIC_READ;
    DWORD share = 0;
    std::string holder = other_program;  // who holds it, so that each ends only its own

    static constexpr const char* other_program = "another program";
};

class FileSystem {
public:
    explicit FileSystem(const Clock& clock);

    // Whether a parse refuses the characters no file name may hold (123). Only the
    // calls that name a file refuse them; GetFullPathNameA only puts a path together.
    enum class NameCheck { characters, none };
    // Parses a Windows path (either slash, "C:" prefix or a root-relative "\..."),
    // relative paths taken against C:\. Answers the Win32 error for a path Windows
    // would refuse (123 for a bad character) through `error`.
    static std::optional<WindowsPath> parse(std::string_view path, DWORD& error, NameCheck check = NameCheck::characters);
    // The same, with relative paths taken against the process's current directory,
    // as every Win32 call takes them.
    std::optional<WindowsPath> full_path(std::string_view path, DWORD& error, NameCheck check = NameCheck::characters) const;

    // Finds the node of a path (long names or aliases); error is 2 for a missing last
    // component, 3 for a missing directory on the way or an unknown drive.
    std::shared_ptr<FileNode> find(std::string_view path, DWORD& error) const;
    std::shared_ptr<FileNode> find(const WindowsPath& path, DWORD& error) const;

    // Control API: lays out and reads files as a test or tool would by hand. These
    // are never counted or failed by fault injection, and they write even on a
    // read-only drive (that is how a CD gets its files).
    void write_file(std::string_view path, std::string_view bytes);
    std::optional<std::string> read_file(std::string_view path) const;
    void make_directories(std::string_view path);
    bool exists(std::string_view path) const;
    bool remove(std::string_view path);
    std::vector<std::string> list(std::string_view directory) const;
    std::shared_ptr<FileNode> node(std::string_view path) const;

    // Another drive, empty. A read-only drive refuses every change made through the
    // Win32 calls with 5, as a CD does; the files laid on it are read-only, as a CD's
    // files report themselves.
    void add_drive(char letter, bool read_only);
    bool has_drive(char letter) const;
    bool is_read_only(char letter) const;
    std::vector<char> drive_letters() const;

    // The process's current directory ("C:\" in a new process). Setting it to a
    // directory that does not exist throws std::invalid_argument.
    std::string current_directory() const { return current_.text(); }
    const WindowsPath& current_path() const { return current_; }
    void set_current_directory(std::string_view path);
    void set_current_path(WindowsPath path) { current_ = std::move(path); }

    void set_short_name_style(ShortNameStyle style) { style_ = style; }
    ShortNameStyle short_name_style() const { return style_; }
    // The path with every component's alias ("C:\PROGRA~1\ORVANA").
    std::string short_path(const WindowsPath& path) const;
    std::string long_path(const WindowsPath& path) const;

    // Holds another process's open of a file; throws std::invalid_argument when there
    // is no such file. `release` ends the holds of that holder, or every hold of the
    // file without one.
    void hold(std::string_view path, DWORD share, DWORD access = GENERIC_READ,
              std::string_view holder = FileHold::other_program);
    bool release(std::string_view path, std::string_view holder = {});
    void release_all() { holds_.clear(); }
    const std::vector<FileHold>& holds() const { return holds_; }

    // What the Win32 calls build on: a new child with its alias and the clock's
    // times, a node taken out of its directory, a node put into one under a name.
    std::shared_ptr<FileNode> add_child(FileNode& directory, std::string name, bool is_directory);
    void unlink(const std::shared_ptr<FileNode>& node);
    void link(FileNode& directory, const std::shared_ptr<FileNode>& node, std::string name);
    // Whether the node lies on a read-only drive.
    bool on_read_only_drive(const FileNode& node) const;

    // Persistence in a machine's folder: drive X: in "drive_x", every node a file or
    // directory of the same name; the attributes, times and aliases are kept by the
    // machine's state file.
    void save_to(const std::filesystem::path& machine_folder) const;
    // `order` lists saved Windows paths in the order they were made; files a person
    // added to the folder by hand come after them. Drives must be added first.
    void load_from(const std::filesystem::path& machine_folder, const std::vector<std::string>& order = {});
    // Every node with its Windows path, parents before children, drive by drive.
    std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> walk() const;

    std::shared_ptr<FileNode> root(char letter = 'C') const;

private:
    struct Drive {
        std::shared_ptr<FileNode> root;
        bool read_only = false;
    };
    std::shared_ptr<FileNode> make_directories(const WindowsPath& path);
    void load_drive(char letter, const std::filesystem::path& host_root, const std::vector<std::string>& order);
    const Clock& clock_;
    std::map<char, Drive> drives_;
    WindowsPath current_;
    ShortNameStyle style_ = ShortNameStyle::ntfs;
    std::vector<FileHold> holds_;
};

}  // namespace winsim
