// The runtime must behave as Windows' does, not as the host's C library: these
// cases pin the places where the two disagree and the edges where buffers are cut.
#include <winsim/windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kGuard = '\x7f';

// A buffer whose bytes past `size` must stay untouched.
struct Guarded {
    explicit Guarded(std::size_t size) : size_(size), bytes_(size + 16, kGuard) {}
    char* data() { return bytes_.data(); }
    bool intact() const {
        return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(size_), bytes_.end(), [](char c) { return c == kGuard; });
    }
    std::string str() const { return bytes_.data(); }

private:
    std::size_t size_;
    std::vector<char> bytes_;
};

std::string fmt(const char* format, auto... args) {
    char out[1100];
    int n = wsprintfA(out, format, args...);
    EXPECT_EQ(n, static_cast<int>(std::strlen(out))) << "for format " << format;
    return out;
}

}  // namespace

// ---- lstr* ---------------------------------------------------------------------------

TEST(LstrCopy, LengthAndCopiesTolerateNull) {
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA(""), 0);
    EXPECT_EQ(lstrlenA("LPT1:"), 5);

    char buf[16] = "old";
    EXPECT_EQ(lstrcpyA(buf, "printer"), buf);
    EXPECT_STREQ(buf, "printer");
    EXPECT_EQ(lstrcpyA(buf, nullptr), nullptr);
    EXPECT_STREQ(buf, "printer");
    EXPECT_EQ(lstrcpyA(nullptr, "x"), nullptr);

    EXPECT_EQ(lstrcatA(buf, ".inf"), buf);
    EXPECT_STREQ(buf, "printer.inf");
    EXPECT_EQ(lstrcatA(buf, nullptr), nullptr);
    EXPECT_EQ(lstrcatA(nullptr, "x"), nullptr);
    EXPECT_STREQ(buf, "printer.inf");
}

