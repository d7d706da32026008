// Runs a program of the project as a person at a shell would, for tests of what they see.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testing_support {

struct ProgramOutput {
    int status = -1;
    std::string output;  // stdout and stderr together
};

inline ProgramOutput run_program(const std::string& command_line) {
    ProgramOutput run;
    std::FILE* pipe = popen((command_line + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace testing_support
