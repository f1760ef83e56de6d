// Internal: the program under the debugger: made as a debug build in tolvanec's cache
// folder, started with the port of a socket on 127.0.0.1 that its debug agent connects
// to (runtime/debug/agent.h describes the lines they exchange), its standard output and
// errors caught, its end seen.
#pragma once

#include <sys/types.h>

#include <deque>
#include <string>
#include <vector>

namespace tvc::dap {

using Fields = std::vector<std::string>;

class DebuggedProgram {
public:
    ~DebuggedProgram();

    // Makes the debug build of `source` (not again while its translation and the
    // runtime are the same); false with the compiler's report in `error`.
    static bool Build(const std::string& source, std::string& program, std::string& error);
    // Starts the program in `cwd` (empty: the current folder) and waits until its agent
    // has said hello; false with the reason in `error`.
    bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
               std::string& error);

    // The source files by full path, in the order of their numbers.
    const std::vector<std::string>& Files() const { return files_; }
    bool Running() const { return pid_ > 0; }

    // One line to the agent.
    void Send(const Fields& fields);
    // Asks the stopped program and collects the answer's lines ("=" lines without the
    // "="); false with the reason in `error`.
    bool Ask(const Fields& question, std::vector<Fields>& answer, std::string& error);

    // What can be waited for: the socket and the output pipes that are still open.
    std::vector<int> Descriptors() const;
    // Reads what the descriptors have: lines from the agent into Events(), output into
    // `out` and `err`. Notices the program's end.
    void Service(std::string& out, std::string& err);
    std::deque<Fields>& Events() { return events_; }
    // True once the program has ended; its exit status in `status`.
    bool Ended(int& status);
    // Asks the program to end, then ends it: SIGTERM after a moment, SIGKILL after another.
    void Stop();

private:
    bool ReadSocket(bool wait, int timeoutMs);  // more lines from the agent; false when it has gone
    void Close(int& fd);

    pid_t pid_ = -1;
    int socket_ = -1, out_ = -1, err_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string pending_;
    std::deque<Fields> events_;   // lines from the agent that are not answers
    std::deque<Fields> answers_;  // lines of answers
    std::vector<std::string> files_;
};

}  // namespace tvc::dap
