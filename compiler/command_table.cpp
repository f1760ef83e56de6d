#include "command_table.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <sstream>

namespace cmdtable {

namespace {

const KindInfo kKinds[] = {
    {ArgKind::Number, "number", "double", "a number", false, false, false},
    {ArgKind::String, "string", "DQStr", "a string", true, false, false},
    {ArgKind::NumberOut, "number-out", "double&", "a number variable", false, true, false},
    {ArgKind::StringOut, "string-out", "DQStr&", "a string variable", true, true, false},
    {ArgKind::NumberArray, "number-array", "DQIntArray&", "a number array", false, false, true},
    {ArgKind::StringArray, "string-array", "DQStrArray&", "a string array", true, false, true},
};

const char* const kColumns[] = {"basic", "cpp", "args", "result", "subsystem", "header", "doc"};

std::vector<std::string> Split(const std::string& s, const std::string& sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        if (at == std::string::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, at - start));
        start = at + sep.size();
    }
}

bool IsUpperName(const std::string& s) {
    if (s.empty() || s[0] < 'A' || s[0] > 'Z') return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

bool IsArgName(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

class Reader {
public:
    Reader(Table& table, const std::string& where) : t_(table), where_(where) {}

    void Line(std::string text, int lineNo) {
        line_ = lineNo;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') return;
        const std::vector<std::string> f = Split(text, "\t");
        if (!haveHeader_) {
            haveHeader_ = true;
            bool ok = f.size() == std::size(kColumns);
            for (size_t i = 0; ok && i < f.size(); ++i) ok = f[i] == kColumns[i];
            if (!ok) Fail("the header line must name the columns basic, cpp, args, result, subsystem, header, doc");
            return;
        }
        if (f.size() != std::size(kColumns)) {
            Fail("expected " + std::to_string(std::size(kColumns)) + " tab-separated columns, found " +
                 std::to_string(f.size()));
            return;
        }
        const size_t errorsBefore = t_.errors.size();
        Command c;
        c.line = lineNo;
        c.basic = f[0];
        c.cpp = f[1];
        c.result = f[3];
        c.subsystem = f[4];
        c.header = f[5];
        c.doc = f[6];
        Arguments(c, f[2]);
        Names(c);
        if (c.result != "number" && c.result != "string") {
            Fail("result must be number or string, not '" + c.result + "'");
        } else if (IsString(c) != c.ReturnsString()) {
            Fail(c.basic +
                 (IsString(c) ? " ends in '$' and must give a string" : " has no '$' and must give a number"));
        }
        const std::vector<std::string>& subsystems = Subsystems();
        if (std::find(subsystems.begin(), subsystems.end(), c.subsystem) == subsystems.end())
            Fail("unknown subsystem '" + c.subsystem + "'");
        if (c.header.size() < 3 || c.header.find("..") != std::string::npos ||
            c.header.find('"') != std::string::npos || c.header.compare(c.header.size() - 2, 2, ".h") != 0)
            Fail("header '" + c.header + "' must be a .h path under runtime/");
        if (c.doc.empty()) Fail("the doc column is empty");
        std::string signature = c.cpp + "(";
        for (const Arg& a : c.args) signature += std::string(Info(a.kind).text) + ",";
        if (!signatures_.insert(signature).second) Fail(c.basic + " is listed twice with the same arguments");
        if (t_.errors.size() == errorsBefore) t_.commands.push_back(std::move(c));
    }

    void Finish() {
        if (!haveHeader_) t_.errors.push_back(where_ + ": no header line");
    }

private:
    void Fail(const std::string& message) {
        t_.errors.push_back(where_ + ":" + std::to_string(line_) + ": " + message);
    }

    static bool IsString(const Command& c) { return !c.basic.empty() && c.basic.back() == '$'; }

    void Arguments(Command& c, const std::string& field) {
        if (field == "-") return;
        bool sawOptional = false;
        for (const std::string& item : Split(field, ", ")) {
            const size_t colon = item.find(':');
            if (colon == std::string::npos) {
                Fail("argument '" + item + "' is not NAME:KIND");
                continue;
            }
            Arg a;
            a.name = item.substr(0, colon);
            std::string kind = item.substr(colon + 1);
            if (!kind.empty() && kind.back() == '?') {
                a.optional = true;
                kind.pop_back();
            }
            if (!IsArgName(a.name)) Fail("argument name '" + a.name + "' must be lower case letters and digits");
            if (const KindInfo* info = KindFromText(kind))
                a.kind = info->kind;
            else
                Fail("unknown argument kind '" + kind + "'");
            if (sawOptional && !a.optional)
                Fail("argument '" + a.name + "' follows an optional one but is not optional");
            sawOptional = sawOptional || a.optional;
            c.args.push_back(a);
        }
    }

    void Names(const Command& c) {
        const bool isString = IsString(c);
        const std::string stem = isString ? c.basic.substr(0, c.basic.size() - 1) : c.basic;
        if (!IsUpperName(stem) || stem.find("__") != std::string::npos)
            Fail("BASIC name '" + c.basic + "' must be upper case letters, digits and '_', optionally ending in '$'");
        else if (c.cpp != (isString ? stem + "_Str" : stem))
            Fail("C++ name of " + c.basic + " must be " + (isString ? stem + "_Str" : stem) + ", not '" + c.cpp + "'");
    }

    Table& t_;
    std::string where_;
    int line_ = 0;
    bool haveHeader_ = false;
    std::set<std::string> signatures_;
};

}  // namespace

const KindInfo& Info(ArgKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) return k;
    return kKinds[0];
}

const KindInfo* KindFromText(const std::string& text) {
    for (const KindInfo& k : kKinds)
        if (text == k.text) return &k;
    return nullptr;
}

const std::vector<std::string>& Subsystems() {
    static const std::vector<std::string> kSubsystems = {"core",  "files", "gfx2d",       "sound",
                                                         "input", "net",   "pathfinding", "gfx3d"};
    return kSubsystems;
}

std::string Command::BasicForm() const {
    std::string s = basic + "(";
    bool first = true;
    int open = 0;
    for (const Arg& a : args) {
        const KindInfo& k = Info(a.kind);
        std::string name = a.name;
        if (k.isString) name += "$";
        if (k.isArray) name += "()";
        if (k.isOut) name = "out " + name;
        if (a.optional) {
            s += first ? "[" : " [, ";
            ++open;
        } else if (!first) {
            s += ", ";
        }
        s += name;
        first = false;
    }
    return s + std::string(open, ']') + ")";
}

Table Read(const std::string& text, const std::string& where) {
    Table table;
    Reader reader(table, where);
    std::istringstream in(text);
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) reader.Line(line, lineNo);
    reader.Finish();
    return table;
}

}  // namespace cmdtable
