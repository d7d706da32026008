// Text from the ANSI code page to UTF-16, as the wide calls take it. Every platform here
// is an English (Western European) one: its ANSI code page is 1252.
#include "core/api.h"
#include "kernel/code_page_1252.h"

#include <string>
#include <utility>

namespace {

using winsim::detail::from_1252;

constexpr char16_t grave = 0x0300, acute = 0x0301, circumflex = 0x0302, tilde = 0x0303, diaeresis = 0x0308, ring = 0x030A,
                   caron = 0x030C, cedilla = 0x0327;

// A precomposed letter of code page 1252 as its base letter and combining mark, or
// {0, 0} for a character that has no decomposition.
std::pair<char16_t, char16_t> decomposed(char16_t c) {
    // U+00C0 to U+00FF: the base letter and mark of each, 0 where none.
    static constexpr char latin1_base[] = "AAAAAA\0CEEEEIIII\0NOOOOO\0\0UUUUY\0\0aaaaaa\0ceeeeiiii\0nooooo\0\0uuuuy\0y";
    static constexpr char16_t latin1_mark[] = {grave, acute, circumflex, tilde, diaeresis, ring, 0, cedilla,
                                               grave, acute, circumflex, diaeresis, grave, acute, circumflex, diaeresis,
                                               0, tilde, grave, acute, circumflex, tilde, diaeresis, 0,
                                               0, grave, acute, circumflex, diaeresis, acute, 0, 0};
    if (c >= 0xC0 && c <= 0xFF) {
        const unsigned index = c - 0xC0;
        const char16_t mark = c == 0xFF ? diaeresis : latin1_mark[index % 32];
        if (!latin1_base[index] || !mark) return {0, 0};
        return {static_cast<char16_t>(latin1_base[index]), mark};
    }
    switch (c) {
    case 0x0160: return {u'S', caron};
    case 0x0161: return {u's', caron};
    case 0x017D: return {u'Z', caron};
    case 0x017E: return {u'z', caron};
    case 0x0178: return {u'Y', diaeresis};
    default: return {0, 0};
    }
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                               int cchWideChar) {
    WINSIM_API("MultiByteToWideChar", 0);
    if (CodePage != CP_ACP && CodePage != 1252)
        return winsim::detail::not_simulated("MultiByteToWideChar of code page " + std::to_string(CodePage), 0);
    if (dwFlags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_COMPOSITE | MB_ERR_INVALID_CHARS) ||
        ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE))) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (cchWideChar && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1 takes the text with its terminator.
    const std::size_t length = cbMultiByte < 0 ? std::char_traits<char>::length(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
    std::u16string wide;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = from_1252(static_cast<unsigned char>(lpMultiByteStr[i]));
        const auto [base, mark] = dwFlags & MB_COMPOSITE ? decomposed(c) : std::pair<char16_t, char16_t>{0, 0};
        if (base) {
            wide.push_back(base);
            wide.push_back(mark);
        } else {
            wide.push_back(c);
        }
    }
    if (cchWideChar == 0) return static_cast<int>(wide.size());
    if (wide.size() > static_cast<std::size_t>(cchWideChar)) {
        // Windows fills what fits before it gives up.
        wide.copy(reinterpret_cast<char16_t*>(lpWideCharStr), static_cast<std::size_t>(cchWideChar));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wide.copy(reinterpret_cast<char16_t*>(lpWideCharStr), wide.size());
    return static_cast<int>(wide.size());
}
