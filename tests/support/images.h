// Small product files with the version facts a test needs, written by mkimage.
#pragma once

#include <mkimage/image.h>

#include <string>
#include <vector>

namespace testing_support {

inline std::string versioned_dll(mkimage::VersionNumber version, const std::string& tag,
                                 mkimage::ImageKind kind = mkimage::ImageKind::pe32,
                                 std::vector<mkimage::Translation> translations = {mkimage::Translation{0x0409, 1252}}) {
    mkimage::ImageRecipe recipe;
    recipe.kind = kind;
    recipe.module_name = "ORVTEST";
    recipe.strings[1] = tag;  // tells copies apart
    mkimage::VersionInfo info;
    info.file_version = version;
    info.product_version = version;
    info.translations = translations;
    for (const mkimage::Translation& translation : translations)
        info.string_tables.push_back(mkimage::VersionStrings{
            translation, {{"FileVersion", std::to_string(version.major) + "." + std::to_string(version.minor)}}});
    recipe.version = info;
    return mkimage::build_image(recipe);
}

inline std::string unversioned_dll(const std::string& tag) {
    mkimage::ImageRecipe recipe;
    recipe.strings[1] = tag;
    return mkimage::build_image(recipe);
}

}  // namespace testing_support
