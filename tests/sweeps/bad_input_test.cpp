// Bad input at every export, from the exports' own signatures: a null where a text,
// buffer, out value or definition goes; empty texts; texts longer than every fixed
// buffer; names with the characters Windows gives meaning to; buffers of no and one
// byte; definitions of unknown versions with every field out of range. Each call is made
// on a machine with the product installed, as a setup program makes it.
#include "call_engine.h"
#include "sweeps/export_sweep.h"
#include "script_machine.h"
#include "signatures.h"

#include <gtest/gtest.h>

#include <winsim/machine.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using orvsetup::ParameterKind;
using winsim::Platform;

// Pointers the contracts let be null, each with the meaning they give it (orvinstl.h).
const std::set<std::pair<std::string, std::size_t>> optional_pointers = {
    {"DllMain", 2},                    // reserved
    {"ExeFileBitness", 0},             // no file: 0
    {"RetrieveErrorText", 0},          // 0, the text stays
    {"insGetFirstPrinterName", 2},     // the result out-value
    {"insGetNextPrinterName", 1},      // no buffer, nothing written
    {"insFetchRegistryVal", 2},        // a size query
    {"insFetchPrinterVal", 2},         // a size query
    {"insAddMonitor", 1},              // idText
    {"insAddMonitorEx", 1},            // idText
    {"insAddPortEx", 1},               // dialogSource
    {"insAddPrintProc", 1},            // processorName
    {"insIsPrintDriverPresentEx", 1},  // driverFile: matches no file
    {"insIsPrintDriverPresentEx", 3},  // installedName
    {"insAddPrintDriver", 1},          // configFile, unused on 95/98
    {"insAddPrintDriver", 2},          // modelName
    {"insAddPrintDriverEx", 1},        // configFile, unused on 95/98
    {"insAddPrintDriverEx", 2},        // helpFile
    {"insAddPrintDriverEx", 3},        // dependentFiles
    {"insAddPrintDriverEx", 4},        // modelName
    {"insAddPrinterEx", 1},            // sourcePath
    {"insAddDaemonService", 2},        // account
    {"insAddDaemonService", 3},        // password
};

// What a parameter is given when another one is under test: what a setup program
// passes for the product.
std::string usual_word(ParameterKind kind) {
    switch (kind) {
    case ParameterKind::text: return "Orvana Fax";
    case ParameterKind::out_long: return "@long";
    case ParameterKind::out_buffer: return "@out:260";
    case ParameterKind::cursor: return "null";
    case ParameterKind::port_record:
    case ParameterKind::printer_record: return orvsetup::given_record_word;
    default: return "0";
    }
}

// A definition with the texts it points at.
template <typename Record>
struct OwnedRecord {
    Record words;
    std::vector<std::string> texts;
};

// The texts are put in place first: the definition points into them where they stay.
template <typename Record, typename Point = void (*)(Record&, const std::vector<std::string>&)>
orvsetup::GivenRecord give(const Record& words, std::vector<std::string> texts = {},
                           Point point = [](Record&, const std::vector<std::string>&) {}) {
    auto owned = std::make_shared<OwnedRecord<Record>>(OwnedRecord<Record>{words, std::move(texts)});
    point(owned->words, owned->texts);
    return {&owned->words, owned};
}

orvsetup::GivenRecord usual_port() {
    INS_PORT_DEFINITION port = INS_PORT_DEFINITION_UNCHANGED;
    port.pPortName = "ORVFAX2:";
    port.pMonitorName = "Orvana Fax Port";
    return give(port);
}

orvsetup::GivenRecord usual_printer() {
    INS_PRINTER_DEFINITION printer = INS_PRINTER_DEFINITION_UNCHANGED;
    printer.pPrinterName = "Orvana Fax";
    return give(printer);
}

struct Variant {
    Variant(std::string name_, std::string word_, std::optional<orvsetup::GivenRecord> record_ = {}, bool null_ = false,
            std::string size_word_ = {})
        : name(std::move(name_)), word(std::move(word_)), record(std::move(record_)), null(null_), size_word(std::move(size_word_)) {}
    std::string name;
    std::string word;                     // the argument's word
    std::optional<orvsetup::GivenRecord> record;  // for a definition
    bool null;
    std::string size_word;                // for a buffer whose size goes with it
};

// Buffers whose size the caller passes (its argument's place). The others have a
// documented least size (80 characters for a name, 64 for an installed driver's name),
// which a caller that passes less breaks: only null is bad input for them.
const std::map<std::pair<std::string, std::size_t>, std::size_t> sized_buffers = {
    {{"insFetchRegistryVal", 2}, 4}, {{"insFetchPrinterVal", 2}, 4},     {{"insGetFirstPrinterName", 0}, 1},
    {{"insGetNextPrinterName", 1}, 2}, {{"insGetDefaultPrinter", 0}, 1},
};

