// GetBinaryTypeA: which subsystem would run a file, as NT's loader sees it. The loader
// first tries the file as an image and falls back on the name only for files with no
// MS-DOS header, so a PE renamed to .COM is still a PE and a .PIF is known by name.
#include "core/api.h"
#include "images/byte_reader.h"
#include "images/image_reader.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

namespace {

using winsim::detail::ByteReader;
using winsim::detail::image_file_dll;
using winsim::detail::optional_magic_pe32;
using winsim::detail::optional_magic_pe32_plus;
using winsim::detail::fail;
using winsim::detail::state;

constexpr WORD subsystem_posix_cui = 7;
constexpr std::uint64_t dos_header_size = 0x40;
constexpr std::uint64_t dos_lfanew_offset = 0x3C;
constexpr std::uint64_t coff_header_size = 20;
// The optional header must reach past its Subsystem field for the loader to use it.
constexpr std::uint64_t optional_header_minimum = 70;
constexpr std::uint64_t ne_header_size = 0x40;
constexpr std::uint64_t ne_target_os_offset = 0x36;
constexpr BYTE ne_os_os2 = 1;


// A type, or the error the call fails with.
struct Verdict {
    bool ok;
    DWORD value;
};
constexpr Verdict type(DWORD binary_type) { return {true, binary_type}; }
constexpr Verdict bad_format() { return {false, ERROR_BAD_EXE_FORMAT}; }

bool is_x64_machine() { return state().options.arch == winsim::Arch::x64; }

Verdict classify_pe(const ByteReader& file, std::uint64_t nt_headers) {
    const std::uint64_t coff = nt_headers + 4;
    if (!file.has(coff, coff_header_size)) return bad_format();
    const WORD optional_size = *file.u16(coff + 16);
    const WORD characteristics = *file.u16(coff + 18);
    const std::uint64_t optional = coff + coff_header_size;
    if (optional_size < optional_header_minimum || !file.has(optional, optional_size)) return bad_format();
    const bool dll = characteristics & image_file_dll;

    switch (*file.u16(optional)) {
    case optional_magic_pe32:
        if (dll) return bad_format();
        if (*file.u16(optional + 68) == subsystem_posix_cui) return type(SCS_POSIX_BINARY);
        return type(SCS_32BIT_BINARY);
    case optional_magic_pe32_plus:
        if (!winsim::detail::knows_pe32_plus(winsim::platform_info(state().platform))) return bad_format();
        // A 32-bit kernel refuses a 64-bit image before it looks at what kind of
        // image it is, so there even a DLL is answered as 64-bit.
        if (dll && is_x64_machine()) return bad_format();
        return type(SCS_64BIT_BINARY);
    default:
        return bad_format();
    }
}

Verdict classify_ne(const ByteReader& file, std::uint64_t ne_header) {
    if (!file.has(ne_header, ne_header_size)) return bad_format();
    if (*file.u8(ne_header + ne_target_os_offset) == ne_os_os2) return type(SCS_OS216_BINARY);
    // Windows, and the targets NT has no subsystem of its own for, go to WOW.
    return type(SCS_WOW_BINARY);
}

bool has_extension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    return std::equal(extension.begin(), extension.end(), name.end() - static_cast<std::ptrdiff_t>(extension.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                      });
}

Verdict classify(const winsim::FileNode& node) {
    const ByteReader file(node.data);
    if (!file.starts_with(0, "MZ")) {
        // Neither kind has a header of its own to go by.
        if (has_extension(node.name, ".com")) return type(SCS_DOS_BINARY);
        if (has_extension(node.name, ".pif")) return type(SCS_PIF_BINARY);
        return bad_format();
    }
    if (!file.has(0, dos_header_size)) return bad_format();
    const std::uint64_t new_header = *file.u32(dos_lfanew_offset);
    if (file.starts_with(new_header, std::string_view("PE\0\0", 4))) return classify_pe(file, new_header);
    if (file.starts_with(new_header, "NE")) return classify_ne(file, new_header);
    // Old MS-DOS programs have anything at all where e_lfanew is, so an offset that
    // leads nowhere known, LE and LX included, leaves an MS-DOS program: NT hands LE
    // virtual devices and OS/2 2.x programs to its MS-DOS machine like any other.
    return type(SCS_DOS_BINARY);
}

}  // namespace

BOOL WINAPI GetBinaryTypeA(LPCSTR lpApplicationName, LPDWORD lpBinaryType) {
    WINSIM_API("GetBinaryTypeA", FALSE);
    // Windows 95 and 98 export the name only as a stub.
    if (!winsim::detail::is_nt()) return fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (!lpApplicationName || !lpBinaryType) return fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = 0;
    std::shared_ptr<winsim::FileNode> node = state().files.find(lpApplicationName, error);
    if (!node) return fail(error, FALSE);
    if (node->directory) return fail(ERROR_ACCESS_DENIED, FALSE);
    Verdict verdict = classify(*node);
    if (!verdict.ok) return fail(verdict.value, FALSE);
    *lpBinaryType = verdict.value;
    return TRUE;
}
