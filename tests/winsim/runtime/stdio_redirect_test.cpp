// Compiled as the library is: with stdio's fopen redirected to the machine's drive.
#define WINSIM_REDIRECT_STDIO
#include <winsim/windows.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

class Stdio : public testing::Test {
protected:
    void SetUp() override { machine = Machine::create(Platform::win98); }
    std::unique_ptr<Machine> machine;
};

TEST_F(Stdio, TextFilesOfTheMachineReadLineByLine) {
    machine->files().write_file("C:\\WINDOWS\\Wininit.ini", "[rename]\r\nNUL=C:\\A.TMP\r\n");
    FILE* file = fopen("C:\\WINDOWS\\WININIT.INI", "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(machine->open_handles(), 1u) << "an open stream is a handle of the process";
    char line[64];
    ASSERT_NE(fgets(line, sizeof line, file), nullptr);
    EXPECT_STREQ(line, "[rename]\n") << "text mode reads CR LF as LF";
    ASSERT_NE(fgets(line, sizeof line, file), nullptr);
    EXPECT_STREQ(line, "NUL=C:\\A.TMP\n");
    EXPECT_EQ(fgets(line, sizeof line, file), nullptr);
    EXPECT_EQ(fclose(file), 0);
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Stdio, WritingMakesTheFileWithCrLfAndTheClocksTime) {
    Sleep(30000);
    FILE* file = fopen("C:\\WINDOWS\\WININIT.INI", "w");
    ASSERT_NE(file, nullptr);
    fputs("[rename]\n", file);
    fputs("NUL=C:\\A.TMP\n", file);
    fclose(file);
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNUL=C:\\A.TMP\r\n");
    EXPECT_FALSE(std::filesystem::exists("C:\\WINDOWS\\WININIT.INI")) << "nothing reached the host's disk";
    FILETIME now = machine->clock().now();
    FILETIME written = machine->files().node("C:\\WINDOWS\\WININIT.INI")->last_write_time;
    EXPECT_EQ(CompareFileTime(&written, &now), 0);
    file = fopen("C:\\WINDOWS\\WININIT.INI", "ab");
    fputs("C:\\B=C:\\C\n", file);
    fclose(file);
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNUL=C:\\A.TMP\r\nC:\\B=C:\\C\n")
        << "binary mode appends the bytes as they are";
}

TEST_F(Stdio, RefusalsSetErrno) {
    errno = 0;
    EXPECT_EQ(fopen("C:\\WINDOWS\\missing.ini", "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(machine->files().exists("C:\\WINDOWS\\missing.ini"));
    machine->files().write_file("C:\\WINDOWS\\held.ini", "x");
    machine->files().hold("C:\\WINDOWS\\held.ini", 0);
    errno = 0;
    EXPECT_EQ(fopen("C:\\WINDOWS\\held.ini", "r"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    machine->files().add_drive('D', true);
    machine->files().write_file("D:\\SETUP.INI", "x");
    EXPECT_EQ(fopen("D:\\SCRATCH.TMP", "w"), nullptr);
    EXPECT_EQ(errno, EACCES);
    FILE* readable = fopen("D:\\SETUP.INI", "rb");
    EXPECT_NE(readable, nullptr);
    if (readable) fclose(readable);
    machine->faults().fail("fopen", ERROR_TOO_MANY_OPEN_FILES);
    EXPECT_EQ(fopen("C:\\WINDOWS\\held.ini", "rb"), nullptr) << "fopen can be failed like a Win32 call";
}

}  // namespace
