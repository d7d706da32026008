// The string and arithmetic helpers that Windows programs take from the kernel,
// the window manager and the C runtime. They follow Windows' rules rather than the
// host's C library where the two differ (collation, the formatter's dialect, the
// rounding of MulDiv), because the library's behaviour on a real machine depends
// on exactly those differences.
#include <winsim/windows.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

// ---- lstr* ------------------------------------------------------------------------
// Windows wraps these in an exception handler: a bad pointer makes them fail
// (NULL or 0) instead of crashing the caller. NULL is the bad pointer we can see.

int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(std::strlen(lpString)) : 0; }

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    std::memmove(lpString1, lpString2, std::strlen(lpString2) + 1);
    return lpString1;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    // A count of zero or less leaves the buffer alone: there is no room even for
    // the terminator, and neither pointer is touched.
    if (iMaxLength <= 0) return lpString1;
    if (!lpString1 || !lpString2) return nullptr;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    std::memmove(lpString1 + std::strlen(lpString1), lpString2, std::strlen(lpString2) + 1);
    return lpString1;
}

namespace {

// Windows' default "word sort", reduced to the single-byte characters that printer,
// port and file names use. A comparison runs in three rounds, each deciding only
// when the one before found the strings equal:
//   1. character weights, case folded: control characters, then the symbols in
//      Windows' order (not ASCII's), then digits, then letters. Hyphen and
//      apostrophe carry no weight here, which keeps "co-op" beside "coop".
//   2. case: at the first letter that differs only in case, lower sorts first.
//   3. the hyphens and apostrophes left out of round 1: a string without them sorts
//      first; otherwise the first differing one decides, by position, then '\'' < '-'.
// Bytes above 127 depend on the code page on Windows; here they sort after all of
// ASCII in byte order and have no case, so lstrcmpiA does not fold them.
constexpr std::uint8_t kIgnored = 0;

constexpr std::array<std::uint8_t, 256> make_weights() {
    std::array<std::uint8_t, 256> w{};
    std::uint8_t next = 1;
    for (int c = 1; c < 32; ++c) w[c] = next++;
    w[127] = next++;
    for (const char* s = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>"; *s; ++s) w[static_cast<unsigned char>(*s)] = next++;
    for (int c = '0'; c <= '9'; ++c) w[c] = next++;
    for (int c = 'a'; c <= 'z'; ++c) {
        w[c] = next;
        w[c - 'a' + 'A'] = next++;
    }
    for (int c = 128; c < 256; ++c) w[c] = next++;
    w['\''] = kIgnored;
    w['-'] = kIgnored;
    return w;
}

constexpr std::array<std::uint8_t, 256> kWeight = make_weights();

unsigned char byte_at(LPCSTR s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool is_upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

int sign_of(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int word_sort_compare(LPCSTR a, LPCSTR b, bool ignore_case) {
    if (!a || !b) return a ? 1 : (b ? -1 : 0);

    // Round 1: weights, skipping what has none.
    std::size_t i = 0, j = 0;
    for (;;) {
        while (a[i] && kWeight[byte_at(a, i)] == kIgnored) ++i;
        while (b[j] && kWeight[byte_at(b, j)] == kIgnored) ++j;
        if (!a[i] || !b[j]) {
            if (a[i] || b[j]) return a[i] ? 1 : -1;
            break;
        }
        int d = kWeight[byte_at(a, i)] - kWeight[byte_at(b, j)];
        if (d) return sign_of(d);
        ++i;
        ++j;
    }

    // Round 2: case of the weighted characters, which now pair up one to one.
    if (!ignore_case) {
        i = j = 0;
        for (;;) {
            while (a[i] && kWeight[byte_at(a, i)] == kIgnored) ++i;
            while (b[j] && kWeight[byte_at(b, j)] == kIgnored) ++j;
            if (!a[i]) break;
            bool ua = is_upper(byte_at(a, i)), ub = is_upper(byte_at(b, j));
            if (ua != ub) return ua ? 1 : -1;
            ++i;
            ++j;
        }
    }

    // Round 3: the weightless characters, by where they stand and what they are.
    i = j = 0;
    for (;;) {
        while (a[i] && kWeight[byte_at(a, i)] != kIgnored) ++i;
        while (b[j] && kWeight[byte_at(b, j)] != kIgnored) ++j;
        if (!a[i] || !b[j]) return (a[i] ? 1 : 0) - (b[j] ? 1 : 0);
        if (i != j) return i < j ? -1 : 1;
        if (a[i] != b[j]) return a[i] == '\'' ? -1 : 1;
        ++i;
        ++j;
    }
}

}  // namespace

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) { return word_sort_compare(lpString1, lpString2, false); }

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) { return word_sort_compare(lpString1, lpString2, true); }

// ---- wsprintfA ----------------------------------------------------------------------
// Windows' own small formatter, not printf: flags '-', '#' and '0' only, no '*', no
// floating point, and a hard limit of 1024 characters with the terminator. Where its
// documentation is silent this follows printf, except that the '0' flag pads strings
// and characters too, and a precision on an integer does not cancel the '0' flag.

namespace {

constexpr int kFormatLimit = 1024;  // characters, terminator included

class Sink {
public:
    explicit Sink(char* out) : out_(out) {}
    void put(char c) {
        if (len_ < kFormatLimit - 1) out_[len_++] = c;
    }
    void fill(char c, int count) {
        for (int k = 0; k < count; ++k) put(c);
    }
    int finish() {
        out_[len_] = '\0';
        return len_;
    }

private:
    char* out_;
    int len_ = 0;
};

enum class Size { Default, Short, Long, Int64 };

struct Conversion {
    bool left = false;
    bool hex_prefix = false;
    bool zero = false;
    int width = 0;
    int precision = -1;  // -1: none given
    Size size = Size::Default;
};

// Widths and precisions beyond the output limit change nothing, and capping them
// keeps the parse from overflowing on a hostile format.
int read_number(LPCSTR& p) {
    int n = 0;
    while (*p >= '0' && *p <= '9') {
        if (n < kFormatLimit) n = n * 10 + (*p - '0');
        ++p;
    }
    return n < kFormatLimit ? n : kFormatLimit;
}

// Wide text reaches an ANSI caller through the code page; the common Western one
// agrees with Latin-1 except in 0x80-0x9F, and what it cannot show becomes '?'.
char narrow(unsigned int wc) {
    if (wc < 0x80 || (wc >= 0xA0 && wc <= 0xFF)) return static_cast<char>(static_cast<unsigned char>(wc));
    return '?';
}

void emit_padded(Sink& sink, const Conversion& conv, int length, auto&& body) {
    int pad = conv.width > length ? conv.width - length : 0;
    if (!conv.left) sink.fill(conv.zero ? '0' : ' ', pad);
    body();
    if (conv.left) sink.fill(' ', pad);
}

void emit_narrow_string(Sink& sink, const Conversion& conv, LPCSTR s) {
    if (!s) s = "(null)";
    int limit = conv.precision >= 0 ? conv.precision : kFormatLimit;
    int length = 0;
    while (length < limit && s[length]) ++length;
    emit_padded(sink, conv, length, [&] {
        for (int k = 0; k < length; ++k) sink.put(s[k]);
    });
}

void emit_wide_string(Sink& sink, const Conversion& conv, const wchar_t* s) {
    if (!s) {
        emit_narrow_string(sink, conv, nullptr);
        return;
    }
    int limit = conv.precision >= 0 ? conv.precision : kFormatLimit;
    int length = 0;
    while (length < limit && s[length]) ++length;
    emit_padded(sink, conv, length, [&] {
        for (int k = 0; k < length; ++k) sink.put(narrow(static_cast<unsigned int>(s[k])));
    });
}

void emit_char(Sink& sink, const Conversion& conv, char c) {
    emit_padded(sink, conv, 1, [&] { sink.put(c); });
}

void emit_integer(Sink& sink, const Conversion& conv, char type, va_list* args) {
    bool is_signed = type == 'd' || type == 'i';
    bool negative = false;
    std::uint64_t magnitude;
    if (conv.size == Size::Int64) {
        if (is_signed) {
            long long v = va_arg(*args, long long);
            negative = v < 0;
            magnitude = negative ? 0ULL - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        } else {
            magnitude = va_arg(*args, unsigned long long);
        }
    } else if (is_signed) {
        // LONG is 32 bits on Windows, so 'l' changes nothing, and 'h' is not
        // narrowed: the argument arrives as a promoted int either way.
        int v = va_arg(*args, int);
        negative = v < 0;
        magnitude = negative ? 0ULL - static_cast<std::uint64_t>(static_cast<long long>(v)) : static_cast<std::uint64_t>(v);
    } else {
        magnitude = va_arg(*args, unsigned int);
    }

    char digits[24];
    int count = 0;
    unsigned base = (type == 'x' || type == 'X') ? 16 : 10;
    const char* alphabet = type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[count++] = alphabet[magnitude % base];
        magnitude /= base;
    } while (magnitude);

