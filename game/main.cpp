// Stackmoor's entry point: the build settings, then the runtime takes over.
#include "core/lifecycle.h"

int main(int argc, char** argv) {
    DQ_RESX = 640;
    DQ_RESY = 480;
    __SetCommandLine(argc, argv);
    DQ_FULLSCREEN = 0;
    DQ_FRAMERATE = 60;
    DQ_DEBUG = 0;
    DQ_WANTMOUSE = 1;
    __RunProgram("Stackmoor");
}
