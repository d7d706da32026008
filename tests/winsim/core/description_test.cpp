#include <winsim/description.h>
#include <winsim/machine.h>
#include <winsim/spooler/print_registry.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using winsim::DescriptionError;
using winsim::Machine;

namespace reg = winsim::print_registry;

const std::filesystem::path samples = ORV_SAMPLE_MACHINES_DIR;

// What a program sees of a printer through GetPrinterA at level 2.
struct SeenPrinter {
    std::string port, driver, processor, datatype;
    DEVMODEA devmode{};
};

SeenPrinter seen(const std::string& name) {
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterA(const_cast<char*>(name.c_str()), &printer, nullptr)) << name;
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetPrinterA(printer, 2, buffer.data(), needed, &needed)) << name;
    ClosePrinter(printer);
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    SeenPrinter out{info->pPortName, info->pDriverName, info->pPrintProcessor, info->pDatatype};
    if (info->pDevMode) std::memcpy(&out.devmode, info->pDevMode, std::min<std::size_t>(info->pDevMode->dmSize, sizeof out.devmode));
    return out;
}

std::optional<winsim::RegistryValue> setting(Machine& machine, const std::string& printer, const std::string& name) {
    return machine.registry().value(machine.spooler().printer_key(printer) + "\\" + std::string(reg::printer_driver_data), name);
}

winsim::RegistryValue dword(DWORD number) { return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)}; }
winsim::RegistryValue text(const std::string& value) { return {REG_SZ, value + '\0'}; }

TEST(MachineDescription, OfficePcHasTheOtherMakersPrintersAndItsDefault) {
    auto machine = Machine::create_from_description(samples / "office-nt4.toml");
    ASSERT_EQ(machine->platform(), winsim::Platform::nt4);
    EXPECT_EQ(machine->spooler().printers(), (std::vector<std::string>{"Kestrel LaserStar 600", "Kestrel Text to File"}));

    SeenPrinter laser = seen("Kestrel LaserStar 600");
    EXPECT_EQ(laser.port, "LPT1:");
    EXPECT_EQ(laser.driver, "Kestrel LaserStar 600");
    EXPECT_EQ(laser.processor, "WinPrint");
    EXPECT_EQ(laser.datatype, "RAW");
    EXPECT_EQ(laser.devmode.dmPaperSize, DMPAPER_A4);
    EXPECT_EQ(laser.devmode.dmOrientation, DMORIENT_PORTRAIT);
    EXPECT_EQ(laser.devmode.dmPrintQuality, 600);
    EXPECT_EQ(laser.devmode.dmYResolution, 600);
    EXPECT_TRUE(laser.devmode.dmFields & DM_YRESOLUTION);
    EXPECT_EQ(laser.devmode.dmSize, 148) << "the DEVMODE keeps NT 4.0's size";

    SeenPrinter text_printer = seen("Kestrel Text to File");
    EXPECT_EQ(text_printer.port, "FILE:");
    EXPECT_EQ(text_printer.datatype, "TEXT");
    EXPECT_EQ(text_printer.devmode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(text_printer.devmode.dmPaperSize, DMPAPER_LETTER) << "a field left out keeps the spooler's default";
    EXPECT_FALSE(text_printer.devmode.dmFields & DM_YRESOLUTION);

    EXPECT_EQ(setting(*machine, "Kestrel LaserStar 600", "Resolution"), dword(600));
    EXPECT_EQ(setting(*machine, "Kestrel LaserStar 600", "TrayDefault"), text("Upper tray"));
    EXPECT_EQ(setting(*machine, "Kestrel LaserStar 600", "Duplex"), dword(0));
    EXPECT_EQ(setting(*machine, "Kestrel Text to File", "CharactersPerInch"), dword(10));
    EXPECT_FALSE(setting(*machine, "Kestrel Text to File", "Resolution")) << "settings stay with their printer";

    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device"),
              text("Kestrel LaserStar 600,winspool,Ne00:"));
    EXPECT_TRUE(machine->files().exists("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\KSLASER.DLL"));
}