    char prefix[2];
    int prefix_len = 0;
    if (negative) {
        prefix[prefix_len++] = '-';
    } else if (base == 16 && conv.hex_prefix && !(count == 1 && digits[0] == '0')) {
        prefix[prefix_len++] = '0';
        prefix[prefix_len++] = type;
    }
    // A precision of zero, or none, means one digit: zero still prints as "0".
    int min_digits = conv.precision > 0 ? conv.precision : 1;
    int leading_zeros = min_digits > count ? min_digits - count : 0;
    int length = prefix_len + leading_zeros + count;
    int pad = conv.width > length ? conv.width - length : 0;

    if (!conv.left && !conv.zero) sink.fill(' ', pad);
    for (int k = 0; k < prefix_len; ++k) sink.put(prefix[k]);
    if (!conv.left && conv.zero) sink.fill('0', pad);
    sink.fill('0', leading_zeros);
    while (count) sink.put(digits[--count]);
    if (conv.left) sink.fill(' ', pad);
}

}  // namespace

int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
    if (!lpOut) return -1;
    Sink sink(lpOut);
    if (!lpFmt) return sink.finish();

    va_list args;
    va_copy(args, arglist);
    for (LPCSTR p = lpFmt; *p;) {
        if (*p != '%') {
            sink.put(*p++);
            continue;
        }
        ++p;
        Conversion conv;
        for (;; ++p) {
            if (*p == '-') conv.left = true;
            else if (*p == '#') conv.hex_prefix = true;
            else if (*p == '0') conv.zero = true;
            else break;
        }
        conv.width = read_number(p);
        if (*p == '.') {
            ++p;
            conv.precision = read_number(p);
        }
        if (*p == 'h') {
            conv.size = Size::Short;
            ++p;
        } else if (*p == 'l' || *p == 'w') {
            conv.size = Size::Long;
            ++p;
        } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            conv.size = Size::Int64;
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            p += 3;
        }

        char type = *p;
        if (!type) break;
        ++p;
        switch (type) {
        case 'c':
        case 'C': {
            bool wide = conv.size == Size::Long || (type == 'C' && conv.size != Size::Short);
            int v = va_arg(args, int);
            emit_char(sink, conv, wide ? narrow(static_cast<unsigned int>(v)) : static_cast<char>(v));
            break;
        }
        case 's':
        case 'S': {
            bool wide = conv.size == Size::Long || (type == 'S' && conv.size != Size::Short);
            if (wide) emit_wide_string(sink, conv, va_arg(args, const wchar_t*));
            else emit_narrow_string(sink, conv, va_arg(args, const char*));
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            emit_integer(sink, conv, type, &args);
            break;
        default:
            // Not a conversion: the character itself is the output ("%%" gives '%').
            sink.put(type);
            break;
        }
    }
    va_end(args);
    return sink.finish();
}

