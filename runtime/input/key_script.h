// Internal: key scripts of unattended runs: which keys and mouse buttons are held from
// which frame on, and the mouse movement and wheel steps of a frame.
//
//   <frame> [<scan code> ...]                          the keys held from this frame on
//   <frame> mouse <dx> <dy> <wheel> [<button> ...]     the mouse in this frame: moved by
//                                                      dx, dy, the wheel turned by wheel
//                                                      steps; the buttons (1 left, 2 right,
//                                                      3 middle) held from this frame on
//   # comment                                          blank lines are ignored
//
// Frames ascend; one frame may have one key line and one mouse line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "input/frame_input.h"

// What a script says about one frame.
struct __KeyScriptLine {
    long long frame = 0;
    bool hasKeys = false;  // the frame has a key line
    std::vector<int> keys;
    bool hasMouse = false;  // the frame has a mouse line
    int dx = 0, dy = 0, wheel = 0;
    bool buttons[__kMouseButtons] = {};
};

// Reads a script; on failure returns false with a message naming the line.
bool __ReadKeyScript(const std::string& path, std::vector<__KeyScriptLine>& lines, std::string& error);
// The same for a script's text; `path` names it in the messages.
bool __ParseKeyScript(const std::string& script, const std::string& path, std::vector<__KeyScriptLine>& lines,
                      std::string& error);

// Writes the input of a real run: a key line whenever the held keys change, a mouse line
// only for a frame whose mouse moved, turned its wheel or changed its buttons.
class __KeyRecorder {
public:
    ~__KeyRecorder() { Close(); }
    bool Open(const std::string& path);
    // Called at the start of every frame with what the frame sees.
    void Frame(long long frame, const __FrameState& state);
    void Close();

private:
    FILE* file_ = nullptr;
    std::vector<int> last_;
    bool any_ = false;
    bool lastButtons_[__kMouseButtons] = {};
};