TEST(LstrCopy, CopynCutsAndAlwaysTerminates) {
    Guarded buf(4);
    EXPECT_EQ(lstrcpynA(buf.data(), "abcdef", 4), buf.data());
    EXPECT_EQ(buf.str(), "abc");
    EXPECT_TRUE(buf.intact());

    char small[8] = "zzzzzzz";
    lstrcpynA(small, "abcdef", 1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(small[1], 'z');

    std::strcpy(small, "keep");
    EXPECT_EQ(lstrcpynA(small, "abcdef", 0), small);
    EXPECT_STREQ(small, "keep");
    EXPECT_EQ(lstrcpynA(small, "abcdef", -1), small);
    EXPECT_STREQ(small, "keep");

    // A short source stops at its own terminator, not at the count.
    lstrcpynA(small, "ab", 8);
    EXPECT_STREQ(small, "ab");
    EXPECT_EQ(small[3], 'p') << "unlike strncpy, nothing is padded past the terminator";

    EXPECT_EQ(lstrcpynA(small, nullptr, 4), nullptr);
}

// ---- lstrcmpA / lstrcmpiA -----------------------------------------------------------

TEST(LstrCompare, CaseBreaksTiesOnlyAfterLetters) {
    EXPECT_EQ(lstrcmpA("a", "A"), -1);
    EXPECT_EQ(lstrcmpA("A", "a"), 1);
    EXPECT_EQ(lstrcmpA("A", "b"), -1);
    EXPECT_EQ(lstrcmpA("a", "B"), -1);  // strcmp says the opposite
    EXPECT_EQ(lstrcmpA("B", "a"), 1);
    // A letter difference anywhere outweighs a case difference earlier on.
    EXPECT_EQ(lstrcmpA("Ab", "ac"), -1);
    EXPECT_EQ(lstrcmpA("ab", "Ab"), -1);
    EXPECT_EQ(lstrcmpA("aB", "Ab"), -1);
    EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
    EXPECT_EQ(lstrcmpA("HP LaserJet", "HP LaserJet"), 0);
}

TEST(LstrCompare, SymbolsThenDigitsThenLetters) {
    EXPECT_EQ(lstrcmpA("_", "0"), -1);
    EXPECT_EQ(lstrcmpA("~", "0"), -1);   // ASCII puts '~' last
    EXPECT_EQ(lstrcmpA("9", "A"), -1);
    EXPECT_EQ(lstrcmpA("9", "a"), -1);
    EXPECT_EQ(lstrcmpA("[", "a"), -1);   // ASCII puts '[' between cases
    EXPECT_EQ(lstrcmpA("z", "{"), 1);
    EXPECT_EQ(lstrcmpA(" ", "!"), -1);
    // Windows orders '+' and '=' after the other symbols.
    EXPECT_EQ(lstrcmpA("+", "~"), 1);
    EXPECT_EQ(lstrcmpA("=", "_"), 1);
    EXPECT_EQ(lstrcmpA("file_2", "file.2"), 1);
    // Digits compare as characters, not numbers.
    EXPECT_EQ(lstrcmpA("10", "9"), -1);
}

TEST(LstrCompare, PrefixSortsFirst) {
    EXPECT_EQ(lstrcmpA("", "a"), -1);
    EXPECT_EQ(lstrcmpA("abc", "ab"), 1);
    EXPECT_EQ(lstrcmpA("abcz", "abcdefg"), 1);
    EXPECT_EQ(lstrcmpA("LPT", "lpt1"), -1);  // length decides before case
}

TEST(LstrCompare, HyphenAndApostropheStayWithTheirWord) {
    EXPECT_EQ(lstrcmpA("coop", "co-op"), -1);
    EXPECT_EQ(lstrcmpA("co-op", "coop"), 1);
    EXPECT_EQ(lstrcmpA("co-op", "con"), 1);  // as "coop", after "con"
    EXPECT_EQ(lstrcmpA("can't", "cant"), 1);
    EXPECT_EQ(lstrcmpA("can't", "cannot"), 1);
    EXPECT_EQ(lstrcmpA("foo", "-foo"), -1);
    EXPECT_EQ(lstrcmpA("-", ""), 1);
    EXPECT_EQ(lstrcmpA("a-b", "a-b"), 0);
    EXPECT_NE(lstrcmpA("a-b", "a'b"), 0);
    EXPECT_EQ(lstrcmpA("a-b", "a'b"), -lstrcmpA("a'b", "a-b"));
    // Case is settled before the hyphen is looked at.
    EXPECT_EQ(lstrcmpA("co-op", "Coop"), -1);
}

TEST(LstrCompare, NullSortsFirst) {
    EXPECT_EQ(lstrcmpA(nullptr, nullptr), 0);
    EXPECT_EQ(lstrcmpA(nullptr, ""), -1);
    EXPECT_EQ(lstrcmpA("", nullptr), 1);
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
    EXPECT_EQ(lstrcmpiA(nullptr, "a"), -1);
    EXPECT_EQ(lstrcmpiA("a", nullptr), 1);
}

TEST(LstrCompare, InsensitiveIgnoresCaseOnly) {
    EXPECT_EQ(lstrcmpiA("ABC", "abc"), 0);
    EXPECT_EQ(lstrcmpiA("Printer Port", "PRINTER port"), 0);
    EXPECT_EQ(lstrcmpiA("a", "B"), -1);
    EXPECT_EQ(lstrcmpiA("B", "a"), 1);
    EXPECT_EQ(lstrcmpiA("_", "a"), -1);  // '_' lies between the cases in ASCII
    EXPECT_EQ(lstrcmpiA("Z", "_"), 1);
    EXPECT_EQ(lstrcmpiA("co-op", "COOP"), 1);
    EXPECT_EQ(lstrcmpiA("abc", "abd"), -1);
    // Bytes above 127 have no case here.
    EXPECT_NE(lstrcmpiA("\xe9", "\xc9"), 0);
    EXPECT_EQ(lstrcmpA("z", "\xe9"), -1);
}

TEST(LstrCompare, OrderIsConsistentAcrossAList) {
    // Sorted the Windows way; every pair must agree with the list's order.
    std::vector<const char*> sorted = {"",      "!x",    "#1",  "(a)", "_a",  "~a",  "+a",   "=a",   "0",   "1",
                                       "10",    "9",     "a",   "A",   "ab",  "aB",  "Ab",   "AB",   "bill", "billet",
                                       "bills", "bill's", "cant", "can't", "con", "coop", "co-op", "z",   "Z"};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        for (std::size_t j = 0; j < sorted.size(); ++j) {
            int expected = i < j ? -1 : (i > j ? 1 : 0);
            EXPECT_EQ(lstrcmpA(sorted[i], sorted[j]), expected) << '"' << sorted[i] << "\" vs \"" << sorted[j] << '"';
        }
    }
}

// ---- wsprintfA ------------------------------------------------------------------------

