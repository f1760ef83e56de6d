// The stop signals, the temporary folder, the program file, the screen saver, the
// warning sound, memory advice and the standard output.
#include "platform/system.h"

#include <SDL.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/internal.h"

namespace plat {

namespace {
void (*g_onStopSignal)(int) = nullptr;
volatile std::sig_atomic_t g_stopSignals = 0;

void StopSignalHandler(int signal) {
    if (g_stopSignals) _exit(128 + signal);  // the second: at once
    g_stopSignals = 1;
    if (g_onStopSignal) g_onStopSignal(signal);
}
}  // namespace

void WatchStopSignals(void (*onSignal)(int signal)) {
    g_onStopSignal = onSignal;
    struct sigaction action {};
    action.sa_handler = StopSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void GiveTurnIfBusy() {}

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

void AdviseHugePages(void* block, size_t size) {
#ifdef MADV_HUGEPAGE
    if (!block || size < (size_t{4} << 20)) return;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

bool StdoutLine(const char* text) {
    // SIGPIPE is held back while the line is written; one the write raised is taken
    // from the pending signals before they are let through again.
    sigset_t pipe, old, before, after;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    sigpending(&before);
    const bool ok = std::fputs(text, stdout) >= 0 && std::fputc('\n', stdout) != EOF && std::fflush(stdout) == 0;
    if (!ok) std::clearerr(stdout);  // the failed write dropped what the buffer held
    sigpending(&after);
    if (sigismember(&after, SIGPIPE) && !sigismember(&before, SIGPIPE)) {
        const timespec noWait{};
        sigtimedwait(&pipe, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

}  // namespace plat
