// Processes in the browser: the page is the only one; no other program can be found
// or started, so the commands that start programs report that they could not.
#include "platform/process.h"

#include <unistd.h>

namespace plat {

int ProcessId() { return static_cast<int>(getpid()); }

std::string FindProgram(const char*) { return std::string(); }

bool RunCapturingOutput(const std::vector<std::string>&, std::string&, int&) { return false; }

int StartShellCommand(const char*) { return -1; }

ChildStatus PollChild(int) {
    ChildStatus s;
    s.state = ChildStatus::Gone;
    return s;
}

bool ShellStartedProgram(int) { return false; }

}  // namespace plat
