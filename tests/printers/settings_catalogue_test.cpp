#include "printers/product_printers.h"

#include <tuple>

namespace {

using testing_support::number_value;
using testing_support::text_value;
using testing_support::unchanged_definition;
using winsim::Platform;
using winsim::RegistryValue;
namespace reg = winsim::print_registry;

struct Setting {
    const char* name;
    RegistryValue value;
};

const std::vector<Setting> main_group = {
    {"Fax Dialog Loc", text_value("C:\\ORV32DLG.EXE")},
    {"Logfile", text_value("C:\\temp\\faxdll.log")},
    {"Output Directory", text_value("C:\\temp\\")},
    {"Debug Flag", number_value(0)},
    {"Erase Log Flag", number_value(0)},
    {"File Type", text_value("TIFF Group 3")},
    {"MPPF Flag", number_value(1)},
    {"Output Prefix", text_value("AAAA")},
    {"Reverse Fill Flag", number_value(1)},
    {"Color Mode", text_value("Fast dither using Windows dithering")},
    {"Dither Pattern", text_value("8x8 (65 shades)")},
    {"NT DitherPattern", text_value("Windows 6x6 modified")},
    {"Gray Intensity", number_value(50)},
    {"Driver Timeout", number_value(60)},
    {"Second Timeout", number_value(300)},
    {"Permission", number_value(1)},
    {"Server share flag", number_value(0)},
    {"Server share username", text_value("")},
    {"Server share password", text_value("")},
    {"Spawn in User Context", number_value(1)},
    {"Separate VDM", number_value(0xFFFFFFFF)},
    {"SubfileType Flag", number_value(0xFFFFFFFF)},
    {"Left Margin", number_value(0xFFFFFFFF)},
    {"Print Mode", text_value("Monochrome")},
    {"JPEG Quality", number_value(95)},
    {"CSID Enable", number_value(0)},
    {"CSID Name", text_value("")},
    {"CSID Number", text_value("")},
};
const std::vector<Setting> prism_group = {
    {"Prism Second Dialog", text_value("C:\\ORV32DLG.EXE /A")},
    {"Prism Tif-F", number_value(0)},
    {"Prism Filename", text_value("GENERIC.TIF")},
};
const std::vector<Setting> docket_group = {{"Docket Library", text_value("ORV32MM.DLL")}};

const std::string warning_prefix = "Printer installer WARNING: ";

class NewPrinterSettings : public testing_support::ProductPrinters,
                           public testing::WithParamInterface<std::tuple<Platform, LONG>> {};

INSTANTIATE_TEST_SUITE_P(All, NewPrinterSettings,
                         testing::Combine(testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4,
                                                          Platform::win2000),
                                          testing::Values(0, 1, 2)));

TEST_P(NewPrinterSettings, AreTheTemplatesOfTheKindInOrder) {
    const auto [platform, kind] = GetParam();
    lay_out(platform);
    std::vector<Setting> expected = main_group;
    if (kind == 2) expected.insert(expected.end(), prism_group.begin(), prism_group.end());
    if (kind == 1) expected.insert(expected.end(), docket_group.begin(), docket_group.end());

    INS_PRINTER_DEFINITION definition = unchanged_definition(4, kind);
    ASSERT_EQ(insAddPrinter(&definition), 0) << take_error_text();
    const std::vector<std::string> names = setting_names();
    ASSERT_EQ(names.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(names[i], expected[i].name);
        EXPECT_EQ(setting(expected[i].name), expected[i].value);
    }
    if (platform == Platform::win2000) {
        const std::string spooler_key = machine->spooler().printer_key("Fax") + "\\PrinterDriverData";
        EXPECT_TRUE(machine->registry().values(spooler_key).empty()) << "NT 5 keeps them in the SOFTWARE tree only";
    }
}

