// A 16-bit module's file, read in pieces through the Win32 file calls. Every read is
// checked against the file's size first, so that an offset taken from a damaged header
// never reaches past the end.
#pragma once

#include "brg32res.h"

#include <cstdint>
#include <optional>

namespace brg32res {

class ModuleFile {
public:
    explicit ModuleFile(LPCSTR path);
    ~ModuleFile();
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Whether `size` bytes at `offset` lie inside the file.
    bool holds(std::uint64_t offset, std::uint64_t size) const { return offset <= size_ && size <= size_ - offset; }
    // Reads exactly `size` bytes at `offset`, or answers false when they are not all
    // inside the file or the read comes back short.
    bool read(std::uint64_t offset, void* into, std::uint32_t size);
    std::optional<std::uint8_t> u8(std::uint64_t offset);
    std::optional<std::uint16_t> u16(std::uint64_t offset);
    std::optional<std::uint32_t> u32(std::uint64_t offset);

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::uint64_t size_ = 0;
};

}  // namespace brg32res
