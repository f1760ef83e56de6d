// The language server's view of a program, made by the compiler's front end: the same
// parse and check as `tolvanec check`, then the names of the text tied to what they
// stand for. This is the only file of the server that reads the front end's syntax tree.
#include "analysis.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "command_table_text.h"
#include "front.h"

namespace tvc {
extern const char* const kCommandTableText;  // the built-in command table (made by the build)
}

namespace tvc::lsp {

namespace {

// A program whose lines with syntax errors are left out, round by round, until it
// parses: its names are what the rest of the text declares while a line is being typed.
constexpr int kRecoveryRounds = 4;

std::string Blanked(std::string text, const std::set<int>& lines) {
    int line = 1;
    for (char& c : text) {
        if (c == '\n') {
            ++line;
            continue;
        }
        if (lines.count(line)) c = ' ';
    }
    return text;
}

struct Parsed {
    Program program;
    Diagnostics diag{program.sources};
};

std::unique_ptr<Parsed> ParseWith(const std::string& path, const TextReader& read,
                                  const std::map<std::string, std::set<int>>& blank) {
    auto p = std::make_unique<Parsed>();
    auto reader = [&](const std::string& file, std::string& text) {
        if (!read(file, text)) return false;
        if (auto it = blank.find(file); it != blank.end()) text = Blanked(std::move(text), it->second);
        return true;
    };
    std::string text;
    reader(path, text);
    Parse(p->program, path, text, reader, p->diag);
    return p;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

class Builder {
public:
    Builder(Analysis& a) : a_(a) {}

    // Symbols of a parsed and checked program; its files are mapped onto the analysis'
    // by path (a recovered program may lack files whose INCLUDE line was left out).
    void Symbols(const Program& program) {
        std::vector<int> fileMap;
        for (const SourceFile& f : program.sources.files) fileMap.push_back(a_.FileIndex(f.path));
        auto place = [&](Loc loc, const std::string& name) {
            Place p;
            p.file = loc.file >= 0 && loc.file < static_cast<int>(fileMap.size()) ? fileMap[loc.file] : -1;
            p.line = loc.line;
            p.col = loc.col;
            p.length = static_cast<int>(name.size());
            return p;
        };
        for (const auto& proc : program.procs) {
            if (proc->name.empty()) continue;
            Symbol s;
            s.kind = Symbol::Sub;
            s.name = proc->name;
            s.isString = proc->returnsString;
            s.at = place(proc->loc, "");
            if (s.at.file < 0) continue;
            s.line = s.endLine = proc->loc.line;
            s.col = s.endCol = proc->loc.col;
            for (const Param& prm : proc->params) s.params.push_back(prm.name + (prm.isArray ? "()" : ""));
            const int sub = Add(std::move(s), subs_);
            for (const auto& v : proc->locals) {
                Symbol l;
                l.kind = v->isParam ? Symbol::Param : Symbol::Local;
                l.name = v->name;
                l.isString = v->isStr;
                l.isArray = v->isArray;
                l.at = place(v->loc, v->name);
                l.owner = sub;
                if (l.at.file >= 0) Add(std::move(l), locals_[sub]);
            }
        }
        for (const auto& v : program.globals) {
            Symbol g;
            g.kind = Symbol::Global;
            g.name = v->name;
            g.isString = v->isStr;
            g.isArray = v->isArray;
            g.at = place(v->loc, v->name);
            if (g.at.file >= 0) Add(std::move(g), globals_);
        }
        for (Symbol& s : a_.symbols)
            if (s.kind != Symbol::Sub) {
                s.line = s.endLine = s.at.line;
                s.col = s.at.col;
                s.endCol = s.at.col + s.at.length;
            }
    }

    // The names of every file, each tied to its SUB, variable, command or included file.
    void Uses() {
        for (int f = 0; f < static_cast<int>(a_.files.size()); ++f) {
            Diagnostics quiet(sources_);
            std::vector<Token> toks = Lex(a_.files[f].text, f, quiet);
            Walk(f, toks);
        }
        std::sort(a_.uses.begin(), a_.uses.end(), [](const Use& x, const Use& y) {
            return std::tie(x.at.file, x.at.line, x.at.col) < std::tie(y.at.file, y.at.line, y.at.col);
        });
    }

private:
    using Scope = std::unordered_map<std::string, int>;

    int Add(Symbol s, Scope& scope) {
        const int index = static_cast<int>(a_.symbols.size());
        scope.emplace(Upper(s.name), index);
        a_.symbols.push_back(std::move(s));
        return index;
    }

    static int Find(const Scope& scope, const std::string& key) {
        auto it = scope.find(key);
        return it == scope.end() ? -1 : it->second;
    }

    void Walk(int file, const std::vector<Token>& toks) {
        int sub = -1;
        const Scope* subLocals = nullptr;
        bool statementStart = true, skipLine = false;
        for (size_t i = 0; i < toks.size(); ++i) {
            const Token& t = toks[i];
            const Token& next = toks[std::min(i + 1, toks.size() - 1)];
            if (t.kind == T::Newline || t.kind == T::End) {
                statementStart = true;
                skipLine = false;
                continue;
            }
            if (t.kind == T::Colon) {
                statementStart = true;
                continue;
            }
            if (skipLine) continue;
            const bool start = statementStart;
            statementStart = t.kind == T::Then || t.kind == T::Else;
            if (start && t.kind == T::Sub && next.kind == T::Name) {
                sub = Find(subs_, Upper(next.text));
                subLocals = sub >= 0 ? &locals_[sub] : nullptr;
                if (sub >= 0 && a_.symbols[sub].at.file == file && a_.symbols[sub].at.line == t.loc.line) {
                    Symbol& s = a_.symbols[sub];
                    s.at = PlaceOf(next);
                    s.line = s.endLine = t.loc.line;
                    s.col = t.loc.col;
                    s.endCol = next.loc.col + static_cast<int>(next.text.size());
                } else {
                    sub = -1;
                    subLocals = nullptr;
                }
                continue;  // the name itself is added below, as a use of the SUB
            }
            if (start && (t.kind == T::EndSub || (t.kind == T::EndKw && next.kind == T::Sub))) {
                if (sub >= 0) {
                    Symbol& s = a_.symbols[sub];
                    s.endLine = t.loc.line;
                    s.endCol = (t.kind == T::EndSub ? t.loc.col + 6 : next.loc.col + 3);
                }
                sub = -1;
                subLocals = nullptr;
                continue;
            }
            if (start && (t.kind == T::Settings || t.kind == T::Option)) {
                skipLine = true;
                continue;
            }
            if (t.kind == T::Include && next.kind == T::String) {
                IncludeUse(file, next);
                continue;
            }
            if (t.kind != T::Name) continue;
            // A SUB's own name on its first line.
            const std::string key = Upper(t.text);
            Use u;
            u.at = PlaceOf(t);
            int target = -1;
            if (i > 0 && toks[i - 1].kind == T::Sub) target = Find(subs_, key);
            if (target < 0 && subLocals) target = Find(*subLocals, key);
            if (target < 0) target = Find(globals_, key);
            if (target < 0) target = Find(subs_, key);
            if (target >= 0) {
                u.what = Use::OfSymbol;
                u.symbol = target;
            } else if (!CommandForms(key).empty()) {
                u.what = key == "VAL" || key == "STR$" || key == "TRUNC" ? Use::OfBuiltIn : Use::OfCommand;
                u.name = key;
            } else {
                continue;
            }
            a_.uses.push_back(std::move(u));
        }
    }

    Place PlaceOf(const Token& t) const {
        Place p;
        p.file = t.loc.file;
        p.line = t.loc.line;
        p.col = t.loc.col;
        p.length = static_cast<int>(t.text.size());
        return p;
    }

    // The quoted name after INCLUDE, resolved as the parser resolves it.
    void IncludeUse(int file, const Token& str) {
        namespace fs = std::filesystem;
        Use u;
        u.what = Use::OfInclude;
        u.at.file = file;
        u.at.line = str.loc.line;
        u.at.col = str.loc.col;
        // The literal's length in the text: the value, its quotes, and doubled quotes.
        int length = 2;
        for (char c : str.text) length += c == '"' ? 2 : 1;
        u.at.length = length;
        const fs::path name(str.text);
        const fs::path path = name.is_absolute() ? name : fs::path(a_.files[file].path).parent_path() / name;
        u.includedPath = path.string();
        u.includedFile = a_.FileIndex(u.includedPath);
        a_.uses.push_back(std::move(u));
    }

    Analysis& a_;
    Sources sources_;
    Scope subs_, globals_;
    std::unordered_map<int, Scope> locals_;
};

}  // namespace

int Analysis::FileIndex(const std::string& path) const {
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i].path == path) return static_cast<int>(i);
    const std::string normal = std::filesystem::path(path).lexically_normal().string();
    for (size_t i = 0; i < files.size(); ++i)
        if (std::filesystem::path(files[i].path).lexically_normal().string() == normal) return static_cast<int>(i);
    return -1;
}

