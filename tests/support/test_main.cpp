#include <gtest/gtest.h>

#include <cstdlib>

#include "core/lifecycle.h"

// The test binary is a program on the runtime too; its main procedure is never run.
namespace __TOLVANE__ {
double __MainGameSub_() { return 0; }
}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    // Headless unless the caller chose otherwise: no display, no sound card.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    testing::InitGoogleTest(&argc, argv);
    // Death tests start the binary afresh instead of forking a process that may hold
    // a window and a GL context.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