TEST(MachineDescription, Windows98PcNamesItsDefaultInWinIniKeepingTheRest) {
    auto machine = Machine::create_from_description(samples / "win98-pc.toml");
    ASSERT_EQ(machine->platform(), winsim::Platform::win98);
    EXPECT_EQ(machine->spooler().printers(), std::vector<std::string>{"Kestrel InkJet 200"});
    SeenPrinter inkjet = seen("Kestrel InkJet 200");
    EXPECT_EQ(inkjet.port, "LPT1:");
    EXPECT_EQ(inkjet.devmode.dmPaperSize, DMPAPER_LETTER);
    EXPECT_EQ(inkjet.devmode.dmPrintQuality, 300);
    EXPECT_EQ(inkjet.devmode.dmYResolution, 300);
    EXPECT_EQ(setting(*machine, "Kestrel InkJet 200", "ColorMode"), dword(1));
    EXPECT_EQ(setting(*machine, "Kestrel InkJet 200", "InkSaver"), text("off"));
    // 95/98 name the driver by its file, without the extension; the default names the
    // printer as its "Devices" entry does.
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\WIN.INI"),
              "[windows]\r\nload=\r\nrun=\r\ndevice=Kestrel InkJet 200,KSINK,LPT1:\r\n[Desktop]\r\nWallpaper=(None)\r\n"
              "[Devices]\r\nKestrel InkJet 200=KSINK,LPT1:\r\n[PrinterPorts]\r\nKestrel InkJet 200=KSINK,LPT1:,15,45\r\n");
    EXPECT_FALSE(machine->registry().key_exists("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"));
}

// Each case: what WIN.INI held, and what it holds after the spooler's entries of the
// printer and the description's default.
struct WinIniCase {
    const char* before;
    const char* after;
};

class WinIniDevice : public testing::TestWithParam<WinIniCase> {};

TEST_P(WinIniDevice, IsWrittenIntoTheWindowsSectionOnly) {
    const std::string description = std::string("platform = \"win95\"\ndefault_printer = \"P\"\n") +
                                    (GetParam().before ? "[[file]]\npath = 'C:\\WINDOWS\\WIN.INI'\ntext = \"" +
                                                             std::string(GetParam().before) + "\"\n"
                                                       : "") +
                                    "[[driver]]\nname = \"D\"\nfile = \"KSD.DRV\"\n"
                                    "[[printer]]\nname = \"P\"\nport = \"COM1:\"\ndriver = \"D\"\n";
    auto machine = Machine::create_from_description_text(description, "case.toml");
    EXPECT_EQ(machine->files().read_file("C:\\WINDOWS\\WIN.INI"), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinIniDevice,
    testing::Values(WinIniCase{nullptr, "[Devices]\r\nP=KSD,COM1:\r\n[PrinterPorts]\r\nP=KSD,COM1:,15,45\r\n"
                                        "[windows]\r\ndevice=P,KSD,COM1:\r\n"},
                    WinIniCase{"[fonts]\\r\\nA=1", "[fonts]\r\nA=1\r\n[Devices]\r\nP=KSD,COM1:\r\n"
                                                  "[PrinterPorts]\r\nP=KSD,COM1:,15,45\r\n[windows]\r\ndevice=P,KSD,COM1:\r\n"},
                    WinIniCase{"[Windows]\\r\\nDevice=Old,OLD,LPT1:\\r\\nrun=\\r\\n[fonts]\\r\\n",
                               "[Windows]\r\nDevice=P,KSD,COM1:\r\nrun=\r\n[fonts]\r\n[Devices]\r\nP=KSD,COM1:\r\n"
                               "[PrinterPorts]\r\nP=KSD,COM1:,15,45\r\n"},
                    WinIniCase{"[windows]\\r\\nload=\\r\\n[devices]\\r\\ndevice=kept\\r\\n",
                               "[windows]\r\nload=\r\ndevice=P,KSD,COM1:\r\n[devices]\r\ndevice=kept\r\nP=KSD,COM1:\r\n"
                               "[PrinterPorts]\r\nP=KSD,COM1:,15,45\r\n"}));

// The sanitizers slow every registry lookup about thirty times.
#ifdef __SANITIZE_ADDRESS__
constexpr double time_limit_seconds = 120.0;
#else
constexpr double time_limit_seconds = 10.0;
#endif

TEST(MachineDescription, PrintServerOfTwoThousandPrintersIsMadeInSeconds) {
    const auto start = std::chrono::steady_clock::now();
    auto machine = Machine::create_from_description(ORV_PRINT_SERVER_DESCRIPTION);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, time_limit_seconds) << "a print server is made in seconds, not minutes";
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_EQ(machine->spooler().printers().size(), 2000u);
    EXPECT_EQ(machine->spooler().ports().size(), 4003u) << "4,000 network ports beside LPT1:, COM1: and FILE:";
    SeenPrinter last = seen("Queue 2000");
    EXPECT_EQ(last.port, "KNET_4000:");
    EXPECT_EQ(last.driver, "Kestrel LaserStar 600");
    EXPECT_EQ(last.devmode.dmPrintQuality, 300);
    EXPECT_EQ(setting(*machine, "Queue 1999", "Resolution"), dword(600));
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device"),
              text("Queue 0001,winspool,Ne00:"));
}

