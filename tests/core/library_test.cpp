// The string library and the number commands a BASIC program calls, the date and time
// of day, arrays of any element (records), the frame timer's lower bound, and how a
// fatal error names the BASIC file and line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "core/timing.h"
#include "tolvane.h"

namespace {

std::string T(const DQStr& s) { return s.c_str(); }

}  // namespace

// Positions count from 0, as MID$ counts them; counts and positions are truncated and
// held within the text, so no argument reads outside it.
TEST(StringLibrary, PiecesSearchCaseBlanksAndReplacing) {
    const DQStr s("abcdef");
    struct Piece {
        double n;
        const char* left;
        const char* right;
    } pieces[] = {
        {2, "ab", "ef"},
        {0, "", ""},
        {-3, "", ""},
        {2.9, "ab", "ef"},
        {6, "abcdef", "abcdef"},
        {1e300, "abcdef", "abcdef"},
        {-1e300, "", ""},
        {std::nan(""), "", ""},
    };
    for (const Piece& p : pieces) {
        EXPECT_EQ(T(LEFT_Str(s, p.n)), p.left) << p.n;
        EXPECT_EQ(T(RIGHT_Str(s, p.n)), p.right) << p.n;
    }
    struct Find {
        const char* text;
        const char* find;
        double start;
        double at;
    } finds[] = {
        {"abcabc", "c", 0, 2},
        {"abcabc", "c", 3, 5},
        {"abcabc", "c", 5.9, 5},
        {"abcabc", "c", 6, -1},
        {"abcabc", "x", 0, -1},
        {"abcabc", "", 4, 4},
        {"abcabc", "", 6, 6},
        {"abcabc", "", 7, -1},
        {"abcabc", "a", -5, 0},
        {"abcabc", "a", 1e300, -1},
        {"abcabc", "b", std::nan(""), 1},
        {"", "", 0, 0},
    };
    for (const Find& f : finds)
        EXPECT_EQ(INSTR(DQStr(f.text), DQStr(f.find), f.start), f.at) << f.text << " " << f.start;
    EXPECT_EQ(INSTR(DQStr("xyz"), DQStr("z")), 2) << "the start may be left out";
    EXPECT_EQ(T(UCASE_Str(DQStr("Mixed 1 \xE9t\xE9"))), "MIXED 1 \xE9T\xE9") << "bytes beyond ASCII stay";
    EXPECT_EQ(T(LCASE_Str(DQStr("MiXeD_Z"))), "mixed_z");
    const DQStr padded(" \t left and right \r\n");
    EXPECT_EQ(T(TRIM_Str(padded)), "left and right");
    EXPECT_EQ(T(LTRIM_Str(padded)), "left and right \r\n");
    EXPECT_EQ(T(RTRIM_Str(padded)), " \t left and right");
    EXPECT_EQ(T(TRIM_Str(DQStr("   "))), "");
    struct Replace {
        const char* text;
        const char* find;
        const char* with;
        const char* out;
    } replaces[] = {
        {"a-b-c", "-", "+", "a+b+c"}, {"aaaa", "aa", "b", "bb"}, {"aaa", "aa", "aab", "aaba"},
        {"abc", "", "x", "abc"},      {"abc", "abc", "", ""},    {"abc", "d", "e", "abc"},
    };
    for (const Replace& r : replaces) EXPECT_EQ(T(REPLACE_Str(DQStr(r.text), DQStr(r.find), DQStr(r.with))), r.out);
    // A result longer than a string holds is cut, never overrun.
    const DQStr many(std::string(1000, 'x').c_str());
    EXPECT_EQ(LEN(REPLACE_Str(many, DQStr("x"), DQStr("yy"))), 1023);
    EXPECT_EQ(T(STR_Str(0.05)), "5.e-002");
    EXPECT_EQ(T(STR_Str(-2.5)), "-2.5");
    EXPECT_EQ((std::vector{VAL(DQStr(" -3.5e2x")), VAL(DQStr("abc")), VAL(DQStr("0x10"))}),
              (std::vector<double>{-350, 0, 0}));
}

