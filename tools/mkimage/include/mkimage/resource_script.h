// A recipe's resources as a resource script, for a module that is built from code
// rather than written by mkimage: the compiled module then carries the same string
// table and version block as the image the recipe makes, from the one recipe.
#pragma once

#include <mkimage/image.h>

#include <string>

namespace mkimage {

// The string table and version resource of `recipe` as resource-compiler source, in
// the recipe's language. Texts are written as ANSI (code page 1252) with quotes doubled
// and backslashes escaped; the version block's OS and type take the defaults the
// image would give (Win32 on NT, a DLL or a program after the recipe).
std::string resource_script(const ImageRecipe& recipe);

}  // namespace mkimage
