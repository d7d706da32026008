#include "call_engine.h"

#include "definition_records.h"
#include "json_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orvsetup {

namespace {

constexpr std::size_t largest_out_buffer = 1 << 20;

bool parse_number(const std::string& word, LONG_PTR& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(word.c_str(), &end, 0);
    if (errno || *end) return false;
    // A number parameter is 32 bits; unsigned ones are written in full (0xFFFFFFFF).
    if (parsed < -2147483648LL || parsed > 4294967295LL) return false;
    value = static_cast<LONG_PTR>(parsed);
    return true;
}

// "$K": the result of the K-th call, counted from 1.
bool parse_reference(const std::string& word, std::size_t before, std::size_t& index) {
    if (word.size() < 2 || word[0] != '$') return false;
    LONG_PTR k = 0;
    if (!parse_number(word.substr(1), k) || k < 1 || static_cast<std::size_t>(k) > before) return false;
    index = static_cast<std::size_t>(k) - 1;
    return true;
}

// "A,B,C" as the list a driver's dependent files are given in: each entry ended by a NUL,
// and the list by an empty entry (the terminator the text carries anyway).
std::string file_list(const std::string& entries) {
    std::string list;
    std::size_t start = 0;
    while (start < entries.size()) {
        std::size_t comma = entries.find(',', start);
        if (comma == std::string::npos) comma = entries.size();
        if (comma > start) list += entries.substr(start, comma - start) + '\0';
        start = comma + 1;
    }
    return list;
}

// "@printer:FILE" or "@port:FILE": the record the file defines, kept by the argument.
template <typename Read>
std::string prepare_record(const std::string& word, std::string_view prefix, const char* what, Read read, Argument& argument) {
    if (word.rfind(prefix, 0) != 0) return std::string(what) + " is written " + std::string(prefix) + "FILE.toml, or null";
    try {
        auto record = read(word.substr(prefix.size()));
        argument.pointer = &record->words;
        argument.record = std::move(record);
    } catch (const RecordError& error) {
        return error.what();
    }
    return {};
}

// Turns one word into an argument of the parameter's kind; answers what is wrong, or "".
std::string prepare(ParameterKind kind, const CallRequest& call, std::size_t index, std::size_t call_index,
                    const std::vector<CallResult>& results, Argument& argument) {
    const std::string& word = call.words[index];
    argument.kind = kind;
    bool pointer_kind = kind != ParameterKind::number;
    if (word == "null" && pointer_kind) {
        argument.null = true;
        return {};
    }
    std::size_t reference = 0;
    bool is_reference = word.size() > 1 && word[0] == '$';
    if (is_reference && !parse_reference(word, call_index, reference))
        return "'" + word + "' names no earlier call";
    switch (kind) {
    case ParameterKind::text:
        if (is_reference) return "a text cannot be taken from a call's result";
        if (word.rfind("@list:", 0) == 0) {
            argument.text = file_list(word.substr(6));
            return {};
        }
        argument.text = word.rfind("@text:", 0) == 0 ? word.substr(6) : word;
        return {};
    case ParameterKind::number:
    case ParameterKind::window:
        if (is_reference) {
            argument.number = results[reference].number;
            argument.pointer = reinterpret_cast<void*>(argument.number);
            return {};
        }
        if (!parse_number(word, argument.number)) return "'" + word + "' is not a number";
        argument.pointer = reinterpret_cast<void*>(argument.number);
        return {};
    case ParameterKind::out_long:
        if (word != "@long") return "an out 32-bit value is written @long";
        return {};
    case ParameterKind::out_buffer: {
        LONG_PTR size = 0;
        if (word.rfind("@out:", 0) != 0 || !parse_number(word.substr(5), size) || size < 0 ||
            static_cast<std::size_t>(size) > largest_out_buffer)
            return "an out buffer is written @out:N (N bytes, at most 1048576)";
        argument.buffer_size = static_cast<std::size_t>(size);
        argument.buffer = std::make_unique<char[]>(argument.buffer_size);
        return {};
    }
    case ParameterKind::cursor:
        if (!is_reference) return "a printer cursor is the result of an earlier call, written $K";
        argument.pointer = results[reference].pointer;
        return {};
    case ParameterKind::port_record:
    case ParameterKind::printer_record:
        if (word == given_record_word) {
            auto given = call.records.find(index);
            if (given == call.records.end()) return "no record is given for this argument";
            argument.pointer = given->second.words;
            argument.record = given->second.owner;
            return {};
        }
        if (kind == ParameterKind::printer_record)
            return prepare_record(word, "@printer:", "a printer definition", read_printer_record, argument);
        return prepare_record(word, "@port:", "a port definition", read_port_record, argument);
    }
    return "unknown parameter";
}

std::string usage_of(const Signature& signature) {
    std::string text = std::string(signature.name) + "(";
    for (std::size_t i = 0; i < signature.parameters.size(); ++i)
        text += (i ? ", " : "") + std::string(kind_name(signature.parameters[i]));
    return text + ")";
}

std::string check_shape(const CallRequest& call) {
    const Signature* signature = find_signature(call.export_name);
    if (!signature) return "no export is named " + call.export_name;
    if (call.words.size() != signature->parameters.size())
        return call.export_name + " takes " + std::to_string(signature->parameters.size()) + " arguments: " +
               usage_of(*signature);
    return {};
}

std::size_t text_length(const char* text, std::size_t size) {
    const void* end = std::memchr(text, '\0', size);
    return end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : size;
}

template <typename F>
bool find_export(HMODULE library, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr;
}

}  // namespace

