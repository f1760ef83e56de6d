#include "gfx2d/gl_extensions.h"

#include <cstring>

#include "platform/window.h"

namespace __glext {
PFNGLACTIVETEXTUREARBPROC glActiveTextureARB = nullptr;
PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB = nullptr;
PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB = nullptr;
PFNGLGENBUFFERSARBPROC glGenBuffersARB = nullptr;
PFNGLBINDBUFFERARBPROC glBindBufferARB = nullptr;
PFNGLBUFFERDATAARBPROC glBufferDataARB = nullptr;
PFNGLDELETEBUFFERSARBPROC glDeleteBuffersARB = nullptr;

void Load() {
    const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!ext || !std::strstr(ext, "GL_ARB_multitexture")) return;
    auto get = [](const char* name) { return plat::GLProcAddress(name); };
    glActiveTextureARB = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(get("glActiveTextureARB"));
    glMultiTexCoord2fARB = reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(get("glMultiTexCoord2fARB"));
    glClientActiveTextureARB = reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(get("glClientActiveTextureARB"));
    glGenBuffersARB = reinterpret_cast<PFNGLGENBUFFERSARBPROC>(get("glGenBuffersARB"));
    glBindBufferARB = reinterpret_cast<PFNGLBINDBUFFERARBPROC>(get("glBindBufferARB"));
    glBufferDataARB = reinterpret_cast<PFNGLBUFFERDATAARBPROC>(get("glBufferDataARB"));
    glDeleteBuffersARB = reinterpret_cast<PFNGLDELETEBUFFERSARBPROC>(get("glDeleteBuffersARB"));
}

}  // namespace __glext
