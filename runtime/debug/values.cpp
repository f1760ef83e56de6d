#include "debug/values.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

__DbgTables g_tables;

bool SameName(const char* a, const std::string& b) {
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return !a[i] && i == b.size();
}

std::string NumberText(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);  // the shortest text that reads back the same
    return std::string(buf, r.ptr);
}

std::string Quoted(const char* text) { return std::string("\"") + text + "\""; }

// A number's text, whole: leading and trailing blanks allowed, nothing else.
bool ParseNumber(const std::string& text, double& v) {
    const char* s = text.c_str();
    while (*s == ' ') ++s;
    if (!*s) return false;
    char* end = nullptr;
    v = std::strtod(s, &end);
    if (end == s) return false;
    while (*end == ' ') ++end;
    return *end == 0;
}

// Finds a name among `count` names; -1 when it is not there.
int Find(const __DbgName* names, int count, const std::string& name) {
    for (int i = 0; names && i < count; ++i)
        if (SameName(names[i].name, name)) return i;
    return -1;
}

// The field `name` of the record at `place`.
bool Field(__DbgPlace& place, const std::string& name, std::string& error) {
    if (place.isArray || !place.type || place.type->kind != __DbgType::Record) {
        error = "has no fields: " + name;
        return false;
    }
    for (int i = 0; i < place.type->fieldCount; ++i) {
        const __DbgField& f = place.type->fields[i];
        if (!SameName(f.name.name, name)) continue;
        place.at = f.at(place.at);
        place.type = f.name.type;
        place.isArray = f.name.isArray;
        place.path += std::string("/") + f.name.name;
        return true;
    }
    error = "no field " + name + " in " + place.type->name;
    return false;
}

// The element at a position of the array at `place`.
bool Element(__DbgPlace& place, int64_t position, std::string& error) {
    if (!place.isArray) {
        error = "not an array";
        return false;
    }
    const __DbgArray a = place.type->view(place.at);
    if (!a.data) {
        error = "the array is not dimensioned";
        return false;
    }
    if (position < 0 || position >= a.count) {
        error = "index out of range";
        return false;
    }
    place.at = place.type->element(a.data, static_cast<int>(position));
    place.isArray = false;
    place.path += "/#" + std::to_string(position);
    return true;
}

// The position of the element with these indexes, as the program's own access finds it.
bool Position(const __DbgArray& a, const std::vector<double>& indexes, int64_t& position) {
    if (indexes.empty() || indexes.size() > 8) return false;
    int64_t stride = a.sizes[0], strides[8] = {1};
    for (int j = 1; j < 8; ++j) {
        strides[j] = stride;
        stride = (stride * a.sizes[j]) % (int64_t{1} << 32);
    }
    position = 0;
    for (size_t k = 0; k < 8; ++k) {
        const double i = k < indexes.size() ? std::trunc(indexes[k]) : 0;
        if (!(i >= 0) || (a.sizes[k] != 0 ? i >= a.sizes[k] : i >= 1)) return false;
        position += static_cast<int64_t>(i) * strides[k];
    }
    return position >= 0 && position < a.count;
}

// "(2, 0)": the indexes of the element at a position, first index fastest.
std::string IndexText(const __DbgArray& a, int position) {
    std::string text = "(";
    const int dims = a.dims > 0 ? a.dims : 1;
    for (int k = 0; k < dims; ++k) {
        const int size = a.sizes[k] >= 1 ? a.sizes[k] : 1;
        text += (k ? ", " : "") + std::to_string(position % size);
        position /= size;
    }
    return text + ")";
}

// The root of a path or an expression: the frame's locals ("L") or the globals ("G").
bool Root(int frame, char scope, const std::string& name, __DbgPlace& place) {
    if (scope == 'L') {
        const __DbgFrame* f = __DbgFrameAt(frame);
        const int i = f ? Find(f->names, f->count, name) : -1;
        if (i < 0) return false;
        place = {f->names[i].type, f->names[i].isArray, f->places[i], std::string("L/") + f->names[i].name};
        return true;
    }
    const int i = Find(g_tables.globals, g_tables.count, name);
    if (i < 0) return false;
    place = {g_tables.globals[i].type, g_tables.globals[i].isArray, g_tables.places[i],
             std::string("G/") + g_tables.globals[i].name};
    return true;
}

bool FrameValid(int frame, std::string& error) {
    if (frame >= 0 && frame <= __DbgFrameCount()) return true;
    error = "no such frame";
    return false;
}

// Reads expressions: names, indexes in parentheses, fields after dots, literals.
class Reader {
public:
    Reader(const std::string& text, int frame) : s_(text), frame_(frame) {}

