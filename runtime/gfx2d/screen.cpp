#include "gfx2d/screen.h"

#include "core/frame_services.h"
#include "core/numbers.h"
#include "core/program.h"
#include "core/timing.h"
#include "gfx2d/prism.h"

double SHOWSCREEN() {
    __StampFrameTime();
    __RunFrameServicesBeforePresent();
    if (!pPrsm) return 0;
    pPrsm->FlipScreens();
    __RunFrameServicesAfterPresent();
    pPrsm->StartFrame();
    return 0;
}

double BLACKSCREEN() {
    if (!pPrsm) return 0;
    pPrsm->ClearScreen();
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

double LIMITFPS(double n) {
    if (pPrsm) pPrsm->SetMaxFPS(__TruncInt(n));
    return 0;
}
