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

// The record TYPE of a value, by name ("" for a number or a string).
std::string RecordName(const Ty& t) { return t.base == Ty::Rec && t.rec ? t.rec->name : ""; }

class Builder {
public:
    Builder(Analysis& a) : a_(a) {}

    // Symbols of a parsed (and, when `checked`, checked) program; its files are mapped
    // onto the analysis' by path (a recovered program may lack files whose INCLUDE line
    // was left out).
    void Symbols(const Program& program, bool checked) {
        for (const SourceFile& f : program.sources.files) fileMap_.push_back(a_.FileIndex(f.path));
        auto isString = [&](const Ty& t, const std::string& name) {
            return checked ? t.base == Ty::Str : !name.empty() && name.back() == '$';
        };
        for (const auto& rec : program.types) {
            if (rec->name.empty()) continue;
            Symbol t;
            t.kind = Symbol::Type;
            t.name = rec->name;
            if (!Block(t, rec->loc, rec->nameLoc, rec->end)) continue;
            const int type = Add(std::move(t), rec.get());
            for (const auto& f : rec->fields) {
                Symbol s;
                s.kind = Symbol::Field;
                s.name = f->name;
                s.isString = isString(f->type, f->name);
                s.isArray = f->isArray;
                s.typeName = checked ? RecordName(f->type) : f->as.name;
                s.owner = type;
                Add(Named(std::move(s), f->loc), f.get());
            }
        }
        for (const auto& c : program.consts) {
            Symbol s;
            s.kind = Symbol::Const;
            s.name = c->name;
            s.isString = isString(c->type, c->name);
            if (checked && c->known) s.value = s.isString ? "\"" + c->text + "\"" : ConstNumber(c->number);
            Add(Named(std::move(s), c->loc), c.get());
        }
        for (const auto& proc : program.procs) {
            if (proc->name.empty()) continue;
            Symbol s;
            s.kind = Symbol::Sub;
            s.name = proc->name;
            s.isString = isString(proc->result, proc->name);
            s.typeName = checked ? RecordName(proc->result) : proc->as.name;
            if (!Block(s, proc->loc, proc->nameLoc, proc->end)) continue;
            for (const Param& prm : proc->params)
                s.params.push_back(prm.name + (prm.isArray ? "()" : "") + (prm.as.Empty() ? "" : " AS " + prm.as.name));
            const int sub = Add(std::move(s), proc.get());
            for (const auto& v : proc->locals) {
                Symbol l = VarSymbol(*v, v->isParam ? Symbol::Param : Symbol::Local);
                l.owner = sub;
                Add(Named(std::move(l), v->loc), v.get());
            }
        }
        for (const auto& v : program.globals) Add(Named(VarSymbol(*v, Symbol::Global), v->loc), v.get());
        Uses(program);
    }

private:
    // The names the front end tied to what they stand for, and the files named by INCLUDE.
    void Uses(const Program& program) {
        for (const NameUse& n : NameUses(program)) {
            Use u;
            u.at = PlaceOf(n.loc);
            if (u.at.file < 0) continue;
            if (n.command) {
                u.what = Use::OfCommand;
                u.name = Upper(n.name);
            } else {
                const void* node = n.var        ? static_cast<const void*>(n.var)
                                   : n.proc     ? static_cast<const void*>(n.proc)
                                   : n.constant ? static_cast<const void*>(n.constant)
                                   : n.record   ? static_cast<const void*>(n.record)
                                                : static_cast<const void*>(n.field);
                auto it = ofNode_.find(node);
                if (it == ofNode_.end()) continue;
                u.symbol = it->second;
            }
            a_.uses.push_back(std::move(u));
        }
        for (const IncludeDecl& inc : program.includes) IncludeUse(inc);
        std::sort(a_.uses.begin(), a_.uses.end(), [](const Use& x, const Use& y) {
            return std::tie(x.at.file, x.at.line, x.at.col) < std::tie(y.at.file, y.at.line, y.at.col);
        });
    }

