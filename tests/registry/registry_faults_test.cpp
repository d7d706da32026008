// Every registry call and allocation of each operation is failed in turn, until the
// operation runs through: each failure must leave the entry of its step, the result
// the step gives, and nothing open or allocated behind it.
#include "support/library.h"
#include "support/registry.h"

#include "registry/registry_cache.h"
#include "registry/registry_path.h"

#include <functional>
#include <map>

namespace {

using winsim::Platform;

const std::vector<std::string> swept_apis = {
    "HeapAlloc", "LocalAlloc", "InitializeSecurityDescriptor", "SetSecurityDescriptorDacl", "RegOpenKeyExA",
    "RegCreateKeyExA", "RegQueryValueExA", "RegSetValueExA", "RegQueryInfoKeyA", "RegEnumValueA",
};

struct Step {
    const char* activity;  // null: the failure is not recorded and the operation goes on
    LONG result;           // what the operation answers when this step fails
};

// The outcomes a failure of one api may have in an operation: several steps of it may
// call the same api.
using Steps = std::map<std::string, std::vector<Step>>;

struct Operation {
    const char* name;
    std::function<void()> prepare;
    std::function<LONG()> run;
    Steps steps;
    std::function<void()> finish = [] {};
};

constexpr DWORD injected = ERROR_ACCESS_DENIED;

const TemplateRow rows[] = {
    {"Output Prefix", -1, REG_SZ, "AAAA"},
    {"Driver Timeout", -1, REG_DWORD, "60"},
    {"Blob", 2, REG_BINARY, "\x01\x02"},
    {nullptr, 0, 0, nullptr},
};
const TemplateKey keys[] = {{"HKLM/Software/Orvana/Port", rows}, {nullptr, nullptr}};

void lay_out_port_key() {
    testing_support::store_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Output Prefix", REG_SZ, "BBBB");
    testing_support::store_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Driver Timeout", REG_DWORD,
                                 testing_support::dword_bytes(90));
    testing_support::store_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Blob", REG_BINARY, "\x03\x04");
}

// The cache a cache operation works on: made before the faults, freed after them.
KeyEntry* cache = nullptr;
void make_cache() { cache = cache_from_template(keys); }
void make_cache_on_port_key() {
    lay_out_port_key();
    make_cache();
}
void free_cache() {
    cache_free(cache);
    cache = nullptr;
}

const Step path_steps_heap{"Memory allocation", ERROR_NOT_ENOUGH_MEMORY};
const Step path_steps_local{"Memory allocation", injected};
const Step path_steps_security{"traverse_path (registry key creator)", injected};
const Step path_steps_open{"traverse_path (RegOpenKeyEx)", injected};
const Step path_steps_create{"traverse_path (RegCreateKeyEx)", injected};

