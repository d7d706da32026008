#include "support/components.h"
#include "support/library.h"
#include "support/releases.h"
#include "winsim/shell/lnkinfo.h"

#include <string>

namespace {

using winsim::Platform;

constexpr const char* entry = "Orvana Daemon";
constexpr const char* program = "C:\\ORVANA\\orvdaemon.exe";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The entry a DDE command failure leaves: Windows sets DMLERR_INVALID_PARAMETER
// (0x4006) for a transaction without a conversation.
std::string dde_failure(const std::string& activity) { return "(" + activity + "): \nerror #16390"; }

class DaemonProcess : public testing_support::LibraryTest {
protected:
    void start_on(Platform platform, winsim::MachineOptions options = {}) {
        start(platform, options);
        machine->files().write_file(program, testing_support::sample_component("orvdaemon.exe"));
        handles_before = machine->open_handles();
    }
    winsim::Shell shell() { return machine->shell(); }
    // The processes of the program that run now.
    int running(const std::string& path = program) {
        int count = 0;
        for (const winsim::StartedProcess& process : shell().processes())
            if (process.running && process.program == path) ++count;
        return count;
    }
    bool saw(const std::string& what) {
        for (const winsim::ProgramEvent& event : shell().events())
            if (event.what == what) return true;
        return false;
    }
    // What an operation opened is closed again, on every path.
    void expect_nothing_left_open() {
        EXPECT_EQ(machine->open_handles(), handles_before);
        EXPECT_EQ(shell().live_dde_instances(), 0u);
        EXPECT_EQ(shell().live_com_objects(), 0);
    }
    std::size_t handles_before = 0;
};

// ---- NT 3.51: Program Manager's common Startup group ------------------------------

const winsim::ProgramGroup* common_startup(winsim::Machine& machine) {
    for (const winsim::ProgramGroup& group : machine.shell().program_groups())
        if (group.common && group.name == "Startup") return &group;
    return nullptr;
}

TEST_F(DaemonProcess, OnNt351TheEntryIsProgramManagersAndReplacedWhenAddedAgain) {
    start_on(Platform::nt351);
    // The removal of an item Program Manager does not have is not processed: not recorded.
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    EXPECT_EQ(take_error_text(), "");
    ASSERT_NE(common_startup(*machine), nullptr);
    ASSERT_EQ(common_startup(*machine)->items.size(), 1u);
    EXPECT_EQ(common_startup(*machine)->items[0].name, entry);
    EXPECT_EQ(common_startup(*machine)->items[0].command_line, program);

    const winsim::StartedProcess& daemon = shell().processes().back();
    EXPECT_EQ(daemon.command_line, "");
    EXPECT_EQ(daemon.creation_flags, static_cast<DWORD>(CREATE_DEFAULT_ERROR_MODE | DETACHED_PROCESS));
    EXPECT_EQ(daemon.desktop, "WinSta0\\Default");
    EXPECT_EQ(daemon.startup_flags, 0x41u);
    EXPECT_EQ(daemon.show_window, SW_SHOW);
    EXPECT_EQ(daemon.window_class, "OrvanaDaemonClass");
    EXPECT_TRUE(saw("started C:\\ORVANA\\orvdaemon.exe"));

    // Again: the old item goes before the new one comes, so the group holds one.
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(common_startup(*machine)->items.size(), 1u);
    expect_nothing_left_open();

    ASSERT_EQ(insDeleteDaemonProcess(entry), 0);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_TRUE(common_startup(*machine)->items.empty());
    EXPECT_TRUE(saw("posted SC_CLOSE to OrvanaDaemonClass"));
    // Only the first daemon's window is found; the second keeps running.
    EXPECT_EQ(running(), 1);
    expect_nothing_left_open();
}

TEST_F(DaemonProcess, OnNt351WithoutProgramManagerEveryCommandIsRecordedAndTheDaemonStarts) {
    winsim::MachineOptions options;
    options.program_manager = false;
    start_on(Platform::nt351, options);
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    const std::string text = take_error_text();
    EXPECT_TRUE(has(text, dde_failure("creating group using DDE to progman") + " for value 'Startup (Common)'")) << text;
    EXPECT_TRUE(has(text, dde_failure("deleting old item using DDE") + " for value 'Orvana Daemon'")) << text;
    EXPECT_TRUE(has(text, dde_failure("creating item using DDE") + " for value 'Orvana Daemon'")) << text;
    EXPECT_TRUE(has(text, dde_failure("sending command to iconize group") + " for value 'Startup (Common)'")) << text;
    EXPECT_EQ(common_startup(*machine), nullptr);
    EXPECT_EQ(running(), 1);

    ASSERT_EQ(insDeleteDaemonProcess(entry), 0);
    const std::string removal = take_error_text();
    EXPECT_TRUE(has(removal, "creating group using DDE")) << removal;
    EXPECT_TRUE(has(removal, "deleting old item using DDE")) << removal;
    EXPECT_FALSE(has(removal, "creating item using DDE")) << removal;
    EXPECT_TRUE(has(removal, "sending command to iconize group")) << removal;
    EXPECT_EQ(running(), 0);
    expect_nothing_left_open();
}

// ---- links in the Startup folder ----------------------------------------------------

struct LinkCase {
    Platform platform;
    const char* link;
    bool make_profiles = false;  // a 2000 upgraded from NT 4.0 keeps NT 4.0's Profiles tree
};

class DaemonLink : public DaemonProcess, public testing::WithParamInterface<LinkCase> {};

INSTANTIATE_TEST_SUITE_P(
    Platforms, DaemonLink,
    testing::Values(LinkCase{Platform::win95, "C:\\WINDOWS\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk"},
                    LinkCase{Platform::win98, "C:\\WINDOWS\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk"},
                    LinkCase{Platform::nt4, "C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk"},
                    LinkCase{Platform::win2000,
                             "C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk", true}));

TEST_P(DaemonLink, IsWrittenReadBackAndTakenAwayWithTheDaemonClosed) {
    start_on(GetParam().platform);
    if (GetParam().make_profiles) machine->files().make_directories("C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup");
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    EXPECT_EQ(take_error_text(), "");
    std::optional<std::string> bytes = machine->files().read_file(GetParam().link);
    ASSERT_TRUE(bytes);
    std::map<std::string, std::string> link = testing_support::lnkinfo_fields(*bytes);
    EXPECT_EQ(link["Local path"], program);
    EXPECT_EQ(link["Description"], entry);
    EXPECT_EQ(link["Working directory"], "C:\\ORVANA");
    EXPECT_EQ(running(), 1);
    expect_nothing_left_open();

    // Written again over itself.
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    EXPECT_EQ(take_error_text(), "");

    ASSERT_EQ(insDeleteDaemonProcess(entry), 0);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_TRUE(saw("posted SC_CLOSE to OrvanaDaemonClass"));
    // The shell's DeleteItem takes the link away from the common Startup folder.
    EXPECT_FALSE(machine->files().exists(GetParam().link));
    EXPECT_TRUE(machine->shell().startup_links().empty());
    expect_nothing_left_open();
}

TEST_F(DaemonProcess, WithoutAProfilesFolderTheLinkFailsAndTheDaemonStartsAllTheSame) {
    start_on(Platform::win2000);
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    // 0x80070003, the HRESULT of ERROR_PATH_NOT_FOUND.
    const std::string text = take_error_text();
    EXPECT_TRUE(has(text, "(shell invocation to create daemon link): \nerror #-2147024893.")) << text;
    EXPECT_EQ(running(), 1);
    expect_nothing_left_open();
}

struct WorkingDirectoryCase {
    const char* program;
    const char* working_directory;
};

class DaemonWorkingDirectory : public DaemonProcess, public testing::WithParamInterface<WorkingDirectoryCase> {};

// The program path is cut at its last "." and then at its last "\".
INSTANTIATE_TEST_SUITE_P(Paths, DaemonWorkingDirectory,
                         testing::Values(WorkingDirectoryCase{"C:\\ORVANA\\orvdaemon.exe", "C:\\ORVANA"},
                                         WorkingDirectoryCase{"C:\\ORV.DIR\\orvdaemon", "C:"},
                                         WorkingDirectoryCase{"orvdaemon.exe", "orvdaemon"},
                                         WorkingDirectoryCase{"orvdaemon", "orvdaemon"}));

TEST_P(DaemonWorkingDirectory, FollowsTheProgramPath) {
    start_on(Platform::nt4);
    // A path without a directory is found in the current directory, the root of C:.
    const std::string on_disk = has(GetParam().program, "\\") ? GetParam().program : std::string("C:\\") + GetParam().program;
    machine->files().write_file(on_disk, testing_support::sample_component("orvdaemon.exe"));
    ASSERT_EQ(insAddDaemonProcess(entry, GetParam().program), 0);
    EXPECT_EQ(take_error_text(), "");
    std::optional<std::string> bytes =
        machine->files().read_file("C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk");
    ASSERT_TRUE(bytes);
    std::optional<winsim::ShellLinkContents> link = winsim::read_shell_link(*bytes);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->working_directory, GetParam().working_directory);
    EXPECT_EQ(link->target, GetParam().program);
    EXPECT_EQ(testing_support::lnkinfo_fields(*bytes)["Working directory"], GetParam().working_directory);
}

