#include <algorithm>
#include <random>
#include <set>

#include "core/arrays.h"
#include "input/dxinput.h"
#include "pathfinding/findpath.h"
#include "pathfinding/node_storage.h"
#include "pathfinding/open_list.h"
#include "pathfinding/reference_search.h"
#include "support/harness.h"

namespace {

// The pool hands out nodes until it is empty and takes back released ones; releasing
// null, or into a pool with nothing out, is ignored.
TEST(NodeFactory, HandsOutUntilEmptyAndReusesReleased) {
    NodeFactory pool, none;
    EXPECT_EQ(pool.fetch(), nullptr);
    EXPECT_FALSE(pool.allocate(0));
    ASSERT_TRUE(pool.allocate(3));
    Node *a = pool.fetch(), *b = pool.fetch(), *c = pool.fetch();
    EXPECT_EQ((std::set<Node*>{a, b, c, nullptr}).size(), 4u);
    EXPECT_EQ(pool.fetch(), nullptr);
    pool.release(b);
    EXPECT_EQ(pool.fetch(), b);
    pool.release(nullptr);
    EXPECT_EQ(pool.used(), 3u);
    none.release(a);
    EXPECT_EQ(none.used(), 0u);
}

std::string Contents(FixedDeque<char>& d) {
    std::string out;
    for (unsigned i = 0; i < d.size(); ++i) out += d[i];
    return out;
}

// The reference search's containers. The deque inserts and removes at the front, the
// back and in between, also around the end of the buffer (the reference search drives
// them through many more); nothing beyond the size or the capacity.
TEST(FixedDeque, InsertAndRemoveAnywhereAroundTheEnd) {
    FixedDeque<char> d(4), none(0);
    for (char c : {'a', 'b'}) d.pushBack(c);
    EXPECT_FALSE(d.insert(3, 'z'));  // beyond the size
    for (auto [at, c] : {std::pair{0u, 'x'}, {3, 'y'}}) EXPECT_TRUE(d.insert(at, c));  // the front wraps to the end
    EXPECT_EQ(std::pair(Contents(d), d.back()), std::pair(std::string("xaby"), 'y'));
    EXPECT_FALSE(d.insert(2, 'e'));  // full
    EXPECT_FALSE(d.pushBack('e'));
    EXPECT_TRUE(d.remove(2));  // in between, wrapped
    EXPECT_TRUE(d.insert(1, 'm'));
    EXPECT_EQ(Contents(d), "xmay");
    for (unsigned at : {3u, 0u, 1u}) EXPECT_TRUE(d.remove(at));  // last, first, last
    EXPECT_TRUE(d.popBack());
    EXPECT_TRUE(d.isEmpty());
    EXPECT_FALSE(d.remove(0));
    EXPECT_FALSE(d.popBack());
    EXPECT_FALSE(none.pushBack('a'));
    EXPECT_FALSE(none.insert(0, 'a'));
}

TEST(NodeHashTable, BucketsCollisionsAndRemovalWhileWalking) {
    NodeHashTable t;
    for (auto [bits, used] : {std::pair{17u, 16u}, {30, 24}, {16, 16}}) EXPECT_EQ(t.create(bits), used) << bits;
    ASSERT_EQ(t.hash(259, 5), t.hash(3, 5));  // one chain
    RefNode a{.x = 3, .y = 5}, b{.x = 259, .y = 5}, c{.x = 1, .y = 1};
    for (RefNode* n : {&a, &b, &c, static_cast<RefNode*>(nullptr)}) t.add(n);
    EXPECT_EQ(t.size(), 3u);
    NodeHashIterator it(&t);
    EXPECT_EQ((std::vector{it.find(3, 5), it.find(259, 5), it.find(515, 5)}), (std::vector<RefNode*>{&a, &b, nullptr}));
    EXPECT_EQ(it.remove(), nullptr);  // after a failed find: nothing changes
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(it.find(3, 5), &a);
    EXPECT_EQ(it.remove(), &a);
    EXPECT_EQ(std::pair(t.size(), it.find(259, 5)), std::pair(2u, &b));
    t.create(4);  // 16 buckets: many shared chains
    RefNode nodes[20];
    for (int i = 0; i < 20; ++i) {
        nodes[i] = RefNode{.x = i, .y = i * 3};
        t.add(&nodes[i]);
    }
    int seen = 0, removed = 0;
    for (RefNode* n = it.begin(); n; n = it.next()) ++seen;
    EXPECT_EQ(seen, 20);
    for (RefNode* n = it.begin(); n;)  // every node with an even x removed while walking
        n = n->x % 2 ? it.next() : (++removed, it.removeValid(), it.current());
    EXPECT_EQ(std::pair(removed, t.size()), std::pair(10, 10u));
    for (RefNode* n = it.begin(); n; n = it.next()) EXPECT_EQ(n->x % 2, 1);
    t.empty();
    EXPECT_EQ(t.size(), 0u);
    EXPECT_EQ(it.begin(), nullptr);
}

TEST(OpenList, SmallestKeyFirstAndEqualKeysInInsertionOrder) {
    NodeFactory pool;
    pool.allocate(4);
    OpenList open(2);  // insertion numbers run out after three: renumbered on the way
    open.start(4, 4, pool);
    auto add = [&](int x, float f) {
        Node* n = pool.fetch();
        *n = Node{.x = x, .f = f};
        open.insertFresh(n, x);
        return n;
    };
    Node *a = add(0, 1), *b = add(1, 1), *c = add(2, 0.5f), *d = add(3, 1);
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

// A map from rows of text: '#' a wall, a digit its cost, '.' cost 1; or from values.
struct Map {
    int w = 0, h = 0;
    std::vector<double> v;
    Map(std::vector<std::string> rows) : w(static_cast<int>(rows[0].size())), h(static_cast<int>(rows.size())) {
        for (const std::string& row : rows)
            for (char c : row) v.push_back(c == '#' ? 0 : c == '.' ? 1 : c - '0');
    }
    Map(int w_, int h_, std::vector<double> values) : w(w_), h(h_), v(std::move(values)) {}
    void Into(DQIntArray& a) const {
        DIM(a, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) a(x, y) = v[y * w + x];
    }
};

Cells Search(const Map& m, int sx, int sy, int gx, int gy) {
    DQIntArray map, path;
    m.Into(map);
    Cells out(static_cast<size_t>(FINDPATH(map, path, 0.5, sx, sy, gx, gy)));
    for (size_t i = 0; i < out.size(); ++i) out[i] = {static_cast<int>(path(i, 0)), static_cast<int>(path(i, 1))};
    return out;
}

// Of equal steps the first inserted wins; a dear cell still wins with weight 0.7;
// negative values are walls like 0, but the start cell's own value is not examined.
TEST(FindPath, PathsOnSmallMapsNoPathRefusedRequestsAndTheWeight) {
    struct Case { Map map; int sx, sy, gx, gy; Cells want; } cases[] = {
        {Map({"...", "...", "..."}), 0, 0, 2, 2, {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}},
        {Map({".#....", ".#.##.", ".#.#..", "...#.#", "####.."}), 0, 0, 5, 4,
         {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {2, 2}, {2, 1}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {5, 1},
          {5, 2}, {4, 2}, {4, 3}, {4, 4}, {5, 4}}},
        {Map({"191", "111", "111"}), 0, 0, 2, 0, {{0, 0}, {1, 0}, {2, 0}}},
        {Map(3, 3, {-5, -1, 1, 1, 0, 1, 1, 1, 1}), 0, 0, 2, 0,
         {{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}}},
    };
    for (const Case& c : cases) EXPECT_EQ(Search(c.map, c.sx, c.sy, c.gx, c.gy), c.want) << c.map.w << " x " << c.map.h;
    // No path: 0 and the path dimensioned with all sizes 0 (one element). Refused
    // requests leave the path alone; the weight argument has no effect.
    DQIntArray map, path, other, flat, cube, never;
    Map({".....", "..#..", ".#.#.", "..#..", "....."}).Into(map);
    DIM(path, 3, 2);
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 2, 2), 0);  // walled in
    EXPECT_EQ(std::pair(BOUNDS(path, 0), BOUNDS(path, 1)), std::pair(1.0, 0.0));
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 2, 1), 0);  // a goal that is itself a wall
    DIM(path, 4, 2);
    path(3, 1) = 42;
    DIM(flat, 9);
    DIM(cube, 3, 3, 3);
    for (auto [sx, sy, gx, gy] : {std::tuple{1, 1, 1.0, 1}, {-1, 0, 2, 2}, {0, 0, 5, 0}, {0, 0, 1e300, 0}})
        EXPECT_EQ(FINDPATH(map, path, 0.7, sx, sy, gx, gy), 0) << sx << " " << gx;
    for (DQIntArray* bad : {&flat, &cube, &never}) EXPECT_EQ(FINDPATH(*bad, path, 0.7, 0, 0, 1, 0), 0);
    EXPECT_EQ(path(3, 1), 42);
    Map({"1.9.", "..9.", "3...", "...."}).Into(map);
    const double n = FINDPATH(map, path, 0.7, 0, 0, 3, 3);
    for (double weight : {5.0, -3.0}) {
        ASSERT_EQ(FINDPATH(map, other, weight, 0, 0, 3, 3), n);
        for (int i = 0; i < n; ++i) EXPECT_EQ(std::pair(other(i, 0), other(i, 1)), std::pair(path(i, 0), path(i, 1)));
    }
}

