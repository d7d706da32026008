#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using winsim::Machine;
using winsim::Platform;

TEST(Modules, KernelExportsTheTerminalServerFunctionOnlyUnderTerminalServices) {
    for (bool terminal_services : {false, true}) {
        winsim::MachineOptions options;
        options.terminal_services = terminal_services;
        auto machine = Machine::create(Platform::nt4, options);
        HMODULE kernel = LoadLibraryExA("KERNEL32.DLL", nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(kernel, nullptr);
        SetLastError(0xDEADBEEF);
        FARPROC citrix = GetProcAddress(kernel, "CitrixGetAppModuleName");
        EXPECT_EQ(citrix != nullptr, terminal_services);
        if (!citrix) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        }
        EXPECT_NE(GetProcAddress(kernel, "GetVersionExA"), nullptr);
        EXPECT_TRUE(FreeLibrary(kernel));
        EXPECT_EQ(machine->loaded_modules(), 0u);
    }
}

TEST(Modules, SetupApiFollowsTheMachineOptions) {
    struct Case {
        winsim::SetupApi setupapi;
        bool administrator;
        bool loads;
        bool has_function;
    } cases[] = {
        {winsim::SetupApi::present, true, true, true},
        {winsim::SetupApi::present, false, true, true},
        {winsim::SetupApi::without_is_user_admin, true, true, false},
        {winsim::SetupApi::absent, true, false, false},
    };
    for (const Case& c : cases) {
        winsim::MachineOptions options;
        options.setupapi = c.setupapi;
        options.administrator = c.administrator;
        auto machine = Machine::create(Platform::nt4, options);
        SetLastError(0xDEADBEEF);
        HMODULE setupapi = LoadLibraryA("SETUPAPI.DLL");
        ASSERT_EQ(setupapi != nullptr, c.loads) << winsim::setupapi_name(c.setupapi);
        if (!setupapi) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
            continue;
        }
        auto is_user_admin = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void (*)()>(GetProcAddress(setupapi, "IsUserAdmin")));
        ASSERT_EQ(is_user_admin != nullptr, c.has_function);
        if (is_user_admin) {
            EXPECT_EQ(is_user_admin() != FALSE, c.administrator);
        }
        FreeLibrary(setupapi);
    }
}

TEST(Modules, NamesAreFoundWithoutRegardToCaseWithOrWithoutExtensionOrPath) {
    auto machine = Machine::create(Platform::win98);
    HMODULE a = LoadLibraryA("setupapi");
    HMODULE b = LoadLibraryA("C:\\WINDOWS\\SYSTEM\\SetupAPI.dll");
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(a, b) << "a loaded module is found again, not loaded twice";
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    FreeLibrary(a);
    FreeLibrary(b);
    EXPECT_EQ(machine->loaded_modules(), 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FreeLibrary(a)) << "freeing a module no longer loaded fails";
}

TEST(Modules, TheLibraryAttachesOnceAndEachMachineIsANewProcess) {
    auto machine = Machine::create(Platform::nt4);
    HMODULE first = LoadLibraryA("OrvInstl.dll");
    HMODULE second = LoadLibraryA("orvinstl");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    // Its attach asks for the version once; the second load runs nothing.
    EXPECT_EQ(machine->faults().calls("GetVersionExA"), 1u);
    EXPECT_NE(GetProcAddress(first, "DllMain"), nullptr);
    EXPECT_EQ(GetProcAddress(first, "NoSuchExport"), nullptr);
    FreeLibrary(second);
    FreeLibrary(first);

    auto next = Machine::create(Platform::win98);
    ASSERT_NE(LoadLibraryA("OrvInstl.dll"), nullptr);
    EXPECT_EQ(next->faults().calls("GetVersionExA"), 1u) << "the new process attaches again";
}

TEST(Modules, ADataFileMappingRunsNothingAndExportsNothing) {
    auto machine = Machine::create(Platform::win2000);
    HMODULE data = LoadLibraryExA("OrvInstl.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(machine->faults().calls("GetVersionExA"), 0u);
    EXPECT_EQ(GetProcAddress(data, "DllMain"), nullptr);
    char text[100];
    EXPECT_GT(LoadStringA(data, 2, text, sizeof text), 0) << "its strings are there";
    FreeLibrary(data);

    HMODULE unresolved = LoadLibraryExA("OrvInstl.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(unresolved, nullptr);
    EXPECT_EQ(machine->faults().calls("GetVersionExA"), 0u) << "DONT_RESOLVE_DLL_REFERENCES runs no entry point";
    FreeLibrary(unresolved);
}

class Strings : public testing::Test {
protected:
    void SetUp() override {
        machine = Machine::create(Platform::win2000);
        library = LoadLibraryA("OrvInstl.dll");
        ASSERT_NE(library, nullptr);
    }
    std::string load(UINT id, int size) {
        std::string buffer(static_cast<std::size_t>(size) + 8, '#');
        int length = LoadStringA(library, id, buffer.data(), size);
        EXPECT_EQ(buffer[static_cast<std::size_t>(length)], '\0');
        EXPECT_EQ(buffer[static_cast<std::size_t>(size)], '#') << "nothing past the buffer";
        return buffer.substr(0, static_cast<std::size_t>(length));
    }
    std::unique_ptr<Machine> machine;
    HMODULE library = nullptr;
};

TEST_F(Strings, TextsComeWholeWithTheirLineBreaks) {
    EXPECT_EQ(load(2, 500), "This driver installation utility does not support this operating system.");
    EXPECT_EQ(load(4, 256), "Printer installer WARNING (%s): \nerror #%d for value '%s'.\n");
    EXPECT_EQ(load(83, 512),
              "Note: This message is a generic failure; Windows uses this error code to report\n"
              "a number of different error conditions relating to printer installation.\n");
    EXPECT_EQ(load(124, 512).back(), '.') << "124 ends without a line feed";
    EXPECT_EQ(load(93, 100), " %s\t(%s)");
    EXPECT_EQ(load(96, 500).substr(0, 10), "If you can");
    EXPECT_EQ(load(1011, 100), "MESSAGETABLE");
}

TEST_F(Strings, SameTextsUnderSeparateIds) {
    EXPECT_EQ(load(72, 100), "OWNER");
    EXPECT_EQ(load(145, 100), "OWNER");
    EXPECT_EQ(load(73, 100), load(146, 100));
    EXPECT_EQ(load(152, 100), load(153, 100));
}

TEST_F(Strings, ALongTextIsCutToTheBufferLessItsTerminator) {
    EXPECT_EQ(load(2, 10), "This driv");
    EXPECT_EQ(load(2, 1), "");
    EXPECT_EQ(load(7, 27), "Printer installer WARNING:") << "27 characters need 28";
    EXPECT_EQ(load(7, 28), "Printer installer WARNING: ");
}

TEST_F(Strings, MissingIdsGiveAnEmptyText) {
    for (UINT id : {0u, 107u, 108u, 121u, 162u, 799u, 804u, 999u, 1012u}) EXPECT_EQ(load(id, 100), "") << id;
}

TEST_F(Strings, TheCatalogueHoldsEveryIdItShould) {
    int present = 0;
    for (UINT id = 0; id < 1100; ++id) {
        char text[600];
        if (LoadStringA(library, id, text, sizeof text) > 0) ++present;
    }
    EXPECT_EQ(present, 161 - 3 + 4 + 12);
}

}  // namespace