std::vector<Variant> text_variants() {
    std::vector<Variant> variants{{"null", "null", {}, true}, {"empty", "@text:", {}, false}};
    for (std::size_t length : {52, 64, 80, 100, 200, 260, 400, 70000})
        variants.push_back({std::to_string(length) + " characters", "@text:" + std::string(length, 'A'), {}, false});
    for (const char* name : {"Zed/1", "Zed,1", "Zed\\1", "Zed:1", "Zed%s%n%s"})
        variants.push_back({std::string("name ") + name, std::string("@text:") + name, {}, false});
    return variants;
}

// Every number out of range, in an unknown version or a known one; texts far too long.
std::vector<Variant> printer_variants() {
    std::vector<Variant> variants{{"null", "null", {}, true}};
    for (DWORD_PTR version : {DWORD_PTR{0}, DWORD_PTR{5}, ~DWORD_PTR{0}}) {
        INS_PRINTER_DEFINITION printer = INS_PRINTER_DEFINITION_UNCHANGED;
        printer.dwVersion = version;
        printer.pPrinterName = "Orvana Fax";
        variants.push_back({"version " + std::to_string(version), orvsetup::given_record_word, give(printer), false});
    }
    for (LONG_PTR number : {LONG_PTR{-1000}, LONG_PTR{99999}, LONG_PTR{0x7FFFFFFF}}) {
        INS_PRINTER_DEFINITION printer = INS_PRINTER_DEFINITION_UNCHANGED;
        auto* numbers = reinterpret_cast<LONG_PTR*>(&printer);
        for (int word = 1; word < INS_PRINTER_DEFINITION_WORDS; ++word)
            if (numbers[word] != 0 || word == 1 || word >= 13) numbers[word] = number;
        printer.pPortName = printer.pDriverName = printer.pPrintProcessor = printer.pDatatype = nullptr;
        printer.pServerShareUsername = printer.pServerSharePassword = printer.pDocketLibrary = nullptr;
        printer.pResourceModule16 = nullptr;
        auto point = [](INS_PRINTER_DEFINITION& words, const std::vector<std::string>& texts) {
            words.pPrinterName = texts[0].c_str();
            words.pFaxDialogLoc = words.pOutputDirectory = words.pOutputPrefix = words.pOutputExtension = texts[1].c_str();
            words.pCsidName = words.pCsidNumber = texts[1].c_str();
        };
        variants.push_back({"every number " + std::to_string(number), orvsetup::given_record_word,
                            give(printer, {"Orvana Fax", std::string(400, 'B')}, point), false});
    }
    return variants;
}

std::vector<Variant> port_variants() {
    std::vector<Variant> variants{{"null", "null", {}, true}};
    for (LONG_PTR number : {LONG_PTR{-1000}, LONG_PTR{99999}}) {
        INS_PORT_DEFINITION port{number, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, number, number};
        auto point = [](INS_PORT_DEFINITION& words, const std::vector<std::string>& texts) {
            words.pPortName = texts[0].c_str();
            words.pMonitorName = texts[1].c_str();
            words.pFaxDialogLoc = words.pOutputDirectory = words.pOutputPrefix = words.pOutputExtension = texts[2].c_str();
        };
        variants.push_back({"long texts, numbers " + std::to_string(number), orvsetup::given_record_word,
                            give(port, {std::string(300, 'P'), "Orvana Fax Port", std::string(400, 'D')}, point), false});
    }
    return variants;
}

// Lists of names, each ended by a NUL and the list by an empty name.
const std::set<std::pair<std::string, std::size_t>> name_lists = {{"insAddPrintDriverEx", 3}};

// A list's words: each text of the variants as a list of that one name.
std::vector<Variant> as_lists(std::vector<Variant> variants) {
    for (Variant& variant : variants)
        if (variant.word.starts_with("@text:")) variant.word = "@list:" + variant.word.substr(6);
    return variants;
}

std::vector<Variant> variants_of(ParameterKind kind, const std::string& export_name, std::size_t parameter) {
    if (name_lists.count({export_name, parameter})) return as_lists(text_variants());
    if (kind == ParameterKind::out_buffer && sized_buffers.count({export_name, parameter}))
        return {{"null", "null", {}, true}, {"0 bytes", "@out:0", {}, false, "0"}, {"1 byte", "@out:1", {}, false, "1"}};
    switch (kind) {
    case ParameterKind::text: return text_variants();
    case ParameterKind::out_long: return {{"null", "null", {}, true}};
    case ParameterKind::out_buffer: return {{"null", "null", {}, true}};
    case ParameterKind::printer_record: return printer_variants();
    case ParameterKind::port_record: return port_variants();
    default: return {};
    }
}

