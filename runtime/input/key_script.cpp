#include "input/key_script.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
    long long lineNo = 0, lastFrame = 0;
    while (std::getline(in, text)) {
        ++lineNo;
        size_t hash = text.find('#');
        if (hash != std::string::npos) text.resize(hash);
        std::istringstream words(text);
        std::string word;
        if (!(words >> word)) continue;
        auto whole = [&](const std::string& w, long long lo, long long hi, long long& out) {
            errno = 0;
            char* end = nullptr;
            out = std::strtoll(w.c_str(), &end, 10);
            return end != w.c_str() && *end == 0 && errno == 0 && out >= lo && out <= hi;
        };
        __KeyScriptLine line;
        if (!whole(word, 1, 1LL << 40, line.frame) || line.frame <= lastFrame) {
            error = path + " line " + std::to_string(lineNo) + ": expected a frame number above " +
                    std::to_string(lastFrame);
            return false;
        }
        while (words >> word) {
            long long code = 0;
            if (!whole(word, 0, 255, code)) {
                error = path + " line " + std::to_string(lineNo) + ": '" + word + "' is not a scan code 0 ... 255";
                return false;
            }
            line.keys.push_back(static_cast<int>(code));
        }
        lastFrame = line.frame;
        lines.push_back(line);
    }
    return true;
}

bool __KeyRecorder::Open(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) return false;
    std::fputs("# Tolvane key recording: <frame> <held scan codes>\n", file_);
    std::fflush(file_);
    last_.clear();
    any_ = false;
    return true;
}

void __KeyRecorder::Frame(long long frame, const unsigned char (&keys)[256]) {
    if (!file_) return;
    std::vector<int> held;
    for (int k = 0; k < 256; ++k)
        if (keys[k] & 0x80) held.push_back(k);
    if (any_ && held == last_) return;
    if (!any_ && held.empty()) return;  // nothing held yet: no line needed
    any_ = true;
    last_ = held;
    std::fprintf(file_, "%lld", frame);
    for (int k : held) std::fprintf(file_, " %d", k);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void __KeyRecorder::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}
