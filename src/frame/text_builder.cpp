#include "text_builder.h"
#include "memory.h"

namespace {

int decimal_length(LONG number, char* digits) {
    // Written backwards into `digits` (12 characters), answered as the count.
    unsigned long magnitude = number < 0 ? 0UL - static_cast<unsigned long>(number) : static_cast<unsigned long>(number);
    int length = 0;
    do {
        digits[length++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (number < 0) digits[length++] = '-';
    return length;
}

// One pass over the format: counts the characters, and writes them when `out` is given.
SIZE_T fill(LPCSTR format, const TextArgument* arguments, int count, LPSTR out) {
    SIZE_T length = 0;
    int next = 0;
    auto put = [&](char c) {
        if (out) out[length] = c;
        ++length;
    };
    for (LPCSTR p = format; *p; ++p) {
        bool is_text = p[0] == '%' && p[1] == 's';
        bool is_number = p[0] == '%' && (p[1] == 'd' || (p[1] == 'l' && p[2] == 'd'));
        if ((!is_text && !is_number) || next >= count) {
            put(*p);
            continue;
        }
        const TextArgument& argument = arguments[next++];
        if (is_text) {
            for (LPCSTR t = argument.text ? argument.text : ""; *t; ++t) put(*t);
            p += 1;
        } else {
            char digits[12];
            for (int i = decimal_length(argument.number, digits); i > 0; --i) put(digits[i - 1]);
            p += p[1] == 'l' ? 2 : 1;
        }
    }
    return length;
}

}  // namespace

BuiltText::BuiltText(LPCSTR format, const TextArgument* arguments, int count) {
    SIZE_T length = fill(format, arguments, count, nullptr);
    LPSTR target = length < fixed_size ? fixed_ : static_cast<LPSTR>(heap_alloc(length + 1));
    if (!target) return;
    fill(format, arguments, count, target);
    target[length] = '\0';
    text_ = target;
}

BuiltText::~BuiltText() {
    if (text_ && text_ != fixed_) heap_free(text_);
}
