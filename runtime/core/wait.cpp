#include "core/wait.h"

#include "core/program.h"
#include "platform/window.h"

namespace {
bool (*g_endKeys)() = nullptr;
}  // namespace

bool __EndKeysHeld() { return g_endKeys && g_endKeys(); }

void __SetEndKeysTest(bool (*test)()) { g_endKeys = test; }

void __WaitStep(double ms) {
    plat::PumpEvents();
    if (__EndKeysHeld()) {
        __g_error = 0;
        __EndProgram();
    }
    if (ms > 0) plat::SleepMs(ms);
}
