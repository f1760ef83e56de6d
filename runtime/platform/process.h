// Internal (the platform contract): processes: this one, and the programs it starts
// from a command line or by name.
#pragma once

#include <string>
#include <vector>

namespace plat {

// The identifier of the running process.
int ProcessId();

// Finds a program by name in the folders of PATH (/usr/bin:/bin when PATH is not
// set); its path, empty when none of them has it executable.
std::string FindProgram(const char* name);
// Runs the program `args[0]` (a path) with the arguments that follow, waits for it
// and collects its standard output; its standard error is dropped. False when it
// cannot be started, else its exit code (128 + signal when a signal ended it).
bool RunCapturingOutput(const std::vector<std::string>& args, std::string& output, int& exitCode);

// Starts `/bin/sh -c command`: the shell runs the command line exactly as typed
// (quotes, VAR=value prefixes, redirections). The child's process identifier, or -1
// when not even the shell could be started.
int StartShellCommand(const char* command);

// What became of a child that was started.
struct ChildStatus {
    enum State {
        Running,
        Ended,
        Gone,  // no such child (any more): its end was collected elsewhere
    } state = Running;
    int exitCode = 0;            // when Ended: its exit code, 128 + signal when a signal ended it
    bool couldNotStart = false;  // when Ended: the shell found no program to run (127)
                                 // or could not execute it (126)
};
// Looks at a started child without waiting; an ended child is collected.
ChildStatus PollChild(int pid);

// True once a shell started by StartShellCommand has got a program of its command line
// going: it has become the program itself, or one of its children has (a child that
// is still the shell may yet fail to start one). False while that cannot be seen.
bool ShellStartedProgram(int pid);

}  // namespace plat
