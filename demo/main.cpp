// A small program on the runtime: a square bouncing across the window at 60 frames
// per second. Escape or closing the window ends it.
#include <GL/gl.h>

#include "core/lifecycle.h"
#include "gfx2d/prism.h"

namespace __TOLVANE__ {

double x = 0, y = 0, dx = 3, dy = 2;

double __MainGameSub_() {
    double w = 0, h = 0;
    GETSCREENSIZE(w, h);
    for (;;) {
        x += dx;
        y += dy;
        if (x < 0 || x > w - 64) dx = -dx;
        if (y < 0 || y > h - 64) dy = -dy;
        glDisable(GL_TEXTURE_2D);
        glColor3f(0.9f, 0.6f, 0.1f);
        glBegin(GL_QUADS);
        glVertex2d(x, -y - 64);
        glVertex2d(x + 64, -y - 64);
        glVertex2d(x + 64, -y);
        glVertex2d(x, -y);
        glEnd();
        SHOWSCREEN();
    }
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    DQ_RESX = 640;
    DQ_RESY = 480;
    __SetCommandLine(argc, argv);
    DQ_FULLSCREEN = 0;
    DQ_FRAMERATE = 60;
    DQ_DEBUG = 0;
    DQ_WANTMOUSE = 1;
    __RunProgram("Tolvane Demo");
}
