#include "pathfinding/planner.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/services.h"
#include "input/dxinput.h"

namespace {

constexpr int kKeyEscape = 1;
// Expanded nodes between two looks at the Escape key.
constexpr int kEscapeInterval = 10000;

bool EscapeHeld() {
    if (!pDXin) return false;
    pDXin->GetKeyboardStatus();
    return pDXin->KeyDown(kKeyEscape);
}

// Storage of the last planner that ended, kept for the next one when not too large.
std::unique_ptr<__PlannerStorage> g_spare;
constexpr size_t kLargestKeptGrid = size_t{1} << 22;

std::unique_ptr<__PlannerStorage> TakeStorage() {
    if (g_spare) return std::move(g_spare);
    return std::make_unique<__PlannerStorage>();
}

}  // namespace

Planner::Planner()
    : store_(TakeStorage()), pool_(store_->pool), open_(store_->open), closed_(store_->closed) {}

Planner::~Planner() {
    cleanup();
    if (!g_spare && store_->closedAt.size() <= kLargestKeptGrid) g_spare = std::move(store_);
}

bool Planner::createMap(const Description& d) {
    if (d.startX < 0 || d.startX >= d.width || d.startY < 0 || d.startY >= d.height || d.goalX < 0 ||
        d.goalX >= d.width || d.goalY < 0 || d.goalY >= d.height)
        return false;
    if (d.startX == d.goalX && d.startY == d.goalY) return false;
    const int64_t cells = static_cast<int64_t>(d.width) * d.height;
    if (!d.map || cells > __kMaxPathCells) return false;

    cleanup();
    unloadMap();
    try {
        store_->cost.resize(static_cast<size_t>(cells));
        if (store_->closedAt.size() < static_cast<size_t>(cells)) store_->closedAt.resize(cells, nullptr);
    } catch (const std::bad_alloc&) {
        return false;
    }
    cost_ = store_->cost.data();
    closedAt_ = store_->closedAt.data();
    float most = -1;
    for (int64_t i = 0; i < cells; ++i) {
        float v = static_cast<float>(d.map[i]);
        if (v <= 0 || v != v) {  // a NaN cell is a wall as well
            cost_[i] = -1;
        } else {
            cost_[i] = v;
            if (v >= most) most = v;
        }
    }
    if (most > 0)
        for (int64_t i = 0; i < cells; ++i)
            if (cost_[i] > 0) cost_[i] /= most;

    const unsigned n = static_cast<unsigned>(cells);
    try {
        pool_.allocate(d.nodePoolSize ? d.nodePoolSize : n);
        open_.allocate(n, d.width);
        closed_.create(d.closedTableBits);
    } catch (const std::bad_alloc&) {
        unloadMap();
        return false;
    }
    goal_ = nullptr;

    desc_ = d;
    if (desc_.weight < 0) desc_.weight = 0;
    if (desc_.weight > 1) desc_.weight = 1;
    slices_ = 0;
    runningTime_ = 0;
    done_ = true;
    return true;
}

void Planner::unloadMap() {
    if (!cost_) return;
    cost_ = nullptr;
    slices_ = 0;
    goal_ = nullptr;
    desc_ = Description{};
}

void Planner::initialize() {
    done_ = false;
    slices_ = 0;
    goal_ = nullptr;
}

void Planner::cleanup() {
    open_.forEach([this](Node* n) { pool_.release(n); });
    open_.clear();
    if (closedAt_) {
        NodeHashIterator it(&closed_);
        for (Node* n = it.begin(); n; n = it.next()) closedAt_[static_cast<size_t>(n->y) * desc_.width + n->x] = nullptr;
    }
    closed_.releaseAll(pool_);
    goal_ = nullptr;
    done_ = true;
}

float Planner::getPathCost() const { return goal_ ? goal_->g : -1; }

int Planner::getPathSize() const {
    int n = 0;
    for (const Node* p = goal_; p; p = p->parent) ++n;
    return n;
}

bool Planner::fillPath(int* grid, int value) const {
    if (!grid) return false;
    for (const Node* p = goal_; p; p = p->parent) grid[p->y * desc_.width + p->x] = value;
    return true;
}

bool Planner::fillOpen(int* grid, int value) const {
    if (!grid) return false;
    open_.forEach([&](const Node* n) { grid[n->y * desc_.width + n->x] = value; });
    return true;
}

bool Planner::fillClosed(int* grid, int value) {
    if (!grid) return false;
    NodeHashIterator it(&closed_);
    for (Node* n = it.begin(); n; n = it.next()) grid[n->y * desc_.width + n->x] = value;
    return true;
}

AStarPlanner::~AStarPlanner() = default;

void AStarPlanner::initialize() {
    Planner::initialize();
    Node* start = pool_.fetch();
    if (!start) return;
    start->parent = nullptr;
    start->x = desc_.startX;
    start->y = desc_.startY;
    start->g = 0;
    open_.insert(start);
}

void AStarPlanner::Close(Node* node) {
    closed_.add(node);
    closedAt_[static_cast<size_t>(node->y) * desc_.width + node->x] = node;
}

bool AStarPlanner::run() {
    ++slices_;
    const float diagonal = desc_.diagonalCost ? 1.4142135f : 1.0f;
    const float w = desc_.weight;
    const int width = desc_.width, height = desc_.height;
    int counter = 0;
    EscapeHeld();  // the first look only refreshes the key state

    static constexpr int kDx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
    static constexpr int kDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
    NodeHashIterator reopen(&closed_);

    while (!open_.isEmpty()) {
        Node* node = open_.popFront();
        if (node->x == desc_.goalX && node->y == desc_.goalY) {
            Close(node);
            goal_ = node;
            done_ = true;
            return true;
        }
        if (counter > kEscapeInterval) {
            counter = 0;
            if (EscapeHeld()) {
                Close(node);
                done_ = false;
                return false;
            }
        } else {
            ++counter;
        }
        for (int k = 0; k < 8; ++k) {
            const bool isDiagonal = kDx[k] != 0 && kDy[k] != 0;
            if (isDiagonal && !desc_.diagonalsAllowed) continue;
            const int nx = node->x + kDx[k], ny = node->y + kDy[k];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
            const size_t cell = static_cast<size_t>(ny) * width + nx;
            const float c = cost_[cell];
            if (c == -1) continue;
            const float gNew = node->g + c * (isDiagonal ? diagonal : 1.0f);
            const int h = std::abs(desc_.goalX - nx) + std::abs(desc_.goalY - ny);
            const float fNew = (static_cast<float>(h) - gNew) * w + gNew;

            if (Node* seen = closedAt_[cell]) {
                if (!(gNew < seen->g)) continue;
                reopen.find(nx, ny);
                reopen.remove();
                closedAt_[cell] = nullptr;
                seen->parent = node;
                seen->g = gNew;
                seen->f = fNew;
                open_.insert(seen);
            } else if (Node* open = open_.find(nx, ny)) {
                if (!(gNew < open->g)) continue;
                open_.remove(open);
                open->parent = node;
                open->g = gNew;
                open->f = fNew;
                open_.insert(open);
            } else {
                Node* fresh = pool_.fetch();
                if (!fresh) continue;  // a pool smaller than the grid: the cell stays unvisited
                fresh->parent = node;
                fresh->x = nx;
                fresh->y = ny;
                fresh->g = gNew;
                fresh->f = fNew;
                open_.insert(fresh);
            }
        }
        Close(node);
    }
    done_ = true;
    return true;
}
