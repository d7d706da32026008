// `orvsetup printers`: what a setup author reads of a machine's printers after an
// installation, for a person and as JSON.
#include "machine_commands.h"
#include "printers_view.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The view as the command prints it.
std::string printers_command(winsim::Machine& machine, bool json) {
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_machine_command(machine, {"show", "printers"}, json, out, out), 0);
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& each : lines)
        if (each == line) return true;
    return false;
}

#define EXPECT_LINE(lines, line) EXPECT_TRUE(has_line(lines, line)) << "no line \"" << (line) << "\""

const char nt4_office[] = R"(
platform = "nt4"
default_printer = "Kestrel LaserStar 600"

[[driver]]
name = "Kestrel LaserStar 600"
file = "KSLASER.DLL"

[[driver]]
name = "Orvana Print Driver"
file = "ORVDRV.DLL"

[[printer]]
name = "Kestrel LaserStar 600"
port = "LPT1:"
driver = "Kestrel LaserStar 600"
[printer.devmode]
paper_size = 9
orientation = 2
print_quality = 600
y_resolution = 300
[printer.settings]
Resolution = 600
Tray = "Upper tray"
Margin = -1

[[printer]]
name = "Orvana Fax"
port = "FILE:"
driver = "Orvana Print Driver"

[[printer]]
name = "Orvana Prism"
port = "COM1:"
driver = "Orvana Print Driver"
[printer.devmode]
paper_size = 1
)";

const char nt_settings_key[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

TEST(PrintersView, NtShowsEachPrinterForAPerson) {
    auto machine = winsim::Machine::create_from_description_text(nt4_office, "office.toml");
    const std::vector<std::string> lines = lines_of(printers_command(*machine, false));
    EXPECT_EQ(lines.front(), "Kestrel LaserStar 600");
    EXPECT_LINE(lines, "  port              LPT1:");
    EXPECT_LINE(lines, "  driver            Kestrel LaserStar 600");
    EXPECT_LINE(lines, "  print processor   WinPrint");
    EXPECT_LINE(lines, "  datatype          RAW");
    EXPECT_LINE(lines, "  attributes        0x00000040 local");
    EXPECT_LINE(lines, "  status            0x00000000 ready");
    EXPECT_LINE(lines, "    paper size      9");
    EXPECT_LINE(lines, "    orientation     2");
    EXPECT_LINE(lines, "    print quality   600");
    EXPECT_LINE(lines, "    y resolution    300");
    EXPECT_LINE(lines, "  driver settings   3 in " + std::string(nt_settings_key) + "Kestrel LaserStar 600\\PrinterDriverData");
    EXPECT_LINE(lines, "    Resolution  REG_DWORD 600");
    EXPECT_LINE(lines, "    Tray        REG_SZ    \"Upper tray\"");
    EXPECT_LINE(lines, "    Margin      REG_DWORD -1");
    EXPECT_LINE(lines, "Orvana Fax");
    EXPECT_LINE(lines, "  devmode           none") << "the product's driver makes it with the first device context";
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("intensity"), std::string::npos) << "NT never uses the private byte";
        EXPECT_EQ(line.find("WIN.INI"), std::string::npos) << "NT's driver reads no ini files";
    }
    EXPECT_EQ(lines.back().rfind("default printer: Kestrel LaserStar 600,winspool,", 0), 0u) << lines.back();
}

