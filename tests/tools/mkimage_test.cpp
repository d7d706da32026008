// Recipe files read into the images they mean, the refusals of bad recipes with the
// key at fault, and the product's sample components: every recipe builds, and the
// port monitor carries its name and entry points where a spooler looks for them.
#include <mkimage/image.h>
#include <mkimage/recipe_file.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#ifndef ORV_SAMPLE_RECIPES_DIR
#error "ORV_SAMPLE_RECIPES_DIR names the folder of the sample components' recipes"
#endif

namespace {

using mkimage::ImageKind;
using mkimage::parse_recipe;
using mkimage::RecipeError;
using mkimage::RecipeFile;

const std::filesystem::path recipes_dir = ORV_SAMPLE_RECIPES_DIR;

const char* const full_recipe = R"(
kinds = ["pe32", "pe32_plus"]
dll = true
module_name = "ORVMON"
language = 0x0407
exports = ["InitializePrintMonitor2", "InitializeMonitorEx"]

[strings]
300 = "Orvana Fax Port"
0 = "first"
65535 = "last"

[version]
file_version = "4.1.0.7"
product_version = "4.2"
file_os = "nt_windows32"
file_type = 3
file_subtype = 1
file_flags = 0x8

[[version.translation]]
language = 0x0409
code_page = 0x04E4
ProductName = "Orvana Fax and Imaging"
CompanyName = "Orvana Imaging"
FileVersion = "4.1.0.7"

[[version.translation]]
language = "0407"
code_page = 1200
)";

// ---- What a recipe means ----------------------------------------------------------

TEST(RecipeText, EveryFieldLandsInTheImageRecipe) {
    const RecipeFile file = parse_recipe(full_recipe, "monitor.toml");
    EXPECT_EQ(file.source, "monitor.toml");
    EXPECT_EQ(file.kinds, (std::vector<ImageKind>{ImageKind::pe32, ImageKind::pe32_plus}));
    const mkimage::ImageRecipe& recipe = file.recipe;
    EXPECT_EQ(recipe.kind, ImageKind::pe32);
    EXPECT_TRUE(recipe.dll);
    EXPECT_EQ(recipe.module_name, "ORVMON");
    EXPECT_EQ(recipe.language, 0x0407);
    EXPECT_EQ(recipe.strings,
              (std::map<std::uint16_t, std::string>{{0, "first"}, {300, "Orvana Fax Port"}, {65535, "last"}}));
    EXPECT_EQ(recipe.exports, (std::vector<std::string>{"InitializePrintMonitor2", "InitializeMonitorEx"}))
        << "exports keep the recipe's order";

    ASSERT_TRUE(recipe.version.has_value());
    const mkimage::VersionInfo& version = *recipe.version;
    EXPECT_EQ(version.file_version.high(), 0x00040001u);
    EXPECT_EQ(version.file_version.low(), 0x00000007u);
    EXPECT_EQ(version.product_version.high(), 0x00040002u) << "missing parts are 0";
    EXPECT_EQ(version.product_version.low(), 0u);
    EXPECT_EQ(version.file_os, mkimage::vos_nt_windows32);
    EXPECT_EQ(version.file_type, mkimage::vft_drv);
    EXPECT_EQ(version.file_subtype, mkimage::vft2_drv_printer);
    EXPECT_EQ(version.file_flags, 0x8u);
    EXPECT_EQ(version.file_flags_mask, mkimage::vs_ffi_fileflagsmask) << "left at its default";

    ASSERT_EQ(version.translations.size(), 2u);
    EXPECT_EQ(version.translations[0].key(), "040904E4");
    EXPECT_EQ(version.translations[1].key(), "040704B0") << "hex text and decimal both name a word";
    ASSERT_EQ(version.string_tables.size(), 1u) << "a translation without values has no string table";
    EXPECT_EQ(version.string_tables[0].translation.key(), "040904E4");
    const std::vector<std::pair<std::string, std::string>> values{
        {"ProductName", "Orvana Fax and Imaging"}, {"CompanyName", "Orvana Imaging"}, {"FileVersion", "4.1.0.7"}};
    EXPECT_EQ(version.string_tables[0].values, values) << "values keep the recipe's order, not the key order";
}

