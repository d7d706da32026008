// Definition files as a setup author writes them for `orvsetup call`, and the
// initializers orvinstl.h gives a C setup program for the same "change nothing" record.
#include "support/temp_path.h"
#include "call_engine.h"
#include "definition_records.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using orvsetup::RecordError;

template <typename Record>
std::vector<LONG_PTR> words_of(const Record& record) {
    std::vector<LONG_PTR> words(sizeof(Record) / sizeof(LONG_PTR));
    std::memcpy(words.data(), &record, sizeof(Record));
    return words;
}

// The record's words in the library's order, with the number each word takes to leave
// its setting as it is (texts: null). Written from the printer and port definition
// tables, not from the header, so that the header's initializers are held to them.
struct Word {
    const char* name;
    bool text;
    LONG_PTR unchanged;
};

const std::vector<Word> printer_words = {
    {"dwVersion", false, 4},         {"dwKind", false, 0},
    {"pPrinterName", true, 0},       {"pPortName", true, 0},
    {"pDriverName", true, 0},        {"pPrintProcessor", true, 0},
    {"pDatatype", true, 0},          {"pFaxDialogLoc", true, 0},
    {"pOutputDirectory", true, 0},   {"pOutputPrefix", true, 0},
    {"pOutputExtension", true, 0},   {"pServerShareUsername", true, 0},
    {"pServerSharePassword", true, 0}, {"nSpawnInUserContext", false, -1},
    {"nSeparateVdm", false, -1},     {"nServerShareFlag", false, -1},
    {"nFileType", false, -1},        {"nMppfFlag", false, -1},
    {"nSpoolMode", false, 0},        {"nColorMode", false, 0},
    {"nDitherPattern", false, 0},    {"nNtDitherPattern", false, 0},
    {"nIntensity", false, -1},       {"nDriverTimeout", false, -1},
    {"nSecondTimeout", false, -1},   {"nResolution", false, 0},
    {"nPaperSize", false, -1},       {"nOrientation", false, -1},
    {"pDocketLibrary", true, 0},     {"nLeftMargin", false, -1},
    {"nSubfileType", false, -1},     {"nPrintMode", false, 0},
    {"nJpegQuality", false, -1},     {"nCsidEnable", false, -1},
    {"pCsidName", true, 0},          {"pCsidNumber", true, 0},
    {"pResourceModule16", true, 0},
};

const std::vector<Word> port_words = {
    {"nPlainPort", false, 0},        {"pPortName", true, 0},          {"pMonitorName", true, 0},
    {"pFaxDialogLoc", true, 0},      {"pOutputDirectory", true, 0},   {"pOutputPrefix", true, 0},
    {"pOutputExtension", true, 0},   {"nSpawnInUserContext", false, -1}, {"nSeparateVdm", false, -1},
};

std::vector<LONG_PTR> unchanged_words(const std::vector<Word>& words) {
    std::vector<LONG_PTR> values;
    for (const Word& word : words) values.push_back(word.unchanged);
    return values;
}

TEST(DefinitionInitializers, LeaveEverySettingAsItIs) {
    const INS_PRINTER_DEFINITION printer = INS_PRINTER_DEFINITION_UNCHANGED;
    const INS_PORT_DEFINITION port = INS_PORT_DEFINITION_UNCHANGED;
    EXPECT_EQ(words_of(printer), unchanged_words(printer_words));
    EXPECT_EQ(words_of(port), unchanged_words(port_words));
}

TEST(DefinitionRecords, AFieldLeftOutKeepsTheInitializersValue) {
    const INS_PRINTER_DEFINITION printer = INS_PRINTER_DEFINITION_UNCHANGED;
    const INS_PORT_DEFINITION port = INS_PORT_DEFINITION_UNCHANGED;
    EXPECT_EQ(words_of(orvsetup::parse_printer_record("", "empty.toml")->words), words_of(printer));
    EXPECT_EQ(words_of(orvsetup::parse_port_record("# nothing set\n", "empty.toml")->words), words_of(port));

    auto record = orvsetup::parse_printer_record("pPrinterName = \"Fax\"\nnFileType = 5\n", "fax.toml");
    std::vector<LONG_PTR> expected = words_of(printer);
    expected[16] = 5;
    expected[2] = reinterpret_cast<LONG_PTR>(record->words.pPrinterName);
    EXPECT_EQ(words_of(record->words), expected);
    EXPECT_STREQ(record->words.pPrinterName, "Fax");
}

