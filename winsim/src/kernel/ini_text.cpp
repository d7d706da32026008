#include "kernel/ini_text.h"

#include "core/names.h"

#include <algorithm>
#include <cctype>

namespace winsim::detail {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

IniLine parse_line(std::string_view line) {
    std::size_t equals = line.find('=');
    if (line.front() == ';' || equals == std::string_view::npos) return {std::string(line), "", false};
    return {std::string(trimmed(line.substr(0, equals))), std::string(trimmed(line.substr(equals + 1))), true};
}

template <typename Lines>
auto find_entry(Lines& lines, std::string_view key) {
    return std::find_if(lines.begin(), lines.end(), [&](const IniLine& line) { return line.entry && same_name(line.key, key); });
}

template <typename Sections>
auto find_section(Sections& sections, std::string_view name) {
    return std::find_if(sections.begin(), sections.end(),
                        [&](const IniSection& section) { return section.headed && same_name(section.name, name); });
}

}  // namespace

IniLine* IniSection::entry(std::string_view key) {
    auto found = find_entry(lines, key);
    return found == lines.end() ? nullptr : &*found;
}

const IniLine* IniSection::entry(std::string_view key) const {
    auto found = find_entry(lines, key);
    return found == lines.end() ? nullptr : &*found;
}

std::vector<std::string> IniSection::keys() const {
    std::vector<std::string> out;
    for (const IniLine& line : lines)
        if (line.entry) out.push_back(line.key);
    return out;
}

void IniSection::set(std::string_view key, std::string_view value) {
    if (IniLine* line = entry(key))
        line->value = std::string(value);
    else
        lines.push_back({std::string(key), std::string(value), true});
}

bool IniSection::remove(std::string_view key) {
    auto found = find_entry(lines, key);
    if (found == lines.end()) return false;
    lines.erase(found);
    return true;
}

IniSection* IniText::section(std::string_view name) {
    auto found = find_section(sections, name);
    return found == sections.end() ? nullptr : &*found;
}

const IniSection* IniText::section(std::string_view name) const {
    auto found = find_section(sections, name);
    return found == sections.end() ? nullptr : &*found;
}

std::vector<std::string> IniText::section_names() const {
    std::vector<std::string> out;
    for (const IniSection& section : sections)
        if (section.headed) out.push_back(section.name);
    return out;
}

IniSection& IniText::add_section(std::string_view name) {
    sections.push_back({std::string(name), {}, true});
    return sections.back();
}

bool IniText::remove_section(std::string_view name) {
    auto found = find_section(sections, name);
    if (found == sections.end()) return false;
    sections.erase(found);
    return true;
}

IniText parse_ini(std::string_view bytes) {
    IniText text;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = trimmed(bytes.substr(at, end - at));
        at = end;
        if (at < bytes.size() && bytes[at] == '\r') ++at;
        if (at < bytes.size() && bytes[at] == '\n') ++at;
        if (line.empty()) continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            text.add_section(trimmed(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            continue;
        }
        if (text.sections.empty()) text.sections.push_back({"", {}, false});
        text.sections.back().lines.push_back(parse_line(line));
    }
    return text;
}

std::string render_ini(const IniText& text) {
    std::string out;
    for (const IniSection& section : text.sections) {
        if (section.headed) out += "[" + section.name + "]\r\n";
        for (const IniLine& line : section.lines) out += line.entry ? line.key + "=" + line.value + "\r\n" : line.key + "\r\n";
    }
    return out;
}

std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

}  // namespace winsim::detail
