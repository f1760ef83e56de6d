#include "gfx2d/prism.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/program.h"
#include "gfx2d/gl_extensions.h"
#include "platform/system.h"
#include "platform/window.h"

OpenGLPrism* pPrsm = nullptr;

namespace {
// The frame wait sleeps until this long before the deadline, then polls the clock.
constexpr double kPollMarginMs = 1.5;
// Longest single sleep, so window events keep flowing during long frame periods.
constexpr double kLongestSleepMs = 8.0;
}  // namespace

OpenGLPrism::OpenGLPrism() {
    FreeAll();
    SetupAccurateTimer();
    nextFrameTime_ = AccurateTime();
}

OpenGLPrism::~OpenGLPrism() {
    FreeAll();
    DoWindowed();
    plat::DestroyGLContext();
}

int OpenGLPrism::Init(int width, int height, int bits, uint16_t fps) {
    SetMaxFPS(fps);
    if (bits == 0) bits = plat::DesktopBitsPerPixel();
    screenWidth_ = width;
    screenHeight_ = height;
    colourBits_ = bits;
    fullscreen_ = false;
    if (!plat::CreateGLContext()) return 0;
    ReportRendererKind();
    GLint maxTexture = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
    // Sprite sizes are kept in 16 bits: textures stay within 16384 texels a side.
    maxTexture_ = maxTexture < 64 ? 64 : (maxTexture > 16384 ? 16384 : maxTexture);
    nextFrameTime_ = AccurateTime();
    __glext::Load();
    copyImage_ = nullptr;
    const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (ext && std::strstr(ext, "GL_ARB_copy_image"))
        copyImage_ = reinterpret_cast<PFNGLCOPYIMAGESUBDATAPROC>(plat::GLProcAddress("glCopyImageSubData"));
    batch_.Init();
    glColor4f(1, 1, 1, 1);
    Make2DViewport(0, 0, 0, 0);
    initialised_ = true;
    return 1;
}

void OpenGLPrism::ReportRendererKind() {
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* r = renderer ? renderer : "";
    const bool software = std::strstr(r, "llvmpipe") || std::strstr(r, "softpipe") || std::strstr(r, "swrast") ||
                std::strstr(r, "Software") || std::strstr(r, "software");
    if (software) {
        __AppendErrorLog("OpenGL Software Emulation");
        std::fprintf(stderr, "Tolvane: OpenGL renders in software (%s); please update the graphics driver\n", r);
    } else {
        __AppendErrorLog("OpenGL Hardware Support");
    }
}

int OpenGLPrism::DoFullscreen() {
    int desktop = plat::DesktopBitsPerPixel();
    int bits = (colourBits_ != 0 && colourBits_ != desktop) ? colourBits_ : 0;
    if (!plat::SetFullscreenMode(screenWidth_, screenHeight_, bits)) {
        if (bits == 0 || !plat::SetFullscreenMode(screenWidth_, screenHeight_, 0)) {
            plat::Beep();
            __AppendErrorLog("No Fullscreen Mode available");
            DoWindowed();
            return 0;
        }
        colourBits_ = desktop;
    }
    if (!fullscreen_) plat::ShowCursor(false);
    plat::ShowWindow();
    plat::RaiseWindow();
    ChangeSize(screenWidth_, screenHeight_);
    fullscreen_ = true;
    return 1;
}

int OpenGLPrism::DoWindowed() {
    bool was = fullscreen_;
    if (was) {
        plat::LeaveFullscreenMode();
        plat::SleepMs(500);
    }
    plat::SetWindowSize(screenWidth_, screenHeight_);
    plat::ShowWindow();
    if (was) plat::ShowCursor(true);
    ResizeAuto();
    fullscreen_ = false;
    return 1;
}

int OpenGLPrism::HideWindow() {
    bool was = fullscreen_;
    if (was) plat::LeaveFullscreenMode();
    plat::HideWindow();
    if (was) plat::ShowCursor(true);
    fullscreen_ = false;
    return 1;
}

