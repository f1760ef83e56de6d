// Error reports and the lexer.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "front.h"

namespace tvc {

std::string Upper(const std::string& s) {
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

std::string Sources::LineText(int file, int line) const {
    if (file < 0 || file >= static_cast<int>(files.size())) return "";
    const std::string& t = files[file].text;
    size_t at = 0;
    for (int l = 1; l < line; ++l) {
        at = t.find('\n', at);
        if (at == std::string::npos) return "";
        ++at;
    }
    size_t end = t.find('\n', at);
    std::string s = t.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!s.empty() && s.back() == '\r') s.pop_back();
    return s;
}

void Diagnostics::Error(Loc loc, const std::string& message) {
    if (Full()) return;
    reports_.emplace_back(loc, message);
    std::string name = loc.file >= 0 && loc.file < static_cast<int>(sources_.files.size())
                           ? sources_.files[loc.file].name
                           : "?";
    std::string line = sources_.LineText(loc.file, loc.line);
    std::string caret;
    for (int i = 0; i + 1 < loc.col && i < static_cast<int>(line.size()); ++i) caret += line[i] == '\t' ? '\t' : ' ';
    // Control bytes other than tabs would garble the terminal.
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 32 && c != '\t') c = '?';
 messages_.emplace_back(loc, name + ":" + std::to_string(loc.line) + ":" + std::to_string(loc.col) + ": error: " +
                        message + "\n    " + line + "\n    " + caret + "^\n");
}

std::string Diagnostics::Text() const {
    // In the order of the files and lines, whatever order the passes found them in.
    std::vector<std::pair<Loc, std::string>> sorted = messages_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first.file, a.first.line, a.first.col) < std::tie(b.first.file, b.first.line, b.first.col);
    });
    std::string all;
    for (const auto& m : sorted) all += m.second;
    if (Full()) all += "(stopped after " + std::to_string(kMaxErrors) + " errors)\n";
    return all;
}

