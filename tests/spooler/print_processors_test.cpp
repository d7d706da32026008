#include "support/components.h"
#include "support/library.h"

#include "frame/error_state.h"

#include <mkimage/image.h>

#include <cstring>

namespace {

using winsim::Platform;

constexpr char processor_name[] = "Orvana Print Processor";
constexpr char source[] = "C:\\SETUP\\orvproc.dll";

std::string processor_named(const std::string& name) {
    mkimage::ImageRecipe recipe;
    recipe.module_name = "ORVPROC";
    recipe.exports = {"EnumPrintProcessorDatatypesW", "OpenPrintProcessor", "PrintDocumentOnPrintProcessor",
                       "ClosePrintProcessor", "ControlPrintProcessor"};
    if (!name.empty()) recipe.strings[700] = name;
    return mkimage::build_image(recipe);
}

class ProcessorTest : public testing_support::LibraryTest {
protected:
    void lay_out(Platform platform, winsim::MachineOptions options = {}) {
        start(platform, options);
        machine->files().write_file(source, testing_support::sample_component("orvproc.dll"));
        char directory[MAX_PATH] = "";
        DWORD needed = 0;
        ASSERT_TRUE(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), MAX_PATH, &needed));
        installed = std::string(directory) + "\\orvproc.dll";
    }
    // A newer source: the safe copy replaces only an older installed file.
    void renew_source() {
        Sleep(5000);
        machine->files().write_file(source, testing_support::sample_component("orvproc.dll"));
    }
    bool present(const char* name) {
        LONG answer = -1;
        EXPECT_EQ(insIsPrtProcPresent(name, &answer), 0);
        return answer == 1;
    }
    std::string installed;
};

class PrintProcessors : public ProcessorTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { lay_out(GetParam()); }
};

TEST_P(PrintProcessors, TheSampleProcessorIsInstalledFoundAndRemoved) {
    char name[80];
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(insAddPrintProc(source, name), 0);
    EXPECT_STREQ(name, processor_name);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_TRUE(present("ORVANA print processor")) << "names are compared without regard to case";
    EXPECT_EQ(machine->files().read_file(installed), testing_support::sample_component("orvproc.dll"));
    EXPECT_EQ(machine->faults().calls("AddPrintProcessorA"), 1u);

    EXPECT_EQ(insDelPrintProc(processor_name), 0);
    EXPECT_FALSE(present(processor_name));
    EXPECT_TRUE(machine->files().exists(installed)) << "the processor's file stays";
    EXPECT_EQ(insDelPrintProc(processor_name), 0) << "a processor that is not there is no failure";
    EXPECT_EQ(machine->faults().calls("DeletePrintProcessorA"), 1u);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(RebootRequired(), 0);
}

