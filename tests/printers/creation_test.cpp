#include "printers/product_printers.h"

#include "frame/error_state.h"
#include "printers/printer_context.h"

#include <winsim/faults.h>

namespace {

using testing_support::number_value;
using testing_support::text_value;
using testing_support::unchanged_definition;
using winsim::Platform;
namespace reg = winsim::print_registry;

constexpr std::size_t intensity_offset = 206;

class Creation : public testing_support::ProductPrinters {
protected:
    // The DEVMODE the product's driver makes for a printer, before anyone changes it.
    std::string driver_default_devmode() {
        machine->spooler().add_printer("Base", "LPT1:", testing_support::product_driver);
        HDC context = CreateDCA(machine->is_nt() ? "WINSPOOL" : nullptr, "Base", nullptr, nullptr);
        if (context) DeleteDC(context);
        return devmode("Base");
    }
    std::size_t broadcasts() const { return machine->desktop().broadcasts().size(); }
};

TEST_F(Creation, GuardsAndVersionsOutsideOneToFourDoNothing) {
    lay_out(Platform::nt4);
    EXPECT_EQ(insAddPrinter(nullptr), ERROR_INVALID_PARAMETER);
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    definition.pPrinterName = nullptr;
    EXPECT_EQ(insAddPrinterEx(&definition, nullptr), ERROR_INVALID_PARAMETER);
    for (DWORD version : {0u, 5u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(version);
        definition = unchanged_definition(version);
        EXPECT_EQ(insAddPrinterEx(&definition, "C:\\SRC\\ORV32DLG.EXE"), INS_BAD_DEFINITION_VERSION);
    }
    EXPECT_EQ(take_error_text(), "") << "nothing recorded";
    EXPECT_EQ(machine->faults().calls("EnumPrintersA"), 0u) << "nothing looked at";
    error_flag = 1;
    EXPECT_EQ(insAddPrinter(nullptr), INS_ERROR_FLAG_SET) << "the flag is tested first";
    definition = unchanged_definition();
    EXPECT_EQ(insAddPrinter(&definition), INS_ERROR_FLAG_SET);
    EXPECT_FALSE(machine->spooler().has_printer("Fax"));
    EXPECT_EQ(broadcasts(), 0u);
}

// Each version reads its own words and not one more: the words behind them hold
// selections that would show if they were read.
TEST_F(Creation, EachVersionReadsItsWordsOnly) {
    const std::size_t words_of[] = {0, 23, 31, 36, 37};
    for (DWORD version = 1; version <= 4; ++version) {
        SCOPED_TRACE(version);
        lay_out(Platform::nt4);
        INS_PRINTER_DEFINITION loud = unchanged_definition(version);
        loud.nDriverTimeout = 5;
        loud.nResolution = 2;
        loud.nJpegQuality = 7;
        loud.nCsidEnable = 1;
        loud.pResourceModule16 = "C:\\NOWHERE\\ORV16.DRV";
        // The caller's block ends with its last word, so reading past it is caught.
        std::vector<DWORD_PTR> words(words_of[version]);
        std::memcpy(words.data(), &loud, words.size() * sizeof(DWORD_PTR));
        ASSERT_EQ(insAddPrinter(reinterpret_cast<const INS_PRINTER_DEFINITION*>(words.data())), 0) << take_error_text();
        EXPECT_EQ(setting("Driver Timeout"), number_value(version >= 2 ? 5 : 60));
        EXPECT_EQ(setting("JPEG Quality"), number_value(version >= 3 ? 7 : 95));
        EXPECT_EQ(setting("CSID Enable"), number_value(version >= 3 ? 1 : 0));
        EXPECT_EQ(public_part(devmode()).dmYResolution == 196, version >= 2) << "resolution pair 2 set";
        expect_nothing_left();
    }
}

TEST_F(Creation, NumbersAreTheLowHalvesOfTheirWords) {
    if (sizeof(LONG_PTR) < 8) GTEST_SKIP() << "words have no upper half in a 32-bit build";
    lay_out(Platform::nt4);
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    definition.dwVersion = static_cast<DWORD_PTR>(0x700000000ULL) | 3;
    definition.nFileType = static_cast<LONG_PTR>(0x100000005LL);
    definition.nIntensity = static_cast<LONG_PTR>(0x7FFFFFFF0000000ALL);
    definition.nJpegQuality = static_cast<LONG_PTR>(0x12345678FFFFFFFFLL);  // -1: unchanged
    ASSERT_EQ(insAddPrinter(&definition), 0) << take_error_text();
    EXPECT_EQ(setting("File Type"), text_value("TIFF Group 3 (2D)"));
    EXPECT_EQ(setting("Gray Intensity"), number_value(10));
    EXPECT_EQ(setting("JPEG Quality"), number_value(95));
}

class DevmodeDefaults : public Creation, public testing::WithParamInterface<Platform> {};
INSTANTIATE_TEST_SUITE_P(All, DevmodeDefaults, testing::Values(Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(DevmodeDefaults, TakeTheResolutionPairPaperAndOrientation) {
    struct Case {
        LONG resolution, paper_size, orientation;
        short quality, y_resolution;  // 0: the driver's
        short paper, orientation_set;  // 0: the driver's
        DWORD fields_gained;
    } cases[] = {
        {1, -1, -1, 204, 98, 0, 0, 0x2400},      {2, -1, -1, 204, 196, 0, 0, 0x2400},
        {3, -1, -1, 200, 100, 0, 0, 0x2400},     {4, -1, -1, 200, 200, 0, 0, 0x2400},
        {5, -1, -1, 300, 300, 0, 0, 0x2400},     {6, -1, -1, 400, 400, 0, 0, 0x2400},
        {9, -1, -1, 0, 0, 0, 0, 0x2400},         {0, 9, -1, 0, 0, 9, 0, DM_PAPERSIZE},
        {0, -1, 0, 0, 0, 0, DMORIENT_PORTRAIT, DM_ORIENTATION},
        {0, -1, 5, 0, 0, 0, DMORIENT_LANDSCAPE, DM_ORIENTATION},
        {0, -1, -1, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.resolution << " " << c.paper_size << " " << c.orientation);
        lay_out(GetParam());
        const std::string fresh = driver_default_devmode();
        ASSERT_FALSE(fresh.empty());
        const DEVMODEA base = public_part(fresh);
        INS_PRINTER_DEFINITION definition = unchanged_definition(2);
        definition.nResolution = c.resolution;
        definition.nPaperSize = c.paper_size;
        definition.nOrientation = c.orientation;
        ASSERT_EQ(insAddPrinter(&definition), 0) << take_error_text();
        const DEVMODEA mode = public_part(devmode());
        EXPECT_EQ(mode.dmFields, base.dmFields | c.fields_gained);
        EXPECT_EQ(mode.dmPrintQuality, c.quality ? c.quality : base.dmPrintQuality);
        EXPECT_EQ(mode.dmYResolution, c.y_resolution ? c.y_resolution : base.dmYResolution);
        EXPECT_EQ(mode.dmPaperSize, c.paper ? c.paper : base.dmPaperSize);
        EXPECT_EQ(mode.dmOrientation, c.orientation_set ? c.orientation_set : base.dmOrientation);
    }
}

TEST_F(Creation, APrinterWithoutADevmodeKeepsItWithAWarning) {
    lay_out(Platform::nt4);
    machine->spooler().add_printer("Office Laser", "FILE:", testing_support::other_driver);
    ASSERT_TRUE(machine->registry().delete_value(machine->spooler().printer_key("Office Laser"), reg::printer_devmode));
    EXPECT_EQ(set_devmode_defaults("Office Laser", 2, 9, 1), 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING: (Warning only) Unable to retrieve default DevMode; defaults not set\n");
    EXPECT_EQ(devmode("Office Laser"), "");
    expect_nothing_left();
}

TEST_F(Creation, TellsEveryWindowThatThePrinterListChanged) {
    lay_out(Platform::nt4);
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    ASSERT_EQ(insAddPrinter(&definition), 0);
    ASSERT_EQ(broadcasts(), 1u);
    const winsim::Broadcast& sent = machine->desktop().broadcasts()[0];
    EXPECT_EQ(sent.message, static_cast<UINT>(WM_WININICHANGE));
    EXPECT_EQ(sent.wparam, 0u);
    EXPECT_EQ(sent.section, "devices");
    EXPECT_EQ(sent.flags, static_cast<UINT>(SMTO_BLOCK));
    EXPECT_EQ(sent.timeout_ms, 1000u);
    EXPECT_EQ(insAddPrinter(&definition), 0) << "a second call updates the printer";
    EXPECT_EQ(broadcasts(), 2u);
}

// 95/98 keep the driver's intensity in its DEVMODE's private part.
class Intensity : public Creation, public testing::WithParamInterface<Platform> {};
INSTANTIATE_TEST_SUITE_P(NineX, Intensity, testing::Values(Platform::win95, Platform::win98));

TEST_P(Intensity, ANewPrinterGets160) {
    lay_out(GetParam());
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    ASSERT_EQ(insAddPrinterEx(&definition, nullptr), 0) << take_error_text();
    const std::string mode = devmode();
    ASSERT_GT(mode.size(), intensity_offset);
    EXPECT_EQ(static_cast<BYTE>(mode[intensity_offset]), 160);
    EXPECT_EQ(setting_names().size(), 28u) << "the key of a new printer gets the defaults";
    expect_nothing_left();
}

TEST_P(Intensity, AnExistingPrinterKeepsItsByte) {
    lay_out(GetParam());
    std::string mode = driver_default_devmode();
    ASSERT_GT(mode.size(), intensity_offset);
    mode[intensity_offset] = 77;
    machine->spooler().add_printer("Fax", "LPT1:", testing_support::product_driver);
    machine->registry().set_value(machine->spooler().printer_key("Fax"), reg::printer_devmode, REG_BINARY, mode);
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    ASSERT_EQ(insAddPrinterEx(&definition, nullptr), 0) << take_error_text();
    EXPECT_EQ(static_cast<BYTE>(devmode()[intensity_offset]), 77);
    expect_nothing_left();
}

TEST_P(Intensity, AnotherMakersDevmodeIsNeverWrittenFor) {
    lay_out(GetParam());
    machine->spooler().add_printer("Office Laser", "FILE:", testing_support::other_driver);
    const std::string before = devmode("Office Laser");
    ASSERT_LE(public_part(before).dmSize + public_part(before).dmDriverExtra, intensity_offset);
    const unsigned set_calls = machine->faults().calls("SetPrinterA");
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    definition.pPrinterName = "Office Laser";
    definition.pPortName = "FILE:";
    definition.pDriverName = testing_support::other_driver;
    ASSERT_EQ(insAddPrinterEx(&definition, nullptr), 0) << take_error_text();
    EXPECT_EQ(devmode("Office Laser"), before);
    EXPECT_EQ(machine->faults().calls("SetPrinterA"), set_calls + 2) << "the update and the defaults, no intensity";
    expect_nothing_left();
}

TEST_F(Creation, ANameTooLongForItsSettingsKeyIsRefusedFirst) {
    struct Case {
        Platform platform;
        std::size_t path_length_without_name;
    } cases[] = {
        {Platform::nt4, sizeof "HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/Print/Printers//PrinterDriverData" - 1},
        {Platform::win2000,
         sizeof "HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows NT/CurrentVersion/Print/Printers//PrinterDriverData" - 1},
    };
    for (const Case& c : cases) {
        lay_out(c.platform);
        const std::string longest(399 - c.path_length_without_name, 'F');
        const std::string too_long = longest + "F";
        INS_PRINTER_DEFINITION definition = unchanged_definition();
        definition.pPrinterName = too_long.c_str();
        EXPECT_EQ(insAddPrinter(&definition), ERROR_INVALID_NAME);
        EXPECT_EQ(take_error_text().rfind("Printer installer WARNING (traverse_path (registry key creator)): \nerror #123 "
                                          "for value '" + too_long + "'.\n", 0),
                  0u);
        EXPECT_EQ(machine->faults().calls("EnumPrintersA"), 0u);
        definition.pPrinterName = longest.c_str();
        insAddPrinter(&definition);
        EXPECT_EQ(take_error_text().find("traverse_path"), std::string::npos) << "the longest name fits";
        EXPECT_GT(machine->faults().calls("EnumPrintersA"), 0u);
        expect_nothing_left();
    }
}

TEST_F(Creation, CompanionsAreCopiedOnlyWithASourceAndADialogProgram) {
    const char* missing_source = "C:\\SRC\\ORV32DLG.EXE";
    lay_out(Platform::nt4);
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    definition.pFaxDialogLoc = "";
    EXPECT_EQ(insAddPrinterEx(&definition, missing_source), 0) << "an empty dialog program copies nothing";
    definition.pFaxDialogLoc = "C:\\ORV\\ORV32DLG.EXE";
    EXPECT_EQ(insAddPrinter(&definition), 0) << "insAddPrinter never copies";
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(insAddPrinterEx(&definition, missing_source), INS_COMPANIONS_NOT_COPIED);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING: Extra files required for operation of this driver failed to copy.\n");
    EXPECT_TRUE(machine->spooler().has_printer("Fax")) << "the printer stays";
    definition.nSpoolMode = 4;
    EXPECT_EQ(insAddPrinterEx(&definition, missing_source), INS_SELECTION_REJECTED) << "a rejection copies nothing";
    EXPECT_EQ(take_error_text(), "Printer installer WARNING: Invalid spool mode specified for insAddPrinter\n");

    lay_out(Platform::win98);
    definition = unchanged_definition();
    definition.pFaxDialogLoc = "C:\\ORV\\ORV32DLG.EXE";
    EXPECT_EQ(insAddPrinterEx(&definition, "C:\\ORV\\SETUP.EXE"), 0) << "the program's own directory needs no copy";
    expect_nothing_left();
}

// A spooler or registry call failing on the way: its code, its entry, what stays.
struct Failure {
    const char* what;
    Platform platform;
    bool existing;
    const char* api;
    unsigned nth;
    LONG result;
    const char* entry;  // the error text begins with it
    bool printer_after;
    std::size_t broadcasts;
};

const Failure failures[] = {
    {"enumeration", Platform::nt4, false, "EnumPrintersA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (Enumerating printers [1]): \nerror #5.\n", false, 0},
    {"add", Platform::nt4, false, "AddPrinterA", 1, ERROR_INVALID_PRINTER_NAME,
     "Printer installer WARNING (AddPrinter()): \nerror #1801 for value 'Fax'.\n", false, 1},
    {"settings", Platform::nt4, false, "RegSetValueExA", 1, ERROR_ACCESS_DENIED, "Printer installer WARNING (", true, 1},
    {"first device context", Platform::nt4, false, "CreateDCA", 1, INS_NO_DEVICE_CONTEXT,
     "Printer installer WARNING: Unable to get initial DC for new printer\n\nPrinter installer WARNING (Unable to get "
     "initial DC for new printer): \nerror #126 for value 'Fax'.\n",
     true, 1},
    {"defaults open", Platform::nt4, false, "OpenPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (OpenPrinter): \nerror #5 for value 'Fax'.\n", true, 1},
    {"defaults size", Platform::nt4, false, "GetPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (GetPrinterData(.., 2, ..)): \nerror #5 for value 'Fax'.\n", true, 1},
    {"defaults read", Platform::nt4, false, "GetPrinterA", 2, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (GetPrinterData(.., 2, ..)): \nerror #5 for value 'Fax'.\n", true, 1},
    {"defaults store", Platform::nt4, false, "SetPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (setting intensity in private DEVMODE): \nerror #5 for value 'Fax'.\n", true, 1},
    {"intensity open", Platform::win98, false, "OpenPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (OpenPrinter): \nerror #5 for value 'Fax'.\n", true, 1},
    {"intensity store", Platform::win98, false, "SetPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (setting intensity in private DEVMODE): \nerror #5 for value 'Fax'.\n", true, 1},
    {"context", Platform::nt4, false, "HeapAlloc", 1, ERROR_OUTOFMEMORY,
     "Printer installer WARNING (Memory allocation): \nerror #14.\n", false, 0},
    {"settings of a new printer", Platform::nt4, false, "HeapAlloc", 3, ERROR_OUTOFMEMORY,
     "Printer installer WARNING (Memory allocation): \nerror #14.\n", false, 0},
    {"existing record", Platform::nt4, true, "HeapAlloc", 1, ERROR_OUTOFMEMORY,
     "Printer installer WARNING (Memory allocation): \nerror #14.\n", true, 0},
    {"existing context", Platform::nt4, true, "HeapAlloc", 2, ERROR_OUTOFMEMORY,
     "Printer installer WARNING (Memory allocation): \nerror #14.\n", true, 0},
    {"existing settings", Platform::nt4, true, "HeapAlloc", 3, ERROR_OUTOFMEMORY,
     "Printer installer WARNING (Memory allocation): \nerror #14.\n", true, 0},
    {"context open", Platform::nt4, true, "OpenPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (OpenPrinter): \nerror #5 for value 'Fax'.\n", true, 0},
    {"context size", Platform::nt4, true, "GetPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (GetPrinterData(.., 2, ..)): \nerror #5.\n", true, 0},
    {"context read", Platform::win2000, true, "GetPrinterA", 2, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (GetPrinterData(.., 2, ..)): \nerror #5.\n", true, 0},
    {"update open", Platform::nt4, true, "OpenPrinterA", 2, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (OpenPrinter() [for update]): \nerror #5 for value 'Fax'.\n", true, 1},
    {"update store", Platform::win95, true, "SetPrinterA", 1, ERROR_ACCESS_DENIED,
     "Printer installer WARNING (SetPrinter(.. 2, ..) [for update]): \nerror #5 for value 'Fax'.\n", true, 1},
};

TEST_F(Creation, EachFailingStepAnswersItsCode) {
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        lay_out(f.platform);
        if (f.existing) machine->spooler().add_printer("Fax", "LPT1:", testing_support::product_driver);
        // The first device context fails as its driver's loading would (126); every
        // other step answers the code it failed with.
        const DWORD code = f.result == INS_NO_DEVICE_CONTEXT ? ERROR_MOD_NOT_FOUND : static_cast<DWORD>(f.result);
        machine->faults().fail(f.api, code, f.nth);
        INS_PRINTER_DEFINITION definition = unchanged_definition();
        definition.nResolution = 2;
        EXPECT_EQ(insAddPrinter(&definition), f.result);
        const std::string text = take_error_text();
        EXPECT_EQ(text.rfind(f.entry, 0), 0u) << text;
        EXPECT_EQ(machine->spooler().has_printer("Fax"), f.printer_after);
        EXPECT_EQ(broadcasts(), f.broadcasts);
        expect_nothing_left();
    }
}

TEST_F(Creation, TheSpoolersGenericFailureCarriesItsNote) {
    lay_out(Platform::nt4);
    machine->faults().fail("AddPrinterA", ERROR_INVALID_PRINTER_NAME);
    INS_PRINTER_DEFINITION definition = unchanged_definition();
    EXPECT_EQ(insAddPrinter(&definition), 1801);
    EXPECT_NE(take_error_text().find("Note: This message is a generic failure"), std::string::npos);
}

// Every allocation of the call fails in turn: each run either answers the failed
// allocation's code or does the whole work (never a setting written empty), and
// nothing is left behind.
TEST_F(Creation, NoAllocationFailureLeaksOrLies) {
    struct Road {
        Platform platform;
        bool existing;
    } roads[] = {{Platform::nt4, false}, {Platform::nt4, true}, {Platform::win98, false}, {Platform::win2000, true}};
    for (const Road& road : roads) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(road.platform) << " existing " << road.existing);
        auto run = [&](unsigned nth) {
            lay_out(road.platform);
            if (road.existing) {
                machine->spooler().add_printer("Fax", "LPT1:", testing_support::product_driver);
                machine->registry().set_string(settings_key("Fax"), "File Type", "GIF");
            }
            if (nth) machine->faults().fail("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY, nth);
            INS_PRINTER_DEFINITION definition = unchanged_definition(4, 2);
            definition.nFileType = 4;
            definition.pCsidName = "Acme";
            definition.nResolution = 3;
            return insAddPrinter(&definition);
        };
        ASSERT_EQ(run(0), 0);
        const unsigned allocations = machine->faults().calls("HeapAlloc");
        const std::vector<std::string> names = setting_names();
        std::vector<std::optional<winsim::RegistryValue>> values;
        for (const std::string& name : names) values.push_back(setting(name.c_str()));
        const std::string mode = devmode();
        ASSERT_GT(allocations, 3u) << "the context, its record and its settings each take blocks";
        for (unsigned nth = 1; nth <= allocations; ++nth) {
            SCOPED_TRACE(nth);
            const LONG result = run(nth);
            const std::string text = take_error_text();
            // An existing printer's settings that cannot be read are left as they are,
            // so only a new printer's are sure to be whole.
            if (result == 0 && !road.existing) {
                ASSERT_EQ(setting_names(), names) << text;
                for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(setting(names[i].c_str()), values[i]) << names[i];
                EXPECT_EQ(devmode(), mode);
            } else if (result != 0) {
                // A setting left without its data is refused with the same code, naming the value.
                EXPECT_EQ(result, ERROR_NOT_ENOUGH_MEMORY) << text;
                EXPECT_NE(text.find("emory"), std::string::npos) << text;
            }
            expect_nothing_left();
        }
    }
}

}  // namespace
