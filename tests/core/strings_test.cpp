#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/dqstr.h"

namespace {

std::string T(const DQStr& s) { return s.c_str(); }
std::string N(double v) { return T(DQStr(v)); }

// Ten significant digits, rounded half away from zero; the exponent form outside
// the fixed range. The notation follows the unrounded number: a carry past the
// tenth digit keeps fixed notation with one digit more, and the exponent form
// stays for numbers that already need it.
TEST(NumberToText, TenSignificantDigitsFixedOrExponent) {
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
    EXPECT_EQ(T(DQStr(-42)), "-42");
    EXPECT_EQ(T(DQStr(7.0f)), "7");
    EXPECT_EQ(T(DQStr(0.1f)), "0.1000000015");
    DQStr s;
    s = 12.5;
    EXPECT_EQ(T(s), "12.5");
    s = 3;
    EXPECT_EQ(T(s), "3");
}

// The leading number only; hex, infinity and nan spellings read as 0.
TEST(TextToNumber, ReadsTheLeadingDecimalNumberOnly) {
    struct Row { const char* text; double v; } rows[] = {
        {"12abc", 12}, {" -3.5e2", -350}, {"\t\n+7.25", 7.25}, {".5", 0.5}, {"5.", 5},
        {"1e", 1}, {"2e+", 2}, {"3E-2x", 0.03}, {"abc", 0}, {"", 0}, {"-", 0}, {".", 0},
        {"0x1A", 0}, {"inf", 0}, {"-infinity", 0}, {"nan", 0}, {"1e999", HUGE_VAL}, {"1e-999", 0},
    };
    for (const Row& r : rows) EXPECT_EQ(DQStr(r.text).Number(), r.v) << r.text;
    EXPECT_EQ(CQStr("42").Number(), 42);
}

TEST(StringOperators, EveryArithmeticOperatorJoinsTexts) {
    DQStr a("a"), b("b");
    EXPECT_EQ(T(a - 1), "a1");
    EXPECT_EQ(T(2 * b), "2b");
    EXPECT_EQ(T(CQStr("2") + 2), "22");
    EXPECT_EQ(T(a / 0.5), "a0.5");
    EXPECT_EQ(T(1.5 ^ b), "1.5b");
    EXPECT_EQ(T(a + b), "ab");
    EXPECT_EQ(T(CQStr("x") + CQStr("y")), "xy");
    EXPECT_EQ(T(a * CQStr("c")), "ac");
    EXPECT_EQ(T(2.0f + a), "2a");
}

TEST(StringOperators, CompoundAssignmentsAppend) {
    DQStr s("x");
    s -= 3;
    EXPECT_EQ(T(s), "x3");
    s ^= CQStr("y");
    EXPECT_EQ(T(s), "x3y");
    s *= 0.25;
    s /= DQStr("z");
    s += "!";
    EXPECT_EQ(T(s), "x3y0.25z!");
}

TEST(StringOperators, ComparisonsYieldOneOrZero) {
    EXPECT_EQ(T(CQStr("10") < CQStr("9")), "1");  // as texts
    EXPECT_EQ(T(10 < CQStr("9")), "0");           // as numbers
    EXPECT_EQ(T(5 < DQStr("10")), "1");
    EXPECT_EQ(T(DQStr("abc") == 0), "1");
    EXPECT_EQ(T(DQStr("abc") != DQStr("abd")), "1");
    EXPECT_EQ(T(DQStr("ab") < DQStr("abc")), "1");
    EXPECT_EQ(T(DQStr("\xC8") > DQStr("a")), "1");  // bytes compare unsigned
    EXPECT_EQ(T(DQStr("3") >= 3.0), "1");
    EXPECT_EQ(T(DQStr("3") <= 2), "0");
    double nan = std::nan("");
    EXPECT_EQ(T(DQStr("1") == nan), "0");
    EXPECT_EQ(T(DQStr("1") < nan), "0");
    EXPECT_EQ(T(DQStr("1") != nan), "1");
}

TEST(StringMembers, CompareTrimAndAccess) {
    DQStr s("ab \r\n");
    s.TrimRight();
    EXPECT_EQ(T(s), "ab ");
    DQStr high("x\xE9");
    high.TrimRight();  // bytes 128-255 read as negative and go too
    EXPECT_EQ(T(high), "x");
    EXPECT_EQ(DQStr("5").Compare(4.0), 1);
    EXPECT_EQ(DQStr("5").Compare(6.0), -1);
    EXPECT_EQ(DQStr("5").Compare(5.0), 0);
    EXPECT_EQ(DQStr("b").Compare("a") > 0, true);
    DQStr t("hello");
    t.Left(2);
    EXPECT_EQ(T(t), "he");
    EXPECT_EQ(t.GetAt(5000), 0);
    t.SetAt(5000, 'x');  // outside the buffer: ignored
    t.Left(-1);
    EXPECT_EQ(T(t), "he");
    DQStr p("a\\b\\c");
    ReverseSlashes(p);
    EXPECT_EQ(T(p), "a/b/c");
}

TEST(StringLimits, EveryWriteIsCutTo1023Characters) {
    std::string big(3000, 'x');
    DQStr s(big.c_str());
    EXPECT_EQ(LEN(s), 1023);
    s += CQStr("more");
    EXPECT_EQ(LEN(s), 1023);
    DQStr joined = s + s;
    EXPECT_EQ(LEN(joined), 1023);
    EXPECT_EQ(LEN(FORMAT_Str(5000, 2, 1)), 1023);
    EXPECT_EQ(LEN(FORMAT_Str(-5000, 2, 1)), 1023);
    EXPECT_EQ(LEN(FORMAT_Str(0, 3000, 1)), 1023);
}

TEST(StringCommands, LenMidChrAsc) {
    EXPECT_EQ(LEN(12.5), 4);
    EXPECT_EQ(LEN(0.1), 3);
    EXPECT_EQ(LEN(1e10), 7);
    EXPECT_EQ(LEN(DQStr("")), 0);
    DQStr s("abcdef");
    struct Row { double from, count; const char* text; } mids[] = {
        {2, 3, "cde"}, {4, 10, "ef"}, {6, 1, ""}, {0, -5, ""}, {1.9, 2, "bc"}, {-1, 3, ""},
        {7, 3, ""}, {0, 1e300, "abcdef"}, {1e300, 1e300, ""}, {std::nan(""), 2, ""},
    };
    for (const Row& r : mids) EXPECT_EQ(T(MID_Str(s, r.from, r.count)), r.text) << r.from << " " << r.count;
    EXPECT_EQ(T(CHR_Str(65)), "A");
    EXPECT_EQ(T(CHR_Str(321)), "A");
    EXPECT_EQ(T(CHR_Str(0)), "");
    EXPECT_EQ(T(CHR_Str(512)), "");
    EXPECT_EQ(ASC(CHR_Str(200)), -56);
    EXPECT_EQ(ASC(DQStr("")), 0);
    EXPECT_EQ(ASC(DQStr("A")), 65);
}

// Rounded half away from zero; digits past the 17th significant one print as 0;
// negative decimals print none.
TEST(StringCommands, FormatFixedNotation) {
    struct Row { double width, decimals, v; const char* text; } rows[] = {
        {8, 2, 3.14159, "    3.14"}, {0, 0, 2.5, "3"}, {0, 0, -2.5, "-3"}, {-6, 1, 1.25, "1.3   "},
        {0, 2, 0.125, "0.13"}, {0, 2, 99.995, "100.00"}, {0, 3, 0, "0.000"}, {0, 2, -0.001, "-0.00"},
        {0, 0, 1e20, "100000000000000000000"}, {0, 20, 0.1, "0.10000000000000001000"},
        {0, 0, 123456789012345678901.0, "123456789012345680000"}, {3, -2, 7.6, "  8"},
    };
    for (const Row& r : rows) EXPECT_EQ(T(FORMAT_Str(r.width, r.decimals, r.v)), r.text) << r.v;
}

}  // namespace
