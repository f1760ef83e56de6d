// DQStr, CQStr, number <-> text and the string commands.
#include "core/dqstr.h"

#include "core/numbers.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Copies text into a 1024-byte buffer, cut to 1023 characters.
void CopyText(char* buf, const char* text) {
    if (!text) text = "";
    if (text == buf) return;
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(DQStr::kMaxLength)) n = DQStr::kMaxLength;
    std::memmove(buf, text, n);
    buf[n] = 0;
}

}  // namespace

double CQStr::Number() const { return __TextToNumber(text_); }

DQStr::DQStr() : buf_(new char[kBufferSize]) { buf_[0] = 0; }
DQStr::DQStr(const char* text) : DQStr() { CopyText(buf_, text); }
DQStr::DQStr(CQStr text) : DQStr() { CopyText(buf_, text.c_str()); }
DQStr::DQStr(const DQStr& other) : DQStr() { CopyText(buf_, other.buf_); }
DQStr::DQStr(int value) : DQStr() { std::snprintf(buf_, kBufferSize, "%d", value); }
DQStr::DQStr(float value) : DQStr(static_cast<double>(value)) {}
DQStr::DQStr(double value) : DQStr() { __NumberToText(value, buf_, kBufferSize); }
DQStr::~DQStr() { delete[] buf_; }

DQStr& DQStr::operator=(const char* text) {
    CopyText(buf_, text);
    return *this;
}
DQStr& DQStr::operator=(CQStr text) { return *this = text.c_str(); }
DQStr& DQStr::operator=(const DQStr& other) { return *this = other.buf_; }
DQStr& DQStr::operator=(int value) {
    std::snprintf(buf_, kBufferSize, "%d", value);
    return *this;
}
DQStr& DQStr::operator=(float value) { return *this = static_cast<double>(value); }
DQStr& DQStr::operator=(double value) {
    __NumberToText(value, buf_, kBufferSize);
    return *this;
}

int DQStr::Length() const { return static_cast<int>(std::strlen(buf_)); }

signed char DQStr::GetAt(long i) const {
    if (i < 0 || i >= kBufferSize) return 0;
    return static_cast<signed char>(buf_[i]);
}

void DQStr::SetAt(long i, char c) {
    if (i < 0 || i >= kMaxLength) return;
    buf_[i] = c;
}

void DQStr::Left(long n) {
    if (n < 0 || n > kMaxLength) return;
    buf_[n] = 0;
}

int DQStr::Compare(const char* t) const { return std::strcmp(buf_, t ? t : ""); }

int DQStr::Compare(const double& d) const {
    double n = Number();
    if (n > d) return 1;
    if (n < d) return -1;
    return 0;
}

void DQStr::TrimRight() {
    int n = Length();
    while (n > 0 && static_cast<signed char>(buf_[n - 1]) <= 31) --n;
    buf_[n] = 0;
}

double DQStr::Number() const { return __TextToNumber(buf_); }

DQStr& DQStr::Append(const char* text) {
    if (!text) return *this;
    size_t have = std::strlen(buf_);
    size_t add = std::strlen(text);
    if (have + add > static_cast<size_t>(kMaxLength)) add = kMaxLength - have;
    std::memmove(buf_ + have, text, add);
    buf_[have + add] = 0;
    return *this;
}

void ReverseSlashes(DQStr& s) {
    for (char* p = s.GetStrData(); *p; ++p)
        if (*p == '\\') *p = '/';
}

// ---- number to text ----------------------------------------------------------------

