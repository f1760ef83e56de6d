#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/dqstr.h"

namespace {

std::string T(const DQStr& s) { return s.c_str(); }
std::string N(double v) { return T(DQStr(v)); }

TEST(NumberToText, FixedNotationKeepsTenSignificantDigits) {
    EXPECT_EQ(N(3), "3");
    EXPECT_EQ(N(1.0), "1");
    EXPECT_EQ(N(2.5), "2.5");
    EXPECT_EQ(N(-0.25), "-0.25");
    EXPECT_EQ(N(-0.5), "-0.5");
    EXPECT_EQ(N(0.1 + 0.2), "0.3");
    EXPECT_EQ(N(1.0 / 3), "0.3333333333");
    EXPECT_EQ(N(2.0 / 3), "0.6666666667");
    EXPECT_EQ(N(123456.789), "123456.789");
    EXPECT_EQ(N(9999999999.0), "9999999999");
    EXPECT_EQ(N(-9999999999.0), "-9999999999");
    EXPECT_EQ(N(0), "0");
    EXPECT_EQ(N(-0.0), "0");
    EXPECT_EQ(N(0.5), "0.5");
    EXPECT_EQ(N(100), "100");
}

TEST(NumberToText, RoundsHalfAwayFromZeroAtTheTenthDigit) {
    EXPECT_EQ(N(1.23456789049), "1.23456789");
    EXPECT_EQ(N(1.23456789051), "1.234567891");
    EXPECT_EQ(N(-1.23456789051), "-1.234567891");
    EXPECT_EQ(N(0.99999999996), "1");
    EXPECT_EQ(N(9.99999999996), "10");
    // The notation follows the unrounded number: a carry past the tenth digit keeps
    // fixed notation with one digit more, and the exponent form stays for numbers
    // that already need it.
    EXPECT_EQ(N(9999999999.5), "10000000000");
    EXPECT_EQ(N(-9999999999.6), "-10000000000");
    EXPECT_EQ(N(99999.9999999), "100000");
    EXPECT_EQ(N(0.099999999996), "1.e-001");
    EXPECT_EQ(N(9.99999999996e15), "1.e+016");
}

TEST(NumberToText, ExponentFormOutsideTheFixedRange) {
    EXPECT_EQ(N(1e10), "1.e+010");
    EXPECT_EQ(N(12345678901.0), "1.23456789e+010");
    EXPECT_EQ(N(0.05), "5.e-002");
    EXPECT_EQ(N(0.0123), "1.23e-002");
    EXPECT_EQ(N(0.001), "1.e-003");
    EXPECT_EQ(N(-2.5e-7), "-2.5e-007");
    EXPECT_EQ(N(1e300), "1.e+300");
    EXPECT_EQ(N(6.02214076e23), "6.02214076e+023");
}

TEST(NumberToText, IntegersAndSinglePrecision) {
    EXPECT_EQ(T(DQStr(7)), "7");
    EXPECT_EQ(T(DQStr(-42)), "-42");
    EXPECT_EQ(T(DQStr(7.0f)), "7");
    EXPECT_EQ(T(DQStr(0.1f)), "0.1000000015");
    DQStr s;
    s = 12.5;
    EXPECT_EQ(T(s), "12.5");
    s = 3;
    EXPECT_EQ(T(s), "3");
}

TEST(TextToNumber, ReadsTheLeadingNumberOnly) {
    EXPECT_EQ(DQStr("12abc").Number(), 12);
    EXPECT_EQ(DQStr(" -3.5e2").Number(), -350);
    EXPECT_EQ(DQStr("\t\n+7.25").Number(), 7.25);
    EXPECT_EQ(DQStr(".5").Number(), 0.5);
    EXPECT_EQ(DQStr("5.").Number(), 5);
    EXPECT_EQ(DQStr("1e").Number(), 1);
    EXPECT_EQ(DQStr("2e+").Number(), 2);
    EXPECT_EQ(DQStr("3E-2x").Number(), 0.03);
    EXPECT_EQ(DQStr("abc").Number(), 0);
    EXPECT_EQ(DQStr("").Number(), 0);
    EXPECT_EQ(DQStr("-").Number(), 0);
    EXPECT_EQ(DQStr(".").Number(), 0);
    EXPECT_EQ(CQStr("42").Number(), 42);
}

TEST(TextToNumber, RefusesHexInfinityAndNanSpellings) {
    EXPECT_EQ(DQStr("0x1A").Number(), 0);
    EXPECT_EQ(DQStr("inf").Number(), 0);
    EXPECT_EQ(DQStr("-infinity").Number(), 0);
    EXPECT_EQ(DQStr("nan").Number(), 0);
    EXPECT_EQ(DQStr("1e999").Number(), HUGE_VAL);
    EXPECT_EQ(DQStr("1e-999").Number(), 0);
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
    EXPECT_EQ(T(MID_Str(s, 2, 3)), "cde");
    EXPECT_EQ(T(MID_Str(s, 4, 10)), "ef");
    EXPECT_EQ(T(MID_Str(s, 6, 1)), "");
    EXPECT_EQ(T(MID_Str(s, 0, -5)), "");
    EXPECT_EQ(T(MID_Str(s, 1.9, 2)), "bc");
    EXPECT_EQ(T(MID_Str(s, -1, 3)), "");
    EXPECT_EQ(T(MID_Str(s, 7, 3)), "");
    EXPECT_EQ(T(MID_Str(s, 0, 1e300)), "abcdef");
    EXPECT_EQ(T(MID_Str(s, 1e300, 1e300)), "");
    EXPECT_EQ(T(MID_Str(s, std::nan(""), 2)), "");
    EXPECT_EQ(T(CHR_Str(65)), "A");
    EXPECT_EQ(T(CHR_Str(321)), "A");
    EXPECT_EQ(T(CHR_Str(0)), "");
    EXPECT_EQ(T(CHR_Str(512)), "");
    EXPECT_EQ(ASC(CHR_Str(200)), -56);
    EXPECT_EQ(ASC(DQStr("")), 0);
    EXPECT_EQ(ASC(DQStr("A")), 65);
}

TEST(StringCommands, FormatFixedNotation) {
    EXPECT_EQ(T(FORMAT_Str(8, 2, 3.14159)), "    3.14");
    EXPECT_EQ(T(FORMAT_Str(0, 0, 2.5)), "3");
    EXPECT_EQ(T(FORMAT_Str(0, 0, -2.5)), "-3");
    EXPECT_EQ(T(FORMAT_Str(-6, 1, 1.25)), "1.3   ");
    EXPECT_EQ(T(FORMAT_Str(0, 2, 0.125)), "0.13");
    EXPECT_EQ(T(FORMAT_Str(0, 2, 99.995)), "100.00");
    EXPECT_EQ(T(FORMAT_Str(0, 3, 0)), "0.000");
    EXPECT_EQ(T(FORMAT_Str(0, 2, -0.001)), "-0.00");
    EXPECT_EQ(T(FORMAT_Str(0, 0, 1e20)), "100000000000000000000");
    // Digits past the 17th significant one print as 0.
    EXPECT_EQ(T(FORMAT_Str(0, 20, 0.1)), "0.10000000000000001000");
    EXPECT_EQ(T(FORMAT_Str(0, 0, 123456789012345678901.0)), "123456789012345680000");
    EXPECT_EQ(T(FORMAT_Str(3, -2, 7.6)), "  8");  // negative decimals print none
}

}  // namespace
