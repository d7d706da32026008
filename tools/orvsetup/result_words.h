// A result as a setup author reads it: the number, then what it means ("-13 replacement
// waits for the restart", "1801 printer-name error").
#pragma once

#include "orvinstl.h"

#include <string>

namespace orvsetup {

// The meaning alone ("replacement waits for the restart"), or "" for a number nobody
// named here.
const char* result_meaning(LONG result);
// The number with its meaning, or the number alone.
std::string result_in_words(LONG result);

}  // namespace orvsetup
