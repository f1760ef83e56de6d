// The renderer: the OpenGL context of the program window, the display mode, the 2D
// projection, the frame-rate limiter and the millisecond clock.
//
// 2D coordinates are whole pixels from the top-left corner of the current viewport,
// x to the right and y downwards; drawing code passes the GL vertex (px, -py).
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

class OpenGLPrism {
public:
    OpenGLPrism();
    virtual ~OpenGLPrism();

    // Creates the GL context for the program window. Width or height 0 takes the
    // window's; bits 0 the desktop's colour depth. Returns 1, or 0 when the driver
    // offers no OpenGL context.
    int Init(int width, int height, int bits, uint16_t fps);
    // Full screen at the stored size; 0 (and a window) when no such mode exists.
    int DoFullscreen();
    int DoWindowed();
    // Hides the window, leaving full screen.
    int HideWindow();

    // 2D projection for the viewport (x, y from the top-left corner of the window);
    // a width or height below 1 takes the screen's size for both.
    void Make2DViewport(short x, short y, short w, short h);
    // Perspective projection over the stored viewport for the 3D commands.
    void Make3DViewport(double nearZ, double farZ, double fovDegrees);
    void ChangeSize(int width, int height);
    void ResizeAuto() { Make2DViewport(0, 0, 0, 0); }

    // Presents the back buffer, clears the new one and waits for the frame's slot in
    // the schedule. Late frames are dropped from the schedule, never made up. Returns
    // the milliseconds spent plus 1.
    double FlipScreens();
    // Handles every pending window event.
    int WinMessages();

    void SetupAccurateTimer();
    double AccurateTime() const;
    // Frame period 1000 / fps ms; 2 ms for fps <= 0.
    void SetMaxFPS(int fps);
    void FreeAll() {}
    bool IsActive() const { return initialised_; }

    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    int ColourBits() const { return colourBits_; }
    bool IsFullscreen() const { return fullscreen_; }
    short ViewX() const { return viewX_; }
    short ViewY() const { return viewY_; }
    short ViewWidth() const { return viewW_; }
    short ViewHeight() const { return viewH_; }
    double FramePeriod() const { return framePeriod_; }
    double NextFrameTime() const { return nextFrameTime_; }
    bool SoftwareRenderer() const { return software_; }

    float currentAlpha = 1.0f;  // blending factor of sprite drawing
    int boundTexture = -1;      // sprite bound on texture unit 0
    int boundTexture2 = -1;     // sprite bound on texture unit 1
    int mipmapped = 0;

private:
    void LoadExtensions();
    void ReportRendererKind();

    int screenWidth_ = 0, screenHeight_ = 0, colourBits_ = 0;
    bool fullscreen_ = false;
    short viewX_ = 0, viewY_ = 0, viewW_ = 0, viewH_ = 0;
    bool initialised_ = false;
    double nextFrameTime_ = 0;
    double framePeriod_ = 1000.0 / 60.0;
    double counterFrequency_ = 0;
    int highResolution_ = 0;
    bool software_ = false;
};

// Extension entry points, null until Init finds GL_ARB_multitexture.
namespace __glext {
extern PFNGLACTIVETEXTUREARBPROC glActiveTextureARB;
extern PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB;
extern PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB;
extern PFNGLGENBUFFERSARBPROC glGenBuffersARB;
extern PFNGLBINDBUFFERARBPROC glBindBufferARB;
extern PFNGLBUFFERDATAARBPROC glBufferDataARB;
extern PFNGLDELETEBUFFERSARBPROC glDeleteBuffersARB;
extern PFNGLMAPBUFFERARBPROC glMapBufferARB;
extern PFNGLUNMAPBUFFERARBPROC glUnmapBufferARB;
}  // namespace __glext

// ---- BASIC commands -----------------------------------------------------------------
// Ends the frame: time stamps, Escape / Alt+F4, present and wait, then the next frame
// starts on the background with the whole screen as viewport and full alpha.
double SHOWSCREEN();
// Clears the colour buffer and forgets the background, so later frames start black.
double BLACKSCREEN();
// The program's resolution settings.
double GETSCREENSIZE(double& w, double& h);
// Narrows drawing to a rectangle; a width or height below 1 selects the screen's size.
double VIEWPORT(double x, double y, double w, double h);
