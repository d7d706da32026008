#include "observation.h"

#include <cstdio>

namespace conformance {

std::string escaped(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                char code[5];
                std::snprintf(code, sizeof code, "\\x%02X", byte);
                out += code;
            } else {
                out += c;
            }
        }
    }
    return out;
}

void Facts::key(std::string_view name) {
    if (!text_.empty()) text_ += ' ';
    text_ += name;
    text_ += '=';
}

Facts& Facts::number(std::string_view name, long long value) {
    key(name);
    text_ += std::to_string(value);
    return *this;
}

Facts& Facts::hex(std::string_view name, unsigned long value) {
    key(name);
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%08lX", value & 0xFFFFFFFFUL);
    text_ += digits;
    return *this;
}

Facts& Facts::text(std::string_view name, std::string_view bytes) {
    key(name);
    text_ += '"';
    text_ += escaped(bytes);
    text_ += '"';
    return *this;
}

Facts& Facts::word(std::string_view name, std::string_view value) {
    key(name);
    text_ += escaped(value);
    return *this;
}

Facts& Facts::append(const Facts& other) {
    if (!text_.empty() && !other.text_.empty()) text_ += ' ';
    text_ += other.text_;
    return *this;
}

std::string line(std::string_view scenario, std::string_view step, const Facts& facts) {
    return escaped(scenario) + '\t' + escaped(step) + '\t' + facts.str() + '\n';
}

}  // namespace conformance
