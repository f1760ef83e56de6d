#include <gtest/gtest.h>

#include <set>

#include "pathfinding/node_storage.h"
#include "pathfinding/open_list.h"

namespace {

TEST(NodeFactory, HandsOutUntilEmptyAndReusesReleased) {
    NodeFactory pool;
    EXPECT_EQ(pool.fetch(), nullptr);
    EXPECT_FALSE(pool.allocate(0));
    ASSERT_TRUE(pool.allocate(3));
    Node* a = pool.fetch();
    Node* b = pool.fetch();
    Node* c = pool.fetch();
    EXPECT_EQ((std::set<Node*>{a, b, c}).size(), 3u);
    EXPECT_EQ(pool.fetch(), nullptr);
    pool.release(b);
    EXPECT_EQ(pool.fetch(), b);
    pool.release(nullptr);
    EXPECT_EQ(pool.used(), 3u);
    NodeFactory none;
    none.release(a);  // nothing is out: ignored
    EXPECT_EQ(none.used(), 0u);
}

std::vector<char> Contents(FixedDeque<char>& d) {
    std::vector<char> out;
    for (unsigned i = 0; i < d.size(); ++i) out.push_back(d[i]);
    return out;
}

TEST(FixedDeque, InsertAtFrontMiddleAndBack) {
    FixedDeque<char> d(4);
    EXPECT_TRUE(d.isEmpty());
    d.pushBack('a');
    d.pushBack('b');
    d.pushBack('c');
    EXPECT_TRUE(d.insert(1, 'd'));
    EXPECT_EQ(Contents(d), (std::vector<char>{'a', 'd', 'b', 'c'}));
    EXPECT_EQ(d.headSlot(), 0u);  // rebuilt from slot 0
    EXPECT_FALSE(d.insert(2, 'e'));  // full
    EXPECT_FALSE(d.pushBack('e'));
    EXPECT_EQ(d.size(), 4u);
}

TEST(FixedDeque, InsertAtFrontMovesOnlyTheHead) {
    FixedDeque<char> d(5);
    d.pushBack('a');
    d.pushBack('b');
    EXPECT_TRUE(d.insert(0, 'x'));
    EXPECT_EQ(d.headSlot(), 4u);  // wrapped behind slot 0
    EXPECT_EQ(Contents(d), (std::vector<char>{'x', 'a', 'b'}));
    EXPECT_EQ(d.back(), 'b');
    EXPECT_TRUE(d.insert(3, 'y'));  // at the tail: appended
    EXPECT_EQ(Contents(d), (std::vector<char>{'x', 'a', 'b', 'y'}));
    FixedDeque<char> e(8);
    e.pushBack('a');
    e.pushBack('b');
    EXPECT_FALSE(e.insert(5, 'z'));  // beyond the size
}

TEST(FixedDeque, RemoveAndWrapAround) {
    FixedDeque<char> d(4);
    d.pushBack('a');
    d.pushBack('b');
    d.pushBack('c');
    EXPECT_TRUE(d.remove(1));
    EXPECT_EQ(Contents(d), (std::vector<char>{'a', 'c'}));
    EXPECT_TRUE(d.remove(0));
    EXPECT_TRUE(d.remove(0));
    EXPECT_TRUE(d.isEmpty());
    EXPECT_FALSE(d.remove(0));
    EXPECT_FALSE(d.popBack());
    // Fill around the end of the buffer.
    for (char c : {'p', 'q', 'r', 's'}) d.pushBack(c);
    d.remove(0);
    d.remove(0);
    d.pushBack('t');
    d.pushBack('u');
    EXPECT_EQ(Contents(d), (std::vector<char>{'r', 's', 't', 'u'}));
    EXPECT_TRUE(d.remove(2));
    EXPECT_EQ(Contents(d), (std::vector<char>{'r', 's', 'u'}));
    EXPECT_EQ(d.back(), 'u');
    EXPECT_TRUE(d.popBack());
    EXPECT_EQ(d.back(), 's');
    FixedDeque<char> none(0);
    EXPECT_FALSE(none.pushBack('a'));
    EXPECT_FALSE(none.insert(0, 'a'));
}

TEST(NodeHashTable, BitsAndBuckets) {
    NodeHashTable t;
    EXPECT_EQ(t.create(17), 16u);
    EXPECT_EQ(t.bucketCount(), 65536u);
    EXPECT_EQ(t.create(30), 24u);
    EXPECT_EQ(t.create(16), 16u);
    EXPECT_EQ(t.hash(3, 5), 3u + 5u * 256u);
    EXPECT_EQ(t.hash(259, 5), t.hash(3, 5));
}

TEST(NodeHashTable, CollidingCellsAreToldApart) {
    NodeHashTable t;
    t.create(16);
    Node a, b, c;
    a.x = 3, a.y = 5;
    b.x = 259, b.y = 5;
    c.x = 1, c.y = 1;
    t.add(&a);
    t.add(&b);
    t.add(&c);
    t.add(nullptr);
    EXPECT_EQ(t.size(), 3u);
    NodeHashIterator it(&t);
    EXPECT_EQ(it.find(3, 5), &a);
    EXPECT_EQ(it.find(259, 5), &b);
    EXPECT_EQ(it.find(515, 5), nullptr);
    EXPECT_EQ(it.remove(), nullptr);  // after a failed find: nothing changes
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(it.find(3, 5), &a);
    EXPECT_EQ(it.remove(), &a);
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(it.find(259, 5), &b);
}

TEST(NodeHashTable, IterateRemoveAndRelease) {
    NodeHashTable t;
    t.create(4);  // 16 buckets: many shared chains
    NodeFactory pool;
    pool.allocate(20);
    for (int i = 0; i < 20; ++i) {
        Node* n = pool.fetch();
        n->x = i;
        n->y = i * 3;
        t.add(n);
    }
    NodeHashIterator it(&t);
    int seen = 0;
    for (Node* n = it.begin(); n; n = it.next()) ++seen;
    EXPECT_EQ(seen, 20);
    // Remove every node with an even x while walking.
    int removed = 0;
    for (Node* n = it.begin(); n;) {
        if (n->x % 2 == 0) {
            it.removeValid();
            ++removed;
            n = it.current();
        } else {
            n = it.next();
        }
    }
    EXPECT_EQ(removed, 10);
    EXPECT_EQ(t.size(), 10u);
    for (Node* n = it.begin(); n; n = it.next()) EXPECT_EQ(n->x % 2, 1);
    t.releaseAll(pool);
    EXPECT_EQ(t.size(), 0u);
    EXPECT_EQ(pool.used(), 10u);  // the ten removed ones were never handed back
    t.empty();
    EXPECT_EQ(it.begin(), nullptr);
}

TEST(OpenList, SmallestKeyFirstAndEqualKeysInInsertionOrder) {
    NodeFactory pool;
    pool.allocate(4);
    OpenList open(2);  // insertion numbers run out after three: renumbered on the way
    open.start(4, 4, pool);
    auto add = [&](int x, float f) {
        Node* n = pool.fetch();
        n->x = x;
        n->f = f;
        open.insertFresh(n, x);
        return n;
    };
    Node* a = add(0, 1);
    Node* b = add(1, 1);
    Node* c = add(2, 0.5f);
    Node* d = add(3, 1);
    c->f = 1;
    open.insert(c);  // inserted anew: behind the other equal keys now
    EXPECT_EQ(open.size(), 4u);
    std::vector<Node*> order;
    size_t cell = 9;
    for (Node* n; (n = open.popFront(cell));) {
        EXPECT_EQ(cell, static_cast<size_t>(n->x));
        order.push_back(n);
    }
    EXPECT_EQ(order, (std::vector<Node*>{a, b, d, c}));
    EXPECT_EQ(open.nodeAt(1), b);  // still the cell's node, no longer open
    EXPECT_FALSE(open.isOpen(b));
    open.clear();
    EXPECT_EQ(open.nodeAt(1), nullptr);
}

}  // namespace
