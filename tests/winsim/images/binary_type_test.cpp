#include <mkimage/headers.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using winsim::Machine;
using winsim::Platform;

constexpr DWORD untouched = 0xDEADBEEF;

struct Answer {
    BOOL ok;
    DWORD type;
    DWORD error;
};

Answer ask(const char* path) {
    DWORD type = untouched;
    SetLastError(untouched);
    BOOL ok = GetBinaryTypeA(path, &type);
    return {ok, type, GetLastError()};
}

// Lays `bytes` out as a file and asks what it is.
Answer ask_about(Machine& machine, std::string_view bytes, const char* path = "C:\\x\\a.exe") {
    machine.files().write_file(path, bytes);
    return ask(path);
}

testing::AssertionResult is_type(const Answer& answer, DWORD expected) {
    if (!answer.ok) return testing::AssertionFailure() << "failed with error " << answer.error;
    if (answer.type != expected) return testing::AssertionFailure() << "answered type " << answer.type;
    return testing::AssertionSuccess();
}

testing::AssertionResult fails_with(const Answer& answer, DWORD expected) {
    if (answer.ok) return testing::AssertionFailure() << "succeeded with type " << answer.type;
    if (answer.error != expected) return testing::AssertionFailure() << "failed with error " << answer.error;
    if (answer.type != untouched) return testing::AssertionFailure() << "failed but wrote type " << answer.type;
    return testing::AssertionSuccess();
}

// A PE32 image whose optional header is changed at `offset` (from its start).
std::string pe32_with_optional_field(std::size_t offset, std::uint16_t value) {
    std::string image = mkimage::pe32();
    mkimage::put16(image, mkimage::pe_layout({}).optional_header + offset, value);
    return image;
}

// ---- What each kind of image is taken for --------------------------------------------

TEST(BinaryType, EveryKindOfImageIsToldApartOnEveryNtVersion) {
    struct Case {
        const char* what;
        std::string bytes;
        DWORD type;
    } cases[] = {
        {"PE32 GUI", mkimage::pe32(mkimage::subsystem_windows_gui), SCS_32BIT_BINARY},
        {"PE32 console", mkimage::pe32(mkimage::subsystem_windows_cui), SCS_32BIT_BINARY},
        {"PE32 POSIX", mkimage::pe32(mkimage::subsystem_posix_cui), SCS_POSIX_BINARY},
        {"NE Windows", mkimage::ne(mkimage::ne_os_windows), SCS_WOW_BINARY},
        {"NE OS/2", mkimage::ne(mkimage::ne_os_os2), SCS_OS216_BINARY},
        {"NE of unknown target", mkimage::ne(mkimage::ne_os_unknown), SCS_WOW_BINARY},
        {"LE virtual device", mkimage::le(), SCS_DOS_BINARY},
        {"LX OS/2 2.x program", mkimage::lx(), SCS_DOS_BINARY},
        {"MS-DOS program", mkimage::mz_only(), SCS_DOS_BINARY},
        {"MS-DOS header alone", mkimage::mz_only(""), SCS_DOS_BINARY},
    };
    for (Platform platform : {Platform::nt351, Platform::nt4, Platform::win2000, Platform::winxp, Platform::win7}) {
        auto machine = Machine::create(platform);
        for (const Case& c : cases)
            EXPECT_TRUE(is_type(ask_about(*machine, c.bytes), c.type)) << c.what << " on " << machine->platform_info().name;
    }
}

