#include "gfx2d/display_mode.h"

#include "core/program.h"
#include "platform/system.h"
#include "platform/window.h"

void __DisplayMode::Set(int width, int height, int bits) {
    width_ = width;
    height_ = height;
    bits_ = bits == 0 ? plat::DesktopBitsPerPixel() : bits;
    fullscreen_ = false;
}

bool __DisplayMode::EnterFullscreen() {
    const int desktop = plat::DesktopBitsPerPixel();
    const int bits = (bits_ != 0 && bits_ != desktop) ? bits_ : 0;
    if (!plat::SetFullscreenMode(width_, height_, bits)) {
        if (bits == 0 || !plat::SetFullscreenMode(width_, height_, 0)) {
            plat::Beep();
            __AppendErrorLog("No Fullscreen Mode available");
            return false;
        }
        bits_ = desktop;
    }
    if (!fullscreen_) plat::ShowCursor(false);
    plat::ShowWindow();
    plat::RaiseWindow();
    fullscreen_ = true;
    return true;
}

void __DisplayMode::EnterWindow() {
    const bool was = fullscreen_;
    if (was) {
        plat::LeaveFullscreenMode();
        plat::SleepMs(500);
    }
    plat::SetWindowSize(width_, height_);
    plat::ShowWindow();
    if (was) plat::ShowCursor(true);
    fullscreen_ = false;
}

void __DisplayMode::Hide() {
    const bool was = fullscreen_;
    if (was) plat::LeaveFullscreenMode();
    plat::HideWindow();
    if (was) plat::ShowCursor(true);
    fullscreen_ = false;
}
