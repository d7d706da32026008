#include "spooler/printer_sweep.h"

#include <algorithm>

namespace testing_support {

namespace {

// The printers as they were, each on its own driver or on `new_driver`.
bool as_before(PrinterStates now, const PrinterStates& before, const std::string& new_driver) {
    for (auto& [name, state] : now)
        if (before.count(name) && state.driver == new_driver) state.driver = before.at(name).driver;
    return now == before;
}

}  // namespace

std::string sweep_case_name(const testing::TestParamInfo<SweepCase>& info) {
    return std::string(winsim::platform_info(std::get<winsim::Platform>(info.param)).name) +
           (std::get<winsim::FaultMode>(info.param) == winsim::FaultMode::once ? "_once" : "_from_then_on");
}

PrinterStates PrinterSweep::printers() const {
    PrinterStates all;
    for (const std::string& name : machine->spooler().printers()) {
        const std::vector<BYTE> record = winsim_test::printer_record(name.c_str());
        if (record.empty()) continue;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(record.data());
        PrinterState state{info->pPortName, info->pDriverName, {}, devmode(name.c_str())};
        for (const std::string& value : setting_names(name)) state.settings[value] = *setting(value.c_str(), name);
        all[name] = state;
    }
    return all;
}

std::string PrinterSweep::default_printer() const {
    char entry[256] = "";
    GetProfileStringA("windows", "device", "", entry, sizeof entry);
    const std::string text = entry;
    return text.substr(0, text.find(','));
}

void PrinterSweep::expect_nothing_left_but(unsigned failed_releases) const {
    EXPECT_LE(machine->live_heap_blocks() + machine->live_local_blocks() + machine->open_handles(), failed_releases);
}

SweepFigures PrinterSweep::sweep(const SweptOperation& operation, winsim::FaultMode mode) {
    const bool lasting = mode == winsim::FaultMode::from_then_on;
    operation.lay_out();
    const PrinterStates before = printers();
    const std::string default_before = default_printer();
    EXPECT_FALSE(before.empty());
    SweepFigures figures;
    for (unsigned nth = 1; nth < 5000; ++nth) {
        SCOPED_TRACE("call " + std::to_string(nth) + (lasting ? " and every call after it" : ""));
        operation.lay_out();
        std::string first_failed;
        unsigned failed_releases = 0;
        machine->faults().on_inject = [&](const winsim::Injection& injection) {
            if (first_failed.empty()) first_failed = injection.api;
            if (is_release(injection.api)) ++failed_releases;
        };
        machine->faults().fail(winsim::Faults::any_api, ERROR_NOT_ENOUGH_MEMORY, nth, mode);
        const LONG result = operation.run();
        machine->faults().clear();
        machine->faults().on_inject = nullptr;
        take_error_text();
        ++figures.runs;
        if (first_failed.empty()) {
            EXPECT_EQ(result, 0) << "the operation went through once nothing failed";
            EXPECT_PRED3(as_before, printers(), before, operation.new_driver());
            EXPECT_GT(nth, 20u);
            break;
        }
        SCOPED_TRACE("failed " + first_failed);
        const PrinterStates now = printers();
        // Success only for what happened: a failed call that a second try, or a step left
        // to the next start of Windows, made good.
        if (result == 0) {
            EXPECT_TRUE(operation.done()) << "a failure answered as success";
        }
        if (result == 0 || !lasting) {
            EXPECT_PRED3(as_before, now, before, operation.new_driver());
            EXPECT_EQ(default_printer(), default_before);
        } else if (std::any_of(before.begin(), before.end(), [&now](const auto& entry) { return !now.count(entry.first); })) {
            ++figures.runs_losing_a_printer;
        }
        expect_nothing_left_but(failed_releases);
    }
    RecordProperty("runs", static_cast<int>(figures.runs));
    RecordProperty("runs_losing_a_printer", static_cast<int>(figures.runs_losing_a_printer));
    return figures;
}

}  // namespace testing_support
