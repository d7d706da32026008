// The system texts of the error entries as FormatMessageA lays them out: the codes
// whose texts are long enough to meet the library's width of 80, asked for as the
// library asks (from the system, the user's default language, an argument array with
// the value name as %1), then Windows' own definitions of them given as strings, so
// that the layout is compared in Windows' words too, and the wrap rule on short
// definitions at small widths.
#include "scenarios.h"
#include "session.h"

#include <string>
#include <vector>

namespace conformance {

namespace {

constexpr DWORD library_flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY | 80;
constexpr DWORD user_default_language = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// Value names the library records: a file, a registry path of 78 characters with a
// space, a printer's settings path that is longer than a line, and a path longer than
// a line without any space.
const char* const monitor_file = "C:\\WINNT\\system32\\orvmon.dll";
const char* const monitor_key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Orvana Port";
const char* const printer_key =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Orvana Fax on the second floor\\PrinterDriverData";
const char* const deep_file =
    "C:\\ORVANA\\COMPONENTS\\X86\\DRIVERS\\VERSION3\\LANGUAGES\\ENGLISH\\UNITEDSTATES\\MONITORS\\LOCAL\\ORVMON.DLL";

// What FormatMessageA answered: the text and its length, or the failure's code.
Facts formatted(DWORD flags, const void* source, DWORD code, const std::vector<const char*>& inserts) {
    std::vector<DWORD_PTR> args;
    for (const char* insert : inserts) args.push_back(reinterpret_cast<DWORD_PTR>(insert));
    std::string buffer(1024, '#');
    SetLastError(0xDEADBEEF);
    DWORD length = FormatMessageA(flags, source, code, user_default_language, buffer.data(),
                                  static_cast<DWORD>(buffer.size()),
                                  args.empty() ? nullptr : reinterpret_cast<va_list*>(args.data()));
    if (!length) return Facts().number("result", 0).number("error", static_cast<long long>(GetLastError()));
    return Facts().number("result", length).text("text", buffer.substr(0, length));
}

struct SystemTextCase {
    const char* step;
    DWORD code;
    const char* value_name;  // null: inserts are ignored, as the library asks without one
};

void system_texts(Session& s) {
    const SystemTextCase cases[] = {
        {"32 with a file name", 32, monitor_file},
        {"1053 with a long printer path", 1053, printer_key},
        {"193 with a path of 78 characters", 193, monitor_key},
        {"193 with a path longer than a line", 193, deep_file},
        {"193 without a value name", 193, nullptr},
    };
    for (const SystemTextCase& c : cases) {
        DWORD flags = library_flags | (c.value_name ? 0 : FORMAT_MESSAGE_IGNORE_INSERTS);
        // The library's array: the value name, then empty texts for any further insert.
        s.report(c.step, formatted(flags, nullptr, c.code, {c.value_name ? c.value_name : "", "", ""}));
    }
}

struct DefinitionCase {
    const char* step;
    const char* definition;
    DWORD low_flags;  // the width, and FORMAT_MESSAGE_IGNORE_INSERTS where a case asks for it
    std::vector<const char*> inserts;
};

void play_definitions(Session& s, const std::vector<DefinitionCase>& cases) {
    for (const DefinitionCase& c : cases) {
        DWORD flags = FORMAT_MESSAGE_FROM_STRING | c.low_flags | (c.inserts.empty() ? 0 : FORMAT_MESSAGE_ARGUMENT_ARRAY);
        s.report(c.step, formatted(flags, c.definition, 0, c.inserts));
    }
}

// Windows' English definitions, as its message table holds them.
void windows_texts(Session& s) {
    const char* const sharing = "The process cannot access the file because it is being used by another process.\r\n";
    const char* const timeout = "The service did not respond to the start or control request in a timely fashion.\r\n";
    const char* const bad_image = "%1 is not a valid Win32 application.\r\n";
    const DWORD width = 80;
    play_definitions(s, {
                            {"32", sharing, width, {monitor_file}},
                            {"1053", timeout, width, {printer_key}},
                            {"1053 at width 20", timeout, 20, {printer_key}},
                            {"193 with a file name", bad_image, width, {monitor_file}},
                            {"193 with a path of 78 characters", bad_image, width, {monitor_key}},
                            {"193 with a path longer than a line", bad_image, width, {deep_file}},
                            {"193 without a value name", bad_image, width | FORMAT_MESSAGE_IGNORE_INSERTS, {}},
                        });
}

// Cases of the rule on short definitions: a selection of the wrap cases of Wine's
// conformance tests, and inserts, which are written whole.
void wrap_rule(Session& s) {
    play_definitions(s, {
                            {"fits", "short long line", 20, {}},
                            {"reaches the width", "short long long line", 20, {}},
                            {"one short of the width", "short long line", 11, {}},
                            {"breaks in spaces", "short long    line", 12, {}},
                            {"word longer than a line", "short long    wordlongerthanaline", 12, {}},
                            {"leading spaces", "   shortlong line", 11, {}},
                            {"only spaces", "                ", 5, {}},
                            {"trailing spaces", "l1               ", 5, {}},
                            {"word fills the line", "shortlon", 8, {}},
                            {"word fills the line before %n", "shortlon%n", 8, {}},
                            {"%r starts a line", "short%rlong line", 8, {}},
                            {"bare LF", "short\nlong line", 11, {}},
                            {"bare CR", "\r", 0, {}},
                            {"bare CR with a width", "\r\r\n", FORMAT_MESSAGE_MAX_WIDTH_MASK, {}},
                            {"tab", "short long\tline", 11, {}},
                            {"inserts ignored", "short%nlong line%1", FORMAT_MESSAGE_IGNORE_INSERTS | 8, {}},
                            {"insert moves to the next line", "abcdef %1 cd", 10, {"x y"}},
                            {"insert longer than a line", "abc %1 de", 8, {"aaaaaaaaaaaaaaaaaaaa"}},
                            {"insert without a space before it", "abcdefg%1", 8, {"x y"}},
                            {"insert's spaces", "ab%1cdefghij", 8, {"x y"}},
                            {"percent at the end", "test%", 0, {}},
                            {"percent at the end with a width", "test%", 80, {}},
                        });
}

}  // namespace

std::vector<Scenario> system_text_scenarios() {
    return {
        {"SystemTexts", {}, system_texts},
        {"WindowsTexts", {}, windows_texts},
        {"WrapRule", {}, wrap_rule},
    };
}

}  // namespace conformance