TEST(MachineDescription, OptionsAndSettingsTakeTheirWholeRange) {
    auto machine = Machine::create_from_description_text(
        "platform = \"win2000\"\n"
        "[options]\narch = \"x64\"\nadministrator = false\nterminal_services = true\nsetupapi = \"without-isuseradmin\"\n"
        "[[monitor]]\nname = \"Kestrel Port\"\ndll = \"KSMON.DLL\"\n"
        "[[port]]\nname = \"KS1:\"\nmonitor = \"Kestrel Port\"\n"
        "[[print_processor]]\nname = \"KsProc\"\ndll = \"KSPP.DLL\"\ndatatypes = [\"RAW\", \"KSRAW\"]\n"
        "[[driver]]\nname = \"D\"\nfile = \"KSD.DLL\"\n"
        "[[printer]]\nname = \"P\"\nport = \"KS1:\"\ndriver = \"D\"\nprint_processor = \"KsProc\"\ndatatype = \"KSRAW\"\n"
        "[printer.settings]\nAll = -1\nTop = 4294967295\nLow = -2147483648\n",
        "options.toml");
    EXPECT_EQ(machine->options().arch, winsim::Arch::x64);
    EXPECT_FALSE(machine->options().administrator);
    EXPECT_TRUE(machine->options().terminal_services);
    EXPECT_EQ(machine->options().setupapi, winsim::SetupApi::without_is_user_admin);
    SeenPrinter printer = seen("P");
    EXPECT_EQ(printer.port, "KS1:");
    EXPECT_EQ(printer.processor, "KsProc");
    EXPECT_EQ(printer.datatype, "KSRAW");
    EXPECT_EQ(printer.devmode.dmSize, 156) << "Windows 2000's DEVMODE";
    EXPECT_EQ(setting(*machine, "P", "All"), dword(0xFFFFFFFF)) << "-1 is stored with all bits set";
    EXPECT_EQ(setting(*machine, "P", "Top"), dword(0xFFFFFFFF));
    EXPECT_EQ(setting(*machine, "P", "Low"), dword(0x80000000));
}

// Each case: a description and the message that refuses it.
struct RefusedCase {
    const char* name;
    const char* description;
    const char* message;
};