TEST(RecipeText, LeftOutPartsTakeTheImagesDefaults) {
    const RecipeFile file = parse_recipe(
        "kind = \"ne\"\ndll = false\nmodule_name = \"ORV16DLG\"\n"
        "[version]\nfile_version = \"1.2.3.4\"\n",
        "dialog.toml");
    EXPECT_EQ(file.kinds, std::vector<ImageKind>{ImageKind::ne});
    EXPECT_FALSE(file.recipe.dll);
    EXPECT_EQ(file.recipe.language, 0x0409);
    EXPECT_TRUE(file.recipe.strings.empty());
    EXPECT_TRUE(file.recipe.exports.empty());
    ASSERT_TRUE(file.recipe.version.has_value());
    EXPECT_EQ(file.recipe.version->product_version.high(), 0x00010002u) << "the product version follows the file's";
    EXPECT_EQ(file.recipe.version->product_version.low(), 0x00030004u);
    EXPECT_FALSE(file.recipe.version->file_os.has_value()) << "the image chooses the OS for its kind";
    EXPECT_FALSE(file.recipe.version->file_type.has_value());
    EXPECT_TRUE(file.recipe.version->translations.empty());

    const RecipeFile bare = parse_recipe("kind = \"pe32\"\ndll = true\nmodule_name = \"X\"\n", "bare.toml");
    EXPECT_FALSE(bare.recipe.version.has_value()) << "no [version], no version resource";
}

TEST(RecipeText, EachKindServesItsArchitecture) {
    const RecipeFile both = parse_recipe(full_recipe, "both.toml");
    EXPECT_EQ(both.kind_for_arch("x86"), ImageKind::pe32);
    EXPECT_EQ(both.kind_for_arch("x64"), ImageKind::pe32_plus);
    EXPECT_EQ(both.kind_for_arch("arm64"), std::nullopt);
    EXPECT_EQ(both.for_kind(ImageKind::pe32_plus).kind, ImageKind::pe32_plus);
    EXPECT_EQ(both.for_kind(ImageKind::pe32_plus).strings, both.recipe.strings);

    const RecipeFile ne = parse_recipe("kind = \"ne\"\ndll = true\nmodule_name = \"AUD16\"\n", "ne.toml");
    EXPECT_EQ(ne.kind_for_arch("x86"), ImageKind::ne);
    EXPECT_EQ(ne.kind_for_arch("x64"), ImageKind::ne) << "16-bit modules serve both";

    const RecipeFile x86_only = parse_recipe("kind = \"pe32\"\ndll = true\nmodule_name = \"X\"\n", "x86.toml");
    EXPECT_EQ(x86_only.kind_for_arch("x64"), std::nullopt) << "a PE32 image is not offered for x64";
}

// ---- Refusals ---------------------------------------------------------------------

struct BadRecipe {
    const char* what;
    std::string text;
    std::string key;
    std::string message;  // a part of what() that tells the problem
};

const std::string head = "kind = \"pe32\"\ndll = true\nmodule_name = \"X\"\n";
const std::string ne_head = "kind = \"ne\"\ndll = true\nmodule_name = \"X\"\n";
const std::string version_head = head + "[version]\n";

