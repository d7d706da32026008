// The resource thunk as a setup program reaches it: loaded by name from the machine,
// its export found and called on the sample 16-bit driver and on damaged copies of it.
#include "support/components.h"

#include <brg32res.h>
#include <mkimage/image.h>
#include <winsim/images/modules.h>
#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using winsim::Machine;
using winsim::Platform;

constexpr char module_path[] = "C:\\ORVFAX\\orvfax16.drv";

// The sample driver's strings, as its recipe gives them.
const std::pair<UINT, std::string> sample_strings[] = {
    {520, "orvfax16.ini"}, {521, "Fax Owner"}, {522, "Fax Diagnostics"},
    {523, "Docket Library"}, {524, "Cover Pages"}, {525, "Station ID"},
};

std::string system_file(const Machine& machine, const char* name) {
    return std::string(machine.platform_info().system_directory) + "\\" + name;
}

// A machine with the thunk shipped into its system directory and the sample driver
// laid out at module_path.
std::unique_ptr<Machine> machine_with_thunk(Platform platform) {
    auto machine = Machine::create(platform);
    machine->files().write_file(system_file(*machine, "brg32res.dll"), testing_support::sample_component("brg32res.dll"));
    machine->files().make_directories("C:\\ORVFAX");
    machine->files().write_file(module_path, testing_support::sample_component("orvfax16.drv"));
    return machine;
}

// The export as a setup program finds it; the module stays loaded for the test.
LoadString32_16Function thunk_function() {
    HMODULE thunk = LoadLibraryA("brg32res.dll");
    if (!thunk) return nullptr;
    return reinterpret_cast<LoadString32_16Function>(reinterpret_cast<void (*)()>(GetProcAddress(thunk, "LoadString32_16")));
}

// What one call answers: the result and the buffer's text up to its first NUL.
struct Answer {
    int result;
    std::string text;
};

Answer call(LoadString32_16Function load, const char* path, UINT id, int buffer_size = 80) {
    char buffer[300];
    std::memset(buffer, 0xDE, sizeof buffer);
    int result = load(path, id, buffer, buffer_size);
    std::size_t end = std::find(buffer, buffer + buffer_size, '\0') - buffer;
    EXPECT_LT(end, static_cast<std::size_t>(buffer_size)) << "no terminator inside the buffer";
    EXPECT_EQ(static_cast<unsigned char>(buffer[buffer_size]), 0xDE) << "written past the buffer";
    return {result, std::string(buffer, std::min<std::size_t>(end, buffer_size))};
}

class ThunkOnPlatform : public ::testing::TestWithParam<Platform> {};

TEST_P(ThunkOnPlatform, ReadsEverySampleString) {
    auto machine = machine_with_thunk(GetParam());
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    for (const auto& [id, text] : sample_strings) {
        Answer answer = call(load, module_path, id);
        EXPECT_EQ(answer.result, static_cast<int>(text.size())) << id;
        EXPECT_EQ(answer.text, text) << id;
    }
}

TEST_P(ThunkOnPlatform, ReadsTheSixteenBitDriversModelName) {
    auto machine = machine_with_thunk(GetParam());
    machine->files().write_file("C:\\ORVFAX\\orvfax.drv", testing_support::sample_component("orvfax.drv"));
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    const Answer answer = call(load, "C:\\ORVFAX\\orvfax.drv", 1);
    EXPECT_EQ(answer.text, "Orvana Win98 Driver");
    EXPECT_EQ(answer.result, static_cast<int>(answer.text.size()));
}

TEST_P(ThunkOnPlatform, IsMissingWithoutItsFile) {
    auto machine = Machine::create(GetParam());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryA("brg32res.dll"), nullptr);
    // Windows answers a module it cannot find with 126 on every version (LoadLibraryA's
    // documentation; Wine's loader tests).
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

