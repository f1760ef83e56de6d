// Internal: key scripts of unattended runs: which keys are held from which frame on.
//
//   <frame> [<scan code> ...]     one line per change, frames ascending
//   # comment                     blank lines are ignored
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct __KeyScriptLine {
    long long frame = 0;
    std::vector<int> keys;
};

// Reads a script; on failure returns false with a message naming the line.
bool __ReadKeyScript(const std::string& path, std::vector<__KeyScriptLine>& lines, std::string& error);
// The same for a script's text; `path` names it in the messages.
bool __ParseKeyScript(const std::string& script, const std::string& path, std::vector<__KeyScriptLine>& lines,
                      std::string& error);

// Writes the held keys of a real run, one line whenever they change.
class __KeyRecorder {
public:
    ~__KeyRecorder() { Close(); }
    bool Open(const std::string& path);
    // Called at the start of every frame with the keys held then.
    void Frame(long long frame, const unsigned char (&keys)[256]);
    void Close();

private:
    FILE* file_ = nullptr;
    std::vector<int> last_;
    bool any_ = false;
};
