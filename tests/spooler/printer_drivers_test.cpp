#include "spooler/driver_test.h"
#include "support/components.h"

#include "frame/error_state.h"
#include "spooler/printer_drivers.h"

#include <mkimage/image.h>

#include <cctype>
#include <cstring>
#include <map>

namespace {

using testing_support::DriverTest;
using testing_support::unchanged_definition;
using winsim::Platform;

std::string driver_named(const std::string& name) {
    mkimage::ImageRecipe recipe;
    recipe.module_name = "ORVDRV";
    recipe.exports = {"DrvEnableDriver"};
    if (!name.empty()) recipe.strings[800] = name;
    return mkimage::build_image(recipe);
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

class DriverInstallation : public DriverTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override { lay_out(GetParam()); }
};

// The version the spooler is told: the second number of the file's version on NT (the
// NT 3.51 build is 4.1, the other 4.2), 95/98's own number there.
TEST_P(DriverInstallation, TheSampleDriverIsRegisteredWithItsFilesAndTheVersionOfItsFile) {
    char model_name[80];
    std::memset(model_name, '#', sizeof model_name);
    ASSERT_EQ(install(model_name), 0) << take_error_text();
    EXPECT_EQ(model_name, model());
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(RebootRequired(), 0) << "a new driver needs no restart";

    std::vector<BYTE> buffer;
    const auto registered = drivers(buffer);
    ASSERT_EQ(registered.count(model()), 1u);
    const DRIVER_INFO_2A& info = registered.at(model());
    const DWORD version = machine->platform() == Platform::nt351 ? 1 : machine->is_nt() ? 2 : 0x400;
    EXPECT_EQ(info.cVersion, version);
    const std::string in_place = installed_directory(version) + "\\";
    EXPECT_STRCASEEQ(info.pDriverPath, (in_place + driver_file().substr(sizeof source_dir - 1)).c_str());
    // 95/98 drivers are their own configuration file.
    EXPECT_STRCASEEQ(info.pConfigFile, (in_place + (machine->is_nt() ? "orvdrvui.dll" : "orvfax.drv")).c_str());
    EXPECT_STRCASEEQ(info.pDataFile, info.pConfigFile);
    // Dependent files come from the driver file's directory whatever directory the list
    // names; NT 3.51 registers none, so the spooler leaves them in the driver directory.
    const std::string dependents_place = machine->platform() == Platform::nt351 ? directory + "\\" : in_place;
    for (const char* name : {"orvfont.dat", "orvcover.dll", "orvdrv.hlp"})
        EXPECT_EQ(machine->files().read_file(dependents_place + name), testing_support::sample_component(name)) << name;
    EXPECT_TRUE(present(upper(model()).c_str())) << "names are compared without regard to case";
    expect_nothing_left();
}

// A driver installed again takes the update road even when every file is copied at
// once: its printers are made again on it, and a restart is asked for.
TEST_P(DriverInstallation, TheUpdateCarriesEveryPrinterAndTheDefaultPrinterAcross) {
    ASSERT_EQ(install(), 0) << take_error_text();
    const char* names[] = {"Fax A", "Fax B", "Fax C"};
    const char* ports[] = {"LPT1:", "COM1:", "FILE:"};
    const std::string driver = model();
    for (int i = 0; i < 3; ++i) {
        INS_PRINTER_DEFINITION definition = unchanged_definition();
        definition.pPrinterName = names[i];
        definition.pPortName = ports[i];
        definition.pDriverName = driver.c_str();
        definition.nDriverTimeout = 10 + i;
        definition.nJpegQuality = 50 + i;
        definition.nPaperSize = i == 1 ? DMPAPER_A4 : -1;
        definition.nOrientation = i == 1 ? 1 : -1;
        ASSERT_EQ(insAddPrinterEx(&definition, nullptr), 0) << take_error_text();
    }
    ASSERT_EQ(insSetDefaultPrinter("Fax B"), 0);
    std::map<std::string, std::string> devmodes;
    std::map<std::string, std::vector<std::string>> settings;
    std::map<std::string, std::vector<winsim::RegistryValue>> values;
    for (const char* name : names) {
        devmodes[name] = devmode(name);
        for (const std::string& value : setting_names(name)) values[name].push_back(*setting(value.c_str(), name));
    }
    char default_before[64];
    ASSERT_EQ(insGetDefaultPrinter(default_before, sizeof default_before), 0);

    renew_sources();
    EXPECT_EQ(install(), 0) << take_error_text();
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(RebootRequired(), 1);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_TRUE(machine->spooler().has_printer(names[i]));
        EXPECT_EQ(driver_of(names[i]), model());
        EXPECT_EQ(port_of(names[i]), ports[i]);
        EXPECT_EQ(devmode(names[i]), devmodes[names[i]]);
        std::vector<winsim::RegistryValue> now;
        for (const std::string& value : setting_names(names[i])) now.push_back(*setting(value.c_str(), names[i]));
        EXPECT_EQ(now, values[names[i]]);
    }
    char default_after[64];
    ASSERT_EQ(insGetDefaultPrinter(default_after, sizeof default_after), 0);
    EXPECT_STREQ(default_after, default_before);
    expect_nothing_left();
}

