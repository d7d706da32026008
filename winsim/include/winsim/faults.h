// Fault injection: any Win32 call that the library makes can be made to fail, so that
// every failure path it records can be driven from a test.
#pragma once

#include <winsim/windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

enum class FaultMode {
    once,          // only the nth call fails
    from_then_on,  // the nth call and every call after it fail
};

struct Injection {
    std::string api;
    unsigned call_number;  // the how-manieth matching call since the rule was made
    DWORD code;
};

// Only calls that come from outside winsim are counted: when CopyFileA opens files
// inside winsim, those opens are neither counted nor failed.
class Faults {
public:
    // The wildcard api name: a rule for "*" counts every call of every api.
    static constexpr std::string_view any_api = "*";

    // Fail the nth counted call of `api` from now on with `code` (the api returns its
    // failure value and, where it has one, sets the last error or returns the code).
    void fail(std::string_view api, DWORD code, unsigned nth = 1, FaultMode mode = FaultMode::once);
    // The same over a group of apis counted together, for sweeps over, say, every
    // registry call and allocation of an operation.
    void fail_any_of(std::vector<std::string> apis, DWORD code, unsigned nth = 1, FaultMode mode = FaultMode::once);
    void fail_always(std::string_view api, DWORD code) { fail(api, code, 1, FaultMode::from_then_on); }
    // Drops every rule; counts stay.
    void clear();

    unsigned calls(std::string_view api) const;
    // Every api's count of calls, by name.
    const std::map<std::string, unsigned, std::less<>>& counts() const { return counts_; }
    unsigned total_calls() const;
    const std::vector<Injection>& injections() const { return injections_; }

    // Called for every injected failure; a place to break on in a debugger.
    std::function<void(const Injection&)> on_inject;

    // For winsim's api entries: counts the call and answers the code to fail with, or 0.
    DWORD on_call(std::string_view api);

private:
    struct Rule {
        std::vector<std::string> apis;  // empty: every api
        DWORD code;
        unsigned nth;
        FaultMode mode;
        unsigned seen = 0;  // matching calls since the rule was made
    };
    std::vector<Rule> rules_;
    std::map<std::string, unsigned, std::less<>> counts_;
    unsigned total_ = 0;
    std::vector<Injection> injections_;
};

}  // namespace winsim
