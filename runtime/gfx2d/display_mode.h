// Internal: the display mode of the program window: its size and colour depth, and
// whether it fills the screen. Switching leaves the drawing to the renderer, which sets
// its projection for the size afterwards.
#pragma once

class __DisplayMode {
public:
    // The window's size and colour depth (0: the desktop's); windowed.
    void Set(int width, int height, int bits);

    // Full screen at the stored size, at the stored depth when it differs from the
    // desktop's and else at any. Where no such mode exists, the desktop's depth is
    // tried; false (beeping and writing to the error log, the window unchanged) when no
    // full-screen mode could be set.
    bool EnterFullscreen();
    // A window of the stored size again, leaving full screen first.
    void EnterWindow();
    // Hides the window, leaving full screen.
    void Hide();

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Bits() const { return bits_; }
    bool Fullscreen() const { return fullscreen_; }
    // A new size (full screen takes it as it is).
    void SetSize(int width, int height) {
        width_ = width;
        height_ = height;
    }

private:
    int width_ = 0, height_ = 0, bits_ = 0;
    bool fullscreen_ = false;
};
