// 3D commands: a camera, lights, an object transformation and culling; polygon objects
// built vertex by vertex or loaded from object files, drawn whole or blended between
// two frames of an animation; sphere collision and projection to the screen.
//
// Object numbers 0 ... 4094, light numbers taken modulo 8 (light -1 of X_SPOT_LT is the
// bump light), texture numbers are sprite numbers (negative: none). Numbers out of
// range make a command do nothing. Angles are degrees; colours R + 256 G + 65536 B.
#pragma once

#include "core/dqstr.h"

// Perspective projection over the current viewport: near and far clipping distances,
// vertical field of view. Culling off, every light off.
double X_MAKE3D(double nearZ, double farZ, double fov);
// Back to the whole-screen 2D drawing; every light off.
double X_MAKE2D();
// Looks from the eye at the target, +y up (looking straight along y, -z is up); depth
// testing on; the object transformation reset; culling off.
double X_CAMERA(double ex, double ey, double ez, double tx, double ty, double tz);
// Set the translation or the scaling of later objects; both empty the rotation list.
double X_MOVEMENT(double x, double y, double z);
double X_SCALING(double x, double y, double z);
// Adds a rotation about the axis (x, y, z); at most 16, the last given turns first.
double X_ROTATION(double angle, double x, double y, double z);
// > 0: faces wound clockwise on the screen are the front; < 0: counter-clockwise; 0:
// both sides drawn.
double X_CULLMODE(double mode);
// Textures of later X_SETTEXTURE calls are the mip-mapped ones (until the next frame).
double X_MIPMAPPING(double flag);
// The sprite textures of later objects: colour texture and bump map.
double X_SETTEXTURE(double texture, double bump);
double X_AMBIENT_LT(double light, double colour);
// cutoff 0: the light off; 360: a point light at (x, y, z); 180: a directional light
// shining along the direction; else a spot light at (x, y, z) with that cone angle.
double X_SPOT_LT(double light, double colour, double x, double y, double z, double dx, double dy, double dz,
                 double cutoff);
// How the light fades (until it is given again; no fading at start): a spot light's
// part inside its cone times the cosine of its angle from the axis to the power of
// `exponent` (0 ... 128), a point or spot light's part divided by constant + linear d +
// quadratic d^2 at distance d. Negative factors or ones that are no number count as 0,
// larger ones as 1000000; all three 0 as 1, 0, 0.
double X_LIGHTFALLOFF(double light, double exponent, double constant, double linear, double quadratic);
// Red, green and blue arrows of length 100 along x, y and z from the point.
double X_DRAWAXES(double x, double y, double z);
// Normals of objects finished later: 0 as given, 1 per face, 2 smoothed over the faces
// that meet at a position (taken modulo 3).
double X_AUTONORMALS(double mode);

// Building: X_OBJSTART, then X_OBJADDVERTEX for each vertex of a triangle strip,
// X_OBJNEWGROUP to start the next strip, and X_OBJEND.
double X_OBJSTART(double nr);
double X_OBJADDVERTEX(double x, double y, double z, double tx, double ty, double colour);
double X_OBJNEWGROUP();
double X_OBJEND();
// A file that cannot be read, is no valid object file or would make an object larger
// than the runtime allows (some 512 MiB with its drawing) leaves the slot empty. Bytes
// after the object's last frame are not read.
double X_LOADOBJ(DQStr file, double nr);
// An empty slot gives a file of no frames, which loads as an empty object.
double X_SAVEOBJ(DQStr file, double nr);
// Frames below 0 draw frame 0; frames beyond the last draw nothing.
double X_DRAWOBJ(double nr, double frame);
// Blends frame `from` towards `to` by the factor; with the animate flag the factor
// walks through the frames between them.
double X_DRAWANIM(double nr, double from, double to, double factor, double animate);
// 1 when the sphere touches the object's frame as it would be drawn now, else 0.
double X_COLLISION(double nr, double frame, double radius, double x, double y, double z);
// The sprite as a quad facing the camera, centred on the point, its size times scale.
double X_SPRITE(double nr, double x, double y, double z, double scale);
// Screen position of a point where it is drawn, in the pixels 2D drawing uses (from the
// top-left corner of the current viewport, y downwards), and its depth (0 near ... 1
// far); nothing is written when it cannot be projected.
double X_WORLD2SCREEN(double x, double y, double z, double& sx, double& sy, double& depth);
