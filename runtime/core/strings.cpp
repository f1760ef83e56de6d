#include "core/strings.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/numbers.h"

namespace {

// A count or position as a whole number within 0 ... limit (a NaN gives 0).
int Clamp(double v, int limit) {
    const int32_t n = __TruncInt(v);
    return n < 0 ? 0 : n > limit ? limit : n;
}

bool Blank(char c) { return c != 0 && static_cast<unsigned char>(c) <= 32; }

DQStr FromString(const std::string& text) { return DQStr(text.c_str()); }

}  // namespace

DQStr LEFT_Str(DQStr s, double count) {
    s.Left(Clamp(count, s.Length()));
    return s;
}

DQStr RIGHT_Str(DQStr s, double count) {
    const int len = s.Length();
    return DQStr(s.c_str() + len - Clamp(count, len));
}

double INSTR(DQStr s, DQStr find, double start) {
    const int len = s.Length();
    const double from = std::trunc(start);
    if (from > len) return -1;
    const int at = from > 0 ? static_cast<int>(from) : 0;  // also a NaN start counts as 0
    const char* hit = std::strstr(s.c_str() + at, find.c_str());
    return hit ? static_cast<double>(hit - s.c_str()) : -1;
}

DQStr UCASE_Str(DQStr s) {
    for (char* p = s.GetStrData(); *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return s;
}

DQStr LCASE_Str(DQStr s) {
    for (char* p = s.GetStrData(); *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return s;
}

DQStr LTRIM_Str(DQStr s) {
    const char* p = s.c_str();
    while (Blank(*p)) ++p;
    return DQStr(p);
}

DQStr RTRIM_Str(DQStr s) {
    int n = s.Length();
    while (n > 0 && Blank(s.c_str()[n - 1])) --n;
    s.Left(n);
    return s;
}

DQStr TRIM_Str(DQStr s) { return LTRIM_Str(RTRIM_Str(s)); }

DQStr REPLACE_Str(DQStr s, DQStr find, DQStr with) {
    const size_t findLength = std::strlen(find.c_str());
    if (findLength == 0) return s;
    std::string out;
    const char* p = s.c_str();
    while (const char* hit = std::strstr(p, find.c_str())) {
        out.append(p, hit);
        out += with.c_str();
        p = hit + findLength;
        if (out.size() > static_cast<size_t>(DQStr::kMaxLength)) break;  // the rest would be cut anyway
    }
    out += p;
    return FromString(out);
}

double SPLITSTR(DQStr s, DQStr separator, DQStrArray& parts) {
    const std::string text = s.c_str(), sep = separator.c_str();
    std::vector<std::string> pieces;
    if (!text.empty() && sep.empty()) {
        for (char c : text) pieces.emplace_back(1, c);
    } else if (!text.empty()) {
        size_t from = 0;
        for (size_t at; (at = text.find(sep, from)) != std::string::npos; from = at + sep.size())
            pieces.push_back(text.substr(from, at - from));
        pieces.push_back(text.substr(from));
    }
    const double count = static_cast<double>(pieces.size());
    DIM(parts, count);
    for (size_t i = 0; i < pieces.size(); ++i) parts(static_cast<double>(i)) = pieces[i].c_str();
    return count;
}

DQStr STR_Str(double value) { return DQStr(value); }

double VAL(DQStr text) { return text.Number(); }
