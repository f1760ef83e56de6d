#include "net/clock.h"

#include <chrono>

namespace net {

namespace {
ClockSource g_source = nullptr;
}  // namespace

double NowMs() {
    if (g_source) return g_source();
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void SetClock(ClockSource source) { g_source = source; }

}  // namespace net
