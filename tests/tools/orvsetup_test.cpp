#include "call_engine.h"
#include "machine_commands.h"

#include <winsim/machine.h>

#include <winsim/images/modules.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using orvsetup::CallRequest;

std::vector<CallRequest> calls(std::initializer_list<std::vector<std::string>> list) {
    std::vector<CallRequest> out;
    for (const std::vector<std::string>& words : list) out.push_back(CallRequest{words[0], {words.begin() + 1, words.end()}});
    return out;
}

// What was written to a temporary file; the file is closed.
std::string take_contents(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

// Runs the calls on a fresh machine and answers what they printed.
std::string run(winsim::Platform platform, const std::vector<CallRequest>& requests, bool json = true, int* status = nullptr) {
    auto machine = winsim::Machine::create(platform);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int result = orvsetup::run_calls(requests, json, out, err);
    if (status) *status = result;
    std::string text = take_contents(out);
    return text + take_contents(err);
}

TEST(OrvsetupCalls, ArgumentsAreCheckedAgainstTheExportsSignature) {
    EXPECT_EQ(orvsetup::check_calls(calls({{"InstallAllowed"}, {"ClearErrorFlag"}})), "");
    EXPECT_EQ(orvsetup::check_calls(calls({{"NoSuchExport"}})), "no export is named NoSuchExport");
    EXPECT_EQ(orvsetup::check_calls(calls({{"InstallAllowed", "1"}})), "InstallAllowed takes 0 arguments: InstallAllowed()");
    EXPECT_EQ(orvsetup::check_calls(calls({{"insSetRegistryVal", "HKLM/Software/Test", "Answer", "42", "four", "-1"}})),
              "insSetRegistryVal, argument 4: 'four' is not a number (insSetRegistryVal(text, text, text, number, number))");
    EXPECT_EQ(orvsetup::check_calls(calls({{"insSetRegistryVal", "HKLM/Software/Test", "Answer", "42", "4", "-1"}})), "")
        << "a text parameter takes \"42\" as text";
    EXPECT_EQ(orvsetup::check_calls(calls({{"insIsPrinterPresent", "Fax", "@out:4"}})),
              "insIsPrinterPresent, argument 2: an out 32-bit value is written @long (insIsPrinterPresent(text, out 32-bit "
              "value (@long)))");
    EXPECT_NE(orvsetup::check_calls(calls({{"RetrieveErrorText", "@out:-1"}})), "");
    EXPECT_EQ(orvsetup::check_calls(calls({{"RetrieveErrorText", "null"}})), "");
}

TEST(OrvsetupCalls, ReferencesNameOnlyEarlierCalls) {
    EXPECT_EQ(orvsetup::check_calls(calls({{"insGetFirstPrinterName", "@out:64", "64", "@long"},
                                           {"insGetNextPrinterName", "$1", "@out:64", "64"},
                                           {"insFinishPrinterName", "$1"}})),
              "");
    EXPECT_EQ(orvsetup::check_calls(calls({{"insFinishPrinterName", "$1"}})),
              "insFinishPrinterName, argument 1: '$1' names no earlier call (insFinishPrinterName(printer cursor ($K)))");
    EXPECT_NE(orvsetup::check_calls(calls({{"InstallAllowed"}, {"insFinishPrinterName", "$2"}})), "");
    EXPECT_NE(orvsetup::check_calls(calls({{"InstallAllowed"}, {"insFileDelete", "$1"}})), "") << "texts are never results";
}

TEST(OrvsetupCalls, CallsShareOneProcessAndReportAsJson) {
    EXPECT_EQ(run(winsim::Platform::winme, calls({{"InstallAllowed"}, {"InstallAllowed"}, {"ClearErrorFlag"}})),
              "{\"export\": \"InstallAllowed\", \"result\": -3, \"out\": [], \"error_text\": \"Printer installer WARNING: This "
              "driver installation utility does not support this operating system.\\n\", \"reboot_required\": 0, \"seen\": []}\n"
              "{\"export\": \"InstallAllowed\", \"result\": -1, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n"
              "{\"export\": \"ClearErrorFlag\", \"result\": 1, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n");
}

TEST(OrvsetupCalls, OutValuesAreReportedInArgumentOrder) {
    // The runner takes the text itself, so a call that asks for it afterwards finds none.
    EXPECT_EQ(run(winsim::Platform::win98, calls({{"ErrorTextLen"}, {"RetrieveErrorText", "@out:8"}})),
              "{\"export\": \"ErrorTextLen\", \"result\": 0, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n"
              "{\"export\": \"RetrieveErrorText\", \"result\": 1, \"out\": [\"\"], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n");
}

TEST(OrvsetupCalls, HumanOutputShowsTheErrorTextLineByLine) {
    EXPECT_EQ(run(winsim::Platform::win7, calls({{"InstallAllowed"}}), false),
              "InstallAllowed -> -3\n"
              "  | Printer installer WARNING: This driver installation utility does not support this operating system.\n");
}

TEST(OrvsetupCalls, WhatTheMachineSawFollowsEachCall) {
    auto machine = winsim::Machine::create(winsim::Platform::nt4);
    orvsetup::CallObserver watch = orvsetup::watch_machine(*machine);
    EXPECT_EQ(watch(), std::vector<std::string>{}) << "what happened before the first call is not told";
    Sleep(2000);
    machine->services().set_stopped("Spooler");
    machine->services().set_running("Spooler");
    EXPECT_EQ(watch(), (std::vector<std::string>{"Spooler stopped at 2.0 s", "Spooler running at 2.0 s"}));
    EXPECT_EQ(watch(), std::vector<std::string>{}) << "each change is told once";
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("devices"), SMTO_BLOCK, 1000, nullptr);
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_NORMAL, 1000, nullptr);
    machine->services().set_stopped("Spooler");
    EXPECT_EQ(watch(), (std::vector<std::string>{"Spooler stopped at 2.0 s", "WM_WININICHANGE 'devices'", "WM_WININICHANGE null"}));

    std::FILE* out = std::tmpfile();
    orvsetup::run_calls(calls({{"ClearErrorFlag"}}), false, out, out, [] { return std::vector<std::string>{"a line"}; });
    EXPECT_EQ(take_contents(out), "ClearErrorFlag -> 0\n  seen: a line\n");
}

