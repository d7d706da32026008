#include "module_file.h"

namespace brg32res {

namespace {

constexpr DWORD largest_size = 0x7FFFFFFF;

}  // namespace

ModuleFile::ModuleFile(LPCSTR path) {
    handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    DWORD high = 0;
    DWORD low = GetFileSize(handle_, &high);
    // A 16-bit module is far below 2 GB, where SetFilePointer's 32-bit distance ends; a
    // size that cannot be read or is that large is not one.
    if (low == INVALID_FILE_SIZE || high != 0 || low > largest_size) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return;
    }
    size_ = low;
}

ModuleFile::~ModuleFile() {
    if (is_open()) CloseHandle(handle_);
}

bool ModuleFile::read(std::uint64_t offset, void* into, std::uint32_t size) {
    if (!is_open() || !holds(offset, size)) return false;
    if (SetFilePointer(handle_, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    DWORD got = 0;
    return ReadFile(handle_, into, size, &got, nullptr) && got == size;
}

std::optional<std::uint8_t> ModuleFile::u8(std::uint64_t offset) {
    unsigned char byte = 0;
    if (!read(offset, &byte, 1)) return std::nullopt;
    return byte;
}

std::optional<std::uint16_t> ModuleFile::u16(std::uint64_t offset) {
    unsigned char bytes[2] = {};
    if (!read(offset, bytes, sizeof bytes)) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::optional<std::uint32_t> ModuleFile::u32(std::uint64_t offset) {
    unsigned char bytes[4] = {};
    if (!read(offset, bytes, sizeof bytes)) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
}

}  // namespace brg32res
