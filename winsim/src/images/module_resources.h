// Resources of the process's modules that other parts of winsim serve (LoadBitmapA).
#pragma once

#include <winsim/windows.h>

#include <optional>
#include <string>

namespace winsim::detail {

// The bytes of a module's bitmap resource (BITMAPINFOHEADER, colours, bits), or none
// with the error telling how far the lookup got.
std::optional<std::string> module_bitmap(HINSTANCE instance, WORD id, DWORD& error);

}  // namespace winsim::detail
