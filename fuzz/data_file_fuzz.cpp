// Keyed data files: a file's contents split into the buffer's lines (CR LF, the 256-line
// and line-length limits) and every line read back as GETFILE does.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/dqstr.h"
#include "files/data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* name = "fuzz.dat";
    FAST_FILE buffer;
    buffer.FillBuffer(name, std::span(data, size));
    if (buffer.LastLine() < 0 || buffer.LastLine() >= FAST_FILE::kLines) std::abort();
    for (int line = 0; line < FAST_FILE::kLines; ++line) {
        DQStr text;
        if (buffer.GetFile(name, static_cast<short>(line), text) != 0 || text.Length() == 0) std::abort();
    }
    return 0;
}
