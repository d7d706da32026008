// The process-wide error state: one error text that failures are appended to, the flag
// that blocks operations after a fatal failure, and the flag that asks for a restart.
#pragma once

#include "platform.h"

extern LPSTR error_text;  // LocalAlloc block, or null when there is no text
extern LONG error_flag;
extern LONG reboot_flag;
// Set when a change would need the spooler restarted; no operation sets it today.
extern LONG spooler_restart_pending;

// Called at attach: the text starts empty (a text of an earlier process is not ours
// to free), both flags 0.
void reset_error_state();

// The recorders. Each records an entry for `code` naming the activity `message_id` and,
// when given, the object concerned; a code of 0 or equal to an ignore code records
// nothing. Each answers the code, which callers return as their result.
LONG record_last_error(UINT message_id, LPCSTR value_name, DWORD ignore1, DWORD ignore2);
LONG record_error(DWORD code, UINT message_id, LPCSTR value_name, DWORD ignore1, DWORD ignore2);
// As record_last_error, but the entry is shown in a message box instead of kept.
LONG show_last_error(HWND owner, UINT message_id, LPCSTR value_name, DWORD ignore1, DWORD ignore2);
// Appends the whole sentence `message_id` as a warning entry.
void record_warning(UINT message_id);
