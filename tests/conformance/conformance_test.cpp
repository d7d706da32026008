// The lane's scenario program on winsim: what the Wine comparison relies on, that each
// line stays one line, that a step is named once, that a run repeats exactly, and that
// the scenarios leave a real system's registry as they found it.
#include "component_files.h"
#include "machine_run.h"
#include "observation.h"
#include "scenarios.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using conformance::Facts;

std::string play_on(winsim::Machine& machine, const conformance::Scenario& scenario) {
    std::FILE* out = std::tmpfile();
    conformance::play_on(machine, scenario, out);
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

// Every scenario, each on a fresh machine, as the host program plays them.
std::string play_all(winsim::Platform platform) {
    std::string text;
    for (const conformance::Scenario& scenario : conformance::all_scenarios()) {
        auto machine = winsim::Machine::create(platform);
        text += play_on(*machine, scenario);
    }
    return text;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

const winsim::Platform lane_platforms[] = {winsim::Platform::win95,  winsim::Platform::win98,
                                           winsim::Platform::win98se, winsim::Platform::nt351,
                                           winsim::Platform::nt4,    winsim::Platform::win2000,
                                           winsim::Platform::winme,  winsim::Platform::win7};

TEST(ConformanceEscaping, KeepsEveryTextOnOneLineAndReadable) {
    EXPECT_EQ(conformance::escaped("a\nb\r\tc"), "a\\nb\\r\\tc");
    EXPECT_EQ(conformance::escaped("\\ \""), "\\\\ \\\"");
    EXPECT_EQ(conformance::escaped(std::string("\x00\x01\x1F\x7F\x80\xFF", 6)), "\\x00\\x01\\x1F\\x7F\\x80\\xFF");
    EXPECT_EQ(conformance::escaped("error #13 for value 'hklm'. (x) ~"), "error #13 for value 'hklm'. (x) ~");
}

TEST(ConformanceEscaping, NamesCannotAddColumns) {
    EXPECT_EQ(conformance::line("A\tB", "step\n2", Facts().number("result", -3)), "A\\tB\tstep\\n2\tresult=-3\n");
}

TEST(ConformanceFacts, AreWordsSeparatedBySpaces) {
    Facts facts;
    facts.number("result", 13).hex("data", 0xFFFFFFFFUL).text("text", "two words\n").word("guard", "intact");
    EXPECT_EQ(facts.str(), "result=13 data=0xFFFFFFFF text=\"two words\\n\" guard=intact");
    EXPECT_EQ(Facts().number("a", 1).append(Facts()).number("b", 2).str(), "a=1 b=2");
    EXPECT_EQ(Facts().append(Facts().number("b", 2)).str(), "b=2");
}

TEST(ConformanceScenarios, PrintThreeColumnsOfPrintableTextPerLine) {
    for (winsim::Platform platform : lane_platforms) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        std::vector<std::string> lines = lines_of(play_all(platform));
        ASSERT_FALSE(lines.empty());
        for (const std::string& line : lines) {
            std::size_t first = line.find('\t');
            std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
            ASSERT_NE(second, std::string::npos) << line;
            EXPECT_EQ(line.find('\t', second + 1), std::string::npos) << line;
            EXPECT_GT(first, 0U) << line;
            EXPECT_GT(second, first + 1) << line;
            for (char c : line)
                EXPECT_TRUE(c == '\t' || (c >= 0x20 && c < 0x7F)) << line;
        }
    }
}

// run-wine pairs the two sides' lines by scenario and step.
TEST(ConformanceScenarios, NameEachStepOnce) {
    for (winsim::Platform platform : lane_platforms) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        std::set<std::string> keys;
        for (const std::string& line : lines_of(play_all(platform))) {
            std::string key = line.substr(0, line.find('\t', line.find('\t') + 1));
            EXPECT_TRUE(keys.insert(key).second) << "named twice: " << key;
        }
    }
}

TEST(ConformanceScenarios, RepeatExactly) {
    for (winsim::Platform platform : {winsim::Platform::win95, winsim::Platform::nt4, winsim::Platform::winme})
        EXPECT_EQ(play_all(platform), play_all(platform)) << winsim::platform_info(platform).name;
}