// Printers go with their driver; a driver that is not there is no failure.
TEST_P(DriverInstallation, RemovalTakesThePrintersOfTheDriverFirst) {
    ASSERT_EQ(install(), 0) << take_error_text();
    machine->spooler().add_printer("Fax", "LPT1:", model());
    machine->spooler().add_driver(testing_support::other_driver, "OFFLAS.DLL");
    machine->files().write_file(directory + "\\OFFLAS.DLL", "MZ");
    machine->spooler().add_printer("Laser", "LPT2:", testing_support::other_driver);
    EXPECT_EQ(insDelPrintDriver(upper(model()).c_str()), 0) << take_error_text();
    EXPECT_FALSE(machine->spooler().has_printer("Fax"));
    EXPECT_TRUE(machine->spooler().has_printer("Laser"));
    EXPECT_FALSE(present(model().c_str()));
    const unsigned deletions = machine->faults().calls("DeletePrinter");
    EXPECT_EQ(insDelPrintDriver(model().c_str()), 0) << "a driver that is not there";
    EXPECT_EQ(machine->faults().calls("DeletePrinter"), deletions);
    EXPECT_EQ(take_error_text(), "");
    expect_nothing_left();
}

INSTANTIATE_TEST_SUITE_P(Platforms, DriverInstallation,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

using DriverSteps = DriverTest;

// A driver found by its file's base name counts as present under its own name; the
// base names are compared with their letter case and only the last extension is cut.
TEST_F(DriverSteps, PresenceByNameOrByTheBaseNameOfTheDriverFile) {
    lay_out(Platform::nt4);
    machine->spooler().add_driver("Older Model", "ORVDRV.DLL");
    struct Case {
        const char* name;
        const char* file;
        LONG present;
        const char* installed;
    } cases[] = {
        {"older MODEL", nullptr, 1, "Older Model"},
        {"Orvana Print Driver", "C:\\SETUP\\ORVDRV.DLL", 1, "Older Model"},
        {"Orvana Print Driver", "C:\\SETUP\\ORVDRV.DRV", 1, "Older Model"},
        {"Orvana Print Driver", "C:\\SETUP\\orvdrv.dll", 0, ""},
        {"Orvana Print Driver", "C:\\SETUP\\ORVDRV.DLL.NEW", 0, ""},
        {"Orvana Print Driver", "ORVDRV", 1, "Older Model"},
        {"Orvana Print Driver", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + (c.file ? c.file : "(null)"));
        LONG answer = 7;
        char installed[64];
        std::memset(installed, '#', sizeof installed);
        EXPECT_EQ(insIsPrintDriverPresentEx(c.name, c.file, &answer, installed), 0);
        EXPECT_EQ(answer, c.present);
        EXPECT_STREQ(installed, c.installed);
    }
    EXPECT_FALSE(present("Orvana Print Driver")) << "the plain test looks at names only";

    LONG answer = 7;
    EXPECT_EQ(insIsPrintDriverPresentEx(nullptr, "C:\\SETUP\\ORVDRV.DLL", &answer, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insIsPrintDriverPresent("Older Model", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insAddPrintDriverEx(nullptr, config_file, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insAddPrintDriver(driver_file().c_str(), nullptr, nullptr), ERROR_INVALID_PARAMETER) << "NT needs the configuration file";
    EXPECT_EQ(insDelPrintDriver(nullptr), ERROR_INVALID_PARAMETER);
    error_flag = 1;
    answer = 7;
    EXPECT_EQ(insIsPrintDriverPresent("Older Model", &answer), INS_ERROR_FLAG_SET);
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(insDelPrintDriver("Older Model"), INS_ERROR_FLAG_SET);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_TRUE(present("Older Model"));
    EXPECT_EQ(take_error_text(), "");
}

// Without the thunk 95/98 fall back on the library's own name for the platform's driver.
TEST_F(DriverSteps, WithoutTheThunkTheLibrarysOwnModelNamesServe) {
    for (Platform platform : {Platform::win95, Platform::win98}) {
        SCOPED_TRACE(winsim::platform_info(platform).name);
        lay_out(platform, false);
        char model_name[80] = "";
        ASSERT_EQ(install(model_name), 0) << take_error_text();
        const char* expected = platform == Platform::win98 ? "Orvana Win98 Driver" : "Orvana Print Driver";
        EXPECT_STREQ(model_name, expected);
        EXPECT_TRUE(present(expected));
    }
    // With it, 95 reads the 16-bit driver's own name.
    lay_out(Platform::win95);
    char model_name[80] = "";
    ASSERT_EQ(install(model_name), 0) << take_error_text();
    EXPECT_STREQ(model_name, "Orvana Win98 Driver");
}

// A driver file that names no model is not the product's: refused, and every guarded
// export waits for ClearErrorFlag. A name that fills its buffer would be cut, and a cut
// name could be another driver's.
TEST_F(DriverSteps, AnNtDriverFileWithoutAFittingModelNameIsRefused) {
    lay_out(Platform::win2000);
    machine->files().write_file("C:\\SETUP\\noname.dll", driver_named(""));
    EXPECT_EQ(insAddPrintDriver("C:\\SETUP\\noname.dll", config_file, nullptr), INS_NOT_PRODUCT_DRIVER);
    std::string text = take_error_text();
    EXPECT_NE(text.find("(reading printer driver ID text)"), std::string::npos) << text;
    EXPECT_NE(text.find("Invalid printer driver ID string -- This is not an Orvana printer driver"), std::string::npos) << text;
    EXPECT_EQ(install(), INS_ERROR_FLAG_SET);
    EXPECT_EQ(ClearErrorFlag(), 1);

    machine->files().write_file("C:\\SETUP\\longname.dll", driver_named(std::string(80, 'D')));
    EXPECT_EQ(insAddPrintDriver("C:\\SETUP\\longname.dll", config_file, nullptr), ERROR_INVALID_NAME);
    EXPECT_EQ(ClearErrorFlag(), 1);
    machine->files().write_file("C:\\SETUP\\longest.dll", driver_named(std::string(79, 'D')));
    EXPECT_EQ(insAddPrintDriver("C:\\SETUP\\longest.dll", config_file, nullptr), 0) << take_error_text();
    EXPECT_TRUE(present(std::string(79, 'D').c_str()));
    EXPECT_FALSE(machine->files().exists(directory + "\\noname.dll")) << "nothing copied for a refused file";
}

// On 95/98 a driver registered from the same file under another name gives way: its
// file stays as installed, and its printers come back on the new name.
TEST_F(DriverSteps, On9xTheSameFileUnderAnotherNameIsRenamedWithItsPrinters) {
    lay_out(Platform::win98);
    machine->spooler().add_driver("Orvana Fax Driver", "orvfax.drv");
    machine->files().write_file(directory + "\\orvfax.drv", "the installed driver");
    machine->spooler().add_printer("Fax", "LPT1:", "Orvana Fax Driver");
    EXPECT_EQ(install(), 0) << take_error_text();
    EXPECT_EQ(machine->files().read_file(directory + "\\orvfax.drv"), "the installed driver");
    EXPECT_FALSE(present("Orvana Fax Driver"));
    EXPECT_TRUE(present("Orvana Win98 Driver"));
    EXPECT_EQ(driver_of("Fax"), "Orvana Win98 Driver");
    EXPECT_EQ(RebootRequired(), 1);
}

// When the new driver cannot be registered, the old one is registered again and its
// printers come back on it; the failure is still reported.
TEST_F(DriverSteps, AFailedRegistrationBringsTheOldDriverAndItsPrintersBack) {
    for (Platform platform : {Platform::win98, Platform::nt351, Platform::win2000}) {
        SCOPED_TRACE(winsim::platform_info(platform).name);
        lay_out(platform);
        ASSERT_EQ(install(), 0) << take_error_text();
        machine->spooler().add_printer("Fax A", "LPT1:", model());
        machine->spooler().add_printer("Fax B", "FILE:", model());
        ASSERT_EQ(insSetDefaultPrinter("Fax B"), 0);
        renew_sources();
        machine->faults().fail("AddPrinterDriverA", ERROR_ACCESS_DENIED);
        EXPECT_EQ(install(), ERROR_ACCESS_DENIED);
        const std::string text = take_error_text();
        EXPECT_NE(text.find("(AddPrintDriver): \nerror #5 for value '" + model() + "'."), std::string::npos) << text;
        EXPECT_TRUE(present(model().c_str()));
        EXPECT_EQ(driver_of("Fax A"), model());
        EXPECT_EQ(port_of("Fax B"), "FILE:");
        char default_printer[64] = "";
        EXPECT_EQ(insGetDefaultPrinter(default_printer, sizeof default_printer), 0);
        EXPECT_EQ(std::string(default_printer).substr(0, 6), "Fax B,");
        expect_nothing_left();
    }
}

// A printer that cannot be opened is neither captured nor deleted: it stays on the
// driver, which is registered anew under it.
TEST_F(DriverSteps, APrinterThatCannotBeOpenedStaysWhereItIs) {
    lay_out(Platform::nt4);
    ASSERT_EQ(install(), 0) << take_error_text();
    machine->spooler().add_printer("Fax", "LPT1:", model());
    renew_sources();
    machine->faults().fail("OpenPrinterA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(install(), 0);
    const std::string text = take_error_text();
    EXPECT_NE(text.find("(OpenPrinter): \nerror #5 for value 'Fax'."), std::string::npos) << text;
    EXPECT_TRUE(machine->spooler().has_printer("Fax"));
    EXPECT_TRUE(present(model().c_str()));
    expect_nothing_left();
}

TEST_F(DriverSteps, EachFailureOfTheInstallationIsReportedWithItsMessage) {
    struct Case {
        Platform platform;
        const char* api;
        unsigned nth;
        LONG result;  // 0: the step is recorded and the installation goes on
        std::string entry;
        bool sets_flag;
    } cases[] = {
        {Platform::nt4, "LoadLibraryExA", 1, ERROR_ACCESS_DENIED, "(LoadLibrary (print driver DLL)): \nerror #5", true},
        {Platform::nt4, "GetFileVersionInfoA", 1, 0, "(reading version info from file): \nerror #5", false},
        // A resource that could not be read is not a file without one.
        {Platform::win2000, "GetFileVersionInfoSizeA", 1, 0, "(reading version info from file): \nerror #5", false},
        {Platform::nt4, "VerQueryValueA", 1, 0, "(reading fixed version info block from file): \nerror #5", false},
        {Platform::nt4, "EnumPrinterDriversA", 1, ERROR_ACCESS_DENIED, "(Enumerating printer drivers [1]): \nerror #5.", false},
        {Platform::win98, "EnumPrinterDriversA", 2, ERROR_ACCESS_DENIED, "(Enumerating printer drivers [2]): \nerror #5.", false},
        {Platform::win2000, "GetPrinterDriverDirectoryA", 1, ERROR_ACCESS_DENIED, "(GetPrinterDriverDirectory): \nerror #5.", false},
        {Platform::win95, "AddPrinterDriverA", 1, ERROR_ACCESS_DENIED, "(AddPrintDriver): \nerror #5 for value 'Orvana Win98 Driver'.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.api) + " on " + std::string(winsim::platform_info(c.platform).name));
        lay_out(c.platform);
        // Another maker's driver, so that the list is read in two calls.
        machine->spooler().add_driver(testing_support::other_driver, "OFFLAS.DLL");
        machine->faults().fail(c.api, ERROR_ACCESS_DENIED, c.nth);
        EXPECT_EQ(install(), c.result);
        const std::string text = take_error_text();
        EXPECT_NE(text.find(c.entry), std::string::npos) << text;
        EXPECT_EQ(ClearErrorFlag(), c.sets_flag ? 1 : 0);
        // Version failures leave the platform's own version; the sample's would be the same
        // on NT 4.0, so the installation is what shows it went on.
        EXPECT_EQ(present(model().c_str()), c.result == 0);
        expect_nothing_left();
    }
}

// Without memory for the version block the installation goes on with the platform's
// version: 2000's own 3 instead of the file's 2.
TEST_F(DriverSteps, WithoutMemoryForTheVersionTheStartingVersionStays) {
    lay_out(Platform::win2000);
    machine->faults().fail("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY);
    ASSERT_EQ(install(), 0);
    EXPECT_NE(take_error_text().find("(Memory allocation)"), std::string::npos);
    std::vector<BYTE> buffer;
    EXPECT_EQ(drivers(buffer).at("Orvana Print Driver").cVersion, 3u);
}

TEST_F(DriverSteps, RemovalFailuresEndItWithTheirCode) {
    struct Case {
        const char* api;
        std::string entry;
        bool printer_stays;
    } cases[] = {
        {"EnumPrinterDriversA", "(Enumerating printer drivers [1]): \nerror #5.", true},
        {"EnumPrintersA", "(Enumerating printers [1]): \nerror #5.", true},
        {"DeletePrinter", "for value 'Fax'.", true},
        {"DeletePrinterDriverA", "(DeletePrintDriver): \nerror #5 for value 'Orvana Print Driver'.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.api);
        lay_out(Platform::nt4);
        ASSERT_EQ(install(), 0) << take_error_text();
        machine->spooler().add_printer("Fax", "LPT1:", model());
        machine->faults().fail(c.api, ERROR_ACCESS_DENIED);
        EXPECT_EQ(insDelPrintDriver(model().c_str()), ERROR_ACCESS_DENIED);
        const std::string text = take_error_text();
        EXPECT_NE(text.find(c.entry), std::string::npos) << text;
        EXPECT_EQ(machine->spooler().has_printer("Fax"), c.printer_stays);
        EXPECT_TRUE(present(model().c_str()));
        expect_nothing_left();
    }
}

// Dependent files that another installed driver names are marked so that their remover
// leaves them.
TEST_F(DriverSteps, SharedDependentFilesAreMarked) {
    lay_out(Platform::win2000);
    ASSERT_EQ(install(), 0) << take_error_text();
    // The spooler names them by their full paths, as it lists them.
    const std::string place = directory + "\\2\\";
    std::string list = place + "ORVFONT.DAT" + '\0' + place + "mine.dat" + '\0' + place + "orvdrv.hlp" + '\0' + '\0';
    EXPECT_EQ(mark_shared_dependent_files(list.data()), 0);
    std::string marked = list;
    marked[0] = '*';
    marked[2 * place.size() + 21] = '*';
    EXPECT_EQ(list, marked);
    machine->faults().fail("EnumPrinterDriversA", ERROR_ACCESS_DENIED);
    char other[] = "orvfont.dat\0";
    EXPECT_EQ(mark_shared_dependent_files(other), ERROR_ACCESS_DENIED);
    EXPECT_STREQ(other, "orvfont.dat");
    take_error_text();
    expect_nothing_left();
}

}  // namespace
