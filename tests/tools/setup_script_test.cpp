// Reading setup scripts: what a script says, and the place of every mistake in it.
#include "setup_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> platforms = {"win95", "win98", "nt351", "nt4", "win2000"};

orvsetup::SetupScript parse(const std::string& text) { return orvsetup::parse_setup_script(text, "setup.toml", platforms); }

// The message a refused script gives, or "" when it is read.
std::string refusal(const std::string& text) {
    try {
        parse(text);
    } catch (const orvsetup::ScriptError& error) {
        return error.what();
    }
    return "";
}

TEST(SetupScript, StepsCarryTheirCallPlatformsAcceptedResultsAndRecords) {
    const orvsetup::SetupScript script = parse(R"(title = "Fax"
[sources]
folder = 'C:\SETUP'
files = ["orvmon.dll"]
make = ['C:\ORVANA']

[[step]]
export = "insAddMonitorEx"
args = ['C:\SETUP\orvmon.dll', "@out:80", 0]
accept = [0, -13]
stop = false

[[step]]
export = "insAddPrinter"
args = ["@printer"]
platforms = ["nt4", "win2000"]
[step.printer]
pPrinterName = "Sales Fax"
nPaperSize = 9

[[uninstall.step]]
export = "insNukePrinter"
args = ["Sales Fax"]
)");
    EXPECT_EQ(script.title, "Fax");
    EXPECT_EQ(script.source_folder, "C:\\SETUP");
    EXPECT_EQ(script.source_files, std::vector<std::string>{"orvmon.dll"});
    EXPECT_EQ(script.made_folders, std::vector<std::string>{"C:\\ORVANA"});
    ASSERT_EQ(script.install.size(), 2u);
    const orvsetup::ScriptStep& monitor = script.install[0];
    EXPECT_EQ(monitor.title, "insAddMonitorEx C:\\SETUP\\orvmon.dll");
    EXPECT_EQ(monitor.call.words, (std::vector<std::string>{"C:\\SETUP\\orvmon.dll", "@out:80", "0"}));
    EXPECT_TRUE(orvsetup::is_accepted(monitor, -13));
    EXPECT_FALSE(orvsetup::is_accepted(monitor, -12));
    EXPECT_FALSE(monitor.stops_on_failure);
    EXPECT_TRUE(orvsetup::step_is_for(monitor, "win95")) << "a step without platforms is for every one";
    EXPECT_EQ(monitor.line, 7);

    const orvsetup::ScriptStep& printer = script.install[1];
    EXPECT_EQ(printer.title, "insAddPrinter Sales Fax") << "a record's step is named by what it makes";
    EXPECT_TRUE(printer.stops_on_failure);
    EXPECT_TRUE(orvsetup::is_accepted(printer, 0));
    EXPECT_FALSE(orvsetup::step_is_for(printer, "win98"));
    EXPECT_TRUE(orvsetup::step_is_for(printer, "nt4"));
    ASSERT_EQ(printer.call.records.count(0), 1u);
    const auto* record = static_cast<const INS_PRINTER_DEFINITION*>(printer.call.records.at(0).words);
    EXPECT_STREQ(record->pPrinterName, "Sales Fax");
    EXPECT_EQ(record->nPaperSize, 9);
    EXPECT_EQ(record->dwVersion, 4u) << "a field left out leaves its setting unchanged";
    EXPECT_EQ(record->nOrientation, -1);
    ASSERT_EQ(script.uninstall.size(), 1u);
    EXPECT_EQ(script.uninstall[0].call.export_name, "insNukePrinter");
}

