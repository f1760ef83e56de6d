// The game's procedures on grids and crate tables built by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "app/automation.h"
#include "gfx2d/prism.h"
#include "game/stackmoor.h"
#include "input/dxinput.h"
#include "support/runtime_fixture.h"

using namespace __TOLVANE__;

namespace {

class Rules : public testing::Test {
protected:
    void SetUp() override {
        DIM(hit, 20, 20);
        MAX_CRATE_MEM = 256;
        for (DQIntArray* a : {&ctype, &cmove, &ccolr, &cx, &cy, &cfallx}) DIM(*a, MAX_CRATE_MEM);
        score = 0;
        NewLevel();
        MaxCrate = -1;  // no crate in flight unless a test makes one
        ply_x = 320;
        ply_y = 380;
        ply_dir = -1;
        ply_jump = 0;
    }
    // A block column: rows from `top` to 6 hold colour c.
    void Stack(int column, int top, int c) {
        for (int r = top; r <= 6; ++r) hit(column, r) = c;
    }
    // Runs crate steps until slot s is free or at rest; returns the steps taken.
    int StepUntilRest(double s, int most = 2000) {
        for (int k = 1; k <= most; ++k) {
            if (CrateStep(s) != 0) return -k;
            if (ctype(s) == kFree) return k;
        }
        return 0;
    }
    int Live() {
        int n = 0;
        for (double s = 0; s <= MaxCrate; ++s) n += ctype(s) != kFree;
        return n;
    }
};

TEST_F(Rules, NewLevelLaysTheGroundAndTheFirstCrate) {
    score = 77;
    NewLevel();
    for (int c = 0; c < 20; ++c)
        for (int r = 0; r < 20; ++r) EXPECT_EQ(hit(c, r), r == 7 ? -100 : 0) << c << "," << r;
    EXPECT_EQ(MaxCrate, 0);
    EXPECT_EQ(ctype(0), kCarried);
    EXPECT_EQ(cmove(0), 1);
    EXPECT_EQ(cx(0), -28);
    EXPECT_EQ(cy(0), -32);
    EXPECT_TRUE(cfallx(0) >= 64 && cfallx(0) <= 512 && static_cast<int>(cfallx(0)) % 64 == 0);
    EXPECT_TRUE(ccolr(0) >= 1 && ccolr(0) <= 3);
    EXPECT_EQ(score, 77);  // the score carries over
}

TEST_F(Rules, DropColumnsAndColoursComeFromTheRandomSequence) {
    std::set<double> columns, colours;
    for (int k = 0; k < 400; ++k) {
        MaxCrate = -1;
        AddCrane();
        columns.insert(cfallx(0));
        colours.insert(ccolr(0));
    }
    EXPECT_EQ(columns, (std::set<double>{64, 128, 192, 256, 320, 384, 448, 512}));
    EXPECT_EQ(colours, (std::set<double>{1, 2, 3}));
}

TEST_F(Rules, SlotsAreReusedLowestFirst) {
    for (int k = 0; k < 4; ++k) AddCrane();
    EXPECT_EQ(MaxCrate, 3);
    ctype(1) = kFree;
    AddCrane();
    EXPECT_EQ(ctype(1), kCarried);
    EXPECT_EQ(MaxCrate, 3);
    AddCrane();
    EXPECT_EQ(MaxCrate, 4);
}

TEST_F(Rules, CarriedCratesAreReleasedAtTheirColumn) {
    for (auto [column, steps] : {std::pair{512, 540}, {64, 92}}) {
        MaxCrate = -1;
        AddCrane();
        cfallx(0) = column;
        int frames = 0;
        for (; ctype(0) == kCarried; ++frames) CrateStep(0);
        EXPECT_EQ(frames, steps) << column;
    }
}

TEST_F(Rules, FallingCratesLandOnTheGroundAndOnPiles) {
    double s = BlockToCrate(2, 0, kFalling, 0);
    cy(s) = -32;
    ccolr(s) = 3;
    EXPECT_EQ(StepUntilRest(s), 207 + 1);  // 207 steps down, then it rests
    EXPECT_EQ(hit(2, 6), 3);
    for (int r = 3; r <= 6; ++r) hit(5, r) = 1 + r % 2;  // no colour group
    s = BlockToCrate(5, 0, kFalling, 0);
    ccolr(s) = 2;
    cy(s) = -32;
    EXPECT_GT(StepUntilRest(s), 0);
    EXPECT_EQ(hit(5, 2), 2);  // came to rest at y 126
    Stack(7, 2, 1);
    s = BlockToCrate(7, 0, kFalling, 0);
    cy(s) = -32;
    EXPECT_LT(StepUntilRest(s), 0);  // at rest at y 62: the level is lost
    EXPECT_EQ(cy(s), 62);
}

TEST_F(Rules, CreateCrateWritesTheCellTwoPixelsBelow) {
    for (auto [y, row, colour] : {std::tuple{382, 6, 2}, {318, 5, 1}}) {
        double s = BlockToCrate(3, 0, kFalling, 0);
        ccolr(s) = colour;
        cx(s) = 192;
        cy(s) = y;
        CreateCrate(s);
        EXPECT_EQ(hit(3, row), colour);
        EXPECT_EQ(ctype(s), kFree);
    }
}

TEST_F(Rules, GravityTurnsAStackAboveAGapIntoFallingCrates) {
    Stack(4, 2, 1);
    hit(4, 3) = 2;
    hit(4, 5) = 0;
    FallDown();
    EXPECT_EQ(Live(), 3);
    for (int r = 0; r <= 6; ++r) EXPECT_EQ(hit(4, r), r == 6 ? 1 : 0);
    for (double s = 0; s <= MaxCrate; ++s) EXPECT_EQ(ctype(s), kFalling);
    // Each comes to rest one row lower.
    for (int k = 0; k < 100; ++k)
        for (double s = 0; s <= MaxCrate; ++s) CrateStep(s);
    EXPECT_EQ(hit(4, 3), 1);
    EXPECT_EQ(hit(4, 4), 2);
    EXPECT_EQ(hit(4, 5), 1);
}

TEST_F(Rules, PushesAreRefusedAtTheEdgesAndIntoBlocks) {
    // Left from column 0, right from column 9, and into an occupied neighbour.
    hit(5, 6) = 3;
    struct Row { int column, x, dir; } rows[] = {{0, 64, -1}, {9, 9 * 64 - 66, 1}, {4, 4 * 64 - 66, 1}};
    for (const Row& r : rows) {
        hit(r.column, 6) = 1;
        ply_x = r.x;
        ply_dir = r.dir;
        MakeNewCrate(2 * r.dir);
        EXPECT_EQ(hit(r.column, 6), 1) << r.column;
        EXPECT_EQ(MaxCrate, -1) << r.column;
    }
    EXPECT_EQ(ctype(0), kFree);
}

TEST_F(Rules, APushedBlockSlidesOneColumnThenFalls) {
    hit(4, 6) = 2;
    ply_x = 4 * 64 - 66;
    ply_dir = 1;
    MakeNewCrate(2);
    EXPECT_EQ(hit(4, 6), 0);
    ASSERT_EQ(MaxCrate, 0);
    EXPECT_EQ(ctype(0), kSliding);
    EXPECT_EQ(cx(0), 258);
    for (int k = 0; k < 31; ++k) CrateStep(0);
    EXPECT_EQ(cx(0), 320);
    EXPECT_EQ(ctype(0), kSliding);
    CrateStep(0);
    EXPECT_EQ(ctype(0), kFalling);
    EXPECT_EQ(cmove(0), 0);
    CrateStep(0);  // on the ground already: at rest at once
    EXPECT_EQ(hit(5, 6), 2);
}

TEST_F(Rules, FourInAColumnScoreSixteenAndVanishForFiftyOneSteps) {
    Stack(4, 4, 1);
    double s = BlockToCrate(4, 0, kFalling, 0);
    ccolr(s) = 1;
    cx(s) = 256;
    cy(s) = 190;
    CreateCrate(s);  // the crate at rest in row 3 completes the column
    EXPECT_EQ(score, 16);
    for (int r = 3; r <= 6; ++r) EXPECT_EQ(hit(4, r), 0);
    int vanishing = 0;
    for (double n = 0; n <= MaxCrate; ++n) vanishing += ctype(n) == kVanishing;
    EXPECT_EQ(vanishing, 4);
    EXPECT_EQ(StepUntilRest(BlockToCrate(1, 1, kVanishing, 0)), 51);
}

TEST_F(Rules, CombosOfFourCountThreeNeverColumnZeroLooksNoFurther) {
    for (int c = 2; c <= 5; ++c) hit(c, 6) = 2;
    EXPECT_EQ(CheckForCombo(2, 6), 4);
    SetUp();
    hit(3, 5) = hit(4, 5) = hit(3, 6) = hit(4, 6) = 3;
    EXPECT_EQ(CheckForCombo(3, 5), 5);
    SetUp();
    hit(3, 5) = hit(4, 5) = hit(3, 6) = hit(4, 6) = 3;
    CheckCombos();
    EXPECT_EQ(score, 32);
    // Three never vanish.
    SetUp();
    hit(1, 6) = hit(2, 6) = hit(2, 5) = 1;
    CheckCombos();
    EXPECT_EQ(score, 0);
    EXPECT_EQ(hit(1, 6), 1);
    EXPECT_EQ(hit(2, 5), 1);
    SetUp();
    // Colour 3 at column 0 joined to the group of column 1 only through itself.
    hit(0, 6) = 3;
    hit(1, 6) = hit(1, 5) = hit(1, 4) = 3;
    EXPECT_EQ(CheckForCombo(1, 4), 3);
    EXPECT_EQ(hit(0, 6), 3);
    EXPECT_EQ(hit(1, 6), 3);
}

TEST_F(Rules, AFullBottomRowClearsForTen) {
    for (int c = 0; c < 10; ++c) hit(c, 6) = (c % 2) ? 1 : 2;  // no three alike touch
    hit(3, 5) = 3;
    CheckCombos();
    EXPECT_EQ(score, 10);
    for (int c = 0; c < 10; ++c) EXPECT_EQ(hit(c, 6), 0);
    EXPECT_EQ(hit(3, 5), 0);  // the block above falls
    int falling = 0, vanishing = 0;
    for (double n = 0; n <= MaxCrate; ++n) {
        falling += ctype(n) == kFalling;
        vanishing += ctype(n) == kVanishing;
    }
    EXPECT_EQ(falling, 1);
    EXPECT_EQ(vanishing, 10);
}

TEST_F(Rules, ProbesAboveTheFieldSeeOpenSpace) {
    ply_dir = 1;
    EXPECT_EQ(GetHit(100, -100), 0);   // above the top: open, not an error
    EXPECT_EQ(GetHit(600, 300), -1);   // beyond column 9
    ply_dir = -1;
    EXPECT_EQ(GetHit(-63, 382), -100); // column 0, the ground row
    EXPECT_EQ(GetHit(-63, 380), 0);    // row 6
    hit(3, 6) = 2;
    ply_dir = 1;
    EXPECT_EQ(GetHit(3 * 64 - 66 + 2, 380), 2);  // the step probe in front of a block
    EXPECT_EQ(GetHit(3 * 64 - 66, 380), 0);
    AddCrane();  // a carried crate at y -32
    EXPECT_EQ(PushCrate(0, 2), 1);
}

// MainGame itself: the frame hook plays the part of the player.
int g_frames = 0;
void (*g_script)(int) = nullptr;
void Hook(int) {
    ++g_frames;
    if (g_script) g_script(g_frames);
}

class Loop : public Rules {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        Rules::SetUp();  // no crate in flight: the tests bring their own
        pPrsm->SetNoWait(true);
        g_frames = 0;
        __SetFrameHook(Hook);
    }
    void TearDown() override {
        __SetFrameHook(nullptr);
        g_script = nullptr;
        pPrsm->SetNoWait(false);
        pDXin->ReleaseAllKeys();
    }
};

