#include "core/console.h"

#include "core/strings.h"
#include "platform/system.h"

double STDOUT(DQStr text) {
    plat::StdoutLine(text.c_str());
    return 0;
}

double STDOUT(double value) { return STDOUT(STR_Str(value)); }