TEST(OrvsetupCalls, AnOutBufferOfNoBytesIsARealBufferAndNullIsNone) {
    // The cursor export tells them apart: no buffer gets no cursor and 87, a buffer of
    // size 0 a cursor and a name cut to nothing.
    EXPECT_EQ(run(winsim::Platform::win2000, calls({{"insGetFirstPrinterName", "@out:0", "0", "@long"}, {"insFinishPrinterName", "$1"}})),
              "{\"export\": \"insGetFirstPrinterName\", \"result\": \"cursor\", \"out\": [\"\", 0], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n"
              "{\"export\": \"insFinishPrinterName\", \"result\": 0, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n");
    EXPECT_EQ(run(winsim::Platform::win2000, calls({{"insGetFirstPrinterName", "null", "0", "@long"}})),
              "{\"export\": \"insGetFirstPrinterName\", \"result\": null, \"out\": [87], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n");
}

// The driver's dependent files reach the library as one list: each entry ended by a NUL,
// the list by an empty one (an empty entry between commas is no entry).
TEST(OrvsetupCalls, AListArgumentGivesTheDependentFilesOfADriver) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    for (const char* name : {"orvfax.drv", "a.dat", "b.dat"}) machine->files().write_file(std::string("C:\\SETUP\\") + name, name);
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_calls(calls({{"insAddPrintDriverEx", "C:\\SETUP\\orvfax.drv", "null", "null", "@list:a.dat,,b.dat",
                                          "@out:80"}}),
                                  false, out, out),
              0);
    EXPECT_EQ(take_contents(out), "insAddPrintDriverEx -> 0\n  out: \"Orvana Win98 Driver\"\n");
    const std::string key = machine->spooler().driver_key("Orvana Win98 Driver");
    ASSERT_TRUE(machine->registry().value(key, "Dependent Files"));
    EXPECT_EQ(machine->registry().value(key, "Dependent Files")->bytes, std::string("a.dat\0b.dat\0\0", 13));
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\SYSTEM\\b.dat"), "b.dat");
}

// The run that ended the runner with "not simulated": the settings key of a printer
// whose name has a comma is no printer, so there is nothing to open or delete.
TEST(OrvsetupCalls, APrinterNameWithACommaIsNoPrinter) {
    for (winsim::Platform platform : {winsim::Platform::win98, winsim::Platform::nt4, winsim::Platform::win2000}) {
        int status = -1;
        EXPECT_EQ(run(platform,
                      calls({{"insSetPrinterVal", "a,b", "Resolution", "300", "4", "0"},
                             {"insIsPrinterPresent", "a,b", "@long"},
                             {"insDelPrinter", "a,b"}}),
                      true, &status),
                  "{\"export\": \"insSetPrinterVal\", \"result\": 0, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n"
                  "{\"export\": \"insIsPrinterPresent\", \"result\": 0, \"out\": [0], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n"
                  "{\"export\": \"insDelPrinter\", \"result\": 0, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, \"seen\": []}\n")
            << winsim::platform_info(platform).name;
        EXPECT_EQ(status, 0);
    }
}

