#include "core/date_time.h"

#include <ctime>

namespace {

// The local time now through the format; empty when there is no clock.
DQStr LocalNow(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32];
    if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &local) ||
        std::strftime(text, sizeof text, format, &local) == 0)
        return DQStr("");
    return DQStr(text);
}

}  // namespace

DQStr DATE_Str() { return LocalNow("%Y-%m-%d"); }

DQStr TIME_Str() { return LocalNow("%H:%M:%S"); }
