#include "catalogue.h"
#include "platform_flags.h"

int load_text(UINT id, LPSTR buffer, int size) { return LoadStringA(module_handle, id, buffer, size); }
