// The checked program as C++ on the runtime: CONSTs, TYPEs, globals and SUBs in
// __TOLVANE__ under their BASIC names (see names.h), the main program as
// __MainGameSub_, __dLn before every statement, and an entry point with the build
// settings and the names of the source files. A debug build marks the statements with
// __Ln instead and adds the debugger's tables (debug_tables.h).
//
// Evaluation runs from left to right, the target's indexes before the value: where the
// order could change a result (a part calls a SUB or a command, and another part reads
// what it may change), the parts are stored in temporaries in that order, so every
// C++ compiler gives the same result.
#pragma once

#include <string>

#include "front.h"

namespace tvc {

// The program's C++; `settings` must hold every setting (Settings::Defaults and what
// overrides them). With `entry`, the entry point (main) goes there, as a source of its
// own, so that another program (a test, a tool) can link the translated program with
// an entry point of its own; without, it ends the returned text.
std::string EmitCpp(const Program& program, const Settings& settings, std::string* entry = nullptr);

}  // namespace tvc
