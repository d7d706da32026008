// The text of an ini file as the profile calls read and write it: sections of lines,
// names compared without regard to case and kept with their case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace winsim::detail {

struct IniLine {
    std::string key;    // for a line that is no entry, the whole line
    std::string value;  // as written, quotes and all
    // A comment, or a line without "=": kept in the file, never found or listed.
    bool entry = true;
};

struct IniSection {
    std::string name;
    std::vector<IniLine> lines;
    // The lines before the first header belong to no section.
    bool headed = true;

    IniLine* entry(std::string_view key);
    const IniLine* entry(std::string_view key) const;
    std::vector<std::string> keys() const;
    // Replaces the value of the key (keeping the key's spelling) or adds the key at the end.
    void set(std::string_view key, std::string_view value);
    bool remove(std::string_view key);
};

struct IniText {
    std::vector<IniSection> sections;

    IniSection* section(std::string_view name);
    const IniSection* section(std::string_view name) const;
    std::vector<std::string> section_names() const;
    IniSection& add_section(std::string_view name);
    bool remove_section(std::string_view name);
};

// Lines end with CR LF, a lone CR or a lone LF; blanks around names and values do
// not count; blank lines are not kept.
IniText parse_ini(std::string_view bytes);
// CR LF line ends, the sections one after the other without blank lines between.
std::string render_ini(const IniText& text);
// A value as the calls answer it: a pair of like quotes around it is taken off.
std::string unquoted(std::string_view value);

}  // namespace winsim::detail
