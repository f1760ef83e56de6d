#include "gfx2d/prism.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/program.h"
#include "platform/window.h"

OpenGLPrism* pPrsm = nullptr;

OpenGLPrism::OpenGLPrism()
    : textures_(std::make_unique<__TextureStore>()), drawing_(std::make_unique<__Drawing>(*textures_)) {
    FreeAll();
}

OpenGLPrism::~OpenGLPrism() {
    FreeAll();
    DoWindowed();
    plat::DestroyGLContext();
}

int OpenGLPrism::Init(int width, int height, int bits, uint16_t fps) {
    SetMaxFPS(fps);
    display_.Set(width, height, bits);
    if (!plat::CreateGLContext()) return 0;
    ReportRendererKind();
    textures_->Init();
    pacer_.Restart();
    drawing_->Init();
    Make2DViewport(0, 0, 0, 0);
    initialised_ = true;
    return 1;
}

void OpenGLPrism::ReportRendererKind() {
    const std::string r = __Drawing::RendererName();
    const bool software = r.find("llvmpipe") != std::string::npos || r.find("softpipe") != std::string::npos ||
                          r.find("swrast") != std::string::npos || r.find("Software") != std::string::npos ||
                          r.find("software") != std::string::npos;
    if (software) {
        __AppendErrorLog("OpenGL Software Emulation");
        std::fprintf(stderr, "Tolvane: OpenGL renders in software (%s); please update the graphics driver\n",
                     r.c_str());
    } else {
        __AppendErrorLog("OpenGL Hardware Support");
    }
}

// ---- display mode and projections ------------------------------------------------------

int OpenGLPrism::DoFullscreen() {
    if (!display_.EnterFullscreen()) {
        DoWindowed();
        return 0;
    }
    ChangeSize(display_.Width(), display_.Height());
    return 1;
}

int OpenGLPrism::DoWindowed() {
    display_.EnterWindow();
    ResizeAuto();
    return 1;
}

int OpenGLPrism::HideWindow() {
    display_.Hide();
    return 1;
}

void OpenGLPrism::Make2DViewport(short x, short y, short w, short h) {
    drawing_->Viewport2D(x, y, w, h, display_.Width(), display_.Height());
}

void OpenGLPrism::Make3DViewport(double nearZ, double farZ, double fovDegrees) {
    drawing_->Viewport3D(nearZ, farZ, fovDegrees, display_.Width(), display_.Height());
}

void OpenGLPrism::ChangeSize(int width, int height) {
    display_.SetSize(width, height);
    Make2DViewport(0, 0, 0, 0);
}

// ---- the frame ---------------------------------------------------------------------------

double OpenGLPrism::FlipScreens() {
    drawing_->Present(true);
    return pacer_.WaitForSlot();
}

double OpenGLPrism::AccurateTime() const { return plat::ClockMs(); }

void OpenGLPrism::StartFrame() {
    ResetBlending();
    // The whole screen first, so a viewport left narrowed by the last frame does not
    // crop or shift the background.
    Make2DViewport(0, 0, 0, 0);
    PasteSurface(0);
    drawing_->UsePlainTextures();
    mipmapFlag_ = 0;
}

void OpenGLPrism::ReadBackBuffer(std::vector<uint8_t>& rgb, int& width, int& height) {
    width = ScreenWidth();
    height = ScreenHeight();
    drawing_->ReadBackBuffer(width, height, rgb);
}

int OpenGLPrism::SaveBMPFile(const char* file) {
    // Sides that are not a multiple of 4 grow by their remainder (640 x 480 stays).
    const int w = ScreenWidth() + ScreenWidth() % 4, h = ScreenHeight() + ScreenHeight() % 4;
    std::vector<uint8_t> rgb;
    drawing_->ReadBackBuffer(w, h, rgb);
    return __WriteBMP24(file, w, h, rgb.data()) ? 1 : 0;
}

void OpenGLPrism::FreeAll() {
    if (!initialised_) {
        textures_->Forget();
        return;
    }
    for (int i = 0; i < __kSpriteSlots; ++i)
        if (textures_->Sprite(i).texWidth != -1 || textures_->Sprite(i).texture[0]) FreeSprite(i);
    for (int s = 0; s < __kSurfaces; ++s) FreeSurface(s);
}

// ---- textures ----------------------------------------------------------------------------
// The store binds textures as it works: the queued sprites go first, and the drawing
// binds again afterwards.

bool OpenGLPrism::LoadSprite(unsigned nr, std::vector<uint8_t> file, uint32_t key, bool bump) {
    if (!ValidSprite(static_cast<int>(nr))) return false;
    __BMPImage picture;
    picture.Open(std::move(file));  // a file it cannot read leaves an empty picture: an empty slot
    drawing_->Flush();
    const bool loaded = textures_->LoadSprite(static_cast<int>(nr), std::move(picture), key, bump);
    drawing_->ForgetBinding();
    return loaded;
}

void OpenGLPrism::FreeSprite(int nr) {
    if (!ValidSprite(nr)) return;
    drawing_->Flush();
    textures_->FreeSprite(nr);
    drawing_->ForgetBinding(nr);
}

