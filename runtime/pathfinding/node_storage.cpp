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
