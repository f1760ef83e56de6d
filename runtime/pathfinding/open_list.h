// The search's open list: nodes ordered by f, the smallest first, and among equal f
// the one inserted first. A node that is taken out and inserted again counts as
// inserted anew. A binary heap keyed by (f, insertion number) keeps that order, and a
// per-cell index answers "is this cell open" and "where is it" at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pathfinding/node_storage.h"

class OpenList {
public:
    OpenList() = default;
    OpenList(const OpenList&) = delete;
    OpenList& operator=(const OpenList&) = delete;
    ~OpenList() = default;

    // Room for one node per cell of a width-wide grid of `cells` cells; the list
    // starts empty. The per-cell index is kept for a later grid that fits it.
    void allocate(unsigned cells, int width);
    void insert(Node* node);
    // Removes and returns the node with the smallest key; null when empty.
    Node* popFront();
    // The open node of cell (x, y), or null.
    Node* find(int x, int y) const;
    // Takes the node out of the list (it must be in it).
    void remove(Node* node);
    unsigned size() const { return static_cast<unsigned>(heap_.size()); }
    bool isEmpty() const { return heap_.empty(); }
    Node* at(unsigned i) const { return heap_[i].node; }
    void clear();

private:
    struct Entry {
        float f;
        uint64_t order;
        Node* node;
    };
    static bool Before(const Entry& a, const Entry& b) { return a.f < b.f || (a.f == b.f && a.order < b.order); }
    size_t Cell(const Node* n) const { return static_cast<size_t>(n->y) * width_ + n->x; }
    void Place(size_t pos, const Entry& e) {
        heap_[pos] = e;
        where_[Cell(e.node)] = static_cast<uint32_t>(pos) + 1;
    }
    void SiftUp(size_t pos);
    void SiftDown(size_t pos);
    void RemoveAt(size_t pos);

    std::vector<Entry> heap_;
    std::vector<uint32_t> where_;  // per cell: heap position + 1, 0 when not open
    int width_ = 0;
    uint64_t inserted_ = 0;
};
