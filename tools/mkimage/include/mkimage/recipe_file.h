// Recipes kept as TOML files: what one component's image holds (its kind, module name,
// string table, version resource and exports), written down once and built for each
// architecture it ships for. Only the host build reads them; the image library itself
// stays free of the TOML reader so that it builds for Windows as well.
//
//   kinds = ["pe32", "pe32_plus"]       # or kind = "ne"; one image per kind
//   dll = true
//   module_name = "ORVMON"
//   exports = ["InitializePrintMonitor"]
//   [strings]
//   300 = "Orvana Fax Port"
//   [version]
//   file_version = "4.1.0.7"
//   [[version.translation]]
//   language = 0x0409
//   code_page = 0x04E4
//   CompanyName = "Orvana Imaging"
#pragma once

#include <mkimage/image.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mkimage {

// A recipe that cannot be read. what() is the whole message a person needs:
// "orvmon.dll.toml:12: strings.70000: string ID out of range (0 to 65535)".
class RecipeError : public std::runtime_error {
public:
    RecipeError(std::string source, std::size_t line, std::string key, const std::string& problem);
    const std::string& source() const { return source_; }
    std::size_t line() const { return line_; }  // 0 when the position is not known
    const std::string& key() const { return key_; }

private:
    std::string source_;
    std::size_t line_;
    std::string key_;
};

struct RecipeFile {
    std::string source;            // the name messages give the recipe
    std::vector<ImageKind> kinds;  // one or more, each once, in the recipe's order
    ImageRecipe recipe;            // its kind is kinds.front()

    // The recipe with `kind` for its kind; `kind` must be one of `kinds`.
    ImageRecipe for_kind(ImageKind kind) const;
    // The kind that serves machines of `arch` ("x86" or "x64"): PE32 on x86, PE32+ on
    // x64, and an NE image on either, since both run 16-bit modules. nullopt when the
    // recipe names none of them for that architecture.
    std::optional<ImageKind> kind_for_arch(std::string_view arch) const;
};

// `text` read as a recipe; `source` names it in messages. Throws RecipeError.
RecipeFile parse_recipe(std::string_view text, const std::string& source);
// The recipe file at `path`, named in messages by its file name.
RecipeFile read_recipe(const std::filesystem::path& path);

// "4.1.0.7" as a version: up to four numbers 0 to 65535, missing ones 0; nullopt for
// anything else.
std::optional<VersionNumber> parse_version(std::string_view text);

const char* kind_name(ImageKind kind);
std::optional<ImageKind> find_kind(std::string_view name);

// What `recipe` gives, for a person: its headers, strings, version block and exports,
// one item a line.
std::string describe(const ImageRecipe& recipe);

}  // namespace mkimage