TEST(PrintersView, NtAsJsonHasOneObjectAPrinterAndOneForTheDefault) {
    auto machine = winsim::Machine::create_from_description_text(nt4_office, "office.toml");
    const std::vector<std::string> lines = lines_of(printers_command(*machine, true));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "{\"printer\": \"Orvana Fax\", \"port\": \"FILE:\", \"driver\": \"Orvana Print Driver\", "
                        "\"print_processor\": \"WinPrint\", \"datatype\": \"RAW\", \"attributes\": 64, \"status\": 0, "
                        "\"devmode\": null, \"settings_key\": \"HKEY_LOCAL_MACHINE\\\\SYSTEM\\\\CurrentControlSet\\\\Control\\\\"
                        "Print\\\\Printers\\\\Orvana Fax\\\\PrinterDriverData\", \"settings\": [], \"device_section\": null, "
                        "\"private_ini\": null}");
    EXPECT_NE(lines[0].find("\"paper_size\": 9, \"orientation\": 2, \"print_quality\": 600, \"y_resolution\": 300, "
                            "\"intensity\": null}"),
              std::string::npos)
        << lines[0];
    // In the registry's order; a description lays its settings out by name.
    EXPECT_NE(lines[0].find("\"settings\": [{\"name\": \"Margin\", \"type\": \"REG_DWORD\", \"value\": -1}, {\"name\": "
                            "\"Resolution\", \"type\": \"REG_DWORD\", \"value\": 600}, {\"name\": \"Tray\", \"type\": "
                            "\"REG_SZ\", \"value\": \"Upper tray\"}]"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[2].find("\"driver_extra\": 96, \"paper_size\": 1,"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("\"intensity\": null}"), std::string::npos) << "reached, but NT never uses it: " << lines[2];
    EXPECT_EQ(lines[3].rfind("{\"default_printer\": \"Kestrel LaserStar 600,winspool,", 0), 0u) << lines[3];
}

TEST(PrintersView, WindowsTwoThousandKeepsTheDriverSettingsUnderSoftware) {
    auto machine = winsim::Machine::create(winsim::Platform::win2000);
    machine->spooler().add_driver("Orvana Print Driver");
    machine->spooler().add_printer("Fax", "LPT1:", "Orvana Print Driver");
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Fax\\PrinterDriverData";
    machine->registry().set_string(key, "File Type", "TIFF Group 3");
    orvsetup::PrintersView view = orvsetup::view_printers(*machine);
    ASSERT_EQ(view.printers.size(), 1u);
    EXPECT_EQ(view.printers[0].settings_key, key);
    ASSERT_EQ(view.printers[0].settings.size(), 1u);
    EXPECT_EQ(view.printers[0].settings[0].text, "TIFF Group 3");
    EXPECT_FALSE(view.default_printer);
    EXPECT_EQ(lines_of(printers_command(*machine, false)).back(), "default printer: none");
    EXPECT_EQ(lines_of(printers_command(*machine, true)).back(), "{\"default_printer\": null}");
}

const char win98_home[] = R"(
platform = "win98"
default_printer = "Docket"

[[file]]
path = 'C:\WINDOWS\WIN.INI'
text = "[windows]\r\nload=\r\n\r\n[Docket,LPT1]\r\nY Resolution=196\r\nPaper Size=1\r\nOrientation=1\r\n"

[[file]]
path = 'C:\WINDOWS\orvfxb.ini'
text = "[OWNER]\r\nFileType=5\r\n[DOCKET]\r\nLibraryName=ORV16MM.DLL\r\n"

[[file]]
path = 'C:\WINDOWS\orvlotus.ini'
text = "[OWNER]\r\nFileType=0\r\n"

[[driver]]
name = "Orvana Win98 Docket Driver"
file = "ORVFAX16.DRV"

[[driver]]
name = "Kestrel InkJet 200"
file = "KSINK.DRV"

[[printer]]
name = "Docket"
port = "LPT1:"
driver = "Orvana Win98 Docket Driver"
[printer.devmode]
paper_size = 1

[[printer]]
name = "Kestrel InkJet 200"
port = "FILE:"
driver = "Kestrel InkJet 200"
)";

// The private byte as the product's driver keeps it, behind the public DEVMODE.
void set_intensity_byte(winsim::Machine& machine, const std::string& printer, unsigned char intensity) {
    const std::string key = machine.spooler().printer_key(printer);
    winsim::RegistryValue devmode = *machine.registry().value(key, "Default DevMode");
    ASSERT_GT(devmode.bytes.size(), 206u);
    devmode.bytes[206] = static_cast<char>(intensity);
    machine.registry().set_value(key, "Default DevMode", REG_BINARY, devmode.bytes);
}

