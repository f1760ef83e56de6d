// Internal: the search's open list, and per cell the node the search made for it.
//
// Open nodes leave by the smallest f, and among equal f the one inserted first; a node
// that is taken out and inserted again counts as inserted anew. A binary heap of keys
// (f, insertion number) keeps that order, and a table by insertion number tells the
// node and its cell; a node taken out early leaves its key behind as stale. A record
// per cell tells at once whether the cell has a node in this search, and a number per
// node whether that node is open. The records carry the number of the search they
// belong to, so starting a search costs nothing however large the grid, and all
// storage is kept for the next search.
//
// The nodes come from one pool, each cell's node is handed out once per search, and no
// node goes back to the pool before the search ends.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "pathfinding/node_storage.h"

// Asks the memory early for the lines `bytes` before and after p. The addresses are
// computed as plain numbers: they may lie outside any array, and a prefetch never faults.
inline void __PrefetchAround(const void* p, ptrdiff_t bytes) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    __builtin_prefetch(reinterpret_cast<const void*>(at - static_cast<uintptr_t>(bytes)));
    __builtin_prefetch(reinterpret_cast<const void*>(at + static_cast<uintptr_t>(bytes)));
}

class OpenList {
public:
    // lastOrder: the highest insertion number handed out before the list renumbers its
    // keys, at most 2^32 - 2 (kept low only to exercise the renumbering).
    explicit OpenList(uint32_t lastOrder = UINT32_MAX - 1) : lastOrder_(std::min(lastOrder, UINT32_MAX - 1)) {}

    // Starts a search on a width-wide grid of `cells` cells whose nodes come from
    // `pool`: the list is empty and no cell has a node. Grows the records when the grid
    // or the pool is larger than any before.
    void start(size_t cells, int width, const NodeFactory& pool);
    // Ends the search: the list is empty and no cell has a node.
    void clear();

    // Makes the node the open node of its cell with a new insertion number. A node
    // that is open already leaves its old place.
    void insert(Node* node) { insert(node, static_cast<size_t>(node->y) * width_ + static_cast<size_t>(node->x)); }
    // insert for a node whose cell (y * width + x) is known.
    void insert(Node* node, size_t cell);
    // insert for a node fresh from the pool whose cell has none yet.
    void insertFresh(Node* node, size_t cell);
    // Removes and returns the node with the smallest key, and sets cell to its cell;
    // null when empty. Its cell keeps it as a node that is not open.
    Node* popFront(size_t& cell);

    // The node the search made for the cell (y * width + x), open or not, or null.
    Node* nodeAt(size_t cell) const {
        const Record& r = records_[cell];
        return r.search == search_ ? pool_->nodeAt(r.node) : nullptr;
    }
    // Whether a node the search made is open.
    bool isOpen(const Node* node) const { return open_[pool_->indexOf(node)] != 0; }
    // Asks the memory early for the records of the cells above and below.
    void prefetchRows(size_t cell) const {
        __PrefetchAround(records_.data() + cell,
                         static_cast<ptrdiff_t>(width_) * static_cast<ptrdiff_t>(sizeof(Record)));
    }

    // Cells the records cover (the largest grid so far).
    size_t cellCapacity() const { return records_.size(); }
    unsigned size() const { return count_; }
    bool isEmpty() const { return count_ == 0; }
    // Calls f for every open node.
    template <class F>
    void forEach(F f) const {
        auto visit = [&](uint64_t key) {
            if (Live(key)) f(pool_->nodeAt(inserted_[static_cast<uint32_t>(key)].node));
        };
        if (front_ != kNoKey) visit(front_);
        for (uint64_t key : heap_) visit(key);
    }

private:
    struct Record {
        uint32_t search;  // the search the record belongs to; another number: no node
        uint32_t node;    // the place of the cell's node in the pool
    };
    // What was inserted under one insertion number.
    struct Insertion {
        uint32_t node;  // the place of the node in the pool
        uint32_t cell;
    };
    // A heap key: the order of f's bits in the high half, the insertion number in the low.
    bool Live(uint64_t key) const {
        const uint32_t order = static_cast<uint32_t>(key);
        return open_[inserted_[order].node] == order + 1;
    }
    static uint32_t OrderedBits(float f);
    void Push(const Node* node, uint32_t index, size_t cell);
    void Renumber();

    // No key is this large: the insertion numbers stay below 2^32 - 1.
    static constexpr uint64_t kNoKey = UINT64_MAX;
    // The smallest key of all when it came last, held outside the heap: a search that
    // runs down a corridor takes each new node next, and then the heap does no work.
    uint64_t front_ = kNoKey;
    std::vector<uint64_t> heap_;          // the other keys, the smallest on top
    std::vector<Insertion> inserted_;     // by insertion number
    std::vector<Record> records_;         // per cell
    std::vector<uint32_t> open_;   // per node of the pool: insertion number + 1 of its live entry, 0: not open
    const NodeFactory* pool_ = nullptr;
    uint32_t search_ = 0;
    int width_ = 0;
    unsigned count_ = 0;
    uint32_t lastOrder_;
};

// The bits of f as an unsigned number in the order of the values; -0 counts as +0.
inline uint32_t OpenList::OrderedBits(float f) {
    const uint32_t b = __builtin_bit_cast(uint32_t, f + 0.0f);
    return (b & 0x80000000u) ? ~b : (b | 0x80000000u);
}

// A new heap key for the node with the next insertion number.
inline void OpenList::Push(const Node* node, uint32_t index, size_t cell) {
    if (inserted_.size() > lastOrder_) Renumber();
    const uint32_t order = static_cast<uint32_t>(inserted_.size());
    inserted_.push_back(Insertion{index, static_cast<uint32_t>(cell)});
    open_[index] = order + 1;
    uint64_t key = uint64_t{OrderedBits(node->f)} << 32 | order;
    if (key < front_ && (front_ != kNoKey || heap_.empty() || key < heap_.front())) std::swap(key, front_);
    if (key == kNoKey) return;
    heap_.push_back(key);
    std::push_heap(heap_.begin(), heap_.end(), std::greater<uint64_t>{});
}

inline void OpenList::insert(Node* node, size_t cell) {
    const uint32_t index = pool_->indexOf(node);
    Record& r = records_[cell];
    if (r.search != search_) {
        r = Record{search_, index};
        ++count_;
    } else if (open_[index] == 0) {
        ++count_;
    }
    Push(node, index, cell);
}

inline void OpenList::insertFresh(Node* node, size_t cell) {
    const uint32_t index = pool_->indexOf(node);
    records_[cell] = Record{search_, index};
    ++count_;
    Push(node, index, cell);
}

inline Node* OpenList::popFront(size_t& cell) {
    for (;;) {
        uint64_t key = front_;
        if (key != kNoKey) {
            front_ = kNoKey;
        } else {
            if (heap_.empty()) return nullptr;
            std::pop_heap(heap_.begin(), heap_.end(), std::greater<uint64_t>{});
            key = heap_.back();
            heap_.pop_back();
        }
        const uint32_t order = static_cast<uint32_t>(key);
        const Insertion in = inserted_[order];
        uint32_t& open = open_[in.node];
        if (open != order + 1) continue;  // left behind by a node taken out early
        open = 0;
        --count_;
        cell = in.cell;
        return pool_->nodeAt(in.node);
    }
}
