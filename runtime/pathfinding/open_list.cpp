#include "pathfinding/open_list.h"

#include <algorithm>

void OpenList::start(size_t cells, int width, const NodeFactory& pool) {
    if (records_.size() < cells) records_.resize(cells, Record{0, 0});
    if (open_.size() < pool.capacity()) open_.resize(pool.capacity(), 0);
    pool_ = &pool;
    width_ = width;
    clear();
}

void OpenList::clear() {
    front_ = kNoKey;
    heap_.clear();
    inserted_.clear();
    count_ = 0;
    if (++search_ == 0) {
        // The search numbers went all the way round: forget every record for good.
        for (Record& r : records_) r.search = 0;
        search_ = 1;
    }
}

// Numbers the live keys 0, 1, ... in their order and drops the stale ones, so that the
// insertion numbers never run out within one search.
void OpenList::Renumber() {
    if (front_ != kNoKey) heap_.push_back(front_);
    front_ = kNoKey;
    std::erase_if(heap_, [this](uint64_t key) { return !Live(key); });
    std::sort(heap_.begin(), heap_.end());
    std::vector<Insertion> renumbered;
    renumbered.reserve(heap_.size());
    for (uint64_t& key : heap_) {
        const uint32_t order = static_cast<uint32_t>(renumbered.size());
        renumbered.push_back(inserted_[static_cast<uint32_t>(key)]);
        open_[renumbered.back().node] = order + 1;
        key = (key & ~uint64_t{0xFFFFFFFF}) | order;
    }
    inserted_.swap(renumbered);  // an ascending array is already a heap of the smallest on top
}
