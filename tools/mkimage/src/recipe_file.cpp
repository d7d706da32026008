#include <mkimage/recipe_file.h>

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <utility>

namespace mkimage {

RecipeError::RecipeError(std::string source, std::size_t line, std::string key, const std::string& problem)
    : std::runtime_error(source + (line ? ":" + std::to_string(line) : std::string()) + ": " +
                         (key.empty() ? std::string() : key + ": ") + problem),
      source_(std::move(source)),
      line_(line),
      key_(std::move(key)) {}

namespace {

struct Named {
    const char* name;
    std::uint32_t value;
};

constexpr std::array<Named, 3> kind_names{{{"pe32", 0}, {"pe32_plus", 1}, {"ne", 2}}};

// The VOS_ and VFT_ values a recipe may give by name; any other is given as a number.
constexpr std::array<Named, 7> file_os_names{{{"dos", 0x00010000},
                                              {"nt", 0x00040000},
                                              {"windows16", 0x00000001},
                                              {"windows32", 0x00000004},
                                              {"dos_windows16", vos_dos_windows16},
                                              {"dos_windows32", 0x00010004},
                                              {"nt_windows32", vos_nt_windows32}}};
constexpr std::array<Named, 7> file_type_names{
    {{"unknown", 0}, {"app", vft_app}, {"dll", vft_dll}, {"drv", vft_drv}, {"font", 4}, {"vxd", 5}, {"static_lib", 7}}};

template <std::size_t N>
std::string name_list(const std::array<Named, N>& names) {
    std::string out;
    for (const Named& named : names) out += (out.empty() ? "" : ", ") + std::string(named.name);
    return out;
}

std::string hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

std::string hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string version_text(const VersionNumber& number) {
    return std::to_string(number.major) + "." + std::to_string(number.minor) + "." + std::to_string(number.build) +
           "." + std::to_string(number.revision);
}

std::size_t line_of(const toml::node& node) { return node.source().begin.line; }

// Reads one recipe's tables, naming the key of whatever it refuses.
class Reader {
public:
    explicit Reader(const std::string& source) : source_(source) {}

    [[noreturn]] void fail(std::size_t line, const std::string& key, const std::string& problem) const {
        throw RecipeError(source_, line, key, problem);
    }
    [[noreturn]] void fail(const toml::node& node, const std::string& key, const std::string& problem) const {
        fail(line_of(node), key, problem);
    }

    // Every key of `table` must be one of `known`, so that a misspelt key is not
    // quietly left out of the image.
    void only_known(const toml::table& table, const std::string& prefix,
                    std::initializer_list<const char*> known) const {
        // Named rather than bound: clang 14 (the fuzz build's) lets no lambda see a binding.
        for (const auto& entry : table) {
            const std::string_view key = entry.first.str();
            const bool found = std::any_of(known.begin(), known.end(), [&](const char* name) { return key == name; });
            if (!found) fail(entry.second, prefix + std::string(key), "unknown key");
        }
    }

    std::string text(const toml::node& node, const std::string& key) const {
        const toml::value<std::string>* value = node.as_string();
        if (!value) fail(node, key, "must be text");
        return value->get();
    }

    bool boolean(const toml::node& node, const std::string& key) const {
        const toml::value<bool>* value = node.as_boolean();
        if (!value) fail(node, key, "must be true or false");
        return value->get();
    }

    std::uint32_t dword(const toml::node& node, const std::string& key) const {
        const toml::value<std::int64_t>* value = node.as_integer();
        if (!value) fail(node, key, "must be a number");
        if (value->get() < 0 || value->get() > 0xFFFFFFFFLL) fail(node, key, "out of range (0 to 0xFFFFFFFF)");
        return static_cast<std::uint32_t>(value->get());
    }

