// What orvsetup knows of each export: the kinds of its parameters and result, taken
// from the declarations of the library's public header, so the two cannot drift apart.
#pragma once

#include "orvinstl.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvsetup {

enum class ParameterKind {
    text,         // LPCSTR: the word as text
    number,       // LONG, DWORD: the word parsed
    out_long,     // LPLONG: @long
    out_buffer,   // LPSTR, LPBYTE: @out:N
    window,       // HWND: null or a number
    cursor,       // a printer cursor: $K
    port_record,     // const INS_PORT_DEFINITION*: @port:FILE.toml
    printer_record,  // const INS_PRINTER_DEFINITION*: @printer:FILE.toml
};

enum class ResultKind { number, cursor, boolean };

// One argument as the runner prepared it, before it takes the parameter's type.
struct Argument {
    ParameterKind kind = ParameterKind::number;
    bool null = false;
    LONG_PTR number = 0;
    void* pointer = nullptr;
    std::string text;
    // Out buffer of exactly the size asked for, zero-filled. Its own allocation, even
    // for size 0, so that a zero-size buffer is a real pointer the export may not write
    // through (and the sanitizer build catches a write past any size).
    std::unique_ptr<char[]> buffer;
    std::size_t buffer_size = 0;
    LONG out_long = 0;
    // A definition read from its file: `pointer` points at its words, which live here.
    std::shared_ptr<void> record;
};

// The result of a call, as a number or a pointer.
struct CallResult {
    LONG_PTR number = 0;
    void* pointer = nullptr;
};

// Calls the export at `address` with its own parameter types.
typedef CallResult (*Invoker)(FARPROC address, std::vector<Argument>& arguments);

struct Signature {
    std::string_view name;
    ResultKind result;
    std::vector<ParameterKind> parameters;
    Invoker invoke;
};

const std::vector<Signature>& export_signatures();
const Signature* find_signature(std::string_view name);
const char* kind_name(ParameterKind kind);

}  // namespace orvsetup
