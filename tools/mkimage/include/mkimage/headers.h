// Executable file headers built byte by byte, so that tests can lay out images of
// every kind Windows tells apart (MS-DOS, NE, LE/LX, PE32, PE32+) and images that are
// broken in exactly one place. Every builder answers the file's bytes as a string;
// fields are little-endian, as on every machine these formats were made for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mkimage {

// ---- Fields -----------------------------------------------------------------------

// Stores a field at `offset`, growing the image with zeros when it is too short, so
// that a header can be filled in any order.
void put8(std::string& image, std::size_t offset, std::uint8_t value);
void put16(std::string& image, std::size_t offset, std::uint16_t value);
void put32(std::string& image, std::size_t offset, std::uint32_t value);
void put64(std::string& image, std::size_t offset, std::uint64_t value);
void put_bytes(std::string& image, std::size_t offset, std::string_view bytes);

// Reads a field back; the field must lie inside the image (a test checks a layout it
// made, never an arbitrary file).
std::uint16_t get16(std::string_view image, std::size_t offset);
std::uint32_t get32(std::string_view image, std::size_t offset);
std::uint64_t get64(std::string_view image, std::size_t offset);

// `value` rounded up to a multiple of `alignment` (a power of two).
std::size_t align_up(std::size_t value, std::size_t alignment);

// ---- MS-DOS header ----------------------------------------------------------------

inline constexpr std::size_t dos_header_size = 0x40;
inline constexpr std::size_t dos_lfanew_offset = 0x3C;  // where the new header's offset is kept

// A real-mode program that ends at once with exit code 0.
std::string dos_exit_program();
// The program that sits in front of a new header: it tells the user the image needs
// Windows and ends with exit code 1.
std::string dos_stub();

// An MS-DOS executable: the header, then `program` as its load module. The header
// describes the file's size as MS-DOS reads it; e_lfanew is 0, which points at the
// header itself and so at no new header.
std::string mz_only(std::string_view program = dos_exit_program());

// Just the 64-byte header, with e_lfanew as given, describing an MS-DOS image (header
// and load module) of `dos_image_size` bytes. For odd files: append anything, or cut
// the header short.
std::string dos_header(std::uint32_t lfanew, std::size_t dos_image_size = dos_header_size);

// A header whose e_lfanew is `lfanew`, padded with zeros to `file_size` bytes (at
// least the header). With put_bytes a test then puts any signature at any offset, or
// lets the offset point at the last bytes of the file or past its end.
std::string mz_pointing_at(std::uint32_t lfanew, std::size_t file_size);

// Where a new header starts behind the header and dos_stub(): the next 16-byte
// boundary, as linkers place it.
std::size_t new_header_offset();

// The header and dos_stub(), then `new_header` at new_header_offset().
std::string with_new_header(std::string_view new_header);

// ---- NE (16-bit segmented) --------------------------------------------------------

// Target operating system, the byte at 0x36 of the NE header.
inline constexpr std::uint8_t ne_os_unknown = 0;
inline constexpr std::uint8_t ne_os_os2 = 1;
inline constexpr std::uint8_t ne_os_windows = 2;
inline constexpr std::uint8_t ne_os_dos4 = 3;
inline constexpr std::uint8_t ne_os_win386 = 4;

inline constexpr std::size_t ne_header_size = 0x40;
inline constexpr std::size_t ne_target_os_offset = 0x36;

// The NE header and the tables it points at, all empty but the resident and
// non-resident name tables, which name the module. `file_offset` is where the header
// will sit in the file, since the non-resident name table is found from the start
// of the file rather than from the header.
std::string ne_header(std::uint8_t target_os, std::size_t file_offset);
// A whole NE image: MS-DOS stub, then the NE header.
std::string ne(std::uint8_t target_os = ne_os_windows);

// A name table of NE and LE/LX: counted strings, each followed by its ordinal, ended
// by a zero length. The first entry names the module (resident table) or gives its
// title (non-resident table), with ordinal 0.
std::string name_table(std::string_view first_entry);

// ---- LE / LX (32-bit linear) ------------------------------------------------------

inline constexpr std::size_t linear_header_size = 0xAC;

// The headers and their (empty) tables; `file_offset` as for ne_header, since the
// data pages are found from the start of the file.
// LE as Windows 386 enhanced mode has it for virtual devices (VxD).
std::string le_header(std::size_t file_offset);
std::string le();
// LX as OS/2 2.x has it for programs.
std::string lx_header(std::size_t file_offset);
std::string lx();

