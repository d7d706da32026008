// The 95/98 driver settings a printer's creation writes into WIN.INI and the driver's
// ini file, from any definition over any ini file already there: every value the
// definition gives reads back as given, the fixed settings are there, a rejected
// intensity is answered -7 with the files written all the same, and nothing stays
// open.
#include "support/fuzz_support.h"

#include "printers/printer_context.h"

namespace {

std::string profile_string(const char* section, const char* key, const char* file) {
    std::string buffer(4096, '\0');
    DWORD length = file ? GetPrivateProfileStringA(section, key, "(none)", buffer.data(), 4096, file)
                        : GetProfileStringA(section, key, "(none)", buffer.data(), 4096);
    return buffer.substr(0, length);
}

// A number field: -1 leaves the setting as it was.
LONG_PTR number(FuzzedDataProvider& input) {
    return input.ConsumeBool() ? -1 : input.ConsumeIntegralInRange<LONG_PTR>(-2, 100000);
}

// A text field: null, or a text.
const char* optional_text(FuzzedDataProvider& input, std::string& storage, std::size_t max_length) {
    if (input.ConsumeBool()) return nullptr;
    storage = fuzz::text(input, max_length);
    return storage.c_str();
}

const char product_dialog[] = "C:\\ORVANA\\ORV16DLG.EXE";

struct Expectation {
    const char* section;
    const char* key;
    std::string value;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    auto machine = fuzz::machine_with_library(winsim::Platform::win98);
    machine->files().write_file(product_dialog, "MZ");
    std::string printer, port, dialog, directory, prefix, extension, csid_name, csid_number, library;
    INS_PRINTER_DEFINITION definition{};
    definition.dwVersion = 4;
    definition.dwKind = input.ConsumeIntegralInRange<LONG_PTR>(0, 2);
    definition.pPrinterName = optional_text(input, printer, 80);
    definition.pPortName = optional_text(input, port, 80);
    definition.pFaxDialogLoc = input.ConsumeBool() ? product_dialog : optional_text(input, dialog, 300);
    definition.pOutputDirectory = optional_text(input, directory, 300);
    definition.pOutputPrefix = optional_text(input, prefix, 300);
    definition.pOutputExtension = optional_text(input, extension, 300);
    definition.pCsidName = optional_text(input, csid_name, 300);
    definition.pCsidNumber = optional_text(input, csid_number, 300);
    definition.pDocketLibrary = optional_text(input, library, 300);
    definition.nFileType = number(input);
    definition.nLeftMargin = number(input);
    definition.nSubfileType = number(input);
    definition.nCsidEnable = number(input);
    definition.nMppfFlag = number(input);
    definition.nIntensity = input.ConsumeIntegralInRange<LONG_PTR>(-1, 300);
    const bool docket = definition.dwKind == 1;
    const std::string ini = docket ? "C:\\WINDOWS\\orvfxb.ini" : "C:\\WINDOWS\\orvlotus.ini";
    machine->files().write_file(ini, input.ConsumeRemainingBytesAsString());
    const fuzz::Holdings before = fuzz::holdings(*machine);

    PrinterContext context{};
    const LONG result = write_9x_driver_settings(definition, &context);
    fuzz::take_error_text();
    fuzz::require(fuzz::holdings(*machine) == before, "the settings' writing left a block or a handle behind");
    fuzz::require(result == (definition.nIntensity > 200 ? INS_SELECTION_REJECTED : INS_OK), "the wrong answer",
                  std::to_string(result));

    std::vector<Expectation> expected = {{"OWNER", "OverwriteIfFileExist", "1"}, {"OWNER", "padLines", "0"},
                                         {"OWNER", "ShadowFile", "0"},           {"OWNER", "DelayedCancel", "0"},
                                         {"Debug", "DisplayStatus", "0"}};
    auto given_number = [&](const char* section, const char* key, LONG_PTR value) {
        if (value != -1) expected.push_back({section, key, std::to_string(value)});
    };
    given_number("OWNER", "FileType", definition.nFileType);
    given_number("OWNER", "LeftMargin", definition.nLeftMargin);
    given_number("OWNER", "ForceSubType", definition.nSubfileType);
    given_number("CSID", "Enable", definition.nCsidEnable);
    if (definition.nMppfFlag >= 0) expected.push_back({"OWNER", "BreakPages", definition.nMppfFlag == 0 ? "1" : "0"});
    auto given_text = [&](const char* section, const char* key, const char* value) {
        if (value && *value && fuzz::ini_holds_as_is(value, "")) expected.push_back({section, key, value});
    };
    given_text("CSID", "OwnerName", definition.pCsidName);
    given_text("CSID", "OwnerNumber", definition.pCsidNumber);
    if (docket) given_text("DOCKET", "LibraryName", definition.pDocketLibrary);
    if (definition.pFaxDialogLoc == product_dialog) expected.push_back({"OWNER", "ControlDialogEXE", product_dialog});
    for (const Expectation& entry : expected)
        fuzz::require(profile_string(entry.section, entry.key, ini.c_str()) == entry.value, "a setting reads otherwise",
                      std::string(entry.section) + "/" + entry.key + " is not " + entry.value);

    // The device section is named "printer,port" less the colon that ends the port.
    std::string device = printer + "," + port;
    if (!definition.pPrinterName) device = "," + port;
    if (!definition.pPortName) device = (definition.pPrinterName ? printer : "") + ",";
    if (device.size() > 1 && device.back() == ':') device.pop_back();
    if (fuzz::ini_holds_as_is(device, "[]"))
        fuzz::require(profile_string(device.c_str(), "Y Resolution", nullptr) == "196", "the device section is missing", device);
    return 0;
}
