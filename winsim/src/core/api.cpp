#include "core/api.h"

#include <cstdio>

namespace winsim::detail {

namespace {
int depth = 0;
}

ApiCall::ApiCall(std::string_view name) {
    if (depth++ == 0) injected_ = state().faults.on_call(name);
}

ApiCall::~ApiCall() { --depth; }

ForeignCode::ForeignCode() : saved_depth_(depth) { depth = 0; }

ForeignCode::~ForeignCode() { depth = saved_depth_; }

void set_last_error(DWORD code) { state().last_error = code; }

void report_not_simulated(std::string_view what) {
    std::fprintf(stderr, "winsim: not simulated: %.*s\n", static_cast<int>(what.size()), what.data());
}

}  // namespace winsim::detail