class RefusedDescription : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedDescription, NamesFileLineAndKey) {
    try {
        Machine::create_from_description_text(GetParam().description, "bad.toml");
        ADD_FAILURE() << "accepted";
    } catch (const DescriptionError& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedDescription,
    testing::Values(
        RefusedCase{"NoPlatform", "default_printer = \"P\"\n", "bad.toml:1: description: 'platform' is missing"},
        RefusedCase{"UnknownPlatform", "\nplatform = \"nt5\"\n", "bad.toml:2: unknown platform 'nt5'"},
        RefusedCase{"UnknownTopKey", "platform = \"nt4\"\nprinters = 3\n", "bad.toml:2: description: unknown key 'printers'"},
        RefusedCase{"UnknownOption", "platform = \"nt4\"\n[options]\nadmin = true\n", "bad.toml:3: options: unknown key 'admin'"},
        RefusedCase{"OptionOfWrongType", "platform = \"nt4\"\n[options]\nadministrator = \"yes\"\n",
                    "bad.toml:3: options: 'administrator' must be true or false"},
        RefusedCase{"UnknownArch", "platform = \"nt4\"\n[options]\narch = \"ia64\"\n",
                    "bad.toml:3: options: unknown arch 'ia64' (x86, x64)"},
        RefusedCase{"PrinterNotAnArray", "platform = \"nt4\"\n[printer]\nname = \"P\"\n",
                    "bad.toml:2: 'printer' must be written [[printer]]"},
        RefusedCase{"MisspeltPrinterKey", "platform = \"nt4\"\n[[printer]]\nname = \"P\"\nprot = \"LPT1:\"\n",
                    "bad.toml:4: printer: unknown key 'prot'"},
        RefusedCase{"PrinterWithoutPort", "platform = \"nt4\"\n[[printer]]\nname = \"P\"\ndriver = \"D\"\n",
                    "bad.toml:2: printer 'P': 'port' is missing"},
        RefusedCase{"PortOfWrongType", "platform = \"nt4\"\n[[printer]]\nname = \"P\"\nport = 1\n",
                    "bad.toml:4: printer 'P': 'port' must be a text"},
        RefusedCase{"UnknownPort", "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT9:\"\ndriver = \"D\"\n",
                    "bad.toml:7: printer 'P': no port named 'LPT9:'"},
        RefusedCase{"UnknownDriver", "platform = \"nt4\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\ndriver = \"D\"\n",
                    "bad.toml:5: printer 'P': no driver named 'D'"},
        RefusedCase{"UnknownProcessor",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\n"
                    "driver = \"D\"\nprint_processor = \"None\"\n",
                    "bad.toml:9: printer 'P': no print processor named 'None'"},
        RefusedCase{"PrinterTwice",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\n"
                    "driver = \"D\"\n[[printer]]\nname = \"p\"\nport = \"FILE:\"\ndriver = \"D\"\n",
                    "bad.toml:10: printer 'p': the machine has one of that name already"},
        RefusedCase{"DevmodeFieldTooLarge",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\n"
                    "driver = \"D\"\n[printer.devmode]\nprint_quality = 40000\n",
                    "bad.toml:10: printer 'P' devmode: 'print_quality' must be a whole number from -32768 to 32767"},
        RefusedCase{"UnknownDevmodeField",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\n"
                    "driver = \"D\"\n[printer.devmode]\ncolor = 2\n",
                    "bad.toml:10: printer 'P' devmode: unknown key 'color'"},
        RefusedCase{"SettingOfWrongType",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\n"
                    "driver = \"D\"\n[printer.settings]\nRatio = 1.5\n",
                    "bad.toml:10: printer 'P' settings: 'Ratio' must be a whole number or a text"},
        RefusedCase{"SettingTooLarge",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[printer]]\nname = \"P\"\nport = \"LPT1:\"\n"
                    "driver = \"D\"\n[printer.settings]\nBig = 4294967296\n",
                    "bad.toml:10: printer 'P' settings: 'Big' does not fit in 32 bits"},
        RefusedCase{"MonitorTheMachineHas", "platform = \"nt4\"\n[[monitor]]\nname = \"local port\"\ndll = \"X.DLL\"\n",
                    "bad.toml:3: monitor 'local port': the machine has one of that name already"},
        RefusedCase{"PortTwice", "platform = \"nt4\"\n[[port]]\nname = \"KS1:\"\n[[port]]\nname = \"ks1:\"\n",
                    "bad.toml:5: port 'ks1:': the machine has one of that name already"},
        RefusedCase{"ProcessorTheMachineHas", "platform = \"win98\"\n[[print_processor]]\nname = \"WinPrint\"\ndll = \"X.DLL\"\n",
                    "bad.toml:3: print_processor 'WinPrint': the machine has one of that name already"},
        RefusedCase{"DriverTwice",
                    "platform = \"nt4\"\n[[driver]]\nname = \"D\"\nfile = \"D.DLL\"\n[[driver]]\nname = \"D\"\nfile = \"E.DLL\"\n",
                    "bad.toml:6: driver 'D': the machine has one of that name already"},
        RefusedCase{"PortOfUnknownMonitor", "platform = \"nt4\"\n[[port]]\nname = \"KS1:\"\nmonitor = \"Kestrel\"\n",
                    "bad.toml:4: port 'KS1:': no monitor named 'Kestrel'"},
        RefusedCase{"DatatypesNotTexts", "platform = \"nt4\"\n[[print_processor]]\nname = \"K\"\ndll = \"K.DLL\"\ndatatypes = [1]\n",
                    "bad.toml:5: print_processor 'K': 'datatypes' must be a list of texts"},
        RefusedCase{"DefaultNotAPrinter", "platform = \"nt4\"\ndefault_printer = \"Nobody\"\n",
                    "bad.toml:2: default_printer: no printer named 'Nobody'"},
        RefusedCase{"FileWithoutPath", "platform = \"nt4\"\n[[file]]\ntext = \"x\"\n", "bad.toml:2: file: 'path' is missing"},
        RefusedCase{"FileOfTextAndRecipe", "platform = \"nt4\"\n[[file]]\npath = 'C:\\A.DLL'\ntext = \"x\"\nrecipe = \"a.toml\"\n",
                    "bad.toml:5: file 'C:\\A.DLL': 'text' and 'recipe' exclude each other"},
        RefusedCase{"RecipeNotThere", "platform = \"nt4\"\n[[file]]\npath = 'C:\\A.DLL'\nrecipe = \"no-such-recipe.toml\"\n",
                    "bad.toml:4: file 'C:\\A.DLL': no-such-recipe.toml: cannot be opened"}),
    [](const testing::TestParamInfo<RefusedCase>& param_info) { return std::string(param_info.param.name); });

