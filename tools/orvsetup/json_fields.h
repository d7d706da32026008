// Reads back the flat JSON objects orvsetup writes a line each: values are texts, whole
// numbers, true or false, and lists of texts. Texts hold the machine's 8-bit characters,
// each written as the code point of the same number (print_json_string).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvsetup {

using JsonValue = std::variant<std::string, long long, bool, std::vector<std::string>>;

class JsonFields {
public:
    // Null, with what is wrong in `problem`, for a line that is not such an object.
    static std::optional<JsonFields> read(std::string_view line, std::string& problem);

    bool has(const std::string& key) const { return values_.count(key) != 0; }
    // The value of `key` when it has that kind; otherwise `fallback`.
    std::string text(const std::string& key, const std::string& fallback = {}) const;
    long long number(const std::string& key, long long fallback = 0) const;
    bool flag(const std::string& key, bool fallback = false) const;
    std::vector<std::string> texts(const std::string& key) const;

private:
    std::map<std::string, JsonValue> values_;
};

}  // namespace orvsetup
