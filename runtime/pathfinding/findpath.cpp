#include "pathfinding/findpath.h"

#include <cstdint>
#include <vector>

#include "core/numbers.h"
#include "pathfinding/planner.h"

namespace {
// The search always runs with this heuristic weight.
constexpr float kWeight = 0.7f;
}  // namespace

double FINDPATH(DQIntArray& map, DQIntArray& path, double weight, double startX, double startY, double goalX,
                double goalY) {
    (void)weight;
    // Only a map of exactly two dimensions, each at least 1, whose storage holds
    // every cell, is searched.
    const int width = static_cast<int>(BOUNDS(map, 0));
    const int height = static_cast<int>(BOUNDS(map, 1));
    if (map.DimensionCount() != 2 || width < 1 || height < 1 || !map.Data()) return 0;
    if (static_cast<int64_t>(width) * height > map.ElementCount()) return 0;

    AStarPlanner planner;
    Planner::Description d;
    d.startX = __TruncInt(startX);
    d.startY = __TruncInt(startY);
    d.goalX = __TruncInt(goalX);
    d.goalY = __TruncInt(goalY);
    d.weight = kWeight;
    d.width = width;
    d.height = height;
    d.map = map.Data();
    if (!planner.createMap(d)) return 0;
    planner.initialize();
    if (!planner.run()) {
        planner.cleanup();
        return 0;
    }
    // The path from the goal back to the start, walked once.
    static std::vector<int32_t> steps;  // x, y of each cell; kept for the next call
    steps.clear();
    for (const Node* p = planner.getGoal(); p; p = p->parent) {
        steps.push_back(p->x);
        steps.push_back(p->y);
    }
    const int n = static_cast<int>(steps.size() / 2);
    if (n == 0) {
        DIM(path, 0, 0, 0, 0, 0, 0, 0, 0);
        return 0;
    }
    DIM(path, n, 2);
    // path(i, 0) is element i and path(i, 1) element n + i: the first index runs fastest.
    double* const xs = &path(0, 0);
    double* const ys = xs + n;
    for (int row = 0; row < n; ++row) {
        xs[row] = steps[2 * static_cast<size_t>(n - 1 - row)];
        ys[row] = steps[2 * static_cast<size_t>(n - 1 - row) + 1];
    }
    planner.cleanup();
    return n;
}
