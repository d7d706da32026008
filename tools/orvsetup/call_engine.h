// Calls the library's exports as a setup program does: the library loaded with
// LoadLibraryA, each export found with GetProcAddress, and after each call the error
// text fetched and the restart flag asked. Win32 only: it runs on Windows or winsim.
#pragma once

#include "call_observer.h"
#include "signatures.h"

#include <cstdio>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace orvsetup {

// A definition record given whole rather than through a file: `words` points into
// what `owner` keeps alive.
struct GivenRecord {
    void* words = nullptr;
    std::shared_ptr<void> owner;
};

// The word that stands for an argument's given record.
inline constexpr const char* given_record_word = "@record";

struct CallRequest {
    std::string export_name;
    std::vector<std::string> words;
    // Records a setup script defines in place, by argument index; their word is
    // given_record_word.
    std::map<std::size_t, GivenRecord> records = {};
};

// What one call answered and what was seen during it.
struct CallOutcome {
    const Signature* signature = nullptr;
    CallResult result;
    std::vector<Argument> arguments;
    std::string error_text;
    DWORD last_error = 0;  // read before anything else is called
    LONG reboot_required = 0;
    std::vector<std::string> seen;
};

// The library loaded as a setup program loads it, with the exports that tell the error
// text and the restart flag found; calls made through it run one after the other in
// one process, so the error flag carries from one to the next.
class CallSession {
public:
    // Answers null, with what went wrong in `problem`, when the library does not load.
    static std::unique_ptr<CallSession> open(std::string& problem);
    ~CallSession();
    CallSession(const CallSession&) = delete;
    CallSession& operator=(const CallSession&) = delete;

    // Calls a checked request; `problem` says when the library lacks its export.
    std::optional<CallOutcome> call(const CallRequest& request, const CallObserver& observe, std::string& problem);

    // The error-state exports asked after each call.
    struct Exports;

private:
    CallSession(HMODULE library, std::unique_ptr<Exports> exports);
    HMODULE library_;
    std::unique_ptr<Exports> exports_;
    std::vector<CallResult> results_;
};

// The out values of a call in argument order, as texts ("42", or a buffer's text up to
// its first NUL).
std::vector<std::string> out_values(const std::vector<Argument>& arguments);

// An error text a line at a time, each line after `indent`.
void print_error_text(std::FILE* out, const std::string& error_text, const char* indent);

// Checks the words of every call against the export's signature before anything
// runs; answers an empty text, or what is wrong.
std::string check_calls(const std::vector<CallRequest>& calls);

// The arguments of one call of a checked run, made from its words; `results` are the
// answers of the calls before it.
std::vector<Argument> prepare_arguments(const CallRequest& call, const std::vector<CallResult>& results);

// Runs the calls in one process, one after the other, and prints each outcome to `out`
// (one JSON object a line with `json`) with what `observe` saw. Answers 0, or 1 when
// the library or an export could not be found (said on `err`).
int run_calls(const std::vector<CallRequest>& calls, bool json, std::FILE* out, std::FILE* err,
              const CallObserver& observe = {});

}  // namespace orvsetup