INSTANTIATE_TEST_SUITE_P(Platforms, ThunkOnPlatform,
                         ::testing::Values(Platform::win95, Platform::win98, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

TEST(Thunk, IsFoundWhereverTheSearchOrderFindsItsFile) {
    auto machine = Machine::create(Platform::win98);
    machine->files().make_directories("C:\\SETUP");
    machine->files().write_file("C:\\SETUP\\brg32res.dll", testing_support::sample_component("brg32res.dll"));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryA("brg32res.dll"), nullptr) << "a folder outside the search order";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE by_path = LoadLibraryA("C:\\SETUP\\brg32res.dll");
    ASSERT_NE(by_path, nullptr);
    EXPECT_NE(GetProcAddress(by_path, "LoadString32_16"), nullptr);
    EXPECT_TRUE(FreeLibrary(by_path));
    EXPECT_TRUE(SetCurrentDirectoryA("C:\\SETUP"));
    HMODULE beside_setup = LoadLibraryA("brg32res.dll");
    EXPECT_NE(beside_setup, nullptr) << "the current directory is searched";
    EXPECT_TRUE(FreeLibrary(beside_setup));
    EXPECT_EQ(machine->loaded_modules(), 0u);
}

TEST(Thunk, CutsToTheBufferAsLoadStringDoes) {
    auto machine = machine_with_thunk(Platform::win95);
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    const std::string text = "Fax Diagnostics";
    const int length = static_cast<int>(text.size());
    struct Case {
        int buffer_size;
        int result;
        std::string text;
    } cases[] = {
        {1, 0, ""},
        {2, 1, "F"},
        {length, length - 1, text.substr(0, text.size() - 1)},
        {length + 1, length, text},
        {length + 2, length, text},
    };
    for (const Case& c : cases) {
        Answer answer = call(load, module_path, 522, c.buffer_size);
        EXPECT_EQ(answer.result, c.result) << c.buffer_size;
        EXPECT_EQ(answer.text, c.text) << c.buffer_size;
    }
    // No room at all: nothing is written, not even the terminator.
    char untouched[4] = {'\x7F', '\x7F', '\x7F', '\x7F'};
    EXPECT_EQ(load(module_path, 522, untouched, 0), 0);
    EXPECT_EQ(load(module_path, 522, untouched, -5), 0);
    EXPECT_EQ(untouched[0], '\x7F');
    EXPECT_EQ(load(module_path, 522, nullptr, 80), 0);
}

TEST(Thunk, AnswersNothingForIdsTheModuleLacks) {
    auto machine = machine_with_thunk(Platform::win98);
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    // 519 and 526 share blocks with the sample's strings (empty slots); 1, 1000 and
    // 65535 have no block; 520 + 65536 would be 520 if the ID were cut to 16 bits.
    for (UINT id : {519u, 526u, 527u, 1u, 1000u, 65535u, 520u + 65536u}) {
        Answer answer = call(load, module_path, id);
        EXPECT_EQ(answer.result, 0) << id;
        EXPECT_EQ(answer.text, "") << id;
    }
}

TEST(Thunk, AnswersNothingForFilesThatAreNoSixteenBitModule) {
    auto machine = machine_with_thunk(Platform::win95);
    mkimage::ImageRecipe pe;
    pe.strings[520] = "orvfax32.ini";
    machine->files().write_file("C:\\ORVFAX\\pe32.dll", mkimage::build_image(pe));
    machine->files().write_file("C:\\ORVFAX\\notes.txt", "MZ but nothing more of an image");
    machine->files().write_file("C:\\ORVFAX\\empty.drv", "");
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    for (const char* path : {"C:\\ORVFAX\\pe32.dll", "C:\\ORVFAX\\notes.txt", "C:\\ORVFAX\\empty.drv",
                             "C:\\ORVFAX\\absent.drv", "C:\\ORVFAX", "", "C:\\NOWHERE\\orvfax16.drv"}) {
        Answer answer = call(load, path, 520);
        EXPECT_EQ(answer.result, 0) << path;
        EXPECT_EQ(answer.text, "") << path;
    }
    EXPECT_EQ(call(load, nullptr, 520).result, 0);
    EXPECT_EQ(machine->open_handles(), 0u) << "every file the thunk opened is closed";
}

TEST(Thunk, ReadsTheModuleRelativeToTheCurrentDirectory) {
    auto machine = machine_with_thunk(Platform::win98);
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\ORVFAX"));
    EXPECT_EQ(call(load, "orvfax16.drv", 525).text, "Station ID");
}

// Every prefix of the sample, and the sample with each byte in turn replaced: the
// thunk finds a string only where the whole of it is there, and otherwise answers 0,
// never reading outside the file (the sanitizer build watches the buffers).
TEST(Thunk, DamagedModulesNeverGiveMoreThanTheyHold) {
    auto machine = machine_with_thunk(Platform::win95);
    LoadString32_16Function load = thunk_function();
    ASSERT_NE(load, nullptr);
    const std::string sample = testing_support::sample_component("orvfax16.drv");
    ASSERT_FALSE(sample.empty());
    const std::string whole = "Cover Pages";
    const std::size_t text_end = sample.find(whole) + whole.size();
    ASSERT_NE(sample.find(whole), std::string::npos);
    const char* damaged = "C:\\ORVFAX\\damaged.drv";
    for (std::size_t size = 0; size < sample.size(); ++size) {
        machine->files().write_file(damaged, std::string_view(sample).substr(0, size));
        Answer answer = call(load, damaged, 524);
        if (size < text_end) {
            EXPECT_EQ(answer.result, 0) << "prefix of " << size << " bytes";
        } else {
            EXPECT_EQ(answer.text, whole) << "prefix of " << size << " bytes";
        }
    }
    for (std::size_t at = 0; at < sample.size(); ++at) {
        std::string changed = sample;
        changed[at] = static_cast<char>(~changed[at]);
        machine->files().write_file(damaged, changed);
        Answer answer = call(load, damaged, 524, 256);
        EXPECT_EQ(answer.result, static_cast<int>(answer.text.size())) << "byte " << at;
    }
    EXPECT_EQ(machine->open_handles(), 0u);
}

}  // namespace
