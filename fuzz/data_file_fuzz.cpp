// Keyed data files: loading a file into the buffer (line splitting, CR LF, the 256-line
// and line-length limits) and reading every line back as GETFILE does.
#include <cstdint>
#include <cstdlib>

#include "core/dqstr.h"
#include "files/data_file.h"
#include "input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz::WriteInput(data, size);
    FAST_FILE buffer;
    if (buffer.FillBuffer(path) != 0) std::abort();
    if (buffer.LastLine() < 0 || buffer.LastLine() >= FAST_FILE::kLines) std::abort();
    for (int line = 0; line < FAST_FILE::kLines; ++line) {
        DQStr text;
        if (buffer.GetFile(path, static_cast<short>(line), text) != 0 || text.Length() == 0) std::abort();
    }
    return 0;
}
