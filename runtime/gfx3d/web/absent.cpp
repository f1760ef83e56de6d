// The 3D commands in the browser, where the runtime draws in 2D only: every command
// does nothing and returns 0. X_LOADOBJ leaves its slot empty, X_COLLISION reports no
// contact and X_WORLD2SCREEN leaves its results unchanged, as for a point it cannot
// project.
#include "gfx3d/commands.h"
#include "gfx3d/prism3d.h"

Prism3D* prsm3D = nullptr;
signed char __g_cullMode = 0;

Prism3D::~Prism3D() {}

double X_MAKE3D(double, double, double) { return 0; }
double X_MAKE2D() { return 0; }
double X_CAMERA(double, double, double, double, double, double) { return 0; }
double X_MOVEMENT(double, double, double) { return 0; }
double X_SCALING(double, double, double) { return 0; }
double X_ROTATION(double, double, double, double) { return 0; }
double X_CULLMODE(double) { return 0; }
double X_MIPMAPPING(double) { return 0; }
double X_SETTEXTURE(double, double) { return 0; }
double X_AMBIENT_LT(double, double) { return 0; }
double X_SPOT_LT(double, double, double, double, double, double, double, double, double) { return 0; }
double X_DRAWAXES(double, double, double) { return 0; }
double X_AUTONORMALS(double) { return 0; }
double X_OBJSTART(double) { return 0; }
double X_OBJADDVERTEX(double, double, double, double, double, double) { return 0; }
double X_OBJNEWGROUP() { return 0; }
double X_OBJEND() { return 0; }
double X_LOADOBJ(DQStr, double) { return 0; }
double X_SAVEOBJ(DQStr, double) { return 0; }
double X_DRAWOBJ(double, double) { return 0; }
double X_DRAWANIM(double, double, double, double, double) { return 0; }
double X_COLLISION(double, double, double, double, double, double) { return 0; }
double X_SPRITE(double, double, double, double, double) { return 0; }
double X_WORLD2SCREEN(double, double, double, double&, double&, double&) { return 0; }