// Each field lands in its own word: field i set to a value of its own, all at once.
template <typename Record>
void expect_each_field_in_its_word(const std::vector<Word>& layout,
                                   std::unique_ptr<orvsetup::DefinitionRecord<Record>> (*parse)(std::string_view, const std::string&)) {
    std::string text;
    for (std::size_t i = 0; i < layout.size(); ++i)
        text += std::string(layout[i].name) + " = " + (layout[i].text ? "\"text " + std::to_string(i) + "\"" : std::to_string(100 + i)) + "\n";
    auto record = parse(text, "all.toml");
    const std::vector<LONG_PTR> words = words_of(record->words);
    ASSERT_EQ(words.size(), layout.size());
    for (std::size_t i = 0; i < layout.size(); ++i) {
        SCOPED_TRACE(layout[i].name);
        if (layout[i].text) EXPECT_STREQ(reinterpret_cast<const char*>(words[i]), ("text " + std::to_string(i)).c_str());
        else EXPECT_EQ(words[i], static_cast<LONG_PTR>(100 + i));
    }
}

TEST(DefinitionRecords, EachFieldIsItsOwnWord) {
    expect_each_field_in_its_word<INS_PRINTER_DEFINITION>(printer_words, orvsetup::parse_printer_record);
    expect_each_field_in_its_word<INS_PORT_DEFINITION>(port_words, orvsetup::parse_port_record);
}

TEST(DefinitionRecords, NumbersAreThirtyTwoBitsSignedOrForTheVersionUnsigned) {
    auto record = orvsetup::parse_printer_record("dwVersion = 4294967295\nnIntensity = -2147483648\nnJpegQuality = 2147483647\n"
                                                 "pCsidName = \"\"\n",
                                                 "edges.toml");
    EXPECT_EQ(record->words.dwVersion, DWORD_PTR{4294967295u});
    EXPECT_EQ(record->words.nIntensity, LONG_PTR{-2147483648LL});
    EXPECT_EQ(record->words.nJpegQuality, LONG_PTR{2147483647});
    ASSERT_NE(record->words.pCsidName, nullptr) << "an empty text is a text, not null";
    EXPECT_STREQ(record->words.pCsidName, "");
}

template <typename Read>
std::string refusal_of(Read read) {
    try {
        read();
    } catch (const RecordError& error) {
        return error.what();
    }
    return "accepted";
}

std::string refusal(const std::string& text, bool port = false) {
    return refusal_of([&] {
        if (port) orvsetup::parse_port_record(text, "fax.toml");
        else orvsetup::parse_printer_record(text, "fax.toml");
    });
}

TEST(DefinitionRecords, RefusalsNameTheFileLineAndField) {
    EXPECT_EQ(refusal("dwVersion = 3\npPrinterName = \"Fax\"\npPrinterNam = \"Fax\"\n"),
              "fax.toml:3: field 'pPrinterNam' is not a field of INS_PRINTER_DEFINITION");
    EXPECT_EQ(refusal("pprintername = \"Fax\"\n"), "fax.toml:1: field 'pprintername' is not a field of INS_PRINTER_DEFINITION")
        << "names are spelt as the header spells them";
    EXPECT_EQ(refusal("nPlainPort = 0\ndwVersion = 4\n", true), "fax.toml:2: field 'dwVersion' is not a field of INS_PORT_DEFINITION");
    EXPECT_EQ(refusal("\nnFileType = \"5\"\n"), "fax.toml:2: field 'nFileType' must be a whole number from -2147483648 to 2147483647");
    EXPECT_EQ(refusal("nFileType = 5.0\n"), "fax.toml:1: field 'nFileType' must be a whole number from -2147483648 to 2147483647");
    EXPECT_EQ(refusal("nPaperSize = 2147483648\n"), "fax.toml:1: field 'nPaperSize' must be a whole number from -2147483648 to 2147483647");
    EXPECT_EQ(refusal("dwVersion = -1\n"), "fax.toml:1: field 'dwVersion' must be a whole number from 0 to 4294967295");
    EXPECT_EQ(refusal("dwVersion = 4294967296\n"), "fax.toml:1: field 'dwVersion' must be a whole number from 0 to 4294967295");
    EXPECT_EQ(refusal("pPrinterName = 7\n"), "fax.toml:1: field 'pPrinterName' must be a text");
    EXPECT_EQ(refusal("[pPrinterName]\n"), "fax.toml:1: field 'pPrinterName' must be a text");
    EXPECT_EQ(refusal("pPortName = [\"LPT1:\"]\n", true), "fax.toml:1: field 'pPortName' must be a text");
    const std::string broken = refusal("pPrinterName = \"Fax\nnFileType = 5\n");
    EXPECT_EQ(broken.rfind("fax.toml:1: ", 0), 0u) << broken;
    EXPECT_EQ(refusal("nFileType = 5\nnFileType = 6\n").rfind("fax.toml:2: ", 0), 0u) << "a field set twice";
}

