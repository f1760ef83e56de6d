#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/arrays.h"
#include "input/dxinput.h"
#include "pathfinding/findpath.h"
#include "pathfinding/planner.h"
#include "pathfinding/reference_search.h"
#include "support/runtime_fixture.h"

namespace {

using Cells = std::vector<std::pair<int, int>>;

// A map from rows of text: '#' a wall, a digit its cost, '.' cost 1.
struct Map {
    int w = 0, h = 0;
    std::vector<double> v;
    explicit Map(std::vector<std::string> rows) {
        h = static_cast<int>(rows.size());
        w = static_cast<int>(rows[0].size());
        v.resize(w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                char c = rows[y][x];
                v[y * w + x] = c == '#' ? 0 : c == '.' ? 1 : c - '0';
            }
    }
    Map(int w_, int h_, std::vector<double> values) : w(w_), h(h_), v(std::move(values)) {}
    void Into(DQIntArray& a) const {
        DIM(a, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) a(x, y) = v[y * w + x];
    }
};

Cells Search(const Map& m, int sx, int sy, int gx, int gy, double* count = nullptr) {
    DQIntArray map, path;
    m.Into(map);
    double n = FINDPATH(map, path, 0.5, sx, sy, gx, gy);
    if (count) *count = n;
    Cells out;
    for (int i = 0; i < n; ++i) out.emplace_back(static_cast<int>(path(i, 0)), static_cast<int>(path(i, 1)));
    return out;
}

TEST(Planner, ReportsWhatTheSearchLeftBehind) {
    const std::vector<double> map(16, 1.0);  // 4 x 4, all passable
    AStarPlanner p;
    EXPECT_FALSE(p.isLoaded());
    Planner::Description d;
    d.goalX = 3;
    d.goalY = 3;
    d.weight = 5;  // clamped to 1
    d.closedTableBits = 16;
    d.width = d.height = 4;
    d.map = map.data();
    ASSERT_TRUE(p.createMap(d));
    EXPECT_TRUE(p.isLoaded());
    EXPECT_EQ(p.getDescription().weight, 1.0f);
    p.initialize();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.getNumSlices(), 1);
    EXPECT_EQ(p.getRunningTime(), 0);
    EXPECT_EQ(p.getPathSize(), 7);
    EXPECT_FLOAT_EQ(p.getPathCost(), 6);
    std::vector<int> grid(16, 0);
    EXPECT_TRUE(p.fillPath(grid.data(), 1));
    EXPECT_TRUE(p.fillClosed(grid.data(), 2));  // the path's cells are closed too
    EXPECT_TRUE(p.fillOpen(grid.data(), 3));
    EXPECT_EQ(std::count(grid.begin(), grid.end(), 0) + std::count(grid.begin(), grid.end(), 2) +
                  std::count(grid.begin(), grid.end(), 3),
              16);
    EXPECT_EQ(static_cast<int>(std::count(grid.begin(), grid.end(), 2)), p.getClosedSize());
    EXPECT_EQ(static_cast<int>(std::count(grid.begin(), grid.end(), 3)), p.getOpenSize());
    EXPECT_FALSE(p.fillPath(nullptr, 1));
    p.cleanup();
    EXPECT_EQ(p.getOpenSize() + p.getClosedSize(), 0);
    EXPECT_EQ(p.getPathCost(), -1);
    // The cost map: walls -1, the rest divided by the largest value.
    const std::vector<double> costs = {4, 0, 1, -3};
    d.width = d.height = 2;
    d.goalX = d.goalY = 1;
    d.map = costs.data();
    ASSERT_TRUE(p.createMap(d));
    const float* cost = p.getMap();
    EXPECT_EQ(std::vector<float>(cost, cost + 4), (std::vector<float>{1, -1, 0.25f, -1}));
    // With diagonals the corner of a 3 x 3 map is two diagonal steps away.
    const std::vector<double> ones(9, 1.0);
    d.width = d.height = 3;
    d.goalX = d.goalY = 2;
    d.map = ones.data();
    d.diagonalsAllowed = d.diagonalCost = true;
    ASSERT_TRUE(p.createMap(d));
    p.initialize();
    ASSERT_TRUE(p.run());
    EXPECT_EQ(p.getPathSize(), 3);
    EXPECT_FLOAT_EQ(p.getPathCost(), 2 * 1.4142135f);
}

TEST(FindPath, ThreeByThreeTakesTheFirstInsertedOfEqualSteps) {
    Map m({"...", "...", "..."});
    double n = 0;
    Cells p = Search(m, 0, 0, 2, 2, &n);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(p, (Cells{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}));
}

TEST(FindPath, FollowsTheOnlyCorridor) {
    Map m({".#....", ".#.##.", ".#.#..", "...#.#", "####.."});
    Cells p = Search(m, 0, 0, 5, 4);
    Cells want = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {2, 2}, {2, 1}, {2, 0}, {3, 0},
                  {4, 0}, {5, 0}, {5, 1}, {5, 2}, {4, 2}, {4, 3}, {4, 4}, {5, 4}};
    EXPECT_EQ(p, want);
}

TEST(FindPath, WalledInGoalGivesZeroAndAnEmptyPath) {
    Map m({".....", "..#..", ".#.#.", "..#..", "....."});
    DQIntArray map, path;
    m.Into(map);
    DIM(path, 3, 2);
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 2, 2), 0);
    EXPECT_EQ(BOUNDS(path, 0), 1);  // dimensioned with all sizes 0: one element
    EXPECT_EQ(BOUNDS(path, 1), 0);
    // A goal that is itself a wall can never be entered.
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 2, 1), 0);
}

