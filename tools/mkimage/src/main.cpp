// mkimage: writes the image a recipe file describes.
//
//   mkimage RECIPE.toml -o OUT [--kind KIND | --arch x86|x64]
//   mkimage RECIPE.toml --print [--kind KIND | --arch x86|x64]
//   mkimage RECIPE.toml --rc OUT.rc          the resources alone, as a resource script
//
// --file-version A.B.C.D puts another file version in place of the recipe's, for a
// newer build of the same component.
#include <mkimage/image.h>
#include <mkimage/recipe_file.h>
#include <mkimage/resource_script.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string recipe;
    std::string output;
    std::string kind;
    std::string arch;
    std::string resource_script;
    std::string file_version;
    bool print = false;
};

// The kinds this run builds: the one asked for, else the recipe's only kind; a
// recipe of several kinds prints them all but writes only the one chosen.
std::vector<mkimage::ImageKind> chosen_kinds(const mkimage::RecipeFile& recipe, const Options& options) {
    if (!options.kind.empty()) {
        const std::optional<mkimage::ImageKind> kind = mkimage::find_kind(options.kind);
        if (!kind) throw std::runtime_error("unknown kind " + options.kind + " (pe32, pe32_plus or ne)");
        if (std::find(recipe.kinds.begin(), recipe.kinds.end(), *kind) == recipe.kinds.end())
            throw std::runtime_error(recipe.source + ": names no " + options.kind + " image");
        return {*kind};
    }
    if (!options.arch.empty()) {
        const std::optional<mkimage::ImageKind> kind = recipe.kind_for_arch(options.arch);
        if (!kind) throw std::runtime_error(recipe.source + ": names no image for " + options.arch);
        return {*kind};
    }
    if (recipe.kinds.size() > 1 && !options.output.empty())
        throw std::runtime_error(recipe.source + ": names several kinds; choose one with --kind or --arch");
    return recipe.kinds;
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    // Written aside and then moved over the old file, so that a build stopped halfway
    // never leaves a cut image that looks up to date.
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file.flush()) throw std::runtime_error("cannot write " + partial.string());
    }
    std::filesystem::rename(partial, path);
}

// The recipe as read, with the file version the command line gives instead of its own.
mkimage::RecipeFile chosen_recipe(const Options& options) {
    mkimage::RecipeFile recipe = mkimage::read_recipe(options.recipe);
    if (options.file_version.empty()) return recipe;
    const std::optional<mkimage::VersionNumber> version = mkimage::parse_version(options.file_version);
    if (!version) throw std::runtime_error("--file-version " + options.file_version + " is not a version (as 4.1.0.7)");
    if (!recipe.recipe.version) throw std::runtime_error(recipe.source + ": has no version block to give another file version");
    recipe.recipe.version->file_version = *version;
    return recipe;
}

int run(const Options& options) {
    const mkimage::RecipeFile recipe = chosen_recipe(options);
    if (!options.resource_script.empty()) write_file(options.resource_script, mkimage::resource_script(recipe.recipe));
    if (options.output.empty() && !options.print) return 0;
    for (mkimage::ImageKind kind : chosen_kinds(recipe, options)) {
        const mkimage::ImageRecipe image_recipe = recipe.for_kind(kind);
        std::string bytes;
        try {
            bytes = mkimage::build_image(image_recipe);
        } catch (const std::invalid_argument& error) {
            throw std::runtime_error(recipe.source + ": as " + mkimage::kind_name(kind) + ": " + error.what());
        }
        if (options.print)
            std::cout << recipe.source << " as " << mkimage::kind_name(kind) << ": " << bytes.size() << " bytes\n"
                      << mkimage::describe(image_recipe);
        if (!options.output.empty()) write_file(options.output, bytes);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes the executable image a TOML recipe describes (PE32, PE32+ or NE)."};
    Options options;
    app.add_option("recipe", options.recipe, "the recipe file")->required()->check(CLI::ExistingFile);
    app.add_option("-o,--output", options.output, "where to write the image");
    app.add_flag("--print", options.print, "show what the recipe gives");
    CLI::Option* kind = app.add_option("--kind", options.kind, "which of the recipe's kinds: pe32, pe32_plus or ne");
    app.add_option("--arch", options.arch, "the kind for machines of x86 (PE32) or x64 (PE32+); NE serves both")
        ->check(CLI::IsMember({"x86", "x64"}))
        ->excludes(kind);
    app.add_option("--rc", options.resource_script, "where to write the recipe's resources as a resource script");
    app.add_option("--file-version", options.file_version, "a file version in place of the recipe's (A.B.C.D)");
    CLI11_PARSE(app, argc, argv);
    if (options.output.empty() && !options.print && options.resource_script.empty()) {
        std::cerr << "mkimage: nothing to do: give -o OUT, --rc OUT or --print\n";
        return 2;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        std::cerr << "mkimage: " << error.what() << '\n';
        return 1;
    }
}
