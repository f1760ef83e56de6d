#include "gfx2d/sprite_batch.h"

#include <GL/gl.h>

void __SpriteBatch::Add(const int (&xy)[8], const float (&st)[8]) {
    static constexpr int kOrder[6] = {0, 1, 2, 0, 2, 3};
    for (int k : kOrder) {
        xy_.push_back(xy[2 * k]);
        xy_.push_back(xy[2 * k + 1]);
        st_.push_back(st[2 * k]);
        st_.push_back(st[2 * k + 1]);
    }
}

void __SpriteBatch::Flush() {
    if (xy_.empty()) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_INT, 0, xy_.data());
    glTexCoordPointer(2, GL_FLOAT, 0, st_.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(xy_.size() / 2));
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    xy_.clear();
    st_.clear();
}
