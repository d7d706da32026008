#include "support/library.h"

#include <mkimage/headers.h>

namespace {

using testing_support::LibraryTest;
using winsim::Platform;

struct Image {
    const char* name;
    std::string bytes;
    LONG on_9x;  // read from the headers
    LONG on_nt;  // asked of the system
};

std::vector<Image> images() {
    std::string pe_after_offset = mkimage::mz_pointing_at(0x40, 0x40);
    mkimage::put_bytes(pe_after_offset, 0x40, std::string("PE\0\0", 4));
    std::string ne_signature_last = mkimage::mz_pointing_at(0x7E, 0x80);
    mkimage::put_bytes(ne_signature_last, 0x7E, "NE");
    std::string offset_near_end = mkimage::mz_pointing_at(0x7D, 0x80);
    mkimage::put_bytes(offset_near_end, 0x7D, "PE\0");
    std::string other_signature = mkimage::mz_pointing_at(0x40, 0x80);
    mkimage::put_bytes(other_signature, 0x40, "ZZ");
    return {
        {"pe32.exe", mkimage::pe32(), 32, 32},
        {"console.exe", mkimage::pe32(mkimage::subsystem_windows_cui), 32, 32},
        {"pe32plus.dll", mkimage::pe32_plus(), 32, 0},
        {"win16.drv", mkimage::ne(mkimage::ne_os_windows), 16, 16},
        {"os2.exe", mkimage::ne(mkimage::ne_os_os2), 16, 0},
        // NT types a virtual device as an MS-DOS image.
        {"vxd.386", mkimage::le(), 0, -16},
        {"dos.exe", mkimage::mz_only(), -16, -16},
        // The headers alone decide on 95/98; NT's loader refuses an image it cannot map.
        {"pe_signature_only.exe", pe_after_offset, 32, 0},
        {"ne_in_last_bytes.exe", ne_signature_last, -16, 0},
        {"offset_near_end.exe", offset_near_end, -16, -16},
        {"other_signature.exe", other_signature, -16, -16},
        {"header_cut_short.exe", mkimage::mz_only().substr(0, 0x3E), -16, 0},
        {"mz_alone.exe", "MZ", -16, 0},
        {"one_byte.exe", "M", 0, 0},
        {"empty.exe", "", 0, 0},
        {"text.txt", "hello, world", 0, 0},
    };
}

class ExeFileBitnessTest : public LibraryTest {
protected:
    void check_every_image(Platform platform, bool nt) {
        start(platform);
        for (const Image& image : images()) {
            std::string path = std::string("C:\\images\\") + image.name;
            machine->files().write_file(path, image.bytes);
            EXPECT_EQ(ExeFileBitness(path.c_str()), nt ? image.on_nt : image.on_9x) << image.name;
        }
        EXPECT_EQ(machine->open_handles(), 0u) << "every handle is closed again";
        EXPECT_EQ(ErrorTextLen(), 0) << "nothing is recorded";
    }
};

TEST_F(ExeFileBitnessTest, NinetyFiveAndNinetyEightReadTheHeaders) { check_every_image(Platform::win98, false); }

TEST_F(ExeFileBitnessTest, NtAsksTheSystem) { check_every_image(Platform::nt4, true); }

TEST_F(ExeFileBitnessTest, APifCountsAsDosOnNtOnly) {
    start(Platform::win2000);
    machine->files().write_file("C:\\dos\\edit.pif", std::string(545, '\0'));
    EXPECT_EQ(ExeFileBitness("C:\\dos\\edit.pif"), -16);
    start(Platform::win95);
    machine->files().write_file("C:\\dos\\edit.pif", std::string(545, '\0'));
    EXPECT_EQ(ExeFileBitness("C:\\dos\\edit.pif"), 0);
}

TEST_F(ExeFileBitnessTest, MissingFilesAndNullAreZeroOnBothRoads) {
    for (Platform platform : {Platform::win95, Platform::nt351}) {
        start(platform);
        EXPECT_EQ(ExeFileBitness("C:\\nowhere\\setup.exe"), 0);
        EXPECT_EQ(ExeFileBitness(nullptr), 0);
        EXPECT_EQ(ErrorTextLen(), 0);
    }
}

TEST_F(ExeFileBitnessTest, IgnoresTheErrorFlag) {
    start(Platform::winme);
    ASSERT_EQ(InstallAllowed(), -3);
    machine->files().write_file("C:\\a.exe", mkimage::pe32());
    EXPECT_EQ(ExeFileBitness("C:\\a.exe"), 32);
}

TEST_F(ExeFileBitnessTest, AFileHeldOpenForWritingIsStillRead) {
    // The 9x road shares reading and writing, so a file some program writes can be typed.
    start(Platform::win98);
    machine->files().write_file("C:\\a.exe", mkimage::pe32());
    HANDLE held = CreateFileA("C:\\a.exe", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(ExeFileBitness("C:\\a.exe"), 32);
    CloseHandle(held);
    HANDLE exclusive = CreateFileA("C:\\a.exe", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(ExeFileBitness("C:\\a.exe"), 0) << "a file nobody may share cannot be opened";
    CloseHandle(exclusive);
}

TEST_F(ExeFileBitnessTest, FailuresOfTheFileCallsGiveZero) {
    start(Platform::win98);
    machine->files().write_file("C:\\a.exe", mkimage::pe32());
    for (const char* api : {"CreateFileA", "CreateFileMappingA", "MapViewOfFile"}) {
        machine->faults().fail(api, ERROR_ACCESS_DENIED);
        EXPECT_EQ(ExeFileBitness("C:\\a.exe"), 0) << api;
        EXPECT_EQ(machine->open_handles(), 0u) << api;
    }
    EXPECT_EQ(ExeFileBitness("C:\\a.exe"), 32);
}

}  // namespace
