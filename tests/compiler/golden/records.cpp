// Made by tolvanec from records.bas; changes here are lost at the next build.
#include "tolvane.h"

namespace __TOLVANE__ {

struct __tvt_Part {
    ::DQStr kind_Str;
    double size = 0;
};

struct __tvt_Ship {
    double x = 0;
    ::DQStr name_Str;
    ::DQIntArray hits;
    ::DQStrArray names_Str;
    ::__DQArray<__tvt_Part> parts;
    __tvt_Part core;
    __tvt_Ship() { hits.Dim(4.0); names_Str.Dim(2.0, 3.0); parts.Dim(3.0); }
};

__tvt_Ship s;
::__DQArray<__tvt_Ship> fleet;
double t = 0;
double n = 0;

__tvt_Ship Moved([[maybe_unused]] __tvt_Ship p, [[maybe_unused]] double dx);
double Repair([[maybe_unused]] ::__DQArray<__tvt_Ship>& all);

__tvt_Ship Moved([[maybe_unused]] __tvt_Ship p, [[maybe_unused]] double dx) {
    ::__CallDepth __depth;
    ::__dLn(0, 29);
    p.x = (p.x + dx);
    ::__dLn(0, 30);
    return p;
    return __tvt_Ship();
}

double Repair([[maybe_unused]] ::__DQArray<__tvt_Ship>& all) {
    ::__CallDepth __depth;
    [[maybe_unused]] __tvt_Part spare;
    ::__dLn(0, 34);
    ::__dLn(0, 35);
    spare.kind_Str = ::CQStr("spare");
    ::__dLn(0, 36);
    all(0.0).core = spare;
    return 0;
}

double __MainGameSub_() {
    ::__dLn(0, 16);
    s = __tvt_Ship();
    ::__dLn(0, 17);
    fleet.Dim(10.0);
    ::__dLn(0, 18);
    s.x = 5.0;
    ::__dLn(0, 19);
    s.hits(2.0) = (s.x + 1.0);
    ::__dLn(0, 20);
    s.parts(1.0).kind_Str = ::CQStr("hull");
    ::__dLn(0, 21);
    fleet(2.0) = s;
    ::__dLn(0, 22);
    t = Moved(fleet(2.0), 3.0).x;
    ::__dLn(0, 23);
    ::DIM(s.hits, 8.0);
    ::__dLn(0, 24);
    s = __tvt_Ship();
    ::__dLn(0, 25);
    {
        const double __t1 = ::BOUNDS(fleet, 0.0);
        const double __t2 = ::BOUNDS(s.hits, 0.0);
        n = (__t1 + __t2);
    }
    ::__dLn(0, 26);
    Repair(fleet);
    return 0;
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    static const char* const kSourceFiles[] = {"records.bas"};
    ::__SetSourceFiles(kSourceFiles, 1);
    ::__ProgramEntry(argc, argv, ::__BuildSettings{.resx = 640, .resy = 480, .fullscreen = 0, .framerate = 60, .debug = 0, .wantMouse = 1}, "records");
}
