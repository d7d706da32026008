// Reads the library's resource script and export list, the single sources of its
// texts and exports, into C++ tables for the host build, where winsim serves them
// as Windows serves the compiled resources and export table of the DLL.
//
//   rcgen resources SCRIPT.rc OUT.cpp  the STRINGTABLE entries and the BITMAP files, IDs resolved
//   rcgen exports LIST.def OUT.cpp     the EXPORTS names, with their addresses

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& text) {
    // Unchanged output keeps its time, so that nothing rebuilds for nothing.
    if (std::filesystem::exists(path) && read_file(path) == text) return;
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string trim(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

struct Location {
    std::string file;
    int line;
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error(file + ":" + std::to_string(line) + ": " + what);
    }
};

// A string literal of the resource compiler: C escapes, and "" for a quote.
std::string parse_literal(const std::string& text, std::size_t& at, const Location& where) {
    if (at >= text.size() || text[at] != '"') where.fail("a string literal was expected");
    std::string out;
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
                out += '"';
                ++at;
                continue;
            }
            ++at;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= text.size()) where.fail("the string ends in a backslash");
        char e = text[at];
        switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'x': {
            int value = 0, digits = 0;
            while (digits < 2 && at + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[at + 1]))) {
                value = value * 16 + std::stoi(std::string(1, text[++at]), nullptr, 16);
                ++digits;
            }
            if (!digits) where.fail("\\x without hex digits");
            out += static_cast<char>(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                int value = e - '0', digits = 1;
                while (digits < 3 && at + 1 < text.size() && text[at + 1] >= '0' && text[at + 1] <= '7') {
                    value = value * 8 + (text[++at] - '0');
                    ++digits;
                }
                out += static_cast<char>(value);
            } else {
                where.fail(std::string("unknown escape \\") + e);
            }
        }
    }
    where.fail("the string literal is not closed");
}

using Defines = std::map<std::string, long>;

void read_defines(const std::filesystem::path& header, Defines& defines) {
    int number = 0;
    for (const std::string& line : lines_of(read_file(header))) {
        ++number;
        std::istringstream in(trim(line));
        std::string directive, name, value;
        in >> directive >> name >> value;
        if (directive != "#define" || value.empty()) continue;
        try {
            defines[name] = std::stol(value, nullptr, 0);
        } catch (const std::exception&) {
            Location{header.string(), number}.fail("the value of " + name + " is not a number");
        }
    }
}

long resolve_id(const std::string& token, const Defines& defines, const Location& where) {
    if (!token.empty() && std::isdigit(static_cast<unsigned char>(token[0]))) return std::stol(token, nullptr, 0);
    auto it = defines.find(token);
    if (it == defines.end()) where.fail("unknown string ID " + token);
    return it->second;
}

std::string cpp_literal(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", c);
            out += escape;
        }
    }
    return out + "\"";
}

// A line "ID BITMAP "file"": the bitmap as the compiled resource holds it, the .bmp
// file without its 14-byte file header.
std::pair<long, std::string> read_bitmap(const std::filesystem::path& script, const std::string& line, const Defines& defines,
                                         const Location& where) {
    std::istringstream in(line);
    std::string id, kind;
    in >> id >> kind;
    std::size_t at = line.find('"');
    if (at == std::string::npos) where.fail("a BITMAP needs a file name");
    const std::string file = parse_literal(line, at, where);
    const std::string bytes = read_file(script.parent_path() / file);
    if (bytes.size() < 14 + 12 || bytes.compare(0, 2, "BM") != 0) where.fail(file + " is not a .bmp file");
    return {resolve_id(id, defines, where), bytes.substr(14)};
}

bool is_bitmap_line(const std::string& line) {
    std::istringstream in(line);
    std::string id, kind;
    in >> id >> kind;
    return kind == "BITMAP";
}

std::string table_entry(long id, const std::string& bytes) {
    return "        {" + std::to_string(id) + ", std::string(" + cpp_literal(bytes) + ", " + std::to_string(bytes.size()) + ")},\n";
}

