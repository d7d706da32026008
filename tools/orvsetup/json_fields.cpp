#include "json_fields.h"

#include <cctype>
#include <cstdlib>

namespace orvsetup {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool object(std::map<std::string, JsonValue>& values) {
        if (!take('{')) return fail("an object starts with {");
        if (take('}')) return at_end();
        do {
            std::string key;
            if (!string(key)) return false;
            if (!take(':')) return fail("':' after the key " + key);
            JsonValue value;
            if (!value_of(value)) return false;
            values[key] = std::move(value);
        } while (take(','));
        if (!take('}')) return fail("',' or '}' expected");
        return at_end();
    }

    std::string problem;

private:
    void skip_spaces() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }

    bool take(char c) {
        skip_spaces();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool take_word(std::string_view word) {
        skip_spaces();
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool fail(const std::string& what) {
        if (problem.empty()) problem = what + " at column " + std::to_string(at_ + 1);
        return false;
    }

    bool at_end() {
        skip_spaces();
        return at_ == text_.size() || fail("nothing may follow the object");
    }

    bool value_of(JsonValue& value) {
        skip_spaces();
        if (at_ >= text_.size()) return fail("a value expected");
        const char c = text_[at_];
        if (c == '"') {
            std::string text;
            if (!string(text)) return false;
            value = std::move(text);
            return true;
        }
        if (c == '[') return list(value);
        if (take_word("true")) {
            value = true;
            return true;
        }
        if (take_word("false")) {
            value = false;
            return true;
        }
        return whole_number(value);
    }

    bool list(JsonValue& value) {
        take('[');
        std::vector<std::string> texts;
        if (!take(']')) {
            do {
                std::string text;
                if (!string(text)) return false;
                texts.push_back(std::move(text));
            } while (take(','));
            if (!take(']')) return fail("',' or ']' expected in a list of texts");
        }
        value = std::move(texts);
        return true;
    }

    bool whole_number(JsonValue& value) {
        const std::string rest(text_.substr(at_, 24));
        char* end = nullptr;
        const long long number = std::strtoll(rest.c_str(), &end, 10);
        if (end == rest.c_str() || (*end != '\0' && std::string_view(",]} ").find(*end) == std::string_view::npos))
            return fail("a text, a whole number, true, false or a list of texts expected");
        at_ += static_cast<std::size_t>(end - rest.c_str());
        value = number;
        return true;
    }

    bool string(std::string& text) {
        if (!take('"')) return fail("a text expected");
        while (at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c != '\\') {
                text += c;
                continue;
            }
            if (at_ >= text_.size()) break;
            const char escape = text_[at_++];
            switch (escape) {
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case 't': text += '\t'; break;
            case 'b': text += '\b'; break;
            case 'f': text += '\f'; break;
            case '"': case '\\': case '/': text += escape; break;
            case 'u': {
                const std::string digits(text_.substr(at_, 4));
                char* end = nullptr;
                const long code = digits.size() == 4 ? std::strtol(digits.c_str(), &end, 16) : -1;
                // Only the machine's own 8-bit characters are ever written.
                if (code < 0 || code > 0xFF || end != digits.c_str() + 4) return fail("\\u escape of a character above 0xFF");
                text += static_cast<char>(code);
                at_ += 4;
                break;
            }
            default: return fail(std::string("unknown escape \\") + escape);
            }
        }
        if (!take('"')) return fail("unterminated text");
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

template <typename T>
const T* value_of(const std::map<std::string, JsonValue>& values, const std::string& key) {
    auto found = values.find(key);
    return found == values.end() ? nullptr : std::get_if<T>(&found->second);
}

}  // namespace

std::optional<JsonFields> JsonFields::read(std::string_view line, std::string& problem) {
    JsonFields fields;
    Reader reader(line);
    if (!reader.object(fields.values_)) {
        problem = reader.problem;
        return std::nullopt;
    }
    return fields;
}

std::string JsonFields::text(const std::string& key, const std::string& fallback) const {
    const std::string* value = value_of<std::string>(values_, key);
    return value ? *value : fallback;
}

long long JsonFields::number(const std::string& key, long long fallback) const {
    const long long* value = value_of<long long>(values_, key);
    return value ? *value : fallback;
}

bool JsonFields::flag(const std::string& key, bool fallback) const {
    const bool* value = value_of<bool>(values_, key);
    return value ? *value : fallback;
}

std::vector<std::string> JsonFields::texts(const std::string& key) const {
    const std::vector<std::string>* value = value_of<std::vector<std::string>>(values_, key);
    return value ? *value : std::vector<std::string>{};
}

}  // namespace orvsetup
