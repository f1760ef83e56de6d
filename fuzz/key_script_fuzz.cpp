// Key scripts of unattended runs (TOLVANE_INPUT): the reader either refuses the text
// with a message or gives frames in ascending order, each with keys (scan codes
// 0 ... 255) or a mouse line (movement and wheel within the limit) or both.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/key_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<__KeyScriptLine> lines;
    std::string error;
    if (!__ParseKeyScript(std::string(reinterpret_cast<const char*>(data), size), "fuzz", lines, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    long long last = 0;
    for (const __KeyScriptLine& line : lines) {
        if (line.frame <= last) std::abort();
        last = line.frame;
        for (int key : line.keys)
            if (key < 0 || key > 255) std::abort();
        if (!line.hasKeys && !line.hasMouse) std::abort();
        for (int v : {line.dx, line.dy, line.wheel})
            if (v < -__kMostMouseStep || v > __kMostMouseStep) std::abort();
    }
    return 0;
}
