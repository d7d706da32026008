#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::Platform;

HDDEDATA CALLBACK no_answers(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

// A DDE client of Program Manager, as a setup program is one.
class ProgramManagerClient : public testing::TestWithParam<Platform> {
protected:
    void make(winsim::MachineOptions options = {}) {
        machine = winsim::Machine::create(GetParam(), options);
        ASSERT_EQ(DdeInitializeA(&instance, no_answers, APPCMD_CLIENTONLY, 0), static_cast<UINT>(DMLERR_NO_ERROR));
        HSZ name = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
        CONVCONTEXT context{};
        context.cb = sizeof context;
        conversation = DdeConnect(instance, name, name, &context);
        DdeFreeStringHandle(instance, name);
    }
    void TearDown() override {
        if (conversation) {
            EXPECT_TRUE(DdeDisconnect(conversation));
        }
        if (instance) {
            EXPECT_TRUE(DdeUninitialize(instance));
        }
    }
    // Sends a command; DMLERR_NO_ERROR when carried out, else the instance's error.
    UINT execute(const std::string& command) {
        HDDEDATA done = DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command.c_str())),
                                             static_cast<DWORD>(command.size() + 1), conversation, nullptr, CF_TEXT,
                                             XTYP_EXECUTE, 100000, nullptr);
        return done ? static_cast<UINT>(DMLERR_NO_ERROR) : DdeGetLastError(instance);
    }
    bool keeps_groups() const { return GetParam() == Platform::nt351; }
    std::string startup_link(const char* item) {
        return machine->shell().startup_folders().front() + "\\" + item + ".lnk";
    }

    std::unique_ptr<winsim::Machine> machine;
    DWORD instance = 0;
    HCONV conversation = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Platforms, ProgramManagerClient,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(ProgramManagerClient, AddsShowsAndDeletesItemsOfTheCommonStartupGroup) {
    make();
    ASSERT_NE(conversation, nullptr);
    // Nothing to act on before a group is chosen.
    EXPECT_EQ(execute("[AddItem(C:\\APP\\tool.exe,Tool)]"), static_cast<UINT>(DMLERR_NOTPROCESSED));
    EXPECT_EQ(execute("[CreateGroup(Startup,1)]"), static_cast<UINT>(DMLERR_NO_ERROR));
    EXPECT_EQ(execute("[DeleteItem(Tool)]"), static_cast<UINT>(DMLERR_NOTPROCESSED));
    EXPECT_EQ(DdeGetLastError(instance), static_cast<UINT>(DMLERR_NO_ERROR)) << "the error is handed out once";
    // A data handle passed with the length -1, its text without a terminator.
    const std::string add = "[AddItem(C:\\APP\\tool.exe,Tool)]";
    HDDEDATA data = DdeCreateDataHandle(instance, reinterpret_cast<LPBYTE>(const_cast<char*>(add.data())),
                                        static_cast<DWORD>(add.size()), 0, nullptr, CF_TEXT, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_NE(DdeClientTransaction(reinterpret_cast<LPBYTE>(data), static_cast<DWORD>(-1), conversation, nullptr, 0,
                                   XTYP_EXECUTE, 100000, nullptr),
              nullptr);
    // The transaction took the handle over.
    EXPECT_EQ(DdeClientTransaction(reinterpret_cast<LPBYTE>(data), static_cast<DWORD>(-1), conversation, nullptr, 0,
                                   XTYP_EXECUTE, 100000, nullptr),
              nullptr);
    EXPECT_EQ(DdeGetLastError(instance), static_cast<UINT>(DMLERR_INVALID_PARAMETER));
    EXPECT_EQ(execute("[ShowGroup(Startup,6,1)]"), static_cast<UINT>(DMLERR_NO_ERROR));
    EXPECT_EQ(execute("[ShowGroup(Nowhere,6,1)]"), static_cast<UINT>(DMLERR_NOTPROCESSED));

    if (keeps_groups()) {
        const winsim::ProgramGroup& group = machine->shell().program_groups().back();
        EXPECT_EQ(group.name, "Startup");
        EXPECT_TRUE(group.common);
        ASSERT_EQ(group.items.size(), 1u);
        EXPECT_EQ(group.items[0].command_line, "C:\\APP\\tool.exe");
    } else {
        std::optional<std::string> bytes = machine->files().read_file(startup_link("Tool"));
        ASSERT_TRUE(bytes);
        ASSERT_TRUE(winsim::read_shell_link(*bytes));
        EXPECT_EQ(winsim::read_shell_link(*bytes)->target, "C:\\APP\\tool.exe");
    }
    // The group was shown last; the item goes from it.
    EXPECT_EQ(execute("[DeleteItem(tool)]"), static_cast<UINT>(DMLERR_NO_ERROR));
    EXPECT_EQ(execute("[DeleteItem(Tool)]"), static_cast<UINT>(DMLERR_NOTPROCESSED));
    if (!keeps_groups()) {
        EXPECT_FALSE(machine->files().exists(startup_link("Tool")));
    }
}

TEST_P(ProgramManagerClient, TakesSeveralCommandsAndRefusesBrokenOnes) {
    make();
    EXPECT_EQ(execute("[CreateGroup(Tools)] [AddItem(\"C:\\My Apps\\a,b.exe\",\"A, B\")]"), static_cast<UINT>(DMLERR_NO_ERROR));
    EXPECT_EQ(execute("[DeleteItem(\"A, B\")]"), static_cast<UINT>(DMLERR_NO_ERROR));
    for (const char* broken : {"CreateGroup(Tools)", "[CreateGroup(Tools]", "[Reboot()]", ""})
        EXPECT_EQ(execute(broken), static_cast<UINT>(DMLERR_NOTPROCESSED)) << broken;
}

TEST_P(ProgramManagerClient, OnlyAnAdministratorChangesACommonGroupOnNt) {
    winsim::MachineOptions user;
    user.administrator = false;
    make(user);
    const UINT expected = GetParam() == Platform::win95 || GetParam() == Platform::win98 ? DMLERR_NO_ERROR : DMLERR_NOTPROCESSED;
    EXPECT_EQ(execute("[CreateGroup(Startup,1)]"), expected);
    EXPECT_EQ(execute("[CreateGroup(Startup)]"), static_cast<UINT>(DMLERR_NO_ERROR));
}

TEST_P(ProgramManagerClient, WithoutProgramManagerNoConversationIsMadeAndEveryCommandFails) {
    winsim::MachineOptions options;
    options.program_manager = false;
    make(options);
    EXPECT_EQ(conversation, nullptr);
    EXPECT_EQ(DdeGetLastError(instance), static_cast<UINT>(DMLERR_NO_CONV_ESTABLISHED));
    // Windows sets DMLERR_INVALID_PARAMETER for a transaction without a conversation
    // on the calling thread's instances.
    for (int i = 0; i < 2; ++i) EXPECT_EQ(execute("[CreateGroup(Startup,1)]"), static_cast<UINT>(DMLERR_INVALID_PARAMETER));
    EXPECT_FALSE(DdeDisconnect(nullptr));
}

TEST_P(ProgramManagerClient, RefusesWhatIsNotAnInstanceOrAName) {
    machine = winsim::Machine::create(GetParam());
    DWORD id = 0;
    EXPECT_EQ(DdeInitializeA(nullptr, no_answers, APPCMD_CLIENTONLY, 0), static_cast<UINT>(DMLERR_INVALID_PARAMETER));
    EXPECT_EQ(DdeInitializeA(&id, nullptr, APPCMD_CLIENTONLY, 0), static_cast<UINT>(DMLERR_INVALID_PARAMETER));
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(DdeCreateStringHandleA(42, "PROGMAN", CP_WINANSI), nullptr);
    EXPECT_EQ(DdeGetLastError(42), static_cast<UINT>(DMLERR_DLL_NOT_INITIALIZED));
    ASSERT_EQ(DdeInitializeA(&instance, no_answers, APPCMD_CLIENTONLY, 0), static_cast<UINT>(DMLERR_NO_ERROR));
    EXPECT_EQ(DdeCreateStringHandleA(instance, nullptr, CP_WINANSI), nullptr);
    EXPECT_EQ(DdeGetLastError(instance), static_cast<UINT>(DMLERR_INVALID_PARAMETER));
    // Another server's name finds nobody.
    HSZ other = DdeCreateStringHandleA(instance, "EXCEL", CP_WINANSI);
    EXPECT_EQ(DdeConnect(instance, other, other, nullptr), nullptr);
    EXPECT_EQ(DdeGetLastError(instance), static_cast<UINT>(DMLERR_NO_CONV_ESTABLISHED));
    EXPECT_TRUE(DdeFreeStringHandle(instance, other));
    EXPECT_FALSE(DdeFreeStringHandle(instance, other));
    EXPECT_EQ(machine->shell().live_dde_instances(), 1u);
}

TEST(ProgramManagerGroups, AreKeptWithTheMachineOnNt351) {
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / "winsim-progman-groups";
    std::filesystem::remove_all(folder);
    {
        auto machine = winsim::Machine::create(Platform::nt351, {}, folder);
        DWORD instance = 0;
        ASSERT_EQ(DdeInitializeA(&instance, no_answers, APPCMD_CLIENTONLY, 0), 0u);
        HSZ name = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
        HCONV conversation = DdeConnect(instance, name, name, nullptr);
        char command[] = "[CreateGroup(Startup,1)][AddItem(C:\\ORVANA\\orvdaemon.exe,Orvana Daemon)]";
        ASSERT_NE(DdeClientTransaction(reinterpret_cast<LPBYTE>(command), sizeof command, conversation, nullptr, CF_TEXT,
                                       XTYP_EXECUTE, 1000, nullptr),
                  nullptr);
        machine->save();
    }
    auto machine = winsim::Machine::open(folder);
    const std::vector<winsim::ProgramGroup>& groups = machine->shell().program_groups();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[2].name, "Startup");
    EXPECT_TRUE(groups[2].common);
    ASSERT_EQ(groups[2].items.size(), 1u);
    EXPECT_EQ(groups[2].items[0].name, "Orvana Daemon");
    EXPECT_EQ(groups[2].items[0].command_line, "C:\\ORVANA\\orvdaemon.exe");
    std::filesystem::remove_all(folder);
}

}  // namespace
