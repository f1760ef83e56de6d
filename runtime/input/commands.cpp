#include "input/commands.h"

#include "core/numbers.h"
#include "core/program.h"
#include "core/wait.h"
#include "gfx2d/prism.h"
#include "gfx2d/screen.h"
#include "gfx2d/text.h"
#include "input/dxinput.h"

double __g_mx = 0, __g_my = 0;

namespace {

// Frames without a key before the cursor of INPUT flips.
constexpr int kBlinkFrames = 20;

// A joystick index as the commands take it: truncated, then a signed byte.
int JoyIndex(double n) { return static_cast<signed char>(__TruncInt(n) & 0xFF); }

DIJOYSTATE Joy(double n) {
    DIJOYSTATE s;
    if (pDXin) pDXin->GetJoystickData(&s, JoyIndex(n));
    return s;
}

void DrawEdit(const DQStr& text, short x, short y, bool cursor) {
    pPrsm->PasteSurface(3);
    DQStr shown = text;
    if (cursor) shown += CQStr("_");
    pPrsm->DrawTextA(static_cast<short>(__nCurFont), shown.c_str(), x, y);
    SHOWSCREEN();
}

}  // namespace

double KEY(double code) {
    if (!pDXin) return 0;
    pDXin->GetKeyboardStatus();
    return pDXin->KeyPressed(__TruncInt(code) & 0xFF) ? 1 : 0;
}

double KEYHIT(double code) {
    if (!pDXin || !(code >= 0) || code >= 256) return 0;
    return pDXin->KeyHit(__TruncInt(code)) ? 1 : 0;
}

DQStr INKEY_Str() {
    if (!pDXin) return DQStr();
    char c[2] = {static_cast<char>(pDXin->GetKeyChar()), 0};
    return DQStr(c);
}

double INPUT(DQStr& text, double x, double y) {
    if (!pDXin || !pPrsm) return 0;
    const short sx = static_cast<short>(__TruncInt(x)), sy = static_cast<short>(__TruncInt(y));
    DQStr edit = text;
    pPrsm->GrabSurface(3);
    DrawEdit(edit, sx, sy, false);
    bool cursor = false;
    int blink = 0;
    for (;;) {
        signed char c = pDXin->GetKeyChar();
        if (c == 0) {
            if (++blink > kBlinkFrames) {
                blink = 0;
                cursor = !cursor;
            }
        } else if (c == 10) {
            pPrsm->FreeSurface(3);
            text = edit;
            return 0;
        } else if (c == 8) {
            if (edit.Length() > 0) edit.Left(edit.Length() - 1);
        } else {
            char add[2] = {c, 0};
            edit += add;
        }
        DrawEdit(edit, sx, sy, cursor);
    }
}

double INPUT(double& number, double x, double y) {
    DQStr text;
    INPUT(text, x, y);
    number = text.Number();
    return 0;
}

double KEYWAIT() {
    // A replayed run has no keys between frames: waiting would never end.
    if (!pDXin || !pPrsm || pDXin->Replaying()) return 0;
    // Escape gives no character; it ends the program here, as in MOUSEWAIT.
    while (!pDXin->AnyKey()) __WaitStep(1);
    while (pDXin->AnyKey()) {
    }
    return 0;
}

double MOUSEWAIT() {
    if (!pDXin || pDXin->Replaying()) return 0;
    while (pDXin->AnyMouse()) __WaitStep(1);
    while (!pDXin->AnyMouse()) __WaitStep(1);
    return 0;
}

double MOUSESTATE(double& x, double& y, double& b1, double& b2) {
    DIMOUSEDATA d;
    if (pDXin) pDXin->GetMouseData(&d);
    __g_mx += d.dx;
    __g_my += d.dy;
    const double w = pPrsm ? pPrsm->ScreenWidth() : DQ_RESX, h = pPrsm ? pPrsm->ScreenHeight() : DQ_RESY;
    if (__g_mx > w) __g_mx = w;
    if (__g_my > h) __g_my = h;
    if (__g_mx < 0) __g_mx = 0;
    if (__g_my < 0) __g_my = 0;
    x = __g_mx;
    y = __g_my;
    b1 = d.left ? 1 : 0;
    b2 = d.right ? 1 : 0;
    return 0;
}

double MOUSEBUTTON(double button) {
    if (!pDXin || !(button >= 1) || button >= 4) return 0;
    return pDXin->MouseButtonDown(__TruncInt(button) - 1, DXInput::MouseReader::Button) ? 1 : 0;
}

double MOUSEWHEEL() { return pDXin ? pDXin->TakeWheel() : 0; }

double SETMOUSE(double x, double y) {
    __g_mx = x;
    __g_my = y;
    return 0;
}

double JOYSTATE(double& x, double& y, double& b1, double& b2) {
    DIJOYSTATE s = Joy(0);
    x = s.lX;
    y = s.lY;
    b1 = s.rgbButtons[0];
    b2 = s.rgbButtons[1];
    return 0;
}

double GETJOYX(double n) { return Joy(n).lX; }
double GETJOYY(double n) { return Joy(n).lY; }
double GETJOYZ(double n) { return Joy(n).lZ; }

double GETDIGIX(double n) {
    uint32_t hat = Joy(n).rgdwPOV[0];
    return hat == 9000 ? 1 : hat == 27000 ? -1 : 0;
}

double GETDIGIY(double n) {
    uint32_t hat = Joy(n).rgdwPOV[0];
    return hat == 0 ? -1 : hat == 18000 ? 1 : 0;
}

double GETJOYBUTTON(double n, double b) {
    if (!(b >= 0) || b >= 32) return 0;
    return Joy(n).rgbButtons[__TruncInt(b)];
}

double GETNUMJOYSTICKS() { return pDXin ? pDXin->GetNumJoysticks() : 0; }

DQStr GETJOYNAME_Str(double n) {
    if (!pDXin) return DQStr();
    return DQStr(pDXin->GetJoyName(JoyIndex(n)));
}
