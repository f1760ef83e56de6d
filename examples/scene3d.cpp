// A small 3D scene on the runtime: a ring built vertex by vertex, saved as an object
// file and loaded back, textured with a picture drawn by the program itself, lit by a
// point light circling it, spinning at 60 frames per second. A marker sprite floats
// above it, always facing the camera. Escape or closing the window ends it.
#include "tolvane.h"

namespace __TOLVANE__ {

double angle = 0;

// A checkered picture drawn on the screen and grabbed as sprite 0; a ball on a dark
// square as sprite 1.
double MakePictures() {
    for (double y = 0; y < 8; ++y)
        for (double x = 0; x < 8; ++x)
            FILLRECT(x * 8, y * 8, x * 8 + 8, y * 8 + 8, MOD(x + y, 2) == 0 ? 0xF0E0D0 : 0x3070E0);
    GRABSPRITE(0, 0, 0, 64, 64);
    FILLRECT(0, 0, 32, 32, 0x502810);
    for (double y = 0; y < 32; ++y)
        for (double x = 0; x < 32; ++x)
            if ((x - 15.5) * (x - 15.5) + (y - 15.5) * (y - 15.5) < 225) SETPIXEL(x, y, 0x40D0FF);
    GRABSPRITE(1, 0, 0, 32, 32);
    BLACKSCREEN();
    return 0;
}

// A ring (torus) of 32 x 16 quads: one triangle strip per segment around the ring.
double BuildRing(double nr) {
    const double segments = 32, sides = 16, big = 70, small = 28;
    X_AUTONORMALS(2);
    X_OBJSTART(nr);
    for (double i = 0; i < segments; ++i) {
        if (i > 0) X_OBJNEWGROUP();
        for (double j = 0; j <= sides; ++j)
            for (double k = 1; k >= 0; --k) {
                double a = (i + k) * 360 / segments, b = j * 360 / sides;
                double r = big + small * COS(b);
                double colour = MOD(i, 2) == 0 ? 0xFFFFFF : 0xC0FFC0;
                X_OBJADDVERTEX(r * COS(a), small * SIN(b), r * SIN(a), (i + k) / 8, j / 4, colour);
            }
    }
    X_OBJEND();
    return 0;
}

double __MainGameSub_() {
    MakePictures();
    BuildRing(1);
    X_SAVEOBJ(CQStr("ring.obj3d"), 1);
    X_LOADOBJ(CQStr("ring.obj3d"), 2);  // the copy read back from the file is drawn
    for (;;) {
        angle += 1;
        X_MAKE3D(1, 2000, 45);
        X_CAMERA(0, 120, 260, 0, 0, 0);
        X_AMBIENT_LT(2, 0x383838);  // light 0 would add white light from the viewer as well
        X_SPOT_LT(1, 0xE0E0E0, 260 * COS(angle * 2), 60, 260 * SIN(angle * 2), 0, 0, 0, 360);
        X_MIPMAPPING(1);
        X_SETTEXTURE(0, -1);
        X_CULLMODE(-1);
        X_ROTATION(angle, 0, 1, 0);
        X_ROTATION(25 * SIN(angle * 3), 1, 0, 0);
        X_DRAWOBJ(2, 0);
        X_SPRITE(1, 0, 75 + 10 * SIN(angle * 4), 0, 0.8);
        X_MAKE2D();
        PRINT(CQStr("Tolvane 3D - Escape ends"), 8, 8);
        SHOWSCREEN();
    }
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) { __ProgramEntry(argc, argv, __BuildSettings{}, "Tolvane 3D"); }