TEST(PrintersView, NinetyEightShowsTheSettingsFilesOfTheProductsDriver) {
    auto machine = winsim::Machine::create_from_description_text(win98_home, "home.toml");
    set_intensity_byte(*machine, "Docket", 160);
    const std::vector<std::string> lines = lines_of(printers_command(*machine, false));
    EXPECT_LINE(lines, "    intensity       160");
    EXPECT_LINE(lines, "  WIN.INI [Docket,LPT1]");
    EXPECT_LINE(lines, "    Y Resolution=196");
    EXPECT_LINE(lines, "    Paper Size=1");
    EXPECT_LINE(lines, "    Orientation=1");
    EXPECT_LINE(lines, "  C:\\WINDOWS\\orvfxb.ini") << "a Docket driver reads orvfxb.ini";
    EXPECT_LINE(lines, "    [DOCKET]");
    EXPECT_LINE(lines, "    LibraryName=ORV16MM.DLL");
    EXPECT_LINE(lines, "  WIN.INI [Kestrel InkJet 200,FILE] none") << "the port's colon is not part of the section";
    EXPECT_LINE(lines, "  attributes        0x00000000") << "95/98 printers are not marked local";
    for (const std::string& line : lines) EXPECT_EQ(line.find("orvlotus.ini"), std::string::npos) << "no printer reads it";
    EXPECT_EQ(lines.back(), "default printer: Docket,ORVFAX16,LPT1:");

    const std::vector<std::string> json = lines_of(printers_command(*machine, true));
    ASSERT_EQ(json.size(), 3u);
    EXPECT_NE(json[0].find("\"intensity\": 160}"), std::string::npos) << json[0];
    EXPECT_NE(json[0].find("\"device_section\": {\"name\": \"Docket,LPT1\", \"entries\": {\"Y Resolution\": \"196\", \"Paper "
                           "Size\": \"1\", \"Orientation\": \"1\"}}, \"private_ini\": {\"path\": \"C:\\\\WINDOWS\\\\orvfxb.ini\", "
                           "\"text\": \"[OWNER]\\r\\nFileType=5\\r\\n[DOCKET]\\r\\nLibraryName=ORV16MM.DLL\\r\\n\"}}"),
              std::string::npos)
        << json[0];
    EXPECT_NE(json[1].find("\"device_section\": {\"name\": \"Kestrel InkJet 200,FILE\", \"entries\": {}}, \"private_ini\": null}"),
              std::string::npos)
        << json[1];
    EXPECT_EQ(json[2], "{\"default_printer\": \"Docket,ORVFAX16,LPT1:\"}");
}

TEST(PrintersView, TheIntensityIsShownOnlyWhereTheDevmodeReachesIt) {
    auto machine = winsim::Machine::create_from_description_text(win98_home, "home.toml");
    orvsetup::PrintersView view = orvsetup::view_printers(*machine);
    ASSERT_EQ(view.printers.size(), 2u);
    ASSERT_TRUE(view.printers[0].devmode);
    EXPECT_EQ(view.printers[0].devmode->intensity, 0) << "the product's DEVMODE has its private part";
    ASSERT_TRUE(view.printers[1].devmode);
    EXPECT_FALSE(view.printers[1].devmode->intensity) << "another maker's DEVMODE ends before offset 206";
}

TEST(PrintersView, AMachineWithoutPrintersSaysSo) {
    auto machine = winsim::Machine::create(winsim::Platform::win95);
    EXPECT_EQ(printers_command(*machine, false), "no printers\ndefault printer: none\n");
    EXPECT_EQ(printers_command(*machine, true), "{\"default_printer\": null}\n");
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_machine_command(*machine, {"show", "printers", "all"}, false, out, out), 2);
    std::fclose(out);
}

}  // namespace
