// Calls the library's exports as a setup program does: the library loaded with
// LoadLibraryA, each export found with GetProcAddress, and after each call the error
// text fetched and the restart flag asked. Win32 only: it runs on Windows or winsim.
#pragma once

#include "call_observer.h"
#include "signatures.h"

#include <cstdio>
#include <string>
#include <vector>

namespace orvsetup {

struct CallRequest {
    std::string export_name;
    std::vector<std::string> words;
};

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
