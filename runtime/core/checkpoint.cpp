#include "core/checkpoint.h"

#include "core/program.h"
#include "platform/system.h"

namespace {

std::atomic<int> g_stopSignal{0};
void (*g_checkpointHook)() = nullptr;

// The signal handler's part: nothing but atomic stores.
void OnStopSignal(int signal) {
    g_stopSignal.store(signal, std::memory_order_relaxed);
    __WantCheckpoint();
}

#ifdef __EMSCRIPTEN__
// Checkpoints between two looks at the clock: few enough that a busy loop looks every
// fraction of a millisecond, many enough that the look costs nothing measurable.
constexpr int kCheckpointsPerLook = 4096;
#endif

}  // namespace

void __WantCheckpoint() { __g_checkpointWanted.store(1, std::memory_order_relaxed); }

void __StopAtSignals() { plat::WatchStopSignals(OnStopSignal); }

int __StopStatus() {
    const int signal = g_stopSignal.load(std::memory_order_relaxed);
    return signal ? 128 + signal : 0;
}

void __CheckpointReached() {
#ifdef __EMSCRIPTEN__
    __g_checkpointsLeft = kCheckpointsPerLook;
    plat::GiveTurnIfBusy();
#endif
    if (!__g_checkpointWanted.exchange(0, std::memory_order_relaxed)) return;
    if (g_stopSignal.load(std::memory_order_relaxed)) {
        __g_error = 0;
        __g_errorline = __g_debugline;
        __EndProgram();
    }
    if (g_checkpointHook) g_checkpointHook();
}

void __SetCheckpointHook(void (*hook)()) { g_checkpointHook = hook; }
