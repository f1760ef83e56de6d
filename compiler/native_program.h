// Internal: a program for the desktop: the translated program compiled against the
// runtime's header (precompiled) and linked with the runtime library, its archive
// appended to the program file.
#pragma once

#include <string>

#include "toolchain.h"

namespace tvc {

// Makes `program` from the translated program `cpp`, the assets (none when empty) and
// the font. `work` is a folder for the files in between. False, with the reason
// printed, when a step fails.
bool MakeNativeProgram(const Toolchain& tc, const std::string& cpp, bool debug, const std::string& assets,
                       const std::string& program, const std::string& work);

}  // namespace tvc