std::vector<double> g_crateY;

TEST_F(Loop, ACrateOnTheStandingFiguresHeadEndsTheLevelWithGameOver) {
    g_crateY.clear();
    g_script = [](int f) {
        if (f == 150) {  // the figure stands on the ground at x 320
            double s = BlockToCrate(5, 0, kFalling, 0);
            ccolr(s) = 1;
            cx(s) = 320;
            cy(s) = 250;
        }
        if (f >= 150) g_crateY.push_back(cy(0));
    };
    MainGame();
    ASSERT_GT(g_crateY.size(), 49u);
    // The crate fell until its lower half touched the head (y 316), then the game-over
    // frames showed it standing still.
    int still = static_cast<int>(std::count(g_crateY.begin(), g_crateY.end(), 316.0));
    EXPECT_EQ(g_crateY.back(), 316);
    EXPECT_EQ(still, 49);
    EXPECT_EQ(g_crateY[g_crateY.size() - 50], 314);  // the last frame played
    EXPECT_EQ(ply_y, 380);
}

TEST_F(Loop, JumpingIntoACrateBurstsIt) {
    static bool burst;
    burst = false;
    g_script = [](int f) {
        if (f == 130) pDXin->OnKey(200, true);  // Up held from the ground
        if (f == 134) {
            double s = BlockToCrate(5, 0, kSliding, 0);  // a crate hanging still above the figure
            ccolr(s) = 2;
            cx(s) = 320;
            cy(s) = 230;
            ctype(s) = kCarried;
            cmove(s) = 0;
            cfallx(s) = 9999;
        }
        for (double n = 0; n <= MaxCrate; ++n)
            if (cx(n) == 320 && ctype(n) == kVanishing) burst = true;
        if (burst || f > 400) {
            // End the level: a crate at rest above row 1.
            pDXin->OnKey(200, false);
            for (int r = 1; r <= 6; ++r) hit(8, r) = 1;
            double s = BlockToCrate(8, 0, kFalling, 0);
            cy(s) = 0;
        }
    };
    MainGame();
    EXPECT_TRUE(burst);
    EXPECT_EQ(score, 0);  // a burst scores nothing
}

}  // namespace
