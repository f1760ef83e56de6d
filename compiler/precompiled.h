// Internal: the runtime's public header precompiled, once for each compiler, its flags
// and the headers' state, in tolvanec's cache folder (CacheBase()/pch-HASH-HASH), so that a
// translated program's compile reads it whole instead of parsing the header again: the
// most of a small program's compile time.
#pragma once

#include <string>
#include <vector>

#include "toolchain.h"

namespace tvc {

// The flags that make a compile with `flags` take the precompiled header, made first
// when it is not there; none when it cannot be made (the compile then parses the
// header as usual).
std::vector<std::string> PrecompiledHeaderFlags(const Toolchain& tc, const std::vector<std::string>& flags);

// Runs the target's compiler on a translated program: `flags`, the precompiled header's
// when there is one, the runtime's headers, then `rest` (the source, the output, what is
// linked). A precompiled header that another build has just replaced is no reason to
// fail: the compile is then made once more without it. False when the compiler refused;
// its report is in `log`.
bool CompileTranslation(const Toolchain& tc, const std::vector<std::string>& flags,
                        const std::vector<std::string>& rest, const std::string& log);

}  // namespace tvc
