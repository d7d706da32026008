#include <winsim/kernel/filesystem.h>
#include <winsim/machine.h>

#include "core/names.h"
#include "kernel/short_names.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace winsim {

namespace {

using detail::same_name;


bool valid_component(std::string_view name) {
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 32 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return false;
    }
    return true;
}

// Windows drops trailing dots and spaces of a path component ("a.txt." is "a.txt").
std::string trimmed_component(std::string_view name) {
    std::size_t end = name.size();
    while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
    return std::string(name.substr(0, end));
}

std::shared_ptr<FileNode> new_root() {
    auto root = std::make_shared<FileNode>();
    root->directory = true;
    root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    return root;
}

char upper_letter(char letter) { return static_cast<char>(std::toupper(static_cast<unsigned char>(letter))); }

std::string drive_folder(char letter) {
    return std::string("drive_") + static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

}  // namespace

std::shared_ptr<FileNode> FileNode::child(std::string_view child_name) const {
    for (const auto& node : children)
        if (same_name(node->name, child_name)) return node;
    for (const auto& node : children)
        if (!node->short_name.empty() && same_name(node->short_name, child_name)) return node;
    return nullptr;
}

std::string WindowsPath::text() const {
    std::string out{drive, ':'};
    if (components.empty()) return out + "\\";
    for (const std::string& component : components) out += "\\" + component;
    return out;
}

FileSystem::FileSystem(const Clock& clock) : clock_(clock) { drives_['C'].root = new_root(); }

std::optional<WindowsPath> FileSystem::parse(std::string_view text, DWORD& error, NameCheck check) {
    std::string path(text);
    std::replace(path.begin(), path.end(), '/', '\\');
    WindowsPath out;
    std::string_view rest = path;
    if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        out.drive = upper_letter(rest[0]);
        rest.remove_prefix(2);
    } else if (rest.substr(0, 2) == "\\\\") {
        error = ERROR_BAD_NETPATH;  // no network on a simulated machine
        return std::nullopt;
    }
    if (rest.empty() && path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find('\\', start);
        if (end == std::string_view::npos) end = rest.size();
        std::string_view component = rest.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (!out.components.empty()) out.components.pop_back();
            continue;
        }
        if (check == NameCheck::characters && !valid_component(component)) {
            error = ERROR_INVALID_NAME;
            return std::nullopt;
        }
        std::string name = trimmed_component(component);
        if (!name.empty()) out.components.push_back(std::move(name));
    }
    return out;
}

std::optional<WindowsPath> FileSystem::full_path(std::string_view text, DWORD& error, NameCheck check) const {
    std::string path(text);
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.empty() || path.substr(0, 2) == "\\\\") return parse(path, error, check);
    bool has_drive = path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
    if (has_drive) {
        if (path.size() > 2 && path[2] == '\\') return parse(path, error, check);
        // "D:name" is relative to the current directory of that drive; the process
        // keeps only one, so another drive's is its root.
        std::string rest = path.substr(2);
        if (upper_letter(path[0]) == current_.drive) return parse(current_.text() + "\\" + rest, error, check);
        return parse(std::string{upper_letter(path[0]), ':', '\\'} + rest, error, check);
    }
    if (path.front() == '\\') return parse(std::string{current_.drive, ':'} + path, error, check);
    return parse(current_.text() + "\\" + path, error, check);
}

std::shared_ptr<FileNode> FileSystem::find(std::string_view path, DWORD& error) const {
    std::optional<WindowsPath> parsed = full_path(path, error);
    return parsed ? find(*parsed, error) : nullptr;
}

std::shared_ptr<FileNode> FileSystem::find(const WindowsPath& path, DWORD& error) const {
    auto drive = drives_.find(path.drive);
    if (drive == drives_.end()) {
        error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::shared_ptr<FileNode> node = drive->second.root;
    for (std::size_t i = 0; i < path.components.size(); ++i) {
        // A file on the way counts as a missing directory.
        std::shared_ptr<FileNode> next = node->directory ? node->child(path.components[i]) : nullptr;
        if (!next) {
            bool last = i + 1 == path.components.size() && node->directory;
            error = last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        node = next;
    }
    return node;
}

std::shared_ptr<FileNode> FileSystem::add_child(FileNode& directory, std::string name, bool is_directory) {
    auto node = std::make_shared<FileNode>();
    node->directory = is_directory;
    node->attributes = is_directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    node->creation_time = node->last_access_time = node->last_write_time = clock_.now();
    link(directory, node, std::move(name));
    return node;
}

void FileSystem::unlink(const std::shared_ptr<FileNode>& node) {
    if (!node->parent) return;
    auto& siblings = node->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), node));
    node->parent = nullptr;
}

