#include "support/library.h"

#include "frame/error_state.h"
#include "spooler/service_control.h"



namespace {

using winsim::Platform;

class SpoolerService : public testing_support::LibraryTest {
protected:
    void SetUp() override { start(Platform::nt4); }
    winsim::Services services() { return machine->services(); }
};

TEST_F(SpoolerService, StopsAndStartsAgain) {
    DWORD before = GetTickCount();
    EXPECT_EQ(shut_down_spooler_service(), 0);
    EXPECT_EQ(services().state("Spooler"), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_GE(GetTickCount() - before, 100u) << "the stop is waited for on the machine's clock";
    EXPECT_EQ(restart_spooler_service(), 0);
    EXPECT_EQ(services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(SpoolerService, StoppingAStoppedSpoolerFails) {
    services().set_stopped("Spooler");
    EXPECT_EQ(shut_down_spooler_service(), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (shut_down_spooler_service - ControlService): \nerror #1062.\n"
                                 "The service has not been started. \n");
}

TEST_F(SpoolerService, AStopRefusedIsRecorded) {
    services().refuse_stop("Spooler");
    EXPECT_EQ(shut_down_spooler_service(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_NE(take_error_text().find("shut_down_spooler_service - ControlService"), std::string::npos);
}

TEST_F(SpoolerService, AStopThatNeverEndsIsGivenUpAfterTwoMinutes) {
    services().hang("Spooler", winsim::ServiceHang::frozen);
    DWORD before = GetTickCount();
    EXPECT_EQ(shut_down_spooler_service(), ERROR_SERVICE_REQUEST_TIMEOUT);
    DWORD waited = GetTickCount() - before;
    EXPECT_GE(waited, 120000u);
    EXPECT_LT(waited, 121000u);
    EXPECT_EQ(reboot_flag, 1) << "the spooler may stay down until Windows restarts";
    EXPECT_NE(take_error_text().find("error #1053."), std::string::npos);
}

TEST_F(SpoolerService, StartStates) {
    struct Case {
        const char* name;
        std::function<void(winsim::Services&)> arrange;
        LONG expected;
        DWORD state_after;
    } cases[] = {
        {"already running", [](winsim::Services&) {}, 0, SERVICE_RUNNING},
        {"stopped", [](winsim::Services& s) { s.set_stopped("Spooler"); }, 0, SERVICE_RUNNING},
        {"start refused",
         [](winsim::Services& s) {
             s.set_stopped("Spooler");
             s.fail_start("Spooler", ERROR_SERVICE_DISABLED);
         },
         ERROR_SERVICE_DISABLED, SERVICE_STOPPED},
        {"start pending without progress",
         [](winsim::Services& s) {
             s.set_stopped("Spooler");
             s.hang("Spooler", winsim::ServiceHang::frozen);
         },
         ERROR_SERVICE_REQUEST_TIMEOUT, SERVICE_START_PENDING},
        {"paused", [](winsim::Services& s) { s.pause("Spooler"); }, 0, SERVICE_PAUSED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(Platform::win2000);
        winsim::Services s = services();
        c.arrange(s);
        EXPECT_EQ(restart_spooler_service(), c.expected);
        EXPECT_EQ(services().state("Spooler"), c.state_after);
        std::string text = take_error_text();
        if (c.expected) {
            EXPECT_EQ(text.rfind("Printer installer WARNING (restart_spooler_service - StartService): \nerror #", 0), 0u) << text;
        } else {
            EXPECT_EQ(text, "");
        }
    }
}

TEST_F(SpoolerService, APendingStartThatMovesOnIsWaitedFor) {
    services().set_stopped("Spooler");
    winsim::ServiceTiming slow;
    slow.start_ms = 9000;
    slow.wait_hint_ms = 2000;
    slow.check_point_every_ms = 1000;
    services().set_timing("Spooler", slow);
    EXPECT_EQ(restart_spooler_service(), 0);
    EXPECT_EQ(services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(SpoolerService, ASpoolerThatStoppedOnItsOwnIsStartedAgain) {
    services().stop_at("Spooler", 1000);
    Sleep(2000);
    ASSERT_EQ(services().state("Spooler"), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(shut_down_spooler_service(), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_NE(take_error_text().find("shut_down_spooler_service - ControlService"), std::string::npos);
    EXPECT_EQ(restart_spooler_service(), 0);
    EXPECT_EQ(services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(SpoolerService, ASpoolerThatEndsEveryStartIsNotStartedForEver) {
    services().set_stopped("Spooler");
    services().exit_on_start("Spooler", ERROR_FILE_NOT_FOUND);
    unsigned starts_before = machine->faults().calls("StartServiceA");
    EXPECT_EQ(restart_spooler_service(), ERROR_FILE_NOT_FOUND) << "the code the spooler ended with";
    EXPECT_EQ(machine->faults().calls("StartServiceA"), starts_before + 1);
    EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (restart_spooler_service - StartService): \nerror #2.", 0), 0u);
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(SpoolerService, AUserWhoIsNoAdministratorCannotStopIt) {
    winsim::MachineOptions user;
    user.administrator = false;
    start(Platform::nt4, user);
    EXPECT_EQ(shut_down_spooler_service(), ERROR_ACCESS_DENIED);
    EXPECT_NE(take_error_text().find("shut_down_spooler_service - OpenSCManager"), std::string::npos);
    EXPECT_EQ(restart_spooler_service(), ERROR_ACCESS_DENIED);
}

TEST_F(SpoolerService, APendingSpoolerRestartIsCarriedOutWhenTheSetupProgramAsks) {
    spooler_restart_pending = 1;
    EXPECT_EQ(RebootRequired(), 0) << "the spooler stopped and started: no restart of Windows";
    EXPECT_EQ(services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    spooler_restart_pending = 1;
    services().refuse_stop("Spooler");
    EXPECT_EQ(RebootRequired(), 1);
}

}  // namespace