void OpenGLPrism::GetSpriteSize(short nr, int& width, int& height) const {
    width = height = 0;
    if (!ValidSprite(nr)) return;
    width = textures_->Sprite(nr).width;
    height = textures_->Sprite(nr).height;
}

bool OpenGLPrism::GrabSprite(short nr, short x, short y, short w, short h) {
    if (!ValidSprite(nr)) return false;
    drawing_->Flush();
    const bool grabbed = textures_->GrabSprite(nr, x, y, w, h, ScreenWidth(), ScreenHeight());
    drawing_->ForgetBinding();
    return grabbed;
}

bool OpenGLPrism::LoadSurface(int s, std::vector<uint8_t> file) {
    if (!ValidSurface(s)) return false;
    __BMPImage picture;
    if (!picture.Open(std::move(file))) return false;
    drawing_->Flush();
    const bool loaded = textures_->LoadSurface(s, picture);
    drawing_->ForgetBinding();
    return loaded;
}

void OpenGLPrism::GrabSurface(int s) {
    if (!ValidSurface(s)) return;
    drawing_->Flush();
    textures_->GrabSurface(s, ScreenWidth(), ScreenHeight());
    drawing_->ForgetBinding();
}

void OpenGLPrism::FreeSurface(int s) {
    if (!ValidSurface(s)) return;
    drawing_->Flush();
    textures_->FreeSurface(s);
    drawing_->ForgetBinding();
}

bool OpenGLPrism::MakeStreamTexture(__StreamTexture& t, int width, int height) {
    drawing_->Flush();
    const bool made = textures_->MakeStreamTexture(t, width, height);
    drawing_->ForgetBinding();
    return made;
}

void OpenGLPrism::UpdateStreamTexture(const __StreamTexture& t, const uint8_t* rgba) {
    if (!t.texture || !rgba) return;
    drawing_->Flush();
    textures_->UpdateStreamTexture(t, rgba);
    drawing_->ForgetBinding();
}

void OpenGLPrism::FillStreamTexture(const __StreamTexture& t, const std::function<void(unsigned texture)>& fill) {
    if (!t.texture || !fill) return;
    drawing_->Flush();
    fill(t.texture);
    drawing_->ForgetBinding();
}

void OpenGLPrism::FreeStreamTexture(__StreamTexture& t) {
    if (t.texture) {
        drawing_->Flush();
        textures_->FreeStreamTexture(t);
        drawing_->ForgetBinding();
    }
    t = __StreamTexture{};
}

// ---- sprites, fonts, surfaces --------------------------------------------------------------

bool OpenGLPrism::SpriteCollision(int nr1, int nr2, short x1, short y1, short x2, short y2) {
    if (!ValidSprite(nr1) || !ValidSprite(nr2)) return false;
    const __SpriteSlot* s[2] = {&textures_->Sprite(nr1), &textures_->Sprite(nr2)};
    const int left = std::max<int>(x1, x2), right = std::min<int>(x1 + s[0]->width, x2 + s[1]->width);
    const int top = std::max<int>(y1, y2), bottom = std::min<int>(y1 + s[0]->height, y2 + s[1]->height);
    if (left >= right || top >= bottom) return false;
    for (int nr : {nr1, nr2}) {
        if (textures_->Sprite(nr).hasMask) continue;
        drawing_->Flush();
        if (textures_->ReadAlphaMask(nr)) drawing_->ForgetBinding();
    }
    auto alpha = [](const __SpriteSlot* sp, int col, int rowFromTop) -> int {
        int row = sp->height - 1 - rowFromTop;
        if (col < 0 || row < 0 || col >= sp->texWidth || row >= sp->texHeight) return 0;
        return sp->alphaMask[static_cast<size_t>(row) * sp->texWidth + col];
    };
    for (int c = left; c < right; ++c)
        for (int r = top; r < bottom; ++r)
            if (alpha(s[0], c - x1, r - y1) != 0 && alpha(s[1], c - x2, r - y2) == 255) return true;
    return false;
}

bool OpenGLPrism::LoadFont(unsigned font, std::vector<uint8_t> file) {
    return font < static_cast<unsigned>(__kFontCount) && LoadSprite(font + __kFontBase, std::move(file), 0, false);
}

void OpenGLPrism::GetFontSize(short font, int& width, int& height) const {
    width = height = 0;
    if (font < 0 || font >= __kFontCount) return;
    width = textures_->Sprite(font + __kFontBase).width;
    height = textures_->Sprite(font + __kFontBase).height;
}

void OpenGLPrism::BlendToSurface(int from, int to) {
    drawing_->BeginCrossFade();
    float k = 0;
    do {
        drawing_->Tint(k);
        PasteSurface(static_cast<unsigned>(to));
        drawing_->Tint(1 - k);
        PasteSurface(static_cast<unsigned>(from));
        FlipScreens();
        k += 0.02f;
    } while (k < 1.0f);
    drawing_->Tint(1);
    PasteSurface(static_cast<unsigned>(to));
    FlipScreens();
    drawing_->EndCrossFade();
    ResetBlending();
}