TEST(Wsprintf, Integers) {
    EXPECT_EQ(fmt("%d", -42), "-42");
    EXPECT_EQ(fmt("%i", 7), "7");
    EXPECT_EQ(fmt("%ld", static_cast<LONG>(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(fmt("%u", -1), "4294967295");
    EXPECT_EQ(fmt("%lu", static_cast<DWORD>(3000000000u)), "3000000000");
    EXPECT_EQ(fmt("%x", 0xbeef), "beef");
    EXPECT_EQ(fmt("%lx", static_cast<DWORD>(0x80070005u)), "80070005");
    EXPECT_EQ(fmt("%X", -1), "FFFFFFFF");
    EXPECT_EQ(fmt("%d", 0), "0");
}

TEST(Wsprintf, WidthFlagsAndPrecisionOnIntegers) {
    EXPECT_EQ(fmt("%02u", 5u), "05");
    EXPECT_EQ(fmt("%02u", 123u), "123");  // width never cuts
    EXPECT_EQ(fmt("%04X", 0xABu), "00AB");
    EXPECT_EQ(fmt("%04X", 0x12345u), "12345");
    EXPECT_EQ(fmt("%5d|", -12), "  -12|");
    EXPECT_EQ(fmt("%-5d|", -12), "-12  |");
    EXPECT_EQ(fmt("%05d", -12), "-0012");
    EXPECT_EQ(fmt("%-05d|", 3), "3    |");  // left wins over zero
    EXPECT_EQ(fmt("%#x", 255), "0xff");
    EXPECT_EQ(fmt("%#X", 255), "0XFF");
    EXPECT_EQ(fmt("%#06x", 255), "0x00ff");
    EXPECT_EQ(fmt("%#x", 0), "0");
    EXPECT_EQ(fmt("%.4d", 42), "0042");
    EXPECT_EQ(fmt("%.4d", -42), "-0042");
    EXPECT_EQ(fmt("%6.3u|", 7u), "   007|");
    EXPECT_EQ(fmt("%.0d", 0), "0");  // precision 0 means one digit
    EXPECT_EQ(fmt("%.d", 0), "0");
}

TEST(Wsprintf, SixtyFourBitPrefixReadsAWholeArgument) {
    EXPECT_EQ(fmt("%I64u/%d", 12345678901234ULL, 9), "12345678901234/9");
    EXPECT_EQ(fmt("%I64d", -9223372036854775807LL - 1), "-9223372036854775808");
    EXPECT_EQ(fmt("%I64X", 0x123456789ABCULL), "123456789ABC");
    EXPECT_EQ(fmt("%I32x", 0xfeed), "feed");
}

TEST(Wsprintf, StringsAndCharacters) {
    EXPECT_EQ(fmt("[%s]", "port"), "[port]");
    EXPECT_EQ(fmt("[%hs]", "port"), "[port]");
    EXPECT_EQ(fmt("%-5s|", "ab"), "ab   |");
    EXPECT_EQ(fmt("%5s|", "ab"), "   ab|");
    EXPECT_EQ(fmt("%-5s|", "toolong"), "toolong|");
    EXPECT_EQ(fmt("%.3s", "abcdef"), "abc");
    EXPECT_EQ(fmt("%5.2s|", "abcdef"), "   ab|");
    EXPECT_EQ(fmt("%.0s|", "abc"), "|");
    EXPECT_EQ(fmt("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(fmt("%c%c", 'o', 'k'), "ok");
    EXPECT_EQ(fmt("%3c|%-3c|", 'x', 'y'), "  x|y  |");
    EXPECT_EQ(fmt("%hc", 'h'), "h");
}

TEST(Wsprintf, PrecisionStopsReadingAnUnterminatedString) {
    const char raw[3] = {'a', 'b', 'c'};  // no terminator: only the sanitizer can see an overread
    EXPECT_EQ(fmt("%.3s", raw), "abc");
}

TEST(Wsprintf, WideArgumentsAreNarrowed) {
    EXPECT_EQ(fmt("%S", L"wide"), "wide");
    EXPECT_EQ(fmt("%ls", L"w\u00e9\u4e2d"), "w\xe9?");
    EXPECT_EQ(fmt("%hS", "narrow"), "narrow");
    EXPECT_EQ(fmt("%S", static_cast<const wchar_t*>(nullptr)), "(null)");
    EXPECT_EQ(fmt("%-6S|", L"ab"), "ab    |");
    EXPECT_EQ(fmt("%C%lc", L'W', L'x'), "Wx");
}

TEST(Wsprintf, NonConversionsAreCopied) {
    EXPECT_EQ(fmt("100%%"), "100%");
    EXPECT_EQ(fmt("%q%d", 5), "q5");  // no argument consumed by %q
    EXPECT_EQ(fmt("%f", 1), "f");
    EXPECT_EQ(fmt("%*d", 3), "*d");
    EXPECT_EQ(fmt("tail%"), "tail");
    EXPECT_EQ(fmt("%+d", 4), "+d");
}

TEST(Wsprintf, OutputStopsAt1024WithTerminator) {
    std::string big(1500, 'x');
    Guarded out(1024);
    EXPECT_EQ(wsprintfA(out.data(), "%s", big.c_str()), 1023);
    EXPECT_EQ(out.str(), std::string(1023, 'x'));
    EXPECT_TRUE(out.intact());

    Guarded padded(1024);
    EXPECT_EQ(wsprintfA(padded.data(), "ab%2000d", 1), 1023);
    EXPECT_EQ(padded.str().size(), 1023u);
    EXPECT_TRUE(padded.intact());

    // Cut in the middle of a number: the digits before the limit are kept.
    std::string lead(1020, '-');
    Guarded cut(1024);
    EXPECT_EQ(wsprintfA(cut.data(), "%s%d", lead.c_str(), 123456), 1023);
    EXPECT_EQ(cut.str().substr(1020), "123");
    EXPECT_TRUE(cut.intact());

    std::string exact(1023, 'y');
    Guarded fits(1024);
    EXPECT_EQ(wsprintfA(fits.data(), exact.c_str()), 1023);
    EXPECT_TRUE(fits.intact());
}

namespace {
int via_va_list(char* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(out, format, args);
    va_end(args);
    return n;
}
}  // namespace

TEST(Wsprintf, VaListFormMatches) {
    char out[64];
    EXPECT_EQ(via_va_list(out, "%s=%04X %s", "id", 0x1Fu, "end"), 11);
    EXPECT_STREQ(out, "id=001F end");
}

// ---- MulDiv ---------------------------------------------------------------------------

TEST(MulDivTest, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(10, 3, 2), 15);
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(5, 1, -2), -3);
    EXPECT_EQ(MulDiv(-5, -1, 2), 3);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(2, 1, 3), 1);
    EXPECT_EQ(MulDiv(-2, 1, 3), -1);
    EXPECT_EQ(MulDiv(7, 1, 4), 2);   // 1.75
    EXPECT_EQ(MulDiv(5, 1, 4), 1);   // 1.25
}

TEST(MulDivTest, WorksInSixtyFourBits) {
    EXPECT_EQ(MulDiv(2000000000, 2000000000, 2000000000), 2000000000);
    EXPECT_EQ(MulDiv(INT32_MIN, 1, 1), INT32_MIN);
    EXPECT_EQ(MulDiv(INT32_MIN, -1, -1), INT32_MIN);
    EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(MulDiv(600, 96, 72), 800);
}

TEST(MulDivTest, FailsWithMinusOne) {
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(0, 0, 0), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MIN, -1, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MIN, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MIN, 1, -1), -1);
}

