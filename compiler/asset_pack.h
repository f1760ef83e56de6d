// Internal: a program's archive, the way both targets pack it: the assets folder's
// files and the built-in font (unless the assets bring a font of their own), made by
// the archive tool.
#pragma once

#include <string>

#include "toolchain.h"

namespace tvc {

// Packs `assets` (none when empty) and the font into the archive file `archive`, a new
// file. `log` takes the tool's output. False, with the tool's output printed, when it
// fails.
bool PackArchive(const Toolchain& tc, const std::string& assets, const std::string& archive, const std::string& log);

// Appends the archive to the program file, where the runtime finds it (a single-file
// game). False, with the tool's output printed, when it fails.
bool AppendArchive(const Toolchain& tc, const std::string& program, const std::string& archive, const std::string& log);

}  // namespace tvc
