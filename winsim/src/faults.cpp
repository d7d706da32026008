#include <winsim/faults.h>

#include <algorithm>

namespace winsim {

void Faults::fail(std::string_view api, DWORD code, unsigned nth, FaultMode mode) {
    unsigned already = api == any_api ? total_ : calls(api);
    rules_.push_back(Rule{std::string(api), code, already + std::max(nth, 1u), mode});
}

void Faults::clear() { rules_.clear(); }

unsigned Faults::calls(std::string_view api) const {
    auto it = counts_.find(api);
    return it == counts_.end() ? 0 : it->second;
}

unsigned Faults::total_calls() const { return total_; }

DWORD Faults::on_call(std::string_view api) {
    unsigned& count = counts_[std::string(api)];
    ++count;
    ++total_;
    for (const Rule& rule : rules_) {
        bool wildcard = rule.api == any_api;
        if (!wildcard && rule.api != api) continue;
        unsigned number = wildcard ? total_ : count;
        bool fires = rule.mode == FaultMode::once ? number == rule.fire_at : number >= rule.fire_at;
        if (!fires) continue;
        injections_.push_back(Injection{std::string(api), number, rule.code});
        if (on_inject) on_inject(injections_.back());
        return rule.code;
    }
    return 0;
}

}  // namespace winsim
