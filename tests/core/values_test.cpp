// The values of the BASIC world: strings, numbers and arrays.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/arrays.h"
#include "core/dqstr.h"
#include "tolvane.h"
#include "core/math.h"
#include "core/random.h"

namespace {

std::string T(const DQStr& s) { return s.c_str(); }
std::string N(double v) { return T(DQStr(v)); }

// Ten significant digits, rounded half away from zero; the exponent form outside
// the fixed range. The notation follows the unrounded number: a carry past the
// tenth digit keeps fixed notation with one digit more, and the exponent form
// stays for numbers that already need it.
TEST(NumberText, TenSignificantDigitsFixedOrExponentAndBack) {
    struct Row { double v; const char* text; } rows[] = {
        {3, "3"}, {2.5, "2.5"}, {-0.25, "-0.25"}, {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.3333333333"}, {2.0 / 3, "0.6666666667"}, {123456.789, "123456.789"},
        {9999999999.0, "9999999999"}, {-9999999999.0, "-9999999999"}, {0, "0"}, {-0.0, "0"},
        {100, "100"}, {1.23456789049, "1.23456789"}, {1.23456789051, "1.234567891"},
        {-1.23456789051, "-1.234567891"}, {0.99999999996, "1"}, {9.99999999996, "10"},
        {9999999999.5, "10000000000"}, {-9999999999.6, "-10000000000"}, {99999.9999999, "100000"},
        {0.099999999996, "1.e-001"}, {9.99999999996e15, "1.e+016"},
        {1e10, "1.e+010"}, {12345678901.0, "1.23456789e+010"}, {0.05, "5.e-002"},
        {0.0123, "1.23e-002"}, {0.001, "1.e-003"}, {-2.5e-7, "-2.5e-007"}, {1e300, "1.e+300"},
        {6.02214076e23, "6.02214076e+023"},
    };
    for (const Row& r : rows) EXPECT_EQ(N(r.v), r.text) << r.v;
    DQStr a, b;  // from integers, floats, and assigned
    a = 12.5;
    b = 3;
    EXPECT_EQ((std::vector{T(DQStr(-42)), T(DQStr(7.0f)), T(DQStr(0.1f)), T(a), T(b)}),
              (std::vector<std::string>{"-42", "7", "0.1000000015", "12.5", "3"}));
    // Text to number: the leading number only; hex, infinity and nan spellings read as 0.
    struct Back { const char* text; double v; } backs[] = {
        {"12abc", 12}, {" -3.5e2", -350}, {"\t\n+7.25", 7.25}, {".5", 0.5}, {"5.", 5},
        {"1e", 1}, {"2e+", 2}, {"3E-2x", 0.03}, {"abc", 0}, {"", 0}, {"-", 0}, {".", 0},
        {"0x1A", 0}, {"inf", 0}, {"-infinity", 0}, {"nan", 0}, {"1e999", HUGE_VAL}, {"1e-999", 0},
    };
    for (const Back& r : backs) EXPECT_EQ(DQStr(r.text).Number(), r.v) << r.text;
    EXPECT_EQ(CQStr("42").Number(), 42);
}

// Every arithmetic operator joins texts; comparisons give "1" or "0", as texts when
// both sides are texts, else as numbers; compound assignments append.
TEST(StringOperators, JoinCompareAndAppend) {
    DQStr a("a"), b("b");
    const double nan = std::nan("");
    struct Row { DQStr got; const char* want; } rows[] = {
        {a - 1, "a1"}, {2 * b, "2b"}, {CQStr("2") + 2, "22"}, {a / 0.5, "a0.5"}, {1.5 ^ b, "1.5b"}, {a + b, "ab"},
        {CQStr("x") + CQStr("y"), "xy"}, {a * CQStr("c"), "ac"}, {2.0f + a, "2a"},
        {CQStr("10") < CQStr("9"), "1"}, {10 < CQStr("9"), "0"}, {5 < DQStr("10"), "1"}, {DQStr("abc") == 0, "1"},
        {DQStr("abc") != DQStr("abd"), "1"}, {DQStr("ab") < DQStr("abc"), "1"},
        {DQStr("\xC8") > DQStr("a"), "1"},  // bytes compare unsigned
        {DQStr("3") >= 3.0, "1"}, {DQStr("3") <= 2, "0"},
        {DQStr("1") == nan, "0"}, {DQStr("1") < nan, "0"}, {DQStr("1") != nan, "1"},
    };
    for (const Row& r : rows) EXPECT_EQ(T(r.got), r.want);
    DQStr s("x");
    s -= 3;
    s ^= CQStr("y");
    EXPECT_EQ(T(s), "x3y");
    s *= 0.25;
    s /= DQStr("z");
    s += "!";
    EXPECT_EQ(T(s), "x3y0.25z!");
}

TEST(StringMembers, CompareTrimAndAccess) {
    DQStr s("ab \r\n"), high("x\xE9");
    s.TrimRight();
    high.TrimRight();  // bytes 128-255 read as negative and go too
    EXPECT_EQ(T(s), "ab ");
    EXPECT_EQ(T(high), "x");
    for (auto [v, sign] : {std::pair{4.0, 1}, {6.0, -1}, {5.0, 0}}) EXPECT_EQ(DQStr("5").Compare(v), sign) << v;
    EXPECT_GT(DQStr("b").Compare("a"), 0);
    DQStr t("hello");
    t.Left(2);
    EXPECT_EQ(t.GetAt(5000), 0);
    t.SetAt(5000, 'x');  // outside the buffer: ignored
    t.Left(-1);
    EXPECT_EQ(T(t), "he");
    DQStr p("a\\b\\c");
    ReverseSlashes(p);
    EXPECT_EQ(T(p), "a/b/c");
}

// Every write is cut to 1023 characters. FORMAT$ rounds half away from zero, prints
// digits past the 17th significant one as 0, and no decimals for negative counts.
TEST(StringCommands, LimitsLenMidChrAscFormat) {
    DQStr big(std::string(3000, 'x').c_str()), more = big;
    more += CQStr("more");
    for (const DQStr& t :
         {big, more, big + big, FORMAT_Str(5000, 2, 1), FORMAT_Str(-5000, 2, 1), FORMAT_Str(0, 3000, 1)})
        EXPECT_EQ(LEN(t), 1023);
    EXPECT_EQ((std::vector{LEN(12.5), LEN(0.1), LEN(1e10), LEN(DQStr(""))}), (std::vector<double>{4, 3, 7, 0}));
    DQStr s("abcdef");
    struct Row { double from, count; const char* text; } mids[] = {
        {2, 3, "cde"}, {4, 10, "ef"}, {6, 1, ""}, {0, -5, ""}, {1.9, 2, "bc"}, {-1, 3, ""},
        {7, 3, ""}, {0, 1e300, "abcdef"}, {1e300, 1e300, ""}, {std::nan(""), 2, ""},
    };
    for (const Row& r : mids) EXPECT_EQ(T(MID_Str(s, r.from, r.count)), r.text) << r.from << " " << r.count;
    EXPECT_EQ((std::vector{T(CHR_Str(65)), T(CHR_Str(321)), T(CHR_Str(0)), T(CHR_Str(512))}),
              (std::vector<std::string>{"A", "A", "", ""}));
    EXPECT_EQ((std::vector{ASC(CHR_Str(200)), ASC(DQStr("")), ASC(DQStr("A"))}), (std::vector<double>{-56, 0, 65}));
    struct Format { double width, decimals, v; const char* text; } formats[] = {
        {8, 2, 3.14159, "    3.14"}, {0, 0, 2.5, "3"}, {0, 0, -2.5, "-3"}, {-6, 1, 1.25, "1.3   "},
        {0, 2, 0.125, "0.13"}, {0, 2, 99.995, "100.00"}, {0, 3, 0, "0.000"}, {0, 2, -0.001, "-0.00"},
        {0, 0, 1e20, "100000000000000000000"}, {0, 20, 0.1, "0.10000000000000001000"},
        {0, 0, 123456789012345678901.0, "123456789012345680000"}, {3, -2, 7.6, "  8"},
    };
    for (const Format& r : formats) EXPECT_EQ(T(FORMAT_Str(r.width, r.decimals, r.v)), r.text) << r.v;
}

TEST(Math, DegreesWithTheFixedConstantAndIntegerRemainders) {
    struct Row { double got, want, tol; } rows[] = {
        {SIN(90), 1, 1e-9}, {COS(180), -1, 1e-9}, {TAN(45), 1, 1e-8},
        {ATAN(0, -1), 180, 1e-6}, {ATAN(-1, 0), -90, 1e-6},
        {ATAN(1, 0), 89.99999997945034, 1e-12},  // the constant is 57.2957795 exactly, not 180 / pi
        {ASIN(1.5), 90, 0}, {ASIN(-2), -90, 0}, {ACOS(1), 0, 0}, {ACOS(-1), 180, 0},
        {ASIN(0.5), 30, 1e-6}, {ACOS(0.5), 60, 1e-6},
        {MOD(5, 0), 0, 0}, {MOD(-7, 3), -1, 0}, {MOD(7, -3), 1, 0}, {MOD(7.9, 2.5), 1, 0},
        {MOD(5, 0.5), 0, 0}, {MOD(10, 5), 0, 0},
        // Outside the 32-bit range: the exact remainder of the truncated operands.
        {MOD(1e10 + 7, 10), 7, 0}, {MOD(-2147483648.0, -1), 0, 0}, {MOD(5, 1e12), 5, 0},
        {MOD(HUGE_VAL, 3), 0, 0}, {MOD(std::nan(""), 3), 0, 0},
        {SQR(16), 4, 0}, {ABS(-3.5), 3.5, 0}, {ABS(2), 2, 0}, {POW(2, 10), 1024, 0},
    };
    for (const Row& r : rows) EXPECT_NEAR(r.got, r.want, r.tol);
    EXPECT_FALSE(std::signbit(MOD(-2147483648.0, -1)));
    EXPECT_TRUE(std::isnan(SQR(-1)));
    EXPECT_TRUE(std::isnan(ABS(std::nan(""))));
}

TEST(Random, ClockSeedAndTheRangeOfRnd) {
    // The seed is the low 32 bits of the milliseconds: past 2^31 ms of uptime every
    // run still seeds differently.
    for (auto [ms, seed] : {std::pair{1234.9, 1234u}, {3e9, 3000000000u}, {5e12, 658067456u}, {5e12 + 1, 658067457u}})
        EXPECT_EQ(__ClockSeed(ms), seed) << ms;
    // RND(n) gives every whole number from 0 to n (n truncated), mirrored for n < 0.
    KWsrand(99);
    struct Row { double n, lo, hi; } rows[] = {{0, 0, 0}, {5, 0, 5}, {2.9, 0, 2}, {1, 0, 1}, {-3, -3, 0}, {-1, -1, 0}};
    for (const Row& row : rows) {
        std::set<double> seen;
        for (int i = 0; i < 2000; ++i) seen.insert(RND(row.n));
        EXPECT_EQ(*seen.begin(), row.lo) << row.n;
        EXPECT_EQ(*seen.rbegin(), row.hi) << row.n;
        EXPECT_EQ(seen.size(), static_cast<size_t>(row.hi - row.lo + 1)) << row.n;  // so whole numbers only
    }
}

// RANDOMIZE starts the sequence afresh from the seed alone, whatever was drawn before;
// the seed is truncated and kept modulo 2^32 (saturating beyond 64 bits, NaN as 0).
TEST(Random, RandomizeRepeatsTheSequenceOfItsSeed) {
    auto draws = [](double seed, int burn) {
        RANDOMIZE(seed);
        std::vector<double> v;
        for (int i = 0; i < 6; ++i) v.push_back(RND(1000000));
        for (int i = 0; i < burn; ++i) RND(5);
        return v;
    };
    const std::vector<double> seven = draws(7, 3);
    EXPECT_EQ(draws(7, 0), seven);  // after other draws, the same numbers again
    EXPECT_NE(draws(8, 0), seven);
    // At program start the generator is seeded from a clean state; RANDOMIZE is alike.
    __g_ctx = {};
    KWsrand(7);
    std::vector<double> start;
    for (int i = 0; i < 6; ++i) start.push_back(RND(1000000));
    EXPECT_EQ(start, seven);
    for (auto [given, same] : {std::pair{2.9, 2.0},
                               {-0.5, 0.0},
                               {-1, 4294967295.0},
                               {4294967296.0 + 7, 7},
                               {-4294967296.0 + 7, 7},
                               {1e30, 4294967295.0},
                               {std::nan(""), 0}})
        EXPECT_EQ(draws(given, 1), draws(same, 0)) << given;
    EXPECT_NE(draws(-1, 0), draws(1, 0));
}

TEST(Dim, ShapesBoundsAndTruncatedIndexes) {
    DQIntArray a;
    DQStrArray s;
    auto shape = [&] { return std::pair(a.ElementCount(), a.DimensionCount()); };
    DIM(a, 0);
    EXPECT_EQ(shape(), std::pair(1, 1));
    DIM(a, 2, 0, 0, 4);
    EXPECT_EQ(shape(), std::pair(8, 4));
    DIM(a, 10, 5);
    EXPECT_EQ(shape(), std::pair(50, 2));
    a(9, 4) = 49;
    a(0, 1) = 10;
    EXPECT_EQ(std::pair(a(9.99, 4.5), a(0, 1)), std::pair(49.0, 10.0));  // indexes truncated after the range test
    DIM(a, 2.7);
    a(1.9) = 7;
    EXPECT_EQ(std::pair(a.ElementCount(), a(1)), std::pair(2, 7.0));
    DIM(a, 3, 0.5);  // a size below 1 counts as a dimension of size 0
    a(2, 0.5) = 1;
    EXPECT_EQ(std::tuple(a.ElementCount(), a.DimensionCount(), BOUNDS(a, 1)), std::tuple(3, 2, 0.0));
    DIM(a, 4);
    DIM(s, 3, 7);
    EXPECT_EQ((std::vector{BOUNDS(a, 0), BOUNDS(a, 1), BOUNDS(a, 8), BOUNDS(a, -1), BOUNDS(s, 1.9)}),
              (std::vector<double>{4, 0, 0, 0, 7}));
    a(3) = 5;
    s(2, 6) = CQStr("x");
    EXPECT_STREQ(s(2, 6).c_str(), "x");
    DIM(a, 4);  // dimensioning again clears
    DIM(s, 3, 7);
    EXPECT_EQ(a(3), 0);
    EXPECT_STREQ(s(2, 6).c_str(), "");
    // Eight dimensions, the first index fastest.
    DIM(a, 2, 2, 2, 2, 2, 2, 2, 2);
    EXPECT_EQ(shape(), std::pair(256, 8));
    a(1, 0, 1, 0, 1, 0, 1, 1) = 3;
    a(0, 0, 0, 0, 0, 0, 0, 1) = 9;
    EXPECT_EQ((std::vector{a(1, 0, 1, 0, 1, 0, 1, 1), a(0, 0, 0, 0, 0, 0, 0, 1), a(1, 1, 1, 1, 1, 1, 1, 0)}),
              (std::vector<double>{3, 9, 0}));
}

// The list grows to 512 elements at once, then by 128 at a time.
TEST(Queue, KeepsItsElementsAsItGrows) {
    Queue<DQStr> q;
    q.Add(DQStr("first"));
    for (int i = 1; i < 512; ++i) q.Add(DQStr(i));
    q.Add(DQStr("513th"));
    EXPECT_EQ(q.Count(), 513);
    for (auto [i, text] : {std::pair{0, "first"}, {511, "511"}, {512, "513th"}, {513, ""}, {-1, ""}})
        EXPECT_STREQ(q[i].c_str(), text) << i;
}

// Leaves the process 2 GB of address space beyond what it holds now.
void LimitAddressSpace() {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{2} << 30);
    rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
}

// Array errors end the program with their code as the exit status and name it:
// 9 for an index outside its dimension (also a non-zero index into an empty or
// missing one), 8 for an array never dimensioned, 7 for a size beyond 32 bits or
// beyond memory.
TEST(ArrayErrorsDeathTest, EndWithTheirCode) {
    struct Row { int code; void (*run)(); } rows[] = {
        {9, [] { DQIntArray a; DIM(a, 10, 5); a(10, 0); }},
        {9, [] { DQIntArray a; DIM(a, 10, 5); a(0, 5); }},
        {9, [] { DQIntArray a; DIM(a, 10, 5); a(-1, 0); }},
        {9, [] { DQIntArray a; DIM(a, 2.7); a(2); }},
        {9, [] { DQIntArray a; DIM(a, 4); a(__builtin_nan("")); }},
        {9, [] { DQIntArray a; DIM(a, 3, 0.5); a(0, 1); }},
        {9, [] { DQIntArray a; DIM(a, 3); a(0, 0, 2); }},
        {9, [] { DQIntArray a; DIM(a, 3, -2); a(0, 0); }},
        {8, [] { DQIntArray a; a(0); }},
        {8, [] { DQStrArray s; s(3); }},
        {7, [] { DQIntArray a; DIM(a, 100000, 100000); }},
        {7, [] { DQIntArray a; DIM(a, 1e300); }},
        {7, [] { DQIntArray a; DIM(a, 2, __builtin_inf()); }},
        // The block of ten million strings fits, their 1024-byte buffers (10 GB) do not.
        {7, [] { LimitAddressSpace(); DQStrArray s; DIM(s, 1e7); }},
    };
    for (const Row& r : rows)
        EXPECT_EXIT(r.run(), testing::ExitedWithCode(r.code), "runtime error " + std::to_string(r.code));
}

}  // namespace