    static Symbol VarSymbol(const Var& v, Symbol::Kind kind) {
        Symbol s;
        s.kind = kind;
        s.name = v.name;
        s.isString = v.type.base == Ty::Str;
        s.isArray = v.isArray;
        s.typeName = RecordName(v.type);
        return s;
    }

    Place PlaceOf(Loc loc) const {
        Place p;
        p.file = loc.file >= 0 && loc.file < static_cast<int>(fileMap_.size()) ? fileMap_[loc.file] : -1;
        p.line = loc.line;
        p.col = loc.col;
        p.length = loc.length;
        return p;
    }

    // A symbol declared by its name alone: its span is the name.
    Symbol Named(Symbol s, Loc name) const {
        s.at = PlaceOf(name);
        s.line = s.endLine = s.at.line;
        s.col = s.at.col;
        s.endCol = s.at.col + s.at.length;
        return s;
    }

    // A SUB or TYPE: from its keyword to the end of its closing line (to its name when it
    // is never closed). False when its file is not the analysis'.
    bool Block(Symbol& s, Loc keyword, Loc name, Loc end) const {
        s.at = PlaceOf(name);
        if (s.at.file < 0) return false;
        s.line = keyword.line;
        s.col = keyword.col;
        const bool closed = end.length > 0 && end.file == keyword.file;
        s.endLine = closed ? end.line : name.line;
        s.endCol = closed ? end.col + end.length : name.col + name.length;
        return true;
    }

    int Add(Symbol s, const void* node) {
        if (s.at.file < 0) return -1;
        const int index = static_cast<int>(a_.symbols.size());
        a_.symbols.push_back(std::move(s));
        ofNode_[node] = index;
        return index;
    }

    // The quoted name after INCLUDE, resolved as the parser resolves it.
    void IncludeUse(const IncludeDecl& inc) {
        namespace fs = std::filesystem;
        Use u;
        u.what = Use::OfInclude;
        u.at = PlaceOf(inc.nameLoc);
        if (u.at.file < 0) return;
        const fs::path name(inc.name);
        const fs::path path = name.is_absolute() ? name : fs::path(a_.files[u.at.file].path).parent_path() / name;
        u.includedPath = path.string();
        u.includedFile = a_.FileIndex(u.includedPath);
        a_.uses.push_back(std::move(u));
    }

    Analysis& a_;
    std::vector<int> fileMap_;
    std::unordered_map<const void*, int> ofNode_;
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

int Analysis::Lookup(int file, int line, const std::string& name) const {
    const std::string key = Upper(name);
    const int sub = SubAt(file, line);
    int found = -1;
    for (size_t i = 0; i < symbols.size(); ++i) {
        const Symbol& s = symbols[i];
        if (Upper(s.name) != key) continue;
        if ((s.kind == Symbol::Local || s.kind == Symbol::Param) && s.owner == sub && sub >= 0)
            return static_cast<int>(i);
        if ((s.kind == Symbol::Global || s.kind == Symbol::Sub) && found < 0) found = static_cast<int>(i);
    }
    return found;
}

int Analysis::FieldOf(int type, const std::string& name) const {
    const std::string key = Upper(name);
    for (size_t i = 0; i < symbols.size(); ++i)
        if (type >= 0 && symbols[i].kind == Symbol::Field && symbols[i].owner == type && Upper(symbols[i].name) == key)
            return static_cast<int>(i);
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
        // What the report is about, as long as the front end found it, and within its line;
        // a place between tokens gets the character there.
        const int rest = static_cast<int>(main->program.sources.LineText(loc.file, loc.line).size()) - (loc.col - 1);
        p.at = {loc.file, loc.line, loc.col, std::clamp(loc.length > 0 ? loc.length : 1, 0, std::max(rest, 0))};
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
