// FINDPATH against a textbook A* (std::priority_queue, the same normalised costs,
// ordering key and four neighbours) on open and maze-like maps from 32 x 32 to
// 1024 x 1024, and 100 searches between scattered cells of one 64 x 64 map, the way a
// game moves its units every frame. Each FINDPATH case runs right before its textbook
// twin, and the run ends with a table of the time per search and the ratio of the two.
//
//   build/bench/bench_findpath --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The goal: a ratio of at most 1.2 everywhere and at most 1.0 at 1024 x 1024.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "tolvane.h"
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
    static std::map<std::pair<bool, int>, Grid> cache;  // grids stay where they are
    auto it = cache.find({maze, n});
    if (it == cache.end()) it = cache.emplace(std::make_pair(maze, n), maze ? MazeMap(n) : OpenMap(n)).first;
    return it->second;
}

// Start and goal of one search.
struct Trip {
    int sx, sy, gx, gy;
};

// Corner to corner: for the maze, its first and last carved cells.
std::vector<Trip> CornerTrip(bool maze, int n) {
    const int s = maze ? 1 : 0, goal = maze ? n - 2 : n - 1;
    return {{s, s, goal, goal}};
}

// Many searches between scattered passable cells.
std::vector<Trip> ScatteredTrips(const Grid& grid, int count) {
    std::mt19937 rng(grid.n * 31 + count);
    std::vector<int> open;
    for (size_t i = 0; i < grid.cells.size(); ++i)
        if (grid.cells[i] > 0) open.push_back(static_cast<int>(i));
    std::vector<Trip> trips;
    while (static_cast<int>(trips.size()) < count) {
        int a = open[rng() % open.size()], b = open[rng() % open.size()];
        if (a != b) trips.push_back({a % grid.n, a / grid.n, b % grid.n, b / grid.n});
    }
    return trips;
}

void BM_FindPath(benchmark::State& state, const Grid* grid, std::vector<Trip> trips) {
    const int n = grid->n;
    DQIntArray map, path;
    DIM(map, n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) map(x, y) = grid->cells[static_cast<size_t>(y) * n + x];
    double cells = 0;
    for (auto _ : state) {
        cells = 0;
        for (const Trip& t : trips) cells += FINDPATH(map, path, 0.7, t.sx, t.sy, t.gx, t.gy);
        benchmark::DoNotOptimize(cells);
    }
    state.counters["cells"] = cells;
}

void BM_PlainAStar(benchmark::State& state, const Grid* grid, std::vector<Trip> trips) {
    double cells = 0;
    for (auto _ : state) {
        cells = 0;
        for (const Trip& t : trips) cells += PlainAStar(*grid, t.sx, t.sy, t.gx, t.gy);
        benchmark::DoNotOptimize(cells);
    }
    state.counters["cells"] = cells;
}

// The console output as usual, then per case the CPU time of one search on both sides
// and their ratio, taken from the median of the repetitions (the single run without
// them). CPU time, not wall time: on a busy machine the wall time mostly measures the
// waiting for a core.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only for a terminal.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void Expect(const std::string& name, int searches) { searches_.emplace_back(name, searches); }

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) continue;
            std::string name = r.run_name.function_name;
            if (!median && r.repetitions > 1) continue;  // a single repetition of several
            // per iteration, in milliseconds (every case is registered in ms)
            times_[name] = r.GetAdjustedCPUTime();
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        char line[128];
        std::snprintf(line, sizeof line, "\nCPU time per search\n%-26s %14s %14s %7s\n", "case", "FINDPATH (us)",
                      "textbook (us)", "ratio");
        out << line;
        for (const auto& [name, searches] : searches_) {
            if (name.rfind("FINDPATH/", 0) != 0) continue;
            const std::string rest = name.substr(9);
            auto ours = times_.find(name), theirs = times_.find("textbook/" + rest);
            if (ours == times_.end() || theirs == times_.end()) continue;
            const double a = ours->second * 1000 / searches, b = theirs->second * 1000 / searches;
            std::snprintf(line, sizeof line, "%-26s %14.2f %14.2f %7.2f\n", rest.c_str(), a, b, a / b);
            out << line;
        }
    }

private:
    std::vector<std::pair<std::string, int>> searches_;  // in the order of registration
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    auto add = [&](const std::string& label, const Grid& grid, const std::vector<Trip>& trips) {
        const std::string ours = "FINDPATH/" + label, theirs = "textbook/" + label;
        benchmark::RegisterBenchmark(ours.c_str(), BM_FindPath, &grid, trips)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(theirs.c_str(), BM_PlainAStar, &grid, trips)->Unit(benchmark::kMillisecond);
        reporter.Expect(ours, static_cast<int>(trips.size()));
    };
    char label[64];
    for (bool maze : {false, true})
        for (int n : {32, 64, 128, 256, 1024}) {
            const int side = maze ? n + 1 : n;  // the maze needs an odd side
            std::snprintf(label, sizeof label, "%s/%dx%d", maze ? "maze" : "open", side, side);
            add(label, Cached(maze, side), CornerTrip(maze, side));
        }
    add("open/64x64/100_searches", Cached(false, 64), ScatteredTrips(Cached(false, 64), 100));
    add("maze/65x65/100_searches", Cached(true, 65), ScatteredTrips(Cached(true, 65), 100));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
