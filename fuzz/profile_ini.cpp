// winsim's profile files, over any text: the parser's reading, written out, reads the
// same again; and through the profile calls a key written reads back as written while
// every other section answers as it did.
#include "support/fuzz_support.h"

#include "kernel/ini_text.h"

#include <map>

namespace {

const char ini_path[] = "C:\\WINDOWS\\FUZZ.INI";

std::vector<std::string> names_in(const std::string& list) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size() && list[at];) {
        std::size_t end = list.find('\0', at);
        names.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::string profile_string(const char* section, const char* key) {
    std::string buffer(70000, '\0');
    DWORD length = GetPrivateProfileStringA(section, key, "", buffer.data(), static_cast<DWORD>(buffer.size()), ini_path);
    return buffer.substr(0, length + (section && key ? 0 : 1));
}

// Every section's keys with what the calls answer for them, apart from one section.
std::map<std::string, std::string> entries_besides(const std::string& skipped) {
    std::map<std::string, std::string> entries;
    for (const std::string& section : names_in(profile_string(nullptr, nullptr))) {
        if (fuzz::same_name(section, skipped)) continue;
        for (const std::string& key : names_in(profile_string(section.c_str(), nullptr)))
            entries[section + "\n" + key] = profile_string(section.c_str(), key.c_str());
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = fuzz::text(input, 40);
    const std::string key = fuzz::text(input, 40);
    const std::string value = fuzz::text(input, 300);
    const std::string text = input.ConsumeRemainingBytesAsString();

    using winsim::detail::parse_ini;
    using winsim::detail::render_ini;
    const std::string rendered = render_ini(parse_ini(text));
    fuzz::require(render_ini(parse_ini(rendered)) == rendered, "a file written from what was read reads otherwise", rendered);

    auto machine = fuzz::machine_with_library(winsim::Platform::win98);
    machine->files().write_file(ini_path, text);
    // A name with a line break or blanks at its ends, or a value with a line break, is
    // written, but makes other lines of the file.
    const bool plain = fuzz::ini_holds_as_is(section, "[]") && fuzz::ini_holds_as_is(key, "=[;") &&
                       value.find_first_of("\r\n") == std::string::npos;
    const std::map<std::string, std::string> others = plain ? entries_besides(section) : std::map<std::string, std::string>{};
    const bool written = WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), ini_path);
    fuzz::require(written, "a key could not be written", std::to_string(GetLastError()));
    if (!plain) return 0;
    fuzz::require(entries_besides(section) == others, "writing one key changed another section");
    if (value.empty() || fuzz::ini_holds_as_is(value, ""))
        fuzz::require(profile_string(section.c_str(), key.c_str()) == value, "the key reads otherwise than written");
    return 0;
}