// A real system keeps its registry from run to run: a key left behind would make the
// next run's "created" checks see an old key.
TEST(ConformanceScenarios, LeaveNoScratchKeysBehind) {
    for (winsim::Platform platform : {winsim::Platform::win98, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        for (const conformance::Scenario& scenario : conformance::all_scenarios()) play_on(*machine, scenario);
        winsim::Registry& registry = machine->registry();
        EXPECT_FALSE(registry.key_exists("HKEY_LOCAL_MACHINE\\Software\\OrvConformance"));
        EXPECT_FALSE(registry.key_exists("HKEY_USERS\\.DEFAULT\\Software\\OrvConformance"));
        EXPECT_FALSE(registry.key_exists("HKEY_CURRENT_USER\\Software\\OrvConformance"));
        EXPECT_FALSE(registry.key_exists("HKEY_CLASSES_ROOT\\OrvConformance"));
        EXPECT_FALSE(registry.key_exists(
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\OrvConformance Printer"));
        EXPECT_TRUE(registry.key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes"));
    }
}

// The scratch files too: a file left from the last run would count as installed.
TEST(ConformanceScenarios, LeaveNoScratchFilesBehind) {
    for (winsim::Platform platform : {winsim::Platform::win95, winsim::Platform::nt4}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        for (const char* name : {"SafeFileCopy", "FileDelete"}) play_on(*machine, *conformance::find_scenario(name));
        EXPECT_FALSE(machine->files().exists("C:\\ORVCONF\\COPY"));
        EXPECT_FALSE(machine->files().exists("C:\\ORVCONF\\DELETE"));
    }
}

// What waits for the restart is carried out by it, on either family's road.
TEST(ConformanceScenarios, TheRestartBetweenThePartsCarriesOutTheReplacements) {
    for (winsim::Platform platform : {winsim::Platform::win98, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        std::string copy = play_on(*machine, *conformance::find_scenario("SafeFileCopy"));
        EXPECT_NE(copy.find("destination held open\tresult=-13 installed=older"), std::string::npos) << copy;
        EXPECT_NE(copy.find("held destination after the restart\tinstalled=incoming"), std::string::npos) << copy;
        EXPECT_NE(copy.find("pending after the restart\tpending=\"\""), std::string::npos) << copy;
        std::string deletion = play_on(*machine, *conformance::find_scenario("FileDelete"));
        EXPECT_NE(deletion.find("held file after the restart\tfile=missing"), std::string::npos) << deletion;
    }
}

// Wine's prefix outlives the runs and the versions: a printer scenario played twice on
// one system must see the same thing, so it clears what an earlier run left and leaves
// no printer, profile entry or ini file of its own behind.
TEST(ConformanceScenarios, PrinterScenariosRepeatOnTheSameSystem) {
    for (winsim::Platform platform : {winsim::Platform::win98, winsim::Platform::nt4, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        for (const char* name : {"ProductDriver", "NewPrinters", "PrinterSelections", "PrinterUpdate", "PrinterRejections",
                                 "Win9xDriverFiles", "DefaultInstalledPrinter", "TestPage"}) {
            const conformance::Scenario* scenario = conformance::find_scenario(name);
            ASSERT_NE(scenario, nullptr) << name;
            const std::string first = play_on(*machine, *scenario);
            EXPECT_EQ(play_on(*machine, *scenario), first) << name;
        }
        for (const std::string& printer : machine->spooler().printers())
            EXPECT_EQ(printer.find("OrvConformance"), std::string::npos) << printer;
        const std::string windows(winsim::platform_info(platform).windows_directory);
        EXPECT_FALSE(machine->files().exists(windows + "\\orvlotus.ini"));
        EXPECT_FALSE(machine->files().exists(windows + "\\orvfxb.ini"));
        EXPECT_FALSE(machine->files().exists(windows + "\\orvfax16.ini"));
        EXPECT_FALSE(machine->files().exists("C:\\ORVCONF\\ORVFAX16.DRV"));
        EXPECT_FALSE(machine->registry().key_exists(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\OrvConformance Update"));
    }
}

// The lane's set-up gives winsim the product's driver as Wine gets it: a printer of it
// has its DEVMODE, with the private part that holds the intensity byte, once it has had
// a device context.
TEST(ConformanceScenarios, SetUpLaysOutTheProductsDriver) {
    for (winsim::Platform platform : {winsim::Platform::win95, winsim::Platform::nt351, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        const std::string text = play_on(*machine, *conformance::find_scenario("ProductDriver"));
        EXPECT_NE(text.find("printer added\tadded=1"), std::string::npos) << text;
        EXPECT_NE(text.find("a device context\tmade=1 deleted=1"), std::string::npos) << text;
        EXPECT_NE(text.find("its DEVMODE after it\tdevmode_version="), std::string::npos) << text;
        EXPECT_NE(text.find(" driver_extra=96 intensity=0 "), std::string::npos) << text;
        EXPECT_NE(text.find("its DEVMODE then\t"), std::string::npos) << text;
        EXPECT_NE(text.find(" intensity=200 paper=9 "), std::string::npos) << text;
    }
}

// The lane reads a new printer's settings where the library writes them: Windows 2000's
// SOFTWARE tree, every other version's SYSTEM tree. A wrong key would read as none.
TEST(ConformanceScenarios, ReadNewPrintersSettingsWhereTheLibraryKeepsThem) {
    for (winsim::Platform platform : {winsim::Platform::win98, winsim::Platform::nt4, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        const std::string text = play_on(*machine, *conformance::find_scenario("NewPrinters"));
        if (text.find("\tskipped=") != std::string::npos) GTEST_SKIP() << "the library does not create printers yet: " << text;
        EXPECT_NE(text.find("a plain printer: settings\tvalues=28\n"), std::string::npos) << text;
        EXPECT_NE(text.find("a Prism printer: settings\tvalues=31\n"), std::string::npos) << text;
        EXPECT_NE(text.find("a Docket printer: settings\tvalues=29\n"), std::string::npos) << text;
        EXPECT_NE(text.find("a Docket printer: settings: Docket Library\ttype=1 data=\"ORV32MM.DLL\\x00\"\n"),
                  std::string::npos)
            << text;
    }
}

// On Windows the scenarios share one process, so each must find the library as a fresh
// process has it: a refusal's error flag must not carry into the next scenario.
TEST(ConformanceScenarios, StartWithTheLibraryFresh) {
    auto machine = winsim::Machine::create(winsim::Platform::winme);
    const conformance::Scenario* scenario = conformance::find_scenario("InstallAllowed");
    ASSERT_NE(scenario, nullptr);
    std::string first = play_on(*machine, *scenario);
    EXPECT_NE(first.find("first call\tresult=-3 "), std::string::npos) << first;
    EXPECT_EQ(play_on(*machine, *scenario), first);
}

// Wine's prefix outlives the runs: the scenarios that install the product's components
// clear what an earlier run left, so that a second play on one system sees what the
// first saw, and they leave neither the monitor, its ports, the processor, the driver's
// printers nor the files they laid out.
TEST(ConformanceScenarios, ComponentScenariosRepeatOnTheSameSystem) {
    for (winsim::Platform platform :
         {winsim::Platform::win95, winsim::Platform::nt351, winsim::Platform::nt4, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        for (const char* name : {"MonitorInstall", "ProductPorts", "ProductProcessor", "DriverInstall"}) {
            const conformance::Scenario* scenario = conformance::find_scenario(name);
            ASSERT_NE(scenario, nullptr) << name;
            const std::string first = play_on(*machine, *scenario);
            EXPECT_EQ(play_on(*machine, *scenario), first) << name;
        }
        for (const std::string& monitor : machine->spooler().monitors()) EXPECT_NE(monitor, "Orvana Fax Port");
        for (const std::string& port : machine->spooler().ports()) EXPECT_EQ(port.find("ORVFAX"), std::string::npos) << port;
        for (const std::string& printer : machine->spooler().printers())
            EXPECT_EQ(printer.find("OrvConformance"), std::string::npos) << printer;
        EXPECT_FALSE(machine->registry().key_exists(
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Orvana Fax Port"));
        for (const char* file : {"C:\\ORVCONF\\MON\\orvmon.dll", "C:\\ORVCONF\\PROC\\orvproc.dll", "C:\\ORVCONF\\DRV\\orvdrv.dll",
                                 "C:\\ORVCONF\\DRV\\orvdrv351.dll", "C:\\ORVCONF\\DRV\\orvfax.drv", "C:\\ORVCONF\\DRV\\orvdrvui.dll",
                                 "C:\\ORVCONF\\DRV\\orvdrv.hlp", "C:\\ORVCONF\\DRV\\orvfont.dat"})
            EXPECT_FALSE(machine->files().exists(file)) << file;
    }
}

// The component scenarios play with the files they lay out, on each road the library
// takes to a port (the monitor's channel on 2000, AddPortA on 95/98, the spooler's
// restart on NT 3.51 and 4.0) and with each family's driver: a component that did not
// reach the machine would show as not installed.
TEST(ConformanceScenarios, ComponentScenariosInstallWhatTheyLayOut) {
    for (winsim::Platform platform :
         {winsim::Platform::win98, winsim::Platform::nt351, winsim::Platform::nt4, winsim::Platform::win2000}) {
        SCOPED_TRACE(std::string(winsim::platform_info(platform).name));
        auto machine = winsim::Machine::create(platform);
        const std::string ports = play_on(*machine, *conformance::find_scenario("ProductPorts"));
        EXPECT_NE(ports.find("the monitor installed\tresult=0 laid_out=1 name=\"Orvana Fax Port\""), std::string::npos) << ports;
        EXPECT_NE(ports.find("\tit is there\tresult=0 present=1 monitor=\"Orvana Fax Port\""), std::string::npos) << ports;
        EXPECT_NE(ports.find("the port moved\tresult=0 "), std::string::npos) << ports;
        EXPECT_NE(ports.find("second printer after the move\tpresent=1 "), std::string::npos) << ports;
        EXPECT_NE(ports.find("the default after the move\tdefault=\"OrvConformance Port Two\""), std::string::npos) << ports;
        const std::string processor = play_on(*machine, *conformance::find_scenario("ProductProcessor"));
        EXPECT_NE(processor.find("\tinstalled\tresult=0 name=\"Orvana Print Processor\" installed=1 "), std::string::npos)
            << processor;
        const std::string driver = play_on(*machine, *conformance::find_scenario("DriverInstall"));
        EXPECT_NE(driver.find("\tinstalled\tresult=0 model=\"Orvana "), std::string::npos) << driver;
        EXPECT_NE(driver.find("updated with a newer driver file\tresult=0 "), std::string::npos) << driver;
        EXPECT_NE(driver.find("first printer after the update\tpresent=1 "), std::string::npos) << driver;
        EXPECT_NE(driver.find("the default after the update\tdefault=\"OrvConformance Driver Two\""), std::string::npos)
            << driver;
    }
}

// The test page's record on winsim, on each family's driver: the document from its start
// to its end, the heading in the library's font and the report in the device's own, the
// logo stretched into its square, the font and the bitmap deleted and the caller's
// cursor given back; for a printer that does not exist, one box naming it and nothing
// drawn. The driver's file is where the spooler keeps it, with the lane's version.
TEST(ConformanceScenarios, TestPageRecordsWhatTheLibraryDrew) {
    struct Case {
        winsim::Platform platform;
        const char* driver_file;
        const char* devmode_version;
    };
    for (const Case& c : {Case{winsim::Platform::win98, "<driver directory>\\\\ORVDRV.DLL", "4.00"},
                          Case{winsim::Platform::nt351, "<driver directory>\\\\1\\\\ORVDRV.DLL", "3.32"},
                          Case{winsim::Platform::win2000, "<driver directory>\\\\3\\\\ORVDRV.DLL", "4.01"}}) {
        SCOPED_TRACE(std::string(winsim::platform_info(c.platform).name));
        auto machine = winsim::Machine::create(c.platform);
        const std::string text = play_on(*machine, *conformance::find_scenario("TestPage"));
        for (const std::string& expected : {
                 std::string("TestPage\tprinted\tresult=0 error_text=\"\"\n"),
                 std::string("\tprinted: document\tStartDocA=ok name=\"Orvana printer test page\" StartPage=ok EndPage=ok EndDoc=ok\n"),
                 std::string("\tprinted: fonts\tface=\"Times New Roman\" weight=400 charset=0 quality=2 selected=1 deleted=1\n"),
                 std::string("\tprinted: logo\tLoadBitmapA=102 loaded=ok SetMapMode=8 previous=1 StretchBlt=ok to=0,0+100x100 "
                             "from=0,0+570x469 rop=0x00CC0020 DeleteObject=ok\n"),
                 std::string("\tprinted: texts\tface=\"Times New Roman\" flags=0x00000850 text=\"Orvana\\nPrinter Test Page\" "
                             "face=device flags=0x00000850 text=\"Congratulations!\\n\""),
                 std::string(" text=\" ") + c.driver_file + "\\t(4.2.0.7)\" ",
                 std::string(" text=\"DEVMODE version: ") + c.devmode_version + "\" ",
                 std::string("\tprinted: boxes\tcalls=none\n"),
                 std::string("\tprinted: cursor\tLoadCursorA=wait SetCursor=wait SetCursor=arrow SetCursor=arrow\n"),
                 std::string("\ta printer that does not exist\tresult=-10 error_text=\"\"\n"),
                 std::string("\ta printer that does not exist: document\tcalls=none\n"),
                 std::string("\ta printer that does not exist: boxes\tcaption=\"Error printing test page\" text=\"Unable to create "
                             "device context for printer\\nPossibly the printer OrvConformance Nobody's Printer does not "
                             "exist.\" type=0x00000010 answer=1\n"),
                 std::string("\ta printer that does not exist: cursor\tLoadCursorA=wait SetCursor=wait SetCursor=arrow SetCursor=arrow\n")})
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
}

// After a failure the page is not printed: the user is asked instead, and the error
// text is shown only to the answer yes, still whole after the answer no.
TEST(ConformanceScenarios, TestPageAfterAFailureAsksInsteadOfPrinting) {
    auto machine = winsim::Machine::create(winsim::Platform::nt4);
    const std::string text = play_on(*machine, *conformance::find_scenario("TestPage"));
    const std::string question = "caption=\"Error printing test page\" text=\"Unrecoverable errors occurred earlier in the process "
                                 "of installing print drivers.\\nWould you like to see the text of those earlier errors?\" "
                                 "type=0x00000014 ";
    const std::string error_text = "\"Printer installer WARNING (LoadLibrary (monitor DLL)): \\nerror #126 for value "
                                   "'C:\\\\ORVCONF\\\\NOMON\\\\ORVMON.DLL'.\\nThe specified module could not be found. \\n\"";
    for (const std::string& expected : {
             std::string("\tafter it, the errors declined\tresult=-1\n"),
             "\tafter it, the errors declined: boxes\t" + question + "answer=7\n",
             std::string("\tafter it, the errors declined: document\tcalls=none\n"),
             "\tafter it, the errors seen\tresult=-16 error_text=" + error_text + "\n",
             "\tafter it, the errors seen: boxes\t" + question + "answer=6 caption=\"Error printing test page\" text=" + error_text +
                 " type=0x00000010 answer=1\n",
             std::string("\tafter it, the errors seen: document\tcalls=none\n")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

// The fixed version block of a component, laid out at `path`, as the machine's version
// calls read it.
std::optional<VS_FIXEDFILEINFO> fixed_version(winsim::Machine& machine, const std::string& component, const char* path) {
    machine.files().write_file(path, conformance::component_bytes(component.c_str()));
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    std::vector<char> block(size ? size : 1);
    void* value = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoA(path, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return *static_cast<const VS_FIXEDFILEINFO*>(value);
}

// The update needs a newer file of the same driver: each newer build has a later file
// version with the same driver version (the first two numbers) as the one it replaces.
TEST(ConformanceComponents, TheNewerDriversAreLaterBuildsOfTheSameDriverVersion) {
    auto machine = winsim::Machine::create(winsim::Platform::win2000);
    machine->make_current();
    for (const char* name : {"orvdrv.dll", "orvdrv351.dll", "orvfax.drv"}) {
        SCOPED_TRACE(name);
        const std::optional<VS_FIXEDFILEINFO> base = fixed_version(*machine, name, "C:\\base.bin");
        const std::optional<VS_FIXEDFILEINFO> newer = fixed_version(*machine, std::string("newer\\") + name, "C:\\newer.bin");
        ASSERT_TRUE(base && newer);
        EXPECT_EQ(newer->dwFileVersionMS, base->dwFileVersionMS);
        EXPECT_GT(newer->dwFileVersionLS, base->dwFileVersionLS);
    }
    EXPECT_TRUE(conformance::component_bytes("nobody.dll").empty());
}

}  // namespace
