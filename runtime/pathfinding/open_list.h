// The search's open list: nodes ordered by f, the smallest first, and among equal f
// the one inserted first. A node that is taken out and inserted again counts as
// inserted anew. A binary heap keyed by (f, insertion number) keeps that order; a node
// taken out early leaves its heap entry behind as stale, and a per-cell record of the
// live entry answers "is this cell open" at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pathfinding/node_storage.h"

class OpenList {
public:
    // Room for one node per cell of a width-wide grid of `cells` cells; the list
    // starts empty. The per-cell records are kept for a later grid that fits them.
    void allocate(unsigned cells, int width);
    void insert(Node* node);
    // Removes and returns the node with the smallest key; null when empty.
    Node* popFront();
    // The open node of cell (x, y), or null.
    Node* find(int x, int y) const {
        const size_t c = static_cast<size_t>(y) * width_ + x;
        return live_[c] ? node_[c] : nullptr;
    }
    // Takes the node out of the list (it must be in it).
    void remove(Node* node);
    unsigned size() const { return count_; }
    bool isEmpty() const { return count_ == 0; }
    // Calls f for every open node.
    template <class F>
    void forEach(F f) const {
        for (const Entry& e : heap_)
            if (Live(e)) f(e.node);
    }
    void clear();

private:
    struct Entry {
        float f;
        uint64_t order;
        Node* node;
    };
    // The heap's order: the entry that must leave first is the greatest.
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.f > b.f || (a.f == b.f && a.order > b.order);
        }
    };
    size_t Cell(const Node* n) const { return static_cast<size_t>(n->y) * width_ + n->x; }
    bool Live(const Entry& e) const { return live_[Cell(e.node)] == e.order + 1; }

    std::vector<Entry> heap_;
    std::vector<uint64_t> live_;  // per cell: insertion number + 1 of its live entry, 0 when not open
    std::vector<Node*> node_;     // per cell: its open node
    int width_ = 0;
    unsigned count_ = 0;
    uint64_t inserted_ = 0;
};
