// Images built by mkimage, laid on the simulated disk and loaded as Windows loads
// them: as code or as data file, found by path or by the search order, with their
// string tables and exports read back through the Win32 calls.
#include <mkimage/image.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using mkimage::ImageKind;
using mkimage::ImageRecipe;
using winsim::Arch;
using winsim::Machine;
using winsim::Platform;

constexpr DWORD untouched = 0xDEADBEEF;
constexpr DWORD error_bad_format = 11;

ImageRecipe monitor_dll(ImageKind kind) {
    ImageRecipe recipe;
    recipe.kind = kind;
    recipe.module_name = "ORVMON";
    recipe.strings = {{1, "Printer port monitor"}, {15, "Last of the first block"},
                      {16, "First of the second block"}, {4000, "Far away"}};
    if (kind != ImageKind::ne) recipe.exports = {"InitializePrintMonitor", "AddPortUI", "ConfigurePortUI"};
    return recipe;
}

std::unique_ptr<Machine> machine_for(ImageKind kind) {
    winsim::MachineOptions options;
    options.arch = kind == ImageKind::pe32_plus ? Arch::x64 : Arch::x86;
    // A 16-bit module loads into a Win32 process only under Win32s.
    return Machine::create(kind == ImageKind::ne ? Platform::win32s : Platform::winxp, options);
}

struct Loaded {
    HMODULE module;
    DWORD error;
};

Loaded load(const char* path, DWORD flags = 0) {
    SetLastError(untouched);
    HMODULE module = flags ? LoadLibraryExA(path, nullptr, flags) : LoadLibraryA(path);
    return {module, GetLastError()};
}

// The text of `id`, read into a buffer of `size` characters that must not be written
// past, with the length LoadStringA answers checked against it.
std::string load_string(HMODULE module, UINT id, int size = 100) {
    std::string buffer(static_cast<std::size_t>(size) + 4, '#');
    int length = LoadStringA(module, id, buffer.data(), size);
    EXPECT_GE(length, 0);
    EXPECT_EQ(buffer[static_cast<std::size_t>(length)], '\0') << id;
    EXPECT_EQ(buffer.substr(static_cast<std::size_t>(size)), "####") << "written past the buffer for " << id;
    return buffer.substr(0, static_cast<std::size_t>(length));
}

// ---- Round trips on every kind --------------------------------------------------------