TEST(SetupScript, MistakesAreNamedWithFileLineAndKey) {
    EXPECT_EQ(refusal("[[step]]\nexport = \"insAddMonitorX\"\n"),
              "setup.toml:2: export 'insAddMonitorX' is not an export of OrvInstl.dll");
    EXPECT_EQ(refusal("[[step]]\nexport = \"InstallAllowed\"\nexprot = 1\n"),
              "setup.toml:3: key 'exprot' is not a key of a step (export, args, title, platforms, accept, stop, printer, port)");
    EXPECT_EQ(refusal("[[step]]\nexport = \"InstallAllowed\"\nplatforms = [\"nt4\", \"win31\"]\n"),
              "setup.toml:3: platform 'win31' is not one of win95, win98, nt351, nt4, win2000");
    EXPECT_EQ(refusal("[[step]]\nexport = \"InstallAllowed\"\nstop = \"no\"\n"), "setup.toml:3: key 'stop' must be true or false");
    EXPECT_EQ(refusal("[[step]]\nexport = \"InstallAllowed\"\naccept = [0, \"-12\"]\n"),
              "setup.toml:3: key 'accept' must list whole numbers of 32 bits");
    EXPECT_EQ(refusal("[[step]]\nexport = 7\n"), "setup.toml:2: key 'export' must be a text");
    EXPECT_EQ(refusal("[[step]]\nargs = []\n"), "setup.toml:1: a step needs the key 'export'");
    EXPECT_EQ(refusal("[[step]]\nexport = \"insAddPrinter\"\nargs = [\"@printer\"]\n[step.printer]\npPrinterNam = \"Fax\"\n"),
              "setup.toml:5: field 'pPrinterNam' is not a field of INS_PRINTER_DEFINITION");
    EXPECT_EQ(refusal("[[step]]\nexport = \"insAddPort\"\nargs = [\"@port\"]\n[step.port]\nnPlainPort = \"yes\"\n"),
              "setup.toml:5: field 'nPlainPort' must be a whole number from -2147483648 to 2147483647");
    EXPECT_EQ(refusal("[[step]]\nexport = \"insAddPort\"\nargs = [\"@printer\"]\n[step.printer]\n"),
              "setup.toml:3: argument 1 of insAddPort is no printer definition");
    EXPECT_EQ(refusal("[[step]]\nexport = \"insAddPrinter\"\nargs = [\"@printer\"]\n"),
              "setup.toml:3: argument '@printer' needs the step's table [step.printer]");
    EXPECT_EQ(refusal("[[step]]\nexport = \"insIsPrinterPresent\"\nargs = [\"Fax\"]\n"),
              "setup.toml:3: insIsPrinterPresent takes 2 arguments: insIsPrinterPresent(text, out 32-bit value (@long))");
    EXPECT_EQ(refusal("[[step]]\nexport = \"insDeleteMonitor\"\nargs = [3]\n"), "")
        << "a number stands for its word, which a text parameter takes as text";
    EXPECT_EQ(refusal("titel = \"Fax\"\n[[step]]\nexport = \"InstallAllowed\"\n"),
              "setup.toml:1: key 'titel' is not a key of a setup script (title, platforms, sources, step, uninstall)");
    EXPECT_EQ(refusal("[sources]\nfiles = [\"orvmon.dll\"]\n[[step]]\nexport = \"InstallAllowed\"\n"),
              "setup.toml:1: [sources] names files but no folder");
    EXPECT_EQ(refusal("title = \"Fax\"\n"), "setup.toml: the script has no [[step]]");
    EXPECT_EQ(refusal("[[step]\n"), "setup.toml:1: Error while parsing table header: expected ']', saw '\\n'")
        << "a file that is no TOML says where";
}

TEST(SetupScript, AMissingFileIsNamed) {
    try {
        orvsetup::read_setup_script("/nonexistent/setup.toml", platforms);
        FAIL() << "a missing script was read";
    } catch (const orvsetup::ScriptError& error) {
        EXPECT_STREQ(error.what(), "cannot read /nonexistent/setup.toml");
    }
}

TEST(SetupScript, TheSamplesAreRead) {
    for (const char* name : {"standard", "print-server", "update"}) {
        SCOPED_TRACE(name);
        const orvsetup::SetupScript script =
            orvsetup::read_setup_script(std::string(ORV_SOURCE_DIR) + "/samples/setups/" + name + ".toml", platforms);
        EXPECT_FALSE(script.install.empty());
        EXPECT_FALSE(script.uninstall.empty());
    }
}

}  // namespace