    // A language or code page: a number (0x0409, 1252) or four hex digits as the
    // version block's table names spell them ("0409", "04E4").
    std::uint16_t word(const toml::node& node, const std::string& key) const {
        if (const toml::value<std::string>* value = node.as_string()) {
            const std::string& digits = value->get();
            if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(),
                                                   [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
                fail(node, key, "\"" + digits + "\" is not four hex digits");
            return static_cast<std::uint16_t>(std::stoul(digits, nullptr, 16));
        }
        const toml::value<std::int64_t>* value = node.as_integer();
        if (!value) fail(node, key, "must be a number or four hex digits");
        if (value->get() < 0 || value->get() > 0xFFFF) fail(node, key, "out of range (0 to 0xFFFF)");
        return static_cast<std::uint16_t>(value->get());
    }

    template <std::size_t N>
    std::uint32_t named_dword(const toml::node& node, const std::string& key, const std::array<Named, N>& names) const {
        if (const toml::value<std::string>* value = node.as_string()) {
            for (const Named& named : names)
                if (value->get() == named.name) return named.value;
            fail(node, key, "unknown name \"" + value->get() + "\" (one of " + name_list(names) + ", or a number)");
        }
        return dword(node, key);
    }

    VersionNumber version_number(const toml::node& node, const std::string& key) const {
        const std::string value = text(node, key);
        const std::optional<VersionNumber> number = parse_version(value);
        if (!number) fail(node, key, "\"" + value + "\" is not a version (up to four numbers 0 to 65535, as 4.1.0.7)");
        return *number;
    }

    std::vector<ImageKind> kinds(const toml::table& root) const {
        const toml::node* single = root.get("kind");
        const toml::node* several = root.get("kinds");
        if (single && several) fail(*several, "kinds", "give kind or kinds, not both");
        if (!single && !several) fail(0, "kind", "missing (one of " + name_list(kind_names) + ")");
        std::vector<std::pair<const toml::node*, std::string>> named;
        if (single) {
            named.emplace_back(single, "kind");
        } else {
            const toml::array* list = several->as_array();
            if (!list || list->empty()) fail(*several, "kinds", "must be a list of one or more kinds");
            for (std::size_t i = 0; i < list->size(); ++i)
                named.emplace_back(&(*list)[i], "kinds[" + std::to_string(i) + "]");
        }
        std::vector<ImageKind> out;
        for (const auto& [node, key] : named) {
            const std::string name = text(*node, key);
            const std::optional<ImageKind> kind = find_kind(name);
            if (!kind) fail(*node, key, "unknown kind \"" + name + "\" (one of " + name_list(kind_names) + ")");
            if (std::find(out.begin(), out.end(), *kind) != out.end())
                fail(*node, key, "kind \"" + name + "\" named twice");
            out.push_back(*kind);
        }
        return out;
    }

    std::map<std::uint16_t, std::string> strings(const toml::node& node) const {
        const toml::table* table = node.as_table();
        if (!table) fail(node, "strings", "must be a table of ID = \"text\"");
        std::map<std::uint16_t, std::string> out;
        for (auto&& [key, value] : *table) {
            const std::string id_text(key.str());
            const std::string name = "strings." + id_text;
            if (id_text.empty() || id_text.size() > 6 ||
                !std::all_of(id_text.begin(), id_text.end(), [](char c) { return c >= '0' && c <= '9'; }))
                fail(value, name, "a string ID is a decimal number");
            const unsigned long id = std::stoul(id_text);
            if (id > 0xFFFF) fail(value, name, "string ID out of range (0 to 65535)");
            if (!out.emplace(static_cast<std::uint16_t>(id), text(value, name)).second)
                fail(value, name, "string ID " + std::to_string(id) + " given twice");
        }
        return out;
    }

    Translation translation_of(const toml::table& table, const std::string& prefix) const {
        Translation out;
        for (const char* field : {"language", "code_page"}) {
            const toml::node* node = table.get(field);
            if (!node) fail(line_of(table), prefix + field, "missing");
            (field == std::string("language") ? out.language : out.code_page) = word(*node, prefix + field);
        }
        return out;
    }

    VersionInfo version(const toml::node& node) const {
        const toml::table* table = node.as_table();
        if (!table) fail(node, "version", "must be a table");
        only_known(*table, "version.",
                   {"file_version", "product_version", "file_os", "file_type", "file_subtype", "file_flags",
                    "file_flags_mask", "translation"});
        VersionInfo out;
        const toml::node* file_version = table->get("file_version");
        if (!file_version) fail(line_of(node), "version.file_version", "missing");
        out.file_version = version_number(*file_version, "version.file_version");
        const toml::node* product_version = table->get("product_version");
        out.product_version =
            product_version ? version_number(*product_version, "version.product_version") : out.file_version;
        if (const toml::node* os = table->get("file_os"))
            out.file_os = named_dword(*os, "version.file_os", file_os_names);
        if (const toml::node* type = table->get("file_type"))
            out.file_type = named_dword(*type, "version.file_type", file_type_names);
        if (const toml::node* subtype = table->get("file_subtype"))
            out.file_subtype = dword(*subtype, "version.file_subtype");
        if (const toml::node* flags = table->get("file_flags")) out.file_flags = dword(*flags, "version.file_flags");
        if (const toml::node* mask = table->get("file_flags_mask"))
            out.file_flags_mask = dword(*mask, "version.file_flags_mask");

        const toml::node* translations = table->get("translation");
        if (!translations) return out;
        const toml::array* list = translations->as_array();
        if (!list || !list->is_array_of_tables())
            fail(*translations, "version.translation", "must be [[version.translation]] tables");
        for (std::size_t i = 0; i < list->size(); ++i) {
            const toml::table& entry = *(*list)[i].as_table();
            const std::string prefix = "version.translation[" + std::to_string(i) + "].";
            VersionStrings strings{translation_of(entry, prefix), {}};
            // Every other key is a string value; the block keeps them in the recipe's
            // order, which the TOML table itself does not remember.
            std::vector<std::pair<toml::source_position, std::pair<std::string, std::string>>> values;
            for (auto&& [key, value] : entry) {
                if (key.str() == "language" || key.str() == "code_page") continue;
                const std::string name(key.str());
                values.push_back({value.source().begin, {name, text(value, prefix + name)}});
            }
            std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
                return a.first.line != b.first.line ? a.first.line < b.first.line : a.first.column < b.first.column;
            });
            for (auto& value : values) strings.values.push_back(std::move(value.second));
            out.translations.push_back(strings.translation);
            if (!strings.values.empty()) out.string_tables.push_back(std::move(strings));
        }
        return out;
    }

