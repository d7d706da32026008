// FormatMessageA: a message definition from the system's table or the caller, its
// inserts and escapes expanded and laid out, as they are written, to the width the
// low byte of the flags asks for. Callers print these texts into logs and dialogs,
// so the layout follows Windows to the byte: a width other than 0 turns the
// definition's own line breaks into spaces (the CR LF every system message ends with
// included), which is why "%s: %s" reports built from system texts carry a trailing
// space, unless that space is where a line reaches the width.
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

// The output, laid out line by line as it is written. With a width, a line that
// reaches it is broken at once: at the last space the definition itself put on the
// line (the white space before that space goes too, and what followed it starts the
// next line), or, when the line has none, after what was written last. An insert is
// written whole and its spaces are no places to break, so a long value name is moved
// to a line of its own rather than split; a space from an escape ("% ", "%b") is no
// place to break either.
class Layout {
public:
    explicit Layout(DWORD width) : width_(width) {}

    bool wraps() const { return width_ != 0 && width_ != FORMAT_MESSAGE_MAX_WIDTH_MASK; }
    bool joins_lines() const { return width_ != 0; }

    // One character of the definition's own text.
    void definition_char(char c) {
        if (c == ' ') break_at_ = out_.size();
        out_ += c;
        fit();
    }

    // An insert or what an escape stands for: never broken inside.
    void piece(std::string_view text) {
        out_ += text;
        fit();
    }

    // A line break that is part of the message (%n, %r): the next line starts after it.
    void line_break(std::string_view text) {
        out_ += text;
        start_line(out_.size());
    }

    const std::string& text() const { return out_; }

private:
    static constexpr std::size_t none = std::string::npos;

    void start_line(std::size_t at) {
        line_start_ = at;
        break_at_ = none;
    }

    void fit() {
        if (!wraps() || out_.size() - line_start_ < width_) return;
        if (break_at_ == none) {
            line_break("\r\n");
            return;
        }
        std::size_t end = break_at_ + 1;
        std::size_t begin = break_at_;
        while (begin > line_start_ && (out_[begin - 1] == ' ' || out_[begin - 1] == '\t')) --begin;
        out_.replace(begin, end - begin, "\r\n");
        start_line(begin + 2);
    }

    DWORD width_;
    std::string out_;
    std::size_t line_start_ = 0;
    std::size_t break_at_ = none;
};

enum class Outcome { formatted, invalid, unsimulated };

class Expansion {
public:
    Expansion(DWORD flags, va_list* arguments)
        : flags_(flags), arguments_(arguments), layout_(flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) {}

    Outcome run(const char* definition) {
        for (const char* p = definition; *p;) {
            if (*p == '\r' || *p == '\n') {
                p += p[0] == '\r' && p[1] == '\n' ? 2 : 1;
                regular_line_break();
                continue;
            }
            if (*p != '%') {
                layout_.definition_char(*p++);
                continue;
            }
            const char* escape = p++;
            char c = *p;
            if (c == '\0') return Outcome::invalid;  // a '%' that ends the definition escapes nothing
            if (c == '0') break;                    // the message ends here, without its final line break
            if (c >= '1' && c <= '9') {
                Outcome outcome = insert(escape, p);
                if (outcome != Outcome::formatted) return outcome;
                continue;
            }
            ++p;
            escape_sequence(c);
        }
        return Outcome::formatted;
    }

    const std::string& text() const { return layout_.text(); }
    const std::string& unsimulated() const { return unsimulated_; }

private:
    bool ignore_inserts() const { return flags_ & FORMAT_MESSAGE_IGNORE_INSERTS; }

    // The definition's own line breaks (CR LF, or a bare CR or LF) are regular ones:
    // without a width each becomes CR LF, with one each becomes a space.
    void regular_line_break() {
        if (layout_.joins_lines()) layout_.definition_char(' ');
        else layout_.line_break("\r\n");
    }

    void escape_sequence(char c) {
        switch (c) {
        case 'n': layout_.line_break("\r\n"); return;
        case 'r': layout_.line_break("\r"); return;
        case 't':
            // Unconfirmed on Windows: under Wine a tab escape becomes a line break once
            // the low byte of the flags asks for any width.
            if (layout_.joins_lines()) layout_.line_break("\r\n");
            else layout_.piece("\t");
            return;
        default: break;
        }
        if (ignore_inserts()) {
            // Kept as it stands, so that the text can still be formatted later.
            const char kept[] = {'%', c};
            layout_.piece(std::string_view(kept, 2));
            return;
        }
        // "%%", "%.", "%!", "% " and any other character: the character itself; "%b" a space.
        const char single = c == 'b' ? ' ' : c;
        layout_.piece(std::string_view(&single, 1));
    }

    // %1 .. %99, with an optional printf conversion between '!'s (default !s!). Kept
    // as it stands when inserts are ignored: the percent sign and the first digit go
    // out together, what follows them as the definition's own text.
    Outcome insert(const char* escape, const char*& p) {
        if (ignore_inserts()) {
            layout_.piece(std::string_view(escape, 2));
            ++p;
            return Outcome::formatted;
        }
        unsigned number = static_cast<unsigned>(*p++ - '0');
        if (*p >= '0' && *p <= '9') number = number * 10 + static_cast<unsigned>(*p++ - '0');
        std::string_view conversion = "s";
        if (*p == '!') {
            const char* close = std::strchr(p + 1, '!');
            if (!close) return Outcome::invalid;
            conversion = std::string_view(p + 1, static_cast<std::size_t>(close - p - 1));
            p = close + 1;
        }
        if (!arguments_) return Outcome::invalid;
        if (!(flags_ & FORMAT_MESSAGE_ARGUMENT_ARRAY)) return unsimulated("FormatMessageA with a va_list of inserts");
        // As on Windows, the array is DWORD_PTR values passed in the va_list* slot.
        DWORD_PTR value = reinterpret_cast<const DWORD_PTR*>(arguments_)[number - 1];
        std::optional<std::string> formatted = format_value(conversion, value);
        if (!formatted) return unsimulated("FormatMessageA insert conversion !" + std::string(conversion) + "!");
        layout_.piece(*formatted);
        return Outcome::formatted;
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

    Outcome unsimulated(std::string what) {
        unsimulated_ = std::move(what);
        return Outcome::unsimulated;
    }

    DWORD flags_;
    va_list* arguments_;
    Layout layout_;
    std::string unsimulated_;
};

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
    switch (expansion.run(definition)) {
    case Outcome::formatted: break;
    case Outcome::invalid: return fail(ERROR_INVALID_PARAMETER, 0);
    case Outcome::unsimulated: return winsim::detail::not_simulated(expansion.unsimulated(), DWORD{0});
    }
    const std::string& text = expansion.text();

    // A text that does not fit leaves the caller's buffer as it was.
    if (text.size() + 1 > nSize) return fail(ERROR_INSUFFICIENT_BUFFER, 0);
    if (!lpBuffer) return winsim::detail::not_simulated("FormatMessageA into a NULL buffer", DWORD{0});
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    // An empty message answers 0 and leaves the last error alone. Unconfirmed for these
    // generations: later Windows sets ERROR_NO_WORK_DONE.
    return static_cast<DWORD>(text.size());
}
