// The game's procedures on grids and crate tables built by hand.

#include <algorithm>
#include <set>

#include "app/automation.h"
#include "game/stackmoor.h"
#include "input/dxinput.h"
#include "support/harness.h"

using namespace __TOLVANE__;

namespace {

// A block column: rows from `top` to 6 hold colour c.
void Stack(int column, int top, int c) {
    for (int r = top; r <= 6; ++r) hit(column, r) = c;
}

// A crate object of colour c at (x, y) in the given state.
double Crate(double state, double c, double x, double y) {
    double s = BlockToCrate(x / 64, 0, state, 0);
    ccolr(s) = c;
    cx(s) = x;
    cy(s) = y;
    return s;
}

class Rules : public testing::Test {
protected:
    void SetUp() override {
        DIM(hit, 20, 20);
        for (DQIntArray* a : {&ctype, &cmove, &ccolr, &cx, &cy, &cfallx}) DIM(*a, MAX_CRATE_MEM);
        score = 0;
        NewLevel();
        MaxCrate = -1;  // no crate in flight unless a test makes one
        ply_x = 320;
        ply_y = 380;
        ply_dir = -1;
        ply_jump = 0;
    }
    // Runs crate steps until slot s is free or at rest; returns the steps taken
    // (negative when the level is lost).
    int StepUntilRest(double s) {
        for (int k = 1; k <= 2000; ++k) {
            if (CrateStep(s) != 0) return -k;
            if (ctype(s) == CRATE_FREE) return k;
        }
        return 0;
    }
    static int Count(double state) {
        int n = 0;
        for (double s = 0; s <= MaxCrate; ++s) n += ctype(s) == state;
        return n;
    }
};

TEST_F(Rules, LevelSetupAndTheCrane) {
    score = 77;
    NewLevel();
    for (int c = 0; c < 20; ++c)
        for (int r = 0; r < 20; ++r) EXPECT_EQ(hit(c, r), r == 7 ? -100 : 0) << c << "," << r;
    EXPECT_EQ(MaxCrate, 0);
    EXPECT_EQ((std::vector{ctype(0), cmove(0), cx(0), cy(0)}), (std::vector<double>{CRATE_CARRIED, 1, -28, -32}));
    EXPECT_EQ(score, 77);  // the score carries over
    // Drop columns and colours come from the random sequence.
    std::set<double> columns, colours;
    for (int k = 0; k < 400; ++k) {
        MaxCrate = -1;
        AddCrane();
        columns.insert(cfallx(0));
        colours.insert(ccolr(0));
    }
    EXPECT_EQ(columns, (std::set<double>{64, 128, 192, 256, 320, 384, 448, 512}));
    EXPECT_EQ(colours, (std::set<double>{1, 2, 3}));
    // Slots are reused lowest first.
    for (int k = 0; k < 3; ++k) AddCrane();
    EXPECT_EQ(MaxCrate, 3);
    ctype(1) = CRATE_FREE;
    AddCrane();
    EXPECT_EQ(std::pair(ctype(1), MaxCrate), std::pair(CRATE_CARRIED, 3.0));
    AddCrane();
    EXPECT_EQ(MaxCrate, 4);
    // Carried crates are released at their column.
    for (auto [column, steps] : {std::pair{512, 540}, {64, 92}}) {
        MaxCrate = -1;
        AddCrane();
        cfallx(0) = column;
        int frames = 0;
        for (; ctype(0) == CRATE_CARRIED; ++frames) CrateStep(0);
        EXPECT_EQ(frames, steps) << column;
    }
}

TEST_F(Rules, FallingCratesLandOnTheGroundAndOnPilesAndGapsFall) {
    EXPECT_EQ(StepUntilRest(Crate(CRATE_FALLING, 3, 128, -32)), 207 + 1);  // 207 steps down, then it rests
    EXPECT_EQ(hit(2, 6), 3);
    for (int r = 3; r <= 6; ++r) hit(5, r) = 1 + r % 2;  // no colour group
    EXPECT_GT(StepUntilRest(Crate(CRATE_FALLING, 2, 320, -32)), 0);
    EXPECT_EQ(hit(5, 2), 2);  // came to rest at y 126
    Stack(7, 2, 1);
    double s = Crate(CRATE_FALLING, 0, 448, -32);
    EXPECT_LT(StepUntilRest(s), 0);  // at rest at y 62: the level is lost
    EXPECT_EQ(cy(s), 62);
    // A crate at rest writes the cell two pixels below its top.
    SetUp();
    for (auto [y, row, colour] : {std::tuple{382, 6, 2}, {318, 5, 1}}) {
        s = Crate(CRATE_FALLING, colour, 192, y);
        CreateCrate(s);
        EXPECT_EQ(hit(3, row), colour);
        EXPECT_EQ(ctype(s), CRATE_FREE);
    }
    // A stack above a gap turns into falling crates; each comes to rest one row lower.
    SetUp();
    Stack(4, 2, 1);
    hit(4, 3) = 2;
    hit(4, 5) = 0;
    FallDown();
    EXPECT_EQ(std::pair(Count(CRATE_FALLING), MaxCrate), std::pair(3, 2.0));
    for (int r = 0; r <= 6; ++r) EXPECT_EQ(hit(4, r), r == 6 ? 1 : 0);
    for (int k = 0; k < 100; ++k)
        for (double n = 0; n <= MaxCrate; ++n) CrateStep(n);
    EXPECT_EQ((std::vector{hit(4, 3), hit(4, 4), hit(4, 5)}), (std::vector<double>{1, 2, 1}));
}

// Pushes are refused at the edges and into blocks; a pushed block slides one column,
// then falls.
TEST_F(Rules, PushesAndProbes) {
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
    EXPECT_EQ(ctype(0), CRATE_FREE);
    SetUp();
    hit(4, 6) = 2;
    ply_x = 4 * 64 - 66;
    ply_dir = 1;
    MakeNewCrate(2);
    EXPECT_EQ(hit(4, 6), 0);
    ASSERT_EQ(MaxCrate, 0);
    EXPECT_EQ(std::pair(ctype(0), cx(0)), std::pair(CRATE_SLIDING, 258.0));
    for (int k = 0; k < 31; ++k) CrateStep(0);
    EXPECT_EQ(std::pair(ctype(0), cx(0)), std::pair(CRATE_SLIDING, 320.0));
    CrateStep(0);
    EXPECT_EQ(std::pair(ctype(0), cmove(0)), std::pair(CRATE_FALLING, 0.0));
    CrateStep(0);  // on the ground already: at rest at once
    EXPECT_EQ(hit(5, 6), 2);
    AddCrane();  // a carried crate at y -32 cannot be pushed
    EXPECT_EQ(PushCrate(0, 2), 1);
    // The figure's probes see open space above the field.
    SetUp();
    hit(3, 6) = 2;
    struct Probe { double dir, x, y, seen; } probes[] = {
        {1, 100, -100, 0},               // above the top: open, not an error
        {1, 600, 300, -1},               // beyond column 9
        {-1, -63, 382, -100},            // column 0, the ground row
        {-1, -63, 380, 0},               // row 6
        {1, 3 * 64 - 66 + 2, 380, 2},    // the step probe in front of a block
        {1, 3 * 64 - 66, 380, 0},
    };
    for (const Probe& r : probes) {
        ply_dir = r.dir;
        EXPECT_EQ(GetHit(r.x, r.y), r.seen) << r.x << "," << r.y;
    }
}

TEST_F(Rules, CombosAndRowClears) {
    // Four in a column score 16 and vanish for fifty-one steps.
    Stack(4, 4, 1);
    CreateCrate(Crate(CRATE_FALLING, 1, 256, 190));  // the crate at rest in row 3 completes the column
    EXPECT_EQ(score, 16);
    for (int r = 3; r <= 6; ++r) EXPECT_EQ(hit(4, r), 0);
    EXPECT_EQ(Count(CRATE_VANISHING), 4);
    EXPECT_EQ(StepUntilRest(BlockToCrate(1, 1, CRATE_VANISHING, 0)), 51);
    // The search's count of touching blocks of one colour: four in a row 4, a square 5
    // (one counted twice); column 0 is never looked at, so colour 3 there adds nothing
    // and stays.
    struct Group { std::vector<std::pair<int, int>> cells; int x, y, count; } groups[] = {
        {{{2, 6}, {3, 6}, {4, 6}, {5, 6}}, 2, 6, 4},
        {{{3, 5}, {4, 5}, {3, 6}, {4, 6}}, 3, 5, 5},
        {{{0, 6}, {1, 6}, {1, 5}, {1, 4}}, 1, 4, 3},
    };
    for (const Group& g : groups) {
        SetUp();
        for (auto [c, r] : g.cells) hit(c, r) = 3;
        EXPECT_EQ(CheckForCombo(g.x, g.y), g.count) << g.x << "," << g.y;
    }
    EXPECT_EQ(std::pair(hit(0, 6), hit(1, 6)), std::pair(3.0, 3.0));
    // A square scores 32; three never vanish.
    SetUp();
    hit(3, 5) = hit(4, 5) = hit(3, 6) = hit(4, 6) = 3;
    CheckCombos();
    EXPECT_EQ(score, 32);
    SetUp();
    hit(1, 6) = hit(2, 6) = hit(2, 5) = 1;
    CheckCombos();
    EXPECT_EQ(std::tuple(score, hit(1, 6), hit(2, 5)), std::tuple(0.0, 1.0, 1.0));
    // A full bottom row clears for ten; the block above falls.
    SetUp();
    for (int c = 0; c < 10; ++c) hit(c, 6) = (c % 2) ? 1 : 2;  // no three alike touch
    hit(3, 5) = 3;
    CheckCombos();
    EXPECT_EQ(score, 10);
    for (int c = 0; c < 10; ++c) EXPECT_EQ(hit(c, 6), 0);
    EXPECT_EQ(hit(3, 5), 0);
    EXPECT_EQ(std::pair(Count(CRATE_FALLING), Count(CRATE_VANISHING)), std::pair(1, 10));
}

// MainGame itself: the frame hook plays the part of the player.
std::vector<double> g_crateY;
bool g_burst;
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
        g_burst = false;
        __SetFrameHook(Hook);
    }
    void TearDown() override {
        __SetFrameHook(nullptr);
        g_script = nullptr;
        pPrsm->SetNoWait(false);
        pDXin->ReleaseAll();
    }
};