void FileSystem::link(FileNode& directory, const std::shared_ptr<FileNode>& node, std::string name) {
    node->name = std::move(name);
    node->short_name = detail::make_alias(node->name, style_, [&](std::string_view candidate) {
        for (const auto& sibling : directory.children)
            if (sibling != node && (same_name(sibling->name, candidate) || same_name(sibling->short_name, candidate)))
                return true;
        return false;
    });
    node->parent = &directory;
    directory.children.push_back(node);
}

bool FileSystem::on_read_only_drive(const FileNode& node) const {
    const FileNode* top = &node;
    while (top->parent) top = top->parent;
    for (const auto& [letter, drive] : drives_)
        if (drive.root.get() == top) return drive.read_only;
    return false;
}

std::shared_ptr<FileNode> FileSystem::make_directories(const WindowsPath& path) {
    auto drive = drives_.find(path.drive);
    if (drive == drives_.end()) throw std::invalid_argument(std::string("no drive ") + path.drive + ":");
    std::shared_ptr<FileNode> node = drive->second.root;
    for (const std::string& component : path.components) {
        std::shared_ptr<FileNode> next = node->child(component);
        if (!next) {
            next = add_child(*node, component, true);
            if (drive->second.read_only) next->attributes |= FILE_ATTRIBUTE_READONLY;
        } else if (!next->directory) {
            throw std::invalid_argument("a file stands where a directory is wanted: " + component);
        }
        node = next;
    }
    return node;
}

namespace {

WindowsPath parse_or_throw(std::string_view path) {
    DWORD error = 0;
    std::optional<WindowsPath> parsed = FileSystem::parse(path, error);
    if (!parsed) throw std::invalid_argument("not a path of the machine: " + std::string(path));
    return *parsed;
}

// Where a Windows path lies in its drive's folder.
std::filesystem::path host_path(const std::filesystem::path& host_root, std::string_view path) {
    DWORD error = 0;
    std::filesystem::path host = host_root;
    if (std::optional<WindowsPath> parsed = FileSystem::parse(path, error))
        for (const std::string& component : parsed->components) host /= component;
    return host;
}

}  // namespace

void FileSystem::make_directories(std::string_view path) { make_directories(parse_or_throw(path)); }

void FileSystem::write_file(std::string_view path, std::string_view bytes) {
    WindowsPath parsed = parse_or_throw(path);
    if (parsed.components.empty()) throw std::invalid_argument("a file needs a name");
    std::string name = parsed.components.back();
    parsed.components.pop_back();
    std::shared_ptr<FileNode> directory = make_directories(parsed);
    std::shared_ptr<FileNode> node = directory->child(name);
    if (!node) {
        node = add_child(*directory, name, false);
        if (is_read_only(parsed.drive)) node->attributes |= FILE_ATTRIBUTE_READONLY;
    } else if (node->directory) {
        throw std::invalid_argument("a directory stands where a file is wanted: " + name);
    }
    node->data.assign(bytes.data(), bytes.size());
    node->last_access_time = node->last_write_time = clock_.now();
}

std::shared_ptr<FileNode> FileSystem::node(std::string_view path) const {
    DWORD error = 0;
    return find(path, error);
}

std::optional<std::string> FileSystem::read_file(std::string_view path) const {
    std::shared_ptr<FileNode> found = node(path);
    if (!found || found->directory) return std::nullopt;
    return found->data;
}

bool FileSystem::exists(std::string_view path) const { return node(path) != nullptr; }

bool FileSystem::remove(std::string_view path) {
    std::shared_ptr<FileNode> found = node(path);
    if (!found || !found->parent) return false;
    std::erase_if(holds_, [&](const FileHold& held) { return held.node == found; });
    unlink(found);
    return true;
}

std::vector<std::string> FileSystem::list(std::string_view directory) const {
    std::vector<std::string> names;
    std::shared_ptr<FileNode> found = node(directory);
    if (found && found->directory)
        for (const auto& child : found->children) names.push_back(child->name);
    return names;
}

void FileSystem::add_drive(char letter, bool read_only) {
    letter = upper_letter(letter);
    if (!std::isalpha(static_cast<unsigned char>(letter)) || drives_.count(letter))
        throw std::invalid_argument(std::string("cannot add drive ") + letter + ":");
    drives_[letter] = Drive{new_root(), read_only};
}

bool FileSystem::has_drive(char letter) const { return drives_.count(upper_letter(letter)) != 0; }

bool FileSystem::is_read_only(char letter) const {
    auto drive = drives_.find(upper_letter(letter));
    return drive != drives_.end() && drive->second.read_only;
}

std::vector<char> FileSystem::drive_letters() const {
    std::vector<char> letters;
    for (const auto& [letter, drive] : drives_) letters.push_back(letter);
    return letters;
}

std::shared_ptr<FileNode> FileSystem::root(char letter) const {
    auto drive = drives_.find(upper_letter(letter));
    return drive == drives_.end() ? nullptr : drive->second.root;
}

