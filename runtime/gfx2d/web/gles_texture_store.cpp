// The texture store over OpenGL ES 3.0 (WebGL 2), which has no call that reads a
// texture back: a texture is read through a framebuffer it is attached to.
#include <GLES3/gl3.h>

#include <algorithm>
#include <vector>

#include "gfx2d/texture_store_gl.h"

namespace {

class GLESTextureStore final : public __TextureStoreGL {
public:
    bool ReadAlphaMask(int nr) override {
        __SpriteSlot& s = sprites_[nr];
        if (s.hasMask) return false;
        s.hasMask = true;
        const int tw = std::max<int>(s.texWidth, 0), th = std::max<int>(s.texHeight, 0);
        s.alphaMask.assign(static_cast<size_t>(tw) * th, 0);
        if (!s.texture[0] || s.alphaMask.empty()) return false;
        std::vector<uint8_t> rgba(static_cast<size_t>(tw) * th * 4);
        if (ReadTexels(s.texture[0], tw, th, rgba.data()))
            for (size_t i = 0; i < s.alphaMask.size(); ++i) s.alphaMask[i] = rgba[4 * i + 3];
        return true;
    }

protected:
    // The drawing's framebuffer is bound again afterwards.
    bool ReadTexels(unsigned texture, int w, int h, uint8_t* rgba) override {
        GLint drawing = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &drawing);
        GLuint frame = 0;
        glGenFramebuffers(1, &frame);
        glBindFramebuffer(GL_FRAMEBUFFER, frame);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        const bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        if (ok) {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        }
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(drawing));
        glDeleteFramebuffers(1, &frame);
        return ok;
    }
};

}  // namespace

std::unique_ptr<__TextureStore> __MakeGLESTextureStore() { return std::make_unique<GLESTextureStore>(); }
