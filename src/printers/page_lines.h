// The test page's lines: each drawn into the layout rectangle, whose top then moves down
// by the height drawn, so that the lines follow one another down the page.
#pragma once

#include "platform.h"

// Half an inch of the device, across or down, truncated as the layout has always taken it.
int half_inch_across(HDC printer);
int half_inch_down(HDC printer);

// Loads message `message_id`, fills it with the arguments (wvsprintfA's conversions)
// and draws it word-wrapped with tabs expanded, plus `extra_flags`: 1 drawn, 0 not (a
// missing message, or nothing drawn).
int draw_message_line(HDC printer, RECT* layout, UINT extra_flags, UINT message_id, ...);

// Selects the face of message `face_message_id` at `points` on the printer, in the
// screen's character set: the font selected before, to be selected back, or null when
// the font could not be made (nothing selected then). `font` receives the font made.
HGDIOBJ select_message_font(HDC printer, HDC screen, UINT face_message_id, int points, HFONT* font);

// Selects `previous` back and deletes `font`, also when it could not be deselected: the
// device context then lets it go when it is deleted itself.
void restore_message_font(HDC printer, HGDIOBJ previous, HFONT font);

// A driver file's line: the path it was found at and its version, when it has one.
int draw_file_line(HDC printer, RECT* layout, LPCSTR path);

// Message `message_id` with the file name of `path` (what follows its last backslash).
int draw_file_name_line(HDC printer, LPCSTR path, RECT* layout, UINT message_id);

// Whether the device prints pure blue as itself.
int is_colour_device(HDC printer);
