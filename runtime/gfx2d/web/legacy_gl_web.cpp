// Stand-in while the browser draws through Emscripten's emulation of the fixed-function
// OpenGL the desktop renderer uses (until the browser has a WebGL 2 renderer of its own):
// WebGL cannot read a texture back, so the pictures read from one stay empty. Pixel
// collisions (SPRCOLL) therefore find no contact in the browser for now.
#include <GL/gl.h>

extern "C" void glGetTexImage(GLenum, GLint, GLenum, GLenum, void*) {}
