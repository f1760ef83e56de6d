#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "core/arrays.h"
#include "core/program.h"

namespace {

using testing::ExitedWithCode;

TEST(Dim, SizesStridesAndDimensionCount) {
    DQIntArray a;
    EXPECT_EQ(a.DimensionCount(), -1);
    DIM(a, 0);
    EXPECT_EQ(a.ElementCount(), 1);
    EXPECT_EQ(a.DimensionCount(), 1);

    DIM(a, 10, 5);
    EXPECT_EQ(a.ElementCount(), 50);
    EXPECT_EQ(a.DimensionCount(), 2);
    a(9, 4) = 49;
    a(0, 1) = 10;
    EXPECT_EQ(a(9, 4), 49);
    EXPECT_EQ(a(0, 1), 10);
    EXPECT_EQ(a(9.99, 4.5), 49);  // indexes are truncated after the range test

    DIM(a, 2.7);
    EXPECT_EQ(a.ElementCount(), 2);
    a(1.9) = 7;
    EXPECT_EQ(a(1), 7);

    DIM(a, 3, 0.5);  // a size below 1 counts as a dimension of size 0
    EXPECT_EQ(a.ElementCount(), 3);
    EXPECT_EQ(a.DimensionCount(), 2);
    EXPECT_EQ(BOUNDS(a, 1), 0);
    a(2, 0.5) = 1;

    DIM(a, 2, 0, 0, 4);
    EXPECT_EQ(a.DimensionCount(), 4);
    EXPECT_EQ(a.ElementCount(), 8);

    DIM(a, 4);
    EXPECT_EQ(BOUNDS(a, 0), 4);
    EXPECT_EQ(BOUNDS(a, 1), 0);
    EXPECT_EQ(BOUNDS(a, 8), 0);
    EXPECT_EQ(BOUNDS(a, -1), 0);
    DQStrArray s;
    DIM(s, 3, 7);
    EXPECT_EQ(BOUNDS(s, 1.9), 7);
}

TEST(Dim, RedimensionClearsContents) {
    DQIntArray a;
    DIM(a, 4);
    a(3) = 5;
    DIM(a, 4);
    EXPECT_EQ(a(3), 0);
    DQStrArray s;
    DIM(s, 2, 2);
    s(1, 1) = CQStr("x");
    EXPECT_STREQ(s(1, 1).c_str(), "x");
    DIM(s, 2, 2);
    EXPECT_STREQ(s(1, 1).c_str(), "");
}

TEST(Dim, EightDimensionsAddressFirstIndexFastest) {
    DQIntArray a;
    DIM(a, 2, 2, 2, 2, 2, 2, 2, 2);
    EXPECT_EQ(a.ElementCount(), 256);
    EXPECT_EQ(a.DimensionCount(), 8);
    a(1, 0, 1, 0, 1, 0, 1, 1) = 3;
    EXPECT_EQ(a(1, 0, 1, 0, 1, 0, 1, 1), 3);
    a(0, 0, 0, 0, 0, 0, 0, 1) = 9;
    EXPECT_EQ(a(0, 0, 0, 0, 0, 0, 0, 1), 9);
    EXPECT_EQ(a(1, 1, 1, 1, 1, 1, 1, 0), 0);
}

TEST(Queue, GrowsTo512ThenBy128) {
    Queue<DQStr> q;
    EXPECT_EQ(q.Capacity(), 0);
    q.Add(DQStr("first"));
    EXPECT_EQ(q.Capacity(), 512);
    for (int i = 1; i < 512; ++i) q.Add(DQStr(i));
    EXPECT_EQ(q.Capacity(), 512);
    q.Add(DQStr("513th"));
    EXPECT_EQ(q.Capacity(), 640);
    EXPECT_EQ(q.Count(), 513);
    EXPECT_STREQ(q[0].c_str(), "first");
    EXPECT_STREQ(q[511].c_str(), "511");
    EXPECT_STREQ(q[512].c_str(), "513th");
    EXPECT_STREQ(q[513].c_str(), "");
}

// Array errors end the program with their code as the exit status and name it:
// 9 for an index outside its dimension (also a non-zero index into an empty or
// missing one), 8 for an array never dimensioned, 7 for a size beyond 32 bits.
TEST(ArrayErrorsDeathTest, EndWithTheirCode) {
    struct Row { int code; void (*run)(); } rows[] = {
        {9, [] { DQIntArray a; DIM(a, 10, 5); a(10, 0); }},
        {9, [] { DQIntArray a; DIM(a, 10, 5); a(0, 5); }},
        {9, [] { DQIntArray a; DIM(a, 10, 5); a(-1, 0); }},
        {9, [] { DQIntArray a; DIM(a, 2.7); a(2); }},
        {9, [] { DQIntArray a; DIM(a, 4); a(-0.5); }},
        {9, [] { DQIntArray a; DIM(a, 4); a(__builtin_nan("")); }},
        {9, [] { DQIntArray a; DIM(a, 3, 0.5); a(0, 1); }},
        {9, [] { DQIntArray a; DIM(a, 3); a(0, 0, 2); }},
        {9, [] { DQIntArray a; DIM(a, 3, -2); a(0, 0); }},
        {8, [] { DQIntArray a; a(0); }},
        {8, [] { DQStrArray s; s(3); }},
        {7, [] { DQIntArray a; DIM(a, 100000, 100000); }},
        {7, [] { DQIntArray a; DIM(a, 1e300); }},
        {7, [] { DQIntArray a; DIM(a, 2, __builtin_inf()); }},
    };
    for (const Row& r : rows)
        EXPECT_EXIT(r.run(), ExitedWithCode(r.code), "runtime error " + std::to_string(r.code));
}

// Leaves the process 2 GB of address space beyond what it holds now.
void LimitAddressSpace() {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{2} << 30);
    rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
}

TEST(ArrayErrorsDeathTest, StringArrayBeyondMemoryEndsWithSeven) {
    // The block of ten million strings fits, their 1024-byte buffers (10 GB) do not.
    EXPECT_EXIT(({ LimitAddressSpace(); DQStrArray s; DIM(s, 1e7); }), ExitedWithCode(7), "runtime error 7");
}

}  // namespace
