// Fills a catalogue format ("%s", "%d", "%ld") into a buffer as long as the result needs,
// so that a long value name reaches the reader whole rather than cut at a fixed buffer.
#pragma once

#include "platform.h"

struct TextArgument {
    LPCSTR text;  // used when not null
    LONG number;
};

inline TextArgument text_argument(LPCSTR text) { return TextArgument{text ? text : "", 0}; }
inline TextArgument number_argument(LONG number) { return TextArgument{nullptr, number}; }

// The filled text: in the fixed buffer of `Size` characters when it fits there, else in a
// heap block of its own. Conversions other than %s, %d and %ld, and conversions without
// an argument left, are copied as they stand.
class BuiltText {
public:
    static constexpr int fixed_size = 200;
    BuiltText(LPCSTR format, const TextArgument* arguments, int count);
    ~BuiltText();
    BuiltText(const BuiltText&) = delete;
    BuiltText& operator=(const BuiltText&) = delete;
    // Null when the text needed a block and none could be had.
    LPCSTR get() const { return text_; }

private:
    char fixed_[fixed_size];
    LPSTR text_ = nullptr;
};