int __NumberToText(double value, char* out, int size) {
    if (size <= 0) return 0;
    std::string text;
    if (std::isnan(value)) {
        text = "nan";
    } else if (std::isinf(value)) {
        text = value < 0 ? "-inf" : "inf";
    } else if (value == 0) {
        text = "0";
    } else {
        // The notation follows the exponent of the unrounded 17-digit expansion, so a
        // rounding carry stays in fixed notation: 9999999999.5 gives 10000000000.
        __Digits d = __DecimalDigits(value);
        if (d.exponent >= -1 && d.exponent <= 9) {
            text = __FixedDigits(value, 9 - d.exponent);
            if (text.find('.') != std::string::npos)
                while (text.back() == '0') text.pop_back();
        } else {
            __RoundDigits(d, 10);
            if (value < 0) text += '-';
            text += d.digits[0];
            text += '.';
            std::string frac(d.digits + 1, 9);
            while (!frac.empty() && frac.back() == '0') frac.pop_back();
            text += frac;
            char exp[16];
            std::snprintf(exp, sizeof exp, "e%c%03d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
            text += exp;
        }
        if (text.back() == '.') text.pop_back();
    }
    int n = static_cast<int>(text.size());
    if (n > size - 1) n = size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
    return n;
}

// ---- text to number -----------------------------------------------------------------

double __TextToNumber(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    const char* start = p;
    const char* q = p;
    bool anyDigit = false;
    while (*q >= '0' && *q <= '9') ++q, anyDigit = true;
    if (*q == '.') {
        ++q;
        while (*q >= '0' && *q <= '9') ++q, anyDigit = true;
    }
    if (!anyDigit) return 0;
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (*e >= '0' && *e <= '9') {
            while (*e >= '0' && *e <= '9') ++e;
            q = e;
        }
    }
    // from_chars reads no leading '+'; the sign was taken above.
    std::string number(start, q);
    if (number[0] == '.') number.insert(number.begin(), '0');
    double v = 0;
#if defined(__EMSCRIPTEN__)
    // The browser build's C++ library reads no floating-point numbers with from_chars;
    // its C library reads them in the C locale only, correctly rounded, which is the same.
    errno = 0;
    v = std::strtod(number.c_str(), nullptr);
    const bool outOfRange = errno == ERANGE && (v == 0 || std::isinf(v));
#else
    auto res = std::from_chars(number.data(), number.data() + number.size(), v, std::chars_format::general);
    const bool outOfRange = res.ec == std::errc::result_out_of_range;
#endif
    if (outOfRange) {
        // Too large gives infinity, too small gives 0, as the C library does.
        const char* e = std::strpbrk(number.c_str(), "eE");
        v = (e && e[1] == '-') ? 0.0 : HUGE_VAL;
    }
    return negative ? -v : v;
}

// ---- comparisons ------------------------------------------------------------------------

namespace {
DQStr Truth(bool b) { return DQStr(b ? "1" : "0"); }
}  // namespace

DQStr __CompareTexts(const char* a, const char* b, __CmpOp op) {
    int c = std::strcmp(a, b);
    switch (op) {
        case __CmpOp::Eq: return Truth(c == 0);
        case __CmpOp::Ne: return Truth(c != 0);
        case __CmpOp::Lt: return Truth(c < 0);
        case __CmpOp::Le: return Truth(c <= 0);
        case __CmpOp::Gt: return Truth(c > 0);
        case __CmpOp::Ge: return Truth(c >= 0);
    }
    return Truth(false);
}

DQStr __CompareNumbers(double a, double b, __CmpOp op) {
    // IEEE comparisons: a NaN makes all of them false but !=.
    switch (op) {
        case __CmpOp::Eq: return Truth(a == b);
        case __CmpOp::Ne: return Truth(a != b);
        case __CmpOp::Lt: return Truth(a < b);
        case __CmpOp::Le: return Truth(a <= b);
        case __CmpOp::Gt: return Truth(a > b);
        case __CmpOp::Ge: return Truth(a >= b);
    }
    return Truth(false);
}

// ---- string commands ------------------------------------------------------------------

double LEN(DQStr s) { return s.Length(); }

double LEN(double v) {
    char buf[64];
    return __NumberToText(v, buf, sizeof buf);
}

DQStr MID_Str(DQStr s, double start, double count) {
    double len = s.Length();
    if (std::trunc(start + count) > len) count = len - start;
    if (!(count > 0) || start > len || !(start >= 0)) return DQStr();  // a NaN start gives nothing
    int from = static_cast<int>(start);  // 0 <= start <= len <= 1023
    int n = __TruncInt(count);
    if (n > s.Length() - from) n = s.Length() - from;
    DQStr r(s.c_str() + from);
    r.Left(n);
    return r;
}

DQStr CHR_Str(double code) {
    char text[2] = {static_cast<char>(__TruncInt(code) & 0xFF), 0};
    return DQStr(text);
}

double ASC(DQStr s) { return static_cast<signed char>(s.c_str()[0]); }

DQStr FORMAT_Str(double width, double places, double value) {
    int w = __TruncInt(width);
    int d = __TruncInt(places);
    // A negative number of decimals prints none; the text never exceeds a DQStr.
    if (d < 0) d = 0;
    if (d > DQStr::kMaxLength) d = DQStr::kMaxLength;
    std::string body;
    if (std::isnan(value)) {
        body = "nan";
    } else if (std::isinf(value)) {
        body = value < 0 ? "-inf" : "inf";
    } else {
        body = __FixedDigits(value, d);
    }
    long long aw = w < 0 ? -static_cast<long long>(w) : w;
    int pad = aw > DQStr::kMaxLength ? DQStr::kMaxLength : static_cast<int>(aw);
    if (static_cast<int>(body.size()) < pad) {
        std::string spaces(pad - body.size(), ' ');
        body = w < 0 ? body + spaces : spaces + body;
    }
    return DQStr(body.c_str());
}
