#include "resource_module.h"

#include <mkimage/image.h>

namespace conformance {

std::string driver_resource_module() {
    mkimage::ImageRecipe recipe;
    recipe.kind = mkimage::ImageKind::ne;
    recipe.module_name = "ORVFAX16";
    recipe.strings = {{520, "orvfax16.ini"}, {521, "Fax Owner"},   {522, "Fax Diagnostics"},
                      {523, "Docket Library"}, {524, "Cover Pages"}, {525, "Station ID"}};
    return mkimage::build_image(recipe);
}

}  // namespace conformance
