#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "tolvane.h"
#include "app/automation.h"
#include "core/program.h"
#include "core/timing.h"
#include "gfx2d/prism.h"
#include "platform/window.h"
#include "support/runtime_fixture.h"

namespace {

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00;

class FrameTest : public testing::Test {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        pPrsm->SetNoWait(false);
        LIMITFPS(60);
        VIEWPORT(0, 0, 0, 0);
        pPrsm->FreeSurface(0);  // no background left by other tests
        pPrsm->Flush();
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

TEST_F(FrameTest, ViewportMovesTheOriginClipsAndDefaultsToTheScreen) {
    VIEWPORT(100, 50, 200, 100);
    DrawRect(0, 0, 1000, 1000, kRed);
    EXPECT_EQ(ReadPixel(100, 50), kRed);
    EXPECT_EQ(ReadPixel(299, 149), kRed);
    EXPECT_EQ(ReadPixel(99, 50), 0u);
    EXPECT_EQ(ReadPixel(100, 49), 0u);
    EXPECT_EQ(ReadPixel(300, 100), 0u);
    EXPECT_EQ(ReadPixel(150, 150), 0u);
    DrawRect(10, 20, 1, 1, kGreen);
    EXPECT_EQ(ReadPixel(110, 70), kGreen);
    // Without a size: the screen's size, the offset kept.
    VIEWPORT(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    VIEWPORT(10, 10, 0, 50);
    EXPECT_EQ(pPrsm->ViewX(), 10);
    EXPECT_EQ(pPrsm->ViewWidth(), DQ_RESX);
    EXPECT_EQ(pPrsm->ViewHeight(), DQ_RESY);
    DrawRect(0, 0, 5, 5, kRed);
    EXPECT_EQ(ReadPixel(10, 10), kRed);
    EXPECT_EQ(ReadPixel(9, 10), 0u);
    VIEWPORT(0, 0, 0, 0);
    DrawRect(0, 0, 1, 1, kGreen);
    EXPECT_EQ(ReadPixel(0, 0), kGreen);
    EXPECT_EQ(ReadPixel(DQ_RESX - 1, DQ_RESY - 1), 0u);
}

TEST_F(FrameTest, ShowscreenPresentsAndResetsViewportAndAlpha) {
    VIEWPORT(100, 100, 50, 50);
    pPrsm->DoAlpha(0.25f);
    DrawRect(0, 0, 10, 10, kRed);
    SHOWSCREEN();
    // The frame went to the front; the new back buffer starts cleared, whole-screen.
    EXPECT_EQ(pPrsm->ViewX(), 0);
    EXPECT_EQ(pPrsm->ViewWidth(), DQ_RESX);
    EXPECT_FLOAT_EQ(pPrsm->CurrentAlpha(), 1.0f);
    EXPECT_EQ(ReadPixel(100, 100), 0u);
    DrawRect(0, 0, 1, 1, kGreen);
    EXPECT_EQ(ReadPixel(0, 0), kGreen);
}

TEST_F(FrameTest, BlackscreenClearsAndScreenSizeIsTheResolution) {
    DrawRect(0, 0, 20, 20, kRed);
    BLACKSCREEN();
    EXPECT_EQ(ReadPixel(5, 5), 0u);
    double w = 0, h = 0;
    GETSCREENSIZE(w, h);
    EXPECT_EQ(w, DQ_RESX);
    EXPECT_EQ(h, DQ_RESY);
}

TEST_F(FrameTest, FramePeriodFromLimitFps) {
    for (auto [fps, period] : {std::pair{30.0, 1000.0 / 30}, {0.0, 2.0}, {-5.0, 2.0}, {60.9, 1000.0 / 60}}) {
        LIMITFPS(fps);
        EXPECT_DOUBLE_EQ(pPrsm->FramePeriod(), period) << fps;
    }
}

TEST_F(FrameTest, FramesKeepTheScheduleAndDropLateOnes) {
    const double period = 1000.0 / 60;
    pPrsm->FlipScreens();
    pPrsm->FlipScreens();
    double deadline = pPrsm->NextFrameTime();
    // An on-time frame waits for its deadline and the schedule moves one period.
    pPrsm->FlipScreens();
    EXPECT_GE(__ClockMs(), deadline);
    EXPECT_DOUBLE_EQ(pPrsm->NextFrameTime(), deadline + period);

    // A frame that took 50 ms is shown at once; the schedule jumps to the first
    // boundary not earlier than now, on the same grid.
    double grid = pPrsm->NextFrameTime();
    plat::SleepMs(50);
    double before = __ClockMs();
    pPrsm->FlipScreens();
    double after = __ClockMs();
    EXPECT_LT(after - before, 5.0);
    double next = pPrsm->NextFrameTime();
    EXPECT_GE(next, before);
    EXPECT_LT(next, after + period + 0.001);
    double steps = (next - grid) / period;
    EXPECT_NEAR(steps, std::round(steps), 1e-6);
    // No burst follows: the next frame waits for that boundary.
    pPrsm->FlipScreens();
    EXPECT_GE(__ClockMs(), next);
}

TEST_F(FrameTest, GetTimerIsAtLeastOne) {
    SHOWSCREEN();
    SHOWSCREEN();
    EXPECT_GE(GETTIMER(), 1);
    EXPECT_GE(GETTIMER(), 1);
    __g_LastTime = __ClockMs() + 1000;  // a stamp in the future still gives 1
    EXPECT_EQ(GETTIMER(), 1);
    EXPECT_GT(GETTIMERALL(), 0);
}

}  // namespace
