// The library's texts: every one is an entry of its own string table.
#pragma once

#include "platform.h"
#include "messages.h"

// Loads text `id` into `buffer` of `size` characters, cut to fit; a missing text is empty.
int load_text(UINT id, LPSTR buffer, int size);

// Buffer sizes, in characters with the terminator, that texts are loaded into.
constexpr int activity_text_size = 100;
constexpr int entry_format_size = 256;
constexpr int note_size = 512;
constexpr int warning_text_size = 500;
constexpr int box_title_size = 100;
