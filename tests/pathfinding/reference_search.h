// The grid search written out step by step, without any speed-up, for FINDPATH to be
// held against: the open list a FixedDeque kept sorted by bisection (largest f in
// front), its membership test a linear scan from the back, the closed set a
// NodeHashTable. It gives the same cells in the same order as FINDPATH must.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <utility>
#include <vector>

// A visited cell of the reference search.
struct RefNode {
    RefNode* parent = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    float f = 0;
    float g = 0;
    RefNode* next = nullptr;  // next node in the same hash-table chain
};

// A ring buffer of fixed capacity with logical positions 0 (front) ... size - 1.
// Inserting or removing in the middle rebuilds the order from slot 0 through a scratch
// array.
template <class T>
class FixedDeque {
public:
    explicit FixedDeque(unsigned capacity = 0) { allocate(capacity); }
    FixedDeque(const FixedDeque&) = delete;
    FixedDeque& operator=(const FixedDeque&) = delete;
    virtual ~FixedDeque() {
        delete[] data_;
        delete[] scratch_;
    }

    bool allocate(unsigned capacity) {
        delete[] data_;
        delete[] scratch_;
        data_ = capacity ? new T[capacity]() : nullptr;
        scratch_ = capacity ? new T[capacity]() : nullptr;
        capacity_ = capacity;
        head_ = tail_ = 0;
        empty_ = true;
        return true;
    }

    // Element at logical position i (taken modulo the capacity).
    T& operator[](unsigned i) { return capacity_ ? data_[(head_ + i % capacity_) % capacity_] : dummy_; }
    T& back() { return capacity_ ? data_[tail_ == 0 ? capacity_ - 1 : tail_ - 1] : dummy_; }

    bool pushBack(const T& v) {
        if (isFull()) return false;
        data_[tail_] = v;
        tail_ = (tail_ + 1) % capacity_;
        empty_ = false;
        return true;
    }
    bool popBack() {
        if (empty_) return false;
        tail_ = tail_ == 0 ? capacity_ - 1 : tail_ - 1;
        empty_ = head_ == tail_;
        return true;
    }
    // Inserts v so that it gets logical position i.
    bool insert(unsigned i, const T& v) {
        if (capacity_ == 0) return false;
        unsigned slot = (head_ + i % capacity_) % capacity_;
        if (slot == tail_) return pushBack(v);
        if (slot == head_) {
            head_ = head_ == 0 ? capacity_ - 1 : head_ - 1;
            data_[head_] = v;
            return true;
        }
        unsigned n = size();
        // A deque that is not full holds fewer than capacity_; the last test says so again
        // where the compiler's bounds check can see it.
        if (isFull() || i > n || n >= capacity_) return false;
        for (unsigned k = 0; k < i; ++k) scratch_[k] = (*this)[k];
        scratch_[i] = v;
        for (unsigned k = i; k < n; ++k) scratch_[k + 1] = (*this)[k];
        Swap();
        tail_ = (n + 1) % capacity_;
        empty_ = false;
        return true;
    }
    // Removes the element at logical position i.
    bool remove(unsigned i) {
        unsigned n = size();
        if (empty_ || i >= n) return false;
        if (i == n - 1) {
            tail_ = tail_ == 0 ? capacity_ - 1 : tail_ - 1;
        } else if (i == 0) {
            head_ = (head_ + 1) % capacity_;
        } else {
            unsigned k = 0;
            for (unsigned j = 0; j < n; ++j)
                if (j != i) scratch_[k++] = (*this)[j];
            Swap();
            tail_ = n - 1;
        }
        empty_ = head_ == tail_;
        return true;
    }
    unsigned size() const {
        if (empty_) return 0;
        return tail_ > head_ ? tail_ - head_ : capacity_ - head_ + tail_;
    }
    bool isEmpty() const { return empty_; }
    bool isFull() const { return capacity_ == 0 || (!empty_ && head_ == tail_); }
    void clear() {
        head_ = tail_ = 0;
        empty_ = true;
    }
    unsigned capacity() const { return capacity_; }

private:
    void Swap() {
        T* t = data_;
        data_ = scratch_;
        scratch_ = t;
        head_ = 0;
    }
    T* data_ = nullptr;
    T* scratch_ = nullptr;
    unsigned capacity_ = 0;
    unsigned head_ = 0;
    unsigned tail_ = 0;
    bool empty_ = true;
    T dummy_{};
};

