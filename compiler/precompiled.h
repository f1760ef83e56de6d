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

}  // namespace tvc
