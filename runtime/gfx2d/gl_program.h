// Internal: shader programs of the renderer (the 2D drawing's and the 3D engine's).
// Every program is written in the GLSL of OpenGL ES 3.0, which is also that of a core
// OpenGL 3.3 context but for the version line; the sources start after it, and this adds
// the line of the context made (platform/window.h).
#pragma once

// Compiles and links the two stages, binding the attributes to locations 0, 1, ... in
// the order given (a null name ends the list). A stage that does not compile or a
// program that does not link is reported on standard error; 0 then.
unsigned __BuildProgram(const char* vertexSource, const char* fragmentSource, const char* const* attributes);