const Use* Analysis::UseAt(int file, int line, int col) const {
    auto it = std::upper_bound(uses.begin(), uses.end(), std::make_tuple(file, line, col),
                               [](const std::tuple<int, int, int>& k, const Use& u) {
                                   return k < std::tie(u.at.file, u.at.line, u.at.col);
                               });
    if (it == uses.begin()) return nullptr;
    --it;
    if (it->at.file != file || it->at.line != line || col > it->at.col + it->at.length) return nullptr;
    return &*it;
}

int Analysis::SubAt(int file, int line) const {
    for (size_t i = 0; i < symbols.size(); ++i) {
        const Symbol& s = symbols[i];
        if (s.kind == Symbol::Sub && s.at.file == file && s.line <= line && line <= s.endLine)
            return static_cast<int>(i);
    }
    return -1;
}

Analysis Analyze(const std::string& path, const TextReader& read) {
    Analysis a;
    std::unique_ptr<Parsed> main = ParseWith(path, read, {});
    const bool parsed = main->diag.Count() == 0;
    if (parsed) Check(main->program, CommandTable::BuiltIn(), main->diag);
    for (const SourceFile& f : main->program.sources.files) a.files.push_back({f.path, f.text});
    std::string text;
    if (a.files.empty()) a.files.push_back({path, ""});
    if (a.files.size() == 1 && a.files[0].text.empty() && !read(path, text))
        a.problems.push_back({{0, 1, 1, 0}, "cannot read " + path});
    for (const auto& [loc, message] : main->diag.Reports()) {
        Problem p;
        p.at = {loc.file, loc.line, loc.col, 0};
        const std::string line = main->program.sources.LineText(loc.file, loc.line);
        int end = loc.col - 1;
        while (end >= 0 && end < static_cast<int>(line.size()) && IsNameChar(line[end])) ++end;
        p.at.length = std::max(0, end - (loc.col - 1));
        if (p.at.length == 0 && loc.col - 1 < static_cast<int>(line.size())) p.at.length = 1;
        p.message = message;
        a.problems.push_back(std::move(p));
    }
    std::stable_sort(a.problems.begin(), a.problems.end(), [](const Problem& x, const Problem& y) {
        return std::tie(x.at.file, x.at.line, x.at.col) < std::tie(y.at.file, y.at.line, y.at.col);
    });

    Builder b(a);
    if (parsed) {
        a.namesChecked = true;
        b.Symbols(main->program);
    } else {
        std::map<std::string, std::set<int>> blank;
        const Parsed* last = main.get();
        std::unique_ptr<Parsed> round;
        for (int i = 0; i < kRecoveryRounds && last->diag.Count() > 0; ++i) {
            for (const auto& [loc, message] : last->diag.Reports())
                if (loc.file >= 0 && loc.file < static_cast<int>(last->program.sources.files.size()))
                    blank[last->program.sources.files[loc.file].path].insert(loc.line);
            round = ParseWith(path, read, blank);
            last = round.get();
        }
        if (round && round->diag.Count() == 0) {
            Check(round->program, CommandTable::BuiltIn(), round->diag);
            a.namesChecked = true;
            b.Symbols(round->program);
        } else {
            b.Symbols(main->program);  // SUBs only: variables are known after the check
        }
    }
    b.Uses();
    return a;
}

