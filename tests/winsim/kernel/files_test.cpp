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

namespace {

using winsim::Machine;
using winsim::Platform;

HANDLE create(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    return CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
}

std::uint64_t ticks(const FILETIME& time) { return (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

class Dispositions : public testing::Test {
protected:
    void SetUp() override {
        machine = Machine::create(Platform::win2000);
        machine->files().write_file("C:\\data\\old.txt", "old contents");
    }
    // Opens, answers the last error the open left, and closes again.
    DWORD open_and_close(const char* path, DWORD disposition, DWORD access = GENERIC_READ | GENERIC_WRITE) {
        SetLastError(0xDEADBEEF);
        HANDLE file = create(path, access, 0, disposition);
        DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return file == INVALID_HANDLE_VALUE ? error | 0x80000000u : error;
    }
    std::unique_ptr<Machine> machine;
};

constexpr DWORD failed = 0x80000000u;

TEST_F(Dispositions, OfAnExistingFile) {
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", CREATE_NEW), failed | ERROR_FILE_EXISTS);
    EXPECT_EQ(machine->files().read_file("C:\\data\\old.txt"), "old contents");
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", OPEN_EXISTING), 0xDEADBEEFu) << "a plain open leaves the last error";
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", OPEN_ALWAYS), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(machine->files().read_file("C:\\data\\old.txt"), "old contents") << "OPEN_ALWAYS keeps the contents";
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", CREATE_ALWAYS), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(machine->files().read_file("C:\\data\\old.txt"), "") << "CREATE_ALWAYS empties it";
    machine->files().write_file("C:\\data\\old.txt", "again");
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", TRUNCATE_EXISTING), 0xDEADBEEFu);
    EXPECT_EQ(machine->files().read_file("C:\\data\\old.txt"), "");
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", TRUNCATE_EXISTING, GENERIC_READ), failed | ERROR_INVALID_PARAMETER)
        << "truncating needs write access";
}

TEST_F(Dispositions, OfAMissingFile) {
    EXPECT_EQ(open_and_close("C:\\data\\a.txt", OPEN_EXISTING), failed | ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open_and_close("C:\\data\\b.txt", TRUNCATE_EXISTING), failed | ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(machine->files().exists("C:\\data\\a.txt"));
    EXPECT_FALSE(machine->files().exists("C:\\data\\b.txt"));
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS}) {
        std::string path = "C:\\data\\new" + std::to_string(disposition) + ".txt";
        DWORD answer = open_and_close(path.c_str(), disposition);
        EXPECT_EQ(answer, disposition == CREATE_NEW ? 0xDEADBEEFu : DWORD(NO_ERROR)) << disposition;
        EXPECT_EQ(machine->files().read_file(path), "") << disposition;
    }
    EXPECT_EQ(open_and_close("C:\\nowhere\\new.txt", CREATE_ALWAYS), failed | ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(open_and_close("C:\\data\\x.txt", 0), failed | ERROR_INVALID_PARAMETER);
    EXPECT_EQ(open_and_close("C:\\data\\x.txt", 6), failed | ERROR_INVALID_PARAMETER);
}

TEST_F(Dispositions, ReadOnlyFilesAndDirectoriesRefuseWriting) {
    machine->files().node("C:\\data\\old.txt")->attributes = FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", OPEN_EXISTING, GENERIC_WRITE), failed | ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", CREATE_ALWAYS, GENERIC_WRITE), failed | ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_and_close("C:\\data\\old.txt", OPEN_EXISTING, GENERIC_READ), 0xDEADBEEFu);
    EXPECT_EQ(machine->files().read_file("C:\\data\\old.txt"), "old contents");
    EXPECT_EQ(open_and_close("C:\\data", OPEN_EXISTING, GENERIC_WRITE), failed | ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_and_close("C:\\data", CREATE_ALWAYS, GENERIC_WRITE), failed | ERROR_ACCESS_DENIED);
}

TEST_F(Dispositions, ANewFileTakesTheAttributesAskedFor) {
    HANDLE file = create("C:\\data\\hidden.txt", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN);
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesA("C:\\data\\hidden.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
}

struct ShareCase {
    DWORD first_access, first_share, second_access, second_share;
    bool allowed;
};

class Sharing : public testing::TestWithParam<ShareCase> {};

TEST_P(Sharing, ASecondOpenAgreesWithTheFirstOrIsRefused) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\f.dll", "MZ");
    const ShareCase& c = GetParam();
    HANDLE first = create("C:\\f.dll", c.first_access, c.first_share, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0);
    HANDLE second = create("C:\\f.dll", c.second_access, c.second_share, OPEN_EXISTING);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.allowed);
    if (!c.allowed) {
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    }
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    CloseHandle(first);
}

constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
INSTANTIATE_TEST_SUITE_P(Modes, Sharing,
                         testing::Values(ShareCase{R, SR, R, SR, true}, ShareCase{R, SR, W, SR | SW, false},
                                         ShareCase{R, SR | SW, W, SR | SW, true}, ShareCase{W, SR, R, SR, false},
                                         ShareCase{W, SR, R, SR | SW, true}, ShareCase{R, 0, R, SR | SW, false},
                                         ShareCase{R | W, SR | SW, R, SR, false}));

TEST(Holds, AHeldFileAnswersAsAnOpenHandleOfAnotherProcess) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\WINNT\\system32\\ORVUI.DLL", "MZ");
    machine->files().hold("c:\\winnt\\system32\\orvui.dll", FILE_SHARE_READ);
    EXPECT_EQ(machine->open_handles(), 0u) << "a hold is not the process's handle";
    HANDLE reader = create("C:\\WINNT\\system32\\ORVUI.DLL", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "reading is shared";
    CloseHandle(reader);
    SetLastError(0);
    EXPECT_EQ(create("C:\\WINNT\\system32\\ORVUI.DLL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(machine->files().read_file("C:\\WINNT\\system32\\ORVUI.DLL"), "MZ") << "a refused CREATE_ALWAYS truncates nothing";
    EXPECT_TRUE(machine->files().release("C:\\WINNT\\system32\\ORVUI.DLL"));
    EXPECT_FALSE(machine->files().release("C:\\WINNT\\system32\\ORVUI.DLL"));
    HANDLE writer = create("C:\\WINNT\\system32\\ORVUI.DLL", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
    EXPECT_THROW(machine->files().hold("C:\\missing.dll", 0), std::invalid_argument);
}

class ReadingAndWriting : public testing::Test {
protected:
    void SetUp() override { machine = Machine::create(Platform::win98); }
    std::unique_ptr<Machine> machine;
};

TEST_F(ReadingAndWriting, PointerReadsWritesAndEnd) {
    HANDLE file = create("C:\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "6789");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u) << "at the end a read gives nothing and succeeds";
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_EQ(SetFilePointer(file, 1, nullptr, FILE_CURRENT), 3u);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 3u);
    EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_END), 8u);
    ASSERT_TRUE(WriteFile(file, "x", 1, &done, nullptr));
    EXPECT_EQ(machine->files().read_file("C:\\f.bin"), std::string("012\0\0\0\0\0x", 9)) << "a write past the end fills with zeros";
    SetLastError(0);
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
    CloseHandle(file);
}

TEST_F(ReadingAndWriting, AHandleDoesOnlyWhatItWasOpenedFor) {
    machine->files().write_file("C:\\f.txt", "abc");
    HANDLE reader = create("C:\\f.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    DWORD done = 7;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(SetEndOfFile(reader));
    FILETIME time{1, 1};
    EXPECT_FALSE(SetFileTime(reader, nullptr, nullptr, &time));
    CloseHandle(reader);
    HANDLE writer = create("C:\\f.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
    char byte;
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(writer);
    EXPECT_EQ(machine->files().read_file("C:\\f.txt"), "abc");
}

TEST_F(ReadingAndWriting, AWriteMovesTheLastWriteTimeToTheClock) {
    machine->files().write_file("C:\\f.txt", "abc");
    FILETIME before = machine->files().node("C:\\f.txt")->last_write_time;
    Sleep(60000);
    HANDLE file = create("C:\\f.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    FILETIME written{};
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    EXPECT_EQ(CompareFileTime(&written, &before), 0) << "opening writes nothing";
    DWORD done = 0;
    WriteFile(file, "z", 1, &done, nullptr);
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    FILETIME now = machine->clock().now();
    EXPECT_EQ(CompareFileTime(&written, &now), 0);
    EXPECT_EQ(CompareFileTime(&before, &written), -1);
    EXPECT_EQ(CompareFileTime(&written, &before), 1);
    EXPECT_EQ(ticks(written) - ticks(before), 60000ull * 10000);
    FILETIME old{0x12345678, 0x01BE0000};
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &old));
    CloseHandle(file);
    EXPECT_EQ(ticks(machine->files().node("C:\\f.txt")->last_write_time), ticks(old));
}

TEST_F(ReadingAndWriting, AWritableMappingGrowsTheFileAndWritesBackWhenUnmapped) {
    machine->files().write_file("C:\\f.bin", "abcd");
    HANDLE file = create("C:\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 16, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetFileSize(file, nullptr), 16u) << "the maximum size grows the file at once";
    auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::string(view, 4), "abcd");
    std::memcpy(view + 10, "XYZ", 3);
    ASSERT_TRUE(UnmapViewOfFile(view));
    EXPECT_EQ(machine->files().read_file("C:\\f.bin"), std::string("abcd\0\0\0\0\0\0XYZ\0\0\0", 16));
    CloseHandle(mapping);
    CloseHandle(file);
}

// A view is the file's own pages: what was written through it is in the file when the
// process ends without unmapping it (here because the unmapping was failed).
TEST_F(ReadingAndWriting, WritesThroughAViewLeftMappedReachTheFileWhenTheProcessEnds) {
    machine->files().write_file("C:\\f.bin", "abcd");
    HANDLE file = create("C:\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 8, nullptr);
    auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    std::memcpy(view + 4, "efgh", 4);
    machine->faults().fail("UnmapViewOfFile", ERROR_ACCESS_DENIED);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    machine->reboot();
    EXPECT_EQ(machine->files().read_file("C:\\f.bin"), "abcdefgh");
}

TEST_F(ReadingAndWriting, AReadOnlyHandleGetsNoWritableMapping) {
    machine->files().write_file("C:\\f.bin", "abcd");
    HANDLE file = create("C:\\f.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    SetLastError(0);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(file);
}

TEST_F(ReadingAndWriting, AMappingKeepsItsFileOpenAfterTheHandleIsClosed) {
    machine->files().write_file("C:\\f.bin", "abcd");
    HANDLE file = create("C:\\f.bin", GENERIC_READ, 0, OPEN_EXISTING);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    CloseHandle(file);
    EXPECT_EQ(create("C:\\f.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    CloseHandle(mapping);
    HANDLE again = create("C:\\f.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(Attributes, AnswersAndChanges) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\dir\\f.txt", "x");
    EXPECT_EQ(GetFileAttributesA("C:\\dir\\f.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA("C:\\dir"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA("C:\\dir\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\missing\\f.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(SetFileAttributesA("C:\\dir\\f.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA("C:\\dir\\f.txt"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA("C:\\dir", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\dir"), DWORD(FILE_ATTRIBUTE_DIRECTORY)) << "a directory stays one";
}

class Copying : public testing::Test {
protected:
    void SetUp() override {
        machine = Machine::create(Platform::nt4);
        machine->files().write_file("C:\\src\\a.dll", "new");
        Sleep(1000);
        machine->files().write_file("C:\\dst\\a.dll", "old");
    }
    std::unique_ptr<Machine> machine;
};

TEST_F(Copying, KeepsTheLastWriteTimeAndAttributesOfTheSource) {
    auto source = machine->files().node("C:\\src\\a.dll");
    source->attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    Sleep(5000);
    ASSERT_TRUE(CopyFileA("C:\\src\\a.dll", "C:\\dst\\b.dll", TRUE));
    auto copy = machine->files().node("C:\\dst\\b.dll");
    EXPECT_EQ(copy->data, "new");
    EXPECT_EQ(ticks(copy->last_write_time), ticks(source->last_write_time));
    EXPECT_EQ(copy->attributes, source->attributes);
    ASSERT_TRUE(CopyFileA("C:\\src\\a.dll", "C:\\dst\\a.dll", FALSE));
    EXPECT_EQ(machine->files().read_file("C:\\dst\\a.dll"), "new");
}

TEST_F(Copying, RefusesAsWindowsDoes) {
    auto refused = [&](const char* from, const char* to, BOOL fail_if_exists) {
        SetLastError(0);
        EXPECT_FALSE(CopyFileA(from, to, fail_if_exists)) << from << " -> " << to;
        return GetLastError();
    };
    EXPECT_EQ(refused("C:\\src\\a.dll", "C:\\dst\\a.dll", TRUE), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(refused("C:\\src\\missing.dll", "C:\\dst\\c.dll", FALSE), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(refused("C:\\src\\a.dll", "C:\\nowhere\\c.dll", FALSE), DWORD(ERROR_PATH_NOT_FOUND));
    machine->files().node("C:\\dst\\a.dll")->attributes = FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(refused("C:\\src\\a.dll", "C:\\dst\\a.dll", FALSE), DWORD(ERROR_ACCESS_DENIED));
    machine->files().node("C:\\dst\\a.dll")->attributes = FILE_ATTRIBUTE_ARCHIVE;
    HANDLE open = create("C:\\dst\\a.dll", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(refused("C:\\src\\a.dll", "C:\\dst\\a.dll", FALSE), DWORD(ERROR_SHARING_VIOLATION));
    CloseHandle(open);
    machine->files().hold("C:\\dst\\a.dll", FILE_SHARE_READ);
    EXPECT_EQ(refused("C:\\src\\a.dll", "C:\\dst\\a.dll", FALSE), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(machine->files().read_file("C:\\dst\\a.dll"), "old") << "no refused copy changed the file";
}

struct DeleteCase {
    Platform platform;
    DWORD open_answer;
};

class Deleting : public testing::TestWithParam<DeleteCase> {};

TEST_P(Deleting, ReadOnlyAndOpenFilesStay) {
    auto machine = Machine::create(GetParam().platform);
    machine->files().write_file("C:\\f.txt", "x");
    machine->files().write_file("C:\\ro.txt", "x");
    machine->files().node("C:\\ro.txt")->attributes = FILE_ATTRIBUTE_READONLY;
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA("C:\\ro.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    HANDLE open = create("C:\\f.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(DeleteFileA("C:\\f.txt"));
    EXPECT_EQ(GetLastError(), GetParam().open_answer);
    CloseHandle(open);
    EXPECT_TRUE(DeleteFileA("C:\\f.txt"));
    EXPECT_FALSE(machine->files().exists("C:\\f.txt"));
    EXPECT_FALSE(DeleteFileA("C:\\f.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("C:\\Program Files"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "a directory is not deleted as a file";
}

INSTANTIATE_TEST_SUITE_P(Families, Deleting,
                         testing::Values(DeleteCase{Platform::win95, ERROR_ACCESS_DENIED},
                                         DeleteCase{Platform::nt4, ERROR_SHARING_VIOLATION}),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param.platform).name); });

TEST(Moving, RenamesAndRefusesAnExistingTarget) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\a.txt", "a");
    machine->files().write_file("C:\\b.txt", "b");
    SetLastError(0);
    EXPECT_FALSE(MoveFileA("C:\\a.txt", "C:\\b.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(MoveFileA("C:\\a.txt", "C:\\WINNT\\c.txt"));
    EXPECT_EQ(machine->files().read_file("C:\\WINNT\\c.txt"), "a");
    EXPECT_FALSE(machine->files().exists("C:\\a.txt"));
    ASSERT_TRUE(MoveFileExA("C:\\WINNT\\c.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(machine->files().read_file("C:\\b.txt"), "a");
}

}  // namespace