std::vector<Operation> operations() {
    Steps path_steps = {{"HeapAlloc", {path_steps_heap}},
                        {"LocalAlloc", {path_steps_local}},
                        {"InitializeSecurityDescriptor", {path_steps_security}},
                        {"SetSecurityDescriptorDacl", {path_steps_security}},
                        {"RegOpenKeyExA", {path_steps_open}},
                        {"RegCreateKeyExA", {path_steps_create}}};
    auto with = [&](Steps more) {
        Steps all = path_steps;
        for (auto& [api, steps] : more) all[api].insert(all[api].end(), steps.begin(), steps.end());
        return all;
    };
    return {
        {"traverse_path", [] {},
         [] {
             LONG error = 0;
             HKEY key = traverse_path("HKLM/Software/Orvana/New/Key", &error);
             if (!error) RegCloseKey(key);
             return error;
         },
         path_steps},
        {"insSetRegistryVal", [] {}, [] { return insSetRegistryVal("HKLM/Software/Orvana/Test", "Answer", "42", REG_DWORD, -1); },
         with({{"RegSetValueExA", {{"set individual registry data [RegSetValueEx(REG_DWORD)]", injected}}}})},
        {"insFetchRegistryVal", lay_out_port_key,
         [] {
             BYTE buffer[32];
             LONG type = 0, needed = 0;
             return insFetchRegistryVal("HKLM/Software/Orvana/Port", "Blob", buffer, &type, sizeof buffer, &needed);
         },
         with({{"RegQueryValueExA", {{"retrieve_data (RegQueryValueEx)", injected},
                                     {"retrieve_data [RegValueQueryEx(REG_BINARY)]", injected}}}})},
        {"insFetchPrinterVal", [] { insSetPrinterVal("Fax", "Mode", "text", REG_SZ, -1); },
         [] {
             BYTE buffer[32];
             LONG type = 0, needed = 0;
             return insFetchPrinterVal("Fax", "Mode", buffer, &type, sizeof buffer, &needed);
         },
         with({{"RegQueryValueExA", {{"retrieve_data (RegQueryValueEx)", injected},
                                     {"retrieve_data [RegValueQueryEx(REG_SZ)]", injected}}}})},
        {"cache_save", make_cache, [] { return cache_save(cache); },
         with({{"RegSetValueExA", {{"save registry data [RegSetValueEx(REG_SZ)]", injected},
                                   {"save registry data [RegSetValueEx(REG_DWORD)]", injected},
                                   {"save registry data [RegSetValueEx(REG_BINARY)]", injected}}}}),
         free_cache},
        // A cache stands for the key when it is written again: a value it could not take
        // whole stops it with the recorded code, never silently.
        {"cache_load", make_cache_on_port_key, [] { return cache_load(cache); },
         with({{"RegQueryInfoKeyA", {{"RegQueryKeyInfo", injected}}},
               {"HeapAlloc", {{"allocating memory for registry data cache", 0}}},
               {"RegEnumValueA", {{"retrieve_data (RegQueryValueEx)", 0}}},
               {"RegQueryValueExA", {{"retrieve_data [RegValueQueryEx(REG_SZ)]", 0},
                                     {"retrieve_data [RegValueQueryEx(REG_DWORD)]", 0}}}}),
         free_cache},
        {"retrieve_data", make_cache_on_port_key, [] { return retrieve_data(cache); },
         with({{"HeapAlloc", {{"allocating memory for registry data cache", ERROR_NOT_ENOUGH_MEMORY}}},
               {"RegQueryValueExA", {{"retrieve_data (RegQueryValueEx)", 0}, {"retrieve_data [RegValueQueryEx(REG_SZ)]", 0},
                                     {"retrieve_data [RegValueQueryEx(REG_DWORD)]", 0}}}}),
         free_cache},
        {"ConfirmRegValueExists", lay_out_port_key,
         [] { return ConfirmRegValueExists("HKLM/Software/Orvana/Port", "Blob") == 1 ? 0 : 1; },
         {{"HeapAlloc", {{"Memory allocation", 1}}},
          {"RegOpenKeyExA", {{"ConfirmRegValueExists", 1}}},
          {"RegQueryValueExA", {{"ConfirmRegValueExists", 1}}}}},
    };
}

class RegistryFaults : public testing_support::LibraryTest, public testing::WithParamInterface<std::size_t> {};

TEST_P(RegistryFaults, EachFailingStepIsRecordedAndNothingLeaks) {
    Operation operation = operations()[GetParam()];
    int failures_seen = 0;
    for (unsigned nth = 1; nth < 200; ++nth) {
        start(Platform::nt4);
        std::size_t heap_before = machine->live_heap_blocks();
        operation.prepare();
        machine->faults().fail_any_of(swept_apis, injected, nth);
        LONG result = operation.run();
        std::string text = take_error_text();
        machine->faults().clear();
        operation.finish();
        EXPECT_EQ(machine->open_handles(), 0u) << operation.name << " call " << nth;
        EXPECT_EQ(machine->live_heap_blocks(), heap_before) << operation.name << " call " << nth;
        EXPECT_EQ(machine->live_local_blocks(), 0u) << operation.name << " call " << nth;
        if (machine->faults().injections().empty()) {
            EXPECT_EQ(result, 0) << operation.name << " runs through";
            EXPECT_EQ(text, "");
            EXPECT_GT(failures_seen, 2) << operation.name << ": the sweep reached its steps";
            return;
        }
        ++failures_seen;
        const std::string& api = machine->faults().injections()[0].api;
        SCOPED_TRACE(std::string(operation.name) + ": " + api + " failed at call " + std::to_string(nth));
        bool known = false;
        for (const Step& step : operation.steps[api]) {
            bool text_matches = step.activity
                                    ? text.rfind(std::string("Printer installer WARNING (") + step.activity + "): \nerror #", 0) == 0
                                    : text.empty();
            if (text_matches && (step.result == 0 || result == step.result)) known = true;
        }
        EXPECT_TRUE(known) << "result " << result << ", text: " << text;
    }
    ADD_FAILURE() << operation.name << " never ran through";
}

INSTANTIATE_TEST_SUITE_P(Operations, RegistryFaults, testing::Range<std::size_t>(0, 8),
                         [](const auto& param_info) { return std::string(operations()[param_info.param].name); });

}  // namespace
