// insSafeFileCopy and insFileDelete against the system's own files: the version and
// time rules, read-only files, a destination the program holds open, the replacements
// it leaves for the next start, and what that start made of them.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"
#include "system_version.h"

#include <mkimage/tagged_images.h>

#include <algorithm>
#include <cctype>
#include <span>
#include <string>
#include <vector>

namespace conformance {

namespace {

// Upper-case 8.3 names: the short form 95/98 write into WININIT.INI is then the name
// itself, whatever a file system does with the letter case of short names.
constexpr const char copy_directory[] = "C:\\ORVCONF\\COPY";
constexpr const char delete_directory[] = "C:\\ORVCONF\\DELETE";

std::string in(const char* directory, const char* name) { return std::string(directory) + "\\" + name; }

// Where `what` stands in `text` from `from` on, in any letter case, or npos.
std::size_t find_no_case(const std::string& text, const std::string& what, std::size_t from = 0) {
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), what.begin(), what.end(), same);
    return found == text.end() ? std::string::npos : static_cast<std::size_t>(found - text.begin());
}

// Every occurrence of `from` (in any letter case) replaced by `to`.
std::string replace_no_case(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (std::size_t at = find_no_case(text, from); at != std::string::npos; at = find_no_case(text, from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The pieces between the separators, empty ones included.
std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Opens the file as another program would keep it open: reading, and writing refused to
// others. The handle stays open until the program ends, as a restart ends it.
bool hold_open(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr) !=
           INVALID_HANDLE_VALUE;
}

// The temporary folder differs between systems; in what the library wrote it stands as
// %TEMP%\, in its long and its short form.
std::string with_temp_named(std::string text) {
    char temp[MAX_PATH] = "", short_temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    if (!GetShortPathNameA(temp, short_temp, MAX_PATH)) short_temp[0] = '\0';
    text = replace_no_case(text, temp, "%TEMP%\\");
    return replace_no_case(text, short_temp, "%TEMP%\\");
}

std::string wininit_path(const char* name) {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\" + name;
}

// One operation waiting for the next start, as the system keeps it: NT's pairs of
// PendingFileRenameOperations, or a line of WININIT.INI's (a section name stands alone).
struct PendingEntry {
    std::string shown;   // as the system wrote it
    std::string source;  // the file that moves or goes
    std::string target;  // where it moves to; empty for a deletion
};

std::string without_nt_prefix(std::string path) {
    if (!path.empty() && path.front() == '!') path.erase(0, 1);
    if (path.rfind("\\??\\", 0) == 0) path.erase(0, 4);
    return path;
}

std::vector<PendingEntry> read_pending() {
    std::vector<PendingEntry> entries;
    if (!system_is_nt()) {
        for (std::string line : split(read_scratch_file(wininit_path("WININIT.INI").c_str()), '\n')) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            std::size_t equals = line.find('=');
            PendingEntry entry{line, "", ""};
            if (equals != std::string::npos) {
                entry.source = line.substr(equals + 1);
                entry.target = line.substr(0, equals);
                if (find_no_case(entry.target, "NUL") == 0 && entry.target.size() == 3) entry.target.clear();
            }
            entries.push_back(entry);
        }
        return entries;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    std::string data(16384, '\0');
    DWORD size = static_cast<DWORD>(data.size()), type = REG_NONE;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size) ==
        ERROR_SUCCESS) {
        data.resize(size);
        std::vector<std::string> strings = split(data, '\0');
        for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
            if (!strings[i].empty())
                entries.push_back({strings[i] + " -> " + strings[i + 1], without_nt_prefix(strings[i]), without_nt_prefix(strings[i + 1])});
    }
    RegCloseKey(key);
    return entries;
}

// The length of a waiting copy's name at `at`: "ORV", one to four hex digits and
// ".TMP", in any letter case; else 0.
std::size_t waiting_copy_name_length(const std::string& text, std::size_t at) {
    if (find_no_case(text.substr(at, 3), "ORV") != 0) return 0;
    std::size_t end = at + 3;
    while (end < text.size() && end - at < 7 && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end == at + 3 || find_no_case(text.substr(end, 4), ".TMP") != 0) return 0;
    return end + 4 - at;
}

