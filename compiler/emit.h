// The checked program as C++ on the runtime: globals and SUBs in __TOLVANE__ under their
// BASIC names, the main program as __MainGameSub_, __dLn before every statement, and an
// entry point with the build settings.
#pragma once

#include <string>

#include "front.h"

namespace tvc {

struct BuildSettings {
    int width = 640, height = 480, fullscreen = 0, fps = 60, debug = 0, mouse = 1;
    std::string title;
};

// The program's settings line over `defaults` (the defaults' title when it names none).
BuildSettings ResolveSettings(const Settings& fromProgram, BuildSettings defaults);

// The program's C++. With `entry`, the entry point (main) goes there, as a source of its
// own, so that another program (a test, a tool) can link the translated program with
// an entry point of its own; without, it ends the returned text.
std::string EmitCpp(const Program& program, const BuildSettings& settings, std::string* entry = nullptr);

}  // namespace tvc
