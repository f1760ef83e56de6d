// Internal: the path search's node storage: search nodes, a fixed pool of them, a fixed-capacity
// ring buffer, and a chained hash table of nodes keyed by cell. Everything is
// allocated up front so that a search only moves pointers.
#pragma once

#include <cstdint>
#include <new>

// One visited grid cell.
struct Node {
    Node* parent = nullptr;  // the node this one was reached from; null for the start
    int32_t x = 0;
    int32_t y = 0;
    float f = 0;  // ordering key of the open list
    float g = 0;  // accumulated cost from the start
    Node* next = nullptr;  // next node in the same hash-table chain
};

// A fixed pool of nodes; fetch hands out, release takes back (last in, first out).
// The nodes of a pool live in one block and are set up when first handed out, so a
// large pool costs nothing until it is used; a new pool that fits the old block
// reuses it.
class NodeFactory {
public:
    NodeFactory() = default;
    NodeFactory(const NodeFactory&) = delete;
    NodeFactory& operator=(const NodeFactory&) = delete;
    virtual ~NodeFactory();

    // A fresh pool of n nodes; false for n = 0, which keeps the old pool. Return
    // every node before the pool is made anew.
    bool allocate(unsigned n);
    // The next free node, or null when the pool is used up or missing.
    Node* fetch() {
        if (!pool_ || used_ == capacity_) return nullptr;
        if (used_ < made_) return pool_[used_++];
        Node* node = new (&block_[made_]) Node();
        pool_[made_++] = node;
        ++used_;
        return node;
    }
    // Takes a node back; null, or a call while no node is out, is ignored.
    void release(Node* node);
    // Takes back every node handed out, all at once.
    void reclaimAll() { used_ = 0; }
    // Every node of the pool has a fixed place in its block, 0 ... capacity - 1.
    unsigned indexOf(const Node* node) const { return static_cast<unsigned>(node - block_); }
    Node* nodeAt(unsigned index) const { return block_ + index; }
    unsigned capacity() const { return capacity_; }
    unsigned used() const { return used_; }

private:
    void destroy();
    unsigned capacity_ = 0;
    Node** pool_ = nullptr;  // entries below made_ are set; above, entry i is &block_[i]
    Node* block_ = nullptr;
    unsigned reserved_ = 0;  // nodes the block has room for
    unsigned made_ = 0;
    unsigned used_ = 0;
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
        if (isFull() || i > n) return false;
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
    void add(Node* node);
    unsigned size() const;
    // Forgets every node without releasing it.
    void empty();
    // Hands every node back to the pool, last bucket first, then forgets them.
    void releaseAll(NodeFactory& factory);
    unsigned bits() const { return bits_; }
    unsigned bucketCount() const { return 1u << bits_; }

private:
    friend class NodeHashIterator;
    Node** buckets_;
    unsigned bits_ = 0;
    unsigned count_ = 0;  // nodes in all chains
};

// Walks, finds and unlinks the nodes of a NodeHashTable.
class NodeHashIterator {
public:
    explicit NodeHashIterator(NodeHashTable* table = nullptr) { attach(table); }
    void attach(NodeHashTable* table);
    Node* begin();
    Node* next();
    // The node of cell (x, y), or null; remembers where it is for remove().
    Node* find(int x, int y);
    // Unlinks the current node and returns it (null when there is none); the
    // iterator does not advance.
    Node* remove();
    // Unlinks the current node, advances as next() does, and returns the unlinked node.
    Node* removeValid();
    Node* current() const { return current_; }

private:
    Node* FirstFrom(unsigned bucket);
    NodeHashTable* table_ = nullptr;
    unsigned bucket_ = 0;
    Node* current_ = nullptr;
    Node** link_ = nullptr;
};
