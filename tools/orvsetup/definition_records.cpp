#include "definition_records.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>
#include <variant>

namespace orvsetup {

namespace {

// One field of a record: its name as the header spells it and where it lies. The kind
// of the member says what the file must give: a text, a signed or an unsigned number.
template <typename Record>
struct Field {
    std::string_view name;
    std::variant<LPCSTR Record::*, LONG_PTR Record::*, DWORD_PTR Record::*> member;
};

// The name comes from the member itself, so a field renamed in the header is renamed here.
#define ORV_FIELD(Record, field) Field<Record>{#field, &Record::field}

constexpr std::array<Field<INS_PORT_DEFINITION>, INS_PORT_DEFINITION_WORDS> port_fields = {
    ORV_FIELD(INS_PORT_DEFINITION, nPlainPort),       ORV_FIELD(INS_PORT_DEFINITION, pPortName),
    ORV_FIELD(INS_PORT_DEFINITION, pMonitorName),     ORV_FIELD(INS_PORT_DEFINITION, pFaxDialogLoc),
    ORV_FIELD(INS_PORT_DEFINITION, pOutputDirectory), ORV_FIELD(INS_PORT_DEFINITION, pOutputPrefix),
    ORV_FIELD(INS_PORT_DEFINITION, pOutputExtension), ORV_FIELD(INS_PORT_DEFINITION, nSpawnInUserContext),
    ORV_FIELD(INS_PORT_DEFINITION, nSeparateVdm),
};

constexpr std::array<Field<INS_PRINTER_DEFINITION>, INS_PRINTER_DEFINITION_WORDS> printer_fields = {
    ORV_FIELD(INS_PRINTER_DEFINITION, dwVersion),
    ORV_FIELD(INS_PRINTER_DEFINITION, dwKind),
    ORV_FIELD(INS_PRINTER_DEFINITION, pPrinterName),
    ORV_FIELD(INS_PRINTER_DEFINITION, pPortName),
    ORV_FIELD(INS_PRINTER_DEFINITION, pDriverName),
    ORV_FIELD(INS_PRINTER_DEFINITION, pPrintProcessor),
    ORV_FIELD(INS_PRINTER_DEFINITION, pDatatype),
    ORV_FIELD(INS_PRINTER_DEFINITION, pFaxDialogLoc),
    ORV_FIELD(INS_PRINTER_DEFINITION, pOutputDirectory),
    ORV_FIELD(INS_PRINTER_DEFINITION, pOutputPrefix),
    ORV_FIELD(INS_PRINTER_DEFINITION, pOutputExtension),
    ORV_FIELD(INS_PRINTER_DEFINITION, pServerShareUsername),
    ORV_FIELD(INS_PRINTER_DEFINITION, pServerSharePassword),
    ORV_FIELD(INS_PRINTER_DEFINITION, nSpawnInUserContext),
    ORV_FIELD(INS_PRINTER_DEFINITION, nSeparateVdm),
    ORV_FIELD(INS_PRINTER_DEFINITION, nServerShareFlag),
    ORV_FIELD(INS_PRINTER_DEFINITION, nFileType),
    ORV_FIELD(INS_PRINTER_DEFINITION, nMppfFlag),
    ORV_FIELD(INS_PRINTER_DEFINITION, nSpoolMode),
    ORV_FIELD(INS_PRINTER_DEFINITION, nColorMode),
    ORV_FIELD(INS_PRINTER_DEFINITION, nDitherPattern),
    ORV_FIELD(INS_PRINTER_DEFINITION, nNtDitherPattern),
    ORV_FIELD(INS_PRINTER_DEFINITION, nIntensity),
    ORV_FIELD(INS_PRINTER_DEFINITION, nDriverTimeout),
    ORV_FIELD(INS_PRINTER_DEFINITION, nSecondTimeout),
    ORV_FIELD(INS_PRINTER_DEFINITION, nResolution),
    ORV_FIELD(INS_PRINTER_DEFINITION, nPaperSize),
    ORV_FIELD(INS_PRINTER_DEFINITION, nOrientation),
    ORV_FIELD(INS_PRINTER_DEFINITION, pDocketLibrary),
    ORV_FIELD(INS_PRINTER_DEFINITION, nLeftMargin),
    ORV_FIELD(INS_PRINTER_DEFINITION, nSubfileType),
    ORV_FIELD(INS_PRINTER_DEFINITION, nPrintMode),
    ORV_FIELD(INS_PRINTER_DEFINITION, nJpegQuality),
    ORV_FIELD(INS_PRINTER_DEFINITION, nCsidEnable),
    ORV_FIELD(INS_PRINTER_DEFINITION, pCsidName),
    ORV_FIELD(INS_PRINTER_DEFINITION, pCsidNumber),
    ORV_FIELD(INS_PRINTER_DEFINITION, pResourceModule16),
};

#undef ORV_FIELD

// A table shorter than the record leaves entries without a name; every word of the
// record must be one a file can set.
template <typename Record, std::size_t N>
constexpr bool covers_every_word(const std::array<Field<Record>, N>& fields) {
    return sizeof(Record) == N * sizeof(LONG_PTR) &&
           std::none_of(fields.begin(), fields.end(), [](const Field<Record>& field) { return field.name.empty(); });
}
static_assert(covers_every_word(port_fields));
static_assert(covers_every_word(printer_fields));

class RecordReader {
public:
    RecordReader(std::string source, std::string_view record_name) : source_(std::move(source)), record_name_(record_name) {}

