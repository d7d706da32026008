// JSON as orvsetup prints it for scripts: texts of the machine's 8-bit characters.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace orvsetup {

// A JSON string of 8-bit characters, each byte as the code point of the same number.
void print_json_string(std::FILE* out, std::string_view text);
// A further field of an object being printed: `, "key": "text"`.
void print_json_field(std::FILE* out, const char* key, std::string_view text);
// A JSON array of texts.
void print_json_strings(std::FILE* out, const std::vector<std::string>& texts);

}  // namespace orvsetup
