// Runs the scenario program as a child process and collects what it left behind.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
    int status = -1;     // exit status, or -1 when it did not exit normally
    std::string err;     // standard error
    std::string out;     // standard output
    std::string log;     // the error log it wrote (empty when none)
    bool logExists = false;
};

// Runs the scenario with extra "NAME=value" environment entries, in a fresh
// temporary folder (TMPDIR) so its error log can be read.
// A non-empty priorLog is placed there as an error log left by an earlier run.
// Runs any program on the runtime with one argument, as RunScenario does.
ChildResult RunProgram(const std::string& program, const std::string& argument,
                       const std::vector<std::string>& env = {});
// The same with any number of arguments.
ChildResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& env);

ChildResult RunScenario(const std::string& scenario, const std::vector<std::string>& env = {},
                        const std::string& priorLog = "");
