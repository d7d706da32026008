#include <mkimage/resource_script.h>

#include <cstdio>

namespace mkimage {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + "\"";
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string numbers(const VersionNumber& v) {
    return std::to_string(v.major) + "," + std::to_string(v.minor) + "," + std::to_string(v.build) + "," +
           std::to_string(v.revision);
}

void write_version(std::string& out, const VersionInfo& info, bool dll) {
    out += "1 VERSIONINFO\n";
    out += "FILEVERSION " + numbers(info.file_version) + "\n";
    out += "PRODUCTVERSION " + numbers(info.product_version) + "\n";
    out += "FILEFLAGSMASK " + hex(info.file_flags_mask) + "\n";
    out += "FILEFLAGS " + hex(info.file_flags) + "\n";
    out += "FILEOS " + hex(info.file_os.value_or(vos_nt_windows32)) + "\n";
    out += "FILETYPE " + hex(info.file_type.value_or(dll ? vft_dll : vft_app)) + "\n";
    out += "FILESUBTYPE " + hex(info.file_subtype) + "\n";
    out += "BEGIN\n";
    if (!info.string_tables.empty()) {
        out += "  BLOCK \"StringFileInfo\"\n  BEGIN\n";
        for (const VersionStrings& table : info.string_tables) {
            out += "    BLOCK \"" + table.translation.key() + "\"\n    BEGIN\n";
            for (const auto& [name, value] : table.values) out += "      VALUE " + quoted(name) + ", " + quoted(value) + "\n";
            out += "    END\n";
        }
        out += "  END\n";
    }
    if (!info.translations.empty()) {
        out += "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\"";
        for (const Translation& t : info.translations) out += ", " + hex(t.language) + ", " + hex(t.code_page);
        out += "\n  END\n";
    }
    out += "END\n";
}

}  // namespace

std::string resource_script(const ImageRecipe& recipe) {
    std::string out = "// The resources of module " + recipe.module_name + ", written from its recipe.\n";
    out += "LANGUAGE " + hex(recipe.language & 0x3FFu) + ", " + hex(recipe.language >> 10u) + "\n";
    if (!recipe.strings.empty()) {
        out += "STRINGTABLE\nBEGIN\n";
        for (const auto& [id, text] : recipe.strings) out += "  " + std::to_string(id) + ", " + quoted(text) + "\n";
        out += "END\n";
    }
    if (recipe.version) write_version(out, *recipe.version, recipe.dll);
    return out;
}

}  // namespace mkimage