// A product component laid out from its recipe is the image the product ships for the
// machine's architecture, whose strings a loader reads (XP: the oldest that reads PE32+).
TEST(MachineDescription, AComponentRecipeGivesTheImageOfTheMachinesArch) {
    const std::string recipe = (samples.parent_path() / "components" / "orvmon.dll.toml").string();
    for (const char* arch : {"x86", "x64"}) {
        SCOPED_TRACE(arch);
        auto machine = Machine::create_from_description_text(
            std::string("platform = \"winxp\"\n[options]\narch = \"") + arch + "\"\n[[file]]\npath = 'C:\\WINDOWS\\system32\\ORVMON.DLL'\n"
                "recipe = '" + recipe + "'\n",
            "components.toml");
        HMODULE module = LoadLibraryExA("C:\\WINDOWS\\system32\\ORVMON.DLL", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        char name[64] = {};
        EXPECT_GT(LoadStringA(module, 300, name, sizeof name), 0);
        EXPECT_STREQ(name, "Orvana Fax Port");
        FreeLibrary(module);
        const std::optional<std::string> image = machine->files().read_file("C:\\WINDOWS\\system32\\ORVMON.DLL");
        ASSERT_TRUE(image && image->size() > 0x40);
        std::uint32_t header = 0;
        std::memcpy(&header, image->data() + 0x3C, sizeof header);
        std::uint16_t magic = 0;
        std::memcpy(&magic, image->data() + header + 24, sizeof magic);
        EXPECT_EQ(magic, std::string(arch) == "x64" ? 0x20B : 0x10B) << "PE32+ for x64, PE32 for x86";
    }
}

TEST(MachineDescription, UnreadableTomlIsRefusedAtItsLine) {
    try {
        Machine::create_from_description_text("platform = \"nt4\"\n\nprinter = [\n", "broken.toml");
        ADD_FAILURE() << "accepted";
    } catch (const DescriptionError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("broken.toml:")) << error.what();
    }
    EXPECT_THROW(Machine::create_from_description("/nonexistent/office.toml"), std::runtime_error);
}

}  // namespace
