// Little-endian fields of a file's bytes, read only where they are: a field that would
// reach past the end answers nothing. Offsets come from the file itself, so they are
// 64-bit to keep offset + size from wrapping.
#pragma once

#include <winsim/windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace winsim::detail {

inline constexpr WORD image_file_dll = 0x2000;
inline constexpr WORD optional_magic_pe32 = 0x010B;
inline constexpr WORD optional_magic_pe32_plus = 0x020B;

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : data_(data) {}
    bool has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= data_.size() && size <= data_.size() - offset;
    }
    bool starts_with(std::uint64_t offset, std::string_view text) const {
        return has(offset, text.size()) && data_.substr(static_cast<std::size_t>(offset), text.size()) == text;
    }
    std::optional<std::uint8_t> u8(std::uint64_t offset) const {
        if (!has(offset, 1)) return std::nullopt;
        return static_cast<std::uint8_t>(byte(offset));
    }
    std::optional<std::uint16_t> u16(std::uint64_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(byte(offset) | byte(offset + 1) << 8);
    }
    std::optional<std::uint32_t> u32(std::uint64_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(byte(offset) | byte(offset + 1) << 8 | byte(offset + 2) << 16 |
                                          static_cast<std::uint32_t>(byte(offset + 3)) << 24);
    }
    std::string_view view(std::uint64_t offset, std::uint64_t size) const {
        return data_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    }
    // A zero-terminated string that must end inside the data and within `limit`.
    std::optional<std::string> c_string(std::uint64_t offset, std::size_t limit) const {
        if (offset >= data_.size()) return std::nullopt;
        std::string_view rest = data_.substr(static_cast<std::size_t>(offset), limit);
        std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) return std::nullopt;
        return std::string(rest.substr(0, end));
    }

private:
    unsigned byte(std::uint64_t offset) const { return static_cast<unsigned char>(data_[static_cast<std::size_t>(offset)]); }
    std::string_view data_;
};

}  // namespace winsim::detail