// Nodes chained in 2^bits buckets by cell; the table does not own its nodes.
class NodeHashTable {
public:
    NodeHashTable();
    NodeHashTable(const NodeHashTable&) = delete;
    NodeHashTable& operator=(const NodeHashTable&) = delete;
    virtual ~NodeHashTable();

    // 2^bits empty buckets (the old nodes are forgotten); bits above 24 become 24 and
    // odd values are rounded down. Returns the bits used.
    unsigned create(unsigned bits);
    // Low bits/2 bits of x, and of y shifted left by bits/2.
    unsigned hash(int x, int y) const;
    // Puts the node at the head of its bucket's chain; null is ignored.
    void add(RefNode* node);
    unsigned size() const;
    // Forgets every node without releasing it.
    void empty();
    unsigned bits() const { return bits_; }
    unsigned bucketCount() const { return 1u << bits_; }

private:
    friend class NodeHashIterator;
    RefNode** buckets_;
    unsigned bits_ = 0;
    unsigned count_ = 0;  // nodes in all chains
};

// Walks, finds and unlinks the nodes of a NodeHashTable.
class NodeHashIterator {
public:
    explicit NodeHashIterator(NodeHashTable* table = nullptr) { attach(table); }
    void attach(NodeHashTable* table);
    RefNode* begin();
    RefNode* next();
    // The node of cell (x, y), or null; remembers where it is for remove().
    RefNode* find(int x, int y);
    // Unlinks the current node and returns it (null when there is none); the
    // iterator does not advance.
    RefNode* remove();
    // Unlinks the current node, advances as next() does, and returns the unlinked node.
    RefNode* removeValid();
    RefNode* current() const { return current_; }

private:
    RefNode* FirstFrom(unsigned bucket);
    NodeHashTable* table_ = nullptr;
    unsigned bucket_ = 0;
    RefNode* current_ = nullptr;
    RefNode** link_ = nullptr;
};

inline NodeHashTable::NodeHashTable() : buckets_(new RefNode*[1]()) {}

inline NodeHashTable::~NodeHashTable() { delete[] buckets_; }

inline unsigned NodeHashTable::create(unsigned bits) {
    if (bits > 24) bits = 24;
    bits &= ~1u;
    if (bits == bits_) {
        empty();
    } else {
        delete[] buckets_;
        buckets_ = new RefNode*[1u << bits]();
        bits_ = bits;
        count_ = 0;
    }
    return bits;
}

inline unsigned NodeHashTable::hash(int x, int y) const {
    unsigned h = bits_ / 2;
    unsigned mask = (1u << h) - 1;
    return (static_cast<unsigned>(x) & mask) | ((static_cast<unsigned>(y) & mask) << h);
}

inline void NodeHashTable::add(RefNode* node) {
    if (!node) return;
    RefNode*& head = buckets_[hash(node->x, node->y)];
    node->next = head;
    head = node;
    ++count_;
}

inline unsigned NodeHashTable::size() const { return count_; }

inline void NodeHashTable::empty() {
    if (count_ == 0) return;  // every bucket is null already
    for (unsigned b = 0; b < bucketCount(); ++b) buckets_[b] = nullptr;
    count_ = 0;
}

inline void NodeHashIterator::attach(NodeHashTable* table) {
    table_ = table;
    bucket_ = 0;
    current_ = nullptr;
    link_ = nullptr;
}

inline RefNode* NodeHashIterator::FirstFrom(unsigned bucket) {
    current_ = nullptr;
    if (!table_) return nullptr;
    for (unsigned b = bucket; b < table_->bucketCount(); ++b) {
        if (table_->buckets_[b]) {
            bucket_ = b;
            link_ = &table_->buckets_[b];
            current_ = *link_;
            return current_;
        }
    }
    return nullptr;
}