struct CallSession::Exports {
    LONG(WINAPI* error_text_length)() = nullptr;
    LONG(WINAPI* retrieve_error_text)(LPSTR) = nullptr;
    LONG(WINAPI* reboot_required)() = nullptr;
};

namespace {

std::string fetch_error_text(const CallSession::Exports& exports) {
    LONG size = exports.error_text_length();
    if (size <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    exports.retrieve_error_text(buffer.data());
    return std::string(buffer.data(), text_length(buffer.data(), buffer.size()));
}

std::string buffer_text(const Argument& argument) {
    return {argument.buffer.get(), text_length(argument.buffer.get(), argument.buffer_size)};
}

bool is_out_value(const Argument& argument) {
    return !argument.null && (argument.kind == ParameterKind::out_long || argument.kind == ParameterKind::out_buffer);
}

void print_outcome(std::FILE* out, bool json, const CallOutcome& outcome) {
    const Signature& signature = *outcome.signature;
    const CallResult& result = outcome.result;
    bool cursor = signature.result == ResultKind::cursor;
    if (json) {
        std::fprintf(out, "{\"export\": \"%s\", \"result\": ", std::string(signature.name).c_str());
        if (cursor) std::fprintf(out, "%s", result.pointer ? "\"cursor\"" : "null");
        else std::fprintf(out, "%ld", static_cast<long>(static_cast<LONG>(result.number)));
        std::fputs(", \"out\": [", out);
        bool first = true;
        for (const Argument& argument : outcome.arguments) {
            if (!is_out_value(argument)) continue;
            if (!first) std::fputs(", ", out);
            first = false;
            if (argument.kind == ParameterKind::out_long) std::fprintf(out, "%ld", static_cast<long>(argument.out_long));
            else print_json_string(out, buffer_text(argument));
        }
        std::fputs("], \"error_text\": ", out);
        print_json_string(out, outcome.error_text);
        std::fprintf(out, ", \"reboot_required\": %ld, \"seen\": ", static_cast<long>(outcome.reboot_required));
        print_json_strings(out, outcome.seen);
        std::fputs("}\n", out);
        return;
    }
    if (cursor) std::fprintf(out, "%s -> %s\n", std::string(signature.name).c_str(), result.pointer ? "cursor" : "null");
    else std::fprintf(out, "%s -> %ld\n", std::string(signature.name).c_str(), static_cast<long>(static_cast<LONG>(result.number)));
    for (const Argument& argument : outcome.arguments) {
        if (!is_out_value(argument)) continue;
        if (argument.kind == ParameterKind::out_long) {
            std::fprintf(out, "  out: %ld\n", static_cast<long>(argument.out_long));
        } else {
            std::fputs("  out: ", out);
            print_json_string(out, buffer_text(argument));
            std::fputc('\n', out);
        }
    }
    print_error_text(out, outcome.error_text, "  | ");
    for (const std::string& line : outcome.seen) std::fprintf(out, "  seen: %s\n", line.c_str());
    if (outcome.reboot_required) std::fputs("  a restart of Windows is required\n", out);
}

}  // namespace

std::string check_calls(const std::vector<CallRequest>& calls) {
    std::vector<CallResult> no_results(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        std::string problem = check_shape(calls[i]);
        if (!problem.empty()) return problem;
        const Signature& signature = *find_signature(calls[i].export_name);
        for (std::size_t j = 0; j < calls[i].words.size(); ++j) {
            Argument argument;
            problem = prepare(signature.parameters[j], calls[i], j, i, no_results, argument);
            if (!problem.empty())
                return calls[i].export_name + ", argument " + std::to_string(j + 1) + ": " + problem + " (" +
                       usage_of(signature) + ")";
        }
    }
    return {};
}

std::vector<Argument> prepare_arguments(const CallRequest& call, const std::vector<CallResult>& results) {
    const Signature& signature = *find_signature(call.export_name);
    std::vector<Argument> arguments(call.words.size());
    for (std::size_t j = 0; j < arguments.size(); ++j)
        prepare(signature.parameters[j], call, j, results.size(), results, arguments[j]);
    return arguments;
}

std::vector<std::string> out_values(const std::vector<Argument>& arguments) {
    std::vector<std::string> values;
    for (const Argument& argument : arguments) {
        if (!is_out_value(argument)) continue;
        if (argument.kind == ParameterKind::out_long) values.push_back(std::to_string(argument.out_long));
        else values.push_back(buffer_text(argument));
    }
    return values;
}

void print_error_text(std::FILE* out, const std::string& error_text, const char* indent) {
    std::size_t start = 0;
    while (start < error_text.size()) {
        std::size_t end = error_text.find('\n', start);
        if (end == std::string::npos) end = error_text.size();
        std::fprintf(out, "%s%s\n", indent, error_text.substr(start, end - start).c_str());
        start = end + 1;
    }
}

CallSession::CallSession(HMODULE library, std::unique_ptr<Exports> exports)
    : library_(library), exports_(std::move(exports)) {}

CallSession::~CallSession() { FreeLibrary(library_); }

std::unique_ptr<CallSession> CallSession::open(std::string& problem) {
    HMODULE library = LoadLibraryA("OrvInstl.dll");
    if (!library) {
        problem = "OrvInstl.dll does not load (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    auto exports = std::make_unique<Exports>();
    if (!find_export(library, "ErrorTextLen", exports->error_text_length) ||
        !find_export(library, "RetrieveErrorText", exports->retrieve_error_text) ||
        !find_export(library, "RebootRequired", exports->reboot_required)) {
        problem = "OrvInstl.dll lacks its error-state exports";
        FreeLibrary(library);
        return nullptr;
    }
    return std::unique_ptr<CallSession>(new CallSession(library, std::move(exports)));
}

std::optional<CallOutcome> CallSession::call(const CallRequest& request, const CallObserver& observe, std::string& problem) {
    FARPROC address = GetProcAddress(library_, request.export_name.c_str());
    if (!address) {
        problem = "OrvInstl.dll does not export " + request.export_name;
        return std::nullopt;
    }
    CallOutcome outcome;
    outcome.signature = find_signature(request.export_name);
    outcome.arguments = prepare_arguments(request, results_);
    outcome.result = outcome.signature->invoke(address, outcome.arguments);
    outcome.last_error = GetLastError();
    results_.push_back(outcome.result);
    outcome.error_text = fetch_error_text(*exports_);
    outcome.reboot_required = exports_->reboot_required();  // may restart the spooler itself
    if (observe) outcome.seen = observe();
    return outcome;
}

int run_calls(const std::vector<CallRequest>& calls, bool json, std::FILE* out, std::FILE* err,
              const CallObserver& observe) {
    std::string problem = check_calls(calls);
    if (!problem.empty()) {
        std::fprintf(err, "orvsetup: %s\n", problem.c_str());
        return 2;
    }
    std::unique_ptr<CallSession> session = CallSession::open(problem);
    if (!session) {
        std::fprintf(err, "orvsetup: %s\n", problem.c_str());
        return 1;
    }
    for (const CallRequest& call : calls) {
        std::optional<CallOutcome> outcome = session->call(call, observe, problem);
        if (!outcome) {
            std::fprintf(err, "orvsetup: %s\n", problem.c_str());
            return 1;
        }
        print_outcome(out, json, *outcome);
        // A later call may end the process: what was answered so far is out already.
        std::fflush(out);
    }
    return 0;
}

}  // namespace orvsetup
