#include <gtest/gtest.h>

#include <cstdlib>

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
