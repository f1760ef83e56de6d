// The BASIC world's strings.
//
// DQStr owns a 1024-byte buffer and holds at most 1023 single-byte characters; every
// write is cut to that length. CQStr is a read-only view of a literal of the compiled
// program. Two rules give the dialect its character:
//   - every arithmetic operator (+ - * / ^) with a string on either side joins the two
//     texts, a number written in the number-to-text form:  "a" - 1  ->  "a1";
//   - every comparison yields a string, "1" when it holds and "0" when it does not.
//     Two strings compare byte-wise; a string and a number compare as numbers, the
//     string read with the text-to-number rule.
#pragma once

#include <concepts>
#include <cstddef>
#include <type_traits>

namespace __TOLVANE__ {}

class DQStr;

// A literal of the compiled program; it does not own its text.
class CQStr {
public:
    constexpr CQStr(const char* text) : text_(text ? text : "") {}  // NOLINT: literals convert
    const char* c_str() const { return text_; }
    double Number() const;

private:
    const char* text_;
};

class DQStr {
public:
    static constexpr int kBufferSize = 1024;
    static constexpr int kMaxLength = kBufferSize - 1;

    DQStr();
    DQStr(const char* text);  // NOLINT: texts convert implicitly, as in BASIC
    DQStr(CQStr text);        // NOLINT
    DQStr(const DQStr& other);
    explicit DQStr(int value);
    explicit DQStr(float value);
    explicit DQStr(double value);
    ~DQStr();

    DQStr& operator=(const char* text);
    DQStr& operator=(CQStr text);
    DQStr& operator=(const DQStr& other);
    DQStr& operator=(int value);
    DQStr& operator=(float value);
    DQStr& operator=(double value);
    DQStr& Assign(const char* text) { return *this = text; }

    // += -= *= /= ^= all append the right operand's text.
    template <class T> DQStr& operator+=(const T& v) { return Append(v); }
    template <class T> DQStr& operator-=(const T& v) { return Append(v); }
    template <class T> DQStr& operator*=(const T& v) { return Append(v); }
    template <class T> DQStr& operator/=(const T& v) { return Append(v); }
    template <class T> DQStr& operator^=(const T& v) { return Append(v); }

    const char* c_str() const { return buf_; }
    // The whole buffer, for code that fills a string directly; keep the terminator
    // within kBufferSize bytes.
    char* GetStrData() { return buf_; }
    int Length() const;

    // Byte i as a signed 8-bit value; positions outside the buffer read 0.
    signed char GetAt(long i) const;
    // Stores c at position i; positions outside the text area are ignored.
    void SetAt(long i, char c);
    // Ends the text after its first n characters (n within 0 ... 1023).
    void Left(long n);
    int Compare(const char* t) const;
    // 1 when this string's number is greater than d, -1 when smaller, else 0.
    int Compare(const double& d) const;
    // Removes bytes that read as signed 8-bit values of 31 or less from the end.
    void TrimRight();
    double Number() const;

    DQStr& Append(const char* text);
    DQStr& Append(CQStr text) { return Append(text.c_str()); }
    DQStr& Append(const DQStr& text) { return Append(text.c_str()); }
    template <class T>
        requires std::is_arithmetic_v<T>
    DQStr& Append(T value) {
        return Append(DQStr(Widen(value)).c_str());
    }

private:
    template <class T> static auto Widen(T v) {
        if constexpr (std::is_floating_point_v<T>) return static_cast<double>(v);
        else if constexpr (sizeof(T) <= sizeof(int) && std::is_signed_v<T>) return static_cast<int>(v);
        else return static_cast<double>(v);
    }
    char* buf_;
};

// ---- conversions ------------------------------------------------------------------
// Number-to-text: ten significant digits, fixed notation for exponents -1 ... 9, else
// d.ddddddddde+XXX; trailing zeros and a trailing point removed. Writes at most
// `size` bytes including the terminator and returns the text length.
int __NumberToText(double value, char* out, int size);
// Text-to-number: leading white space, sign, digits, point, digits, exponent; stops at
// the first character that does not fit; 0 when no number starts the text. No
// hexadecimal, infinity or NaN spellings.
double __TextToNumber(const char* text);