// ---- _splitpath / _makepath --------------------------------------------------------

namespace {
struct Components {
    std::string drive, dir, fname, ext;
};

Components split(const char* path) {
    char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    std::memset(drive, 'Q', sizeof drive);
    std::memset(dir, 'Q', sizeof dir);
    std::memset(fname, 'Q', sizeof fname);
    std::memset(ext, 'Q', sizeof ext);
    _splitpath(path, drive, dir, fname, ext);
    return {drive, dir, fname, ext};
}

void expect_split(const char* path, const char* drive, const char* dir, const char* fname, const char* ext) {
    Components p = split(path);
    EXPECT_EQ(p.drive, drive) << "drive of " << path;
    EXPECT_EQ(p.dir, dir) << "dir of " << path;
    EXPECT_EQ(p.fname, fname) << "fname of " << path;
    EXPECT_EQ(p.ext, ext) << "ext of " << path;
}
}  // namespace

TEST(Splitpath, OrdinaryAndOddShapes) {
    expect_split("C:\\Windows\\System32\\drivers\\x.sys", "C:", "\\Windows\\System32\\drivers\\", "x", ".sys");
    expect_split("d:rel\\file.txt", "d:", "rel\\", "file", ".txt");
    expect_split("\\\\server\\share\\dir\\file.txt", "", "\\\\server\\share\\dir\\", "file", ".txt");
    expect_split("C:", "C:", "", "", "");
    expect_split(".txt", "", "", "", ".txt");
    expect_split("a.b.c", "", "", "a.b", ".c");
    expect_split("name.", "", "", "name", ".");
    expect_split("dir.d\\file", "", "dir.d\\", "file", "");
    expect_split("mixed/slash\\back/f.x", "", "mixed/slash\\back/", "f", ".x");
    expect_split("C:\\", "C:", "\\", "", "");
    expect_split("noext", "", "", "noext", "");
    expect_split("", "", "", "", "");
    expect_split("..", "", "", ".", ".");
}

