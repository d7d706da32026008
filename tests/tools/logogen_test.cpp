// The logo the library carries is what its description draws, and a resource compiler
// takes it: a 570 x 469 bitmap of one bit per pixel.
#include "support/temp_path.h"
#include "run_program.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t word_at(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

TEST(Logo, TheKeptBitmapIsWhatItsDescriptionDraws) {
    const std::filesystem::path drawn = testing_support::temp_path("orv-logo-test.bmp");
    const auto run = testing_support::run_program(std::string(LOGOGEN_PATH) + " " + ORV_SOURCE_DIR +
                                                  "/tools/logogen/logo.toml " + drawn.string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string kept = read_bytes(std::string(ORV_SOURCE_DIR) + "/src/frame/logo.bmp");
    EXPECT_TRUE(read_bytes(drawn) == kept) << "run tools/logogen on its description again";
    std::filesystem::remove(drawn);

    ASSERT_GT(kept.size(), 62u);
    EXPECT_EQ(kept.substr(0, 2), "BM");
    EXPECT_EQ(word_at(kept, 18), 570u);
    EXPECT_EQ(word_at(kept, 22), 469u);
    EXPECT_EQ(static_cast<unsigned char>(kept[28]), 1);  // bits per pixel
    // Both ink and paper: a bitmap of one colour would print as a block or nothing.
    const std::string bits = kept.substr(word_at(kept, 10));
    EXPECT_NE(bits.find('\0'), std::string::npos);
    EXPECT_NE(bits.find('\xFF'), std::string::npos);
}

TEST(Logo, ADescriptionItCannotDrawIsRefusedWithItsLine) {
    const std::filesystem::path description = testing_support::temp_path("orv-logo-bad.toml");
    std::ofstream(description) << "width = 10\nheight = 10\n\n[[shape]]\nkind = \"star\"\n";
    const auto run = testing_support::run_program(std::string(LOGOGEN_PATH) + " " + description.string() + " /dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("line 4: unknown shape kind \"star\""), std::string::npos) << run.output;
    std::filesystem::remove(description);
}

}  // namespace