// ---- a daemon that does not start or does not close ---------------------------------

class DaemonRefusal : public DaemonProcess, public testing::WithParamInterface<Platform> {
protected:
    bool entry_present() {
        if (GetParam() == Platform::nt351) {
            const winsim::ProgramGroup* group = common_startup(*machine);
            return group && !group->items.empty();
        }
        return machine->files().exists("C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk");
    }
};

INSTANTIATE_TEST_SUITE_P(Platforms, DaemonRefusal, testing::Values(Platform::nt351, Platform::nt4));

TEST_P(DaemonRefusal, AStartThatFailsGivesItsCodeAndLeavesTheEntry) {
    start_on(GetParam());
    shell().refuse_start(program, ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(insAddDaemonProcess(entry, program), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(has(take_error_text(), "(starting daemon process): \nerror #8 for value 'C:\\ORVANA\\orvdaemon.exe'."));
    EXPECT_TRUE(entry_present());
    EXPECT_EQ(running(), 0);

    // A program that is not there, and a file that is no program.
    EXPECT_EQ(insAddDaemonProcess(entry, "C:\\ORVANA\\missing.exe"), ERROR_FILE_NOT_FOUND);
    machine->files().write_file("C:\\ORVANA\\readme.exe", "not a program");
    EXPECT_EQ(insAddDaemonProcess(entry, "C:\\ORVANA\\readme.exe"), ERROR_BAD_EXE_FORMAT);
    EXPECT_TRUE(has(take_error_text(), "error #193 for value 'C:\\ORVANA\\readme.exe'"));
    expect_nothing_left_open();
}

TEST_P(DaemonRefusal, RemovalWithoutARunningDaemonPostsNothingAndTakesTheEntry) {
    start_on(GetParam());
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    ASSERT_TRUE(PostMessageA(FindWindowA("OrvanaDaemonClass", nullptr), WM_SYSCOMMAND, SC_CLOSE, 0));
    const std::size_t events = shell().events().size();
    ASSERT_EQ(insDeleteDaemonProcess(entry), 0);
    EXPECT_EQ(shell().events().size(), events) << "nothing was posted";
    EXPECT_FALSE(entry_present());
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(DaemonRefusal, ADaemonThatIgnoresTheCloseKeepsRunningAndItsEntryGoes) {
    start_on(GetParam());
    ASSERT_EQ(insAddDaemonProcess(entry, program), 0);
    shell().refuse_close(program);
    ASSERT_EQ(insDeleteDaemonProcess(entry), 0);
    EXPECT_TRUE(saw("posted SC_CLOSE to OrvanaDaemonClass"));
    EXPECT_EQ(running(), 1);
    EXPECT_FALSE(entry_present());
    // Its program stays held while it runs.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileA(program));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// ---- every call failed once -------------------------------------------------------------

struct FaultCase {
    Platform platform;
    const char* api;
    DWORD code;
    LONG result;            // of insAddDaemonProcess
    const char* recorded;   // what the error text says
    bool started;
};

class DaemonFaults : public DaemonProcess, public testing::WithParamInterface<FaultCase> {};

INSTANTIATE_TEST_SUITE_P(
    Calls, DaemonFaults,
    testing::Values(
        FaultCase{Platform::nt351, "DdeInitializeA", DMLERR_SYS_ERROR, DMLERR_SYS_ERROR,
                  "(starting DDE to program manager): \nerror #16399.", false},
        FaultCase{Platform::nt351, "DdeConnect", DMLERR_NO_CONV_ESTABLISHED, 0, "(creating group using DDE to progman)", true},
        FaultCase{Platform::nt351, "DdeCreateDataHandle", DMLERR_SYS_ERROR, 0, "(deleting old item using DDE)", true},
        FaultCase{Platform::nt4, "CoInitialize", static_cast<DWORD>(E_OUTOFMEMORY), 0,
                  "(shell invocation to create daemon link): \nerror #-2147024882.", true},
        FaultCase{Platform::nt4, "CoCreateInstance", static_cast<DWORD>(REGDB_E_CLASSNOTREG), 0,
                  "(shell invocation to create daemon link): \nerror #-2147221164.", true},
        FaultCase{Platform::nt4, "IPersistFile::Save", static_cast<DWORD>(E_OUTOFMEMORY), 0,
                  "(shell invocation to create daemon link): \nerror #-2147024882.", true},
        FaultCase{Platform::nt4, "MultiByteToWideChar", ERROR_INVALID_PARAMETER, 0,
                  "(shell invocation to create daemon link): \nerror #-2147024809.", true},
        // A link without its target or folder would start nothing: none is saved.
        FaultCase{Platform::win95, "IShellLinkA::SetPath", static_cast<DWORD>(E_OUTOFMEMORY), 0,
                  "(shell invocation to create daemon link): \nerror #-2147024882.", true},
        FaultCase{Platform::nt4, "IShellLinkA::SetDescription", static_cast<DWORD>(E_OUTOFMEMORY), 0,
                  "(shell invocation to create daemon link): \nerror #-2147024882.", true},
        FaultCase{Platform::win2000, "IShellLinkA::SetWorkingDirectory", static_cast<DWORD>(E_INVALIDARG), 0,
                  "(shell invocation to create daemon link): \nerror #-2147024809.", true},
        FaultCase{Platform::win98, "CreateProcessA", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                  "(starting daemon process): \nerror #5 for value", false}));

TEST_P(DaemonFaults, AreRecordedAndCloseWhatWasOpened) {
    start_on(GetParam().platform);
    machine->faults().fail(GetParam().api, GetParam().code);
    EXPECT_EQ(insAddDaemonProcess(entry, program), GetParam().result);
    const std::string text = take_error_text();
    EXPECT_TRUE(has(text, GetParam().recorded)) << text;
    EXPECT_EQ(running(), GetParam().started ? 1 : 0);
    if (has(GetParam().recorded, "daemon link")) {
        EXPECT_TRUE(machine->shell().startup_links().empty());
    }
    expect_nothing_left_open();
}

TEST_F(DaemonProcess, RemovalAnswersAFailedDdeStartAndNullTextsAreRefused) {
    start_on(Platform::win98);
    machine->faults().fail("DdeInitializeA", DMLERR_SYS_ERROR);
    EXPECT_EQ(insDeleteDaemonProcess(entry), DMLERR_SYS_ERROR);
    EXPECT_TRUE(has(take_error_text(), "(starting DDE to program manager)"));
    EXPECT_EQ(insAddDaemonProcess(nullptr, program), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insAddDaemonProcess(entry, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insDeleteDaemonProcess(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_TRUE(shell().processes().empty());
}

}  // namespace

namespace {

// Every call of both exports failed once, on each kind of platform: each run ends with
// a result that is 0 or recorded, and nothing left open but what a failed release left.
class DaemonSweep : public DaemonProcess, public testing::WithParamInterface<Platform> {};

INSTANTIATE_TEST_SUITE_P(Platforms, DaemonSweep, testing::Values(Platform::win98, Platform::nt351, Platform::nt4));

TEST_P(DaemonSweep, EveryCallFailedOnceLeavesNothingOpen) {
    start_on(GetParam());
    for (bool adding : {true, false}) {
        for (unsigned nth = 1; nth < 200; ++nth) {
            SCOPED_TRACE((adding ? "adding, call " : "removing, call ") + std::to_string(nth));
            bool failed = false;
            std::size_t failed_releases = 0;
            machine->faults().on_inject = [&](const winsim::Injection& injection) {
                failed = true;
                if (testing_support::is_release(injection.api)) ++failed_releases;
            };
            const std::size_t open_before = machine->open_handles() + shell().live_dde_instances();
            machine->faults().fail(winsim::Faults::any_api, ERROR_NOT_ENOUGH_MEMORY, nth);
            const LONG result = adding ? insAddDaemonProcess(entry, program) : insDeleteDaemonProcess(entry);
            machine->faults().clear();
            machine->faults().on_inject = nullptr;
            const std::string text = take_error_text();
            if (result != 0) {
                EXPECT_NE(text, "") << "a failure is recorded";
            }
            EXPECT_LE(machine->open_handles() + shell().live_dde_instances(), open_before + failed_releases);
            EXPECT_EQ(shell().live_com_objects(), 0);
            if (!failed) {
                EXPECT_EQ(result, 0);
                EXPECT_GT(nth, 3u);
                break;
            }
        }
    }
    // The last removal went through: its entry is gone, and with it every daemon's window
    // that was asked; the add runs started at most one daemon each.
    EXPECT_TRUE(saw("posted SC_CLOSE to OrvanaDaemonClass"));
}

}  // namespace