// A crate on the standing figure's head ends the level with the game-over frames;
// jumping into a crate bursts it.
TEST_F(Loop, GameOverAndBursts) {
    g_crateY.clear();
    g_script = [](int f) {
        if (f == 150) Crate(CRATE_FALLING, 1, 320, 250);  // the figure stands on the ground at x 320
        if (f >= 150) g_crateY.push_back(cy(0));
    };
    MainGame();
    ASSERT_GT(g_crateY.size(), 49u);
    // The crate fell until its lower half touched the head (y 316), then the game-over
    // frames showed it standing still.
    EXPECT_EQ(g_crateY.back(), 316);
    EXPECT_EQ(std::count(g_crateY.begin(), g_crateY.end(), 316.0), 49);
    EXPECT_EQ(g_crateY[g_crateY.size() - 50], 314);  // the last frame played
    EXPECT_EQ(ply_y, 380);
    SetUp();
    g_script = [](int f) {
        if (f == 130) pDXin->OnKey(static_cast<int>(KEY_UP), true);  // Up held from the ground
        if (f == 134) cfallx(Crate(CRATE_CARRIED, 2, 320, 230)) = 9999;  // a crate hanging still above the figure
        for (double n = 0; n <= MaxCrate; ++n)
            if (cx(n) == 320 && ctype(n) == CRATE_VANISHING) g_burst = true;
        if (g_burst || f > 400) {
            // End the level: a crate at rest above row 1.
            pDXin->OnKey(static_cast<int>(KEY_UP), false);
            for (int r = 1; r <= 6; ++r) hit(8, r) = 1;
            cy(BlockToCrate(8, 0, CRATE_FALLING, 0)) = 0;
        }
    };
    MainGame();
    EXPECT_TRUE(g_burst);
    EXPECT_EQ(score, 0);  // a burst scores nothing
}

}  // namespace
