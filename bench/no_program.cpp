#include "tolvane.h"

// Benchmarks start the runtime themselves; no BASIC main procedure ever runs.
namespace __TOLVANE__ {
double __MainGameSub_() { return 0; }
}  // namespace __TOLVANE__
