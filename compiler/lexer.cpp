// The lexer, and the reading of whole source files.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "front.h"

namespace tvc {

std::string Upper(const std::string& s) {
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

namespace {

struct Keyword {
    const char* text;
    T kind;
};
const Keyword kKeywords[] = {
    {"AND", T::And},       {"AS", T::As},           {"BREAK", T::Break},
    {"CASE", T::Case},     {"CONST", T::Const},     {"CONTINUE", T::Continue},
    {"DIM", T::Dim},       {"ELSE", T::Else},       {"ELSEIF", T::ElseIf},
    {"END", T::EndKw},     {"ENDIF", T::EndIf},     {"ENDSELECT", T::EndSelect},
    {"ENDSUB", T::EndSub}, {"ENDTYPE", T::EndType}, {"FOR", T::For},
    {"GLOBAL", T::Global}, {"IF", T::If},           {"INCLUDE", T::Include},
    {"IS", T::Is},         {"LOCAL", T::Local},     {"MOD", T::Mod},
    {"NEXT", T::Next},     {"NOT", T::Not},         {"OPTION", T::Option},
    {"OR", T::Or},         {"REM", T::End},         {"REPEAT", T::Repeat},
    {"RETURN", T::Return}, {"SELECT", T::Select},   {"SETTINGS", T::Settings},
    {"STEP", T::Step},     {"SUB", T::Sub},         {"THEN", T::Then},
    {"TO", T::To},         {"TYPE", T::Type},       {"UNTIL", T::Until},
    {"WEND", T::Wend},     {"WHILE", T::While},     {"XOR", T::Xor},
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

}  // namespace

T KeywordKind(const std::string& upper) {
    for (const Keyword& k : kKeywords)
        if (upper == k.text) return k.kind == T::End ? T::Name : k.kind;  // REM is no token
    return T::Name;
}

std::vector<std::string> ReservedWords() {
    std::vector<std::string> words;
    for (const Keyword& k : kKeywords) words.push_back(k.text);
    return words;
}

const char* TokenName(T kind) {
    switch (kind) {
        case T::End: return "the end of the file";
        case T::Newline: return "the end of the line";
        case T::Colon: return "':'";
        case T::Comma: return "','";
        case T::LParen: return "'('";
        case T::RParen: return "')'";
        case T::Dot: return "'.'";
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
    auto loc = [&](size_t at, size_t end) {
        return Loc{file, line, static_cast<int>(at - lineStart) + 1, static_cast<int>(end - at)};
    };
    auto push = [&](T kind, size_t at, size_t end) {
        Token t;
        t.kind = kind;
        t.loc = loc(at, end);
        out.push_back(std::move(t));
    };
    auto skipComment = [&] {
        while (i < src.size() && src[i] != '\n') ++i;
    };
    const size_t n = src.size();
    while (i < n) {
        const char c = src[i];
        if (c == '\n') {
            push(T::Newline, i, i);
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
            skipComment();
            continue;
        }
        const size_t start = i;
        if (c == '_') {  // a line continuation: '_' ends the line (a comment may follow)
            size_t k = i + 1;
            while (k < n && (src[k] == ' ' || src[k] == '\t' || src[k] == '\r')) ++k;
            if (k < n && src[k] == '\'') {
                i = k;
                skipComment();
                k = i;
            }
            if (k >= n || src[k] == '\n') {
                i = k < n ? k + 1 : k;
                ++line;
                lineStart = i;
                continue;
            }
            diag.Error(loc(i, i + 1), "'_' continues a statement on the next line and must end its line");
            ++i;
            continue;
        }
        if (IsLetter(c)) {
            while (i < n && (IsLetter(src[i]) || IsDigit(src[i]) || src[i] == '_')) ++i;
            if (i < n && src[i] == '$') ++i;
            std::string word = src.substr(start, i - start);
            const std::string up = Upper(word);
            if (up == "REM") {
                skipComment();
                continue;
            }
            push(KeywordKind(up), start, i);
            out.back().text = word;
            continue;
        }
        if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(src[i + 1]))) {
            double value = 0;
            if (c == '0' && i + 1 < n && (src[i + 1] == 'x' || src[i + 1] == 'X')) {
                i += 2;
                const size_t digits = i;
                while (i < n && IsHexDigit(src[i])) {
                    const char d = src[i];
                    value = value * 16 + (IsDigit(d) ? d - '0' : (d | 0x20) - 'a' + 10);
                    ++i;
                }
                if (i == digits) diag.Error(loc(start, i), "'0x' needs hexadecimal digits after it");
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
            if (!std::isfinite(value)) diag.Error(loc(start, i), "this number is too large");
            if (i < n && (IsLetter(src[i]) || src[i] == '_'))
                diag.Error(loc(i, i + 1), "a number runs into a name here");
            push(T::Number, start, i);
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
                if (src[i] == '\0')
                    diag.Error(loc(i, i + 1), "a string cannot hold a zero byte");
                else
                    value += src[i];
                ++i;
            }
            if (!closed) diag.Error(loc(start, i), "this string has no closing '\"' on its line");
            if (value.size() > kMaxStringLength)
                diag.Warning(loc(start, i),
                             "this string is " + std::to_string(value.size()) +
                                 " characters long, but a string holds at most " + std::to_string(kMaxStringLength) +
                                 ": the running program keeps only the first " + std::to_string(kMaxStringLength));
            push(T::String, start, i);
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
            case '.': kind = T::Dot; break;
            case '+': kind = T::Plus; break;
            case '-': kind = T::Minus; break;
            case '*': kind = T::Star; break;
            case '/': kind = T::Slash; break;
            case '^': kind = T::Caret; break;
            case '=': kind = T::Eq; break;
            case '<':
                if (next('>'))
                    kind = T::Ne, len = 2;
                else if (next('='))
                    kind = T::Le, len = 2;
                else
                    kind = T::Lt;
                break;
            case '>':
                if (next('='))
                    kind = T::Ge, len = 2;
                else
                    kind = T::Gt;
                break;
            default: break;
        }
        if (kind == T::End) {
            const unsigned char b = static_cast<unsigned char>(c);
            diag.Error(loc(i, i + 1), b >= 32 && b < 127 ? std::string("unexpected character '") + c + "'"
                                                         : "unexpected byte " + std::to_string(b));
            ++i;
            continue;
        }
        push(kind, start, start + len);
        i += len;
    }
    push(T::Newline, i, i);
    push(T::End, i, i);
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
