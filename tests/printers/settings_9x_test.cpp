// The 95/98 settings files as a printer's creation leaves them: the WIN.INI device section
// and the 16-bit driver's ini file, read back byte for byte from the machine's drive.
#include "support/components.h"
#include "support/library.h"

#include "frame/error_state.h"
#include "printers/printer_context.h"

#include <cstring>
#include <string>

namespace {

using winsim::Platform;

constexpr LONG docket = 1;
constexpr LONG plain = 0;
constexpr char module16[] = "C:\\ORVFAX\\orvfax16.drv";

// A definition that changes nothing but the printer it names.
INS_PRINTER_DEFINITION unchanged(const char* printer, const char* port, LONG kind) {
    INS_PRINTER_DEFINITION definition{};
    definition.dwVersion = 4;
    definition.dwKind = kind;
    definition.pPrinterName = printer;
    definition.pPortName = port;
    definition.nFileType = -1;
    definition.nMppfFlag = -1;
    definition.nIntensity = -1;
    definition.nLeftMargin = -1;
    definition.nSubfileType = -1;
    definition.nCsidEnable = -1;
    return definition;
}

class Settings9x : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { start(GetParam()); }

    std::string windows_path(const std::string& name) const {
        return std::string(machine->platform_info().windows_directory) + "\\" + name;
    }
    std::string file(const std::string& path) const { return machine->files().read_file(path).value_or("<missing>"); }
    std::string windows_file(const std::string& name) const { return file(windows_path(name)); }
    // One section of WIN.INI as the file holds it, heading included.
    std::string win_ini_section(const std::string& name) const {
        const std::string text = windows_file("WIN.INI");
        const std::size_t start = text.find("[" + name + "]\r\n");
        if (start == std::string::npos) return "<missing>";
        const std::size_t end = text.find("\r\n[", start);
        return text.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
    }
    void ship_thunk() {
        machine->files().write_file(std::string(machine->platform_info().system_directory) + "\\brg32res.dll",
                                    testing_support::sample_component("brg32res.dll"));
        machine->files().make_directories("C:\\ORVFAX");
        machine->files().write_file(module16, testing_support::sample_component("orvfax16.drv"));
    }
    LONG write(const INS_PRINTER_DEFINITION& definition) { return write_9x_driver_settings(definition, &context); }

    PrinterContext context{nullptr, new_printer_intensity, nullptr};
};

const std::string device_section_lines = "Y Resolution=196\r\nPaper Size=1\r\nOrientation=1\r\n";

// What a new printer's ini file holds when the definition changes nothing.
std::string new_ini_file(const std::string& owner, const std::string& csid, const std::string& debug,
                         const std::string& docket_section) {
    std::string text = "[" + owner +
                       "]\r\nControlDialogEXE=c:\\temp\\orv16dlg.exe\r\nDefaultFileName=c:\\temp\\aaaa.tif\r\n"
                       "BreakPages=0\r\nFileType=0\r\nLeftMargin=0\r\nForceSubType=0\r\n"
                       "OverwriteIfFileExist=1\r\npadLines=0\r\nShadowFile=0\r\nDelayedCancel=0\r\n"
                       "[" + csid + "]\r\nEnable=0\r\nOwnerName=\r\nOwnerNumber=\r\n";
    if (!docket_section.empty()) text += "[" + docket_section + "]\r\nLibraryName=ORV16MM.DLL\r\n";
    return text + "[" + debug + "]\r\nDisplayStatus=0\r\n";
}