// The settings a selection leaves in a new NT 4.0 printer, or the warning it is refused with.
struct Edge {
    const char* what;
    void (*select)(INS_PRINTER_DEFINITION&);
    const char* value;
    std::optional<RegistryValue> stored;  // none: rejected
    const char* warning = nullptr;
};

const Edge edges[] = {
    {"file type 5", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 5; }, "File Type", text_value("TIFF Group 3 (2D)")},
    {"file type 5 fill", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 5; }, "Reverse Fill Flag", number_value(0)},
    {"file type 2", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 2; }, "File Type", text_value("Intel DCX")},
    {"file type 2 fill", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 2; }, "Reverse Fill Flag", number_value(1)},
    {"file type 6 fill", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 6; }, "Reverse Fill Flag", number_value(1)},
    {"file type 8", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 8; }, "File Type", text_value("TIFF Pack Bits")},
    {"file type 200 fill", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 200; }, "Reverse Fill Flag", number_value(1)},
    {"file type 869", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 869; }, "File Type", text_value("Lucent VOXEM")},
    {"file type 869 fill", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 869; }, "Reverse Fill Flag", number_value(0)},
    {"file type 202", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 202; }, "File Type", text_value("JPEG")},
    {"file type 9", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 9; }, "File Type", {},
     "Invalid file type specified for insAddPrinter"},
    {"file type 99", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 99; }, "File Type", {},
     "Invalid file type specified for insAddPrinter"},
    {"file type 870", [](INS_PRINTER_DEFINITION& d) { d.nFileType = 870; }, "File Type", {},
     "Invalid file type specified for insAddPrinter"},
    {"file type -2", [](INS_PRINTER_DEFINITION& d) { d.nFileType = -2; }, "File Type", {},
     "Invalid file type specified for insAddPrinter"},
    {"NT dither 16", [](INS_PRINTER_DEFINITION& d) { d.nNtDitherPattern = 16; }, "NT DitherPattern",
     text_value("Windows 16x16 modified")},
    {"NT dither 1", [](INS_PRINTER_DEFINITION& d) { d.nNtDitherPattern = 1; }, "NT DitherPattern", text_value("Windows 2x2")},
    {"NT dither 17", [](INS_PRINTER_DEFINITION& d) { d.nNtDitherPattern = 17; }, "NT DitherPattern", {},
     "Invalid NT dither pattern selected for insAddPrinter"},
    {"NT dither -1", [](INS_PRINTER_DEFINITION& d) { d.nNtDitherPattern = -1; }, "NT DitherPattern", {},
     "Invalid NT dither pattern selected for insAddPrinter"},
    {"print mode 3", [](INS_PRINTER_DEFINITION& d) { d.nPrintMode = 3; }, "Print Mode", text_value("24-bit color")},
    {"print mode 4", [](INS_PRINTER_DEFINITION& d) { d.nPrintMode = 4; }, "Print Mode", {},
     "Invalid selection made for printer mode"},
    {"color mode 5", [](INS_PRINTER_DEFINITION& d) { d.nColorMode = 5; }, "Color Mode",
     text_value("Color - All Colors to White")},
    {"color mode 6", [](INS_PRINTER_DEFINITION& d) { d.nColorMode = 6; }, "Color Mode", {},
     "Invalid dither mode selected for insAddPrinter"},
    {"dither 7", [](INS_PRINTER_DEFINITION& d) { d.nDitherPattern = 7; }, "Dither Pattern", text_value("2x2 (5 shades)")},
    {"dither 8", [](INS_PRINTER_DEFINITION& d) { d.nDitherPattern = 8; }, "Dither Pattern", {},
     "Invalid dither pattern selected for insAddPrinter"},
    {"intensity 100", [](INS_PRINTER_DEFINITION& d) { d.nIntensity = 100; }, "Gray Intensity", number_value(100)},
    {"intensity 0", [](INS_PRINTER_DEFINITION& d) { d.nIntensity = 0; }, "Gray Intensity", number_value(0)},
    {"intensity -1", [](INS_PRINTER_DEFINITION& d) { d.nIntensity = -1; }, "Gray Intensity", number_value(50)},
    {"intensity 101", [](INS_PRINTER_DEFINITION& d) { d.nIntensity = 101; }, "Gray Intensity", {},
     "Invalid intensity entered for insAddPrinter"},
    {"JPEG 0", [](INS_PRINTER_DEFINITION& d) { d.nJpegQuality = 0; }, "JPEG Quality", number_value(95)},
    {"JPEG 1", [](INS_PRINTER_DEFINITION& d) { d.nJpegQuality = 1; }, "JPEG Quality", number_value(1)},
    {"JPEG 255", [](INS_PRINTER_DEFINITION& d) { d.nJpegQuality = 255; }, "JPEG Quality", number_value(255)},
    {"JPEG 256", [](INS_PRINTER_DEFINITION& d) { d.nJpegQuality = 256; }, "JPEG Quality", {},
     "JPEG quality value outside allowable range (1-255)"},
    {"CSID 2", [](INS_PRINTER_DEFINITION& d) { d.nCsidEnable = 2; }, "CSID Enable", number_value(0)},
    {"CSID 1", [](INS_PRINTER_DEFINITION& d) { d.nCsidEnable = 1; }, "CSID Enable", number_value(1)},
    {"separate VDM 3", [](INS_PRINTER_DEFINITION& d) { d.nSeparateVdm = 3; }, "Separate VDM", number_value(0xFFFFFFFF)},
    {"separate VDM 2", [](INS_PRINTER_DEFINITION& d) { d.nSeparateVdm = 2; }, "Separate VDM", number_value(2)},
    {"separate VDM 0", [](INS_PRINTER_DEFINITION& d) { d.nSeparateVdm = 0; }, "Separate VDM", number_value(0)},
    {"spawn 7", [](INS_PRINTER_DEFINITION& d) { d.nSpawnInUserContext = 7; }, "Spawn in User Context", number_value(1)},
    {"spawn 0", [](INS_PRINTER_DEFINITION& d) { d.nSpawnInUserContext = 0; }, "Spawn in User Context", number_value(0)},
    {"share flag 3", [](INS_PRINTER_DEFINITION& d) { d.nServerShareFlag = 3; }, "Server share flag", number_value(1)},
    {"MPPF 0", [](INS_PRINTER_DEFINITION& d) { d.nMppfFlag = 0; }, "MPPF Flag", number_value(0)},
    {"timeout -2", [](INS_PRINTER_DEFINITION& d) { d.nDriverTimeout = -2; }, "Driver Timeout", number_value(0xFFFFFFFE)},
    {"second timeout 0", [](INS_PRINTER_DEFINITION& d) { d.nSecondTimeout = 0; }, "Second Timeout", number_value(0)},
    {"left margin 12", [](INS_PRINTER_DEFINITION& d) { d.nLeftMargin = 12; }, "Left Margin", number_value(12)},
    {"subfile 3", [](INS_PRINTER_DEFINITION& d) { d.nSubfileType = 3; }, "SubfileType Flag", number_value(3)},
    {"empty directory", [](INS_PRINTER_DEFINITION& d) { d.pOutputDirectory = ""; }, "Output Directory",
     text_value("C:\\temp\\")},
    {"directory", [](INS_PRINTER_DEFINITION& d) { d.pOutputDirectory = "D:\\fax\\out"; }, "Output Directory",
     text_value("D:\\fax\\out")},
    {"dialog", [](INS_PRINTER_DEFINITION& d) { d.pFaxDialogLoc = "D:\\ORV\\ORV32DLG.EXE"; }, "Fax Dialog Loc",
     text_value("D:\\ORV\\ORV32DLG.EXE")},
    {"prefix", [](INS_PRINTER_DEFINITION& d) { d.pOutputPrefix = "PAGE"; }, "Output Prefix", text_value("PAGE")},
    {"user", [](INS_PRINTER_DEFINITION& d) { d.pServerShareUsername = "fax"; }, "Server share username", text_value("fax")},
    {"password", [](INS_PRINTER_DEFINITION& d) { d.pServerSharePassword = "pw"; }, "Server share password", text_value("pw")},
    {"CSID number", [](INS_PRINTER_DEFINITION& d) { d.pCsidNumber = "+1 555"; }, "CSID Number", text_value("+1 555")},
    {"docket library of a plain printer", [](INS_PRINTER_DEFINITION& d) { d.pDocketLibrary = "MINE.DLL"; },
     "Docket Library", {}, nullptr},
    {"docket library", [](INS_PRINTER_DEFINITION& d) {
         d.dwKind = 1;
         d.pDriverName = testing_support::docket_driver;
         d.pDocketLibrary = "MINE.DLL";
     },
     "Docket Library", text_value("MINE.DLL")},
};

