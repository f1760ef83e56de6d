// Internal: tolvanec's commands that work on a program, for both targets: `check`,
// `cpp`, `build` and `run` (build_options.h reads their command line). The program is
// translated in this process; a program file or page is made in the program's product
// folder of the cache (build_cache.h) only when something it is made from changed, then
// copied to the output (`build`), started (`run`) or served (`run --web`).
#pragma once

#include "build_options.h"

namespace tvc {

// The whole command; the exit status of tolvanec.
int BuildCommand(BuildOptions o);

}  // namespace tvc
