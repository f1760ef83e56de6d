// The language server's view of a program, made by the compiler's front end: the same
// parse and check as `tolvanec check`, then the names of the text tied to what they
// stand for. This is the only file of the server that reads the front end's syntax tree.
#include "analysis.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "front.h"

namespace tvc::lsp {

namespace {

// A CONST's number as a reader writes it: 3, 0.25, 1e+30.
std::string ConstNumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

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

// The record TYPE of a value, by name ("" for a number or a string).
std::string RecordName(const Ty& t) { return t.base == Ty::Rec && t.rec ? t.rec->name : ""; }

class Builder {
public:
    Builder(Analysis& a) : a_(a) {}

    // Symbols of a parsed (and, when `checked`, checked) program; its files are mapped
    // onto the analysis' by path (a recovered program may lack files whose INCLUDE line
    // was left out).
    void Symbols(const Program& program, bool checked) {
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
        auto isString = [&](const Ty& t, const std::string& name) {
            return checked ? t.base == Ty::Str : !name.empty() && name.back() == '$';
        };
        for (const auto& rec : program.types) {
            if (rec->name.empty()) continue;
            Symbol t;
            t.kind = Symbol::Type;
            t.name = rec->name;
            t.at = place(rec->loc, "");
            if (t.at.file < 0) continue;
            t.line = t.endLine = rec->loc.line;
            t.col = t.endCol = rec->loc.col;
            const int type = Add(std::move(t), types_);
            for (const auto& f : rec->fields) {
                Symbol s;
                s.kind = Symbol::Field;
                s.name = f->name;
                s.isString = isString(f->type, f->name);
                s.isArray = f->isArray;
                s.typeName = checked ? RecordName(f->type) : f->as.name;
                s.at = place(f->loc, f->name);
                s.owner = type;
                Add(std::move(s), fields_[type]);
            }
        }
        for (const auto& c : program.consts) {
            Symbol s;
            s.kind = Symbol::Const;
            s.name = c->name;
            s.isString = isString(c->type, c->name);
            if (checked && c->known) s.value = s.isString ? "\"" + c->text + "\"" : ConstNumber(c->number);
            s.at = place(c->loc, c->name);
            if (s.at.file >= 0) Add(std::move(s), consts_);
        }
        for (const auto& proc : program.procs) {
            if (proc->name.empty()) continue;
            Symbol s;
            s.kind = Symbol::Sub;
            s.name = proc->name;
            s.isString = isString(proc->result, proc->name);
            s.typeName = checked ? RecordName(proc->result) : proc->as.name;
            s.at = place(proc->loc, "");
            if (s.at.file < 0) continue;
            s.line = s.endLine = proc->loc.line;
            s.col = s.endCol = proc->loc.col;
            for (const Param& prm : proc->params)
                s.params.push_back(prm.name + (prm.isArray ? "()" : "") + (prm.as.Empty() ? "" : " AS " + prm.as.name));
            const int sub = Add(std::move(s), subs_);
            for (const auto& v : proc->locals) {
                Symbol l = VarSymbol(*v, v->isParam ? Symbol::Param : Symbol::Local);
                l.at = place(v->loc, v->name);
                l.owner = sub;
                if (l.at.file >= 0) Add(std::move(l), locals_[sub]);
            }
        }
        for (const auto& v : program.globals) {
            Symbol g = VarSymbol(*v, Symbol::Global);
            g.at = place(v->loc, v->name);
            if (g.at.file >= 0) Add(std::move(g), globals_);
        }
        for (Symbol& s : a_.symbols)
            if (s.kind != Symbol::Sub && s.kind != Symbol::Type) {
                s.line = s.endLine = s.at.line;
                s.col = s.at.col;
                s.endCol = s.at.col + s.at.length;
            }
    }

    // The names of every file, each tied to its SUB, variable, TYPE, field, CONST,
    // command or included file.
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

    static Symbol VarSymbol(const Var& v, Symbol::Kind kind) {
        Symbol s;
        s.kind = kind;
        s.name = v.name;
        s.isString = v.type.base == Ty::Str;
        s.isArray = v.isArray;
        s.typeName = RecordName(v.type);
        return s;
    }

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
    int FieldOf(const std::string& record, const std::string& key) const {
        const int type = Find(types_, Upper(record));
        auto it = fields_.find(type);
        return it == fields_.end() ? -1 : Find(it->second, key);
    }