    std::vector<std::string> exports(const toml::node& node) const {
        const toml::array* list = node.as_array();
        if (!list) fail(node, "exports", "must be a list of names");
        std::vector<std::string> out;
        std::set<std::string> seen;
        for (std::size_t i = 0; i < list->size(); ++i) {
            const std::string key = "exports[" + std::to_string(i) + "]";
            std::string name = text((*list)[i], key);
            if (name.empty()) fail((*list)[i], key, "an export needs a name");
            if (!seen.insert(name).second) fail((*list)[i], key, "\"" + name + "\" exported twice");
            out.push_back(std::move(name));
        }
        return out;
    }

private:
    const std::string& source_;
};

}  // namespace

std::optional<VersionNumber> parse_version(std::string_view text) {
    std::array<std::uint16_t, 4> parts{};
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find('.', start), text.size());
        const std::string_view part = text.substr(start, end - start);
        if (count == parts.size() || part.empty() || part.size() > 5 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const unsigned long number = std::stoul(std::string(part));
        if (number > 0xFFFF) return std::nullopt;
        parts[count++] = static_cast<std::uint16_t>(number);
        if (end == text.size()) break;
        start = end + 1;
    }
    return VersionNumber{parts[0], parts[1], parts[2], parts[3]};
}

const char* kind_name(ImageKind kind) { return kind_names[static_cast<std::size_t>(kind)].name; }

std::optional<ImageKind> find_kind(std::string_view name) {
    for (const Named& named : kind_names)
        if (name == named.name) return static_cast<ImageKind>(named.value);
    return std::nullopt;
}

ImageRecipe RecipeFile::for_kind(ImageKind kind) const {
    ImageRecipe out = recipe;
    out.kind = kind;
    return out;
}

std::optional<ImageKind> RecipeFile::kind_for_arch(std::string_view arch) const {
    if (arch != "x86" && arch != "x64") return std::nullopt;
    const ImageKind native = arch == "x86" ? ImageKind::pe32 : ImageKind::pe32_plus;
    for (ImageKind kind : {native, ImageKind::ne})
        if (std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) return kind;
    return std::nullopt;
}

