// The name a component of the product carries in its own file: the port monitor's and
// the print processor's identity, which no caller supplies.
#pragma once

#include "platform.h"

// Size, in characters with the terminator, of the buffer a component's name goes into.
constexpr int component_name_size = 80;

struct ComponentNameSteps {
    UINT name_string;      // the string resource that holds the name
    UINT loading_message;  // the module cannot be loaded
    UINT reading_message;  // it holds no name, or one too long
    UINT not_product_warning;
    LONG not_product_result;
};

// Loads the module at `path` and reads its name into `name` (component_name_size). 0, or
// the failure recorded as `steps` say, with error_flag set: a file that is not the
// product's, or whose name had to be cut (a cut name could be another component's).
LONG read_component_name(LPCSTR path, const ComponentNameSteps& steps, LPSTR name);

// The part of a path after its last "\" (the whole path when it has none).
LPCSTR file_name_of(LPCSTR path);
