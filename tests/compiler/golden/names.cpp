// Made by tolvanec from names.bas; changes here are lost at the next build.
#include "tolvane.h"

namespace __TOLVANE__ {

double M_PI = 0;
double NAN = 0;
double INFINITY = 0;
double HUGE_VAL = 0;
double __tv_EOF = 0;
double __tv_double = 0;
double __tv_main = 0;
double __tv_std = 0;
double __tv_a_Str = 0;
::DQStr a_Str;
double __tv_errno = 0;
double __tv_stderr = 0;
::DQStr class_Str;


double __MainGameSub_() {
    ::__dLn(0, 3);
    M_PI = 3.0;
    ::__dLn(0, 4);
    NAN = 1.0;
    ::__dLn(0, 5);
    INFINITY = 2.0;
    ::__dLn(0, 6);
    HUGE_VAL = 3.0;
    ::__dLn(0, 7);
    __tv_EOF = 4.0;
    ::__dLn(0, 8);
    __tv_double = 5.0;
    ::__dLn(0, 9);
    __tv_main = 6.0;
    ::__dLn(0, 10);
    __tv_std = 7.0;
    ::__dLn(0, 11);
    __tv_a_Str = 8.0;
    ::__dLn(0, 12);
    a_Str = ::CQStr("nine");
    ::__dLn(0, 13);
    __tv_errno = 10.0;
    ::__dLn(0, 14);
    __tv_stderr = 11.0;
    ::__dLn(0, 15);
    class_Str = ::CQStr("twelve");
    ::__dLn(0, 16);
    ::PRINT(((((((((((M_PI + NAN) + INFINITY) + HUGE_VAL) + __tv_EOF) + __tv_double) + __tv_main) + __tv_std) + __tv_a_Str) + __tv_errno) + __tv_stderr), 0.0, 0.0);
    ::__dLn(0, 17);
    ::PRINT((a_Str + class_Str), 0.0, 0.0);
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    static const char* const kSourceFiles[] = {"names.bas"};
    ::__SetSourceFiles(kSourceFiles, 1);
    ::__ProgramEntry(argc, argv, ::__BuildSettings{.resx = 640, .resy = 480, .fullscreen = 0, .framerate = 60, .debug = 0, .wantMouse = 1}, "names");
}
