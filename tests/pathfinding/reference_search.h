// The grid search written out step by step, without any speed-up: the open list is a
// FixedDeque kept sorted by bisection (largest f in front), its membership test a
// linear scan from the back, the closed set a NodeHashTable. The tests hold FINDPATH
// to the very same cells in the very same order.
#pragma once

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "pathfinding/node_storage.h"

// Cells from start to goal; empty when there is none (or start == goal).
inline std::vector<std::pair<int, int>> ReferencePath(const std::vector<double>& map, int width, int height,
                                                      int sx, int sy, int gx, int gy) {
    std::vector<std::pair<int, int>> result;
    if (sx < 0 || sx >= width || sy < 0 || sy >= height || gx < 0 || gx >= width || gy < 0 || gy >= height)
        return result;
    if (sx == gx && sy == gy) return result;
    const unsigned cells = static_cast<unsigned>(width * height);
    std::vector<float> cost(cells);
    float most = -1;
    for (unsigned i = 0; i < cells; ++i) {
        float v = static_cast<float>(map[i]);
        if (v <= 0) {
            cost[i] = -1;
        } else {
            cost[i] = v;
            if (v >= most) most = v;
        }
    }
    if (most > 0)
        for (float& c : cost)
            if (c > 0) c /= most;

    NodeFactory pool;
    pool.allocate(cells);
    FixedDeque<Node*> open(cells);
    NodeHashTable closed;
    closed.create(16);
    NodeHashIterator it(&closed);
    const float w = 0.7f;

    auto insertSorted = [&](Node* n) {
        unsigned lo = 0, hi = open.size();
        while (lo < hi) {
            unsigned mid = (lo + hi) / 2;
            if (open[mid]->f > n->f) lo = mid + 1; else hi = mid;
        }
        open.insert(lo, n);
    };

    Node* start = pool.fetch();
    start->parent = nullptr;
    start->x = sx;
    start->y = sy;
    start->g = 0;
    open.pushBack(start);
    Node* goal = nullptr;
    const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
    while (!open.isEmpty()) {
        Node* node = open.back();
        open.popBack();
        if (node->x == gx && node->y == gy) {
            closed.add(node);
            goal = node;
            break;
        }
        for (int k = 0; k < 4; ++k) {
            int nx = node->x + dx[k], ny = node->y + dy[k];
            if (nx < 0 || nx >= width || ny < 0 || ny >= height) continue;
            float c = cost[ny * width + nx];
            if (c == -1) continue;
            float g2 = node->g + c * 1.0f;
            int h = std::abs(gx - nx) + std::abs(gy - ny);
            float f2 = (static_cast<float>(h) - g2) * w + g2;
            if (Node* seen = it.find(nx, ny)) {
                if (g2 < seen->g) {
                    it.remove();
                    seen->parent = node;
                    seen->g = g2;
                    seen->f = f2;
                    insertSorted(seen);
                }
                continue;
            }
            int at = -1;
            for (int i = static_cast<int>(open.size()) - 1; i >= 0; --i)
                if (open[i]->x == nx && open[i]->y == ny) {
                    at = i;
                    break;
                }
            if (at >= 0) {
                Node* o = open[at];
                if (g2 < o->g) {
                    open.remove(at);
                    o->parent = node;
                    o->g = g2;
                    o->f = f2;
                    insertSorted(o);
                }
                continue;
            }
            Node* fresh = pool.fetch();
            fresh->parent = node;
            fresh->x = nx;
            fresh->y = ny;
            fresh->g = g2;
            fresh->f = f2;
            insertSorted(fresh);
        }
        closed.add(node);
    }
    for (Node* p = goal; p; p = p->parent) result.insert(result.begin(), {p->x, p->y});
    return result;
}