std::vector<BadRecipe> bad_recipes() {
    return {
        {"unknown kind", "kind = \"pe64\"\ndll = true\nmodule_name = \"X\"\n", "kind", "unknown kind \"pe64\""},
        {"unknown kind in a list", "kinds = [\"pe32\", \"le\"]\ndll = true\nmodule_name = \"X\"\n", "kinds[1]",
         "unknown kind"},
        {"kind twice", "kinds = [\"ne\", \"ne\"]\ndll = true\nmodule_name = \"X\"\n", "kinds[1]", "twice"},
        {"empty kinds", "kinds = []\ndll = true\nmodule_name = \"X\"\n", "kinds", "one or more"},
        {"kind and kinds", "kind = \"ne\"\nkinds = [\"ne\"]\ndll = true\nmodule_name = \"X\"\n", "kinds", "not both"},
        {"no kind", "dll = true\nmodule_name = \"X\"\n", "kind", "missing"},
        {"no dll", "kind = \"pe32\"\nmodule_name = \"X\"\n", "dll", "missing"},
        {"dll as text", "kind = \"pe32\"\ndll = \"yes\"\nmodule_name = \"X\"\n", "dll", "true or false"},
        {"no module name", "kind = \"pe32\"\ndll = true\n", "module_name", "missing"},
        {"misspelt key", head + "export = [\"A\"]\n", "export", "unknown key"},
        {"string ID over 65535", head + "[strings]\n65536 = \"x\"\n", "strings.65536", "out of range"},
        {"string ID not a number", head + "[strings]\nabc = \"x\"\n", "strings.abc", "decimal"},
        {"negative string ID", head + "[strings]\n-1 = \"x\"\n", "strings.-1", "decimal"},
        {"same ID twice", head + "[strings]\n7 = \"x\"\n007 = \"y\"\n", "strings.7", "twice"},
        {"string as number", head + "[strings]\n7 = 7\n", "strings.7", "text"},
        {"no file version", version_head + "product_version = \"1.0\"\n", "version.file_version", "missing"},
        {"letters in a version", version_head + "file_version = \"4.1.x\"\n", "version.file_version", "\"4.1.x\""},
        {"five parts", version_head + "file_version = \"4.1.0.7.1\"\n", "version.file_version", "not a version"},
        {"empty part", version_head + "file_version = \"4..1\"\n", "version.file_version", "not a version"},
        {"part over 65535", version_head + "file_version = \"4.65536\"\n", "version.file_version", "not a version"},
        {"empty version", version_head + "file_version = \"\"\n", "version.file_version", "not a version"},
        {"version as number", version_head + "file_version = 4\n", "version.file_version", "text"},
        {"bad product version", version_head + "file_version = \"1\"\nproduct_version = \"1.-2\"\n",
         "version.product_version", "not a version"},
        {"misspelt version key", version_head + "file_version = \"1\"\nfile_versoin = \"2\"\n", "version.file_versoin",
         "unknown key"},
        {"unknown OS name", version_head + "file_version = \"1\"\nfile_os = \"os2\"\n", "version.file_os",
         "unknown name"},
        {"negative type", version_head + "file_version = \"1\"\nfile_type = -1\n", "version.file_type", "out of range"},
        {"translation as a table", version_head + "file_version = \"1\"\n[version.translation]\nlanguage = 1\n",
         "version.translation", "[[version.translation]]"},
        {"translation without code page",
         version_head + "file_version = \"1\"\n[[version.translation]]\nlanguage = 0x0409\n",
         "version.translation[0].code_page", "missing"},
        {"code page of five digits",
         version_head + "file_version = \"1\"\n[[version.translation]]\nlanguage = 0x0409\ncode_page = \"04E40\"\n",
         "version.translation[0].code_page", "four hex digits"},
        {"language over a word",
         version_head + "file_version = \"1\"\n[[version.translation]]\nlanguage = 0x10409\ncode_page = 0\n",
         "version.translation[0].language", "out of range"},
        {"version value not text",
         version_head +
             "file_version = \"1\"\n[[version.translation]]\nlanguage = 0x0409\ncode_page = 0\nFileVersion = 1\n",
         "version.translation[0].FileVersion", "text"},
        {"export twice", head + "exports = [\"A\", \"B\", \"A\"]\n", "exports[2]", "twice"},
        {"nameless export", head + "exports = [\"\"]\n", "exports[0]", "name"},
        {"exports of an NE", ne_head + "exports = [\"A\"]\n", "exports", "NE"},
        {"long NE string", ne_head + "[strings]\n1 = \"" + std::string(256, 'x') + "\"\n", "strings.1", "255"},
    };
}

TEST(RecipeErrors, NameTheRecipeAndTheKeyAtFault) {
    for (const BadRecipe& bad : bad_recipes()) {
        SCOPED_TRACE(bad.what);
        try {
            parse_recipe(bad.text, "broken.toml");
            ADD_FAILURE() << "accepted";
        } catch (const RecipeError& error) {
            EXPECT_EQ(error.key(), bad.key);
            EXPECT_EQ(error.source(), "broken.toml");
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("broken.toml:", 0), 0u) << message;
            EXPECT_NE(message.find(bad.key + ": "), std::string::npos) << message;
            EXPECT_NE(message.find(bad.message), std::string::npos) << message;
        }
    }
}

