#include <mkimage/headers.h>

#include <cassert>

namespace mkimage {

namespace {

void grow_to(std::string& image, std::size_t size) {
    if (image.size() < size) image.resize(size, '\0');
}

template <typename T>
void put_le(std::string& image, std::size_t offset, T value) {
    grow_to(image, offset + sizeof(T));
    for (std::size_t i = 0; i < sizeof(T); ++i)
        image[offset + i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}

template <typename T>
T get_le(std::string_view image, std::size_t offset) {
    assert(offset <= image.size() && sizeof(T) <= image.size() - offset);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(image[offset + i])) << (8 * i);
    return static_cast<T>(value);
}

constexpr std::string_view module_name = "IMAGE";
constexpr std::string_view module_title = "Image made for tests";

std::string linear_header(std::string_view signature, std::uint16_t target_os, std::uint32_t module_flags,
                          std::size_t file_offset) {
    std::string header;
    put_bytes(header, 0x00, signature);
    put8(header, 0x02, 0);  // byte order: little-endian
    put8(header, 0x03, 0);  // word order: little-endian
    put32(header, 0x04, 0);  // format level
    put16(header, 0x08, 2);  // 80386
    put16(header, 0x0A, target_os);
    put32(header, 0x10, module_flags);
    put32(header, 0x28, 0x1000);  // page size
    grow_to(header, linear_header_size);

    // The loader section: object table, object page map and resource table are all
    // empty, so they share the offset of the resident name table that follows them.
    std::size_t tables = linear_header_size;
    std::string resident = name_table(module_name);
    std::size_t entry_table = tables + resident.size();
    std::size_t fixup_pages = entry_table + 1;  // an entry table of only its end
    put32(header, 0x40, static_cast<std::uint32_t>(tables));  // object table
    put32(header, 0x48, static_cast<std::uint32_t>(tables));  // object page map
    put32(header, 0x50, static_cast<std::uint32_t>(tables));  // resource table
    put32(header, 0x58, static_cast<std::uint32_t>(tables));  // resident names
    put32(header, 0x5C, static_cast<std::uint32_t>(entry_table));
    put32(header, 0x38, static_cast<std::uint32_t>(fixup_pages - tables));  // loader section size
    put_bytes(header, tables, resident);
    put8(header, entry_table, 0);

    // The fixup section: a page table of one offset (pages + 1 of them), no records,
    // no imported modules, and an imported procedure table of only its end.
    std::size_t fixup_records = fixup_pages + 4;
    std::size_t import_procedures = fixup_records;
    std::size_t end = import_procedures + 1;
    put32(header, 0x68, static_cast<std::uint32_t>(fixup_pages));
    put32(header, 0x6C, static_cast<std::uint32_t>(fixup_records));
    put32(header, 0x70, static_cast<std::uint32_t>(fixup_records));  // imported modules
    put32(header, 0x78, static_cast<std::uint32_t>(import_procedures));
    put32(header, 0x30, static_cast<std::uint32_t>(end - fixup_pages));  // fixup section size
    put32(header, fixup_pages, 0);
    put8(header, import_procedures, 0);

    put32(header, 0x80, static_cast<std::uint32_t>(file_offset + end));  // data pages, none
    return header;
}

}  // namespace

std::string name_table(std::string_view first_entry) {
    std::string table;
    table += static_cast<char>(first_entry.size());
    table += first_entry;
    table.append(2, '\0');  // ordinal 0
    table += '\0';          // end of table
    return table;
}

void put8(std::string& image, std::size_t offset, std::uint8_t value) { put_le(image, offset, value); }
void put16(std::string& image, std::size_t offset, std::uint16_t value) { put_le(image, offset, value); }
void put32(std::string& image, std::size_t offset, std::uint32_t value) { put_le(image, offset, value); }
void put64(std::string& image, std::size_t offset, std::uint64_t value) { put_le(image, offset, value); }

void put_bytes(std::string& image, std::size_t offset, std::string_view bytes) {
    grow_to(image, offset + bytes.size());
    image.replace(offset, bytes.size(), bytes);
}

std::uint16_t get16(std::string_view image, std::size_t offset) { return get_le<std::uint16_t>(image, offset); }
std::uint32_t get32(std::string_view image, std::size_t offset) { return get_le<std::uint32_t>(image, offset); }
std::uint64_t get64(std::string_view image, std::size_t offset) { return get_le<std::uint64_t>(image, offset); }

std::size_t align_up(std::size_t value, std::size_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

// ---- MS-DOS -----------------------------------------------------------------------

std::string dos_exit_program() {
    return std::string("\xB8\x00\x4C"  // mov ax, 4C00h
                       "\xCD\x21",     // int 21h
                       5);
}

std::string dos_stub() {
    // The load module starts at CS:0, so the message is found from CS.
    std::string stub("\x8C\xC8"      // mov ax, cs
                     "\x8E\xD8"      // mov ds, ax
                     "\xBA\x10\x00"  // mov dx, message
                     "\xB4\x09"      // mov ah, 9 (print up to '$')
                     "\xCD\x21"      // int 21h
                     "\xB8\x01\x4C"  // mov ax, 4C01h
                     "\xCD\x21",     // int 21h
                     16);
    stub += "This program needs Windows.\r\n$";
    return stub;
}

std::string dos_header(std::uint32_t lfanew, std::size_t dos_image_size) {
    std::string header;
    put_bytes(header, 0x00, "MZ");
    put16(header, 0x02, static_cast<std::uint16_t>(dos_image_size % 512));        // bytes on the last page
    put16(header, 0x04, static_cast<std::uint16_t>((dos_image_size + 511) / 512));  // pages
    put16(header, 0x06, 0);                                                          // relocations
    put16(header, 0x08, static_cast<std::uint16_t>(dos_header_size / 16));  // header paragraphs
    // The stack sits in 256 bytes of extra memory behind the load module.
    std::size_t load_size = dos_image_size > dos_header_size ? dos_image_size - dos_header_size : 0;
    put16(header, 0x0A, 0x10);    // minimum extra paragraphs
    put16(header, 0x0C, 0xFFFF);  // maximum extra paragraphs
    put16(header, 0x0E, 0);       // SS, relative to the load module
    put16(header, 0x10, static_cast<std::uint16_t>(align_up(load_size, 16) + 0x100));  // SP
    put16(header, 0x14, 0);  // IP
    put16(header, 0x16, 0);  // CS, relative to the load module
    put16(header, 0x18, static_cast<std::uint16_t>(dos_header_size));  // relocation table: right behind the header, as new formats have it
    put32(header, dos_lfanew_offset, lfanew);
    return header;
}

std::string mz_only(std::string_view program) {
    std::string image = dos_header(0, dos_header_size + program.size());
    image += program;
    return image;
}

std::string mz_pointing_at(std::uint32_t lfanew, std::size_t file_size) {
    std::string image = dos_header(lfanew, file_size < dos_header_size ? dos_header_size : file_size);
    grow_to(image, file_size);
    return image;
}

std::size_t new_header_offset() { return align_up(dos_header_size + dos_stub().size(), 16); }

std::string with_new_header(std::string_view new_header) {
    std::string stub = dos_stub();
    std::string image = dos_header(static_cast<std::uint32_t>(new_header_offset()), dos_header_size + stub.size());
    image += stub;
    grow_to(image, new_header_offset());
    image += new_header;
    return image;
}

// ---- NE ---------------------------------------------------------------------------

std::string ne_header(std::uint8_t target_os, std::size_t file_offset) {
    // Tables follow the header in the order a linker writes them; the segment and
    // resource tables are empty, so they start where the resident names do.
    std::size_t segment_table = ne_header_size;
    std::string resident = name_table(module_name);
    std::size_t module_references = segment_table + resident.size();
    std::size_t imported_names = module_references;  // no module references
    std::size_t entry_table = imported_names + 1;    // imported names: only the empty first string
    std::size_t entry_table_size = 1;                // only its end
    std::size_t non_resident = entry_table + entry_table_size;
    std::string title = name_table(module_title);

    std::string header;
    put_bytes(header, 0x00, "NE");
    put8(header, 0x02, 5);  // linker version 5.10
    put8(header, 0x03, 10);
    put16(header, 0x04, static_cast<std::uint16_t>(entry_table));
    put16(header, 0x06, static_cast<std::uint16_t>(entry_table_size));
    put32(header, 0x08, 0);  // CRC
    put8(header, 0x0C, 0);   // program flags: no automatic data segment
    put8(header, 0x0D, target_os == ne_os_windows ? 0x03 : 0x00);  // application flags: uses the windowing API
    put16(header, 0x0E, 0);  // automatic data segment: none
    put16(header, 0x10, 0x400);   // local heap
    put16(header, 0x12, 0x2000);  // stack
    put32(header, 0x14, 0);       // CS:IP
    put32(header, 0x18, 0);       // SS:SP
    put16(header, 0x1C, 0);       // segments
    put16(header, 0x1E, 0);       // module references
    put16(header, 0x20, static_cast<std::uint16_t>(title.size()));
    put16(header, 0x22, static_cast<std::uint16_t>(segment_table));
    put16(header, 0x24, static_cast<std::uint16_t>(segment_table));  // resource table, empty
    put16(header, 0x26, static_cast<std::uint16_t>(segment_table));  // resident names
    put16(header, 0x28, static_cast<std::uint16_t>(module_references));
    put16(header, 0x2A, static_cast<std::uint16_t>(imported_names));
    put32(header, 0x2C, static_cast<std::uint32_t>(file_offset + non_resident));
    put16(header, 0x30, 0);  // movable entries
    put16(header, 0x32, 9);  // segments aligned to 512 bytes
    put16(header, 0x34, 0);  // resource segments
    put8(header, ne_target_os_offset, target_os);
    put8(header, 0x37, 0);
    put16(header, 0x3E, target_os == ne_os_windows ? 0x030A : 0);  // expects Windows 3.10
    grow_to(header, ne_header_size);

    put_bytes(header, segment_table, resident);
    put8(header, imported_names, 0);
    put8(header, entry_table, 0);
    put_bytes(header, non_resident, title);
    return header;
}

std::string ne(std::uint8_t target_os) { return with_new_header(ne_header(target_os, new_header_offset())); }

// ---- LE / LX ----------------------------------------------------------------------

std::string le_header(std::size_t file_offset) {
    return linear_header("LE", 4 /* Windows 386 */, 0x00038000 /* virtual device */, file_offset);
}

std::string le() { return with_new_header(le_header(new_header_offset())); }

std::string lx_header(std::size_t file_offset) {
    return linear_header("LX", 1 /* OS/2 */, 0x00000200 /* program, compatible with PM windowing */, file_offset);
}

std::string lx() { return with_new_header(lx_header(new_header_offset())); }

// ---- PE ---------------------------------------------------------------------------

PeLayout pe_layout(const PeHeaders& headers, std::size_t section_count) {
    PeLayout layout{};
    layout.nt_headers = new_header_offset();
    layout.coff_header = layout.nt_headers + pe_signature_size;
    layout.optional_header = layout.coff_header + coff_header_size;
    layout.optional_header_size = headers.plus ? optional_header_pe32_plus_size : optional_header_pe32_size;
    layout.section_table = layout.optional_header + layout.optional_header_size;
    layout.size_of_headers = align_up(layout.section_table + section_count * section_header_size, headers.file_alignment);
    return layout;
}

std::string pe(const PeHeaders& headers) {
    const PeLayout layout = pe_layout(headers);
    const bool dll = headers.characteristics & file_dll;
    std::string image = with_new_header("PE");
    put16(image, layout.nt_headers + 2, 0);  // "PE\0\0"

    const std::size_t coff = layout.coff_header;
    put16(image, coff + 0, headers.machine ? headers.machine : headers.plus ? machine_amd64 : machine_i386);
    put16(image, coff + 2, 0);  // sections
    put32(image, coff + 4, headers.time_date_stamp);
    put32(image, coff + 8, 0);   // symbol table
    put32(image, coff + 12, 0);  // symbols
    put16(image, coff + coff_size_of_optional_header_offset, static_cast<std::uint16_t>(layout.optional_header_size));
    put16(image, coff + coff_characteristics_offset, headers.characteristics);

    const std::size_t opt = layout.optional_header;
    std::uint64_t image_base = headers.image_base;
    if (!image_base) {
        if (headers.plus)
            image_base = dll ? 0x180000000ULL : 0x140000000ULL;
        else
            image_base = dll ? 0x10000000ULL : 0x00400000ULL;
    }
    std::uint16_t subsystem_major = headers.major_subsystem_version;
    std::uint16_t subsystem_minor = headers.minor_subsystem_version;
    if (!subsystem_major && !subsystem_minor) {
        subsystem_major = headers.plus ? 5 : 4;
        subsystem_minor = headers.plus ? 2 : 0;
    }
    // Code and data would start at the first section, one alignment into the image.
    const std::uint32_t first_section = headers.section_alignment;

    put16(image, opt + 0, headers.plus ? optional_magic_pe32_plus : optional_magic_pe32);
    put8(image, opt + 2, 6);  // linker version 6.0
    put8(image, opt + 3, 0);
    put32(image, opt + 4, 0);   // size of code
    put32(image, opt + 8, 0);   // size of initialized data
    put32(image, opt + 12, 0);  // size of uninitialized data
    put32(image, opt + 16, 0);  // entry point: none yet
    put32(image, opt + 20, first_section);  // base of code
    if (headers.plus) {
        put64(image, opt + 24, image_base);
    } else {
        put32(image, opt + 24, first_section);  // base of data
        put32(image, opt + 28, static_cast<std::uint32_t>(image_base));
    }
    put32(image, opt + 32, headers.section_alignment);
    put32(image, opt + 36, headers.file_alignment);
    put16(image, opt + 40, subsystem_major);  // operating system version: the same as the subsystem's
    put16(image, opt + 42, subsystem_minor);
    put16(image, opt + 44, 0);  // image version
    put16(image, opt + 46, 0);
    put16(image, opt + 48, subsystem_major);
    put16(image, opt + 50, subsystem_minor);
    put32(image, opt + 52, 0);  // Win32 version value, reserved
    put32(image, opt + optional_size_of_image_offset,
          static_cast<std::uint32_t>(align_up(layout.size_of_headers, headers.section_alignment)));
    put32(image, opt + optional_size_of_headers_offset, static_cast<std::uint32_t>(layout.size_of_headers));
    put32(image, opt + 64, 0);  // checksum
    put16(image, opt + optional_subsystem_offset, headers.subsystem);
    put16(image, opt + 70, headers.dll_characteristics);

    const std::uint64_t stack_reserve = 0x100000, stack_commit = 0x1000, heap_reserve = 0x100000, heap_commit = 0x1000;
    std::size_t rest;
    if (headers.plus) {
        put64(image, opt + 72, stack_reserve);
        put64(image, opt + 80, stack_commit);
        put64(image, opt + 88, heap_reserve);
        put64(image, opt + 96, heap_commit);
        rest = opt + 104;
    } else {
        put32(image, opt + 72, static_cast<std::uint32_t>(stack_reserve));
        put32(image, opt + 76, static_cast<std::uint32_t>(stack_commit));
        put32(image, opt + 80, static_cast<std::uint32_t>(heap_reserve));
        put32(image, opt + 84, static_cast<std::uint32_t>(heap_commit));
        rest = opt + 88;
    }
    put32(image, rest, 0);  // loader flags
    put32(image, rest + 4, static_cast<std::uint32_t>(data_directory_count));
    // The data directories stay zero: no exports, imports or resources yet.
    assert(rest + 8 + data_directory_count * 8 == layout.section_table);

    grow_to(image, layout.size_of_headers);
    return image;
}

std::string pe32(std::uint16_t subsystem, std::uint16_t characteristics) {
    PeHeaders headers;
    headers.subsystem = subsystem;
    headers.characteristics = characteristics;
    return pe(headers);
}

std::string pe32_plus(std::uint16_t subsystem, std::uint16_t characteristics) {
    PeHeaders headers;
    headers.plus = true;
    headers.subsystem = subsystem;
    headers.characteristics = characteristics;
    return pe(headers);
}

}  // namespace mkimage
