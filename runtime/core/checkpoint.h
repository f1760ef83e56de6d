// Checkpoints of a compiled program: the translated program passes one at every turn of
// a loop and at the start of every SUB (and the runtime's waits pass one at every
// step), so that whatever the program is doing, it can be stopped there:
// - on the desktop, SIGINT and SIGTERM end the program as END does (its data files
//   written), with the exit status 130 or 143; a second signal ends it at once;
// - in the browser, a program that has not given the browser its turn for 50 ms gives
//   it there, so no loop freezes the page.
// A checkpoint is one relaxed atomic load while nothing is asked of it (in the browser,
// one count down: there the program runs alone on its thread).
#pragma once

#include <atomic>

// Nonzero while something waits for the program's next checkpoint.
inline std::atomic<int> __g_checkpointWanted{0};
#ifdef __EMSCRIPTEN__
// Checkpoints left before the next look at the clock.
inline int __g_checkpointsLeft = 0;
#endif
#ifdef TOLVANE_COUNT_CHECKPOINTS
// Counted: only to measure how many a frame passes (bench/checkpoint_cost.cpp), told on
// standard error at the program's end.
#include <cstdio>
inline long long __g_checkpointsPassed = 0;
inline const struct __CheckpointTally {
    ~__CheckpointTally() { std::fprintf(stderr, "checkpoints passed: %lld\n", __g_checkpointsPassed); }
} __g_checkpointTally;
#endif

// What a checkpoint does when it is wanted (or, in the browser, every so many).
void __CheckpointReached();

inline void __Cp() {
#if defined(TOLVANE_NO_CHECKPOINTS)
    // Compiled away: only to measure what they cost (bench/checkpoint_cost.cpp).
#elif defined(TOLVANE_COUNT_CHECKPOINTS)
    ++__g_checkpointsPassed;
#elif defined(__EMSCRIPTEN__)
    if (--__g_checkpointsLeft <= 0) [[unlikely]]
        __CheckpointReached();
#else
    if (__g_checkpointWanted.load(std::memory_order_relaxed)) [[unlikely]]
        __CheckpointReached();
#endif
}

// The program's next checkpoint is wanted (safe to call from a signal handler).
void __WantCheckpoint();
// Start-up: SIGINT and SIGTERM stop the program at its next checkpoint.
void __StopAtSignals();
// The exit status of a program stopped by a signal (128 + its number), 0 otherwise.
int __StopStatus();
// What a wanted checkpoint does besides: the debug agent takes a pause there, also in
// the runtime's waits (debug/agent.h). Null: nothing.
void __SetCheckpointHook(void (*hook)());