RecipeFile parse_recipe(std::string_view text, const std::string& source) {
    toml::table root;
    try {
        root = toml::parse(text, source);
    } catch (const toml::parse_error& error) {
        throw RecipeError(source, error.source().begin.line, {}, std::string(error.description()));
    }
    const Reader reader(source);
    reader.only_known(root, "", {"kind", "kinds", "dll", "module_name", "language", "strings", "version", "exports"});

    RecipeFile out;
    out.source = source;
    out.kinds = reader.kinds(root);
    ImageRecipe& recipe = out.recipe;
    recipe.kind = out.kinds.front();

    const toml::node* dll = root.get("dll");
    if (!dll) reader.fail(0, "dll", "missing (true for a DLL, false for a program)");
    recipe.dll = reader.boolean(*dll, "dll");
    const toml::node* module_name = root.get("module_name");
    if (!module_name) reader.fail(0, "module_name", "missing");
    recipe.module_name = reader.text(*module_name, "module_name");
    if (recipe.module_name.empty()) reader.fail(*module_name, "module_name", "must not be empty");
    if (const toml::node* language = root.get("language")) recipe.language = reader.word(*language, "language");
    if (const toml::node* strings = root.get("strings")) recipe.strings = reader.strings(*strings);
    if (const toml::node* version = root.get("version")) recipe.version = reader.version(*version);
    if (const toml::node* exports = root.get("exports")) recipe.exports = reader.exports(*exports);

    // What a 16-bit image cannot hold is refused here, where the key can be named,
    // rather than when the image is built.
    if (std::find(out.kinds.begin(), out.kinds.end(), ImageKind::ne) != out.kinds.end()) {
        if (!recipe.exports.empty()) reader.fail(*root.get("exports"), "exports", "an NE image takes no exports");
        const toml::table* strings = root["strings"].as_table();
        for (const auto& [id, string] : recipe.strings)
            if (string.size() > 0xFF)
                reader.fail(*strings->get(std::to_string(id)), "strings." + std::to_string(id),
                            "an NE image holds strings of up to 255 characters");
        if (recipe.module_name.size() > 0xFF)
            reader.fail(*module_name, "module_name", "over 255 characters for an NE image");
    }
    return out;
}

RecipeFile read_recipe(const std::filesystem::path& path) {
    const std::string source = path.filename().string();
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RecipeError(path.string(), 0, {}, "cannot be opened");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) throw RecipeError(path.string(), 0, {}, "cannot be read");
    return parse_recipe(text.str(), source);
}

std::string describe(const ImageRecipe& recipe) {
    std::ostringstream out;
    out << kind_name(recipe.kind) << ' ' << (recipe.dll ? "DLL" : "program") << ", module " << recipe.module_name
        << ", resource language " << hex4(recipe.language) << '\n';
    out << "strings: " << recipe.strings.size() << '\n';
    for (const auto& [id, text] : recipe.strings) out << "  " << id << " = " << quoted(text) << '\n';
    if (!recipe.version) {
        out << "version: none\n";
    } else {
        const VersionInfo& version = *recipe.version;
        out << "version: file " << version_text(version.file_version) << ", product "
            << version_text(version.product_version) << '\n';
        out << "  file_os "
            << hex8(version.file_os.value_or(recipe.kind == ImageKind::ne ? vos_dos_windows16 : vos_nt_windows32))
            << (version.file_os ? "" : " (default)") << ", file_type "
            << hex8(version.file_type.value_or(recipe.dll ? vft_dll : vft_app))
            << (version.file_type ? "" : " (default)") << ", file_subtype " << hex8(version.file_subtype) << '\n';
        out << "  file_flags " << hex8(version.file_flags) << " of mask " << hex8(version.file_flags_mask) << '\n';
        for (const Translation& translation : version.translations)
            out << "  translation " << hex4(translation.language) << ' ' << hex4(translation.code_page) << '\n';
        for (const VersionStrings& table : version.string_tables) {
            out << "  StringFileInfo " << table.translation.key() << '\n';
            for (const auto& [name, value] : table.values) out << "    " << name << " = " << quoted(value) << '\n';
        }
    }
    out << "exports: " << recipe.exports.size() << '\n';
    for (const std::string& name : recipe.exports) out << "  " << name << '\n';
    return out.str();
}

}  // namespace mkimage
