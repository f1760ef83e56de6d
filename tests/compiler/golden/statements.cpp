// Made by tolvanec from statements.bas; changes here are lost at the next build.
#include "tolvane.h"

namespace __TOLVANE__ {

double i = 0;
double total = 0;
double k = 0;
::DQStr w_Str;

double Half([[maybe_unused]] double v);

double Half([[maybe_unused]] double v) {
    ::__CallDepth __depth;
    ::__dLn(1, 2);
    return ::TRUNC((v / 2.0));
    return 0;
}

double __MainGameSub_() {
    ::__dLn(0, 3);
    {
        const double __from1 = 10.0;
        const double __to1 = 0.0;
        const double __step1 = (-2.0);
        i = __from1;
        for (; __step1 >= 0 ? i <= __to1 : i >= __to1; i += __step1) {
            ::__Cp();
            ::__dLn(0, 4);
            if ((i == 4.0)) {
                ::__dLn(0, 5);
                continue;
            } else if ((::__dLn(0, 6), (i < 2.0))) {
                ::__dLn(0, 7);
                break;
            } else {
                ::__dLn(0, 9);
                total = (total + i);
            }
        }
    }
    ::__dLn(0, 12);
    while ((::__dLn(0, 12), (total > 0.0))) {
        ::__Cp();
        ::__dLn(0, 13);
        {
            const double __t2 = total;
            const double __t3 = Half(total);
            total = ((__t2 - __t3) - 1.0);
        }
    }
    ::__dLn(0, 15);
    do {
        ::__Cp();
        ::__dLn(0, 16);
        k = (k + 1.0);
    } while ((::__dLn(0, 17), !(k >= 3.0)));
    ::__dLn(0, 18);
    {
        const double __sel4 = k;
        if ((::__dLn(0, 19), (__sel4 == 1.0) || (__sel4 == 2.0))) {
            ::__dLn(0, 20);
            w_Str = ::CQStr("small");
        } else if ((::__dLn(0, 21), ((__sel4 >= 3.0) && (__sel4 <= 5.0)))) {
            ::__dLn(0, 22);
            w_Str = ::CQStr("middle");
        } else {
            ::__dLn(0, 24);
            w_Str = ::CQStr("large");
        }
    }
    ::__dLn(0, 26);
    {
        const ::DQStr __sel5(w_Str);
        (void)__sel5;
        if ((::__dLn(0, 27), ((__sel5 == ::CQStr("middle")).Number() != 0))) {
            ::__dLn(0, 28);
            ::END();
        }
    }
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    static const char* const kSourceFiles[] = {"statements.bas", "statements_lib.bas"};
    ::__SetSourceFiles(kSourceFiles, 2);
    ::__ProgramEntry(argc, argv, ::__BuildSettings{.resx = 320, .resy = 200, .fullscreen = 0, .framerate = 30, .debug = 0, .wantMouse = 0}, "Statements");
}
