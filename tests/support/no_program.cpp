#include "tolvane.h"

// The runtime test binary is a program on the runtime too; its main procedure is
// never run.
namespace __TOLVANE__ {
double __MainGameSub_() { return 0; }
}  // namespace __TOLVANE__
