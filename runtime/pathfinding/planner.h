// Internal: grid path search: a weighted A* over a cost map normalised to 0 ... 1, with the
// Manhattan distance as heuristic.
//
// The ordering key of a node is f = (h - g) * w + g in 32-bit floats; the node with
// the smallest f is expanded first, and among equal keys the one that entered the
// open list first. A closed node reached again more cheaply is opened again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pathfinding/node_storage.h"
#include "pathfinding/open_list.h"

// The containers of a search. A planner that ends hands its storage on to the next
// one, so repeated searches on grids no larger than before allocate nothing, and a
// search touches only the cells it visits.
struct __PlannerStorage {
    NodeFactory pool;
    OpenList open;           // also knows each visited cell's node, open or closed
    std::vector<float> cost; // the normalised cost map, made when asked for
};

class Planner {
public:
    struct Description {
        int32_t startX = 0, startY = 0;
        int32_t goalX = 0, goalY = 0;
        bool diagonalCost = false;     // diagonal steps cost sqrt(2) times the cell
        bool diagonalsAllowed = false; // the four diagonal neighbours are searched
        uint32_t nodePoolSize = 0;     // 0: width x height
        uint32_t openListCapacity = 0; // 0: width x height
        uint32_t closedTableBits = 0;
        float weight = 0;              // clamped to 0 ... 1
        int32_t width = 0, height = 0;
        // Cell (x, y) is map[x + y * width]; 0 or less: wall. The planner reads the
        // map while it searches: it must stay in place and unchanged until then.
        const double* map = nullptr;
    };

    Planner();
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;
    virtual ~Planner();

    // Loads the request: checks start and goal, finds the largest cost that
    // normalises the others, readies the pool, the open list and the closed set. False
    // (nothing changed) when start or goal lie outside the grid or coincide, or when
    // the grid is empty or too large.
    bool createMap(const Description& d);
    void unloadMap();
    virtual void initialize();
    // Searches; false when the user aborted with Escape.
    virtual bool run() = 0;
    // Hands every node back to the pool.
    virtual void cleanup();

    // g of the goal node, -1 without one.
    float getPathCost() const;
    int getPathSize() const;
    int getOpenSize() const { return static_cast<int>(open_.size()); }
    int getClosedSize() const { return static_cast<int>(closedCount_); }
    // Write value into grid[y * width + x] for the path's, the open or the closed
    // cells; false for a null grid.
    bool fillPath(int* grid, int value) const;
    bool fillOpen(int* grid, int value) const;
    bool fillClosed(int* grid, int value) const;

    const Description& getDescription() const { return desc_; }
    const Node* getGoal() const { return goal_; }
    // The normalised costs, -1 for a wall, cell (x, y) at [y * width + x]; null when
    // nothing is loaded.
    const float* getMap() const;
    int getNumSlices() const { return slices_; }
    int getRunningTime() const { return runningTime_; }
    bool isDone() const { return done_; }
    bool isLoaded() const { return loaded_; }

protected:
    // The normalised cost of cell i, -1 for a wall: a value of 0 or less (or NaN) is
    // a wall, the others are divided by the largest.
    float CostAt(size_t i) const {
        const float v = static_cast<float>(desc_.map[i]);
        return v > 0 ? v / most_ : -1.0f;
    }

    std::unique_ptr<__PlannerStorage> store_;
    bool done_ = true;
    bool loaded_ = false;
    NodeFactory& pool_;
    Description desc_{};
    float most_ = -1;  // the largest passable cost of the loaded map, -1 without one
    int slices_ = 0;
    int runningTime_ = 0;
    OpenList& open_;
    unsigned closedCount_ = 0;  // visited cells whose node is not open
    Node* goal_ = nullptr;
};

class AStarPlanner : public Planner {
public:
    AStarPlanner() = default;
    ~AStarPlanner() override;
    void initialize() override;
    bool run() override;

private:
    template <bool kDiagonals>
    bool Search();
};

// Largest grid (width x height) the search takes.
constexpr int64_t __kMaxPathCells = int64_t{1} << 26;

// The test a long search runs every 10 000 expanded nodes (and once at its start): true
// aborts the search. The program's start-up sets it to "Escape is held"; without one a
// search runs to its end.
void __SetPathAbortTest(bool (*test)());
