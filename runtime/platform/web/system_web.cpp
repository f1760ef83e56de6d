// The program's place in the browser: the temporary folder and the program file in the
// page's file system, no screen saver to keep away, a short tone for the warning, the
// page's console for the standard output, and files read whole for the page's decoders.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "platform/system.h"
#include "platform/web/web_internal.h"

// clang-format off
EM_JS(int, tolvane_program_path, (char* buffer, int size), {
    const path = Module["programPath"] || "";
    stringToUTF8(path, buffer, size);
    return lengthBytesUTF8(path);
});
EM_JS(void, tolvane_console_line, (const char* text), {
    console.log(UTF8ToString(text));
});
// clang-format on

extern "C" void tolvane_audio_beep();  // tolvane_web.js

namespace plat {

std::string TempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

// The page puts the program's archive into its file system and names it here.
std::string ProgramPath() {
    char buf[1024];
    const int n = tolvane_program_path(buf, sizeof buf);
    return n > 0 && n < static_cast<int>(sizeof buf) ? std::string(buf) : std::string();
}

void SuppressScreenSaver() {}

void Beep() { tolvane_audio_beep(); }

// The program's memory is one WebAssembly block: there are no pages to advise on.
void AdviseHugePages(void*, size_t) {}

namespace web {
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, long most) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    bool ok = size > 0 && size <= most && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    return ok;
}
}  // namespace web

bool StdoutLine(const char* text) {
    tolvane_console_line(text);
    return true;
}

}  // namespace plat
