#include <winsim/faults.h>

#include <algorithm>

namespace winsim {

void Faults::fail(std::string_view api, DWORD code, unsigned nth, FaultMode mode) {
    std::vector<std::string> apis;
    if (api != any_api) apis.emplace_back(api);
    fail_any_of(std::move(apis), code, nth, mode);
}

void Faults::fail_any_of(std::vector<std::string> apis, DWORD code, unsigned nth, FaultMode mode) {
    rules_.push_back(Rule{std::move(apis), code, std::max(nth, 1u), mode});
}

void Faults::clear() { rules_.clear(); }

unsigned Faults::calls(std::string_view api) const {
    auto it = counts_.find(api);
    return it == counts_.end() ? 0 : it->second;
}

unsigned Faults::total_calls() const { return total_; }

DWORD Faults::on_call(std::string_view api) {
    ++counts_[std::string(api)];
    ++total_;
    DWORD injected = 0;
    for (Rule& rule : rules_) {
        bool matches = rule.apis.empty() || std::find(rule.apis.begin(), rule.apis.end(), api) != rule.apis.end();
        if (!matches) continue;
        ++rule.seen;
        bool fires = rule.mode == FaultMode::once ? rule.seen == rule.nth : rule.seen >= rule.nth;
        if (!fires || injected) continue;
        injected = rule.code;
        injections_.push_back(Injection{std::string(api), rule.seen, rule.code});
        if (on_inject) on_inject(injections_.back());
    }
    return injected;
}

}  // namespace winsim
