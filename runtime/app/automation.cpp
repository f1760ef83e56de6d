#include "app/automation.h"

#include "core/program.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

__Automation __g_automation;
long long __g_frame = 0;

namespace {

void (*g_hook)(int) = nullptr;

[[noreturn]] void Refuse(const char* name, const char* value, const char* what) {
    std::fprintf(stderr, "Tolvane: %s=%s: %s\n", name, value, what);
    std::exit(2);
}

// A whole number within [lo, hi], or the process ends.
long long ReadWhole(const char* name, const char* value, long long lo, long long hi) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(value, &end, 10);
    if (end == value || *end != 0 || errno != 0 || v < lo || v > hi)
        Refuse(name, value, "expected a whole number");
    return v;
}

}  // namespace

void __ReadAutomation() {
    __g_automation = __Automation{};
    if (const char* v = std::getenv("TOLVANE_SEED"); v && *v) {
        __g_automation.hasSeed = true;
        __g_automation.seed = static_cast<uint32_t>(ReadWhole("TOLVANE_SEED", v, 0, 0xFFFFFFFFLL));
    }
    if (const char* v = std::getenv("TOLVANE_FRAMES"); v && *v)
        __g_automation.frameLimit = ReadWhole("TOLVANE_FRAMES", v, 1, 1LL << 40);
    if (const char* v = std::getenv("TOLVANE_NO_WAIT"); v && *v)
        __g_automation.noWait = std::string(v) != "0";
    if (const char* v = std::getenv("TOLVANE_SHOTS"); v && *v) {
        std::string s = v;
        size_t colon = s.rfind(':');
        if (colon == std::string::npos || colon == 0) Refuse("TOLVANE_SHOTS", v, "expected dir:k");
        __g_automation.shotsDir = s.substr(0, colon);
        __g_automation.shotsEvery = ReadWhole("TOLVANE_SHOTS", s.c_str() + colon + 1, 1, 1LL << 40);
    }
    if (const char* v = std::getenv("TOLVANE_NET_PORT"); v && *v)
        __g_automation.netPort = ReadWhole("TOLVANE_NET_PORT", v, 1, 65535);
    if (const char* v = std::getenv("TOLVANE_INPUT"); v && *v) __g_automation.inputScript = v;
    if (const char* v = std::getenv("TOLVANE_RECORD"); v && *v) __g_automation.recordScript = v;
}

void __SetFrameHook(void (*hook)(int frame)) { g_hook = hook; }

void __CountFrame() {
    ++__g_frame;
    if (g_hook) g_hook(static_cast<int>(__g_frame));
    if (__g_automation.frameLimit > 0 && __g_frame >= __g_automation.frameLimit) {
        __g_error = 0;
        __g_errorline = __g_debugline;
        __EndProgram();
    }
}
