#include "core/timing.h"

#include "core/numbers.h"
#include "core/services.h"
#include "gfx2d/prism.h"
#include "platform/window.h"

double __g_FirstTime = 0;
double __g_ThisTime = 0;
double __g_LastTime = 0;

double __ClockMs() { return pPrsm ? pPrsm->AccurateTime() : plat::ClockMs(); }

double GETTIMER() {
    double t = __ClockMs() - __g_LastTime;
    return t <= 0 ? 1 : t;
}

double GETTIMERALL() { return __ClockMs() - __g_FirstTime; }

double LIMITFPS(double n) {
    if (pPrsm) pPrsm->SetMaxFPS(__TruncInt(n));
    return 0;
}