class Selections : public testing_support::ProductPrinters {};

TEST_F(Selections, EachRuleAtItsEdges) {
    for (const Edge& edge : edges) {
        SCOPED_TRACE(edge.what);
        lay_out(Platform::nt4);
        INS_PRINTER_DEFINITION definition = unchanged_definition();
        edge.select(definition);
        const LONG result = insAddPrinter(&definition);
        const std::string text = take_error_text();
        if (edge.stored || !edge.warning) {
            EXPECT_EQ(result, 0) << text;
            EXPECT_EQ(text, "");
            EXPECT_EQ(setting(edge.value), edge.stored);
        } else {
            EXPECT_EQ(result, INS_SELECTION_REJECTED);
            EXPECT_EQ(text, warning_prefix + edge.warning + "\n");
            EXPECT_FALSE(machine->spooler().has_printer("Fax"));
            EXPECT_TRUE(setting_names().empty());
        }
        expect_nothing_left();
    }
}

TEST_F(Selections, OnlyTheFirstRejectionInTheCataloguesOrderIsRecorded) {
    struct Case {
        void (*select)(INS_PRINTER_DEFINITION&);
        const char* warning;
    } cases[] = {
        {[](INS_PRINTER_DEFINITION& d) {
             d.nJpegQuality = 256;
             d.nPrintMode = 9;
             d.nFileType = 9;
         },
         "Invalid file type specified for insAddPrinter"},
        {[](INS_PRINTER_DEFINITION& d) {
             d.nIntensity = 101;
             d.nNtDitherPattern = 17;
             d.nColorMode = 6;
         },
         "Invalid dither mode selected for insAddPrinter"},
        {[](INS_PRINTER_DEFINITION& d) {
             d.nJpegQuality = 300;
             d.nIntensity = 101;
         },
         "Invalid intensity entered for insAddPrinter"},
        {[](INS_PRINTER_DEFINITION& d) {
             d.nFileType = 9;
             d.nSpoolMode = 4;
         },
         "Invalid spool mode specified for insAddPrinter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.warning);
        lay_out(Platform::nt4);
        INS_PRINTER_DEFINITION definition = unchanged_definition();
        c.select(definition);
        EXPECT_EQ(insAddPrinter(&definition), INS_SELECTION_REJECTED);
        EXPECT_EQ(take_error_text(), warning_prefix + c.warning + "\n");
    }
}

class ExistingPrinter : public testing_support::ProductPrinters {
protected:
    void SetUp() override {
        lay_out(Platform::nt4);
        machine->spooler().add_printer("Fax", "LPT1:", testing_support::product_driver, "WinPrint");
        const std::string key = settings_key("Fax");
        machine->registry().set_string(key, "File Type", "ZSoft PCX");
        machine->registry().set_dword(key, "Reverse Fill Flag", 1);
        machine->registry().set_string(key, "CSID Name", "Acme");
        machine->registry().set_dword(key, "CSID Enable", 1);
        machine->registry().set_string(key, "Logfile", "D:\\fax.log");
        machine->registry().set_dword(machine->spooler().printer_key("Fax"), reg::printer_attributes,
                                      PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_HIDDEN);
    }
    DWORD attributes() const {
        std::optional<RegistryValue> value =
            machine->registry().value(machine->spooler().printer_key("Fax"), reg::printer_attributes);
        DWORD number = 0;
        if (value) std::memcpy(&number, value->bytes.data(), sizeof number);
        return number;
    }
};

TEST_F(ExistingPrinter, IsUpdatedWithoutGainingSettings) {
    const std::vector<std::string> names = setting_names();
    INS_PRINTER_DEFINITION definition = unchanged_definition(3);
    definition.nSpoolMode = 2;
    definition.pPrintProcessor = "";
    definition.nJpegQuality = 100;
    definition.nFileType = 5;
    definition.pCsidName = "";
    definition.nCsidEnable = 2;
    definition.pOutputDirectory = "D:\\out";
    ASSERT_EQ(insAddPrinter(&definition), 0) << take_error_text();
    EXPECT_EQ(attributes(), static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_QUEUED))
        << "the spool mode replaces every other attribute";
    EXPECT_EQ(machine->registry().value(machine->spooler().printer_key("Fax"), reg::printer_print_processor),
              text_value("WinPrint"));
    EXPECT_EQ(setting_names(), names) << "values absent from the key are not added";
    EXPECT_EQ(setting("File Type"), text_value("TIFF Group 3 (2D)"));
    EXPECT_EQ(setting("Reverse Fill Flag"), number_value(0));
    EXPECT_EQ(setting("CSID Name"), text_value("")) << "an empty text empties the name";
    EXPECT_EQ(setting("CSID Enable"), number_value(0));
    EXPECT_EQ(setting("Logfile"), text_value("D:\\fax.log"));
    EXPECT_EQ(take_error_text(), "");
    expect_nothing_left();
}