TEST(StringLibrary, SplitstrDimsTheArrayToItsPieces) {
    DQStrArray parts;
    struct Split {
        const char* text;
        const char* sep;
        std::vector<std::string> pieces;
    } splits[] = {
        {"a,b,c", ",", {"a", "b", "c"}}, {"a,,b,", ",", {"a", "", "b", ""}}, {"one", ",", {"one"}},
        {"a::b", "::", {"a", "b"}},      {"abc", "", {"a", "b", "c"}},       {"", ",", {}},
    };
    for (const Split& s : splits) {
        DIM(parts, 50);
        parts(40) = CQStr("old");
        EXPECT_EQ(SPLITSTR(DQStr(s.text), DQStr(s.sep), parts), static_cast<double>(s.pieces.size())) << s.text;
        EXPECT_EQ(BOUNDS(parts, 0), std::max<double>(1, s.pieces.size())) << "DIMmed anew: " << s.text;
        for (size_t i = 0; i < s.pieces.size(); ++i) EXPECT_EQ(T(parts(i)), s.pieces[i]) << s.text;
    }
    // The longest text in one-character pieces.
    EXPECT_EQ(SPLITSTR(DQStr(std::string(1023, 'z').c_str()), DQStr(""), parts), 1023);
}

TEST(NumberCommands, TruncIntMinMaxSgnRgb) {
    struct Row {
        double got, want;
    } rows[] = {
        {TRUNC(-2.7), -2},
        {TRUNC(2.7), 2},
        {INT(-2.7), -3},
        {INT(2.7), 2},
        {INT(-3), -3},
        {INT(1e300), 1e300},
        {MIN(3, 4), 3},
        {MIN(4, 3), 3},
        {MAX(3, 4), 4},
        {MAX(-1, -2), -1},
        {SGN(-0.1), -1},
        {SGN(0), 0},
        {SGN(7), 1},
        {SGN(std::nan("")), 0},
        {RGB(255, 0, 0), 0x0000FF},
        {RGB(0, 0, 255), 0xFF0000},
        {RGB(1, 2, 3), 1 + 2 * 256 + 3 * 65536},
        {RGB(300, -5, 128.9), 255 + 128 * 65536},
        {RGB(std::nan(""), 1e300, -1e300), 255 * 256},
    };
    for (const Row& r : rows) EXPECT_EQ(r.got, r.want);
    // Never a negative zero, which would print as "-0".
    for (double v : {TRUNC(-0.5), INT(-0.0), TRUNC(-0.0)}) EXPECT_FALSE(std::signbit(v));
}

// GETTIMER is at least 1, also right after a frame stamp less than a millisecond old.
TEST(Timer, GettimerIsAtLeastOneMillisecond) {
    for (double age : {0.0, 0.1, 0.5, 0.999}) {
        __g_LastTime = __ClockMs() - age;
        EXPECT_GE(GETTIMER(), 1) << age;
    }
    __g_LastTime = __ClockMs() - 500;
    EXPECT_GE(GETTIMER(), 500);
}

