// Made by tolvanec from consts.bas; changes here are lost at the next build.
#include "tolvane.h"

namespace __TOLVANE__ {

extern const double COLUMNS = 10.0;
extern const double ROWS = 7.0;
extern const double CELLS = 70.0;
extern const double HALF = 35.0;
extern const double POWER = 1024.0;
extern const double REMAINDER = -1.0;
extern const double BOTH = 1.0;
extern const ::CQStr TITLE_Str = "Stackmoor";
extern const ::CQStr LESS_Str = "1";

struct __tvt_Grid {
    ::DQIntArray cell;
    __tvt_Grid() { cell.Dim(10.0, 7.0); }
};

__tvt_Grid g;


double __MainGameSub_() {
    ::__dLn(0, 10);
    g = __tvt_Grid();
    ::__dLn(0, 11);
    g.cell((10.0 - 1.0), (7.0 - 1.0)) = ((((70.0 + 35.0) + 1024.0) + -1.0) + 1.0);
    ::__dLn(0, 12);
    ::PRINT((::CQStr("Stackmoor") + ::CQStr("1")), 0.0, 0.0);
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    static const char* const kSourceFiles[] = {"consts.bas"};
    ::__SetSourceFiles(kSourceFiles, 1);
    ::__ProgramEntry(argc, argv, ::__BuildSettings{.resx = 640, .resy = 480, .fullscreen = 0, .framerate = 60, .debug = 0, .wantMouse = 1}, "consts");
}