TEST_P(Settings9x, ANewPrinterWithTheLibrarysNames) {
    EXPECT_EQ(write(unchanged("Orvana Fax", "LPT1:", plain)), INS_OK);
    EXPECT_EQ(win_ini_section("Orvana Fax,LPT1"), "[Orvana Fax,LPT1]\r\n" + device_section_lines);
    EXPECT_EQ(windows_file("orvlotus.ini"), new_ini_file("OWNER", "CSID", "Debug", ""));
    EXPECT_EQ(windows_file("orvfxb.ini"), "<missing>");
    EXPECT_EQ(context.intensity, new_printer_intensity);

    EXPECT_EQ(write(unchanged("Orvana Docket", "FILE:", docket)), INS_OK);
    EXPECT_EQ(win_ini_section("Orvana Docket,FILE"), "[Orvana Docket,FILE]\r\n" + device_section_lines);
    EXPECT_EQ(windows_file("orvfxb.ini"), new_ini_file("OWNER", "CSID", "Debug", "DOCKET"));
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(Settings9x, NamesFromTheSixteenBitModuleThroughTheThunk) {
    ship_thunk();
    INS_PRINTER_DEFINITION definition = unchanged("Orvana Docket", "COM1:", docket);
    definition.pResourceModule16 = module16;
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(windows_file("orvfax16.ini"),
              new_ini_file("Fax Owner", "Station ID", "Fax Diagnostics", "Docket Library"));
    EXPECT_EQ(windows_file("orvfxb.ini"), "<missing>");

    // A plain printer is not given the Docket section.
    definition = unchanged("Orvana Fax", "LPT1:", plain);
    definition.pResourceModule16 = module16;
    DeleteFileA(windows_path("orvfax16.ini").c_str());
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(windows_file("orvfax16.ini"), new_ini_file("Fax Owner", "Station ID", "Fax Diagnostics", ""));
}

TEST_P(Settings9x, WithoutTheThunkTheLibrarysNamesServe) {
    INS_PRINTER_DEFINITION definition = unchanged("Orvana Fax", "LPT1:", plain);
    definition.pResourceModule16 = module16;
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(windows_file("orvlotus.ini"), new_ini_file("OWNER", "CSID", "Debug", ""));
    EXPECT_EQ(take_error_text(), "") << "a thunk that does not load is no failure";
}

// Keys 1 to 10 keep what the file holds unless the definition says otherwise; keys 11 to
// 15 are set every time.
TEST_P(Settings9x, AnExistingFileKeepsItsValuesAndGainsTheMissingOnes) {
    const std::string existing =
        "[OWNER]\r\nControlDialogEXE=d:\\dlg.exe\r\nBreakPages=1\r\nFileType=7\r\nLeftMargin=30\r\n"
        "OverwriteIfFileExist=0\r\npadLines=5\r\n[DOCKET]\r\nLibraryName=MINE.DLL\r\n"
        "[CSID]\r\nEnable=1\r\nOwnerName=Front desk\r\n[Debug]\r\nDisplayStatus=1\r\n";
    machine->files().write_file(windows_path("orvfxb.ini"), existing);
    EXPECT_EQ(write(unchanged("Orvana Docket", "LPT1:", docket)), INS_OK);
    EXPECT_EQ(windows_file("orvfxb.ini"),
              "[OWNER]\r\nControlDialogEXE=d:\\dlg.exe\r\nBreakPages=1\r\nFileType=7\r\nLeftMargin=30\r\n"
              "OverwriteIfFileExist=1\r\npadLines=0\r\nDefaultFileName=c:\\temp\\aaaa.tif\r\nForceSubType=0\r\n"
              "ShadowFile=0\r\nDelayedCancel=0\r\n[DOCKET]\r\nLibraryName=MINE.DLL\r\n"
              "[CSID]\r\nEnable=1\r\nOwnerName=Front desk\r\nOwnerNumber=\r\n[Debug]\r\nDisplayStatus=0\r\n");
}

TEST_P(Settings9x, TheDefinitionOverridesEveryKey) {
    machine->files().make_directories("C:\\Program Files\\Orvana");
    machine->files().write_file("C:\\Program Files\\Orvana\\Fax Dialog.exe", "MZ");
    machine->files().make_directories("C:\\FAX\\OUT");
    INS_PRINTER_DEFINITION definition = unchanged("Orvana Docket", "LPT1:", docket);
    definition.pFaxDialogLoc = "C:\\Program Files\\Orvana\\Fax Dialog.exe";
    definition.pOutputDirectory = "C:\\FAX\\OUT";
    definition.pOutputPrefix = "PAGE";
    definition.pOutputExtension = "tif";
    definition.nMppfFlag = 0;
    definition.nFileType = 99;  // no code is checked here
    definition.nLeftMargin = 12;
    definition.nSubfileType = -2;
    definition.nCsidEnable = 1;
    definition.pCsidName = "Orvana Imaging";
    definition.pCsidNumber = "+1 555 0100";
    definition.pDocketLibrary = "";  // an empty library name is written too
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(windows_file("orvfxb.ini"),
              "[OWNER]\r\nControlDialogEXE=C:\\PROGRA~1\\ORVANA\\FAXDIA~1.EXE\r\nDefaultFileName=C:\\FAX\\OUT\\PAGE.TIF\r\n"
              "BreakPages=1\r\nFileType=99\r\nLeftMargin=12\r\nForceSubType=-2\r\n"
              "OverwriteIfFileExist=1\r\npadLines=0\r\nShadowFile=0\r\nDelayedCancel=0\r\n"
              "[CSID]\r\nEnable=1\r\nOwnerName=Orvana Imaging\r\nOwnerNumber=+1 555 0100\r\n"
              "[DOCKET]\r\nLibraryName=\r\n[Debug]\r\nDisplayStatus=0\r\n");
    EXPECT_FALSE(machine->files().exists("C:\\FAX\\OUT\\PAGE.tif")) << "the output directory is left as it was";

    // A positive MPPF flag turns page breaking off; empty texts change nothing.
    definition.nMppfFlag = 3;
    definition.pCsidName = "";
    definition.pFaxDialogLoc = "C:\\Program Files\\Orvana\\missing.exe";  // no short form: kept
    EXPECT_EQ(write(definition), INS_OK);
    const std::string text = windows_file("orvfxb.ini");
    EXPECT_NE(text.find("BreakPages=0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("OwnerName=Orvana Imaging\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ControlDialogEXE=C:\\PROGRA~1\\ORVANA\\FAXDIA~1.EXE\r\n"), std::string::npos) << text;
}

// Versions 1 and 2 carry no CSID switch of their own: it reaches this step as 0.
TEST_P(Settings9x, EarlyDefinitionsTurnCsidOff) {
    machine->files().write_file(windows_path("orvlotus.ini"), "[CSID]\r\nEnable=1\r\n");
    INS_PRINTER_DEFINITION definition = unchanged("Orvana Fax", "LPT1:", plain);
    definition.nCsidEnable = 0;
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_NE(windows_file("orvlotus.ini").find("[CSID]\r\nEnable=0\r\n"), std::string::npos);
}

// Names and values that do not fit the usual buffers are written whole.
TEST_P(Settings9x, LongNamesAndValuesAreWrittenWhole) {
    const std::string printer(90, 'P');
    const std::string port = std::string(40, 'Q') + ":";
    const std::string owner(300, 'o');
    const std::string kept = "c:\\" + std::string(400, 'k') + ".exe";
    machine->files().write_file(windows_path("orvlotus.ini"), "[OWNER]\r\nControlDialogEXE=" + kept +
                                                                  "\r\nDefaultFileName=c:\\" + std::string(300, 'd') +
                                                                  ".tif\r\n");
    INS_PRINTER_DEFINITION definition = unchanged(printer.c_str(), port.c_str(), plain);
    definition.pCsidName = owner.c_str();
    definition.pOutputDirectory = "C:\\FAX";
    EXPECT_EQ(write(definition), INS_OK);
    const std::string section = printer + "," + std::string(40, 'Q');
    EXPECT_EQ(win_ini_section(section), "[" + section + "]\r\n" + device_section_lines);
    const std::string text = windows_file("orvlotus.ini");
    EXPECT_NE(text.find("ControlDialogEXE=" + kept + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("DefaultFileName=c:\\" + std::string(300, 'd') + ".tif\r\n"), std::string::npos)
        << "a name too long for a path stays as read";
    EXPECT_NE(text.find("OwnerName=" + owner + "\r\n"), std::string::npos);
}

// Without a block for a long value, the value stays in the file as it is rather than cut.
TEST_P(Settings9x, ALongValueWithoutMemoryIsLeftAlone) {
    const std::string owner = "[CSID]\r\nOwnerName=" + std::string(300, 'o') + "\r\n";
    machine->files().write_file(windows_path("orvlotus.ini"), owner);
    machine->faults().fail_always("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(write(unchanged("Orvana Fax", "LPT1:", plain)), INS_OK);
    machine->faults().clear();
    const std::string text = windows_file("orvlotus.ini");
    EXPECT_EQ(text.substr(0, owner.size()), owner);
    EXPECT_NE(text.find("OwnerNumber=\r\n"), std::string::npos) << "the other keys are written";
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_P(Settings9x, IntensityUpTo200IsTakenAndAboveIsRejectedAfterTheWrites) {
    INS_PRINTER_DEFINITION definition = unchanged("Orvana Fax", "LPT1:", plain);
    definition.nIntensity = 200;
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(context.intensity, 200);
    definition.nIntensity = 0;
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(context.intensity, 0);
    definition.nIntensity = -1;
    context.intensity = 93;  // an existing printer's byte
    EXPECT_EQ(write(definition), INS_OK);
    EXPECT_EQ(context.intensity, 93);
    EXPECT_EQ(take_error_text(), "");

    DeleteFileA(windows_path("orvlotus.ini").c_str());
    definition.pPrinterName = "Orvana Second";
    definition.nIntensity = 201;
    EXPECT_EQ(write(definition), INS_SELECTION_REJECTED);
    EXPECT_EQ(context.intensity, 93);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING: Invalid intensity entered for insAddPrinter\n");
    EXPECT_EQ(win_ini_section("Orvana Second,LPT1"), "[Orvana Second,LPT1]\r\n" + device_section_lines);
    EXPECT_EQ(windows_file("orvlotus.ini"), new_ini_file("OWNER", "CSID", "Debug", ""));
}

INSTANTIATE_TEST_SUITE_P(NineX, Settings9x, testing::Values(Platform::win95, Platform::win98),
                         [](const testing::TestParamInfo<Platform>& tested) {
                             return std::string(winsim::platform_info(tested.param).name);
                         });

// make_default_file_name on its own: the parts a caller gives replace those of the name,
// and the name is stored in its short form (95/98 give the 8.3 aliases in capitals).
class DefaultFileName : public testing_support::LibraryTest {
protected:
    void SetUp() override {
        start(Platform::win98);
        machine->files().add_drive('D', false);
        machine->files().make_directories("D:\\fax\\out");
        machine->files().make_directories("C:\\Output Files");
    }
    std::string made(const char* current, const char* directory, const char* name, const char* extension) {
        char path[MAX_PATH];
        std::memset(path, '#', sizeof path);
        std::strcpy(path, current);
        make_default_file_name(path, directory, name, extension);
        return path;
    }
};

TEST_F(DefaultFileName, PartsReplaceThoseOfTheName) {
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", "D:\\fax\\out", "PAGE", "tif"), "D:\\FAX\\OUT\\PAGE.TIF");
    EXPECT_FALSE(machine->files().exists("D:\\fax\\out\\PAGE.tif")) << "a file that was not there is not left behind";
    EXPECT_EQ(made("D:\\fax\\out\\old.tif", nullptr, "Page Of Today", ".jpeg"), "D:\\FAX\\OUT\\PAGEOF~1.JPE");
    EXPECT_EQ(made("D:\\fax\\out\\old.tif", "", "", ""), "D:\\FAX\\OUT\\OLD.TIF") << "empty parts change nothing";
    // A directory without a drive is the current drive's.
    EXPECT_EQ(made("D:\\fax\\out\\old.tif", "\\Output Files", nullptr, nullptr), "C:\\OUTPUT~1\\OLD.TIF");
    // A file that was there stays.
    machine->files().write_file("C:\\Output Files\\kept.tif", "data");
    EXPECT_EQ(made("c:\\temp\\kept.tif", "C:\\Output Files", nullptr, nullptr), "C:\\OUTPUT~1\\KEPT.TIF");
    EXPECT_EQ(machine->files().read_file("C:\\Output Files\\kept.tif"), std::optional<std::string>("data"));
}

TEST_F(DefaultFileName, WithoutAShortFormTheNameStays) {
    // The share cannot be reached from this machine, so no file can be made there.
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", "\\\\server\\faxes", nullptr, nullptr), "c:\\temp\\aaaa.tif");
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", "D:\\missing", nullptr, nullptr), "c:\\temp\\aaaa.tif");
    // Parts too long for their buffers, or together too long for a path.
    const std::string long_part(256, 'x');
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", ("D:\\" + long_part).c_str(), nullptr, nullptr), "c:\\temp\\aaaa.tif");
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", "D:\\fax\\out", long_part.c_str(), nullptr), "c:\\temp\\aaaa.tif");
    // "D:\\fax\\out\\", the name and ".tif": 259 characters make a path, 260 do not.
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", "D:\\fax\\out", std::string(244, 'n').c_str(), nullptr),
              "D:\\FAX\\OUT\\NNNNNN~1.TIF");
    EXPECT_EQ(made("c:\\temp\\aaaa.tif", "D:\\fax\\out", std::string(245, 'n').c_str(), nullptr), "c:\\temp\\aaaa.tif");
    EXPECT_EQ(machine->open_handles(), 0u);
}

}  // namespace
