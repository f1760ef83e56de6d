// Key scripts of unattended runs (TOLVANE_INPUT): the reader either refuses the text
// with a message or gives lines in ascending frame order with scan codes 0 ... 255.
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
    }
    return 0;
}
