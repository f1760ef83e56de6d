// The texture store over OpenGL with the fixed pipeline: textures are read back as
// they are, and the plain copy of a sprite is made from its mip-mapped one on the card
// where the GL copies between textures (GL_ARB_copy_image).
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

#include "gfx2d/texture_store_gl.h"
#include "platform/window.h"

namespace {

class GLTextureStore final : public __TextureStoreGL {
public:
    void Init() override {
        __TextureStoreGL::Init();
        copyImage_ = nullptr;
        const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        if (ext && std::strstr(ext, "GL_ARB_copy_image"))
            copyImage_ = reinterpret_cast<PFNGLCOPYIMAGESUBDATAPROC>(plat::GLProcAddress("glCopyImageSubData"));
    }

    bool ReadAlphaMask(int nr) override {
        __SpriteSlot& s = sprites_[nr];
        if (s.hasMask) return false;
        s.hasMask = true;
        s.alphaMask.assign(static_cast<size_t>(std::max<int>(s.texWidth, 0)) * std::max<int>(s.texHeight, 0), 0);
        if (!s.texture[0] || s.alphaMask.empty()) return false;
        glBindTexture(GL_TEXTURE_2D, s.texture[0]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, s.alphaMask.data());
        return true;
    }

protected:
    bool CanCopyTextures() const override { return copyImage_ != nullptr; }

    bool CopyTexture(unsigned from, unsigned to, int w, int h) override {
        ClearErrors();
        copyImage_(from, GL_TEXTURE_2D, 0, 0, 0, 0, to, GL_TEXTURE_2D, 0, 0, 0, 0, w, h, 1);
        return glGetError() == GL_NO_ERROR;
    }

    bool ReadTexels(unsigned texture, int, int, uint8_t* rgba) override {
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        return true;
    }

private:
    PFNGLCOPYIMAGESUBDATAPROC copyImage_ = nullptr;  // copies between textures, where offered
};

}  // namespace

std::unique_ptr<__TextureStore> __MakeGLTextureStore() { return std::make_unique<GLTextureStore>(); }
