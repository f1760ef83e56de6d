// Internal: textured quads queued for one draw call. Consecutive sprites that share a texture
// and the GL state go to the card together; each quad is two triangles split along
// the same diagonal a triangle fan would use, so the pixels are those of drawing each
// quad on its own.
//
// Quads drawn at their texture's own scale (one texel per pixel, whole-pixel corners)
// are sampled with nearest filtering: at texel centres it gives exactly what linear
// filtering gives, for less work. Where the GL offers shaders the batch draws with a
// small program that does exactly what the fixed pipeline does for sprites (texture
// times colour), which software renderers run faster.
#pragma once

#include <vector>

class __SpriteBatch {
public:
    // Looks for the shader entry points of the current context and builds the program.
    void Init();
    // Corners in GL coordinates, counter-clockwise from the bottom-left; texture
    // coordinates for the same corners. `exact`: one texel per pixel.
    void Add(const int (&xy)[8], const float (&st)[8], bool exact);
    // Draws what is queued with the texture and state now current, then empties.
    void Flush();
    bool Empty() const { return xy_.empty(); }

private:
    std::vector<int> xy_;
    std::vector<float> st_;
    bool exact_ = false;
    unsigned program_ = 0;
};
