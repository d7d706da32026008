// The definitions a setup program passes by pointer (INS_PRINTER_DEFINITION,
// INS_PORT_DEFINITION), read from readable TOML files whose keys are the record's field
// names as orvinstl.h spells them:
//
//   dwVersion = 4
//   dwKind = 2
//   pPrinterName = "Orvana Fax"
//   nFileType = 5
//
// A text field takes a text, a number field a whole number of 32 bits. A field left out
// keeps the value of the header's *_UNCHANGED initializer, which leaves its setting as
// it is.
#pragma once

#include "orvinstl.h"

#include <toml++/toml.h>

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvsetup {

// A definition file refused; what() names the file, the line and the field, as
// "fax.toml:3: field 'pPrinterNam' is not a field of INS_PRINTER_DEFINITION".
class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The record's words and the texts they point at, which live as long as it does.
template <typename Record>
struct DefinitionRecord {
    Record words;
    std::deque<std::string> texts;
};

using PrinterRecord = DefinitionRecord<INS_PRINTER_DEFINITION>;
using PortRecord = DefinitionRecord<INS_PORT_DEFINITION>;

// From the text of a file (`source` names it in messages), or from the file itself.
// Throws RecordError.
std::unique_ptr<PrinterRecord> parse_printer_record(std::string_view text, const std::string& source);
std::unique_ptr<PortRecord> parse_port_record(std::string_view text, const std::string& source);
std::unique_ptr<PrinterRecord> read_printer_record(const std::string& path);
std::unique_ptr<PortRecord> read_port_record(const std::string& path);
// From a table of a larger file (a setup script's step); `source` names that file.
std::unique_ptr<PrinterRecord> printer_record_of(const toml::table& table, const std::string& source);
std::unique_ptr<PortRecord> port_record_of(const toml::table& table, const std::string& source);

}  // namespace orvsetup
