// The version calls of VERSION.DLL over the images on the machine's disk. The block
// GetFileVersionInfoA hands out is the resource as the image holds it: UTF-16 nodes
// for a PE, ANSI nodes for an NE. A PE's block is followed by room that ANSI
// queries convert their strings into, marked by a signature, as NT lays it out.
#include "core/api.h"
#include "images/image_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using winsim::detail::Image;
using winsim::detail::ImageFormat;
using winsim::detail::ResourceLookup;
using winsim::detail::fail;
using winsim::detail::state;

constexpr WORD version_resource_id = 1;
constexpr char conversion_signature[4] = {'F', 'E', '2', 'X'};

struct VersionResource {
    DWORD error = 0;
    bool unicode = false;
    std::string bytes;
    std::size_t file_offset = 0;
};

// The version resource of a file, or the error the calls fail with: none at all in
// the image (or no image) and none of the version type are told apart, as Windows
// tells them apart.
VersionResource read_version_resource(LPCSTR path) {
    VersionResource result;
    if (!path) {
        result.error = ERROR_INVALID_PARAMETER;
        return result;
    }
    DWORD error = 0;
    std::shared_ptr<winsim::FileNode> node = state().files.find(path, error);
    if (!node) {
        result.error = error;
        return result;
    }
    if (node->directory) {
        result.error = ERROR_ACCESS_DENIED;
        return result;
    }
    std::optional<Image> image = Image::parse(node->data);
    if (!image) {
        result.error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return result;
    }
    winsim::detail::ResourceData data = image->find_resource(winsim::detail::resource_type_version, version_resource_id);
    if (data.lookup != ResourceLookup::found) {
        result.error = winsim::detail::lookup_error(data.lookup);
        return result;
    }
    if (data.bytes.size() < 4) {
        result.error = ERROR_RESOURCE_DATA_NOT_FOUND;
        return result;
    }
    result.unicode = image->format() != ImageFormat::ne;
    result.bytes = std::string(data.bytes);
    result.file_offset = data.file_offset;
    return result;
}

WORD word_at(const unsigned char* bytes, std::size_t offset) {
    return static_cast<WORD>(bytes[offset] | bytes[offset + 1] << 8);
}

bool is_nt() { return winsim::platform_info(state().platform).family == winsim::Family::nt; }

// What GetFileVersionInfoSizeA answers: for a PE, room for the resource, the
// signature and an ANSI copy of every node. For an NE, NT asks for four times the
// block less its fixed info, room its W calls convert the ANSI texts into; 95/98 ask
// for the resource as its table records it.
std::size_t root_length(const VersionResource& resource) {
    return word_at(reinterpret_cast<const unsigned char*>(resource.bytes.data()), 0);
}

// What the block says it holds: its root length, or the resource's size when that is
// more. A broken resource that claims more than it has is handed out with the rest as
// zeros, so that the queries, which go as far as the root length, never read past a
// block of the size asked for.
std::size_t claimed_size(const VersionResource& resource) { return std::max(resource.bytes.size(), root_length(resource)); }

DWORD block_size(const VersionResource& resource) {
    const std::size_t size = claimed_size(resource);
    if (resource.unicode) return static_cast<DWORD>(2 * size + 4);
    if (is_nt() && root_length(resource) > sizeof(VS_FIXEDFILEINFO))
        return static_cast<DWORD>(std::max(4 * (root_length(resource) - sizeof(VS_FIXEDFILEINFO)), size));
    return static_cast<DWORD>(size);
}

std::size_t align4(std::size_t value) { return (value + 3) & ~std::size_t{3}; }

