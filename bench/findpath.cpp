// FINDPATH against a textbook A* (std::priority_queue, the same normalised costs,
// ordering key and four neighbours) on open and maze-like maps.
//
//   build/bench/bench_findpath
//
// The ratio FINDPATH / textbook at 1024 x 1024 is the figure to watch (goal: under 2).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <queue>
#include <random>
#include <vector>

#include "core/arrays.h"
#include "core/lifecycle.h"
#include "pathfinding/findpath.h"

namespace {

struct Grid {
    int n = 0;
    std::vector<double> cells;  // x fastest
};

// Costs 1 ... 9 everywhere, a few scattered walls.
Grid OpenMap(int n) {
    Grid g{n, std::vector<double>(static_cast<size_t>(n) * n)};
    std::mt19937 rng(n);
    for (double& c : g.cells) c = (rng() % 20 == 0) ? 0 : 1 + rng() % 9;
    g.cells[0] = 1;
    g.cells.back() = 1;
    return g;
}

// A perfect maze on the odd cells (depth-first carving), passages of cost 1 ... 3.
Grid MazeMap(int n) {
    Grid g{n, std::vector<double>(static_cast<size_t>(n) * n, 0)};
    std::mt19937 rng(n * 7 + 1);
    int cellsPerSide = (n - 1) / 2;
    auto at = [&](int x, int y) -> double& { return g.cells[static_cast<size_t>(y) * n + x]; };
    std::vector<char> seen(static_cast<size_t>(cellsPerSide) * cellsPerSide, 0);
    std::vector<std::pair<int, int>> stack{{0, 0}};
    seen[0] = 1;
    at(1, 1) = 1;
    const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
    while (!stack.empty()) {
        auto [cx, cy] = stack.back();
        int order[4] = {0, 1, 2, 3};
        std::shuffle(order, order + 4, rng);
        bool moved = false;
        for (int k : order) {
            int nx = cx + dx[k], ny = cy + dy[k];
            if (nx < 0 || ny < 0 || nx >= cellsPerSide || ny >= cellsPerSide) continue;
            if (seen[static_cast<size_t>(ny) * cellsPerSide + nx]) continue;
            seen[static_cast<size_t>(ny) * cellsPerSide + nx] = 1;
            at(2 * cx + 1 + dx[k], 2 * cy + 1 + dy[k]) = 1 + rng() % 3;
            at(2 * nx + 1, 2 * ny + 1) = 1 + rng() % 3;
            stack.push_back({nx, ny});
            moved = true;
            break;
        }
        if (!moved) stack.pop_back();
    }
    return g;
}

// Textbook weighted A*: lazy deletion, closed nodes reopened when reached cheaper.
int PlainAStar(const Grid& grid, int sx, int sy, int gx, int gy) {
    const int n = grid.n;
    const size_t cells = static_cast<size_t>(n) * n;
    std::vector<float> cost(cells);
    float most = -1;
    for (size_t i = 0; i < cells; ++i) {
        float v = static_cast<float>(grid.cells[i]);
        cost[i] = v <= 0 ? -1 : v;
        if (v > 0 && v >= most) most = v;
    }
    for (float& c : cost)
        if (c > 0) c /= most;
    std::vector<float> g(cells, INFINITY);
    std::vector<int> parent(cells, -1);
    std::vector<char> closed(cells, 0);
    struct Item {
        float f;
        uint64_t order;
        int cell;
        bool operator<(const Item& o) const { return f > o.f || (f == o.f && order > o.order); }
    };
    std::priority_queue<Item> open;
    uint64_t order = 0;
    const float w = 0.7f;
    int start = sy * n + sx, goal = gy * n + gx;
    g[start] = 0;
    open.push({0, order++, start});
    const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
    while (!open.empty()) {
        Item it = open.top();
        open.pop();
        if (closed[it.cell]) continue;
        if (it.cell == goal) break;
        closed[it.cell] = 1;
        int x = it.cell % n, y = it.cell / n;
        for (int k = 0; k < 4; ++k) {
            int nx = x + dx[k], ny = y + dy[k];
            if (nx < 0 || ny < 0 || nx >= n || ny >= n) continue;
            int c = ny * n + nx;
            if (cost[c] == -1) continue;
            float g2 = g[it.cell] + cost[c];
            if (!(g2 < g[c])) continue;
            g[c] = g2;
            parent[c] = it.cell;
            closed[c] = 0;
            float f = (static_cast<float>(std::abs(gx - nx) + std::abs(gy - ny)) - g2) * w + g2;
            open.push({f, order++, c});
        }
    }
    int len = 0;
    if (g[goal] != INFINITY)
        for (int c = goal; c != -1; c = parent[c]) ++len;
    return len;
}

const Grid& Cached(bool maze, int n) {
    static std::vector<std::pair<std::pair<bool, int>, Grid>> cache;
    for (auto& [key, grid] : cache)
        if (key.first == maze && key.second == n) return grid;
    cache.push_back({{maze, n}, maze ? MazeMap(n) : OpenMap(n)});
    return cache.back().second;
}

void BM_FindPath(benchmark::State& state, bool maze) {
    const int n = static_cast<int>(state.range(0));
    const Grid& grid = Cached(maze, n);
    DQIntArray map, path;
    DIM(map, n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) map(x, y) = grid.cells[static_cast<size_t>(y) * n + x];
    int s = maze ? 1 : 0, goal = maze ? n - 2 : n - 1;
    double len = 0;
    for (auto _ : state) {
        len = FINDPATH(map, path, 0.7, s, s, goal, goal);
        benchmark::DoNotOptimize(len);
    }
    state.counters["cells"] = len;
}

void BM_PlainAStar(benchmark::State& state, bool maze) {
    const int n = static_cast<int>(state.range(0));
    const Grid& grid = Cached(maze, n);
    int s = maze ? 1 : 0, goal = maze ? n - 2 : n - 1;
    int len = 0;
    for (auto _ : state) {
        len = PlainAStar(grid, s, s, goal, goal);
        benchmark::DoNotOptimize(len);
    }
    state.counters["cells"] = len;
}

}  // namespace

BENCHMARK_CAPTURE(BM_FindPath, open, false)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlainAStar, open, false)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FindPath, maze, true)->Arg(65)->Arg(257)->Arg(1025)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlainAStar, maze, true)->Arg(65)->Arg(257)->Arg(1025)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
