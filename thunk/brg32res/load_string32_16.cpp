// The module's one export: LoadString32_16, whose contract stands in brg32res.h.
#include "brg32res.h"
#include "ne_strings.h"

#include <algorithm>

namespace {

constexpr UINT largest_string_id = 0xFFFF;

}  // namespace

extern "C" int WINAPI LoadString32_16(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size) {
    if (!buffer || buffer_size <= 0) return 0;
    buffer[0] = '\0';
    if (!module_path || id > largest_string_id) return 0;
    brg32res::ModuleFile file(module_path);
    std::optional<brg32res::StringPlace> place = brg32res::find_ne_string(file, static_cast<std::uint16_t>(id));
    if (!place) return 0;
    const DWORD count = std::min<DWORD>(place->length, static_cast<DWORD>(buffer_size) - 1);
    // The text goes straight into the caller's buffer; a read that fails there leaves
    // it empty again, so that the buffer never holds part of a string with result 0.
    if (count && !file.read(place->offset, buffer, count)) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[count] = '\0';
    return static_cast<int>(count);
}