int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    int written = wvsprintfA(lpOut, lpFmt, args);
    va_end(args);
    return written;
}

// ---- MulDiv -------------------------------------------------------------------------

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0) return -1;
    long long product = static_cast<long long>(nNumber) * nNumerator;
    bool negative = (product < 0) != (nDenominator < 0);
    // Magnitudes fit easily: |product| <= 2^62 and |denominator| <= 2^31.
    std::uint64_t num = product < 0 ? 0ULL - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    std::uint64_t den = nDenominator < 0 ? 0ULL - static_cast<std::uint64_t>(static_cast<long long>(nDenominator))
                                         : static_cast<std::uint64_t>(nDenominator);
    // Adding half the divisor before dividing rounds halves away from zero.
    std::uint64_t quotient = (num + den / 2) / den;
    if (negative) {
        if (quotient > static_cast<std::uint64_t>(INT_MAX) + 1) return -1;
        return static_cast<int>(-static_cast<long long>(quotient));
    }
    if (quotient > static_cast<std::uint64_t>(INT_MAX)) return -1;
    return static_cast<int>(quotient);
}

// ---- _splitpath / _makepath -----------------------------------------------------------

namespace {

// Copies [begin, end) into a component buffer of `size` characters, cutting what
// does not fit; a NULL buffer means the caller does not want this component.
void put_component(char* out, std::size_t size, const char* begin, const char* end) {
    if (!out) return;
    std::size_t n = static_cast<std::size_t>(end - begin);
    if (n > size - 1) n = size - 1;
    std::memcpy(out, begin, n);
    out[n] = '\0';
}

}  // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
    if (!path) path = "";
    const char* rest = path;
    if (path[0] && path[1] == ':') rest = path + 2;
    put_component(drive, _MAX_DRIVE, path, rest);

    const char* file = rest;
    const char* dot = nullptr;
    for (const char* p = rest; *p; ++p) {
        if (*p == '\\' || *p == '/') {
            file = p + 1;
            dot = nullptr;
        } else if (*p == '.') {
            dot = p;
        }
    }
    const char* end = file + std::strlen(file);
    if (!dot) dot = end;
    put_component(dir, _MAX_DIR, rest, file);
    put_component(fname, _MAX_FNAME, file, dot);
    put_component(ext, _MAX_EXT, dot, end);
}

void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext) {
    if (!path) return;
    std::size_t len = 0;
    auto put = [&](char c) {
        if (len < _MAX_PATH - 1) path[len++] = c;
    };
    auto put_all = [&](const char* s) {
        for (; *s; ++s) put(*s);
    };
    if (drive && *drive) {
        put(drive[0]);
        put(':');
    }
    if (dir && *dir) {
        put_all(dir);
        char last = dir[std::strlen(dir) - 1];
        if (last != '\\' && last != '/') put('\\');
    }
    if (fname) put_all(fname);
    if (ext && *ext) {
        if (*ext != '.') put('.');
        put_all(ext);
    }
    path[len] = '\0';
}
