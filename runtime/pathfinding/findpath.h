// FINDPATH: a path between two cells of a tile map.
#pragma once

#include "core/arrays.h"

// The map is dimensioned [width][height]; each cell's number is its cost of entry and
// 0 or less marks a wall. Searches the four orthogonal neighbours with the weighted
// A* (weight 0.7; the weight argument has no effect). Returns the number of cells on
// the path, start and goal included, and dimensions `path` to [n][2] with path(i, 0)
// = x and path(i, 1) = y from the start (i = 0) to the goal. Returns 0:
//   - with path dimensioned with all sizes 0 when no path exists;
//   - with path untouched when start or goal lie outside the map, start equals goal,
//     the map is not two-dimensional or too large, or Escape aborted the search.
double FINDPATH(DQIntArray& map, DQIntArray& path, double weight, double startX, double startY, double goalX,
                double goalY);