// DATE$ and TIME$ give the local date and time of day as the C library formats them,
// at a moment between two readings of the clock (so a second boundary between them
// cannot fail the test), in the time zone set for the program.
TEST(Clock, DateAndTimeAreTheLocalOnesInTheirFormat) {
    auto local = [](std::time_t t, const char* format) {
        std::tm tm{};
        localtime_r(&t, &tm);
        char text[32];
        std::strftime(text, sizeof text, format, &tm);
        return std::string(text);
    };
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    // The machine's zone, then UTC-9 and UTC+5, where a time read in UTC is wrong.
    for (const char* tz : {"", "<-09>9", "<+05>-5"}) {
        if (*tz) setenv("TZ", tz, 1);
        tzset();
        const std::time_t before = std::time(nullptr);
        const std::string date = T(DATE_Str()), time = T(TIME_Str());
        const std::time_t after = std::time(nullptr);
        EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]))"))) << date;
        EXPECT_TRUE(std::regex_match(time, std::regex(R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d)"))) << time;
        EXPECT_TRUE(time == local(before, "%H:%M:%S") || time == local(after, "%H:%M:%S")) << tz << " " << time;
        EXPECT_TRUE(date == local(before, "%Y-%m-%d") || date == local(after, "%Y-%m-%d")) << tz << " " << date;
    }
    oldTz ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

// Arrays of any element: copies hold their own elements; an index is cut toward zero
// before it is tested.
TEST(Arrays, CopiesOfAnyElementAndIndexesCutBeforeTheirTest) {
    struct Rec {
        double x = 0;
        DQStr name;
        DQIntArray hits;
    };
    __DQArray<Rec> fleet;
    fleet.Dim(3, 2);
    fleet(2, 1).x = 5;
    fleet(2, 1).name = CQStr("five");
    DIM(fleet(2, 1).hits, 4);
    fleet(2, 1).hits(3) = 9;
    __DQArray<Rec> copy = fleet;
    fleet(2, 1).hits(3) = 1;
    fleet(2, 1).name = CQStr("changed");
    EXPECT_EQ(copy(2, 1).x, 5);
    EXPECT_EQ(T(copy(2, 1).name), "five");
    EXPECT_EQ(copy(2, 1).hits(3), 9);
    EXPECT_EQ(BOUNDS(copy, 0) + BOUNDS(copy, 1), 5);
    DQStrArray words, empty;
    DIM(words, 2);
    words(1) = CQStr("b");
    words = words;  // a copy onto itself keeps it
    EXPECT_EQ(T(words(1)), "b");
    words = empty;  // a copy of an array never dimensioned is one as well
    EXPECT_EQ(words.DimensionCount(), -1);
    DQIntArray a;
    DIM(a, 4);
    a(-0.5) = 7;
    a(3.99) = 8;
    EXPECT_EQ(a(0), 7);
    EXPECT_EQ(a(3), 8);
}

TEST(ArraysDeathTest, EveryIndexOutOfRangeAfterTheCutEnds) {
    EXPECT_EXIT(
        {
            DQIntArray a;
            DIM(a, 4);
            a(-1);
        },
        testing::ExitedWithCode(9), "runtime error 9");
    EXPECT_EXIT(
        {
            DQIntArray a;
            DIM(a, 4);
            a(-1.0001);
        },
        testing::ExitedWithCode(9), "runtime error 9");
    EXPECT_EXIT(
        {
            DQIntArray a;
            DIM(a, 4);
            a(4);
        },
        testing::ExitedWithCode(9), "runtime error 9");
    EXPECT_EXIT(
        {
            __DQArray<DQStrArray> a;
            a(0);
        },
        testing::ExitedWithCode(8), "runtime error 8");
}

// A fatal error's one line names the BASIC file and line when the program named its
// files, else the line alone.
TEST(FatalErrorDeathTest, NamesTheBasicFileAndLine) {
    static const char* const kFiles[] = {"main.bas", "lib/grid.bas"};
    EXPECT_EXIT(
        {
            __SetSourceFiles(kFiles, 2);
            __dLn(1, 12);
            DQIntArray a;
            DIM(a, 2);
            a(5);
        },
        testing::ExitedWithCode(9), "Tolvane: runtime error 9 \\(array index out of range\\) at lib/grid\\.bas:12");
    EXPECT_EXIT(
        {
            __SetSourceFiles(kFiles, 2);
            __dLn(7, 3);  // a file the program did not name
            __FatalError(3);
        },
        testing::ExitedWithCode(3), "Tolvane: runtime error 3 \\(a file cannot be read\\) in line 3");
    EXPECT_EXIT(
        {
            __SetSourceFiles(kFiles, 2);
            __dLn(0, 40);
            struct Deep {
                static int Call(int n) {
                    __CallDepth depth;
                    return n < 1000000 ? Call(n + 1) + 1 : 0;
                }
            };
            Deep::Call(0);
        },
        testing::ExitedWithCode(7), "Tolvane: runtime error 7 \\(SUBs nested too deeply\\) at main\\.bas:40");
}
