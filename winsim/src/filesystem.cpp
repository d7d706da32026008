#include <winsim/filesystem.h>
#include <winsim/machine.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace winsim {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

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

}  // namespace

std::shared_ptr<FileNode> FileNode::child(std::string_view child_name) const {
    for (const auto& node : children)
        if (same_name(node->name, child_name)) return node;
    return nullptr;
}

std::string WindowsPath::text() const {
    std::string out{drive, ':'};
    if (components.empty()) return out + "\\";
    for (const std::string& component : components) out += "\\" + component;
    return out;
}

FileSystem::FileSystem(const Clock& clock) : clock_(clock), root_(std::make_shared<FileNode>()) {
    root_->directory = true;
    root_->attributes = FILE_ATTRIBUTE_DIRECTORY;
}

std::optional<WindowsPath> FileSystem::parse(std::string_view text, DWORD& error) {
    std::string path(text);
    std::replace(path.begin(), path.end(), '/', '\\');
    WindowsPath out;
    std::string_view rest = path;
    if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
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
        if (!valid_component(component)) {
            error = ERROR_INVALID_NAME;
            return std::nullopt;
        }
        std::string name = trimmed_component(component);
        if (!name.empty()) out.components.push_back(std::move(name));
    }
    return out;
}

std::shared_ptr<FileNode> FileSystem::find(std::string_view path, DWORD& error) const {
    std::optional<WindowsPath> parsed = parse(path, error);
    return parsed ? find(*parsed, error) : nullptr;
}

std::shared_ptr<FileNode> FileSystem::find(const WindowsPath& path, DWORD& error) const {
    if (path.drive != 'C') {
        error = ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::shared_ptr<FileNode> node = root_;
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

std::shared_ptr<FileNode> FileSystem::make_directories(const WindowsPath& path) {
    std::shared_ptr<FileNode> node = root_;
    for (const std::string& component : path.components) {
        std::shared_ptr<FileNode> next = node->child(component);
        if (!next) {
            next = std::make_shared<FileNode>();
            next->name = component;
            next->directory = true;
            next->attributes = FILE_ATTRIBUTE_DIRECTORY;
            next->creation_time = next->last_access_time = next->last_write_time = clock_.now();
            next->parent = node.get();
            node->children.push_back(next);
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
    if (!parsed || parsed->drive != 'C') throw std::invalid_argument("not a path on drive C: " + std::string(path));
    return *parsed;
}

// Where a Windows path of drive C: lies in the machine's folder.
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
        node = std::make_shared<FileNode>();
        node->name = name;
        node->parent = directory.get();
        node->creation_time = clock_.now();
        directory->children.push_back(node);
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
    auto& siblings = found->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), found));
    found->parent = nullptr;
    return true;
}

std::vector<std::string> FileSystem::list(std::string_view directory) const {
    std::vector<std::string> names;
    std::shared_ptr<FileNode> found = node(directory);
    if (found && found->directory)
        for (const auto& child : found->children) names.push_back(child->name);
    return names;
}

std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> FileSystem::walk() const {
    std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> out;
    std::vector<std::pair<std::string, std::shared_ptr<FileNode>>> pending{{"C:", root_}};
    while (!pending.empty()) {
        auto [path, node] = pending.back();
        pending.pop_back();
        out.emplace_back(path.size() == 2 ? path + "\\" : path, node);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            pending.emplace_back(path + "\\" + (*it)->name, *it);
    }
    return out;
}

void FileSystem::save_to(const std::filesystem::path& host_root) const {
    std::filesystem::remove_all(host_root);
    std::filesystem::create_directories(host_root);
    for (const auto& [path, node] : walk()) {
        std::filesystem::path host = host_path(host_root, path);
        if (node->directory) {
            std::filesystem::create_directories(host);
        } else {
            std::ofstream out(host, std::ios::binary);
            out.write(node->data.data(), static_cast<std::streamsize>(node->data.size()));
            if (!out) throw std::runtime_error("cannot write " + host.string());
        }
    }
}

void FileSystem::load_from(const std::filesystem::path& host_root, const std::vector<std::string>& order) {
    root_ = std::make_shared<FileNode>();
    root_->directory = true;
    root_->attributes = FILE_ATTRIBUTE_DIRECTORY;
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
        std::string windows = "C:";
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