TEST_F(ExistingPrinter, KeepsItsAttributesWithoutASpoolModeAndLosesCsidToOldVersions) {
    for (DWORD version : {1u, 2u}) {
        SCOPED_TRACE(version);
        machine->registry().set_dword(settings_key("Fax"), "CSID Enable", 1);
        INS_PRINTER_DEFINITION definition = unchanged_definition(version);
        definition.pPrintProcessor = "WINPRINT";
        ASSERT_EQ(insAddPrinter(&definition), 0) << take_error_text();
        EXPECT_EQ(attributes(), static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_HIDDEN));
        EXPECT_EQ(setting("CSID Enable"), number_value(0)) << "a definition without CSID fields turns CSID off";
        EXPECT_EQ(setting("CSID Name"), text_value("Acme"));
    }
}

TEST_F(ExistingPrinter, ARejectionLeavesTheRegistryAsItWas) {
    const std::string before = machine->registry().regedit_text();
    for (LONG kind : {0, 1}) {
        INS_PRINTER_DEFINITION definition = unchanged_definition(3, kind);
        definition.nFileType = 0;
        definition.nSpoolMode = 1;
        definition.pCsidName = "Other";
        definition.nJpegQuality = 256;
        EXPECT_EQ(insAddPrinter(&definition), INS_SELECTION_REJECTED);
        definition.pPrinterName = "New Fax";
        EXPECT_EQ(insAddPrinter(&definition), INS_SELECTION_REJECTED);
    }
    EXPECT_EQ(machine->registry().regedit_text(), before);
    EXPECT_TRUE(machine->desktop().broadcasts().empty()) << "nothing changed, so nobody is told";
    const std::string jpeg_warning = warning_prefix + "JPEG quality value outside allowable range (1-255)\n";
    EXPECT_EQ(take_error_text(), jpeg_warning + "\n" + jpeg_warning + "\n" + jpeg_warning + "\n" + jpeg_warning);
    expect_nothing_left();
}

}  // namespace