// Every returned path is connected, avoids walls, runs from start to goal, and is the
// reference search's path cell for cell: on many small maps, one search each, and on
// maps of the sizes games use, several searches each as for many units in one frame.
TEST(FindPath, MatchesTheReferenceOnRandomMaps) {
    std::mt19937 rng(20261206);
    int withPath = 0;
    auto check = [&](const Map& m, int round) {
        const int w = m.w, h = m.h;
        int sx = rng() % w, sy = rng() % h, gx = rng() % w, gy = rng() % h;
        Cells got = Search(m, sx, sy, gx, gy);
        ASSERT_EQ(got, ReferencePath(m.v, w, h, sx, sy, gx, gy)) << "round " << round << ", " << w << " x " << h;
        if (got.empty()) return;
        ++withPath;
        EXPECT_EQ(got.front(), std::make_pair(sx, sy));
        EXPECT_EQ(got.back(), std::make_pair(gx, gy));
        for (size_t i = 1; i < got.size(); ++i) {
            EXPECT_EQ(std::abs(got[i].first - got[i - 1].first) + std::abs(got[i].second - got[i - 1].second), 1);
            EXPECT_GT(m.v[got[i].second * w + got[i].first], 0);
        }
    };
    auto randomMap = [&](int w, int h) {
        double wallShare = (rng() % 45) / 100.0;
        int maxCost = 1 + rng() % 9;
        std::vector<double> v(w * h);
        for (double& c : v) {
            double r = (rng() % 1000) / 1000.0;
            c = r < wallShare ? -(double)(rng() % 3) : 1 + rng() % maxCost;
            if (rng() % 7 == 0 && c > 0) c += 0.5;  // fractional costs too
        }
        return Map(w, h, v);
    };
    for (int round = 0; round < 400; ++round) {
        const int w = 2 + rng() % 30, h = 2 + rng() % 30;
        check(randomMap(w, h), round);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(withPath, 150);
    for (int round = 0; round < 8; ++round) {
        const int w = 32 + rng() % 97, h = 32 + rng() % 97;
        const Map m = randomMap(w, h);
        for (int unit = 0; unit < 3; ++unit) check(m, round);
        if (HasFatalFailure()) return;
    }
}

TEST(FindPath, EscapeAbortsALongSearchAndLeavesThePath) {
    StartRuntimeOnce();
    // A serpentine that needs far more than 10 002 expansions.
    const int w = 201, h = 201;
    std::vector<double> v(w * h, 1);
    for (int y = 1; y < h; y += 2)
        for (int x = 0; x < w; ++x)
            if ((y / 2) % 2 == 0 ? x != w - 1 : x != 0) v[y * w + x] = 0;
    DQIntArray map, path;
    Map(w, h, v).Into(map);
    DIM(path, 1, 2);
    path(0, 1) = 7;
    pDXin->OnKey(1, true);
    EXPECT_EQ(FINDPATH(map, path, 0.7, 0, 0, 0, h - 1), 0);
    EXPECT_EQ(path(0, 1), 7);
    pDXin->OnKey(1, false);
    EXPECT_GT(FINDPATH(map, path, 0.7, 0, 0, 0, h - 1), 10002);
}

}  // namespace
