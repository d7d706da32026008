// FormatMessageA: a message definition from the system's table or the caller, its
// inserts and escapes expanded, then laid out to the width the low byte of the
// flags asks for. Callers print these texts into logs and dialogs, so the layout
// follows Windows to the byte: a width other than 0 turns the definition's own
// line breaks into spaces (the CR LF every system message ends with included),
// which is why "%s: %s" reports built from system texts carry a trailing space.
#include "core/api.h"
#include "kernel/system_messages.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using winsim::detail::fail;
using winsim::detail::state;

namespace {

// The language failure differs by generation: the NT resource loader reports the
// missing language of the message table, the MUI loader of Windows Vista and later
// the missing language file.
constexpr DWORD kResourceLangNotFound = 1815;  // ERROR_RESOURCE_LANG_NOT_FOUND
constexpr DWORD kMuiFileNotFound = 15100;      // ERROR_MUI_FILE_NOT_FOUND

// Every simulated machine is an English one, so the neutral, user default, system
// default and US English identifiers all reach the English table.
bool reaches_english_table(DWORD language) {
    switch (language) {
    case 0:
    case MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT):
    case 0x0800:  // MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT)
    case 0x0409:  // MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
        return true;
    default:
        return false;
    }
}

// The expanded message, one character at a time, with what the layout needs to know
// about where each character came from.
struct Unit {
    enum Kind {
        plain,       // text of the definition or of an insert: its line breaks are
                     // regular ones and its spaces are places to break a line
        fixed,       // from an escape (%b, %t, %%, %., ...): never a break point
        hard_break,  // %n (c == '\n', written as CR LF) or %r (c == '\r', a bare CR)
    };
    Kind kind;
    char c;
};

class Expansion {
public:
    Expansion(DWORD flags, va_list* arguments) : flags_(flags), arguments_(arguments) {}

    // Expands the definition; false when an insert has no argument to take, or asks
    // for a form winsim does not simulate (then unsimulated() says what).
    bool run(const char* definition) {
        for (const char* p = definition; *p;) {
            if (*p != '%') {
                add(Unit::plain, *p++);
                continue;
            }
            const char* escape = p++;
            char c = *p;
            if (c == '\0') {  // a lone '%' ending the definition stands for itself
                add(Unit::plain, '%');
                break;
            }
            if (c == '0') break;  // the message ends here, without its final line break
            if (c >= '1' && c <= '9') {
                if (!insert(escape, p)) return false;
                continue;
            }
            ++p;
            switch (c) {
            case 'n': add(Unit::hard_break, '\n'); break;
            case 'r': add(Unit::hard_break, '\r'); break;
            case 't': add(Unit::fixed, '\t'); break;
            case 'b': add(Unit::fixed, ' '); break;
            case '%':
                // Kept as it stands when inserts are kept, so that the text can
                // still be formatted later without its percent signs changing.
                if (ignore_inserts()) {
                    add(Unit::plain, '%');
                    add(Unit::plain, '%');
                } else {
                    add(Unit::fixed, '%');
                }
                break;
            default:  // "%.", "%!", "% " and any other character: the character itself
                add(Unit::fixed, c);
                break;
            }
        }
        return true;
    }

    const std::vector<Unit>& units() const { return units_; }
    const std::string& unsimulated() const { return unsimulated_; }

private:
    bool ignore_inserts() const { return flags_ & FORMAT_MESSAGE_IGNORE_INSERTS; }

    void add(Unit::Kind kind, char c) { units_.push_back({kind, c}); }

    void add_text(std::string_view text) {
        for (char c : text) add(Unit::plain, c);
    }