class EveryKind : public testing::TestWithParam<ImageKind> {
protected:
    void SetUp() override {
        machine = machine_for(GetParam());
        machine->files().write_file("C:\\Drivers\\ORVMON.DLL", mkimage::build_image(monitor_dll(GetParam())));
    }
    // The way this kind is loaded for its resources: as data file for PE, as code
    // for a 16-bit module (the only way there is).
    HMODULE load_for_resources() {
        Loaded loaded = load("C:\\Drivers\\ORVMON.DLL", GetParam() == ImageKind::ne ? 0 : LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_NE(loaded.module, nullptr) << "error " << loaded.error;
        return loaded.module;
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(EveryKind, StringsReadBackWholeAndCutToTheBuffer) {
    HMODULE module = load_for_resources();
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(load_string(module, 1), "Printer port monitor");
    EXPECT_EQ(load_string(module, 15), "Last of the first block");
    EXPECT_EQ(load_string(module, 16), "First of the second block");
    EXPECT_EQ(load_string(module, 4000), "Far away");
    EXPECT_EQ(load_string(module, 1, 8), "Printer") << "8 characters hold 7 and the terminator";
    EXPECT_EQ(load_string(module, 1, 1), "");
    EXPECT_EQ(load_string(module, 1, 21), "Printer port monitor") << "exactly enough";
    EXPECT_EQ(load_string(module, 1, 20), "Printer port monito");
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

TEST_P(EveryKind, MissingIdsAreEmptyAndTheErrorTellsHowFarTheLookupGot) {
    HMODULE module = load_for_resources();
    ASSERT_NE(module, nullptr);
    SetLastError(untouched);
    EXPECT_EQ(load_string(module, 2), "");
    EXPECT_EQ(GetLastError(), untouched) << "the block of 2 is there, only its slot is empty";
    EXPECT_EQ(load_string(module, 40), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND)) << "no block 3";
    EXPECT_EQ(load_string(module, 0x10000 + 1), "Printer port monitor") << "only the low word is an ID";
    FreeLibrary(module);
}

std::string kind_name(const testing::TestParamInfo<ImageKind>& kind) {
    return kind.param == ImageKind::pe32 ? "pe32" : kind.param == ImageKind::pe32_plus ? "pe32_plus" : "ne";
}

INSTANTIATE_TEST_SUITE_P(Images, EveryKind, testing::Values(ImageKind::pe32, ImageKind::pe32_plus, ImageKind::ne), kind_name);

// ---- PE as code -------------------------------------------------------------------------

class NativePe : public testing::TestWithParam<ImageKind> {
protected:
    void SetUp() override {
        machine = machine_for(GetParam());
        machine->files().write_file("C:\\Drivers\\ORVMON.DLL", mkimage::build_image(monitor_dll(GetParam())));
    }
    std::unique_ptr<Machine> machine;
};

TEST_P(NativePe, ExportsAreFoundByNameAndNothingElseIs) {
    Loaded loaded = load("C:\\Drivers\\ORVMON.DLL");
    ASSERT_NE(loaded.module, nullptr) << loaded.error;
    for (const char* name : {"InitializePrintMonitor", "AddPortUI", "ConfigurePortUI"})
        EXPECT_NE(GetProcAddress(loaded.module, name), nullptr) << name;
    for (const char* name : {"DeletePortUI", "initializeprintmonitor", "AddPort", ""}) {
        SetLastError(untouched);
        EXPECT_EQ(GetProcAddress(loaded.module, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
    }
    EXPECT_EQ(load_string(loaded.module, 16), "First of the second block") << "a module loaded as code has its strings too";
    FreeLibrary(loaded.module);
}

TEST_P(NativePe, ADataFileHasNoExports) {
    Loaded loaded = load("C:\\Drivers\\ORVMON.DLL", LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(loaded.module, nullptr);
    EXPECT_EQ(GetProcAddress(loaded.module, "AddPortUI"), nullptr);
    FreeLibrary(loaded.module);
}

TEST_P(NativePe, CallingAnExportFailsLoudly) {
    Loaded loaded = load("C:\\Drivers\\ORVMON.DLL");
    ASSERT_NE(loaded.module, nullptr);
    FARPROC function = GetProcAddress(loaded.module, "AddPortUI");
    ASSERT_NE(function, nullptr);
    SetLastError(0xDEADBEEF);
    testing::internal::CaptureStderr();
    EXPECT_EQ(function(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not simulated"), std::string::npos);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    FreeLibrary(loaded.module);
}

TEST_P(NativePe, LoadingTwiceSharesTheModuleUntilTheLastFree) {
    Loaded first = load("C:\\Drivers\\ORVMON.DLL");
    Loaded again = load("c:\\drivers\\orvmon.dll");
    Loaded by_name = load("ORVMON");
    ASSERT_NE(first.module, nullptr);
    EXPECT_EQ(again.module, first.module);
    EXPECT_EQ(by_name.module, first.module) << "a bare name finds the loaded module wherever it came from";
    Loaded as_data = load("C:\\Drivers\\ORVMON.DLL", LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(as_data.module, first.module);
    EXPECT_EQ(machine->loaded_modules(), 2u);
    EXPECT_TRUE(FreeLibrary(first.module));
    EXPECT_TRUE(FreeLibrary(first.module));
    EXPECT_NE(GetProcAddress(first.module, "AddPortUI"), nullptr) << "one reference is left";
    EXPECT_TRUE(FreeLibrary(first.module));
    EXPECT_FALSE(FreeLibrary(first.module));
    FreeLibrary(as_data.module);
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Images, NativePe, testing::Values(ImageKind::pe32, ImageKind::pe32_plus), kind_name);

// ---- What does not load as code -------------------------------------------------------

TEST(DiskModules, TheOtherArchitectureIsRefusedAsCodeButReadAsData) {
    struct Case {
        ImageKind kind;
        Arch arch;
    } cases[] = {{ImageKind::pe32, Arch::x64}, {ImageKind::pe32_plus, Arch::x86}};
    for (const Case& c : cases) {
        winsim::MachineOptions options;
        options.arch = c.arch;
        auto machine = Machine::create(Platform::win7, options);
        machine->files().write_file("C:\\Drivers\\ORVMON.DLL", mkimage::build_image(monitor_dll(c.kind)));
        Loaded code = load("C:\\Drivers\\ORVMON.DLL");
        EXPECT_EQ(code.module, nullptr) << winsim::arch_name(c.arch);
        EXPECT_EQ(code.error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
        Loaded unresolved = load("C:\\Drivers\\ORVMON.DLL", DONT_RESOLVE_DLL_REFERENCES);
        EXPECT_EQ(unresolved.module, nullptr) << "DONT_RESOLVE_DLL_REFERENCES still maps the image as code";
        Loaded data = load("C:\\Drivers\\ORVMON.DLL", LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(data.module, nullptr) << winsim::arch_name(c.arch);
        EXPECT_EQ(load_string(data.module, 4000), "Far away");
        FreeLibrary(data.module);
        EXPECT_EQ(machine->loaded_modules(), 0u);
    }
}

TEST(DiskModules, ASystemBefore64BitWindowsCannotReadPe32PlusAtAll) {
    auto machine = Machine::create(Platform::nt4);
    machine->files().write_file("C:\\x64.dll", mkimage::build_image(monitor_dll(ImageKind::pe32_plus)));
    EXPECT_EQ(load("C:\\x64.dll", LOAD_LIBRARY_AS_DATAFILE).error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}

TEST(DiskModules, ASixteenBitModuleLoadsOnlyUnderWin32s) {
    const std::string ne = mkimage::build_image(monitor_dll(ImageKind::ne));
    struct Case {
        Platform platform;
        DWORD error;
    } refused[] = {{Platform::nt4, ERROR_BAD_EXE_FORMAT}, {Platform::winxp, ERROR_BAD_EXE_FORMAT},
                   {Platform::win95, error_bad_format}, {Platform::winme, error_bad_format}};
    for (const Case& c : refused) {
        auto machine = Machine::create(c.platform);
        machine->files().write_file("C:\\ORV16.DLL", ne);
        for (DWORD flags : {0u, static_cast<DWORD>(LOAD_LIBRARY_AS_DATAFILE)}) {
            Loaded loaded = load("C:\\ORV16.DLL", flags);
            EXPECT_EQ(loaded.module, nullptr) << winsim::platform_info(c.platform).name << " flags " << flags;
            EXPECT_EQ(loaded.error, c.error) << winsim::platform_info(c.platform).name << " flags " << flags;
        }
    }
    auto machine = Machine::create(Platform::win32s);
    machine->files().write_file("C:\\ORV16.DLL", ne);
    Loaded loaded = load("C:\\ORV16.DLL");
    ASSERT_NE(loaded.module, nullptr);
    EXPECT_EQ(loaded.error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << "Win32s says it is a 16-bit module";
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetProcAddress(loaded.module, "WEP"), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("16-bit"), std::string::npos);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    FreeLibrary(loaded.module);
}

TEST(DiskModules, WhatIsNoImageFailsAsWindowsFailsIt) {
    auto machine = Machine::create(Platform::win2000);
    machine->files().write_file("C:\\readme.dll", "This is text.\r\n");
    machine->files().write_file("C:\\dos.dll", mkimage::mz_only());
    std::string cut = mkimage::build_image(monitor_dll(ImageKind::pe32));
    cut.resize(mkimage::pe_layout({}).optional_header + 10);
    machine->files().write_file("C:\\cut.dll", cut);
    machine->files().make_directories("C:\\folder.dll");
    for (const char* path : {"C:\\readme.dll", "C:\\dos.dll", "C:\\cut.dll"}) {
        for (DWORD flags : {0u, static_cast<DWORD>(LOAD_LIBRARY_AS_DATAFILE)}) {
            Loaded loaded = load(path, flags);
            EXPECT_EQ(loaded.module, nullptr) << path;
            EXPECT_EQ(loaded.error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << path;
        }
    }
    EXPECT_EQ(load("C:\\missing.dll").error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(load("C:\\no\\such\\dir\\x.dll").error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(load("missing").error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(load("C:\\folder.dll").error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

TEST(DiskModules, AnImageWithoutResourcesHasNoStrings) {
    auto machine = Machine::create(Platform::winxp);
    ImageRecipe bare;
    bare.exports = {"Only"};
    machine->files().write_file("C:\\bare.dll", mkimage::build_image(bare));
    Loaded loaded = load("C:\\bare.dll");
    ASSERT_NE(loaded.module, nullptr);
    SetLastError(untouched);
    EXPECT_EQ(load_string(loaded.module, 1), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_NE(GetProcAddress(loaded.module, "Only"), nullptr);
    FreeLibrary(loaded.module);

    ImageRecipe version_only;
    version_only.version = mkimage::VersionInfo{};
    machine->files().write_file("C:\\version.dll", mkimage::build_image(version_only));
    loaded = load("C:\\version.dll", LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(loaded.module, nullptr);
    EXPECT_EQ(load_string(loaded.module, 1), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    FreeLibrary(loaded.module);
}

// ---- Where a module is found ----------------------------------------------------------

std::string dll_saying(const char* text) {
    ImageRecipe recipe;
    recipe.strings = {{1, text}};
    return mkimage::build_image(recipe);
}

std::string found_text(const char* name) {
    Loaded loaded = load(name, LOAD_LIBRARY_AS_DATAFILE);
    if (!loaded.module) return "error " + std::to_string(loaded.error);
    std::string text = load_string(loaded.module, 1);
    FreeLibrary(loaded.module);
    return text;
}

TEST(SearchOrder, ABareNameIsFoundInTheWindowsOrder) {
    auto machine = Machine::create(Platform::winxp);
    auto& files = machine->files();
    files.write_file("C:\\WINNT\\ORVUI.DLL", dll_saying("windows"));
    EXPECT_EQ(found_text("ORVUI.DLL"), "windows");
    files.write_file("C:\\WINNT\\SYSTEM\\ORVUI.DLL", dll_saying("system16"));
    EXPECT_EQ(found_text("orvui.dll"), "system16") << "NT's 16-bit system directory comes before Windows'";
    files.write_file("C:\\WINNT\\system32\\ORVUI.DLL", dll_saying("system32"));
    EXPECT_EQ(found_text("ORVUI"), "system32") << "the extension .DLL is added to a bare name";
    files.write_file("C:\\ORVUI.DLL", dll_saying("current"));
    EXPECT_EQ(found_text("ORVUI.DLL"), "current") << "the program's and the current directory come first";
    files.write_file("C:\\Other\\ORVUI.DLL", dll_saying("other"));
    EXPECT_EQ(found_text("C:\\Other\\ORVUI.DLL"), "other") << "a path is used as it is";
    EXPECT_EQ(found_text("C:\\Elsewhere\\ORVUI.DLL"), "error 2") << "and nothing else is searched: a data file not found";
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

// A name with a path in it is looked for where it points from the current directory,
// and nowhere else (Wine's module.c: "1\\winetestdll.dll" and "C:1\\winetestdll.dll"
// load from the current directory; the Win32 reference of LoadLibrary: a path that
// does not hold the file fails). A file's name followed by "\\" names no file: NT's
// file system refuses it (Wine's ntdll path.c, test_nt_names), so it fails as a file
// that is not there: 126 as code; as a data file 2, or 6 on NT 4.0 (Wine's module.c,
// testLoadLibraryEx). 95/98 are taken to refuse it too (unconfirmed).
class RelativeNames : public testing::TestWithParam<Platform> {};

TEST_P(RelativeNames, AreTakenFromTheCurrentDirectoryOnly) {
    auto machine = Machine::create(GetParam());
    auto& files = machine->files();
    const std::string system(winsim::platform_info(GetParam()).system_directory);
    files.write_file("C:\\SETUP\\orvmon.dll", dll_saying("setup"));
    files.write_file("C:\\SETUP\\SUB\\m.dll", dll_saying("sub"));
    files.write_file(system + "\\SUB\\elsewhere.dll", dll_saying("system"));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\SETUP"));
    for (const char* name : {"SUB\\m.dll", "SUB/m.dll"}) EXPECT_EQ(found_text(name), "sub") << name;
    for (const char* name : {".\\orvmon.dll", "C:orvmon.dll", "..\\SETUP\\orvmon.dll", "\\SETUP\\orvmon.dll"})
        EXPECT_EQ(found_text(name), "setup") << name;
    EXPECT_EQ(load("SUB\\elsewhere.dll").error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND))
        << "a relative path is not searched for along the search order";
    Loaded as_code = load("SUB\\m.dll");
    ASSERT_NE(as_code.module, nullptr) << as_code.error;
    EXPECT_EQ(as_code.error, untouched) << "a load that succeeds leaves the last error";
    Loaded again = load("C:\\SETUP\\SUB\\m.dll");
    EXPECT_EQ(again.module, as_code.module) << "one file, one module, whatever name found it";
    FreeLibrary(again.module);
    FreeLibrary(as_code.module);
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

TEST_P(RelativeNames, AFileNameFollowedByABackslashIsRefused) {
    auto machine = Machine::create(GetParam());
    machine->files().write_file("C:\\SETUP\\orvmon.dll", dll_saying("setup"));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\SETUP"));
    const bool nt4_or_earlier = machine->is_nt() && winsim::platform_info(GetParam()).major < 5;
    const DWORD data_file_missing = nt4_or_earlier ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND;
    for (const char* name : {"C:\\SETUP\\orvmon.dll\\", "orvmon.dll\\", ".\\orvmon.dll/", "C:\\SETUP\\absent.dll"}) {
        Loaded as_code = load(name);
        EXPECT_EQ(as_code.module, nullptr) << name;
        EXPECT_EQ(as_code.error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
        Loaded as_data = load(name, LOAD_LIBRARY_AS_DATAFILE);
        EXPECT_EQ(as_data.module, nullptr) << name;
        EXPECT_EQ(as_data.error, data_file_missing) << name;
    }
    EXPECT_EQ(found_text("C:\\SETUP\\orvmon.dll"), "setup") << "the file itself loads";
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Platforms, RelativeNames,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

TEST(SearchOrder, Windows9xHasOneSystemDirectory) {
    auto machine = Machine::create(Platform::win98);
    machine->files().write_file("C:\\WINDOWS\\ORVUI.DLL", dll_saying("windows"));
    machine->files().write_file("C:\\WINDOWS\\SYSTEM\\ORVUI.DLL", dll_saying("system"));
    EXPECT_EQ(found_text("ORVUI.DLL"), "system");
}

TEST(SearchOrder, TwoFilesOfOneNameAreTwoModulesWhenLoadedByPath) {
    auto machine = Machine::create(Platform::winxp);
    machine->files().write_file("C:\\A\\ORVUI.DLL", dll_saying("a"));
    machine->files().write_file("C:\\B\\ORVUI.DLL", dll_saying("b"));
    Loaded a = load("C:\\A\\ORVUI.DLL", LOAD_LIBRARY_AS_DATAFILE);
    Loaded b = load("C:\\B\\ORVUI.DLL", LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(a.module, nullptr);
    ASSERT_NE(b.module, nullptr);
    EXPECT_NE(a.module, b.module);
    EXPECT_EQ(load_string(a.module, 1), "a");
    EXPECT_EQ(load_string(b.module, 1), "b");
    FreeLibrary(a.module);
    FreeLibrary(b.module);
}

TEST(SearchOrder, TheHostsOwnModulesKeepTheirNames) {
    auto machine = Machine::create(Platform::winxp);
    machine->files().write_file("C:\\OrvInstl.dll", dll_saying("from disk"));
    machine->files().write_file("C:\\WINNT\\system32\\SETUPAPI.DLL", dll_saying("from disk"));
    for (const char* name : {"C:\\OrvInstl.dll", "OrvInstl.dll"}) {
        Loaded library = load(name, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(library.module, nullptr);
        EXPECT_NE(load_string(library.module, 2, 500), "") << "the library's own string table";
        EXPECT_NE(load_string(library.module, 1, 500), "from disk");
        FreeLibrary(library.module);
    }
    Loaded setupapi = load("SETUPAPI.DLL");
    ASSERT_NE(setupapi.module, nullptr);
    EXPECT_NE(GetProcAddress(setupapi.module, "IsUserAdmin"), nullptr) << "the simulated SETUPAPI, not the file";
    FreeLibrary(setupapi.module);
}

// ---- Broken images ---------------------------------------------------------------------

// Each breaks one field of the resource tree; LoadStringA must answer without reading
// outside the image (the sanitizer build watches for that).
struct Breakage {
    const char* what;
    std::size_t offset;  // from the root directory
    std::uint32_t value;
    bool word = false;
};

TEST(BrokenImages, ACorruptResourceTreeReadsAsMissingStrings) {
    // One type, one block: root at 0, type directory at 0x18, language directory at
    // 0x30, data entry at 0x48.
    const Breakage breakages[] = {
        {"type entry pointing past the section", 16 + 4, 0x80000000u | 0x7FFFFFF0u},
        {"type entry pointing at the last bytes", 16 + 4, 0x80000000u | 0x1FC},
        {"type entry that is a leaf", 16 + 4, 0x20},
        {"more entries than the section holds", 14, 0xFFFF, true},
        {"name entry pointing past the section", 0x18 + 16 + 4, 0x80000000u | 0xFFFFFF},
        {"language entry that is a directory", 0x30 + 16 + 4, 0x80000000u | 0x30},
        {"data entry RVA past the image", 0x48, 0x7FFFFFF0u},
        {"data entry size past the image", 0x4C, 0xFFFFFFF0u},
        {"data entry size just over the section", 0x4C, 0x1000},
    };
    ImageRecipe recipe;
    recipe.strings = {{1, "One"}, {2, "Two"}};
    mkimage::ImageMap map;
    const std::string good = mkimage::build_image(recipe, &map);
    ASSERT_NE(map.resources, 0u);
    for (const Breakage& b : breakages) {
        auto machine = Machine::create(Platform::winxp);
        std::string image = good;
        if (b.word)
            mkimage::put16(image, map.resources + b.offset, static_cast<std::uint16_t>(b.value));
        else
            mkimage::put32(image, map.resources + b.offset, b.value);
        machine->files().write_file("C:\\broken.dll", image);
        Loaded loaded = load("C:\\broken.dll", LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(loaded.module, nullptr) << b.what;
        std::string text = load_string(loaded.module, 1);
        EXPECT_TRUE(text.empty() || text == "One") << b.what << ": " << text;
        FreeLibrary(loaded.module);
    }
}

TEST(BrokenImages, AStringBlockCutShortEndsWhereItEnds) {
    ImageRecipe recipe;
    recipe.strings = {{0, "Zero"}, {1, "One"}};
    mkimage::ImageMap map;
    std::string image = mkimage::build_image(recipe, &map);
    // The block's data follows its data entry; the first string's length claims far
    // more characters than the block holds.
    const std::size_t data_entry = map.resources + 0x48;
    const std::size_t block = map.resources + (mkimage::get32(image, data_entry) - 0x2000);
    ASSERT_EQ(mkimage::get16(image, block), 4u) << "the layout this test expects";
    mkimage::put16(image, block, 0xFFFF);
    auto machine = Machine::create(Platform::winxp);
    machine->files().write_file("C:\\cut.dll", image);
    Loaded loaded = load("C:\\cut.dll", LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(loaded.module, nullptr);
    EXPECT_EQ(load_string(loaded.module, 0), "");
    EXPECT_EQ(load_string(loaded.module, 1), "");
    FreeLibrary(loaded.module);
}

TEST(BrokenImages, ACorruptNeResourceTableReadsAsMissingStrings) {
    mkimage::ImageMap map;
    const std::string good = mkimage::build_image(monitor_dll(ImageKind::ne), &map);
    ASSERT_NE(map.resources, 0u);
    const Breakage breakages[] = {
        {"shift past 15", 0, 40, true},
        {"more names than the table holds", 2 + 2, 0xFFFF, true},
        {"resource offset past the file", 2 + 8, 0xFFFF, true},
        {"resource length past the file", 2 + 8 + 2, 0xFFFF, true},
        {"no end of types", 2 + 8 + 12 * 3, 0x8123, true},
    };
    for (const Breakage& b : breakages) {
        auto machine = Machine::create(Platform::win32s);
        std::string image = good;
        mkimage::put16(image, map.resources + b.offset, static_cast<std::uint16_t>(b.value));
        image.resize(map.resources + map.resources_size + 64);  // the end of the file right after the table
        machine->files().write_file("C:\\broken.dll", image);
        Loaded loaded = load("C:\\broken.dll");
        ASSERT_NE(loaded.module, nullptr) << b.what;
        EXPECT_EQ(load_string(loaded.module, 1), "") << b.what;
        EXPECT_EQ(load_string(loaded.module, 4000), "") << b.what;
        FreeLibrary(loaded.module);
    }
}

// ---- mkimage's own layout ----------------------------------------------------------------

TEST(BuildImage, PeHeadersDescribeTheSections) {
    for (ImageKind kind : {ImageKind::pe32, ImageKind::pe32_plus}) {
        ImageRecipe recipe = monitor_dll(kind);
        recipe.version = mkimage::VersionInfo{};
        mkimage::PeHeaders headers;
        headers.plus = kind == ImageKind::pe32_plus;
        const mkimage::PeLayout layout = mkimage::pe_layout(headers, 3);
        const std::string image = mkimage::build_image(recipe);
        EXPECT_EQ(image.size() % 0x200, 0u) << "sections end on the file alignment";
        EXPECT_EQ(mkimage::get16(image, layout.coff_header + 2), 3u);
        EXPECT_TRUE(mkimage::get16(image, layout.coff_header + mkimage::coff_characteristics_offset) & mkimage::file_dll);
        const std::uint32_t size_of_image = mkimage::get32(image, layout.optional_header + mkimage::optional_size_of_image_offset);
        std::uint32_t end = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::size_t section = layout.section_table + i * mkimage::section_header_size;
            const std::uint32_t rva = mkimage::get32(image, section + 12);
            EXPECT_EQ(rva % 0x1000, 0u);
            EXPECT_GE(rva, end) << "sections do not overlap";
            end = rva + mkimage::get32(image, section + 8);
            EXPECT_LE(mkimage::get32(image, section + 20) + mkimage::get32(image, section + 16), image.size());
        }
        EXPECT_EQ(size_of_image, mkimage::align_up(end, 0x1000));
        EXPECT_EQ(mkimage::get32(image, layout.optional_header + 64), 0u) << "checksum";
    }
}

TEST(BuildImage, WhatAFormatCannotHoldIsRefused) {
    ImageRecipe ne = monitor_dll(ImageKind::ne);
    ne.exports = {"WEP"};
    EXPECT_THROW(mkimage::build_image(ne), std::invalid_argument);
    ne = monitor_dll(ImageKind::ne);
    ne.strings[3] = std::string(256, 'x');
    EXPECT_THROW(mkimage::build_image(ne), std::invalid_argument);
    ImageRecipe twice;
    twice.exports = {"Same", "Same"};
    EXPECT_THROW(mkimage::build_image(twice), std::invalid_argument);
}

}  // namespace