// ---- the language itself ---------------------------------------------------------------------

namespace {

struct Language {
    std::map<std::string, std::vector<CommandForm>> forms;
    std::vector<std::string> names, keywords;
};

std::string ParamText(const cmdtable::ArgText& a) {
    std::string s = a.name;
    if (a.kind == "string" || a.kind == "string-out") s += "$";
    if (a.kind == "number-array") s += "()";
    if (a.kind == "string-array") s += "$()";
    if (a.kind == "number-out" || a.kind == "string-out") s = "out " + s;
    return s;
}

// "NAME(a, b$ [, c])", each parameter's span noted.
CommandForm MakeForm(const std::string& name, const std::vector<std::pair<std::string, bool>>& params,
                     bool returnsString, const std::string& doc) {
    CommandForm f;
    f.name = name;
    f.returnsString = returnsString;
    f.doc = doc;
    f.signature = name + "(";
    int optionals = 0;
    for (size_t i = 0; i < params.size(); ++i) {
        const auto& [text, optional] = params[i];
        if (optional) {
            f.signature += i == 0 ? "[" : " [, ";
            ++optionals;
        } else if (i > 0) {
            f.signature += ", ";
        }
        const int begin = static_cast<int>(f.signature.size());
        f.signature += text;
        f.paramSpans.emplace_back(begin, static_cast<int>(f.signature.size()));
    }
    f.signature += std::string(optionals, ']') + ")";
    return f;
}

const Language& TheLanguage() {
    static const Language lang = [] {
        Language l;
        std::string table = kCommandTableText;
        size_t at = 0;
        bool header = false;
        while (at < table.size()) {
            size_t end = table.find('\n', at);
            if (end == std::string::npos) end = table.size();
            std::string line = table.substr(at, end - at);
            at = end + 1;
            if (!cmdtable::ContentLine(line)) continue;
            if (!header) {
                header = true;
                continue;
            }
            const std::vector<std::string> cols = cmdtable::Columns(line);
            if (cols.size() < 4) continue;
            std::vector<std::pair<std::string, bool>> params;
            for (const cmdtable::ArgText& arg : cmdtable::Arguments(cols[2])) params.emplace_back(ParamText(arg), arg.optional);
            l.forms[Upper(cols[0])].push_back(MakeForm(Upper(cols[0]), params, cols[3] == "string",
                                                       cols.size() > 6 ? cols[6] : ""));
        }
        l.forms["VAL"] = {MakeForm("VAL", {{"text$", false}}, false, "The number the text starts with (0 when none).")};
        l.forms["STR$"] = {MakeForm("STR$", {{"value", false}}, true, "The number written as text.")};
        l.forms["TRUNC"] = {MakeForm("TRUNC", {{"value", false}}, false, "The number with its fraction cut off toward zero.")};
        for (const auto& [name, forms] : l.forms) l.names.push_back(name);
        // Every keyword the lexer knows is the upper-case word its token is named by.
        std::set<std::string> words = {"REM", "EXPLICIT"};
        for (int k = 0; k < 256; ++k) {
            const std::string w = TokenName(static_cast<T>(k));
            if (!w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return (c >= 'A' && c <= 'Z') || c == '_'; }))
                words.insert(w);
        }
        l.keywords.assign(words.begin(), words.end());
        return l;
    }();
    return lang;
}

}  // namespace

