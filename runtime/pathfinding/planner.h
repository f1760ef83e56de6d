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

#include "pathfinding/node_storage.h"
#include "pathfinding/open_list.h"

// The containers of a search. A planner that ends hands its storage on to the next
// one, so repeated searches on grids no larger than before allocate nothing, and a
// search touches only the cells it visits.
struct __PlannerStorage {
    NodeFactory pool;
    OpenList open;  // also knows each visited cell's node, open or closed
};

class Planner {
public:
    struct Description {
        int32_t startX = 0, startY = 0;
        int32_t goalX = 0, goalY = 0;
        float weight = 0;  // clamped to 0 ... 1
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
    // normalises the others, readies the pool (a node for every cell) and the open
    // list. False (nothing changed) when start or goal lie outside the grid or
    // coincide, or when the grid is empty or too large.
    bool createMap(const Description& d);
    virtual void initialize();
    // Searches the four orthogonal neighbours of each cell; false when the user
    // aborted.
    virtual bool run() = 0;
    // Hands every node back to the pool.
    virtual void cleanup();

    // The goal node of the path found, its parents leading back to the start; null
    // when there is none.
    const Node* getGoal() const { return goal_; }

protected:
    std::unique_ptr<__PlannerStorage> store_;
    bool loaded_ = false;
    NodeFactory& pool_;
    Description desc_{};
    float most_ = -1;  // the largest passable cost of the loaded map, -1 without one
    OpenList& open_;
    Node* goal_ = nullptr;
};

class AStarPlanner : public Planner {
public:
    AStarPlanner() = default;
    ~AStarPlanner() override;
    void initialize() override;
    bool run() override;
};

// Largest grid (width x height) the search takes.
constexpr int64_t __kMaxPathCells = int64_t{1} << 26;

// The test a long search runs every 10 000 expanded nodes (and once at its start): true
// aborts the search. The program's start-up sets it to "Escape is held"; without one a
// search runs to its end.
void __SetPathAbortTest(bool (*test)());
