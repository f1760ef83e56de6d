#include "input/key_script.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool ScriptNumber(const std::string& w, long long lo, long long hi, long long& out) {
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(w.c_str(), &end, 10);
    return end != w.c_str() && *end == 0 && errno == 0 && out >= lo && out <= hi;
}

// The words of a mouse line after "mouse"; false with the reason in `what`.
bool ReadMouseLine(const std::vector<std::string>& words, __KeyScriptLine& line, std::string& what) {
    int* fields[] = {&line.dx, &line.dy, &line.wheel};
    const char* names[] = {"movement dx", "movement dy", "wheel steps"};
    if (words.size() < 4) {
        what = "a mouse line needs dx, dy and wheel steps";
        return false;
    }
    for (size_t i = 0; i < 3; ++i) {
        long long v = 0;
        if (!ScriptNumber(words[i + 1], -__kMostMouseStep, __kMostMouseStep, v)) {
            what = "'" + words[i + 1] + "' is not " + names[i] + " in -" + std::to_string(__kMostMouseStep) + " ... " +
                   std::to_string(__kMostMouseStep);
            return false;
        }
        *fields[i] = static_cast<int>(v);
    }
    for (size_t i = 4; i < words.size(); ++i) {
        long long b = 0;
        if (!ScriptNumber(words[i], 1, __kMouseButtons, b)) {
            what = "'" + words[i] + "' is not a mouse button 1 ... 3";
            return false;
        }
        line.buttons[b - 1] = true;
    }
    line.hasMouse = true;
    return true;
}

}  // namespace

bool __ReadKeyScript(const std::string& path, std::vector<__KeyScriptLine>& lines, std::string& error) {
    lines.clear();
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return __ParseKeyScript(text.str(), path, lines, error);
}

bool __ParseKeyScript(const std::string& script, const std::string& path, std::vector<__KeyScriptLine>& lines,
                      std::string& error) {
    lines.clear();
    std::istringstream in(script);
    std::string text;
    long long lineNo = 0;
    auto refuse = [&](const std::string& what) {
        error = path + " line " + std::to_string(lineNo) + ": " + what;
        lines.clear();
        return false;
    };
    while (std::getline(in, text)) {
        ++lineNo;
        size_t hash = text.find('#');
        if (hash != std::string::npos) text.resize(hash);
        std::istringstream words(text);
        std::string word;
        if (!(words >> word)) continue;
        long long frame = 0;
        const long long lastFrame = lines.empty() ? 0 : lines.back().frame;
        if (!ScriptNumber(word, 1, 1LL << 40, frame) || frame < lastFrame)
            return refuse("expected a frame number above " + std::to_string(lastFrame));
        __KeyScriptLine parsed;
        parsed.frame = frame;
        std::vector<std::string> rest;
        while (words >> word) rest.push_back(word);
        if (!rest.empty() && rest[0] == "mouse") {
            std::string what;
            if (!ReadMouseLine(rest, parsed, what)) return refuse(what);
        } else {
            for (const std::string& w : rest) {
                long long code = 0;
                if (!ScriptNumber(w, 0, 255, code)) return refuse("'" + w + "' is not a scan code 0 ... 255");
                parsed.keys.push_back(static_cast<int>(code));
            }
            parsed.hasKeys = true;
        }
        // A frame may have one key line and one mouse line, in either order.
        if (frame == lastFrame) {
            __KeyScriptLine& same = lines.back();
            if ((parsed.hasKeys && same.hasKeys) || (parsed.hasMouse && same.hasMouse))
                return refuse("expected a frame number above " + std::to_string(lastFrame));
            if (parsed.hasKeys) {
                same.hasKeys = true;
                same.keys = parsed.keys;
            } else {
                same.hasMouse = true;
                same.dx = parsed.dx;
                same.dy = parsed.dy;
                same.wheel = parsed.wheel;
                for (int b = 0; b < __kMouseButtons; ++b) same.buttons[b] = parsed.buttons[b];
            }
            continue;
        }
        lines.push_back(parsed);
    }
    return true;
}

bool __KeyRecorder::Open(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) return false;
    std::fputs("# Tolvane key recording: <frame> <held scan codes>, <frame> mouse <dx> <dy> <wheel> <held buttons>\n",
               file_);
    std::fflush(file_);
    last_.clear();
    any_ = false;
    for (bool& b : lastButtons_) b = false;
    return true;
}

void __KeyRecorder::Frame(long long frame, const __FrameState& state) {
    if (!file_) return;
    std::vector<int> held;
    for (int k = 0; k < 256; ++k)
        if (state.keys[k]) held.push_back(k);
    // Nothing held yet: no line needed.
    if ((any_ && held != last_) || (!any_ && !held.empty())) {
        any_ = true;
        last_ = held;
        std::fprintf(file_, "%lld", frame);
        for (int k : held) std::fprintf(file_, " %d", k);
        std::fputc('\n', file_);
    }
    bool buttonsChanged = false;
    for (int b = 0; b < __kMouseButtons; ++b) buttonsChanged |= state.buttons[b] != lastButtons_[b];
    if (state.dx || state.dy || state.wheel || buttonsChanged) {
        std::fprintf(file_, "%lld mouse %d %d %d", frame, state.dx, state.dy, state.wheel);
        for (int b = 0; b < __kMouseButtons; ++b) {
            if (state.buttons[b]) std::fprintf(file_, " %d", b + 1);
            lastButtons_[b] = state.buttons[b];
        }
        std::fputc('\n', file_);
    }
    std::fflush(file_);
}

void __KeyRecorder::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}
