// Textured quads queued for one draw call. Consecutive sprites that share a texture
// and the GL state go to the card together; each quad is two triangles split along
// the same diagonal a triangle fan would use, so the pixels are those of drawing each
// quad on its own.
#pragma once

#include <vector>

class __SpriteBatch {
public:
    // Corners in GL coordinates, counter-clockwise from the bottom-left; texture
    // coordinates for the same corners.
    void Add(const int (&xy)[8], const float (&st)[8]);
    // Draws what is queued with the texture and state now current, then empties.
    void Flush();
    bool Empty() const { return xy_.empty(); }

private:
    std::vector<int> xy_;
    std::vector<float> st_;
};
