#include "orvinstl.h"
#include "platform_flags.h"
#include "shared_read.h"

#include <cstring>

namespace {

constexpr WORD signature_mz = 0x5A4D;
constexpr WORD signature_ne = 0x454E;
constexpr WORD signature_le = 0x454C;
constexpr DWORD signature_pe = 0x00004550;
constexpr DWORD new_header_offset_at = 0x3C;

LONG bitness_from_binary_type(LPCSTR file_name) {
    DWORD type = 0;
    if (!GetBinaryTypeA(file_name, &type)) return INS_EXE_UNKNOWN;
    switch (type) {
    case SCS_32BIT_BINARY: return INS_EXE_WIN32;
    case SCS_WOW_BINARY: return INS_EXE_WIN16;
    case SCS_DOS_BINARY:
    case SCS_PIF_BINARY: return INS_EXE_DOS;
    default: return INS_EXE_UNKNOWN;
    }
}

template <typename T>
T read_at(const BYTE* bytes, DWORD offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

// The signatures of an image, read only where the file has bytes: a file that is too
// short for its new header counts as a plain MS-DOS program.
LONG bitness_from_signature(const BYTE* bytes, DWORD size) {
    if (size < 2 || read_at<WORD>(bytes, 0) != signature_mz) return INS_EXE_UNKNOWN;
    if (size < new_header_offset_at + 4) return INS_EXE_DOS;
    DWORD offset = read_at<DWORD>(bytes, new_header_offset_at);
    if (offset > size || size - offset < 4) return INS_EXE_DOS;
    DWORD header = read_at<DWORD>(bytes, offset);
    WORD low = LOWORD(header);
    if (low == signature_ne) return INS_EXE_WIN16;
    if (low == signature_le) return INS_EXE_UNKNOWN;
    if (header == signature_pe) return INS_EXE_WIN32;
    return INS_EXE_DOS;
}

LONG bitness_from_file(LPCSTR file_name) {
    HANDLE file = open_for_shared_reading(file_name);
    if (file == INVALID_HANDLE_VALUE) return INS_EXE_UNKNOWN;
    LONG result = INS_EXE_UNKNOWN;
    DWORD size = GetFileSize(file, nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping) {
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        if (view) {
            if (size != INVALID_FILE_SIZE) result = bitness_from_signature(static_cast<const BYTE*>(view), size);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
    }
    CloseHandle(file);
    return result;
}

}  // namespace

// Classifies an executable: 32 (Win32), 16 (16-bit Windows), -16 (MS-DOS, or a PIF on
// NT), 0 for anything else or a file that cannot be read. Records nothing and ignores
// error_flag. NT asks the system; 95/98, which lack GetBinaryTypeA, read the headers.
LONG WINAPI ExeFileBitness(LPCSTR fileName) {
    if (!fileName) return INS_EXE_UNKNOWN;
    return os_is_nt ? bitness_from_binary_type(fileName) : bitness_from_file(fileName);
}
