// The resource scripts mkimage writes for the lane's modules: compiled by windres they
// must give the resources the image of the recipe carries (the version block byte for
// byte, every string under its ID, the recipe's language), for each sample that ships
// as code and for texts a script has to escape. And the versions a command line may
// put in place of a recipe's.
#include "support/temp_path.h"
#include <mkimage/image.h>
#include <mkimage/recipe_file.h>
#include <mkimage/resource_script.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#ifndef ORV_SAMPLE_RECIPES_DIR
#error "ORV_SAMPLE_RECIPES_DIR names the folder of the sample components' recipes"
#endif

namespace {

const std::filesystem::path recipes_dir = ORV_SAMPLE_RECIPES_DIR;

std::uint32_t get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}
std::uint16_t get16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8);
}

constexpr std::uint16_t rt_string = 6;
constexpr std::uint16_t rt_version = 16;

// What a compiled resource file holds that the lane's modules carry.
struct CompiledResources {
    std::optional<std::string> version;                // the version resource's data
    std::map<std::uint16_t, std::string> strings;      // each string by its ID, narrowed
    std::map<std::uint16_t, std::uint16_t> languages;  // the language of each resource type
};

// A .res file: entries of data size, header size, numbered type and name, language and
// the data, each entry on a 4-byte boundary.
CompiledResources read_res(const std::string& bytes) {
    CompiledResources out;
    for (std::size_t at = 0; at + 32 <= bytes.size();) {
        const std::uint32_t data_size = get32(bytes, at);
        const std::uint32_t header_size = get32(bytes, at + 4);
        const std::uint16_t type = get16(bytes, at + 10);
        const std::uint16_t name = get16(bytes, at + 14);
        const std::string data = bytes.substr(at + header_size, data_size);
        at += (header_size + data_size + 3) & ~std::size_t{3};
        if (!data_size) continue;
        out.languages[type] = get16(bytes, at - ((header_size + data_size + 3) & ~std::size_t{3}) + 22);
        if (type == rt_version) out.version = data;
        if (type != rt_string) continue;
        // A bundle of 16 counted UTF-16 strings, the bundle numbered from 1.
        std::size_t p = 0;
        for (std::uint16_t i = 0; i < 16 && p + 2 <= data.size(); ++i) {
            const std::uint16_t length = get16(data, p);
            std::string text;
            for (std::uint16_t c = 0; c < length; ++c) text.push_back(static_cast<char>(get16(data, p + 2 + 2u * c)));
            p += 2 + 2u * length;
            if (length) out.strings[static_cast<std::uint16_t>((name - 1) * 16 + i)] = text;
        }
    }
    return out;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The script compiled as the lane's build compiles it; nullopt without windres.
std::optional<CompiledResources> compile(const std::string& script, const std::string& name) {
    const char* windres = std::getenv("ORV_WINDRES");
    const std::string compiler = windres ? windres : "x86_64-w64-mingw32-windres";
    const std::filesystem::path folder = testing_support::temp_path("orv-rc");
    std::filesystem::create_directories(folder);
    const std::filesystem::path source = folder / (name + ".rc");
    const std::filesystem::path compiled = folder / (name + ".res");
    std::ofstream(source, std::ios::binary) << script;
    const std::string command =
        compiler + " -J rc -O res -i '" + source.string() + "' -o '" + compiled.string() + "' 2>/dev/null";
    const bool built = std::system(command.c_str()) == 0;
    std::optional<CompiledResources> out;
    if (built) out = read_res(read_file(compiled));
    std::filesystem::remove_all(folder);
    return out;
}

bool windres_available() {
    const char* windres = std::getenv("ORV_WINDRES");
    const std::string command = std::string(windres ? windres : "x86_64-w64-mingw32-windres") + " --version >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

void expect_same_resources(const mkimage::ImageRecipe& recipe, const std::string& name) {
    const std::optional<CompiledResources> compiled = compile(mkimage::resource_script(recipe), name);
    ASSERT_TRUE(compiled) << name << ": windres refused the script:\n" << mkimage::resource_script(recipe);
    EXPECT_EQ(compiled->strings, recipe.strings) << name;
    ASSERT_EQ(compiled->version.has_value(), recipe.version.has_value()) << name;
    if (recipe.version) {
        EXPECT_EQ(*compiled->version, mkimage::version_resource(*recipe.version, mkimage::ImageKind::pe32_plus, recipe.dll))
            << name << ": the version block differs from the image's";
    }
    for (const auto& [type, language] : compiled->languages) EXPECT_EQ(language, recipe.language) << name << " type " << type;
}

class ResourceScripts : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (!windres_available()) GTEST_SKIP() << "no windres to compile resource scripts";
    }
};

// Each component the lane builds as code.
TEST_P(ResourceScripts, CompileToTheResourcesOfTheRecipesImage) {
    const mkimage::RecipeFile file = mkimage::read_recipe(recipes_dir / (std::string(GetParam()) + ".toml"));
    expect_same_resources(file.recipe, GetParam());
}

INSTANTIATE_TEST_SUITE_P(LaneModules, ResourceScripts,
                         ::testing::Values("orvmon.dll", "orvproc.dll", "orvdrv.dll", "orvdrv351.dll", "orvdrvui.dll"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& c : name)
                                 if (c == '.') c = '_';
                             return name;
                         });

// Quotes, backslashes, a line break and a language other than English survive the
// script; a program without a version block and a version without tables too.
TEST_F(ResourceScripts, EscapeWhatTheScriptsSyntaxWouldTake) {
    mkimage::ImageRecipe recipe;
    recipe.language = 0x0407;
    recipe.strings = {{1, "say \"hi\""}, {2, "C:\\ORVANA\\"}, {17, "two\nlines"}, {65535, "last"}};
    expect_same_resources(recipe, "escapes");
    recipe.dll = false;
    mkimage::VersionInfo version;
    version.file_version = {1, 2, 3, 4};
    version.product_version = {5, 6, 7, 8};
    version.file_flags = 0x2;
    version.file_subtype = 1;
    recipe.version = version;
    expect_same_resources(recipe, "program");
    recipe.version->string_tables = {{{0x0407, 1252}, {{"Comments", "a \"quoted\" C:\\path"}}}};
    recipe.version->translations = {{0x0407, 1252}, {0x0409, 0x04E4}};
    expect_same_resources(recipe, "tables");
}

TEST(Versions, ReadUpToFourNumbersAndRefuseTheRest) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> high;
        std::uint32_t low;
    };
    for (const Case& c : {Case{"4.2.0.9", 0x00040002u, 0x00000009u}, Case{"4", 0x00040000u, 0u},
                          Case{"65535.0.1", 0xFFFF0000u, 0x00010000u}, Case{"4.65536", std::nullopt, 0},
                          Case{"4..1", std::nullopt, 0}, Case{"1.2.3.4.5", std::nullopt, 0}, Case{"", std::nullopt, 0},
                          Case{"4.x", std::nullopt, 0}, Case{"-1", std::nullopt, 0}, Case{"4.", std::nullopt, 0}}) {
        const std::optional<mkimage::VersionNumber> version = mkimage::parse_version(c.text);
        ASSERT_EQ(version.has_value(), c.high.has_value()) << c.text;
        if (!version) continue;
        EXPECT_EQ(version->high(), *c.high) << c.text;
        EXPECT_EQ(version->low(), c.low) << c.text;
    }
}

}  // namespace