// An installed processor gets its new file and keeps its registration. The spooler
// holds the file: NT lets go of it while stopped, 95/98 only at the next restart.
TEST_P(PrintProcessors, ASecondInstallationReplacesOnlyTheFile) {
    ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
    renew_source();
    unsigned stops = machine->faults().calls("ControlService");
    EXPECT_EQ(insAddPrintProc(source, nullptr), 0);
    EXPECT_EQ(machine->faults().calls("AddPrintProcessorA"), 1u) << "not registered again";
    if (machine->is_nt()) {
        EXPECT_EQ(machine->faults().calls("ControlService"), stops + 1);
        EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(RebootRequired(), 0);
    } else {
        EXPECT_EQ(RebootRequired(), 1) << "the copy waits for the restart";
    }
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(PrintProcessors, ANewerInstalledFileIsKeptAndOnlyNtSaysSo) {
    ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
    if (machine->is_nt()) machine->services().set_stopped("Spooler");
    Sleep(5000);
    machine->files().write_file(installed, testing_support::sample_component("orvproc.dll"));  // later than the source
    if (machine->is_nt()) machine->services().set_running("Spooler");
    EXPECT_EQ(insAddPrintProc(source, nullptr), machine->is_nt() ? -12 : 0);
    EXPECT_EQ(RebootRequired(), 0);
    EXPECT_EQ(ClearErrorFlag(), 0);
}

TEST_P(PrintProcessors, AProcessorWithoutItsNameIsRefusedAndBlocksUntilCleared) {
    machine->files().write_file("C:\\SETUP\\noname.dll", processor_named(""));
    EXPECT_EQ(insAddPrintProc("C:\\SETUP\\noname.dll", nullptr), -5);
    const std::string text = take_error_text();
    EXPECT_NE(text.find("(reading print processor ID text)"), std::string::npos) << text;
    EXPECT_NE(text.find("Invalid print processor ID string -- This is not an Orvana print processor"), std::string::npos)
        << text;
    EXPECT_FALSE(machine->files().exists(installed.substr(0, installed.rfind('\\')) + "\\noname.dll"));
    LONG answer = 7;
    EXPECT_EQ(insIsPrtProcPresent("WinPrint", &answer), -1);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_TRUE(present("WinPrint"));
}

// A name that does not fit its 80 characters is refused whole: cut, it could name
// another processor, whose file would then be replaced by this one.
TEST_P(PrintProcessors, ANameTooLongForItsBufferIsRefusedNotCut) {
    const std::string longest(79, 'P');
    machine->files().write_file("C:\\SETUP\\proc79.dll", processor_named(longest));
    machine->files().write_file("C:\\SETUP\\proc80.dll", processor_named(longest + "Q"));
    char name[80] = "";
    ASSERT_EQ(insAddPrintProc("C:\\SETUP\\proc79.dll", name), 0) << take_error_text();
    EXPECT_EQ(std::string(name), longest);
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(insAddPrintProc("C:\\SETUP\\proc80.dll", name), ERROR_INVALID_NAME);
    EXPECT_EQ(name[0], '#') << "nothing is handed out for a refused name";
    EXPECT_NE(take_error_text().find("(reading print processor ID text): \nerror #123 for value 'C:\\SETUP\\proc80.dll'."),
              std::string::npos);
    EXPECT_EQ(ClearErrorFlag(), 1);
}

// The printers that print through the processor go first; one that the spooler is
// deleting already is its business, and a processor name in other letters is another
// processor's, so its printer stays and the spooler refuses the deletion.
TEST_P(PrintProcessors, RemovalTakesThePrintersThatUseTheProcessor) {
    ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
    winsim::Spooler spooler = machine->spooler();
    spooler.add_driver("Orvana Print Driver");
    for (const char* printer : {"Fax A", "Fax B", "Busy"}) spooler.add_printer(printer, "LPT1:", "Orvana Print Driver", processor_name);
    spooler.add_printer("Plain", "LPT1:", "Orvana Print Driver");
    spooler.queue_job("Busy");
    HANDLE busy = nullptr;
    PRINTER_DEFAULTSA all_access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("Busy"), &busy, &all_access));
    ASSERT_TRUE(DeletePrinter(busy));
    ClosePrinter(busy);
    ASSERT_TRUE(spooler.printer_status("Busy") & PRINTER_STATUS_PENDING_DELETION);
    const unsigned deletions = machine->faults().calls("DeletePrinter");

    // The spooler refuses the processor while the printer it is deleting still uses it.
    EXPECT_EQ(insDelPrintProc(processor_name), ERROR_CAN_NOT_COMPLETE);
    EXPECT_NE(take_error_text().find("(DeletePrintProcessor): \nerror #1003 for value 'Orvana Print Processor'."),
              std::string::npos);
    EXPECT_FALSE(spooler.has_printer("Fax A"));
    EXPECT_FALSE(spooler.has_printer("Fax B"));
    EXPECT_TRUE(spooler.has_printer("Plain"));
    EXPECT_EQ(machine->faults().calls("DeletePrinter"), deletions + 2) << "the printer pending deletion is skipped";
    spooler.finish_job("Busy", spooler.jobs("Busy").front().id);
    ASSERT_FALSE(spooler.has_printer("Busy"));
    EXPECT_EQ(insDelPrintProc(processor_name), 0) << take_error_text();
    EXPECT_FALSE(present(processor_name));

    ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
    spooler.add_printer("Capitals", "LPT1:", "Orvana Print Driver", "ORVANA PRINT PROCESSOR");
    EXPECT_EQ(insDelPrintProc(processor_name), ERROR_CAN_NOT_COMPLETE);
    EXPECT_TRUE(spooler.has_printer("Capitals"));
    EXPECT_NE(take_error_text().find("(DeletePrintProcessor): \nerror #1003 for value 'Orvana Print Processor'."),
              std::string::npos);
}