void ReverseSlashes(DQStr& s);

// ---- operators ----------------------------------------------------------------------
template <class T>
concept __StrOperand = std::same_as<std::remove_cvref_t<T>, DQStr> || std::same_as<std::remove_cvref_t<T>, CQStr>;
template <class T>
concept __NumOperand = std::is_arithmetic_v<std::remove_cvref_t<T>> && !std::same_as<std::remove_cvref_t<T>, bool>;
template <class A, class B>
concept __StrExpr = (__StrOperand<A> && (__StrOperand<B> || __NumOperand<B>)) || (__NumOperand<A> && __StrOperand<B>);

template <class A, class B>
    requires __StrExpr<A, B>
DQStr __Join(const A& a, const B& b) {
    DQStr r;
    r.Append(a);
    r.Append(b);
    return r;
}

template <class A, class B> requires __StrExpr<A, B> DQStr operator+(const A& a, const B& b) { return __Join(a, b); }
template <class A, class B> requires __StrExpr<A, B> DQStr operator-(const A& a, const B& b) { return __Join(a, b); }
template <class A, class B> requires __StrExpr<A, B> DQStr operator*(const A& a, const B& b) { return __Join(a, b); }
template <class A, class B> requires __StrExpr<A, B> DQStr operator/(const A& a, const B& b) { return __Join(a, b); }
template <class A, class B> requires __StrExpr<A, B> DQStr operator^(const A& a, const B& b) { return __Join(a, b); }

enum class __CmpOp { Eq, Ne, Lt, Le, Gt, Ge };
DQStr __CompareTexts(const char* a, const char* b, __CmpOp op);
DQStr __CompareNumbers(double a, double b, __CmpOp op);

template <class A, class B>
    requires __StrExpr<A, B>
DQStr __Compare(const A& a, const B& b, __CmpOp op) {
    if constexpr (__StrOperand<A> && __StrOperand<B>)
        return __CompareTexts(a.c_str(), b.c_str(), op);
    else if constexpr (__StrOperand<A>)
        return __CompareNumbers(a.Number(), static_cast<double>(b), op);
    else
        return __CompareNumbers(static_cast<double>(a), b.Number(), op);
}

template <class A, class B>
requires __StrExpr<A, B> DQStr operator==(const A& a, const B& b) { return __Compare(a, b, __CmpOp::Eq); }
template <class A, class B>
requires __StrExpr<A, B> DQStr operator!=(const A& a, const B& b) { return __Compare(a, b, __CmpOp::Ne); }
template <class A, class B>
requires __StrExpr<A, B> DQStr operator<(const A& a, const B& b) { return __Compare(a, b, __CmpOp::Lt); }
template <class A, class B>
requires __StrExpr<A, B> DQStr operator<=(const A& a, const B& b) { return __Compare(a, b, __CmpOp::Le); }
template <class A, class B>
requires __StrExpr<A, B> DQStr operator>(const A& a, const B& b) { return __Compare(a, b, __CmpOp::Gt); }
template <class A, class B>
requires __StrExpr<A, B> DQStr operator>=(const A& a, const B& b) { return __Compare(a, b, __CmpOp::Ge); }

// ---- string commands ------------------------------------------------------------------
double LEN(DQStr s);
double LEN(double v);
// Piece of s from position start (counted from 0), count characters long.
DQStr MID_Str(DQStr s, double start, double count);
// One character of the low 8 bits of code; the empty string for 0.
DQStr CHR_Str(double code);
// The first byte as a signed 8-bit value, 0 for the empty string.
double ASC(DQStr s);
// value in fixed notation with `places` decimals, padded to `width` characters
// (on the left; on the right for a negative width).
DQStr FORMAT_Str(double width, double places, double value);