// The library's waiting copies have names of GetTempFileNameA's, whose number (and
// letter case) differs from one system and run to the next: they are shown by their
// order of appearance instead, as "%TEMP%\<copy 1>".
std::string with_waiting_copies_numbered(std::string text) {
    std::vector<std::string> seen;
    const std::string temp = "%TEMP%\\";
    for (std::size_t at = text.find(temp); at != std::string::npos; at = text.find(temp, at + 1)) {
        std::size_t name = at + temp.size();
        std::size_t length = waiting_copy_name_length(text, name);
        if (!length) continue;
        std::string found = text.substr(name, length);
        for (char& c : found) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto known = std::find(seen.begin(), seen.end(), found);
        if (known == seen.end()) known = seen.insert(seen.end(), found);
        text.replace(name, length, "<copy " + std::to_string(known - seen.begin() + 1) + ">");
    }
    return text;
}

// The replacements waiting for the next start that name the scenario's folder: NT's
// PendingFileRenameOperations pairs, or 95/98's WININIT.INI lines (with the section
// names). On Windows the scenarios share one system, so the others' entries are left out.
Facts pending_replacements(const char* directory) {
    std::string shown;
    for (const PendingEntry& entry : read_pending()) {
        if (find_no_case(entry.shown, directory) == std::string::npos && entry.shown.front() != '[') continue;
        shown += (shown.empty() ? "" : " ; ") + with_temp_named(entry.shown);
    }
    return Facts().text("pending", with_waiting_copies_numbered(shown));
}

// The copy that waits to replace `destination` at the next start, or "" when none does.
std::string waiting_copy_of(const std::string& destination) {
    for (const PendingEntry& entry : read_pending())
        if (!entry.target.empty() && entry.target.size() == destination.size() && find_no_case(entry.target, destination) == 0)
            return entry.source;
    return {};
}

// Which of the scenario's files a path holds now, by its contents.
Facts contents(const char* step_key, const std::string& path, const std::vector<std::pair<std::string, std::string>>& known) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Facts().word(step_key, "missing");
    std::string bytes = read_scratch_file(path.c_str());
    Facts facts;
    auto found = std::find_if(known.begin(), known.end(), [&](const auto& entry) { return entry.second == bytes; });
    facts.word(step_key, found == known.end() ? "other" : found->first);
    facts.number("read_only", attributes & FILE_ATTRIBUTE_READONLY ? 1 : 0);
    return facts;
}

// A fixed time, so that both systems see the same order of files: 2000-01-01 plus hours.
bool set_write_time(const std::string& path, int hours) {
    constexpr unsigned long long year_2000 = 125911584000000000ULL;
    constexpr unsigned long long hour = 36000000000ULL;
    unsigned long long when = year_2000 + static_cast<unsigned long long>(hours) * hour;
    FILETIME time{static_cast<DWORD>(when & 0xFFFFFFFFu), static_cast<DWORD>(when >> 32)};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return ok != FALSE;
}

