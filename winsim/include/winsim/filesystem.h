// Drive C: of a simulated machine: an in-memory tree of Windows names, compared
// without regard to case and kept with their case, saved to and read from a folder
// of the host so that a person can look at the files.
#pragma once

#include <winsim/windows.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Clock;

struct FileNode {
    std::string name;  // long name, with its case
    bool directory = false;
    std::string data;  // contents of a file, as bytes
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    FILETIME creation_time{};
    FILETIME last_access_time{};
    FILETIME last_write_time{};
    FileNode* parent = nullptr;
    std::vector<std::shared_ptr<FileNode>> children;  // in creation order

    std::shared_ptr<FileNode> child(std::string_view child_name) const;
};

// A path split into drive and components, with "." and ".." applied.
struct WindowsPath {
    char drive = 'C';
    std::vector<std::string> components;
    std::string text() const;  // "C:\A\b.txt"
};

class FileSystem {
public:
    explicit FileSystem(const Clock& clock);

    // Parses a Windows path (either slash, "C:" prefix or a root-relative "\..."),
    // relative paths taken against C:\. Answers the Win32 error for a path Windows
    // would refuse (123 for a bad character) through `error`.
    static std::optional<WindowsPath> parse(std::string_view path, DWORD& error);

    // Finds the node of a path; error is 2 for a missing last component, 3 for a
    // missing directory on the way, as Windows answers.
    std::shared_ptr<FileNode> find(std::string_view path, DWORD& error) const;
    std::shared_ptr<FileNode> find(const WindowsPath& path, DWORD& error) const;

    // Control API: lays out and reads files as a test or tool would by hand. These
    // are never counted or failed by fault injection.
    void write_file(std::string_view path, std::string_view bytes);
    std::optional<std::string> read_file(std::string_view path) const;
    void make_directories(std::string_view path);
    bool exists(std::string_view path) const;
    bool remove(std::string_view path);
    std::vector<std::string> list(std::string_view directory) const;
    std::shared_ptr<FileNode> node(std::string_view path) const;

    // Persistence in a folder of the host: every node becomes a file or directory
    // of the same name; the attributes and times are kept by the machine's state file.
    void save_to(const std::filesystem::path& host_root) const;
    // `order` lists saved Windows paths in the order they were made; files a person
    // added to the folder by hand come after them.
    void load_from(const std::filesystem::path& host_root, const std::vector<std::string>& order = {});
    // Every node with its Windows path, parents before children.
    std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> walk() const;

    std::shared_ptr<FileNode> root() const { return root_; }

private:
    std::shared_ptr<FileNode> make_directories(const WindowsPath& path);
    const Clock& clock_;
    std::shared_ptr<FileNode> root_;
};

}  // namespace winsim
