#include "tolvane.h"

// The main procedure of programs that link the runtime but never run a BASIC program:
// the test binaries, the benchmarks and the fuzz harnesses start the runtime themselves
// where they need it.
namespace __TOLVANE__ {
double __MainGameSub_() { return 0; }
}  // namespace __TOLVANE__
