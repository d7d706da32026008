#include "shell/shell_link_format.h"

#include "images/byte_reader.h"
#include "kernel/code_page_1252.h"

namespace winsim::detail {

namespace {

constexpr std::uint32_t header_size = 0x4C;
constexpr unsigned char link_class[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t has_target_id_list = 0x01;
constexpr std::uint32_t has_link_info = 0x02;
constexpr std::uint32_t has_name = 0x04;
constexpr std::uint32_t has_relative_path = 0x08;
constexpr std::uint32_t has_working_dir = 0x10;
constexpr std::uint32_t has_arguments = 0x20;
constexpr std::uint32_t is_unicode = 0x80;
constexpr std::uint32_t link_info_header_size = 0x1C;
constexpr std::uint32_t volume_id_and_local_base_path = 0x01;
constexpr std::uint32_t drive_fixed = 3;
constexpr std::uint32_t volume_serial = 0x1C4A0B27;  // the serial number of every machine's drive C:
constexpr std::uint32_t show_normal = 1;

void put16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(value >> 16));
}

void put_time(std::string& out, const FILETIME& time) {
    put32(out, time.dwLowDateTime);
    put32(out, time.dwHighDateTime);
}

// A counted string of the string data: its count of characters, then the characters
// without a terminator.
void put_counted(std::string& out, const std::string& text, bool unicode) {
    put16(out, static_cast<std::uint16_t>(text.size()));
    for (char c : text) {
        if (unicode) put16(out, from_1252(static_cast<unsigned char>(c)));
        else out.push_back(c);
    }
}

// The target on its local volume: the volume's type, serial number and (empty) label,
// then the path, and an empty suffix.
std::string link_info(const std::string& target) {
    std::string volume;
    put32(volume, 0x11);  // the size of the volume's record: its four fields and an empty label
    put32(volume, drive_fixed);
    put32(volume, volume_serial);
    put32(volume, 0x10);  // the label follows the four fields
    volume.push_back('\0');
    const std::uint32_t base_path_at = link_info_header_size + static_cast<std::uint32_t>(volume.size());
    const std::uint32_t suffix_at = base_path_at + static_cast<std::uint32_t>(target.size()) + 1;
    std::string info;
    put32(info, suffix_at + 1);
    put32(info, link_info_header_size);
    put32(info, volume_id_and_local_base_path);
    put32(info, link_info_header_size);
    put32(info, base_path_at);
    put32(info, 0);  // no network share
    put32(info, suffix_at);
    info += volume;
    for (char c : target) info.push_back(c);
    info.push_back('\0');
    info.push_back('\0');  // the empty suffix
    return info;
}

// A NUL-ended ANSI text at `offset`, or nothing when it runs past the end.
std::optional<std::string> text_at(std::string_view bytes, std::uint64_t offset) {
    if (offset >= bytes.size()) return std::nullopt;
    const std::size_t end = bytes.find('\0', static_cast<std::size_t>(offset));
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(bytes.substr(static_cast<std::size_t>(offset), end - static_cast<std::size_t>(offset)));
}

}  // namespace

std::string encode_shell_link(const ShellLinkContents& link, const LinkTargetFacts& target, bool unicode_strings) {
    std::uint32_t flags = has_link_info | has_name | (unicode_strings ? is_unicode : 0);
    if (!link.working_directory.empty()) flags |= has_working_dir;
    if (!link.arguments.empty()) flags |= has_arguments;
    std::string out;
    put32(out, header_size);
    out.append(reinterpret_cast<const char*>(link_class), sizeof link_class);
    put32(out, flags);
    put32(out, target.attributes);
    put_time(out, target.created);
    put_time(out, target.accessed);
    put_time(out, target.written);
    put32(out, target.size);
    put32(out, 0);  // icon index
    put32(out, show_normal);
    put16(out, 0);  // no hot key
    put16(out, 0);
    put32(out, 0);
    put32(out, 0);
    out += link_info(link.target);
    put_counted(out, link.description, unicode_strings);
    if (flags & has_working_dir) put_counted(out, link.working_directory, unicode_strings);
    if (flags & has_arguments) put_counted(out, link.arguments, unicode_strings);
    put32(out, 0);  // the terminal block of the extra data
    return out;
}

}  // namespace winsim::detail

namespace winsim {

std::optional<ShellLinkContents> read_shell_link(std::string_view bytes) {
    using detail::ByteReader;
    const ByteReader reader(bytes);
    if (reader.u32(0) != detail::header_size || !reader.starts_with(4, std::string_view(reinterpret_cast<const char*>(detail::link_class), 16)))
        return std::nullopt;
    const std::uint32_t flags = *reader.u32(20);
    std::uint64_t at = detail::header_size;
    if (flags & detail::has_target_id_list) {
        std::optional<std::uint16_t> size = reader.u16(at);
        if (!size) return std::nullopt;
        at += 2 + *size;
    }
    ShellLinkContents link;
    if (flags & detail::has_link_info) {
        std::optional<std::uint32_t> size = reader.u32(at);
        std::optional<std::uint32_t> info_flags = reader.u32(at + 8);
        std::optional<std::uint32_t> base_at = reader.u32(at + 16);
        std::optional<std::uint32_t> suffix_at = reader.u32(at + 24);
        if (!size || !info_flags || !base_at || !suffix_at || !reader.has(at, *size)) return std::nullopt;
        if (*info_flags & detail::volume_id_and_local_base_path) {
            const std::string_view info = bytes.substr(static_cast<std::size_t>(at), *size);
            std::optional<std::string> base = detail::text_at(info, *base_at);
            std::optional<std::string> suffix = detail::text_at(info, *suffix_at);
            if (!base || !suffix) return std::nullopt;
            link.target = *base + *suffix;
        }
        at += *size;
    }
    const bool unicode = flags & detail::is_unicode;
    auto counted = [&](std::uint32_t flag, std::string* into) {
        if (!(flags & flag)) return true;
        std::optional<std::uint16_t> count = reader.u16(at);
        const std::uint64_t width = unicode ? 2 : 1;
        if (!count || !reader.has(at + 2, *count * width)) return false;
        std::string text;
        for (std::uint16_t i = 0; i < *count; ++i) {
            if (unicode) text.push_back(detail::to_1252(*reader.u16(at + 2 + 2 * i)));
            else text.push_back(static_cast<char>(*reader.u8(at + 2 + i)));
        }
        at += 2 + *count * width;
        if (into) *into = std::move(text);
        return true;
    };
    std::string relative_path;
    if (!counted(detail::has_name, &link.description) || !counted(detail::has_relative_path, &relative_path) ||
        !counted(detail::has_working_dir, &link.working_directory) || !counted(detail::has_arguments, &link.arguments))
        return std::nullopt;
    if (link.target.empty()) link.target = relative_path;
    return link;
}

}  // namespace winsim