TEST(RecipeErrors, PointAtTheLineOfTheBadValue) {
    try {
        parse_recipe(head + "\n[strings]\n1 = \"a\"\n99999 = \"b\"\n", "lines.toml");
        FAIL() << "accepted";
    } catch (const RecipeError& error) {
        EXPECT_EQ(error.line(), 7u);
        EXPECT_EQ(std::string(error.what()).rfind("lines.toml:7: strings.99999: ", 0), 0u) << error.what();
    }
}

TEST(RecipeErrors, TomlSyntaxIsReportedWithItsLine) {
    try {
        parse_recipe("kind = \"pe32\"\ndll = tru\n", "syntax.toml");
        FAIL() << "accepted";
    } catch (const RecipeError& error) {
        EXPECT_EQ(error.line(), 2u);
        EXPECT_EQ(error.key(), "");
        EXPECT_EQ(std::string(error.what()).rfind("syntax.toml:2: ", 0), 0u) << error.what();
    }
}

TEST(RecipeErrors, AMissingFileIsNamed) {
    try {
        mkimage::read_recipe(recipes_dir / "no-such-recipe.toml");
        FAIL() << "read";
    } catch (const RecipeError& error) {
        EXPECT_NE(std::string(error.what()).find("no-such-recipe.toml"), std::string::npos) << error.what();
    }
}

// ---- The sample components ----------------------------------------------------------

const std::set<std::string> pe_components{"orvmon.dll",   "orvmon_nostr.dll", "brg32aud.dll", "orv32dlg.exe",
                                          "orv32flt.dll", "brg32flt.dll",     "brg32res.dll", "orvproc.dll",
                                          "orvdrv.dll",   "orvdrv351.dll",    "orvdrvui.dll",     "orvcover.dll",
                                          "orvdaemon.exe"};
const std::set<std::string> ne_components{"brg16aud.dll", "aud16.dll",    "orv16dlg.exe", "orv16flt.dll",
                                          "orvpipe.dll",  "brg16flt.dll", "orvfax16.drv", "orvfax.drv"};

