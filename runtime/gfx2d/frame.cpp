// Frame presentation and the screen commands.
#include "core/automation.h"
#include "core/lifecycle.h"
#include "core/numbers.h"
#include "core/services.h"
#include "core/timing.h"
#include "gfx2d/prism.h"
#include "gfx2d/screenshots.h"
#include "input/dxinput.h"
#include "sound/music.h"

namespace {
constexpr int kKeyEscape = 1;
constexpr int kKeyLeftAlt = 56;
constexpr int kKeyF4 = 62;
}  // namespace

double SHOWSCREEN() {
    __g_LastTime = __g_ThisTime;
    __g_ThisTime = __ClockMs();
    __MusicRepeatCheck();
    if (pDXin) {
        pDXin->GetKeyboardStatus();
        if (pDXin->KeyDown(kKeyEscape) || (pDXin->KeyDown(kKeyLeftAlt) && pDXin->KeyDown(kKeyF4))) {
            __g_error = 0;
            __EndProgram();
        }
    }
    if (!pPrsm) return 0;
    __CaptureShotIfDue(__g_frame + 1);
    pPrsm->FlipScreens();
    __WriteCapturedShot();
    __FramePresented();
    if (pDXin) pDXin->BeginFrame(__g_frame + 1);

    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
    pPrsm->currentAlpha = 1.0f;
    // The whole screen first, so a viewport left narrowed by the last frame does not
    // crop or shift the background.
    pPrsm->Make2DViewport(0, 0, 0, 0);
    pPrsm->PasteSurface(0);
    pPrsm->mipmapped = 0;  // the next binding takes the plain textures
    return 0;
}

double BLACKSCREEN() {
    if (!pPrsm) return 0;
    pPrsm->Flush();
    glClear(GL_COLOR_BUFFER_BIT);
    pPrsm->FreeSurface(0);
    return 0;
}

double GETSCREENSIZE(double& w, double& h) {
    w = DQ_RESX;
    h = DQ_RESY;
    return 0;
}

double VIEWPORT(double x, double y, double w, double h) {
    if (pPrsm)
        pPrsm->Make2DViewport(static_cast<short>(__TruncInt(x)), static_cast<short>(__TruncInt(y)),
                              static_cast<short>(__TruncInt(w)), static_cast<short>(__TruncInt(h)));
    return 0;
}
