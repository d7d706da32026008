// The fault sweep over the exports: a scenario is a part of a setup script performed on a
// fresh machine, and the sweep fails each platform call that part makes in turn, once (a
// passing fault) and from then on (a lasting one), checking after every run that the
// library answered truly, said what happened, held nothing, and lost nothing the user had.
#pragma once

#include <gtest/gtest.h>

#include <winsim/faults.h>
#include <winsim/machine.h>
#include <winsim/snapshot.h>

#include "setup_script.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace testing_support {

struct SweepScenario {
    std::string name;
    std::string script;  // a setup script of samples/setups
    // The steps failed, by title or export: from the first of the part that matches to
    // its last match; everything before is laid out unfailed. Empty: the whole part.
    std::set<std::string> swept;
    // The [uninstall] part, after the whole installation and a restart.
    bool uninstall = false;
    // An installation, update or move: everything the machine held before must come out
    // of every run as it was or as the unfailed run left it.
    bool keeps_everything = true;
};

// A faulted run that a check found wrong, kept for the README's figures.
struct SweepFigures {
    unsigned calls = 0;  // the platform calls of the unfailed run
    unsigned runs = 0;
    unsigned lasting_losses = 0;  // runs of lasting faults that lost something, each answered as failure
};

// A setup script of samples/setups, read for every platform winsim knows.
orvsetup::SetupScript read_sample_script(const std::string& name);

// Each scenario's runs are spread evenly over its calls up to this many per case; the
// environment's ORV_SWEEP_RUNS sets another figure, or "all" for every call.
unsigned sweep_budget();

class ExportSweep {
public:
    ExportSweep(SweepScenario scenario, winsim::Platform platform);
    ~ExportSweep();

    // Whether the script has steps of the scenario for this platform.
    bool applies() const { return !swept_.empty(); }
    SweepFigures sweep(winsim::FaultMode mode);

private:
    struct Outcome;
    // A fresh machine with everything before the swept steps done.
    std::unique_ptr<winsim::Machine> prepared() const;
    Outcome perform_swept(winsim::Machine& machine) const;
    void check_run(const Outcome& faulted, winsim::Machine& machine, bool lasting, SweepFigures& figures) const;

    SweepScenario scenario_;
    winsim::Platform platform_;
    orvsetup::SetupScript script_;
    // For the removal: the whole installation, before a restart.
    std::vector<orvsetup::ScriptStep> installation_;
    std::vector<orvsetup::ScriptStep> preparation_;
    std::vector<orvsetup::ScriptStep> swept_;
    // What the unfailed run began and ended with, and what it left allocated or open.
    winsim::Snapshot before_;
    winsim::Snapshot after_;
    std::size_t held_after_ = 0;
};

using SweepCase = std::tuple<std::string, winsim::Platform, winsim::FaultMode>;
std::string sweep_case_name(const testing::TestParamInfo<SweepCase>& info);

}  // namespace testing_support
