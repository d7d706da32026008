// The module's one export: LoadString32_16, whose contract stands in brg32res.h.
#include "brg32res.h"
#include "ne_strings.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr UINT largest_string_id = 0xFFFF;

}  // namespace

extern "C" int WINAPI LoadString32_16(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size) {
    if (!buffer || buffer_size <= 0) return 0;
    buffer[0] = '\0';
    if (!module_path || id > largest_string_id) return 0;
    std::optional<std::string> text;
    try {
        brg32res::ModuleFile file(module_path);
        text = brg32res::find_ne_string(file, static_cast<std::uint16_t>(id));
    } catch (const std::bad_alloc&) {
        // Out of memory is the only thing that can throw here, and it means no string.
        return 0;
    }
    if (!text) return 0;
    const std::size_t count = std::min<std::size_t>(text->size(), static_cast<std::size_t>(buffer_size) - 1);
    std::memcpy(buffer, text->data(), count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}