// Recipe file name -> the component it makes ("orvmon.dll.toml" -> "orvmon.dll").
std::vector<std::pair<std::string, std::filesystem::path>> sample_recipes() {
    std::vector<std::pair<std::string, std::filesystem::path>> out;
    for (const auto& entry : std::filesystem::directory_iterator(recipes_dir))
        if (entry.path().extension() == ".toml") out.emplace_back(entry.path().stem().string(), entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SampleComponents, EveryComponentHasARecipeOfItsKind) {
    std::set<std::string> found;
    for (const auto& [component, path] : sample_recipes()) {
        SCOPED_TRACE(component);
        found.insert(component);
        const RecipeFile file = mkimage::read_recipe(path);
        const bool program = component.ends_with(".exe");
        EXPECT_EQ(file.recipe.dll, !program);
        if (pe_components.count(component))
            EXPECT_EQ(file.kinds, (std::vector<ImageKind>{ImageKind::pe32, ImageKind::pe32_plus}))
                << "a PE component ships for x86 and x64";
        else
            EXPECT_EQ(file.kinds, std::vector<ImageKind>{ImageKind::ne});
    }
    std::set<std::string> expected = pe_components;
    expected.insert(ne_components.begin(), ne_components.end());
    EXPECT_EQ(found, expected);
}

TEST(SampleComponents, EveryImageBuildsWithAFullVersionBlock) {
    const std::vector<std::string> names{"CompanyName",      "FileDescription", "FileVersion",   "InternalName",
                                         "OriginalFilename", "ProductName",     "ProductVersion"};
    for (const auto& [component, path] : sample_recipes()) {
        SCOPED_TRACE(component);
        const RecipeFile file = mkimage::read_recipe(path);
        ASSERT_TRUE(file.recipe.version.has_value());
        const mkimage::VersionInfo& version = *file.recipe.version;
        EXPECT_NE(version.file_version.high(), 0u);
        ASSERT_EQ(version.translations.size(), 1u);
        EXPECT_EQ(version.translations[0].language, 0x0409);
        ASSERT_EQ(version.string_tables.size(), 1u);
        std::vector<std::string> given;
        for (const auto& value : version.string_tables[0].values) {
            given.push_back(value.first);
            EXPECT_FALSE(value.second.empty()) << value.first;
        }
        EXPECT_EQ(given, names);
        for (ImageKind kind : file.kinds) {
            mkimage::ImageMap map;
            const std::string image = mkimage::build_image(file.for_kind(kind), &map);
            EXPECT_NE(map.version, 0u) << mkimage::kind_name(kind);
        }
    }
}

class SampleMonitor : public testing::TestWithParam<winsim::Arch> {
protected:
    void SetUp() override {
        winsim::MachineOptions options;
        options.arch = GetParam();
        // 2000 predates PE32+ and cannot read it even for its resources; XP x64 is the
        // first system the x64 images are for.
        const bool x64 = GetParam() == winsim::Arch::x64;
        machine = winsim::Machine::create(x64 ? winsim::Platform::winxp : winsim::Platform::win2000, options);
        for (const char* name : {"orvmon.dll", "orvmon_nostr.dll"}) {
            const RecipeFile file = mkimage::read_recipe(recipes_dir / (std::string(name) + ".toml"));
            const std::optional<ImageKind> kind = file.kind_for_arch(x64 ? "x64" : "x86");
            ASSERT_TRUE(kind.has_value());
            machine->files().write_file(std::string("C:\\x\\") + name, mkimage::build_image(file.for_kind(*kind)));
        }
    }
    std::string string_300(const char* path) {
        HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_NE(module, nullptr) << GetLastError();
        if (!module) return "(not loaded)";
        char buffer[80] = "untouched";
        const int length = LoadStringA(module, 300, buffer, sizeof buffer);
        FreeLibrary(module);
        return std::string(buffer, static_cast<std::size_t>(std::max(length, 0)));
    }
    std::unique_ptr<winsim::Machine> machine;
};

TEST_P(SampleMonitor, NamesItselfInString300) {
    EXPECT_EQ(string_300("C:\\x\\orvmon.dll"), "Orvana Fax Port");
    EXPECT_EQ(string_300("C:\\x\\orvmon_nostr.dll"), "") << "the refusal sample has no name";
}

TEST_P(SampleMonitor, OffersTheEntryPointOfEverySpooler) {
    for (const char* path : {"C:\\x\\orvmon.dll", "C:\\x\\orvmon_nostr.dll"}) {
        SCOPED_TRACE(path);
        HMODULE module = LoadLibraryA(path);
        ASSERT_NE(module, nullptr) << GetLastError();
        for (const char* name : {"InitializeMonitorEx", "InitializePrintMonitor", "InitializePrintMonitor2"})
            EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
        FreeLibrary(module);
    }
}

TEST_P(SampleMonitor, ShowsItsFileVersionToTheVersionCalls) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA("C:\\x\\orvmon.dll", &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\x\\orvmon.dll", 0, size, block.data()));
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &value, &length));
    EXPECT_STREQ(static_cast<const char*>(value), "4.1.0.7");
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_GE(length, 16u);
    const auto* fixed = static_cast<const DWORD*>(value);
    EXPECT_EQ(fixed[2], 0x00040001u) << "dwFileVersionMS";
    EXPECT_EQ(fixed[3], 0x00000007u) << "dwFileVersionLS";
}

INSTANTIATE_TEST_SUITE_P(Arches, SampleMonitor, testing::Values(winsim::Arch::x86, winsim::Arch::x64),
                         [](const testing::TestParamInfo<winsim::Arch>& arch) {
                             return std::string(arch.param == winsim::Arch::x64 ? "x64" : "x86");
                         });

// The spooler components beside the monitor, each laid on a machine of its arch and read
// back through the calls the installer reads them with.
class SampleSpoolerComponents : public testing::TestWithParam<winsim::Arch> {
protected:
    void SetUp() override {
        winsim::MachineOptions options;
        options.arch = GetParam();
        const bool x64 = GetParam() == winsim::Arch::x64;
        machine = winsim::Machine::create(x64 ? winsim::Platform::winxp : winsim::Platform::win2000, options);
        for (const char* name : {"orvproc.dll", "orvdrv.dll", "orvdrvui.dll", "orvcover.dll"}) {
            const RecipeFile file = mkimage::read_recipe(recipes_dir / (std::string(name) + ".toml"));
            const std::optional<ImageKind> kind = file.kind_for_arch(x64 ? "x64" : "x86");
            ASSERT_TRUE(kind.has_value());
            machine->files().write_file(std::string("C:\\x\\") + name, mkimage::build_image(file.for_kind(*kind)));
        }
    }
    std::unique_ptr<winsim::Machine> machine;
};

