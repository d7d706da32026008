#include "json_text.h"

namespace orvsetup {

void print_json_string(std::FILE* out, std::string_view text) {
    std::fputc('"', out);
    for (char byte : text) {
        auto c = static_cast<unsigned char>(byte);
        switch (c) {
        case '"': std::fputs("\\\"", out); break;
        case '\\': std::fputs("\\\\", out); break;
        case '\n': std::fputs("\\n", out); break;
        case '\r': std::fputs("\\r", out); break;
        case '\t': std::fputs("\\t", out); break;
        default:
            if (c < 0x20 || c >= 0x7F) std::fprintf(out, "\\u%04x", c);
            else std::fputc(c, out);
        }
    }
    std::fputc('"', out);
}

void print_json_field(std::FILE* out, const char* key, std::string_view text) {
    std::fprintf(out, ", \"%s\": ", key);
    print_json_string(out, text);
}

void print_json_strings(std::FILE* out, const std::vector<std::string>& texts) {
    std::fputc('[', out);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i) std::fputs(", ", out);
        print_json_string(out, texts[i]);
    }
    std::fputc(']', out);
}

}  // namespace orvsetup
