// Internal: the path search's node storage: search nodes and a fixed pool of them, allocated
// up front so that a search only moves pointers.
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