// What the spooler holds: a refused call changes none of it.
std::vector<std::string> spooler_objects(winsim::Machine& machine) {
    winsim::Spooler spooler = machine.spooler();
    std::vector<std::string> objects;
    for (const std::string& printer : spooler.printers()) objects.push_back("printer " + printer);
    for (const std::string& port : spooler.ports()) objects.push_back("port " + port);
    for (const std::string& monitor : spooler.monitors()) objects.push_back("monitor " + monitor);
    return objects;
}

class BadInput : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = winsim::Machine::create(GetParam());
        const orvsetup::SetupScript script = testing_support::read_sample_script("standard.toml");
        orvsetup::lay_out_sources(*machine, script, orvsetup::sample_sources_for(*machine));
        ASSERT_TRUE(orvsetup::perform_on(*machine, script.install, {}, nullptr, false).all_accepted());
        std::string problem;
        session = orvsetup::CallSession::open(problem);
        ASSERT_TRUE(session) << problem;
    }

    // A refusal may set the error flag; the next case starts without it.
    void clear_flag() {
        std::string problem;
        ASSERT_TRUE(session->call({"ClearErrorFlag", {}}, {}, problem)) << problem;
    }

    std::unique_ptr<winsim::Machine> machine;
    std::unique_ptr<orvsetup::CallSession> session;
};

INSTANTIATE_TEST_SUITE_P(Platforms, BadInput,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& platform) { return std::string(winsim::platform_info(platform.param).name); });

TEST_P(BadInput, EveryExportAnswersItAsItsContractSays) {
    unsigned calls = 0;
    for (const orvsetup::Signature& signature : orvsetup::export_signatures()) {
        // A process attach would begin the library's state anew; it is no setup program's call.
        if (signature.name == "DllMain") continue;
        for (std::size_t tested = 0; tested < signature.parameters.size(); ++tested) {
            const std::string export_name(signature.name);
            const auto sized = sized_buffers.find({export_name, tested});
            for (const Variant& variant : variants_of(signature.parameters[tested], export_name, tested)) {
                SCOPED_TRACE(export_name + ", argument " + std::to_string(tested + 1) + ": " + variant.name);
                orvsetup::CallRequest request{export_name, {}};
                for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
                    request.words.push_back(i == tested                        ? variant.word
                                            : name_lists.count({export_name, i}) ? "@list:orvfont.dat"
                                                                                 : usual_word(signature.parameters[i]));
                    if (sized != sized_buffers.end() && i == sized->second && !variant.size_word.empty())
                        request.words.back() = variant.size_word;
                    if (i == tested && variant.record) request.records[i] = *variant.record;
                    else if (signature.parameters[i] == ParameterKind::port_record) request.records[i] = usual_port();
                    else if (signature.parameters[i] == ParameterKind::printer_record) request.records[i] = usual_printer();
                }
                const std::vector<std::string> before = spooler_objects(*machine);
                std::string problem;
                const std::optional<orvsetup::CallOutcome> outcome = session->call(request, {}, problem);
                ASSERT_TRUE(outcome) << problem;
                ++calls;
                const LONG result = static_cast<LONG>(outcome->result.number);
                const bool refused = signature.result == orvsetup::ResultKind::number && result != 0;
                if (variant.null && !optional_pointers.count({export_name, tested}) &&
                    signature.result == orvsetup::ResultKind::number) {
                    EXPECT_EQ(result, ERROR_INVALID_PARAMETER) << "a required pointer that is null";
                    EXPECT_EQ(outcome->error_text, "") << "nothing is recorded for it";
                }
                if (refused && (result == ERROR_INVALID_NAME || result == ERROR_FILENAME_EXCED_RANGE)) {
                    EXPECT_NE(outcome->error_text, "") << "a refused name or path is recorded";
                }
                if (refused || variant.null) {
                    EXPECT_EQ(spooler_objects(*machine), before) << "a refused call did something: " << result << " " << outcome->error_text;
                }
                // A name is a name: nothing in it is taken as a format.
                if (variant.name == "name Zed%s%n%s" && outcome->error_text.find("Zed") != std::string::npos) {
                    EXPECT_NE(outcome->error_text.find("Zed%s%n%s"), std::string::npos) << outcome->error_text;
                }
                clear_flag();
            }
        }
    }
    RecordProperty("calls", static_cast<int>(calls));
}

}  // namespace