    // %1 .. %99, with an optional printf conversion between '!'s (default !s!).
    bool insert(const char* escape, const char*& p) {
        unsigned number = static_cast<unsigned>(*p++ - '0');
        if (*p >= '0' && *p <= '9') number = number * 10 + static_cast<unsigned>(*p++ - '0');
        std::string_view conversion = "s";
        if (*p == '!') {
            const char* close = std::strchr(p + 1, '!');
            if (!close) return unsimulated("FormatMessageA insert format without its closing '!'");
            conversion = std::string_view(p + 1, static_cast<std::size_t>(close - p - 1));
            p = close + 1;
        }
        if (ignore_inserts()) {
            add_text(std::string_view(escape, static_cast<std::size_t>(p - escape)));
            return true;
        }
        if (!arguments_) return false;
        if (!(flags_ & FORMAT_MESSAGE_ARGUMENT_ARRAY)) return unsimulated("FormatMessageA with a va_list of inserts");
        // As on Windows, the array is DWORD_PTR values passed in the va_list* slot.
        DWORD_PTR value = reinterpret_cast<const DWORD_PTR*>(arguments_)[number - 1];
        std::optional<std::string> formatted = format_value(conversion, value);
        if (!formatted) return unsimulated("FormatMessageA insert conversion !" + std::string(conversion) + "!");
        add_text(*formatted);
        return true;
    }

    // The printf conversions that an argument array can carry: no '*' (it would take
    // further array entries) and nothing 64-bit (an array entry holds 32 bits on
    // Windows) and no wide strings.
    static std::optional<std::string> format_value(std::string_view conversion, DWORD_PTR value) {
        std::size_t i = 0;
        while (i < conversion.size() && std::strchr("-+ #0", conversion[i])) ++i;
        while (i < conversion.size() && conversion[i] >= '0' && conversion[i] <= '9') ++i;
        if (i < conversion.size() && conversion[i] == '.') {
            ++i;
            while (i < conversion.size() && conversion[i] >= '0' && conversion[i] <= '9') ++i;
        }
        std::string printf_format = "%" + std::string(conversion.substr(0, i));
        bool half = false;
        if (i < conversion.size() && (conversion[i] == 'h' || conversion[i] == 'l')) {
            half = conversion[i] == 'h';
            ++i;
        }
        if (i + 1 != conversion.size() || !std::strchr("diouxXcs", conversion[i]))
            return std::nullopt;
        char type = conversion[i];
        printf_format += type;

        auto value32 = static_cast<std::uint32_t>(value);
        std::vector<char> out(64);
        for (;;) {
            int n = 0;
            if (type == 's') {
                n = std::snprintf(out.data(), out.size(), printf_format.c_str(), reinterpret_cast<const char*>(value));
            } else if (type == 'c') {
                n = std::snprintf(out.data(), out.size(), printf_format.c_str(), static_cast<int>(static_cast<char>(value32)));
            } else if (type == 'd' || type == 'i') {
                int signed_value = half ? static_cast<short>(value32) : static_cast<std::int32_t>(value32);
                n = std::snprintf(out.data(), out.size(), printf_format.c_str(), signed_value);
            } else {
                unsigned unsigned_value = half ? static_cast<unsigned short>(value32) : value32;
                n = std::snprintf(out.data(), out.size(), printf_format.c_str(), unsigned_value);
            }
            if (n < 0) return std::nullopt;
            if (static_cast<std::size_t>(n) < out.size()) return std::string(out.data(), static_cast<std::size_t>(n));
            out.resize(static_cast<std::size_t>(n) + 1);
        }
    }

    bool unsimulated(std::string what) {
        unsimulated_ = std::move(what);
        return false;
    }

    DWORD flags_;
    va_list* arguments_;
    std::string unsimulated_;
    std::vector<Unit> units_;
};

// With a width, the definition's own line breaks (CR LF, or a bare LF) are not line
// breaks of the output: each becomes one space, like the white space of a line.
std::vector<Unit> join_regular_lines(const std::vector<Unit>& units) {
    std::vector<Unit> joined;
    joined.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& u = units[i];
        bool plain = u.kind == Unit::plain;
        if (plain && u.c == '\r' && i + 1 < units.size() && units[i + 1].kind == Unit::plain && units[i + 1].c == '\n') {
            joined.push_back({Unit::plain, ' '});
            ++i;
        } else if (plain && u.c == '\n') {
            joined.push_back({Unit::plain, ' '});
        } else {
            joined.push_back(u);
        }
    }
    return joined;
}

