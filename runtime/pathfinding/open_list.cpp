#include "pathfinding/open_list.h"


void OpenList::allocate(unsigned cells, int width) {
    clear();  // every index entry is 0 again
    if (where_.size() < cells) where_.resize(cells, 0);
    width_ = width;
    inserted_ = 0;
}

void OpenList::insert(Node* node) {
    heap_.push_back({});
    Place(heap_.size() - 1, Entry{node->f, inserted_++, node});
    SiftUp(heap_.size() - 1);
}

Node* OpenList::popFront() {
    if (heap_.empty()) return nullptr;
    Node* n = heap_[0].node;
    RemoveAt(0);
    return n;
}

Node* OpenList::find(int x, int y) const {
    uint32_t w = where_[static_cast<size_t>(y) * width_ + x];
    return w ? heap_[w - 1].node : nullptr;
}

void OpenList::remove(Node* node) {
    uint32_t w = where_[Cell(node)];
    if (w) RemoveAt(w - 1);
}

void OpenList::clear() {
    for (const Entry& e : heap_) where_[Cell(e.node)] = 0;
    heap_.clear();
}

void OpenList::RemoveAt(size_t pos) {
    where_[Cell(heap_[pos].node)] = 0;
    Entry last = heap_.back();
    heap_.pop_back();
    if (pos == heap_.size()) return;
    Place(pos, last);
    SiftUp(pos);
    SiftDown(pos);
}

void OpenList::SiftUp(size_t pos) {
    Entry e = heap_[pos];
    while (pos > 0) {
        size_t parent = (pos - 1) / 2;
        if (!Before(e, heap_[parent])) break;
        Place(pos, heap_[parent]);
        pos = parent;
    }
    Place(pos, e);
}

void OpenList::SiftDown(size_t pos) {
    Entry e = heap_[pos];
    size_t n = heap_.size();
    for (;;) {
        size_t child = 2 * pos + 1;
        if (child >= n) break;
        if (child + 1 < n && Before(heap_[child + 1], heap_[child])) ++child;
        if (!Before(heap_[child], e)) break;
        Place(pos, heap_[child]);
        pos = child;
    }
    Place(pos, e);
}
