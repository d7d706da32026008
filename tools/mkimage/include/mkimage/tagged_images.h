// Small DLLs told apart by a tag in their string table, with or without a version
// resource: what a file-copy check needs to see which copy ended up where.
#pragma once

#include <mkimage/image.h>

#include <string>
#include <vector>

namespace mkimage {

inline std::string versioned_dll(VersionNumber version, const std::string& tag, ImageKind kind = ImageKind::pe32,
                                 std::vector<Translation> translations = {Translation{0x0409, 1252}}) {
    ImageRecipe recipe;
    recipe.kind = kind;
    recipe.module_name = "ORVTEST";
    recipe.strings[1] = tag;
    VersionInfo info;
    info.file_version = version;
    info.product_version = version;
    info.translations = translations;
    for (const Translation& translation : translations)
        info.string_tables.push_back(
            VersionStrings{translation, {{"FileVersion", std::to_string(version.major) + "." + std::to_string(version.minor)}}});
    recipe.version = info;
    return build_image(recipe);
}

inline std::string unversioned_dll(const std::string& tag) {
    ImageRecipe recipe;
    recipe.strings[1] = tag;
    return build_image(recipe);
}

}  // namespace mkimage
