// Sweeps that fail every call an operation under printers makes, in turn, and check that
// no printer the user had is lost: once (a passing fault, which the library must make
// good) and from then on (a lasting one, where a printer already taken down may be beyond
// saving, but never silently).
#pragma once

#include "printers/product_printers.h"
#include "support/releases.h"

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <tuple>

namespace testing_support {

// What a printer is to its user: where it prints, through what, with which settings
// and DEVMODE.
struct PrinterState {
    std::string port;
    std::string driver;
    std::map<std::string, winsim::RegistryValue> settings;
    std::string devmode;
    bool operator==(const PrinterState&) const = default;
};

inline void PrintTo(const PrinterState& state, std::ostream* out) {
    *out << "{port " << state.port << ", driver " << state.driver << ", " << state.settings.size() << " settings, DEVMODE of "
         << state.devmode.size() << " bytes}";
}

using PrinterStates = std::map<std::string, PrinterState>;

// A sweep's case: the platform, and whether each fault passes or lasts.
using SweepCase = std::tuple<winsim::Platform, winsim::FaultMode>;
inline auto every_sweep_case() {
    return testing::Combine(testing::Values(winsim::Platform::win95, winsim::Platform::win98, winsim::Platform::nt351,
                                            winsim::Platform::nt4, winsim::Platform::win2000),
                            testing::Values(winsim::FaultMode::once, winsim::FaultMode::from_then_on));
}
std::string sweep_case_name(const testing::TestParamInfo<SweepCase>& info);

// A sweep's operation: lays the machine out afresh (faults cleared), then runs.
struct SweptOperation {
    std::function<void()> lay_out;
    std::function<LONG()> run;
    // What the machine must show when the operation answered success (its printers
    // and default printer must be as before it, in any case).
    std::function<bool()> done;
    // The driver a printer may have come back on instead of its own (a driver update's
    // new model name, which 95/98 may read another way than before); empty: none.
    std::function<std::string()> new_driver = [] { return std::string(); };
};

struct SweepFigures {
    unsigned runs = 0;
    // Lasting faults only: runs that took a printer down and could not make it again
    // (always answered as a failure).
    unsigned runs_losing_a_printer = 0;
};

class PrinterSweep : public ProductPrinters {
protected:
    PrinterStates printers() const;
    // The default printer's name, from the entry that also names its driver and port.
    std::string default_printer() const;
    // Fails the 1st, 2nd, ... call the operation makes (any api) until a run meets no
    // failure, checking every run; the figures are recorded with the test.
    // No block or handle outlives the run but those whose release was failed.
    void expect_nothing_left_but(unsigned failed_releases) const;
    SweepFigures sweep(const SweptOperation& operation, winsim::FaultMode mode);
};

}  // namespace testing_support