TEST(FindPath, DearCellStillWinsWithWeightPointSeven) {
    Map m({"191", "111", "111"});
    EXPECT_EQ(Search(m, 0, 0, 2, 0), (Cells{{0, 0}, {1, 0}, {2, 0}}));
    // Negative values are walls like 0; the start cell's own value is not examined.
    Map wallsNeg(3, 3, {-5, -1, 1, 1, 0, 1, 1, 1, 1});
    EXPECT_EQ(Search(wallsNeg, 0, 0, 2, 0), (Cells{{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}}));
    Map openStart(3, 3, {-5, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(Search(openStart, 0, 0, 2, 0), (Cells{{0, 0}, {1, 0}, {2, 0}}));
}

TEST(FindPath, RefusedRequestsLeaveThePathAlone) {
    Map m({"...", "...", "..."});
    DQIntArray map, path;
    m.Into(map);
    DIM(path, 4, 2);
    path(3, 1) = 42;
    EXPECT_EQ(FINDPATH(map, path, 0.7, 1, 1, 1, 1), 0);        // start equals goal
    EXPECT_EQ(FINDPATH(map, path, 0.7, -1, 0, 2, 2), 0);       // outside
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 3, 0), 0);        // outside
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 1e300, 0), 0);    // far outside
    EXPECT_EQ(path(3, 1), 42);
    DQIntArray flat, cube, never;
    DIM(flat, 9);
    DIM(cube, 3, 3, 3);
    EXPECT_EQ(FINDPATH(flat, path, 0.7, 0, 0, 1, 0), 0);
    EXPECT_EQ(FINDPATH(cube, path, 0.7, 0, 0, 1, 0), 0);
    EXPECT_EQ(FINDPATH(never, path, 0.7, 0, 0, 1, 0), 0);
    EXPECT_EQ(path(3, 1), 42);
}

TEST(FindPath, WeightArgumentHasNoEffect) {
    Map m({"1.9.", "..9.", "3...", "...."});
    DQIntArray map, a, b, c;
    m.Into(map);
    double na = FINDPATH(map, a, 5, 0, 0, 3, 3);
    double nb = FINDPATH(map, b, -3, 0, 0, 3, 3);
    double nc = FINDPATH(map, c, 0.7, 0, 0, 3, 3);
    ASSERT_EQ(na, nc);
    ASSERT_EQ(nb, nc);
    for (int i = 0; i < na; ++i) {
        EXPECT_EQ(a(i, 0), c(i, 0));
        EXPECT_EQ(b(i, 1), c(i, 1));
    }
}

// Every returned path is connected, avoids walls, runs from start to goal, and is the
// reference search's path cell for cell: on many small maps, one search each, and on
// maps of the sizes games use, several searches each as for many units in one frame.
TEST(FindPath, MatchesTheReferenceOnRandomMaps) {
    std::mt19937 rng(20261206);
    int withPath = 0;
    auto check = [&](const Map& m, int round) {
        const int w = m.w, h = m.h;
        int sx = rng() % w, sy = rng() % h, gx = rng() % w, gy = rng() % h;
        Cells got = Search(m, sx, sy, gx, gy);
        Cells want = ReferencePath(m.v, w, h, sx, sy, gx, gy);
        ASSERT_EQ(got, want) << "round " << round << ", " << w << " x " << h;
        if (got.empty()) return;
        ++withPath;
        EXPECT_EQ(got.front(), std::make_pair(sx, sy));
        EXPECT_EQ(got.back(), std::make_pair(gx, gy));
        for (size_t i = 1; i < got.size(); ++i) {
            int d = std::abs(got[i].first - got[i - 1].first) + std::abs(got[i].second - got[i - 1].second);
            EXPECT_EQ(d, 1);
            EXPECT_GT(m.v[got[i].second * w + got[i].first], 0);
        }
    };
    auto randomMap = [&](int w, int h) {
        double wallShare = (rng() % 45) / 100.0;
        int maxCost = 1 + rng() % 9;
        std::vector<double> v(w * h);
        for (double& c : v) {
            double r = (rng() % 1000) / 1000.0;
            c = r < wallShare ? -(double)(rng() % 3) : 1 + rng() % maxCost;
            if (rng() % 7 == 0 && c > 0) c += 0.5;  // fractional costs too
        }
        return Map(w, h, v);
    };
    for (int round = 0; round < 400; ++round) {
        const int w = 2 + rng() % 30, h = 2 + rng() % 30;
        check(randomMap(w, h), round);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(withPath, 150);
    for (int round = 0; round < 8; ++round) {
        const int w = 32 + rng() % 97, h = 32 + rng() % 97;
        const Map m = randomMap(w, h);
        for (int unit = 0; unit < 3; ++unit) check(m, round);
        if (HasFatalFailure()) return;
    }
}

TEST(FindPath, EscapeAbortsALongSearchAndLeavesThePath) {
    StartRuntimeOnce();
    // A serpentine that needs far more than 10 002 expansions.
    const int w = 201, h = 201;
    std::vector<double> v(w * h, 1);
    for (int y = 1; y < h; y += 2)
        for (int x = 0; x < w; ++x)
            if ((y / 2) % 2 == 0 ? x != w - 1 : x != 0) v[y * w + x] = 0;
    Map m(w, h, v);
    DQIntArray map, path;
    m.Into(map);
    DIM(path, 1, 2);
    path(0, 1) = 7;
    pDXin->OnKey(1, true);
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 0, h - 1), 0);
    EXPECT_EQ(path(0, 1), 7);
    pDXin->OnKey(1, false);
    EXPECT_GT(FINDPATH(map, path, 0.7, 0, 0, 0, h - 1), 10002);
}

}  // namespace