TEST(DefinitionRecords, AFileThatCannotBeReadIsNamed) {
    const std::filesystem::path folder = testing_support::temp_path("orvsetup-records-unreadable");
    std::filesystem::create_directories(folder);
    const std::string missing = (folder / "missing.toml").string();
    EXPECT_EQ(refusal_of([&] { orvsetup::read_printer_record(missing); }), "cannot read " + missing);
    EXPECT_EQ(refusal_of([&] { orvsetup::read_port_record(folder.string()); }), "cannot read " + folder.string())
        << "a directory is no definition";
    std::filesystem::remove_all(folder);
}

TEST(DefinitionRecords, TheSampleDefinitionsAreTaken) {
    const std::filesystem::path printers = std::filesystem::path(ORV_SAMPLE_MACHINES_DIR).parent_path() / "printers";
    auto prism = orvsetup::read_printer_record((printers / "prism-fax.toml").string());
    EXPECT_EQ(prism->words.dwKind, LONG_PTR{2});
    EXPECT_STREQ(prism->words.pDriverName, "Orvana Print Driver");
    EXPECT_EQ(orvsetup::read_printer_record((printers / "prism-fax-rejected.toml").string())->words.nFileType, LONG_PTR{9});
    auto docket = orvsetup::read_printer_record((printers / "docket-98.toml").string());
    EXPECT_EQ(docket->words.dwKind, LONG_PTR{1});
    EXPECT_STREQ(docket->words.pDriverName, "Orvana Win98 Docket Driver");
    EXPECT_EQ(docket->words.pResourceModule16, nullptr) << "the library's own names: orvfxb.ini";
    EXPECT_STREQ(orvsetup::read_port_record((printers / "fax-port.toml").string())->words.pMonitorName, "Orvana Fax Port");
}

// A record as the export receives it: what the fake export saw of the caller's words.
INS_PRINTER_DEFINITION received;
std::string received_name;

LONG WINAPI fake_add_printer(const INS_PRINTER_DEFINITION* definition) {
    received = *definition;
    received_name = definition->pPrinterName;
    return 0;
}

class RecordArguments : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("orvsetup-records-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string file(const std::string& name, const std::string& text) {
        const std::filesystem::path path = folder / name;
        std::ofstream(path) << text;
        return path.string();
    }
    std::filesystem::path folder;
};

TEST_F(RecordArguments, AFileBecomesTheRecordTheExportReceives) {
    const std::string fax = file("fax.toml", "dwVersion = 3\ndwKind = 2\npPrinterName = \"Fax\"\nnFileType = 5\n");
    const orvsetup::CallRequest call{"insAddPrinter", {"@printer:" + fax}};
    ASSERT_EQ(orvsetup::check_calls({call}), "");
    std::vector<orvsetup::Argument> arguments = orvsetup::prepare_arguments(call, {});
    const orvsetup::Signature* signature = orvsetup::find_signature("insAddPrinter");
    ASSERT_NE(signature, nullptr);
    signature->invoke(reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&fake_add_printer)), arguments);
    EXPECT_EQ(received.dwVersion, DWORD_PTR{3});
    EXPECT_EQ(received.dwKind, LONG_PTR{2});
    EXPECT_EQ(received_name, "Fax");
    EXPECT_EQ(received.nFileType, LONG_PTR{5});
    EXPECT_EQ(received.nIntensity, LONG_PTR{-1}) << "left out: unchanged";
}

TEST_F(RecordArguments, ABadFileIsRefusedBeforeAnyCall) {
    const std::string bad = file("bad.toml", "nPlainPort = 0\npPortNme = \"ORVFAX1:\"\n");
    EXPECT_EQ(orvsetup::check_calls({{"InstallAllowed", {}}, {"insAddPort", {"@port:" + bad}}}),
              "insAddPort, argument 1: " + bad + ":2: field 'pPortNme' is not a field of INS_PORT_DEFINITION (insAddPort(port "
              "definition (@port:FILE)))");
    EXPECT_EQ(orvsetup::check_calls({{"insAddPrinter", {"@port:" + bad}}}),
              "insAddPrinter, argument 1: a printer definition is written @printer:FILE.toml, or null (insAddPrinter(printer "
              "definition (@printer:FILE)))");
    EXPECT_EQ(orvsetup::check_calls({{"insMovePort", {"@port:" + (folder / "none.toml").string()}}}),
              "insMovePort, argument 1: cannot read " + (folder / "none.toml").string() + " (insMovePort(port definition "
              "(@port:FILE)))");

    // The run stops before the first call, which a bad later argument would otherwise follow.
    auto machine = winsim::Machine::create(winsim::Platform::nt4);
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(orvsetup::run_calls({{"InstallAllowed", {}}, {"insAddPort", {"@port:" + bad}}}, true, out, out), 2);
    std::rewind(out);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    EXPECT_EQ(std::string(line).rfind("orvsetup: insAddPort, argument 1: ", 0), 0u) << line;
    std::fclose(out);
}

}  // namespace
