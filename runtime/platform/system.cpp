// The temporary folder, the program file, the screen saver and the warning sound.
#include "platform/system.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/internal.h"

namespace plat {

std::string TempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string ProgramPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    buf[n] = 0;
    return buf;
}

void SuppressScreenSaver() {
    if (internal::VideoStarted()) SDL_DisableScreenSaver();
}

void Beep() {
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

}  // namespace plat