std::string generate_resources(const std::filesystem::path& script) {
    Defines defines;
    std::map<long, std::string> strings;
    std::map<long, std::string> bitmaps;
    bool in_table = false, in_block = false;
    int number = 0;
    for (const std::string& raw : lines_of(read_file(script))) {
        ++number;
        Location where{script.string(), number};
        std::string line = trim(raw);
        if (line.rfind("#include", 0) == 0) {
            std::size_t open = line.find('"'), close = line.rfind('"');
            if (open == std::string::npos || close == open) where.fail("only #include \"file\" is understood");
            read_defines(script.parent_path() / line.substr(open + 1, close - open - 1), defines);
            continue;
        }
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        if (!in_table) {
            if (line == "STRINGTABLE") {
                in_table = true;
            } else if (is_bitmap_line(line)) {
                auto [id, bytes] = read_bitmap(script, line, defines, where);
                if (!bitmaps.emplace(id, std::move(bytes)).second) where.fail("bitmap ID used twice");
            }
            continue;
        }
        if (!in_block) {
            if (line != "BEGIN" && line != "{") where.fail("BEGIN was expected after STRINGTABLE");
            in_block = true;
            continue;
        }
        if (line == "END" || line == "}") {
            in_table = in_block = false;
            continue;
        }
        std::size_t quote = line.find('"');
        if (quote == std::string::npos) where.fail("a string table entry needs a text");
        std::string id = trim(line.substr(0, quote));
        if (!id.empty() && id.back() == ',') id = trim(id.substr(0, id.size() - 1));
        long value = resolve_id(id, defines, where);
        if (value < 0 || value > 0xFFFF) where.fail("string ID out of range: " + id);
        std::size_t at = quote;
        std::string text = parse_literal(line, at, where);
        if (!trim(line.substr(at)).empty()) where.fail("text after the string literal");
        if (!strings.emplace(value, text).second) where.fail("string ID used twice: " + id);
    }
    if (in_table) Location{script.string(), number}.fail("STRINGTABLE is not closed");

    std::string out = "// Generated by rcgen from " + script.filename().string() + "; do not edit.\n";
    out += "#include <winsim/windows.h>\n#include <map>\n#include <string>\n\n";
    out += "const std::map<UINT, std::string>& orvinstl_string_table() {\n";
    out += "    static const std::map<UINT, std::string> table = {\n";
    for (const auto& [id, text] : strings) out += table_entry(id, text);
    out += "    };\n    return table;\n}\n\n";
    out += "const std::map<UINT, std::string>& orvinstl_bitmap_table() {\n";
    out += "    static const std::map<UINT, std::string> table = {\n";
    for (const auto& [id, bytes] : bitmaps) out += table_entry(id, bytes);
    out += "    };\n    return table;\n}\n";
    return out;
}

std::string generate_exports(const std::filesystem::path& list) {
    std::vector<std::string> names;
    bool in_exports = false;
    int number = 0;
    for (const std::string& raw : lines_of(read_file(list))) {
        ++number;
        std::string line = trim(raw.substr(0, raw.find(';')));
        if (line.empty()) continue;
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "LIBRARY") continue;
        if (word == "EXPORTS") {
            in_exports = true;
            continue;
        }
        if (!in_exports) Location{list.string(), number}.fail("unexpected " + word);
        names.push_back(word.substr(0, word.find_first_of("@=")));
    }
    std::string out = "// Generated by rcgen from " + list.filename().string() + "; do not edit.\n";
    out += "#include \"orvinstl.h\"\n#include <winsim/images/modules.h>\n#include <string>\n#include <utility>\n#include <vector>\n\n";
    out += "const std::vector<std::pair<std::string, FARPROC>>& orvinstl_export_table() {\n";
    out += "    static const std::vector<std::pair<std::string, FARPROC>> table = {\n";
    for (const std::string& name : names)
        out += "        {\"" + name + "\", winsim::export_address(&" + name + ")},\n";
    out += "    };\n    return table;\n}\n";
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: rcgen resources SCRIPT.rc OUT.cpp | rcgen exports LIST.def OUT.cpp\n");
        return 2;
    }
    try {
        std::string mode = argv[1];
        if (mode == "resources") write_file(argv[3], generate_resources(argv[2]));
        else if (mode == "exports") write_file(argv[3], generate_exports(argv[2]));
        else throw std::runtime_error("unknown mode " + mode);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rcgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