inline RefNode* NodeHashIterator::begin() { return FirstFrom(0); }

inline RefNode* NodeHashIterator::next() {
    if (!current_) return nullptr;
    if (current_->next) {
        link_ = &current_->next;
        current_ = current_->next;
        return current_;
    }
    return FirstFrom(bucket_ + 1);
}

inline RefNode* NodeHashIterator::find(int x, int y) {
    current_ = nullptr;
    if (!table_) return nullptr;
    bucket_ = table_->hash(x, y);
    link_ = &table_->buckets_[bucket_];
    for (RefNode* p = *link_; p; link_ = &p->next, p = p->next) {
        if (p->x == x && p->y == y) {
            current_ = p;
            return p;
        }
    }
    return nullptr;
}

inline RefNode* NodeHashIterator::remove() {
    if (!current_ || !link_) return nullptr;
    RefNode* node = current_;
    *link_ = node->next;
    --table_->count_;
    return node;
}

inline RefNode* NodeHashIterator::removeValid() {
    RefNode* node = remove();
    if (!node) return nullptr;
    // The successor now hangs from the same link.
    if (*link_) {
        current_ = *link_;
    } else {
        FirstFrom(bucket_ + 1);
    }
    return node;
}

using Cells = std::vector<std::pair<int, int>>;

// The cells of the path from (sx, sy) to (gx, gy) on a width x height map (cell (x, y)
// at [y * width + x], 0 or less a wall), weight 0.7; none when there is no path or
// start == goal.
inline Cells ReferencePath(const std::vector<double>& map, int width, int height, int sx, int sy, int gx, int gy) {
    if (sx < 0 || sx >= width || sy < 0 || sy >= height || gx < 0 || gx >= width || gy < 0 || gy >= height ||
        (sx == gx && sy == gy))
        return {};
    const unsigned cells = static_cast<unsigned>(width * height);
    std::vector<float> cost(cells);
    float most = -1;
    for (unsigned i = 0; i < cells; ++i) {
        cost[i] = map[i] <= 0 ? -1 : static_cast<float>(map[i]);
        most = std::max(most, cost[i]);
    }
    for (float& c : cost)
        if (c > 0) c /= most;
    std::deque<RefNode> nodes;
    FixedDeque<RefNode*> open(cells);
    NodeHashTable closed;
    closed.create(16);
    NodeHashIterator it(&closed);
    auto insertSorted = [&](RefNode* n) {
        unsigned lo = 0, hi = open.size();
        while (lo < hi) {
            unsigned mid = (lo + hi) / 2;
            if (open[mid]->f > n->f) lo = mid + 1; else hi = mid;
        }
        open.insert(lo, n);
    };
    RefNode* node = &nodes.emplace_back(RefNode{.x = sx, .y = sy});
    open.pushBack(node);
    RefNode* goal = nullptr;
    const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
    while (!goal && !open.isEmpty()) {
        node = open.back();
        open.popBack();
        if (node->x == gx && node->y == gy) goal = node;
        for (int k = 0; k < 4 && !goal; ++k) {
            const int nx = node->x + dx[k], ny = node->y + dy[k];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height || cost[ny * width + nx] == -1) continue;
            const float g2 = node->g + cost[ny * width + nx] * 1.0f;
            const float f2 = (static_cast<float>(std::abs(gx - nx) + std::abs(gy - ny)) - g2) * 0.7f + g2;
            RefNode* seen = it.find(nx, ny);  // closed, else open, else new
            int at = -1;
            for (int i = static_cast<int>(open.size()) - 1; !seen && i >= 0; --i)
                if (open[i]->x == nx && open[i]->y == ny) seen = open[at = i];
            if (seen && g2 >= seen->g) continue;
            if (at >= 0) open.remove(at);
            else if (seen) it.remove();
            else seen = &nodes.emplace_back();
            *seen = RefNode{.parent = node, .x = nx, .y = ny, .f = f2, .g = g2};
            insertSorted(seen);
        }
        closed.add(node);
    }
    Cells result;
    for (RefNode* p = goal; p; p = p->parent) result.insert(result.begin(), {p->x, p->y});
    return result;
}