void OpenGLPrism::Make2DViewport(short x, short y, short w, short h) {
    Flush();
    if (w < 1 || h < 1) {
        w = static_cast<short>(screenWidth_);
        h = static_cast<short>(screenHeight_);
    }
    viewX_ = x;
    viewY_ = y;
    viewW_ = w;
    viewH_ = h;
    glViewport(x, screenHeight_ - h - y, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, -h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, __kAlphaTestRef);
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 1);
    glShadeModel(GL_FLAT);
    for (GLenum cap : {GL_DITHER, GL_FOG, GL_POINT_SMOOTH, GL_LINE_SMOOTH, GL_POLYGON_SMOOTH, GL_STENCIL_TEST,
                       GL_POLYGON_OFFSET_POINT, GL_COLOR_MATERIAL, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T,
                       GL_NORMALIZE, GL_LIGHTING})
        glDisable(cap);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
    ForgetBinding();  // texturing is on again whatever was bound
}

void OpenGLPrism::Make3DViewport(double nearZ, double farZ, double fovDegrees) {
    Flush();
    glViewport(viewX_, screenHeight_ - viewH_ - viewY_, viewW_, viewH_);
    double aspect = static_cast<double>(screenWidth_) / (screenHeight_ == 0 ? 1 : screenHeight_);
    double top = nearZ * std::tan(fovDegrees * M_PI / 360.0);
    double right = top * aspect;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-right, right, -top, top, nearZ, farZ);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // No texture: switched off in GL too, so untextured objects draw in their colours.
    ForgetBinding();
    SetTexture3D(__kNoSprite, __kNoSprite, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, __kAlphaTestRef);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DITHER);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
}

void OpenGLPrism::ChangeSize(int width, int height) {
    screenWidth_ = width;
    screenHeight_ = height;
    Make2DViewport(0, 0, 0, 0);
}

double OpenGLPrism::FlipScreens() {
    Flush();
    glFlush();
    plat::SwapWindow();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    double t0 = AccurateTime();
    WinMessages();
    if (!noWait_) {
        // Sleep until shortly before the deadline, then poll; the deadline stays absolute.
        for (double now = AccurateTime(); now <= nextFrameTime_; now = AccurateTime()) {
            double left = nextFrameTime_ - now;
            if (left > kPollMarginMs) plat::SleepMs(std::min(left - kPollMarginMs, kLongestSleepMs));
            WinMessages();
        }
    }
    nextFrameTime_ += framePeriod_;
    if (framePeriod_ > 0) {
        double now = AccurateTime();
        if (nextFrameTime_ < now) nextFrameTime_ += std::ceil((now - nextFrameTime_) / framePeriod_) * framePeriod_;
        while (nextFrameTime_ < now) nextFrameTime_ += framePeriod_;
    }
    return (AccurateTime() - t0) + 1;
}

void OpenGLPrism::PresentNow(bool clear) {
    Flush();
    glFlush();
    plat::SwapWindow();
    if (clear) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

int OpenGLPrism::WinMessages() {
    plat::PumpEvents();
    return 1;
}

// The platform clock always reads the high-resolution counter, so there is no
// source to choose.
void OpenGLPrism::SetupAccurateTimer() {}

double OpenGLPrism::AccurateTime() const { return plat::ClockMs(); }

void OpenGLPrism::SetMaxFPS(int fps) { framePeriod_ = fps > 0 ? 1000.0 / fps : 2.0; }

void OpenGLPrism::ClearScreen() {
    Flush();
    glClear(GL_COLOR_BUFFER_BIT);
}

void OpenGLPrism::ResetBlending() {
    Flush();
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
    currentAlpha_ = 1.0f;
}

void OpenGLPrism::StartFrame() {
    ResetBlending();
    // The whole screen first, so a viewport left narrowed by the last frame does not
    // crop or shift the background.
    Make2DViewport(0, 0, 0, 0);
    PasteSurface(0);
    mipmapped_ = 0;  // the next binding takes the plain textures
    mipmapFlag_ = 0;
}

void OpenGLPrism::ReadBackBuffer(std::vector<uint8_t>& rgb, int& width, int& height) {
    Flush();
    width = screenWidth_;
    height = screenHeight_;
    rgb.resize(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}