std::string loaded_string(const char* path, UINT id) {
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr) << GetLastError();
    if (!module) return "(not loaded)";
    char buffer[80] = "untouched";
    const int length = LoadStringA(module, id, buffer, sizeof buffer);
    FreeLibrary(module);
    return std::string(buffer, static_cast<std::size_t>(std::max(length, 0)));
}

// dwFileVersionMS of the file's fixed version block, or 0 without one.
DWORD file_version_ms(const char* path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (!size) return 0;
    std::vector<char> block(size);
    LPVOID value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path, 0, size, block.data()) || !VerQueryValueA(block.data(), "\\", &value, &length) || length < 16)
        return 0;
    return static_cast<const DWORD*>(value)[2];
}

TEST_P(SampleSpoolerComponents, NameThemselvesWhereTheInstallerLooks) {
    EXPECT_EQ(loaded_string("C:\\x\\orvproc.dll", 700), "Orvana Print Processor");
    EXPECT_EQ(loaded_string("C:\\x\\orvdrv.dll", 800), "Orvana Print Driver");
    EXPECT_EQ(loaded_string("C:\\x\\orvdrv.dll", 700), "") << "only the processor answers 700";
}

TEST_P(SampleSpoolerComponents, TheDriverGivesTheSpoolerVersionTwo) {
    // The installer passes the low word of dwFileVersionMS as the driver version.
    EXPECT_EQ(file_version_ms("C:\\x\\orvdrv.dll") & 0xFFFF, 2u);
    for (const char* other : {"C:\\x\\orvproc.dll", "C:\\x\\orvdrvui.dll", "C:\\x\\orvcover.dll"})
        EXPECT_EQ(file_version_ms(other), 0x00040001u) << other;
}

TEST_P(SampleSpoolerComponents, OfferTheEntryPointsTheSpoolerCalls) {
    const std::vector<std::pair<const char*, std::vector<const char*>>> expected{
        {"C:\\x\\orvproc.dll",
         {"EnumPrintProcessorDatatypesW", "OpenPrintProcessor", "PrintDocumentOnPrintProcessor", "ClosePrintProcessor",
          "ControlPrintProcessor"}},
        {"C:\\x\\orvdrvui.dll", {"DrvDocumentPropertySheets", "DrvDevicePropertySheets", "DrvDeviceCapabilities"}},
    };
    for (const auto& [path, exports] : expected) {
        SCOPED_TRACE(path);
        HMODULE module = LoadLibraryA(path);
        ASSERT_NE(module, nullptr) << GetLastError();
        for (const char* name : exports) EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
        FreeLibrary(module);
    }
}

TEST_P(SampleSpoolerComponents, TheSpoolerTakesTheProcessorUnderItsName) {
    char directory[MAX_PATH];
    DWORD needed = 0;
    ASSERT_TRUE(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed));
    ASSERT_TRUE(CopyFileA("C:\\x\\orvproc.dll", (std::string(directory) + "\\orvproc.dll").c_str(), TRUE));
    std::string name = loaded_string("C:\\x\\orvproc.dll", 700);
    EXPECT_TRUE(AddPrintProcessorA(nullptr, nullptr, const_cast<char*>("orvproc.dll"), name.data())) << GetLastError();
}

INSTANTIATE_TEST_SUITE_P(Arches, SampleSpoolerComponents, testing::Values(winsim::Arch::x86, winsim::Arch::x64),
                         [](const testing::TestParamInfo<winsim::Arch>& arch) {
                             return std::string(arch.param == winsim::Arch::x64 ? "x64" : "x86");
                         });

TEST(SampleSixteenBitDriver, ShowsItsVersionOn98) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    const RecipeFile file = mkimage::read_recipe(recipes_dir / "orvfax.drv.toml");
    machine->files().write_file("C:\\WINDOWS\\SYSTEM\\ORVFAX.DRV", mkimage::build_image(file.for_kind(ImageKind::ne)));
    EXPECT_EQ(file_version_ms("C:\\WINDOWS\\SYSTEM\\ORVFAX.DRV"), 0x00040001u);
}

}  // namespace
