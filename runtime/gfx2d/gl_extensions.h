// Internal: the OpenGL extension entry points the renderer loads when the driver offers
// GL_ARB_multitexture (multitexturing and vertex buffer objects); null until then.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace __glext {
extern PFNGLACTIVETEXTUREARBPROC glActiveTextureARB;
extern PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB;
extern PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB;
extern PFNGLGENBUFFERSARBPROC glGenBuffersARB;
extern PFNGLBINDBUFFERARBPROC glBindBufferARB;
extern PFNGLBUFFERDATAARBPROC glBufferDataARB;
extern PFNGLDELETEBUFFERSARBPROC glDeleteBuffersARB;
// Loads them all from the current context; leaves them null without the extension.
void Load();
}  // namespace __glext