// The flag is tested before anything else, and a presence test says 0 whatever it answers.
TEST_P(PrintProcessors, TheFlagComesBeforeTheArgumentChecks) {
    LONG answer = 7;
    EXPECT_EQ(insIsPrtProcPresent(nullptr, &answer), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(insIsPrtProcPresent("WinPrint", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insAddPrintProc(nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insDelPrintProc(nullptr), ERROR_INVALID_PARAMETER);
    error_flag = 1;
    answer = 7;
    EXPECT_EQ(insIsPrtProcPresent(nullptr, &answer), -1);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(insAddPrintProc(nullptr, nullptr), -1);
    EXPECT_EQ(insDelPrintProc(nullptr), -1);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(take_error_text(), "");
}

INSTANTIATE_TEST_SUITE_P(Platforms, PrintProcessors,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

using ProcessorSteps = ProcessorTest;

// On a terminal server the spooler serves others and is left running: the file it holds
// is replaced at the next restart.
TEST_F(ProcessorSteps, ATerminalServerKeepsItsSpoolerAndTheReplacementWaits) {
    winsim::MachineOptions terminal_server;
    terminal_server.terminal_services = true;
    lay_out(Platform::win2000, terminal_server);
    ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
    renew_source();
    const unsigned stops = machine->faults().calls("ControlService");
    EXPECT_EQ(insAddPrintProc(source, nullptr), 0);
    EXPECT_EQ(machine->faults().calls("ControlService"), stops);
    EXPECT_EQ(RebootRequired(), 1);
}

// A first installation whose copy waits for the restart (another program holds an old
// file there) still registers the processor, as the port monitor's does.
TEST_F(ProcessorSteps, ADeferredFirstCopyStillRegisters) {
    lay_out(Platform::nt4);
    machine->files().write_file(installed, processor_named("Old Processor"));
    machine->files().hold(installed, FILE_SHARE_READ);
    renew_source();
    EXPECT_EQ(insAddPrintProc(source, nullptr), 0) << take_error_text();
    EXPECT_EQ(RebootRequired(), 1);
    EXPECT_TRUE(present(processor_name));
}

TEST_F(ProcessorSteps, EachFailingStepIsRecordedWithItsResult) {
    constexpr LONG denied = ERROR_ACCESS_DENIED;
    struct Case {
        Platform platform;
        bool registered;
        const char* api;
        unsigned nth;
        std::string entry;  // the heading of the entry the step records
        LONG result;
        bool sets_flag;
    } cases[] = {
        {Platform::nt4, false, "GetPrintProcessorDirectoryA", 1, "(copying file): \nerror #5 for value 'C:\\SETUP\\orvproc.dll'.",
         denied, false},
        {Platform::nt4, false, "LoadLibraryA", 1,
         "(LoadLibrary (print processor DLL)): \nerror #5 for value 'C:\\SETUP\\orvproc.dll'.", denied, true},
        {Platform::nt4, false, "EnumPrintProcessorsA", 1, "(Enumerating print processors [1]): \nerror #5.", denied, false},
        {Platform::nt4, false, "EnumPrintProcessorsA", 2, "(Enumerating print processors [2]): \nerror #5.", denied, false},
        {Platform::win98, false, "LocalAlloc", 1, "(Memory allocation): \nerror #5.", denied, false},
        {Platform::nt4, false, "CopyFileA", 1, "(copying file): \nerror #112 for value 'C:\\SETUP\\orvproc.dll'.",
         ERROR_DISK_FULL, false},
        {Platform::win95, true, "CopyFileA", 1, "(copying file): \nerror #112 for value 'C:\\SETUP\\orvproc.dll'.",
         ERROR_DISK_FULL, false},
        {Platform::win2000, false, "AddPrintProcessorA", 1, "(AddPrintProcessor): \nerror #5 for value 'orvproc.dll'.", denied,
         true},
        {Platform::nt4, true, "ControlService", 1, "(shut_down_spooler_service - ControlService): \nerror #5.", denied, true},
        {Platform::nt351, true, "StartServiceA", 1, "(restart_spooler_service - StartService): \nerror #5.", denied, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.api) + " " + std::to_string(c.nth) + " on " + std::string(winsim::platform_info(c.platform).name));
        lay_out(c.platform);
        if (c.registered) {
            ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
            renew_source();
        }
        machine->faults().fail(c.api, static_cast<DWORD>(std::string(c.api) == "CopyFileA" ? ERROR_DISK_FULL : denied), c.nth);
        EXPECT_EQ(insAddPrintProc(source, nullptr), c.result);
        const std::string text = take_error_text();
        EXPECT_NE(text.find("Printer installer WARNING " + c.entry), std::string::npos) << text;
        EXPECT_EQ(ClearErrorFlag(), c.sets_flag ? 1 : 0);
        EXPECT_EQ(machine->live_local_blocks(), 0u);
    }
}

TEST_F(ProcessorSteps, RemovalFailuresEndItWithTheirCode) {
    struct Case {
        const char* api;
        std::string entry;
    } cases[] = {
        {"EnumPrintProcessorsA", "(Enumerating print processors [1]): \nerror #5."},
        {"EnumPrintersA", "(Enumerating printers [1]): \nerror #5."},
        {"DeletePrinter", "for value 'Fax'."},
        {"DeletePrintProcessorA", "(DeletePrintProcessor): \nerror #5 for value 'Orvana Print Processor'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.api);
        lay_out(Platform::win2000);
        ASSERT_EQ(insAddPrintProc(source, nullptr), 0);
        machine->spooler().add_driver("Orvana Print Driver");
        machine->spooler().add_printer("Fax", "LPT1:", "Orvana Print Driver", processor_name);
        machine->faults().fail(c.api, ERROR_ACCESS_DENIED);
        EXPECT_EQ(insDelPrintProc(processor_name), ERROR_ACCESS_DENIED);
        const std::string text = take_error_text();
        EXPECT_NE(text.find(c.entry), std::string::npos) << text;
        EXPECT_TRUE(present(processor_name));
        EXPECT_EQ(machine->live_local_blocks(), 0u);
    }
}

}  // namespace
