// Internal: the constant table of unit normals that nodes index.
#pragma once

constexpr int __kNormalCount = 162;
extern const float __kVertexNormals[__kNormalCount][3];
