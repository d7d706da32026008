// Runs a program of this computer with a few more environment variables and hands its
// output to the caller a line at a time, as it comes.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvsetup {

struct ChildRun {
    std::vector<std::string> arguments;  // the program first
    std::vector<std::pair<std::string, std::string>> environment;  // set over this process's own
    std::filesystem::path error_log;     // where its standard error goes; empty: discarded
};

// Answers the program's exit status (128 + the signal for one that was killed), or -1
// when it could not be started. `line` gets each line of its standard output without
// the line feed.
int run_child(const ChildRun& child, const std::function<void(const std::string& line)>& line);

}  // namespace orvsetup