TEST(BinaryType, DllsAreNoApplications) {
    const std::uint16_t dll32 = mkimage::pe32_exe_characteristics | mkimage::file_dll;
    const std::uint16_t dll64 = mkimage::pe32_plus_exe_characteristics | mkimage::file_dll;
    auto machine = Machine::create(Platform::winxp, {.arch = winsim::Arch::x64});
    EXPECT_TRUE(fails_with(ask_about(*machine, mkimage::pe32(mkimage::subsystem_windows_gui, dll32)), ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(fails_with(ask_about(*machine, mkimage::pe32(mkimage::subsystem_posix_cui, dll32)), ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(fails_with(ask_about(*machine, mkimage::pe32_plus(mkimage::subsystem_windows_gui, dll64)), ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(is_type(ask_about(*machine, mkimage::pe32_plus()), SCS_64BIT_BINARY));
}

TEST(BinaryType, SixtyFourBitImagesAreKnownFromXpOn) {
    const std::uint16_t dll64 = mkimage::pe32_plus_exe_characteristics | mkimage::file_dll;
    auto xp = Machine::create(Platform::winxp);
    EXPECT_TRUE(is_type(ask_about(*xp, mkimage::pe32_plus()), SCS_64BIT_BINARY));
    EXPECT_TRUE(is_type(ask_about(*xp, mkimage::pe32_plus(mkimage::subsystem_posix_cui)), SCS_64BIT_BINARY));
    // A 32-bit kernel refuses the image for its bitness before it sees it is a DLL.
    EXPECT_TRUE(is_type(ask_about(*xp, mkimage::pe32_plus(mkimage::subsystem_windows_gui, dll64)), SCS_64BIT_BINARY));

    auto win7 = Machine::create(Platform::win7, {.arch = winsim::Arch::x64});
    EXPECT_TRUE(is_type(ask_about(*win7, mkimage::pe32_plus(mkimage::subsystem_windows_cui)), SCS_64BIT_BINARY));

    for (Platform platform : {Platform::nt4, Platform::win2000}) {
        auto older = Machine::create(platform);
        EXPECT_TRUE(fails_with(ask_about(*older, mkimage::pe32_plus()), ERROR_BAD_EXE_FORMAT))
            << older->platform_info().name;
    }
}

// ---- Names decide only for files without an MS-DOS header ----------------------------

TEST(BinaryType, PifAndComFilesAreKnownByTheirNames) {
    auto machine = Machine::create(Platform::nt4);
    const std::string pif_contents(545, '\x01');  // a PIF has no signature of its own
    const std::string com_contents("\xB4\x4C\xCD\x21", 4);
    EXPECT_TRUE(is_type(ask_about(*machine, pif_contents, "C:\\x\\EDIT.PIF"), SCS_PIF_BINARY));
    EXPECT_TRUE(is_type(ask_about(*machine, pif_contents, "C:\\x\\edit.pif"), SCS_PIF_BINARY));
    EXPECT_TRUE(is_type(ask_about(*machine, com_contents, "C:\\x\\MORE.COM"), SCS_DOS_BINARY));
    EXPECT_TRUE(is_type(ask_about(*machine, com_contents, "C:\\x\\more.Com"), SCS_DOS_BINARY));
    EXPECT_TRUE(is_type(ask_about(*machine, "", "C:\\x\\empty.com"), SCS_DOS_BINARY));
    // The name of the file counts, not what the caller typed after it.
    EXPECT_TRUE(is_type(ask_about(*machine, com_contents, "C:\\x\\dots.com.."), SCS_DOS_BINARY));

    EXPECT_TRUE(fails_with(ask_about(*machine, com_contents, "C:\\x\\run.bat"), ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(fails_with(ask_about(*machine, com_contents, "C:\\x\\notcom"), ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(fails_with(ask_about(*machine, com_contents, "C:\\x\\com.pif\\inside.txt"), ERROR_BAD_EXE_FORMAT))
        << "only the file's own extension counts";
}

TEST(BinaryType, AnImageIsKnownByItsHeadersWhateverItsName) {
    auto machine = Machine::create(Platform::nt4);
    EXPECT_TRUE(is_type(ask_about(*machine, mkimage::pe32(), "C:\\x\\program.com"), SCS_32BIT_BINARY));
    EXPECT_TRUE(is_type(ask_about(*machine, mkimage::ne(mkimage::ne_os_windows), "C:\\x\\old.pif"), SCS_WOW_BINARY));
    EXPECT_TRUE(is_type(ask_about(*machine, mkimage::pe32(mkimage::subsystem_windows_cui), "C:\\x\\tool.txt"),
                        SCS_32BIT_BINARY));
}

// ---- Files that are no images, and headers that lead astray --------------------------

TEST(BinaryType, FilesWithoutACompleteMsDosHeaderAreNoExecutables) {
    auto machine = Machine::create(Platform::win2000);
    const std::string header = mkimage::dos_header(0);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"one byte", "M"},
        {"only the signature", "MZ"},
        {"a header one byte short", header.substr(0, mkimage::dos_header_size - 1)},
        {"a header cut before e_lfanew", header.substr(0, mkimage::dos_lfanew_offset)},
        {"text that has MZ in it", "This text has MZ in it, but not at its start.\r\n"},
        {"the signature the other way round", "ZM" + header.substr(2)},
        {"a PE without its MS-DOS header", mkimage::pe32().substr(mkimage::new_header_offset())},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(fails_with(ask_about(*machine, c.bytes), ERROR_BAD_EXE_FORMAT)) << c.what;
}

TEST(BinaryType, ANewHeaderOffsetThatLeadsNowhereLeavesAnMsDosProgram) {
    auto machine = Machine::create(Platform::nt4);
    const std::size_t size = 0x100;
    struct Case {
        const char* what;
        std::uint32_t lfanew;
        std::string_view signature;  // put at lfanew when it fits
    } cases[] = {
        {"past the end", 0x1000, ""},
        {"just at the end", size, ""},
        {"as far as the field reaches", 0xFFFFFFFF, ""},
        {"at the last two bytes, half a PE signature", size - 2, "PE"},
        {"at the last three bytes, three quarters of a PE signature", size - 3, std::string_view("PE\0", 3)},
        {"at a PE signature without its zero bytes", 0x80, "PEPE"},
        {"at zeros", 0x80, ""},
        {"at the MS-DOS header itself", 0, ""},
    };
    for (const Case& c : cases) {
        std::string image = mkimage::mz_pointing_at(c.lfanew, size);
        if (!c.signature.empty()) mkimage::put_bytes(image, c.lfanew, c.signature);
        ASSERT_EQ(image.size(), size) << c.what;
        EXPECT_TRUE(is_type(ask_about(*machine, image), SCS_DOS_BINARY)) << c.what;
    }
}

TEST(BinaryType, ARecognisedNewHeaderThatIsCutShortIsABadImage) {
    auto machine = Machine::create(Platform::winxp);
    const std::size_t size = 0x100;
    auto signature_at_end = [&](std::string_view signature) {
        std::string image = mkimage::mz_pointing_at(static_cast<std::uint32_t>(size - signature.size()), size);
        mkimage::put_bytes(image, size - signature.size(), signature);
        return image;
    };
    EXPECT_TRUE(fails_with(ask_about(*machine, signature_at_end("NE")), ERROR_BAD_EXE_FORMAT)) << "NE in the last 2 bytes";
    EXPECT_TRUE(fails_with(ask_about(*machine, signature_at_end(std::string_view("PE\0\0", 4))), ERROR_BAD_EXE_FORMAT))
        << "a PE signature in the last 4 bytes";

    const std::string ne = mkimage::ne(mkimage::ne_os_os2);
    const std::size_t ne_at = mkimage::new_header_offset();
    EXPECT_TRUE(fails_with(ask_about(*machine, ne.substr(0, ne_at + mkimage::ne_target_os_offset)), ERROR_BAD_EXE_FORMAT))
        << "an NE header ending before its target OS";
    EXPECT_TRUE(is_type(ask_about(*machine, ne.substr(0, ne_at + mkimage::ne_header_size)), SCS_OS216_BINARY))
        << "an NE header without the tables behind it";

    const std::string pe = mkimage::pe32();
    const mkimage::PeLayout layout = mkimage::pe_layout({});
    EXPECT_TRUE(fails_with(ask_about(*machine, pe.substr(0, layout.optional_header - 1)), ERROR_BAD_EXE_FORMAT))
        << "a COFF header cut short";
    EXPECT_TRUE(fails_with(ask_about(*machine, pe.substr(0, layout.optional_header + 2)), ERROR_BAD_EXE_FORMAT))
        << "an optional header of only its magic";
    EXPECT_TRUE(fails_with(ask_about(*machine, pe.substr(0, layout.section_table - 1)), ERROR_BAD_EXE_FORMAT))
        << "an optional header one byte shorter than it says";
    EXPECT_TRUE(is_type(ask_about(*machine, pe.substr(0, layout.section_table)), SCS_32BIT_BINARY))
        << "the headers and nothing behind them";
}

TEST(BinaryType, APeHeaderThatContradictsItselfIsABadImage) {
    auto machine = Machine::create(Platform::winxp);
    const mkimage::PeLayout layout = mkimage::pe_layout({});
    const std::size_t optional_size_field = layout.coff_header + mkimage::coff_size_of_optional_header_offset;

    std::string no_optional = mkimage::pe32();
    mkimage::put16(no_optional, optional_size_field, 0);
    EXPECT_TRUE(fails_with(ask_about(*machine, no_optional), ERROR_BAD_EXE_FORMAT)) << "no optional header";

    std::string before_subsystem = mkimage::pe32();
    mkimage::put16(before_subsystem, optional_size_field, mkimage::optional_subsystem_offset + 1);
    EXPECT_TRUE(fails_with(ask_about(*machine, before_subsystem), ERROR_BAD_EXE_FORMAT))
        << "an optional header that ends inside the subsystem field";

    std::string short_but_enough = mkimage::pe32(mkimage::subsystem_posix_cui);
    mkimage::put16(short_but_enough, optional_size_field, mkimage::optional_subsystem_offset + 2);
    EXPECT_TRUE(is_type(ask_about(*machine, short_but_enough), SCS_POSIX_BINARY)) << "an optional header up to its subsystem";

    std::string beyond_file = mkimage::pe32();
    mkimage::put16(beyond_file, optional_size_field, 0xFFFF);
    EXPECT_TRUE(fails_with(ask_about(*machine, beyond_file), ERROR_BAD_EXE_FORMAT)) << "an optional header past the end";

    EXPECT_TRUE(fails_with(ask_about(*machine, pe32_with_optional_field(0, mkimage::optional_magic_rom)), ERROR_BAD_EXE_FORMAT))
        << "a ROM image";
    EXPECT_TRUE(fails_with(ask_about(*machine, pe32_with_optional_field(0, 0)), ERROR_BAD_EXE_FORMAT)) << "no magic";
}

// ---- Files that are not there, and systems without the call --------------------------

TEST(BinaryType, MissingFilesAndDirectoriesAnswerTheirCodes) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\x\\here.exe", mkimage::pe32());
    EXPECT_TRUE(fails_with(ask("C:\\x\\missing.exe"), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(fails_with(ask("C:\\missing\\a.exe"), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(fails_with(ask("C:\\x\\here.exe\\below.exe"), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(fails_with(ask("C:\\x"), ERROR_ACCESS_DENIED)) << "a directory";
    EXPECT_TRUE(fails_with(ask("C:\\x\\bad|name.exe"), ERROR_INVALID_NAME));
    EXPECT_TRUE(is_type(ask("c:/X/HERE.EXE"), SCS_32BIT_BINARY));
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST(BinaryType, NullArgumentsAreRefused) {
    auto machine = Machine::create(Platform::win2000);
    machine->files().write_file("C:\\a.exe", mkimage::pe32());
    SetLastError(0);
    EXPECT_FALSE(GetBinaryTypeA(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(GetBinaryTypeA("C:\\a.exe", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(BinaryType, SystemsOutsideNtHaveOnlyAStub) {
    for (Platform platform : {Platform::win95, Platform::win98, Platform::win98se, Platform::winme, Platform::win32s}) {
        auto machine = Machine::create(platform);
        EXPECT_TRUE(fails_with(ask_about(*machine, mkimage::pe32()), ERROR_CALL_NOT_IMPLEMENTED))
            << machine->platform_info().name;
        EXPECT_TRUE(fails_with(ask("C:\\missing.exe"), ERROR_CALL_NOT_IMPLEMENTED)) << machine->platform_info().name;
    }
}

TEST(BinaryType, AnInjectedFaultFailsTheCall) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\a.exe", mkimage::pe32());
    machine->faults().fail("GetBinaryTypeA", ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(fails_with(ask("C:\\a.exe"), ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(is_type(ask("C:\\a.exe"), SCS_32BIT_BINARY));
}

// ---- The images themselves: later images grow from these headers ---------------------

TEST(BinaryImageHeaders, PeHeadersAgreeWithEachOther) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        mkimage::PeHeaders headers;
        headers.plus = plus;
        headers.characteristics = plus ? mkimage::pe32_plus_exe_characteristics : mkimage::pe32_exe_characteristics;
        const std::string image = mkimage::pe(headers);
        const mkimage::PeLayout layout = mkimage::pe_layout(headers);

        ASSERT_EQ(image.size(), layout.size_of_headers);
        EXPECT_EQ(layout.size_of_headers % headers.file_alignment, 0u);
        EXPECT_EQ(mkimage::get32(image, mkimage::dos_lfanew_offset), layout.nt_headers);
        EXPECT_EQ(layout.nt_headers % 8, 0u) << "NT headers are aligned";
        EXPECT_EQ(image.substr(layout.nt_headers, 4), std::string("PE\0\0", 4));
        EXPECT_EQ(mkimage::get16(image, layout.coff_header), plus ? mkimage::machine_amd64 : mkimage::machine_i386);
        EXPECT_EQ(mkimage::get16(image, layout.coff_header + 2), 0u) << "no sections yet";
        EXPECT_EQ(mkimage::get16(image, layout.coff_header + mkimage::coff_size_of_optional_header_offset),
                  layout.section_table - layout.optional_header);
        EXPECT_EQ(layout.optional_header_size, plus ? 0xF0u : 0xE0u);

        const std::size_t opt = layout.optional_header;
        EXPECT_EQ(mkimage::get16(image, opt), plus ? mkimage::optional_magic_pe32_plus : mkimage::optional_magic_pe32);
        EXPECT_EQ(mkimage::get32(image, opt + mkimage::optional_size_of_headers_offset), layout.size_of_headers);
        EXPECT_EQ(mkimage::get32(image, opt + mkimage::optional_size_of_image_offset), headers.section_alignment);
        EXPECT_EQ(mkimage::get16(image, opt + mkimage::optional_subsystem_offset), mkimage::subsystem_windows_gui);
        const std::size_t rva_count = opt + (plus ? 108 : 92);
        EXPECT_EQ(mkimage::get32(image, rva_count), mkimage::data_directory_count);
        EXPECT_EQ(rva_count + 4 + mkimage::data_directory_count * 8, layout.section_table);
        const std::uint64_t image_base = plus ? mkimage::get64(image, opt + 24) : mkimage::get32(image, opt + 28);
        EXPECT_EQ(image_base, plus ? 0x140000000u : 0x400000u);
        EXPECT_EQ(image_base % 0x10000, 0u);
    }
}

TEST(BinaryImageHeaders, TheSectionTableHasRoomOnceSectionsAreCounted) {
    mkimage::PeHeaders headers;
    EXPECT_EQ(mkimage::pe_layout(headers, 0).size_of_headers, 0x200u);
    // Sections grow the headers past one file alignment only when they need it.
    const std::size_t fits = (0x200 - mkimage::pe_layout(headers).section_table) / mkimage::section_header_size;
    EXPECT_EQ(mkimage::pe_layout(headers, fits).size_of_headers, 0x200u);
    EXPECT_EQ(mkimage::pe_layout(headers, fits + 1).size_of_headers, 0x400u);
}

TEST(BinaryImageHeaders, MsDosHeaderCountsTheMsDosImage) {
    const std::string program(700, '\x90');
    const std::string image = mkimage::mz_only(program);
    ASSERT_EQ(image.size(), mkimage::dos_header_size + program.size());
    EXPECT_EQ(image.substr(0, 2), "MZ");
    EXPECT_EQ(mkimage::get16(image, 0x02), (mkimage::dos_header_size + program.size()) % 512) << "bytes on last page";
    EXPECT_EQ(mkimage::get16(image, 0x04), 2u) << "pages";
    EXPECT_EQ(mkimage::get16(image, 0x08) * 16u, mkimage::dos_header_size) << "header paragraphs";
    EXPECT_EQ(mkimage::get32(image, mkimage::dos_lfanew_offset), 0u);
    EXPECT_EQ(mkimage::get16(mkimage::mz_only(std::string(512 - mkimage::dos_header_size, '\x90')), 0x02), 0u)
        << "a full last page counts as 0";

    // The stub's message is where its code says, and ends as MS-DOS wants it to.
    const std::string stub = mkimage::dos_stub();
    const std::size_t message = mkimage::get16(stub, 5);
    ASSERT_LT(message, stub.size());
    EXPECT_EQ(stub.back(), '$');
    EXPECT_EQ(stub.substr(message, 4), "This");
}

TEST(BinaryImageHeaders, NeAndLinearHeadersPointAtTablesInsideTheFile) {
    for (std::uint8_t os : {mkimage::ne_os_windows, mkimage::ne_os_os2}) {
        const std::string image = mkimage::ne(os);
        const std::size_t ne = mkimage::get32(image, mkimage::dos_lfanew_offset);
        ASSERT_EQ(image.substr(ne, 2), "NE");
        EXPECT_EQ(static_cast<std::uint8_t>(image[ne + mkimage::ne_target_os_offset]), os);
        for (std::size_t table : {0x04, 0x22, 0x24, 0x26, 0x28, 0x2A})
            EXPECT_LT(ne + mkimage::get16(image, ne + table), image.size()) << "table at " << table;
        const std::size_t non_resident = mkimage::get32(image, ne + 0x2C);
        ASSERT_EQ(non_resident + mkimage::get16(image, ne + 0x20), image.size());
        EXPECT_EQ(static_cast<std::size_t>(image[non_resident]) + 4, mkimage::get16(image, ne + 0x20))
            << "the title's length, its ordinal and the table's end";
        const std::size_t resident = ne + mkimage::get16(image, ne + 0x26);
        EXPECT_EQ(image.substr(resident + 1, static_cast<std::size_t>(image[resident])), "IMAGE");
    }
    for (const std::string& image : {mkimage::le(), mkimage::lx()}) {
        const std::size_t header = mkimage::get32(image, mkimage::dos_lfanew_offset);
        EXPECT_EQ(image[header], 'L');
        EXPECT_EQ(mkimage::get32(image, header + 0x80), image.size()) << "data pages start at the end: there are none";
        const std::size_t resident = header + mkimage::get32(image, header + 0x58);
        EXPECT_EQ(image.substr(resident + 1, static_cast<std::size_t>(image[resident])), "IMAGE");
    }
    EXPECT_EQ(mkimage::get16(mkimage::le(), mkimage::new_header_offset() + 0x0A), 4u) << "LE for Windows 386";
    EXPECT_EQ(mkimage::get16(mkimage::lx(), mkimage::new_header_offset() + 0x0A), 1u) << "LX for OS/2";
}

}  // namespace