bool same_key_char(unsigned a, char b) {
    return a < 0x80 && std::tolower(static_cast<int>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// A version block as the caller holds it. Its own root length bounds every read; the
// caller's buffer is taken to hold what the block says it holds, as Windows takes it.
class Block {
public:
    struct Node {
        std::size_t offset;
        std::size_t end;           // offset + the node's length
        std::size_t value;         // where the value starts
        std::size_t value_length;  // as the node records it
        std::size_t value_bytes;   // what the value takes up
        bool text;
        std::size_t children;
    };

    explicit Block(const void* block) : bytes_(static_cast<const unsigned char*>(block)) {
        const std::size_t length = word_at(bytes_, 0);
        // The root's key tells the two layouts apart: ANSI right after the two
        // lengths, UTF-16 after three words.
        static constexpr std::string_view root_key = "VS_VERSION_INFO";
        if (length >= 4 + root_key.size() + 1 && std::memcmp(bytes_ + 4, root_key.data(), root_key.size() + 1) == 0) {
            unicode_ = false;
        } else if (length >= 6 + 2 * (root_key.size() + 1)) {
            for (std::size_t i = 0; i <= root_key.size(); ++i) {
                const char expected = i < root_key.size() ? root_key[i] : '\0';
                if (word_at(bytes_, 6 + 2 * i) != static_cast<unsigned char>(expected)) return;
            }
            unicode_ = true;
        } else {
            return;
        }
        length_ = length;
        valid_ = true;
    }

    bool valid() const { return valid_; }
    bool unicode() const { return unicode_; }
    std::size_t length() const { return length_; }
    const unsigned char* bytes() const { return bytes_; }

    std::optional<Node> node_at(std::size_t offset, std::size_t limit) const {
        const std::size_t header = unicode_ ? 6 : 4;
        if (offset + header > limit) return std::nullopt;
        const std::size_t length = word_at(bytes_, offset);
        if (length < header || offset + length > limit) return std::nullopt;
        Node node{};
        node.offset = offset;
        node.end = offset + length;
        node.value_length = word_at(bytes_, offset + 2);
        node.text = unicode_ && word_at(bytes_, offset + 4) == 1;
        std::size_t key_end = offset + header;
        const std::size_t unit = unicode_ ? 2 : 1;
        while (key_end + unit <= node.end && (unicode_ ? word_at(bytes_, key_end) != 0 : bytes_[key_end] != 0)) key_end += unit;
        if (key_end + unit > node.end) return std::nullopt;
        node.value = std::min(align4(key_end + unit), node.end);
        node.value_bytes = std::min(node.value_length * (node.text ? 2 : 1), node.end - node.value);
        node.children = align4(node.value + node.value_bytes);
        return node;
    }

    bool key_is(const Node& node, std::string_view name) const {
        const std::size_t key = node.offset + (unicode_ ? 6 : 4);
        const std::size_t unit = unicode_ ? 2 : 1;
        for (std::size_t i = 0; i < name.size(); ++i) {
            const unsigned c = unicode_ ? word_at(bytes_, key + unit * i) : bytes_[key + i];
            if (c == 0 || !same_key_char(c, name[i])) return false;
        }
        return (unicode_ ? word_at(bytes_, key + unit * name.size()) : bytes_[key + name.size()]) == 0;
    }

    std::optional<Node> child(const Node& parent, std::string_view name) const {
        std::size_t at = parent.children;
        while (at < parent.end) {
            std::optional<Node> node = node_at(at, parent.end);
            if (!node) return std::nullopt;
            if (key_is(*node, name)) return node;
            at = align4(node->end);
        }
        return std::nullopt;
    }

    // Where an ANSI query finds the text of a UTF-16 node: in the room behind the
    // block, at the node's own offset, once GetFileVersionInfoA has marked the room.
    unsigned char* conversion_room(const Node& node) const {
        if (std::memcmp(bytes_ + length_, conversion_signature, sizeof conversion_signature) != 0) return nullptr;
        return const_cast<unsigned char*>(bytes_) + length_ + sizeof conversion_signature + node.value;
    }

private:
    const unsigned char* bytes_;
    std::size_t length_ = 0;
    bool unicode_ = false;
    bool valid_ = false;
};

std::vector<std::string_view> path_names(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t at = 0;
    while (at < path.size()) {
        std::size_t end = path.find('\\', at);
        if (end == std::string_view::npos) end = path.size();
        if (end > at) names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

}  // namespace

// The size of the block GetFileVersionInfoA fills. NT keeps no handle; Windows 9x
// and 16-bit Windows hand out where the resource lies in the file.
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    WINSIM_API("GetFileVersionInfoSizeA", 0);
    if (lpdwHandle) *lpdwHandle = 0;
    VersionResource resource = read_version_resource(lptstrFilename);
    // Windows 2000 fails without telling why: the last error is 0.
    if (resource.error) return fail(state().platform == winsim::Platform::win2000 ? ERROR_SUCCESS : resource.error, 0);
    if (lpdwHandle && !is_nt())
        *lpdwHandle = static_cast<DWORD>(resource.file_offset);
    return block_size(resource);
}

// Copies as much of the resource as the buffer holds; the handle is not needed to
// find it again. The room for ANSI strings is marked only when all of it fits, so
// that a query never writes past the caller's buffer.
BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData) {
    WINSIM_API("GetFileVersionInfoA", FALSE);
    if (!lpData && dwLen) return fail(ERROR_INVALID_PARAMETER, FALSE);
    VersionResource resource = read_version_resource(lptstrFilename);
    if (resource.error) return fail(resource.error, FALSE);
    const std::size_t copied = std::min<std::size_t>(dwLen, resource.bytes.size());
    if (copied) std::memcpy(lpData, resource.bytes.data(), copied);
    const std::size_t claimed = std::min<std::size_t>(dwLen, claimed_size(resource));
    if (claimed > copied) std::memset(static_cast<char*>(lpData) + copied, 0, claimed - copied);
    if (resource.unicode) {
        const std::size_t length = root_length(resource);
        if (dwLen >= 2 * length + sizeof conversion_signature)
            std::memcpy(static_cast<char*>(lpData) + length, conversion_signature, sizeof conversion_signature);
    }
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    WINSIM_API("VerQueryValueA", FALSE);
    if (!pBlock || !lpSubBlock || !lplpBuffer) return fail(ERROR_INVALID_PARAMETER, FALSE);
    // A query that finds nothing also answers a length of 0.
    auto not_found = [&](DWORD error) {
        if (puLen) *puLen = 0;
        return fail(error, FALSE);
    };
    const Block block(pBlock);
    if (!block.valid()) return not_found(ERROR_INVALID_DATA);
    std::optional<Block::Node> node = block.node_at(0, block.length());
    if (!node) return not_found(ERROR_INVALID_DATA);
    for (std::string_view name : path_names(lpSubBlock)) {
        node = block.child(*node, name);
        if (!node) return not_found(ERROR_RESOURCE_TYPE_NOT_FOUND);
    }

    if (!node->text) {
        *lplpBuffer = const_cast<unsigned char*>(block.bytes()) + node->value;
        if (puLen) *puLen = static_cast<UINT>(node->value_length);
        return TRUE;
    }
    // A UTF-16 text: its ANSI form, one byte per character, terminator included.
    unsigned char* room = block.conversion_room(*node);
    if (!room) return not_found(ERROR_INVALID_DATA);
    const std::size_t units = node->value_bytes / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const WORD unit = word_at(block.bytes(), node->value + 2 * i);
        room[i] = static_cast<unsigned char>(unit < 0x100 ? unit : '?');
    }
    *lplpBuffer = room;
    if (puLen) *puLen = static_cast<UINT>(units);
    return TRUE;
}