const std::vector<CommandForm>& CommandForms(const std::string& name) {
    static const std::vector<CommandForm> none;
    const Language& l = TheLanguage();
    auto it = l.forms.find(Upper(name));
    return it == l.forms.end() ? none : it->second;
}

const std::vector<std::string>& CommandNames() { return TheLanguage().names; }

const std::vector<std::string>& Keywords() { return TheLanguage().keywords; }

CommandForm SubForm(const Symbol& sub) {
    std::vector<std::pair<std::string, bool>> params;
    for (const std::string& p : sub.params) params.emplace_back(p, false);
    return MakeForm(sub.name, params, sub.isString, "");
}

std::string Symbol::Signature() const {
    std::string shape = name + (isArray ? "()" : "");
    switch (kind) {
    case Sub: {
        std::string s = "SUB " + name;
        if (!params.empty()) {
            s += "(";
            for (size_t i = 0; i < params.size(); ++i) s += (i ? ", " : "") + params[i];
            s += ")";
        }
        return s;
    }
    case Global: return "GLOBAL " + shape;
    case Local: return "LOCAL " + shape;
    case Param: return shape;
    case Type: return "TYPE " + name;
    case Field: return shape;
    case Const: return "CONST " + name;
    }
    return name;
}

}  // namespace tvc::lsp
