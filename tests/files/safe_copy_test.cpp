#include "support/images.h"
#include "support/library.h"
#include "support/registry.h"

using mkimage::ImageKind;
using mkimage::Translation;
using mkimage::VersionNumber;
using testing_support::unversioned_dll;
using testing_support::versioned_dll;
using winsim::Platform;

namespace {

class SafeCopy : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { start(GetParam()); }

    std::string system_file(const char* name) { return std::string(machine->platform_info().system_directory) + "\\" + name; }
    // Lays out the installed file and, two seconds later or earlier, the new one.
    void lay_out(const std::string& installed, const std::string& incoming, bool installed_later) {
        const std::string& first = installed_later ? incoming : installed;
        const std::string& second = installed_later ? installed : incoming;
        machine->files().write_file(installed_later ? "C:\\SETUP\\ORVMON.DLL" : destination, first);
        Sleep(2000);
        machine->files().write_file(installed_later ? destination : "C:\\SETUP\\ORVMON.DLL", second);
    }
    std::string installed() { return machine->files().read_file(destination).value_or("<missing>"); }

    std::string destination = "C:\\Orvana\\ORVMON.DLL";
};

struct CopyCase {
    const char* name;
    std::function<std::string()> installed;
    std::function<std::string()> incoming;
    bool installed_later;
    LONG expected;
};

std::vector<CopyCase> copy_rules() {
    auto v = [](std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d, const char* tag) {
        return [=] { return versioned_dll(VersionNumber{a, b, c, d}, tag); };
    };
    auto none = [](const char* tag) { return [=] { return unversioned_dll(tag); }; };
    return {
        {"newer version installed", v(1, 2, 3, 5, "old"), v(1, 2, 3, 4, "new"), false, -12},
        {"older version installed", v(1, 2, 3, 4, "old"), v(1, 2, 3, 5, "new"), false, 0},
        {"older version installed later", v(1, 2, 3, 4, "old"), v(1, 2, 3, 5, "new"), true, -12},
        {"newer version installed earlier", v(2, 0, 0, 0, "old"), v(1, 9, 9, 9, "new"), false, -12},
        {"equal versions, installed earlier", v(1, 0, 0, 0, "old"), v(1, 0, 0, 0, "new"), false, 0},
        {"equal versions, installed later", v(1, 0, 0, 0, "old"), v(1, 0, 0, 0, "new"), true, -12},
        {"the top bit counts as the highest", v(0x8000, 0, 0, 0, "old"), v(0x7FFF, 9, 9, 9, "new"), false, -12},
        {"the top bit of the new one wins", v(0x7FFF, 9, 9, 9, "old"), v(0x8000, 0, 0, 0, "new"), false, 0},
        {"low words decide when high ones are equal", v(1, 0, 0x8000, 0, "old"), v(1, 0, 0x7FFF, 0, "new"), false, -12},
        {"neither versioned, installed earlier", none("old"), none("new"), false, 0},
        {"neither versioned, installed later", none("old"), none("new"), true, -12},
        {"only the new one versioned", none("old"), v(1, 0, 0, 0, "new"), false, 0},
        {"only the new one versioned, installed later", none("old"), v(1, 0, 0, 0, "new"), true, -12},
        {"only the installed one versioned", v(1, 0, 0, 0, "old"), none("new"), false, -12},
    };
}

TEST_P(SafeCopy, NeverReplacesANewerFile) {
    for (const CopyCase& c : copy_rules()) {
        SCOPED_TRACE(c.name);
        start(GetParam());
        std::string old_file = c.installed(), new_file = c.incoming();
        lay_out(old_file, new_file, c.installed_later);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), c.expected);
        EXPECT_EQ(installed(), c.expected == 0 ? new_file : old_file);
        if (c.expected == 0) {
            EXPECT_EQ(GetLastError(), 0u) << "a copy leaves the last error 0";
        }
        EXPECT_EQ(take_error_text(), "");
        EXPECT_EQ(machine->open_handles(), 0u);
        EXPECT_EQ(machine->live_heap_blocks(), 0u);
        // Copy-always skips the comparison.
        EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 1), 0);
        EXPECT_EQ(installed(), new_file);
    }
}

