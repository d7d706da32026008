#include "support/images.h"
#include "support/library.h"

#include "files/versions.h"

#include <mkimage/image.h>

namespace {

using mkimage::VersionNumber;
using winsim::Platform;

// A versioned image whose fixed block says it is `length` bytes long.
std::string with_fixed_block_length(VersionNumber version, std::uint16_t length) {
    mkimage::ImageRecipe recipe;
    recipe.strings[1] = "short";
    mkimage::VersionInfo info;
    info.file_version = version;
    info.translations = {mkimage::Translation{}};
    recipe.version = info;
    mkimage::ImageMap map;
    std::string image = mkimage::build_image(recipe, &map);
    // The root node's value length, the second word of the resource.
    image[map.version + 2] = static_cast<char>(length & 0xFF);
    image[map.version + 3] = static_cast<char>(length >> 8);
    return image;
}

class Versions : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { start(GetParam()); }
};

// A fixed block too short for VS_FIXEDFILEINFO is no version: the other side's version,
// if it has one, wins, and nothing is read past the block.
TEST_P(Versions, AFixedBlockShorterThanItsStructureCountsAsNoVersion) {
    machine->files().write_file("C:\\short.dll", with_fixed_block_length({9, 9, 9, 9}, 20));
    machine->files().write_file("C:\\short2.dll", with_fixed_block_length({1, 0, 0, 0}, 51));
    machine->files().write_file("C:\\v1.dll", testing_support::versioned_dll({1, 0, 0, 0}, "v1"));
    machine->files().write_file("C:\\full.dll", with_fixed_block_length({2, 0, 0, 0}, 52));
    EXPECT_EQ(compare_file_versions("C:\\short.dll", "C:\\v1.dll"), -1) << "only B has a version";
    EXPECT_EQ(compare_file_versions("C:\\v1.dll", "C:\\short.dll"), 1) << "only A has a version";
    EXPECT_EQ(compare_file_versions("C:\\short.dll", "C:\\short2.dll"), 0) << "neither has one";
    EXPECT_EQ(compare_file_versions("C:\\full.dll", "C:\\v1.dll"), 1) << "a block of its full size is read";
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

// The copy decides by time alone when the installed file's version cannot be read.
TEST_P(Versions, ACopyOverAFileWithAShortFixedBlockGoesByTime) {
    machine->files().write_file("C:\\Orvana\\ORVMON.DLL", with_fixed_block_length({9, 9, 9, 9}, 20));
    Sleep(2000);
    machine->files().write_file("C:\\SETUP\\ORVMON.DLL", testing_support::versioned_dll({1, 0, 0, 0}, "new"));
    EXPECT_EQ(insSafeFileCopy("C:\\SETUP\\ORVMON.DLL", "C:\\Orvana\\", 0), 0);
    EXPECT_EQ(machine->files().read_file("C:\\Orvana\\ORVMON.DLL"), machine->files().read_file("C:\\SETUP\\ORVMON.DLL"));
}

INSTANTIATE_TEST_SUITE_P(Platforms, Versions, testing::Values(Platform::win98, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
