// mkimage's recipes, over any text: a recipe it reads builds an image of each of its
// kinds, and winsim's reader finds in each what the recipe put there (the string
// table, the version resource, the exports); a recipe it refuses is refused with a
// message naming where.
#include "support/fuzz_support.h"

#include "images/image_reader.h"

#include <mkimage/recipe_file.h>

#include <stdexcept>

namespace {

winsim::detail::ImageFormat format_of(mkimage::ImageKind kind) {
    switch (kind) {
    case mkimage::ImageKind::pe32: return winsim::detail::ImageFormat::pe32;
    case mkimage::ImageKind::pe32_plus: return winsim::detail::ImageFormat::pe32_plus;
    case mkimage::ImageKind::ne: return winsim::detail::ImageFormat::ne;
    }
    return winsim::detail::ImageFormat::pe32;
}

void require_image_holds(const mkimage::ImageRecipe& recipe) {
    std::string bytes;
    try {
        bytes = mkimage::build_image(recipe);
    } catch (const std::exception& error) {
        fuzz::broken("a recipe that was read does not build", error.what());
    }
    std::optional<winsim::detail::Image> image = winsim::detail::Image::parse(bytes);
    fuzz::require(image.has_value(), "winsim does not read the image built", mkimage::kind_name(recipe.kind));
    fuzz::require(image->format() == format_of(recipe.kind), "the image is of another kind");
    for (const auto& [id, text] : recipe.strings) {
        winsim::detail::StringLookup found = image->load_string(id);
        fuzz::require(found.lookup == winsim::detail::ResourceLookup::found && found.text == text,
                      "a string reads otherwise than the recipe gives it", std::to_string(id) + ": " + found.text);
    }
    const bool versioned = image->find_resource(winsim::detail::resource_type_version, 1).lookup ==
                           winsim::detail::ResourceLookup::found;
    fuzz::require(versioned == recipe.version.has_value(), "the version resource is not as the recipe says");
    if (recipe.kind != mkimage::ImageKind::ne) {
        fuzz::require(image->is_dll() == recipe.dll, "a DLL reads as a program, or the other way");
        for (const std::string& name : recipe.exports) fuzz::require(image->has_export(name), "an export is missing", name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mkimage::RecipeFile recipe;
    try {
        recipe = mkimage::parse_recipe(text, "fuzz.toml");
    } catch (const mkimage::RecipeError& error) {
        fuzz::require(error.source() == "fuzz.toml" && std::string_view(error.what()).starts_with("fuzz.toml"),
                      "a refusal does not name the recipe", error.what());
        return 0;
    }
    for (mkimage::ImageKind kind : recipe.kinds) require_image_holds(recipe.for_kind(kind));
    return 0;
}
