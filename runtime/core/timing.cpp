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
    double t = __ClockMs() - __g_LastTime;
    return t <= 0 ? 1 : t;
}

double GETTIMERALL() { return __ClockMs() - __g_FirstTime; }