namespace {

struct Keyword {
    const char* text;
    T kind;
};
const Keyword kKeywords[] = {
    {"AND", T::And},       {"OR", T::Or},           {"NOT", T::Not},         {"XOR", T::Xor},
    {"MOD", T::Mod},       {"IF", T::If},           {"THEN", T::Then},       {"ELSE", T::Else},
    {"ELSEIF", T::ElseIf}, {"ENDIF", T::EndIf},     {"END", T::EndKw},       {"FOR", T::For},
    {"TO", T::To},         {"STEP", T::Step},       {"NEXT", T::Next},       {"WHILE", T::While},
    {"WEND", T::Wend},     {"REPEAT", T::Repeat},   {"UNTIL", T::Until},     {"BREAK", T::Break},
    {"CONTINUE", T::Continue}, {"SELECT", T::Select}, {"CASE", T::Case},     {"SUB", T::Sub},
    {"ENDSUB", T::EndSub}, {"ENDSELECT", T::EndSelect}, {"RETURN", T::Return}, {"LOCAL", T::Local},
    {"GLOBAL", T::Global}, {"DIM", T::Dim},         {"INCLUDE", T::Include}, {"OPTION", T::Option},
    {"SETTINGS", T::Settings}, {"IS", T::Is},
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

const char* TokenName(T kind) {
    switch (kind) {
    case T::End: return "the end of the file";
    case T::Newline: return "the end of the line";
    case T::Colon: return "':'";
    case T::Comma: return "','";
    case T::LParen: return "'('";
    case T::RParen: return "')'";
    case T::Number: return "a number";
    case T::String: return "a string";
    case T::Name: return "a name";
    case T::Plus: return "'+'";
    case T::Minus: return "'-'";
    case T::Star: return "'*'";
    case T::Slash: return "'/'";
    case T::Caret: return "'^'";
    case T::Eq: return "'='";
    case T::Ne: return "'<>'";
    case T::Lt: return "'<'";
    case T::Le: return "'<='";
    case T::Gt: return "'>'";
    case T::Ge: return "'>='";
    default: break;
    }
    for (const Keyword& k : kKeywords)
        if (k.kind == kind) return k.text;
    return "?";
}

std::vector<Token> Lex(const std::string& src, int file, Diagnostics& diag) {
    std::vector<Token> out;
    size_t i = 0, lineStart = 0;
    int line = 1;
    auto loc = [&](size_t at) { return Loc{file, line, static_cast<int>(at - lineStart) + 1}; };
    auto push = [&](T kind, size_t at) {
        Token t;
        t.kind = kind;
        t.loc = loc(at);
        out.push_back(std::move(t));
    };
    const size_t n = src.size();
    while (i < n) {
        const char c = src[i];
        if (c == '\n') {
            push(T::Newline, i);
            ++i;
            ++line;
            lineStart = i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '\'') {  // comment to the end of the line
            while (i < n && src[i] != '\n') ++i;
            continue;
        }
        const size_t start = i;
        if (IsLetter(c)) {
            while (i < n && (IsLetter(src[i]) || IsDigit(src[i]) || src[i] == '_')) ++i;
            if (i < n && src[i] == '$') ++i;
            std::string word = src.substr(start, i - start);
            std::string up = Upper(word);
            if (up == "REM") {
                while (i < n && src[i] != '\n') ++i;
                continue;
            }
            T kind = T::Name;
            for (const Keyword& k : kKeywords)
                if (up == k.text) kind = k.kind;
            push(kind, start);
            out.back().text = word;
            continue;
        }
        if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(src[i + 1]))) {
            double value = 0;
            if (c == '0' && i + 1 < n && (src[i + 1] == 'x' || src[i + 1] == 'X')) {
                i += 2;
                size_t digits = i;
                while (i < n && std::strchr("0123456789abcdefABCDEF", src[i]) && src[i]) {
                    char d = src[i];
                    int v = IsDigit(d) ? d - '0' : (d | 0x20) - 'a' + 10;
                    value = value * 16 + v;
                    ++i;
                }
                if (i == digits) diag.Error(loc(start), "'0x' needs hexadecimal digits after it");
            } else {
                while (i < n && IsDigit(src[i])) ++i;
                if (i < n && src[i] == '.') {
                    ++i;
                    while (i < n && IsDigit(src[i])) ++i;
                }
                if (i < n && (src[i] == 'e' || src[i] == 'E')) {
                    size_t e = i + 1;
                    if (e < n && (src[e] == '+' || src[e] == '-')) ++e;
                    if (e < n && IsDigit(src[e])) {
                        i = e;
                        while (i < n && IsDigit(src[i])) ++i;
                    }
                }
                value = std::strtod(src.substr(start, i - start).c_str(), nullptr);
            }
            if (!std::isfinite(value)) diag.Error(loc(start), "this number is too large");
            if (i < n && (IsLetter(src[i]) || src[i] == '_')) diag.Error(loc(i), "a number runs into a name here");
            push(T::Number, start);
            out.back().number = std::isfinite(value) ? value : 0;
            continue;
        }
        if (c == '"') {
            std::string value;
            ++i;
            bool closed = false;
            while (i < n && src[i] != '\n') {
                if (src[i] == '"') {
                    if (i + 1 < n && src[i + 1] == '"') {  // "" is one quote
                        value += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                if (src[i] == '\0') {
                    diag.Error(loc(i), "a string cannot hold a zero byte");
                } else {
                    value += src[i];
                }
                ++i;
            }
            if (!closed) diag.Error(loc(start), "this string has no closing '\"' on its line");
            push(T::String, start);
            out.back().text = value;
            continue;
        }
        T kind = T::End;
        size_t len = 1;
        auto next = [&](char x) { return i + 1 < n && src[i + 1] == x; };
        switch (c) {
        case ':': kind = T::Colon; break;
        case ',': kind = T::Comma; break;
        case '(': kind = T::LParen; break;
        case ')': kind = T::RParen; break;
        case '+': kind = T::Plus; break;
        case '-': kind = T::Minus; break;
        case '*': kind = T::Star; break;
        case '/': kind = T::Slash; break;
        case '^': kind = T::Caret; break;
        case '=': kind = T::Eq; break;
        case '<':
            if (next('>')) kind = T::Ne, len = 2;
            else if (next('=')) kind = T::Le, len = 2;
            else kind = T::Lt;
            break;
        case '>':
            if (next('=')) kind = T::Ge, len = 2;
            else kind = T::Gt;
            break;
        default: break;
        }
        if (kind == T::End) {
            unsigned char b = static_cast<unsigned char>(c);
            diag.Error(loc(i), b >= 32 && b < 127 ? std::string("unexpected character '") + c + "'"
                                                  : "unexpected byte " + std::to_string(b));
            ++i;
            continue;
        }
        push(kind, start);
        i += len;
    }
    push(T::Newline, i);
    push(T::End, i);
    return out;
}

bool ReadTextFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

}  // namespace tvc
