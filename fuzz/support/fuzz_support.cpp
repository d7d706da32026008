#include "support/fuzz_support.h"

#include "orvinstl.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

void broken(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "\n== broken: %.*s\n", static_cast<int>(what.size()), what.data());
    if (!detail.empty()) std::fprintf(stderr, "%.*s\n", static_cast<int>(detail.size()), detail.data());
    std::abort();
}

std::string printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    return out;
}

std::unique_ptr<winsim::Machine> machine_with_library(winsim::Platform platform) {
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::create(platform);
    require(LoadLibraryA("OrvInstl.dll") != nullptr, "the library does not load");
    return machine;
}

Holdings holdings(const winsim::Machine& machine) {
    return {machine.live_local_blocks(), machine.live_heap_blocks(), machine.open_handles(), machine.loaded_modules()};
}

std::string take_error_text() {
    const LONG size = ErrorTextLen();
    if (size <= 0) return {};
    std::string buffer(static_cast<std::size_t>(size), '\0');
    require(RetrieveErrorText(buffer.data()) == 1, "the error text cannot be taken");
    buffer.pop_back();
    return buffer;
}

std::string text(FuzzedDataProvider& input, std::size_t max_length) {
    std::string bytes = input.ConsumeRandomLengthString(max_length);
    std::erase(bytes, '\0');
    return bytes;
}

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

bool ini_holds_as_is(std::string_view text, std::string_view forbidden) {
    if (text.empty() || blank(text.front()) || blank(text.back())) return false;
    if (text.find_first_of(forbidden) != std::string_view::npos || text.find_first_of("\r\n") != std::string_view::npos)
        return false;
    return !(text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front());
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t at = 0; at < a.size(); ++at)
        if (std::toupper(static_cast<unsigned char>(a[at])) != std::toupper(static_cast<unsigned char>(b[at]))) return false;
    return true;
}

std::string short_form(const std::string& path) {
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

}  // namespace fuzz