    // Where a SUB or TYPE block starts (its keyword) and its name.
    void Opens(int symbol, int file, const Token& keyword, const Token& name) {
        Symbol& s = a_.symbols[symbol];
        s.at = PlaceOf(name);
        s.at.file = file;
        s.line = s.endLine = keyword.loc.line;
        s.col = keyword.loc.col;
        s.endCol = name.loc.col + static_cast<int>(name.text.size());
    }

    void Walk(int file, const std::vector<Token>& toks) {
        int sub = -1, type = -1;
        const Scope* subLocals = nullptr;
        bool statementStart = true, skipLine = false;
        std::string chain;                // the record TYPE of the value just read
        std::vector<std::string> parens;  // the record TYPE of what each open '(' belongs to
        for (size_t i = 0; i < toks.size(); ++i) {
            const Token& t = toks[i];
            const Token& next = toks[std::min(i + 1, toks.size() - 1)];
            const T before = i > 0 ? toks[i - 1].kind : T::Newline;
            if (t.kind == T::Newline || t.kind == T::End || t.kind == T::Colon) {
                statementStart = true;
                if (t.kind != T::Colon) skipLine = false;
                chain.clear();
                parens.clear();
                continue;
            }
            if (skipLine) continue;
            const bool start = statementStart;
            statementStart = t.kind == T::Then || t.kind == T::Else;
            const std::string lastChain = chain;
            chain.clear();
            if (start && (t.kind == T::Sub || t.kind == T::Type) && next.kind == T::Name) {
                const bool isSub = t.kind == T::Sub;
                int& open = isSub ? sub : type;
                open = Find(isSub ? subs_ : types_, Upper(next.text));
                if (open >= 0 && a_.symbols[open].at.file == file && a_.symbols[open].line == t.loc.line) {
                    Opens(open, file, t, next);
                } else {
                    open = -1;
                }
                if (isSub) subLocals = sub >= 0 ? &locals_[sub] : nullptr;
                continue;  // the name itself is added below, as a use
            }
            const bool endSub = t.kind == T::EndSub || (t.kind == T::EndKw && next.kind == T::Sub);
            const bool endType = t.kind == T::EndType || (t.kind == T::EndKw && next.kind == T::Type);
            if (start && (endSub || endType)) {
                int& open = endSub ? sub : type;
                if (open >= 0) {
                    Symbol& s = a_.symbols[open];
                    s.endLine = t.loc.line;
                    s.endCol = t.kind == T::EndKw
                                   ? next.loc.col + static_cast<int>(std::string(endSub ? "SUB" : "TYPE").size())
                                   : t.loc.col + static_cast<int>(std::string(endSub ? "ENDSUB" : "ENDTYPE").size());
                }
                open = -1;
                if (endSub) subLocals = nullptr;
                ++i;  // SUB or TYPE after END
                continue;
            }
            if (start && (t.kind == T::Settings || t.kind == T::Option)) {
                skipLine = true;
                continue;
            }
            if (t.kind == T::Include && next.kind == T::String) {
                IncludeUse(file, next);
                ++i;
                continue;
            }
            if (t.kind == T::LParen) {
                parens.push_back(before == T::Name || before == T::RParen ? lastChain : "");
                continue;
            }
            if (t.kind == T::RParen) {
                if (!parens.empty()) {
                    chain = parens.back();
                    parens.pop_back();
                }
                continue;
            }
            if (t.kind == T::Dot) {
                chain = lastChain;
                continue;
            }
            if (t.kind != T::Name) continue;
            const std::string key = Upper(t.text);
            int target = -1;
            if (before == T::Dot) {
                target = FieldOf(lastChain, key);  // a field of the record before the dot
            } else if (before == T::As) {
                target = Find(types_, key);
            } else if (before == T::Sub) {
                target = Find(subs_, key);
            } else if (before == T::Type) {
                target = Find(types_, key);
            } else if (type >= 0 && start) {
                target = Find(fields_[type], key);  // a field's own line
            } else {
                if (subLocals) target = Find(*subLocals, key);
                if (target < 0) target = Find(globals_, key);
                if (target < 0) target = Find(consts_, key);
                if (target < 0) target = Find(subs_, key);
            }
            Use u;
            u.at = PlaceOf(t);
            if (target >= 0) {
                u.what = Use::OfSymbol;
                u.symbol = target;
                chain = a_.symbols[target].typeName;
            } else if (before != T::Dot && !CommandForms(key).empty()) {
                u.what = Use::OfCommand;
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
    Scope subs_, globals_, types_, consts_;
    std::unordered_map<int, Scope> locals_, fields_;
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
    auto it = std::upper_bound(
        uses.begin(), uses.end(), std::make_tuple(file, line, col),
        [](const std::tuple<int, int, int>& k, const Use& u) { return k < std::tie(u.at.file, u.at.line, u.at.col); });
    if (it == uses.begin()) return nullptr;
    --it;
    if (it->at.file != file || it->at.line != line || col > it->at.col + it->at.length) return nullptr;
    return &*it;
}

int Analysis::TypeNamed(const std::string& name) const {
    const std::string key = Upper(name);
    for (size_t i = 0; i < symbols.size(); ++i)
        if (symbols[i].kind == Symbol::Type && Upper(symbols[i].name) == key) return static_cast<int>(i);
    return -1;
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
        a.problems.push_back({{0, 1, 1, 0}, false, "cannot read " + path});
    for (const Diagnostic& d : main->diag.Items()) {
        const Loc loc = d.loc;
        Problem p;
        p.warning = d.severity == Severity::Warning;
        p.at = {loc.file, loc.line, loc.col, 0};
        const std::string line = main->program.sources.LineText(loc.file, loc.line);
        int end = loc.col - 1;
        while (end >= 0 && end < static_cast<int>(line.size()) && IsNameChar(line[end])) ++end;
        p.at.length = std::max(0, end - (loc.col - 1));
        if (p.at.length == 0 && loc.col - 1 < static_cast<int>(line.size())) p.at.length = 1;
        p.message = d.message;
        a.problems.push_back(std::move(p));
    }
    std::stable_sort(a.problems.begin(), a.problems.end(), [](const Problem& x, const Problem& y) {
        return std::tie(x.at.file, x.at.line, x.at.col) < std::tie(y.at.file, y.at.line, y.at.col);
    });

    Builder b(a);
    if (parsed) {
        a.namesChecked = true;
        b.Symbols(main->program, true);
    } else {
        std::map<std::string, std::set<int>> blank;
        const Parsed* last = main.get();
        std::unique_ptr<Parsed> round;
        for (int i = 0; i < kRecoveryRounds && last->diag.Count() > 0; ++i) {
            for (const Diagnostic& d : last->diag.Items())
                if (d.severity == Severity::Error && d.loc.file >= 0 &&
                    d.loc.file < static_cast<int>(last->program.sources.files.size()))
                    blank[last->program.sources.files[d.loc.file].path].insert(d.loc.line);
            round = ParseWith(path, read, blank);
            last = round.get();
        }
        if (round && round->diag.Count() == 0) {
            Check(round->program, CommandTable::BuiltIn(), round->diag);
            a.namesChecked = true;
            b.Symbols(round->program, true);
        } else {
            b.Symbols(main->program, false);  // no variables: they are known after the check
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

std::string ParamText(const cmdtable::Arg& a) {
    const cmdtable::KindInfo& k = cmdtable::Info(a.kind);
    std::string s = a.name;
    if (k.isString) s += "$";
    if (k.isArray) s += "()";
    if (k.isOut) s = "out " + s;
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
        const CommandTable& table = CommandTable::BuiltIn();
        for (const std::string& name : table.Names()) {
            for (const cmdtable::Command* c : table.Forms(name)) {
                std::vector<std::pair<std::string, bool>> params;
                for (const cmdtable::Arg& arg : c->args) params.emplace_back(ParamText(arg), arg.optional);
                l.forms[name].push_back(MakeForm(name, params, c->ReturnsString(), c->doc));
            }
            l.names.push_back(name);
        }
        std::sort(l.names.begin(), l.names.end());
        std::set<std::string> words = {"REM", "EXPLICIT"};
        for (const std::string& w : ReservedWords()) words.insert(w);
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
    const std::string as = typeName.empty() ? "" : " AS " + typeName;
    const std::string shape = name + (isArray ? "()" : "") + as;
    switch (kind) {
        case Sub: {
            std::string s = "SUB " + name;
            if (!params.empty()) {
                s += "(";
                for (size_t i = 0; i < params.size(); ++i) s += (i ? ", " : "") + params[i];
                s += ")";
            }
            return s + as;
        }
        case Global: return "GLOBAL " + shape;
        case Local: return "LOCAL " + shape;
        case Param: return shape;
        case Type: return "TYPE " + name;
        case Field: return shape;
        case Const: return "CONST " + name + (value.empty() ? "" : " = " + value);
    }
    return name;
}

}  // namespace tvc::lsp