    void Blanks() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
    }
    bool AtEnd() {
        Blanks();
        return i_ >= s_.size();
    }
    bool Take(const char* token) {
        Blanks();
        const size_t n = std::strlen(token);
        if (s_.compare(i_, n, token) != 0) return false;
        i_ += n;
        return true;
    }
    std::string Name() {
        Blanks();
        const size_t start = i_;
        if (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_])))
            while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) ++i_;
        if (i_ > start && i_ < s_.size() && s_[i_] == '$') ++i_;
        return s_.substr(start, i_ - start);
    }
    bool Number(double& v) {
        Blanks();
        const char* begin = s_.c_str() + i_;
        char* end = nullptr;
        v = std::strtod(begin, &end);
        if (end == begin ||
            !(std::isdigit(static_cast<unsigned char>(*begin)) || *begin == '-' || *begin == '+' || *begin == '.'))
            return false;
        i_ += static_cast<size_t>(end - begin);
        return true;
    }
    bool String(std::string& v) {
        Blanks();
        if (i_ >= s_.size() || s_[i_] != '"') return false;
        const size_t close = s_.find('"', i_ + 1);
        if (close == std::string::npos) return false;
        v = s_.substr(i_ + 1, close - i_ - 1);
        i_ = close + 1;
        return true;
    }

    // name, then (indexes) and .field as often as they come.
    bool Place(__DbgPlace& place, std::string& error) {
        const std::string name = Name();
        if (name.empty()) {
            error = "a variable name is expected";
            return false;
        }
        if (!Root(frame_, 'L', name, place) && !Root(frame_, 'G', name, place)) {
            error = "no variable " + name + " here";
            return false;
        }
        for (;;) {
            if (Take("(")) {
                std::vector<double> indexes;
                do {
                    double v = 0;
                    if (!Number(v)) {
                        error = "an index must be a number";
                        return false;
                    }
                    indexes.push_back(v);
                } while (Take(","));
                if (!Take(")")) {
                    error = "a ) is missing";
                    return false;
                }
                if (!place.isArray) {
                    error = "not an array";
                    return false;
                }
                const __DbgArray a = place.type->view(place.at);
                int64_t position = 0;
                if (!a.data || !Position(a, indexes, position)) {
                    error = a.data ? "index out of range" : "the array is not dimensioned";
                    return false;
                }
                if (!Element(place, position, error)) return false;
            } else if (Take(".")) {
                const std::string field = Name();
                if (field.empty() || !Field(place, field, error)) {
                    if (field.empty()) error = "a field name is expected";
                    return false;
                }
            } else {
                return true;
            }
        }
    }

    // An operand of a comparison: a literal or a place holding a number or a string.
    bool Operand(bool& isString, double& number, std::string& text, std::string& error) {
        if (String(text)) {
            isString = true;
            return true;
        }
        if (Number(number)) {
            isString = false;
            return true;
        }
        __DbgPlace place;
        if (!Place(place, error)) return false;
        if (place.isArray || place.type->kind == __DbgType::Record) {
            error = "only numbers and strings can be compared";
            return false;
        }
        isString = place.type->kind == __DbgType::String;
        if (isString)
            text = static_cast<DQStr*>(place.at)->c_str();
        else
            number = *static_cast<double*>(place.at);
        return true;
    }

private:
    const std::string& s_;
    size_t i_ = 0;
    int frame_;
};

}  // namespace

bool __DbgSetProgram(const __DbgName* globals, void* const* places, int count, const char* const* files,
                     int fileCount) {
    g_tables = {globals, places, count > 0 ? count : 0, files, fileCount > 0 ? fileCount : 0};
    return true;
}

const __DbgTables& __DbgProgram() { return g_tables; }

int __DbgFrameCount() {
    int n = 0;
    for (const __DbgFrame* f = __g_dbgTop; f; f = f->outer) ++n;
    return n;
}

const __DbgFrame* __DbgFrameAt(int frame) {
    const __DbgFrame* f = __g_dbgTop;
    for (int i = 0; f && i < frame; ++i) f = f->outer;
    return frame >= 0 ? f : nullptr;
}