// ---- PE (32-bit and 64-bit Windows) -----------------------------------------------

inline constexpr std::uint16_t machine_i386 = 0x014C;
inline constexpr std::uint16_t machine_amd64 = 0x8664;

inline constexpr std::uint16_t optional_magic_pe32 = 0x010B;
inline constexpr std::uint16_t optional_magic_pe32_plus = 0x020B;
inline constexpr std::uint16_t optional_magic_rom = 0x0107;

inline constexpr std::uint16_t subsystem_native = 1;
inline constexpr std::uint16_t subsystem_windows_gui = 2;
inline constexpr std::uint16_t subsystem_windows_cui = 3;
inline constexpr std::uint16_t subsystem_os2_cui = 5;
inline constexpr std::uint16_t subsystem_posix_cui = 7;

// COFF file header characteristics.
inline constexpr std::uint16_t file_relocs_stripped = 0x0001;
inline constexpr std::uint16_t file_executable_image = 0x0002;
inline constexpr std::uint16_t file_large_address_aware = 0x0020;
inline constexpr std::uint16_t file_32bit_machine = 0x0100;
inline constexpr std::uint16_t file_dll = 0x2000;

inline constexpr std::uint16_t pe32_exe_characteristics = file_executable_image | file_32bit_machine;
inline constexpr std::uint16_t pe32_plus_exe_characteristics = file_executable_image | file_large_address_aware;

// Sizes and offsets, from the "PE\0\0" signature or from the optional header.
inline constexpr std::size_t pe_signature_size = 4;
inline constexpr std::size_t coff_header_size = 20;
inline constexpr std::size_t coff_size_of_optional_header_offset = 16;
inline constexpr std::size_t coff_characteristics_offset = 18;
inline constexpr std::size_t optional_header_pe32_size = 0xE0;
inline constexpr std::size_t optional_header_pe32_plus_size = 0xF0;
inline constexpr std::size_t optional_size_of_image_offset = 56;
inline constexpr std::size_t optional_size_of_headers_offset = 60;
inline constexpr std::size_t optional_subsystem_offset = 68;  // the same in PE32 and PE32+
inline constexpr std::size_t section_header_size = 40;
inline constexpr std::size_t data_directory_count = 16;

// What sets one PE image's headers apart. The defaults make a PE32 GUI program; a
// field left 0 where 0 makes no sense (image base, alignments) takes the usual value
// for the kind of image.
struct PeHeaders {
    bool plus = false;  // PE32+ (64-bit) rather than PE32
    std::uint16_t machine = 0;  // 0: i386 for PE32, AMD64 for PE32+
    std::uint16_t characteristics = pe32_exe_characteristics;
    std::uint16_t subsystem = subsystem_windows_gui;
    std::uint16_t dll_characteristics = 0;
    std::uint64_t image_base = 0;  // 0: the linker's default for an EXE or a DLL
    std::uint32_t section_alignment = 0x1000;
    std::uint32_t file_alignment = 0x200;
    // 0.0: the usual version for the kind of image (4.0 for PE32, 5.2 for PE32+).
    std::uint16_t major_subsystem_version = 0;
    std::uint16_t minor_subsystem_version = 0;
    std::uint32_t time_date_stamp = 0x377B3C80;  // fixed, so that images repeat byte for byte
};

// Where the parts of a PE image built from `headers` lie in its file.
struct PeLayout {
    std::size_t nt_headers;       // the "PE\0\0" signature
    std::size_t coff_header;
    std::size_t optional_header;
    std::size_t optional_header_size;
    std::size_t section_table;    // where the first section header goes
    std::size_t size_of_headers;  // all headers, rounded up to the file alignment
};
PeLayout pe_layout(const PeHeaders& headers, std::size_t section_count = 0);

// MS-DOS stub + "PE\0\0" + COFF header + optional header with all 16 data directories
// empty, and no sections yet: SizeOfHeaders is the file's size and SizeOfImage the
// headers rounded up to the section alignment.
std::string pe(const PeHeaders& headers);
std::string pe32(std::uint16_t subsystem = subsystem_windows_gui,
                 std::uint16_t characteristics = pe32_exe_characteristics);
std::string pe32_plus(std::uint16_t subsystem = subsystem_windows_gui,
                      std::uint16_t characteristics = pe32_plus_exe_characteristics);

}  // namespace mkimage
