#include "core/timing.h"

#include "platform/window.h"

double __g_FirstTime = 0;
double __g_ThisTime = 0;
double __g_LastTime = 0;

double __ClockMs() { return plat::ClockMs(); }

void __StampFrameTime() {
    __g_LastTime = __g_ThisTime;
    __g_ThisTime = __ClockMs();
}

double GETTIMER() {
    // A result below one millisecond (two SHOWSCREENs in quick succession) counts as 1.
    const double t = __ClockMs() - __g_LastTime;
    return t >= 1 ? t : 1;
}

double GETTIMERALL() { return __ClockMs() - __g_FirstTime; }
