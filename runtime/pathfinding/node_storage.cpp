#include "pathfinding/node_storage.h"

#include <cstdlib>
#include <new>

// ---- NodeFactory ---------------------------------------------------------------------

NodeFactory::~NodeFactory() { destroy(); }

void NodeFactory::destroy() {
    std::free(pool_);
    std::free(block_);
    pool_ = nullptr;
    block_ = nullptr;
    capacity_ = used_ = made_ = reserved_ = 0;
}

bool NodeFactory::allocate(unsigned n) {
    if (n == 0) return false;
    if (n > reserved_) {
        destroy();
        // Untouched memory: the pages arrive as the nodes are first handed out.
        pool_ = static_cast<Node**>(std::malloc(sizeof(Node*) * static_cast<size_t>(n)));
        block_ = static_cast<Node*>(std::malloc(sizeof(Node) * static_cast<size_t>(n)));
        if (!pool_ || !block_) {
            destroy();
            throw std::bad_alloc();
        }
        reserved_ = n;
    }
    capacity_ = n;
    used_ = made_ = 0;
    return true;
}

void NodeFactory::release(Node* node) {
    if (!node || used_ == 0) return;
    pool_[--used_] = node;
}

// ---- NodeHashTable ---------------------------------------------------------------------

NodeHashTable::NodeHashTable() : buckets_(new Node*[1]()) {}

NodeHashTable::~NodeHashTable() { delete[] buckets_; }

unsigned NodeHashTable::create(unsigned bits) {
    if (bits > 24) bits = 24;
    bits &= ~1u;
    if (bits == bits_) {
        empty();
    } else {
        delete[] buckets_;
        buckets_ = new Node*[1u << bits]();
        bits_ = bits;
        count_ = 0;
    }
    return bits;
}

unsigned NodeHashTable::hash(int x, int y) const {
    unsigned h = bits_ / 2;
    unsigned mask = (1u << h) - 1;
    return (static_cast<unsigned>(x) & mask) | ((static_cast<unsigned>(y) & mask) << h);
}

void NodeHashTable::add(Node* node) {
    if (!node) return;
    Node*& head = buckets_[hash(node->x, node->y)];
    node->next = head;
    head = node;
    ++count_;
}

unsigned NodeHashTable::size() const { return count_; }

void NodeHashTable::empty() {
    if (count_ == 0) return;  // every bucket is null already
    for (unsigned b = 0; b < bucketCount(); ++b) buckets_[b] = nullptr;
    count_ = 0;
}

void NodeHashTable::releaseAll(NodeFactory& factory) {
    if (count_ == 0) return;
    count_ = 0;
    for (unsigned b = bucketCount(); b-- > 0;) {
        for (Node* p = buckets_[b]; p;) {
            Node* next = p->next;
            factory.release(p);
            p = next;
        }
        buckets_[b] = nullptr;
    }
}

// ---- NodeHashIterator -----------------------------------------------------------------

void NodeHashIterator::attach(NodeHashTable* table) {
    table_ = table;
    bucket_ = 0;
    current_ = nullptr;
    link_ = nullptr;
}

Node* NodeHashIterator::FirstFrom(unsigned bucket) {
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

Node* NodeHashIterator::begin() { return FirstFrom(0); }

Node* NodeHashIterator::next() {
    if (!current_) return nullptr;
    if (current_->next) {
        link_ = &current_->next;
        current_ = current_->next;
        return current_;
    }
    return FirstFrom(bucket_ + 1);
}

Node* NodeHashIterator::find(int x, int y) {
    current_ = nullptr;
    if (!table_) return nullptr;
    bucket_ = table_->hash(x, y);
    link_ = &table_->buckets_[bucket_];
    for (Node* p = *link_; p; link_ = &p->next, p = p->next) {
        if (p->x == x && p->y == y) {
            current_ = p;
            return p;
        }
    }
    return nullptr;
}

Node* NodeHashIterator::remove() {
    if (!current_ || !link_) return nullptr;
    Node* node = current_;
    *link_ = node->next;
    --table_->count_;
    return node;
}

Node* NodeHashIterator::removeValid() {
    Node* node = remove();
    if (!node) return nullptr;
    // The successor now hangs from the same link.
    if (*link_) {
        current_ = *link_;
    } else {
        FirstFrom(bucket_ + 1);
    }
    return node;
}
