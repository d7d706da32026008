// Profile files as programs read and write them: a private ini file, which every
// system keeps as a file, and WIN.INI, whose printer sections NT keeps in the user's
// registry. The scenarios look only at what the calls answer and at the private
// file's bytes, so that where a system keeps WIN.INI's sections does not show.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <cstring>
#include <string>

namespace conformance {

namespace {

const char ini[] = "C:\\ORVCONF\\PROFILE.INI";
// A quoted value, a line without "=", a one-letter value, an empty section.
const char contents[] = "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";

// The answer and the buffer, up to the buffer's size, so that the terminators show.
// A read that succeeds leaves a last error of no meaning (Wine clears it), so
// only the reads of a missing file show theirs.
void read(Session& s, const char* step, LPCSTR section, LPCSTR key, LPCSTR fallback, DWORD size, LPCSTR file = ini) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    DWORD count = GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
    s.report(step, Facts().number("count", count).text("buffer", std::string(buffer, size)));
}

void read_missing(Session& s, const char* step, LPCSTR file) {
    char buffer[16] = "#";
    SetLastError(0xDEADBEEF);
    DWORD count = GetPrivateProfileStringA("section1", "name1", "default", buffer, sizeof buffer, file);
    DWORD error = GetLastError();
    s.report(step, Facts().number("count", count).text("buffer", buffer).hex("error", error));
}

// The last error only where the write failed: Wine leaves its own on success.
void write(Session& s, const char* step, LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file = ini) {
    SetLastError(0xDEADBEEF);
    BOOL done = WritePrivateProfileStringA(section, key, value, file);
    Facts facts;
    facts.number("result", done);
    if (!done) facts.hex("error", GetLastError());
    s.report(step, facts.text("file", read_scratch_file(file)));
}

void private_reads(Session& s) {
    make_scratch_directory(scratch_directory);
    write_scratch_file(ini, contents);
    read(s, "a value in other letter case", "SECTION1", "NaMe1", "default", 16);
    read(s, "a quoted value", "section1", "name2", "default", 16);
    read(s, "a line without equals", "section1", "name3", "default", 16);
    read(s, "a missing key with blanks after the default", "section1", "notakey", "default  ", 16);
    read(s, "a missing key without a default", "section1", "notakey", nullptr, 4);
    read(s, "an empty section", "", "name1", "default", 16);
    read_missing(s, "a missing file", "C:\\ORVCONF\\MISSING.INI");
    read(s, "a value in a buffer of 0", "section1", "name1", "default", 0);
    read(s, "a value in a buffer of 4", "section1", "name1", "default", 4);
    read(s, "a value in a buffer of 5", "section1", "name1", "default", 5);
    read(s, "the sections", nullptr, "name1", "default", 24);
    read(s, "the sections in a buffer of 16", nullptr, nullptr, "default", 16);
    read(s, "the keys", "section1", nullptr, "default", 24);
    read(s, "the keys in a buffer of 19", "section1", nullptr, "default", 19);
    read(s, "the keys in a buffer of 16", "section1", nullptr, "default", 16);
    read(s, "the keys of an empty section", "section2", nullptr, "default", 4);
    remove_scratch_file(ini);
}

void private_writes(Session& s) {
    make_scratch_directory(scratch_directory);
    remove_scratch_file(ini);
    write(s, "a key into no file", "Printer", "Owner", "Ann");
    write(s, "a second key, the section in other case", "PRINTER", "Debug", "1");
    write(s, "the first key again in other case", "printer", "OWNER", "Bob");
    write(s, "another section", "Other", "k", "v");
    write(s, "a key deleted", "Printer", "Owner", nullptr);
    write(s, "a missing key deleted", "Printer", "Nobody", nullptr);
    write(s, "a section deleted", "OTHER", nullptr, nullptr);
    write(s, "no section", nullptr, "k", "v");
    // All three null only flushes: FALSE, with no error worth reading.
    s.report("nothing at all", Facts().number("result", WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini)));
    write(s, "a file in a missing folder", "s", "k", "v", "C:\\ORVCONF\\NOWHERE\\X.INI");
    for (const char* number : {"-1", "+1", "4294967297", "42A9", "B1", ""}) {
        WritePrivateProfileStringA("Numbers", "n", number, ini);
        s.report(std::string("the number ") + number,
                 Facts().hex("value", GetPrivateProfileIntA("Numbers", "n", 7, ini)));
    }
    remove_scratch_file(ini);

    // A name without a path lies in the Windows directory.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string beside = std::string(windows) + "\\ORVCONF.INI";
    remove_scratch_file(beside.c_str());
    WritePrivateProfileStringA("s", "k", "v", "ORVCONF.INI");
    s.report("a name without a path", Facts().text("file", read_scratch_file(beside.c_str())));
    remove_scratch_file(beside.c_str());
}

// What a program sees of WIN.INI: the same answers wherever the system keeps a section.
void win_ini(Session& s) {
    for (const char* section : {"OrvConformance", "Devices", "PrinterPorts", "windows"}) {
        const std::string name = section;
        WriteProfileStringA(section, "OrvConformance Printer", "ORVDRV,LPT1:");
        char buffer[64] = "#";
        DWORD count = GetProfileStringA(section, "ORVCONFORMANCE PRINTER", "none", buffer, sizeof buffer);
        s.report(name + " written", Facts().number("count", count).text("value", buffer));
        WriteProfileStringA(section, "OrvConformance Printer", nullptr);
        count = GetProfileStringA(section, "OrvConformance Printer", "none", buffer, sizeof buffer);
        s.report(name + " deleted", Facts().number("count", count).text("value", buffer));
    }
    WriteProfileStringA("OrvConformance", "n", "12");
    s.report("a number", Facts().number("value", GetProfileIntA("OrvConformance", "n", 0)));
    WriteProfileStringA("OrvConformance", nullptr, nullptr);
    char buffer[8] = "#";
    DWORD count = GetProfileStringA("OrvConformance", nullptr, "", buffer, sizeof buffer);
    s.report("the section deleted", Facts().number("count", count));
}

}  // namespace

std::vector<Scenario> profile_scenarios() {
    return {
        {"PrivateProfileReads", {}, private_reads},
        {"PrivateProfileWrites", {}, private_writes},
        {"WinIni", {}, win_ini},
    };
}

}  // namespace conformance