// Runs two calls into a fully buffered stream and ends the process, as a crash in the
// library would, when the second one returns: only what was flushed is left.
void end_during_second_call(bool json) {
    auto machine = winsim::Machine::create(winsim::Platform::winme);
    std::FILE* out = fdopen(dup(2), "w");
    std::setvbuf(out, nullptr, _IOFBF, 1 << 16);
    int returned = 0;
    orvsetup::run_calls(calls({{"InstallAllowed"}, {"InstallAllowed"}}), json, out, out, [&returned] {
        if (++returned == 2) std::_Exit(3);
        return std::vector<std::string>{};
    });
}

TEST(OrvsetupCallsDeathTest, EachAnswerIsOutBeforeTheNextCallRuns) {
    EXPECT_EXIT(end_during_second_call(true), testing::ExitedWithCode(3), "\"export\": \"InstallAllowed\", \"result\": -3");
    EXPECT_EXIT(end_during_second_call(false), testing::ExitedWithCode(3), "InstallAllowed -> -3");
}

// An older library, as a setup author may still hold one: the same module without its
// newest export.
TEST(OrvsetupCalls, AnExportTheLibraryLacksStopsTheRun) {
    const winsim::ProgramModule whole = *winsim::find_program_module("OrvInstl.dll");
    winsim::ProgramModule older = whole;
    std::erase_if(older.exports, [](const auto& entry) { return entry.first == "insPrintTestPage"; });
    winsim::register_program_module(older);
    int status = 0;
    std::string printed = run(winsim::Platform::nt4, calls({{"InstallAllowed"}, {"insPrintTestPage", "null", "Fax"}}), true, &status);
    winsim::register_program_module(whole);
    EXPECT_EQ(status, 1);
    EXPECT_NE(printed.find("\"export\": \"InstallAllowed\", \"result\": 0"), std::string::npos);
    EXPECT_NE(printed.find("orvsetup: OrvInstl.dll does not export insPrintTestPage"), std::string::npos);
}

}  // namespace

namespace {

std::string run_command(winsim::Machine& machine, std::vector<std::string> words, int* status = nullptr) {
    std::FILE* out = std::tmpfile();
    int result = orvsetup::run_machine_command(machine, words, false, out, out);
    if (status) *status = result;
    return take_contents(out);
}

TEST(OrvsetupMachine, AHeldFileIsReplacedAtTheRestartItWaitsFor) {
    auto machine = winsim::Machine::create(winsim::Platform::win2000);
    machine->files().write_file("C:\\WINNT\\system32\\orvmon.dll", "old");
    machine->files().write_file("C:\\SETUP\\orvmon.dll", "new");
    EXPECT_EQ(run_command(*machine, {"hold", "C:\\WINNT\\system32\\orvmon.dll"}), "holding C:\\WINNT\\system32\\orvmon.dll\n");
    ASSERT_EQ(MoveFileExA("C:\\SETUP\\orvmon.dll", "C:\\WINNT\\system32\\orvmon.dll", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING), TRUE);
    EXPECT_EQ(run_command(*machine, {"show", "pending"}), "move    \\??\\C:\\SETUP\\orvmon.dll -> !\\??\\C:\\WINNT\\system32\\orvmon.dll\n");
    EXPECT_NE(run_command(*machine, {"dir", "C:\\WINNT\\system32"}).find("orvmon.dll   (held open)"), std::string::npos);
    EXPECT_EQ(run_command(*machine, {"reboot"}), "restarted\n");
    EXPECT_EQ(machine->files().read_file("C:\\WINNT\\system32\\orvmon.dll"), "new");
    EXPECT_EQ(run_command(*machine, {"show", "pending"}), "no replacements wait for the next restart\n");
}

TEST(OrvsetupMachine, NinetyEightShowsItsWininit) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    EXPECT_EQ(run_command(*machine, {"show", "pending"}), "no replacements wait for the next restart (no WININIT.INI)\n");
    machine->files().write_file("C:\\WINDOWS\\WININIT.INI", "[Rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\ORVMON.DLL\r\n");
    EXPECT_EQ(run_command(*machine, {"show", "pending"}), "C:\\WINDOWS\\WININIT.INI:\n  [Rename]\n  NUL=C:\\WINDOWS\\SYSTEM\\ORVMON.DLL\n");
}

TEST(OrvsetupMachine, BadWordsAreRefused) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    int status = 0;
    EXPECT_EQ(run_command(*machine, {"hold", "C:\\x", "sometimes"}, &status), "orvsetup: sharing is none, read, write or all\n");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(run_command(*machine, {"release", "C:\\x"}, &status), "orvsetup: nothing holds C:\\x\n");
    run_command(*machine, {"hold", "C:\\missing.dll"}, &status);
    EXPECT_EQ(status, 1) << "a file that is not there cannot be held";
}

}  // namespace
