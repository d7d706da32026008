// The system's own message table: the English texts FormatMessageA answers for
// FORMAT_MESSAGE_FROM_SYSTEM.
#pragma once

#include <winsim/windows.h>

namespace winsim::detail {

// The message definition for a system error code, exactly as the system's table
// holds it (inserts unexpanded, ending in CR LF), or nullptr when the table has none.
const char* system_message_text(DWORD code);

}  // namespace winsim::detail