void FileSystem::set_current_directory(std::string_view path) {
    DWORD error = 0;
    std::optional<WindowsPath> parsed = full_path(path, error);
    std::shared_ptr<FileNode> found = parsed ? find(*parsed, error) : nullptr;
    if (!found || !found->directory) throw std::invalid_argument("no such directory: " + std::string(path));
    current_ = *parsed;
}

namespace {

// The path with each component that exists spelt as `spelling` gives it.
template <typename Spelling>
std::string spelt_path(const FileSystem& files, const WindowsPath& path, Spelling spelling) {
    std::string out{path.drive, ':'};
    DWORD error = 0;
    WindowsPath walked{path.drive, {}};
    for (const std::string& component : path.components) {
        walked.components.push_back(component);
        std::shared_ptr<FileNode> found = files.find(walked, error);
        out += "\\" + (found ? spelling(*found) : component);
    }
    return path.components.empty() ? out + "\\" : out;
}

}  // namespace

std::string FileSystem::short_path(const WindowsPath& path) const {
    return spelt_path(*this, path, [](const FileNode& node) { return node.short_or_long(); });
}

std::string FileSystem::long_path(const WindowsPath& path) const {
    return spelt_path(*this, path, [](const FileNode& node) { return node.name; });
}

void FileSystem::hold(std::string_view path, DWORD share, DWORD access, std::string_view holder) {
    DWORD error = 0;
    std::optional<WindowsPath> parsed = full_path(path, error);
    std::shared_ptr<FileNode> found = parsed ? find(*parsed, error) : nullptr;
    if (!found) throw std::invalid_argument("no such file to hold: " + std::string(path));
    holds_.push_back(FileHold{long_path(*parsed), found, access, share, std::string(holder)});
}

bool FileSystem::release(std::string_view path, std::string_view holder) {
    std::shared_ptr<FileNode> found = node(path);
    if (!found) return false;
    return std::erase_if(holds_, [&](const FileHold& held) {
               return held.node == found && (holder.empty() || held.holder == holder);
           }) != 0;
}

std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> FileSystem::walk() const {
    std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> out;
    for (const auto& [letter, drive] : drives_) {
        std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> pending{{std::string{letter, ':'}, drive.root}};
        while (!pending.empty()) {
            auto [path, node] = pending.back();
            pending.pop_back();
            out.emplace_back(path.size() == 2 ? path + "\\" : path, node);
            for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
                pending.emplace_back(path + "\\" + (*it)->name, *it);
        }
    }
    return out;
}

void FileSystem::save_to(const std::filesystem::path& machine_folder) const {
    for (const auto& [letter, drive] : drives_) {
        std::filesystem::path host_root = machine_folder / drive_folder(letter);
        std::filesystem::remove_all(host_root);
        std::filesystem::create_directories(host_root);
    }
    for (const auto& [path, node] : walk()) {
        std::filesystem::path host = host_path(machine_folder / drive_folder(path[0]), path);
        if (node->directory) {
            std::filesystem::create_directories(host);
        } else {
            std::ofstream out(host, std::ios::binary);
            out.write(node->data.data(), static_cast<std::streamsize>(node->data.size()));
            if (!out) throw std::runtime_error("cannot write " + host.string());
        }
    }
}

void FileSystem::load_from(const std::filesystem::path& machine_folder, const std::vector<std::string>& order) {
    for (auto& [letter, drive] : drives_) {
        drive.root = new_root();
        std::vector<std::string> own;
        for (const std::string& path : order)
            if (!path.empty() && upper_letter(path[0]) == letter) own.push_back(path);
        load_drive(letter, machine_folder / drive_folder(letter), own);
    }
}

void FileSystem::load_drive(char letter, const std::filesystem::path& host_root, const std::vector<std::string>& order) {
    if (!std::filesystem::exists(host_root)) return;
    // Sorted, so that a tree edited by hand is read the same way every time.
    std::vector<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(host_root)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    // The saved order first, so that children keep their creation order.
    std::vector<std::filesystem::path> ordered;
    for (const std::string& path : order) {
        std::filesystem::path host = host_path(host_root, path);
        if (host != host_root && std::find(entries.begin(), entries.end(), host) != entries.end()) ordered.push_back(host);
    }
    for (const std::filesystem::path& host : entries)
        if (std::find(ordered.begin(), ordered.end(), host) == ordered.end()) ordered.push_back(host);
    for (const std::filesystem::path& host : ordered) {
        std::string windows{letter, ':'};
        for (const auto& part : std::filesystem::relative(host, host_root)) windows += "\\" + part.string();
        if (std::filesystem::is_directory(host)) {
            make_directories(windows);
        } else {
            std::ifstream in(host, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            write_file(windows, bytes.str());
        }
    }
}

}  // namespace winsim
