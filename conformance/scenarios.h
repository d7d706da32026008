// The scenarios the lane plays through OrvInstl.dll's exports. They are plain Win32,
// so that the same code runs against a real Windows (or Wine) and against winsim, and
// each prints what it observed, one line per step (see observation.h).
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace conformance {

class Session;

struct Scenario {
    const char* name;
    // The exports it calls: without one of them the scenario says so and plays nothing,
    // so that an older DLL still gives a comparable line.
    std::vector<const char*> needs;
    void (*play)(Session& session);
};

std::span<const Scenario> all_scenarios();
const Scenario* find_scenario(const std::string& name);

// Loads OrvInstl.dll, plays the scenario, and unloads the library again, so that every
// scenario starts with the library's state as a fresh process has it.
void play(const Scenario& scenario, std::FILE* out);

}  // namespace conformance
