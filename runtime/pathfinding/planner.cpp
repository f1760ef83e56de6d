#include "pathfinding/planner.h"

#include <cstdlib>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Expanded nodes between two calls of the abort test.
constexpr int kAbortInterval = 10000;

bool (*g_abortTest)() = nullptr;

bool AbortRequested() { return g_abortTest && g_abortTest(); }

// Storage of the last planner that ended, kept for the next one when not too large.
std::unique_ptr<__PlannerStorage> g_spare;
constexpr size_t kLargestKeptGrid = size_t{1} << 22;

std::unique_ptr<__PlannerStorage> TakeStorage() {
    if (g_spare) return std::move(g_spare);
    return std::make_unique<__PlannerStorage>();
}

// The largest cell value as a 32-bit float, among the values that are greater than 0
// as 32-bit floats; -1 when there is none. Rounding to float keeps the order, so the
// largest double decides; NaN never wins a comparison.
float LargestCost(const double* map, size_t n) {
    double most = 0;
    size_t i = 0;
#if defined(__SSE2__)
    __m128d a = _mm_setzero_pd(), b = a, c = a, d = a;
    for (; i + 8 <= n; i += 8) {
        // the first operand when it is greater, else the second (also for NaN)
        a = _mm_max_pd(_mm_loadu_pd(map + i), a);
        b = _mm_max_pd(_mm_loadu_pd(map + i + 2), b);
        c = _mm_max_pd(_mm_loadu_pd(map + i + 4), c);
        d = _mm_max_pd(_mm_loadu_pd(map + i + 6), d);
    }
    a = _mm_max_pd(_mm_max_pd(a, b), _mm_max_pd(c, d));
    double lanes[2];
    _mm_storeu_pd(lanes, a);
    most = lanes[0] > lanes[1] ? lanes[0] : lanes[1];
#endif
    for (; i < n; ++i)
        if (map[i] > most) most = map[i];
    const float m = static_cast<float>(most);
    return m > 0 ? m : -1.0f;
}

}  // namespace

Planner::Planner() : store_(TakeStorage()), pool_(store_->pool), open_(store_->open) {}

Planner::~Planner() {
    cleanup();
    if (!g_spare && store_->open.cellCapacity() <= kLargestKeptGrid) g_spare = std::move(store_);
}

bool Planner::createMap(const Description& d) {
    if (d.startX < 0 || d.startX >= d.width || d.startY < 0 || d.startY >= d.height || d.goalX < 0 ||
        d.goalX >= d.width || d.goalY < 0 || d.goalY >= d.height)
        return false;
    if (d.startX == d.goalX && d.startY == d.goalY) return false;
    const int64_t cells = static_cast<int64_t>(d.width) * d.height;
    if (!d.map || cells > __kMaxPathCells) return false;

    cleanup();
    loaded_ = false;
    const unsigned n = static_cast<unsigned>(cells);
    try {
        pool_.allocate(n);
        open_.start(n, d.width, pool_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    most_ = LargestCost(d.map, n);
    goal_ = nullptr;
    desc_ = d;
    desc_.weight = desc_.weight < 0 ? 0 : (desc_.weight > 1 ? 1 : desc_.weight);
    loaded_ = true;
    return true;
}

void Planner::initialize() { goal_ = nullptr; }

void Planner::cleanup() {
    pool_.reclaimAll();
    open_.clear();
    goal_ = nullptr;
}

AStarPlanner::~AStarPlanner() = default;

void AStarPlanner::initialize() {
    Planner::initialize();
    if (!loaded_) return;
    Node* start = pool_.fetch();
    if (!start) return;
    start->parent = nullptr;
    start->x = desc_.startX;
    start->y = desc_.startY;
    start->g = 0;
    start->f = 0;
    open_.insert(start);
}

bool AStarPlanner::run() {
    if (!loaded_) return true;
    AbortRequested();  // the first look only refreshes what the test looks at
    const float w = desc_.weight;
    const float most = most_;
    const double* map = desc_.map;
    const int width = desc_.width, height = desc_.height;
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(width) * static_cast<ptrdiff_t>(sizeof(double));
    const int goalX = desc_.goalX, goalY = desc_.goalY;
    int counter = 0;

    // A passable neighbour of the node being expanded, entered at the cost step.
    auto relax = [&](Node* node, size_t cell, int nx, int ny, float step) __attribute__((always_inline)) {
        const float gNew = node->g + step;
        auto key = [&] {
            const int h = std::abs(goalX - nx) + std::abs(goalY - ny);
            return (static_cast<float>(h) - gNew) * w + gNew;
        };
        if (Node* seen = open_.nodeAt(cell)) {
            // Closed or open: either way only a cheaper way in changes it.
            if (!(gNew < seen->g)) return;
            seen->parent = node;
            seen->g = gNew;
            seen->f = key();
            open_.insert(seen, cell);  // an open node leaves its old place, a closed one opens again
        } else {
            Node* fresh = pool_.fetch();
            if (!fresh) return;
            fresh->parent = node;
            fresh->x = nx;
            fresh->y = ny;
            fresh->g = gNew;
            fresh->f = key();
            open_.insertFresh(fresh, cell);
            // Likely the next to be expanded: ask early for the rows above and below (a
            // prefetch never faults, so the first and last rows need no test).
            __PrefetchAround(map + cell, rowBytes);
            open_.prefetchRows(cell);
        }
    };

    size_t at;  // the expanded node's cell
    while (Node* node = open_.popFront(at)) {
        const int x = node->x, y = node->y;
        if (x == goalX && y == goalY) {
            goal_ = node;
            return true;
        }
        if (counter > kAbortInterval) {
            counter = 0;
            if (AbortRequested()) return false;
        } else {
            ++counter;
        }
        // The neighbours in their fixed order: the one above, the right and the left
        // one, the one below. Their values and costs first, all at once (a neighbour
        // outside the grid reads the node's own cell and is skipped); a wall is a value
        // of 0 or less (or NaN) as a 32-bit float.
        const bool up = y > 0, down = y + 1 < height, left = x > 0, right = x + 1 < width;
        const size_t row = static_cast<size_t>(width);
        const size_t above = up ? at - row : at, after = right ? at + 1 : at;
        const size_t before = left ? at - 1 : at, below = down ? at + row : at;
        const float vAbove = static_cast<float>(map[above]), vAfter = static_cast<float>(map[after]);
        const float vBefore = static_cast<float>(map[before]), vBelow = static_cast<float>(map[below]);
        const float cAbove = vAbove / most, cAfter = vAfter / most;
        const float cBefore = vBefore / most, cBelow = vBelow / most;
        if (up && vAbove > 0) relax(node, above, x, y - 1, cAbove);
        if (right && vAfter > 0) relax(node, after, x + 1, y, cAfter);
        if (left && vBefore > 0) relax(node, before, x - 1, y, cBefore);
        if (down && vBelow > 0) relax(node, below, x, y + 1, cBelow);
    }
    return true;
}

void __SetPathAbortTest(bool (*test)()) { g_abortTest = test; }
