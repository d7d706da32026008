// What every fuzz target shares: a fresh machine with the library attached, texts cut
// from the fuzzer's bytes, and the stop that names a broken property.
#pragma once

#include <winsim/machine.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace fuzz {

// Prints what no longer holds and aborts, so that libFuzzer keeps the input.
[[noreturn]] void broken(std::string_view what, std::string_view detail = {});
inline void require(bool holds, std::string_view what, std::string_view detail = {}) {
    if (!holds) broken(what, detail);
}

// Bytes as a person can read them in a report: others than printable ASCII as \xNN.
std::string printable(std::string_view bytes);

// A new machine of `platform` with OrvInstl.dll loaded, as a setup program has it.
std::unique_ptr<winsim::Machine> machine_with_library(winsim::Platform platform);

// What a process holds that an operation must give back: blocks, handles, modules.
struct Holdings {
    std::size_t local_blocks, heap_blocks, handles, modules;
    bool operator==(const Holdings&) const = default;
};
Holdings holdings(const winsim::Machine& machine);

// Takes the library's error text as a setup program does, which gives its block back.
std::string take_error_text();

// A text for a C string argument: up to `max_length` bytes, with no NUL among them.
std::string text(FuzzedDataProvider& input, std::size_t max_length);

// Whether an ini line holds the text as it is, so that it reads back as written: no
// line break, nothing blank at its ends, no quotes around it, none of `forbidden`.
bool ini_holds_as_is(std::string_view text, std::string_view forbidden);

// Letters compared as the file system and the registry compare names.
bool same_name(std::string_view a, std::string_view b);

// The short (8.3) form of an existing path, or empty.
std::string short_form(const std::string& path);

}  // namespace fuzz