    [[noreturn]] void refuse(const toml::source_region& where, const std::string& message) const {
        throw RecordError(source_ + ":" + std::to_string(where.begin.line) + ": " + message);
    }

    template <typename Record, std::size_t N>
    std::unique_ptr<DefinitionRecord<Record>> read(std::string_view text, const std::array<Field<Record>, N>& fields,
                                                   const Record& unchanged) const {
        toml::table table;
        try {
            table = toml::parse(text, source_);
        } catch (const toml::parse_error& error) {
            refuse(error.source(), std::string(error.description()));
        }
        return read(table, fields, unchanged);
    }

    template <typename Record, std::size_t N>
    std::unique_ptr<DefinitionRecord<Record>> read(const toml::table& table, const std::array<Field<Record>, N>& fields,
                                                   const Record& unchanged) const {
        auto record = std::make_unique<DefinitionRecord<Record>>(DefinitionRecord<Record>{unchanged, {}});
        for (const auto& [key, node] : table) {
            auto field = std::find_if(fields.begin(), fields.end(), [&](const Field<Record>& f) { return f.name == key.str(); });
            if (field == fields.end())
                refuse(key.source(), "field '" + std::string(key.str()) + "' is not a field of " + std::string(record_name_));
            std::visit([&](auto member) { set(*record, member, field->name, node); }, field->member);
        }
        return record;
    }

private:
    template <typename Record>
    void set(DefinitionRecord<Record>& record, LPCSTR Record::*member, std::string_view name, const toml::node& node) const {
        if (!node.is_string()) refuse(node.source(), "field '" + std::string(name) + "' must be a text");
        record.texts.push_back(*node.value<std::string>());
        record.words.*member = record.texts.back().c_str();
    }
    template <typename Record>
    void set(DefinitionRecord<Record>& record, LONG_PTR Record::*member, std::string_view name, const toml::node& node) const {
        record.words.*member = static_cast<LONG_PTR>(number(node, name, INT32_MIN, INT32_MAX));
    }
    template <typename Record>
    void set(DefinitionRecord<Record>& record, DWORD_PTR Record::*member, std::string_view name, const toml::node& node) const {
        record.words.*member = static_cast<DWORD_PTR>(number(node, name, 0, UINT32_MAX));
    }

    // The library reads every number as 32 bits: a wider one would not arrive as written.
    std::int64_t number(const toml::node& node, std::string_view name, std::int64_t low, std::int64_t high) const {
        std::optional<std::int64_t> value = node.value_exact<std::int64_t>();
        if (!value || *value < low || *value > high)
            refuse(node.source(), "field '" + std::string(name) + "' must be a whole number from " + std::to_string(low) +
                                      " to " + std::to_string(high));
        return *value;
    }

    std::string source_;
    std::string_view record_name_;
};

std::string file_text(const std::string& path) {
    std::error_code error;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, error)) in.open(path, std::ios::binary);
    if (!in.is_open()) throw RecordError("cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::unique_ptr<PrinterRecord> parse_printer_record(std::string_view text, const std::string& source) {
    const INS_PRINTER_DEFINITION unchanged = INS_PRINTER_DEFINITION_UNCHANGED;
    return RecordReader(source, "INS_PRINTER_DEFINITION").read(text, printer_fields, unchanged);
}

std::unique_ptr<PortRecord> parse_port_record(std::string_view text, const std::string& source) {
    const INS_PORT_DEFINITION unchanged = INS_PORT_DEFINITION_UNCHANGED;
    return RecordReader(source, "INS_PORT_DEFINITION").read(text, port_fields, unchanged);
}

std::unique_ptr<PrinterRecord> printer_record_of(const toml::table& table, const std::string& source) {
    const INS_PRINTER_DEFINITION unchanged = INS_PRINTER_DEFINITION_UNCHANGED;
    return RecordReader(source, "INS_PRINTER_DEFINITION").read(table, printer_fields, unchanged);
}

std::unique_ptr<PortRecord> port_record_of(const toml::table& table, const std::string& source) {
    const INS_PORT_DEFINITION unchanged = INS_PORT_DEFINITION_UNCHANGED;
    return RecordReader(source, "INS_PORT_DEFINITION").read(table, port_fields, unchanged);
}

std::unique_ptr<PrinterRecord> read_printer_record(const std::string& path) { return parse_printer_record(file_text(path), path); }

std::unique_ptr<PortRecord> read_port_record(const std::string& path) { return parse_port_record(file_text(path), path); }

}  // namespace orvsetup
