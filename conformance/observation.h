// The lane's output: one line per observation, "scenario<TAB>step<TAB>observation",
// compared line by line between a real Windows (or Wine) and winsim. Everything a line
// holds is escaped so that no text can break it, and nothing in it may vary from run
// to run (no addresses, no times, no generated names).
#pragma once

#include <string>
#include <string_view>

namespace conformance {

// The bytes as printable ASCII: \n, \r, \t, \\ and \" by name, every other byte below
// 0x20 or from 0x7F on as \xNN (upper-case hex), so an error text of several lines
// stays on one line and can still be read.
std::string escaped(std::string_view bytes);

// The observation of one step, built as "key=value" words separated by spaces; texts
// are quoted and escaped.
class Facts {
public:
    Facts& number(std::string_view key, long long value);
    // An unsigned 32-bit value as 0x%08X, for raw DWORD data.
    Facts& hex(std::string_view key, unsigned long value);
    Facts& text(std::string_view key, std::string_view bytes);
    Facts& word(std::string_view key, std::string_view value);
    Facts& append(const Facts& other);
    const std::string& str() const { return text_; }

private:
    void key(std::string_view name);
    std::string text_;
};

// "scenario\tstep\tobservation\n". Scenario and step names are written by the program
// itself, but they are escaped as well, so that a tab in one cannot add a column; the
// facts are escaped already.
std::string line(std::string_view scenario, std::string_view step, const Facts& facts);

}  // namespace conformance
