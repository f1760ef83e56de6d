// Internal to start-up. Unattended runs: a fixed random seed, a frame cap, frames without waiting, key
// replay and recording, screenshots, and a hook that observes every presented frame.
// Read once from the environment at start-up:
//   TOLVANE_SEED=n       seed the random generator with n instead of the clock (RANDOMIZE
//                        then does nothing)
//   TOLVANE_FRAMES=n     end normally right after SHOWSCREEN number n
//   TOLVANE_NO_WAIT=1    SHOWSCREEN does not wait for the frame period
//   TOLVANE_INPUT=file   the held keys and the mouse come from the key script in file, not
//                        the keyboard and the mouse
//   TOLVANE_RECORD=file  the held keys and the mouse of the run are written to file as a
//                        key script
//   TOLVANE_SHOTS=dir:k  a BMP screenshot of every k-th frame in dir/frame-NNNNNN.bmp
//   TOLVANE_NET_PORT=n   the UDP port of network sessions (1 ... 65535)
#pragma once

#include <cstdint>
#include <string>

struct __Automation {
    bool hasSeed = false;
    uint32_t seed = 0;
    long long frameLimit = 0;  // 0: no limit
    bool noWait = false;
    std::string shotsDir;  // empty: no screenshots
    long long shotsEvery = 0;
    std::string inputScript;   // key and mouse replay
    std::string recordScript;  // key and mouse recording
    long long netPort = 0;     // 0: the network's default port
};

extern __Automation __g_automation;
// Number of SHOWSCREEN calls since start-up (the frame being drawn is this + 1).
extern long long __g_frame;

// Reads the variables above. A value that cannot be read ends the process with a
// message on standard error and exit status 2.
void __ReadAutomation();

// Registers the one frame hook, called inside every SHOWSCREEN right after the frame
// is presented, with the frame number. Null removes it.
void __SetFrameHook(void (*hook)(int frame));
// The frame service after presenting: counts the frame, calls the hook and ends the
// program when the frame cap is reached.
void __CountFrame();
