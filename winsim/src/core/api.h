// The entry of every Win32 call that winsim implements: it counts the call when it
// comes from outside winsim and answers whether fault injection fails it.
#pragma once

#include "core/state.h"

#include <string>
#include <string_view>

namespace winsim::detail {

class ApiCall {
public:
    explicit ApiCall(std::string_view name);
    ~ApiCall();
    ApiCall(const ApiCall&) = delete;
    ApiCall& operator=(const ApiCall&) = delete;
    // The code this call is to fail with, or 0.
    DWORD injected() const { return injected_; }

private:
    DWORD injected_ = 0;
};

// Runs code that is not winsim's (a module's entry point) as an outside caller, so
// that its own calls are counted and can be failed.
class ForeignCode {
public:
    ForeignCode();
    ~ForeignCode();
    ForeignCode(const ForeignCode&) = delete;
    ForeignCode& operator=(const ForeignCode&) = delete;

private:
    int saved_depth_;
};

void set_last_error(DWORD code);

// Sets the last error and answers the call's failure value, in one statement.
template <typename Result>
Result fail(DWORD code, Result result) {
    set_last_error(code);
    return result;
}

// A form of a call that nothing has needed yet was reached. It is said on standard
// error, so that a silent guess never makes a test pass for the wrong reason, and the
// call fails with ERROR_CALL_NOT_IMPLEMENTED: no input a program passes ends the process.
void report_not_simulated(std::string_view what);

template <typename Result>
Result not_simulated(std::string_view what, Result failure) {
    report_not_simulated(what);
    return fail(ERROR_CALL_NOT_IMPLEMENTED, failure);
}

// The same for the calls that return their code instead of setting the last error.
inline LONG unsimulated_code(std::string_view what) {
    report_not_simulated(what);
    return ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace winsim::detail

// Fails the call with the injected code when fault injection says so.
#define WINSIM_API(name, failure_value)                            \
    ::winsim::detail::ApiCall winsim_api_call_(name);              \
    if (DWORD winsim_code_ = winsim_api_call_.injected()) {        \
        ::winsim::detail::set_last_error(winsim_code_);            \
        return failure_value;                                      \
    }