bool __DbgResolvePath(int frame, const std::string& path, __DbgPlace& out, std::string& error) {
    if (!FrameValid(frame, error)) return false;
    if (path.size() < 3 || (path[0] != 'L' && path[0] != 'G') || path[1] != '/') {
        error = "not a path: " + path;
        return false;
    }
    std::vector<std::string> parts;
    for (size_t start = 2;;) {
        const size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    if (!Root(frame, path[0], parts[0], out)) {
        error = "no variable " + parts[0] + " here";
        return false;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        if (!p.empty() && p[0] == '#') {
            char* end = nullptr;
            const long long position = std::strtoll(p.c_str() + 1, &end, 10);
            if (p.size() < 2 || *end || !Element(out, position, error)) {
                if (error.empty()) error = "not a position: " + p;
                return false;
            }
        } else if (!Field(out, p, error)) {
            return false;
        }
    }
    return true;
}

bool __DbgResolveExpression(int frame, const std::string& text, __DbgPlace& out, std::string& error) {
    if (!FrameValid(frame, error)) return false;
    Reader r(text, frame);
    if (!r.Place(out, error)) return false;
    if (!r.AtEnd()) {
        error = "only a variable, an element or a field can be shown: " + text;
        return false;
    }
    return true;
}

__DbgItem __DbgDescribe(const std::string& name, const __DbgPlace& place) {
    __DbgItem item;
    item.name = name;
    item.path = place.path;
    const __DbgType& t = *place.type;
    if (place.isArray) {
        const __DbgArray a = t.view(place.at);
        item.type = std::string(t.name) + " array";
        if (!a.data) {
            item.value = "not dimensioned";
            return item;
        }
        std::string sizes;
        for (int k = 0; k < (a.dims > 0 ? a.dims : 1); ++k) sizes += (k ? ", " : "") + std::to_string(a.sizes[k]);
        item.value = std::string(t.name) + " array (" + sizes + ")";
        item.indexed = a.count;
        return item;
    }
    item.type = t.name;
    switch (t.kind) {
        case __DbgType::Number: item.value = NumberText(*static_cast<double*>(place.at)); break;
        case __DbgType::String: item.value = Quoted(static_cast<DQStr*>(place.at)->c_str()); break;
        case __DbgType::Record:
            item.value = t.name;
            item.named = t.fieldCount;
            break;
    }
    return item;
}

bool __DbgParts(int frame, const std::string& path, int start, int count, std::vector<__DbgItem>& out,
                std::string& error) {
    if (!FrameValid(frame, error)) return false;
    if (path == "L" || path == "G") {
        const __DbgFrame* f = path == "L" ? __DbgFrameAt(frame) : nullptr;
        const __DbgName* names = f ? f->names : path == "G" ? g_tables.globals : nullptr;
        const int n = f ? f->count : path == "G" ? g_tables.count : 0;
        for (int i = 0; names && i < n; ++i) {
            __DbgPlace place;
            if (Root(frame, path[0], names[i].name, place)) out.push_back(__DbgDescribe(names[i].name, place));
        }
        return true;
    }
    __DbgPlace place;
    if (!__DbgResolvePath(frame, path, place, error)) return false;
    if (place.isArray) {
        const __DbgArray a = place.type->view(place.at);
        if (start < 0) start = 0;
        const int end = count > 0 && count < a.count - start ? start + count : a.count;
        for (int i = start; i < end; ++i) {
            __DbgPlace element = place;
            if (Element(element, i, error)) out.push_back(__DbgDescribe(IndexText(a, i), element));
        }
        return true;
    }
    if (place.type->kind == __DbgType::Record) {
        for (int i = 0; i < place.type->fieldCount; ++i) {
            __DbgPlace field = place;
            if (Field(field, place.type->fields[i].name.name, error))
                out.push_back(__DbgDescribe(place.type->fields[i].name.name, field));
        }
    }
    return true;
}

bool __DbgAssign(const __DbgPlace& place, const std::string& text, std::string& error) {
    if (place.isArray || place.type->kind == __DbgType::Record) {
        error = "only a number or a string can be given a value";
        return false;
    }
    if (place.type->kind == __DbgType::String) {
        std::string s = text;
        if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
        *static_cast<DQStr*>(place.at) = s.c_str();  // cut to the length strings hold
        return true;
    }
    double v = 0;
    if (!ParseNumber(text, v)) {
        error = "not a number: " + text;
        return false;
    }
    *static_cast<double*>(place.at) = v;
    return true;
}

bool __DbgCondition(int frame, const std::string& text, bool& holds, std::string& error) {
    if (!FrameValid(frame, error)) return false;
    Reader r(text, frame);
    bool leftString = false, rightString = false;
    double left = 0, right = 0;
    std::string leftText, rightText;
    if (!r.Operand(leftString, left, leftText, error)) return false;
    if (r.AtEnd()) {
        holds = leftString ? !leftText.empty() : left != 0;
        return true;
    }
    static const char* const kOps[] = {"<>", "<=", ">=", "=", "<", ">"};
    int op = -1;
    for (int i = 0; i < 6 && op < 0; ++i)
        if (r.Take(kOps[i])) op = i;
    if (op < 0 || !r.Operand(rightString, right, rightText, error) || !r.AtEnd()) {
        if (error.empty()) error = "a condition is NAME, or NAME OP VALUE with OP one of = <> < > <= >=";
        return false;
    }
    int order = 0;
    if (leftString && rightString) {
        const int c = std::strcmp(leftText.c_str(), rightText.c_str());
        order = c < 0 ? -1 : c > 0 ? 1 : 0;
    } else {
        if (leftString) left = DQStr(leftText.c_str()).Number();
        if (rightString) right = DQStr(rightText.c_str()).Number();
        order = left < right ? -1 : left > right ? 1 : left == right ? 0 : 2;  // 2: a NaN, unordered
    }
    switch (op) {
        case 0: holds = order != 0; break;
        case 1: holds = order == -1 || order == 0; break;
        case 2: holds = order == 1 || order == 0; break;
        case 3: holds = order == 0; break;
        case 4: holds = order == -1; break;
        default: holds = order == 1; break;
    }
    return true;
}