TEST_P(SafeCopy, AMissingDestinationIsCopiedWhateverTheVersions) {
    machine->files().write_file("C:\\SETUP\\orvmon.dll", versioned_dll({0, 0, 0, 1}, "new"));
    machine->files().make_directories("C:\\Orvana");
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\orvmon.dll", "C:\\Orvana\\orvmon.dll", 0), 0);
    EXPECT_EQ(machine->files().list("C:\\Orvana"), std::vector<std::string>{"ORVMON.DLL"})
        << "the destination path is upper-cased before the copy";
}

TEST_P(SafeCopy, SixteenBitFilesInAnotherCodePageAreNeverReplaced) {
    std::string old_file = versioned_dll({1, 0, 0, 0}, "old", ImageKind::ne, {Translation{0x0409, 1252}});
    std::string new_file = versioned_dll({2, 0, 0, 0}, "new", ImageKind::ne, {Translation{0x0409, 850}});
    lay_out(old_file, new_file, false);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), -12);
    EXPECT_EQ(installed(), old_file);

    start(GetParam());
    old_file = versioned_dll({1, 0, 0, 0}, "old", ImageKind::ne, {});
    new_file = versioned_dll({2, 0, 0, 0}, "new", ImageKind::ne, {});
    lay_out(old_file, new_file, false);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), 0) << "two empty tables are one code page";

    start(GetParam());
    old_file = versioned_dll({1, 0, 0, 0}, "old", ImageKind::pe32, {Translation{0x0409, 1252}});
    new_file = versioned_dll({2, 0, 0, 0}, "new", ImageKind::ne, {Translation{0x0409, 850}});
    lay_out(old_file, new_file, false);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), 0) << "a 32-bit file is never asked its code page";
}

TEST_P(SafeCopy, TheDestinationTakesTheSourcesNameOrExtension) {
    machine->files().write_file("C:\\SETUP\\ABC.DLL", "MZ new");
    machine->files().make_directories("C:\\DEST");
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ABC.DLL", "C:\\DEST\\", 0), 0);
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ABC.DLL", "C:\\DEST\\NEWNAME", 0), 0);
    EXPECT_EQ(machine->files().list("C:\\DEST"), (std::vector<std::string>{"ABC.DLL", "NEWNAME.DLL"}));
}

TEST_P(SafeCopy, ReadOnlyFilesAreReplacedAndNothingStaysReadOnly) {
    lay_out(unversioned_dll("old"), unversioned_dll("new"), false);
    machine->files().node(destination)->attributes = FILE_ATTRIBUTE_READONLY;
    machine->files().node("C:\\SETUP\\ORVMON.DLL")->attributes |= FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", destination.c_str(), 0), 0);
    EXPECT_EQ(installed(), unversioned_dll("new"));
    EXPECT_EQ(GetFileAttributesA(destination.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_P(SafeCopy, ASourceThatCannotBeReadIsReported) {
    machine->files().write_file(destination, "MZ old");
    machine->files().make_directories("C:\\SETUP");
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\MISSING.DLL", destination.c_str(), 0), 2);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (checking files prior to copy operation): \nerror #2 for value "
              "'C:\\SETUP\\MISSING.DLL'.\nThe system cannot find the file specified. \n");
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\MISSING.DLL", "C:\\Orvana\\NEW.DLL", 0), 2) << "without a destination the copy fails";
    EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (copying file [1]): \nerror #2 for value 'C:\\SETUP\\MISSING.DLL'", 0),
              0u);
}

TEST_P(SafeCopy, PathsTooLongForTheirBuffersAreRefused) {
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", "MZ");
    std::string long_destination = "C:\\" + std::string(270, 'D') + ".DLL";
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", long_destination.c_str(), 0), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_NE(take_error_text().find("error #206 for value 'C:\\DDD"), std::string::npos);
    std::string deep = "C:\\" + std::string(200, 'a') + "\\" + std::string(45, 'b') + "\\" + std::string(7, 'c');
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", deep.c_str(), 0), ERROR_FILENAME_EXCED_RANGE)
        << "with the source's extension the destination no longer fits";
}

INSTANTIATE_TEST_SUITE_P(Platforms, SafeCopy, testing::Values(Platform::win95, Platform::win98, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