TEST(Splitpath, NullOutputsAreSkipped) {
    char fname[_MAX_FNAME] = "stale";
    _splitpath("C:\\dir\\file.txt", nullptr, nullptr, fname, nullptr);
    EXPECT_STREQ(fname, "file");

    char drive[_MAX_DRIVE] = "";
    char ext[_MAX_EXT] = "";
    _splitpath("C:\\dir\\file.txt", drive, nullptr, nullptr, ext);
    EXPECT_STREQ(drive, "C:");
    EXPECT_STREQ(ext, ".txt");

    _splitpath("C:\\dir\\file.txt", nullptr, nullptr, nullptr, nullptr);  // must not crash
}

TEST(Splitpath, OverlongComponentsAreCutToTheirBuffers) {
    std::string long_dir = "C:\\" + std::string(300, 'd') + "\\";
    std::string path = long_dir + std::string(300, 'f') + "." + std::string(300, 'e');
    Guarded drive(_MAX_DRIVE), dir(_MAX_DIR), fname(_MAX_FNAME), ext(_MAX_EXT);
    _splitpath(path.c_str(), drive.data(), dir.data(), fname.data(), ext.data());
    EXPECT_EQ(drive.str(), "C:");
    EXPECT_EQ(dir.str(), long_dir.substr(2, _MAX_DIR - 1));
    EXPECT_EQ(fname.str(), std::string(_MAX_FNAME - 1, 'f'));
    EXPECT_EQ(ext.str(), "." + std::string(_MAX_EXT - 2, 'e'));
    EXPECT_TRUE(drive.intact());
    EXPECT_TRUE(dir.intact());
    EXPECT_TRUE(fname.intact());
    EXPECT_TRUE(ext.intact());
}

namespace {
std::string make(const char* drive, const char* dir, const char* fname, const char* ext) {
    char path[_MAX_PATH];
    std::memset(path, 'Q', sizeof path);
    _makepath(path, drive, dir, fname, ext);
    return path;
}
}  // namespace

TEST(Makepath, SeparatorsAndDotsAreSupplied) {
    EXPECT_EQ(make("C", "\\dir", "file", "txt"), "C:\\dir\\file.txt");
    EXPECT_EQ(make("C:", "\\dir\\", "file", ".txt"), "C:\\dir\\file.txt");
    EXPECT_EQ(make("d:\\ignored", "x/", "f", nullptr), "d:x/f");
    EXPECT_EQ(make(nullptr, nullptr, "file", "txt"), "file.txt");
    EXPECT_EQ(make("", "", "", ""), "");
    EXPECT_EQ(make(nullptr, nullptr, nullptr, nullptr), "");
    EXPECT_EQ(make("C", nullptr, nullptr, nullptr), "C:");
    EXPECT_EQ(make(nullptr, "dir", nullptr, "ext"), "dir\\.ext");
    EXPECT_EQ(make(nullptr, "\\\\server\\share", "f", "."), "\\\\server\\share\\f.");
}

TEST(Makepath, RoundTripsThroughSplitpath) {
    const char* paths[] = {"C:\\Windows\\inf\\oem1.inf", "\\\\server\\share\\dir\\file.txt", "rel\\a.b.c",
                           "C:", ".txt", "name.", "D:/x/y/z"};
    for (const char* original : paths) {
        Components p = split(original);
        EXPECT_EQ(make(p.drive.c_str(), p.dir.c_str(), p.fname.c_str(), p.ext.c_str()), original);
    }
}

TEST(Makepath, CutsToMaxPath) {
    std::string dir(200, 'd');
    std::string fname(200, 'f');
    Guarded path(_MAX_PATH);
    _makepath(path.data(), "C", dir.c_str(), fname.c_str(), "txt");
    std::string expected = ("C:" + dir + "\\" + fname + ".txt").substr(0, _MAX_PATH - 1);
    EXPECT_EQ(path.str(), expected);
    EXPECT_TRUE(path.intact());
}