bool is_break_point(const Unit& u) { return u.kind == Unit::plain && (u.c == ' ' || u.c == '\t'); }

// Lines no longer than `width`, broken at white space: the white space where a line
// breaks goes with the break (CR LF ends the line, the next starts with the next
// word), and white space that no longer fits at the end of the text is dropped
// rather than given a line of its own. A word longer than the width is cut at it.
std::string wrap(const std::vector<Unit>& units, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    std::string pending;  // white space waiting for the next word to decide its line

    auto put = [&](char c) {
        if (column == width) {
            out += "\r\n";
            column = 0;
        }
        out += c;
        ++column;
    };
    auto end_line_with_pending = [&] {
        if (column + pending.size() <= width) {
            out += pending;
            column += pending.size();
        }
        pending.clear();
    };

    for (std::size_t i = 0; i < units.size();) {
        const Unit& u = units[i];
        if (u.kind == Unit::hard_break) {
            end_line_with_pending();
            out += u.c == '\n' ? "\r\n" : "\r";
            column = 0;
            ++i;
            continue;
        }
        if (is_break_point(u)) {
            pending += u.c;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < units.size() && units[end].kind != Unit::hard_break && !is_break_point(units[end])) ++end;
        std::size_t length = end - i;
        if (column > 0 && column + pending.size() + length > width) {
            out += "\r\n";
            column = 0;
            pending.clear();
        }
        for (char c : pending) put(c);
        pending.clear();
        for (; i < end; ++i) put(units[i].c);
    }
    end_line_with_pending();
    return out;
}

std::string lay_out(const std::vector<Unit>& units, DWORD width) {
    if (width == 0) {
        std::string out;
        for (const Unit& u : units) {
            if (u.kind == Unit::hard_break && u.c == '\n') out += "\r\n";
            else out += u.c;
        }
        return out;
    }
    std::vector<Unit> joined = join_regular_lines(units);
    if (width == FORMAT_MESSAGE_MAX_WIDTH_MASK) return lay_out(joined, 0);
    return wrap(joined, width);
}

}  // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, va_list* Arguments) {
    WINSIM_API("FormatMessageA", 0);
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) return winsim::detail::not_simulated("FormatMessageA with FORMAT_MESSAGE_ALLOCATE_BUFFER", DWORD{0});
    if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) return winsim::detail::not_simulated("FormatMessageA with FORMAT_MESSAGE_FROM_HMODULE", DWORD{0});
    bool from_string = dwFlags & FORMAT_MESSAGE_FROM_STRING;
    bool from_system = dwFlags & FORMAT_MESSAGE_FROM_SYSTEM;
    if (from_string == from_system) return winsim::detail::not_simulated("FormatMessageA without exactly one message source", DWORD{0});

    const char* definition = nullptr;
    if (from_string) {
        definition = static_cast<const char*>(lpSource);
        if (!definition) return winsim::detail::not_simulated("FormatMessageA with FORMAT_MESSAGE_FROM_STRING and no string", DWORD{0});
    } else {
        if (!reaches_english_table(dwLanguageId)) {
            const winsim::PlatformInfo& platform = winsim::platform_info(state().platform);
            SetLastError(platform.major >= 6 ? kMuiFileNotFound : kResourceLangNotFound);
            return 0;
        }
        definition = winsim::detail::system_message_text(dwMessageId);
        if (!definition) return fail(ERROR_MR_MID_NOT_FOUND, 0);
    }

    Expansion expansion(dwFlags, Arguments);
    if (!expansion.run(definition)) {
        if (!expansion.unsimulated().empty()) return winsim::detail::not_simulated(expansion.unsimulated(), DWORD{0});
        return fail(ERROR_INVALID_PARAMETER, 0);
    }
    std::string text = lay_out(expansion.units(), dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK);

    // A text that does not fit leaves the caller's buffer as it was.
    if (text.size() + 1 > nSize) return fail(ERROR_INSUFFICIENT_BUFFER, 0);
    if (!lpBuffer) return winsim::detail::not_simulated("FormatMessageA into a NULL buffer", DWORD{0});
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}
