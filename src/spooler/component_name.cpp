#include "component_name.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"

namespace {

LONG fatal(LONG code) {
    error_flag = 1;
    return code;
}

}  // namespace

LONG read_component_name(LPCSTR path, const ComponentNameSteps& steps, LPSTR name) {
    HMODULE module = LoadLibraryA(path);
    if (!module) return fatal(record_last_error(steps.loading_message, path, 0, 0));
    // One character more than a name may have: a name that fills it was cut.
    char text[component_name_size + 1];
    int length = LoadStringA(module, steps.name_string, text, component_name_size + 1);
    FreeLibrary(module);
    if (!length) {
        record_last_error(steps.reading_message, path, 0, 0);
        record_warning(steps.not_product_warning);
        return fatal(steps.not_product_result);
    }
    if (length >= component_name_size) return fatal(record_error(ERROR_INVALID_NAME, steps.reading_message, path, 0, 0));
    lstrcpyA(name, text);
    return 0;
}

LPCSTR file_name_of(LPCSTR path) {
    LPCSTR name = path;
    for (LPCSTR p = path; *p; ++p)
        if (*p == '\\') name = p + 1;
    return name;
}
