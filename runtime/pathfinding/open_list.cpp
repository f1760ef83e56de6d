#include "pathfinding/open_list.h"

#include <algorithm>

void OpenList::allocate(unsigned cells, int width) {
    clear();  // every record is 0 again
    if (live_.size() < cells) {
        live_.resize(cells, 0);
        node_.resize(cells, nullptr);
    }
    width_ = width;
    inserted_ = 0;
}

void OpenList::insert(Node* node) {
    const uint64_t order = inserted_++;
    live_[Cell(node)] = order + 1;
    node_[Cell(node)] = node;
    heap_.push_back(Entry{node->f, order, node});
    std::push_heap(heap_.begin(), heap_.end(), Later{});
    ++count_;
}

Node* OpenList::popFront() {
    while (!heap_.empty()) {
        std::pop_heap(heap_.begin(), heap_.end(), Later{});
        Entry e = heap_.back();
        heap_.pop_back();
        if (!Live(e)) continue;  // left behind by a node that was taken out early
        live_[Cell(e.node)] = 0;
        --count_;
        return e.node;
    }
    return nullptr;
}

void OpenList::remove(Node* node) {
    uint64_t& live = live_[Cell(node)];
    if (!live) return;
    live = 0;
    --count_;
}

void OpenList::clear() {
    for (const Entry& e : heap_) live_[Cell(e.node)] = 0;
    heap_.clear();
    count_ = 0;
}