bool lay_out(const std::string& path, const std::string& bytes, int hours, bool read_only = false) {
    if (!write_scratch_file(path.c_str(), bytes) || !set_write_time(path, hours)) return false;
    return !read_only || SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

bool make_scratch_folders(const char* directory) {
    return make_scratch_directory(scratch_directory) && make_scratch_directory(directory);
}

// Takes the scenario's files and folder away again; a real system keeps them from one
// run to the next.
void clear_folder(const char* directory, std::span<const char* const> names) {
    for (const char* name : names) remove_scratch_file(in(directory, name).c_str());
    RemoveDirectoryA(directory);
}

const char* const copy_names[] = {"SOURCE.DLL", "PLAIN.DLL",   "NEW.DLL",    "OLDER.DLL",    "NEWER.DLL", "LATER.DLL",
                                  "EARLIER.DLL", "FORCED.DLL", "RDONLY.DLL", "PLAINDST.DLL", "HELD.DLL",  "OLDLATE.DLL",
                                  "WAITING.TXT"};
constexpr const char copy_subfolder[] = "C:\\ORVCONF\\COPY\\SUB";
const char* const delete_names[] = {"PLAIN.DLL", "RDONLY.DLL", "HELD.DLL"};

void clear_copy_folders() {
    const char* const sub_names[] = {"SOURCE.DLL"};
    clear_folder(copy_subfolder, sub_names);
    clear_folder(copy_directory, copy_names);
}

struct CopyCase {
    const char* step;
    const char* destination;  // under copy_directory
    std::string installed;    // empty: no installed file
    int installed_hours;
    bool read_only;
    LONG copy_always;
};

const std::string incoming = mkimage::versioned_dll({2, 0, 0, 0}, "incoming 2.0");
const std::string older = mkimage::versioned_dll({1, 0, 0, 0}, "installed 1.0");
const std::string newer = mkimage::versioned_dll({3, 0, 0, 0}, "installed 3.0");
const std::string same = mkimage::versioned_dll({2, 0, 0, 0}, "installed 2.0");
const std::string plain_incoming = mkimage::unversioned_dll("incoming plain");
const std::string plain_installed = mkimage::unversioned_dll("installed plain");
const std::vector<std::pair<std::string, std::string>> copy_files = {
    {"incoming", incoming},         {"older", older}, {"newer", newer}, {"same", same},
    {"plain_incoming", plain_incoming}, {"plain_installed", plain_installed},
};
constexpr int incoming_hours = 10;

// Where the first part noted the copy that waits for the restart, for the second part.
const std::string waiting_note = std::string(copy_directory) + "\\WAITING.TXT";

void safe_file_copy(Session& s) {
    clear_copy_folders();
    // 95/98 keep the carried-out WININIT.INI as WININIT.BAK: only this run's may be seen.
    if (!system_is_nt()) remove_scratch_file(wininit_path("WININIT.BAK").c_str());
    std::string source = in(copy_directory, "SOURCE.DLL");
    std::string plain_source = in(copy_directory, "PLAIN.DLL");
    if (!make_scratch_folders(copy_directory) || !lay_out(source, incoming, incoming_hours) ||
        !lay_out(plain_source, plain_incoming, incoming_hours)) {
        s.report("prepare", Facts().word("failed", "the source files cannot be laid out"));
        return;
    }
    const CopyCase cases[] = {
        {"nothing installed", "NEW.DLL", "", 0, false, 0},
        {"older version installed", "OLDER.DLL", older, 0, false, 0},
        {"newer version installed", "NEWER.DLL", newer, 0, false, 0},
        {"same version installed later", "LATER.DLL", same, 20, false, 0},
        {"same version installed earlier", "EARLIER.DLL", same, 0, false, 0},
        {"older version installed later", "OLDLATE.DLL", older, 20, false, 0},
        {"newer version installed read-only and copied always", "FORCED.DLL", newer, 20, true, 1},
        {"older version installed read-only", "RDONLY.DLL", older, 0, true, 0},
    };
    for (const CopyCase& c : cases) {
        std::string destination = in(copy_directory, c.destination);
        if (!c.installed.empty() && !lay_out(destination, c.installed, c.installed_hours, c.read_only)) {
            s.report(c.step, Facts().word("failed", "the installed file cannot be laid out"));
            continue;
        }
        LONG result = s.x.safe_file_copy(source.c_str(), destination.c_str(), c.copy_always);
        s.result(c.step, result, contents("installed", destination, copy_files));
    }
    std::string plain_destination = in(copy_directory, "PLAINDST.DLL");
    for (int hours : {0, 20}) {
        std::string step = hours ? "no versions, installed later" : "no versions, installed earlier";
        lay_out(plain_destination, plain_installed, hours);
        LONG result = s.x.safe_file_copy(plain_source.c_str(), plain_destination.c_str(), 0);
        s.result(step, result, contents("installed", plain_destination, copy_files));
    }
    std::string sub = copy_subfolder;
    make_scratch_directory(sub.c_str());
    LONG result = s.x.safe_file_copy(source.c_str(), (sub + "\\").c_str(), 0);
    s.result("destination folder with a backslash", result, contents("installed", sub + "\\SOURCE.DLL", copy_files));
    result = s.x.safe_file_copy(in(copy_directory, "ABSENT.DLL").c_str(), in(copy_directory, "OLDER.DLL").c_str(), 0);
    s.result("missing source over an installed file", result, contents("installed", in(copy_directory, "OLDER.DLL"), copy_files));

    // Held open by this program: the copy waits for the next start.
    std::string held = in(copy_directory, "HELD.DLL");
    lay_out(held, older, 0);
    if (!hold_open(held)) {
        s.report("destination held open", Facts().word("failed", "the installed file cannot be held"));
        return;
    }
    result = s.x.safe_file_copy(source.c_str(), held.c_str(), 0);
    s.result("destination held open", result, contents("installed", held, copy_files));
    std::string waiting = waiting_copy_of(held);
    write_scratch_file(waiting_note.c_str(), waiting);
    s.report("waiting copy in the temporary folder", contents("waiting", waiting, copy_files));
    s.report("pending after the held copy", pending_replacements(copy_directory));
}

void safe_file_copy_after_restart(Session& s) {
    s.report("held destination after the restart", contents("installed", in(copy_directory, "HELD.DLL"), copy_files));
    s.report("waiting copy after the restart", contents("waiting", read_scratch_file(waiting_note.c_str()), copy_files));
    s.report("pending after the restart", pending_replacements(copy_directory));
    if (!system_is_nt()) {
        s.report("WININIT after the restart", Facts()
                                                   .number("ini", exists(wininit_path("WININIT.INI")) ? 1 : 0)
                                                   .number("bak", exists(wininit_path("WININIT.BAK")) ? 1 : 0));
    }
    clear_copy_folders();
}

const std::vector<std::pair<std::string, std::string>> delete_files = {{"present", "a file to delete"}};

void file_delete(Session& s) {
    clear_folder(delete_directory, delete_names);
    if (!make_scratch_folders(delete_directory)) {
        s.report("prepare", Facts().word("failed", "the scratch folder cannot be made"));
        return;
    }
    std::string missing = in(delete_directory, "MISSING.DLL");
    LONG result = s.x.file_delete(missing.c_str());
    s.result("missing file", result, contents("file", missing, delete_files));
    std::string plain = in(delete_directory, "PLAIN.DLL");
    lay_out(plain, delete_files[0].second, 0);
    result = s.x.file_delete(plain.c_str());
    s.result("file nobody uses", result, contents("file", plain, delete_files));
    std::string missing_folder = in(delete_directory, "NOFOLDER\\A.DLL");
    s.result("file in a missing folder", s.x.file_delete(missing_folder.c_str()));
    std::string read_only = in(delete_directory, "RDONLY.DLL");
    lay_out(read_only, delete_files[0].second, 0, true);
    result = s.x.file_delete(read_only.c_str());
    s.result("read-only file", result, contents("file", read_only, delete_files));
    std::string held = in(delete_directory, "HELD.DLL");
    lay_out(held, delete_files[0].second, 0);
    if (!hold_open(held)) {
        s.report("file held open", Facts().word("failed", "the file cannot be held"));
        return;
    }
    result = s.x.file_delete(held.c_str());
    s.result("file held open", result, contents("file", held, delete_files));
    s.report("pending after the deletions", pending_replacements(delete_directory));
}

void file_delete_after_restart(Session& s) {
    s.report("held file after the restart", contents("file", in(delete_directory, "HELD.DLL"), delete_files));
    s.report("read-only file after the restart", contents("file", in(delete_directory, "RDONLY.DLL"), delete_files));
    s.report("pending after the restart", pending_replacements(delete_directory));
    clear_folder(delete_directory, delete_names);
}

// Two files of one name for two folders, both held: each waits in a copy of its own.
constexpr const char twin_directory[] = "C:\\ORVCONF\\TWIN";
const char* const twin_folders[] = {"C:\\ORVCONF\\TWIN\\A", "C:\\ORVCONF\\TWIN\\B", "C:\\ORVCONF\\TWIN\\SRCA",
                                    "C:\\ORVCONF\\TWIN\\SRCB"};
const std::string twin_a_new = mkimage::unversioned_dll("twin A new");
const std::string twin_b_new = mkimage::unversioned_dll("twin B new");
const std::vector<std::pair<std::string, std::string>> twin_files = {
    {"a_old", mkimage::unversioned_dll("twin A old")}, {"b_old", mkimage::unversioned_dll("twin B old")},
    {"a_new", twin_a_new}, {"b_new", twin_b_new}};
const std::string twin_note = std::string(twin_directory) + "\\WAITING.TXT";

void clear_twin_folders() {
    const char* const names[] = {"TWIN.DLL"};
    for (const char* folder : twin_folders) clear_folder(folder, names);
    const char* const notes[] = {"WAITING.TXT"};
    clear_folder(twin_directory, notes);
}

void twin_deferred_copies(Session& s) {
    clear_twin_folders();
    bool laid_out = make_scratch_folders(twin_directory);
    for (const char* folder : twin_folders) laid_out = laid_out && make_scratch_directory(folder);
    const std::string a = in(twin_folders[0], "TWIN.DLL"), b = in(twin_folders[1], "TWIN.DLL");
    laid_out = laid_out && lay_out(a, twin_files[0].second, 0) && lay_out(b, twin_files[1].second, 0) &&
               lay_out(in(twin_folders[2], "TWIN.DLL"), twin_a_new, incoming_hours) &&
               lay_out(in(twin_folders[3], "TWIN.DLL"), twin_b_new, incoming_hours);
    if (!laid_out || !hold_open(a) || !hold_open(b)) {
        s.report("prepare", Facts().word("failed", "the twin files cannot be laid out and held"));
        return;
    }
    s.result("first held copy", s.x.safe_file_copy(in(twin_folders[2], "TWIN.DLL").c_str(), a.c_str(), 0));
    s.result("second held copy", s.x.safe_file_copy(in(twin_folders[3], "TWIN.DLL").c_str(), b.c_str(), 0));
    s.report("pending after both copies", pending_replacements(twin_directory));
    std::string waiting_a = waiting_copy_of(a), waiting_b = waiting_copy_of(b);
    s.report("waiting copies", Facts()
                                   .append(contents("for_a", waiting_a, twin_files))
                                   .append(contents("for_b", waiting_b, twin_files))
                                   .number("apart", !waiting_a.empty() && find_no_case(waiting_a, waiting_b) != 0 ? 1 : 0));
    write_scratch_file(twin_note.c_str(), waiting_a + "\n" + waiting_b);
}

void twin_deferred_copies_after_restart(Session& s) {
    s.report("first after the restart", contents("installed", in(twin_folders[0], "TWIN.DLL"), twin_files));
    s.report("second after the restart", contents("installed", in(twin_folders[1], "TWIN.DLL"), twin_files));
    std::vector<std::string> waiting = split(read_scratch_file(twin_note.c_str()), '\n');
    waiting.resize(2);
    s.report("waiting copies after the restart", Facts()
                                                     .append(contents("for_a", waiting[0], twin_files))
                                                     .append(contents("for_b", waiting[1], twin_files)));
    s.report("pending after the restart", pending_replacements(twin_directory));
    clear_twin_folders();
}

// Names Windows refuses for their characters, as destination, as source and to delete.
constexpr const char bad_directory[] = "C:\\ORVCONF\\BADNAME";

void invalid_names(Session& s) {
    const char* const names[] = {"SOURCE.DLL"};
    clear_folder(bad_directory, names);
    std::string source = in(bad_directory, "SOURCE.DLL");
    if (!make_scratch_folders(bad_directory) || !lay_out(source, incoming, incoming_hours)) {
        s.report("prepare", Facts().word("failed", "the source cannot be laid out"));
        return;
    }
    const std::string copied = in(bad_directory, "NEW.DLL");
    for (const char* name : {"A:B.DLL", "A*B.DLL", "A?B.DLL", "A<B.DLL", "A>B.DLL", "A\"B.DLL", "A|B.DLL"}) {
        std::string path = in(bad_directory, name);
        std::string step = std::string("name ") + name;
        s.result(step + " as destination", s.x.safe_file_copy(source.c_str(), path.c_str(), 0));
        LONG result = s.x.safe_file_copy(path.c_str(), copied.c_str(), 0);
        s.result(step + " as source", result, Facts().number("copied", exists(copied) ? 1 : 0));
        s.result(step + " deleted", s.x.file_delete(path.c_str()));
        // Where a system took the name after all, nothing of it may touch the next name's steps.
        remove_scratch_file(path.c_str());
        remove_scratch_file(copied.c_str());
    }
    clear_folder(bad_directory, names);
}

}  // namespace

std::vector<Scenario> file_scenarios() {
    return {
        {"SafeFileCopy", {"insSafeFileCopy"}, safe_file_copy, safe_file_copy_after_restart},
        {"FileDelete", {"insFileDelete"}, file_delete, file_delete_after_restart},
        {"TwinDeferredCopies", {"insSafeFileCopy"}, twin_deferred_copies, twin_deferred_copies_after_restart},
        {"InvalidNames", {"insSafeFileCopy", "insFileDelete"}, invalid_names},
    };
}

}  // namespace conformance
