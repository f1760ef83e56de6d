// Made by tolvanec from order.bas; changes here are lost at the next build.
#include "tolvane.h"

namespace __TOLVANE__ {

::DQIntArray a;
double counter = 0;
::DQStr log_Str;
double x = 0;
::DQStr s_Str;
double y = 0;
double z = 0;
double w = 0;
double v = 0;
double n = 0;
double h = 0;

double F([[maybe_unused]] double v);
double Add([[maybe_unused]] double p, [[maybe_unused]] double q);
double Inc();
::DQStr Mark_Str([[maybe_unused]] ::DQStr t_Str);
double Own([[maybe_unused]] double k);

double F([[maybe_unused]] double v) {
    ::__CallDepth __depth;
    ::__dLn(0, 18);
    log_Str = (log_Str + v);
    ::__dLn(0, 19);
    return v;
    return 0;
}

double Add([[maybe_unused]] double p, [[maybe_unused]] double q) {
    ::__CallDepth __depth;
    ::__dLn(0, 23);
    return (p + q);
    return 0;
}

double Inc() {
    ::__CallDepth __depth;
    ::__dLn(0, 27);
    counter = (counter + 1.0);
    ::__dLn(0, 28);
    return counter;
    return 0;
}

::DQStr Mark_Str([[maybe_unused]] ::DQStr t_Str) {
    ::__CallDepth __depth;
    ::__dLn(0, 32);
    log_Str = (log_Str + t_Str);
    ::__dLn(0, 33);
    return log_Str;
    return ::DQStr();
}

double Own([[maybe_unused]] double k) {
    ::__CallDepth __depth;
    [[maybe_unused]] double m = 0;
    ::__dLn(0, 38);
    m = (k + Inc());
    ::__dLn(0, 39);
    {
        const double __t1 = k;
        const double __t2 = ::BOXCOLL(k, 0.0, 0.0, 1.0, 1.0, 0.0, 0.0, 1.0, 1.0);
        ::BOXCOLL(k, (__t1 + __t2), 0.0, 1.0, 1.0, 0.0, 0.0, 1.0, 1.0);
    }
    ::__dLn(0, 40);
    return m;
    return 0;
}

double __MainGameSub_() {
    ::__dLn(0, 3);
    ::DIM(a, 4.0);
    ::__dLn(0, 4);
    counter = 0.0;
    ::__dLn(0, 5);
    log_Str = ::CQStr("");
    ::__dLn(0, 6);
    {
        const double __t1 = F(1.0);
        const double __t2 = F(2.0);
        x = Add(__t1, __t2);
    }
    ::__dLn(0, 7);
    {
        const double __t3 = Inc();
        const double __t4 = Inc();
        a(__t3) = __t4;
    }
    ::__dLn(0, 8);
    {
        const ::DQStr __t5 = Mark_Str(::CQStr("a"));
        const ::DQStr __t6 = Mark_Str(::CQStr("b"));
        s_Str = (__t5 + __t6);
    }
    ::__dLn(0, 9);
    {
        const double __t7 = Inc();
        const double __t8 = counter;
        ::PUTFILE(::CQStr("f.dat"), __t7, __t8);
    }
    ::__dLn(0, 10);
    {
        const double __t9 = counter;
        const double __t10 = Inc();
        y = (__t9 * __t10);
    }
    ::__dLn(0, 11);
    z = (((counter != 0) && (Inc() != 0)) ? 1.0 : 0.0);
    ::__dLn(0, 12);
    {
        const double __t11 = counter;
        const double __t12 = Inc();
        w = (((__t11 != 0) != (__t12 != 0)) ? 1.0 : 0.0);
    }
    ::__dLn(0, 13);
    {
        const double __t13 = a(Inc());
        const double __t14 = a(Inc());
        v = (__t13 + __t14);
    }
    ::__dLn(0, 14);
    {
        const double __t15 = (2.0 * ::SIN(30.0));
        const double __t16 = ::COS(60.0);
        n = (__t15 + __t16);
    }
    ::__dLn(0, 15);
    ::GETSCREENSIZE(a(Inc()), h);
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    static const char* const kSourceFiles[] = {"order.bas"};
    ::__SetSourceFiles(kSourceFiles, 1);
    ::__ProgramEntry(argc, argv, ::__BuildSettings{.resx = 640, .resy = 480, .fullscreen = 0, .framerate = 60, .debug = 0, .wantMouse = 1}, "order");
}
