#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using winsim::Machine;
using winsim::Platform;

class Files : public testing::Test {
protected:
    void SetUp() override { machine = Machine::create(Platform::nt4); }
    HANDLE open(const char* path, DWORD share = FILE_SHARE_READ) {
        return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::unique_ptr<Machine> machine;
};

TEST_F(Files, NamesAreFoundWithoutRegardToCaseAndKeepTheirCase) {
    machine->files().write_file("C:\\Program Files\\Orvana\\ReadMe.txt", "hello");
    HANDLE file = open("c:/PROGRAM FILES/orvana/readme.TXT");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 5u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(machine->files().list("C:\\Program Files\\Orvana"), std::vector<std::string>{"ReadMe.txt"});
    EXPECT_NE(open("C:\\Program Files\\Orvana\\ReadMe.txt.. "), INVALID_HANDLE_VALUE) << "trailing dots and spaces go";
}

TEST_F(Files, MissingFilesAndDirectoriesAnswerTheirCodes) {
    machine->files().write_file("C:\\dir\\file.txt", "x");
    struct Case {
        const char* path;
        DWORD code;
    } cases[] = {
        {"C:\\dir\\missing.txt", ERROR_FILE_NOT_FOUND},
        {"C:\\missing\\file.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\dir\\file.txt\\below", ERROR_PATH_NOT_FOUND},
        {"D:\\file.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\dir\\bad|name", ERROR_INVALID_NAME},
        {"\\\\server\\share\\file", ERROR_BAD_NETPATH},
        {"C:\\dir", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(open(c.path), INVALID_HANDLE_VALUE) << c.path;
        EXPECT_EQ(GetLastError(), c.code) << c.path;
    }
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Files, OpensThatDoNotShareAreRefused) {
    machine->files().write_file("C:\\held.dll", "MZ");
    HANDLE exclusive = open("C:\\held.dll", 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(open("C:\\held.dll"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(exclusive);
    HANDLE shared = open("C:\\held.dll");
    HANDLE again = open("C:\\held.dll");
    EXPECT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(shared);
    CloseHandle(again);
}

TEST_F(Files, ClosedAndInvalidHandlesAreRefused) {
    machine->files().write_file("C:\\f", "abc");
    HANDLE file = open("C:\\f");
    EXPECT_TRUE(CloseHandle(file));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
}

TEST_F(Files, AShortFileMapsWhole) {
    machine->files().write_file("C:\\short.exe", std::string("MZ\0\x01", 4));
    HANDLE file = open("C:\\short.exe");
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::memcmp(view, "MZ\0\x01", 4), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view)) << "a view is unmapped once";
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Files, AnEmptyFileCannotBeMapped) {
    machine->files().write_file("C:\\empty.exe", "");
    HANDLE file = open("C:\\empty.exe");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    CloseHandle(file);
}

TEST_F(Files, AViewCannotReachPastTheFile) {
    machine->files().write_file("C:\\f.bin", "0123456789");
    HANDLE file = open("C:\\f.bin");
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 11), nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr) << "a read-only mapping gives no write view";
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 11, nullptr), nullptr) << "nor grows its file";
    CloseHandle(mapping);
    CloseHandle(file);
}

}  // namespace
