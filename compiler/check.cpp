// Names, types and calls.
//
// Variables first given a value in the main program (or declared GLOBAL, or sized by
// DIM there) are global; in a SUB, parameters, LOCAL names, and names first given a
// value there are local. A name that is read but never given a value is a variable
// too, reading 0 (or the empty string), with a warning that says where it is set
// elsewhere if it is. With OPTION EXPLICIT, every variable must be declared (GLOBAL,
// LOCAL, DIM or a parameter).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "front.h"
#include "names.h"

namespace tvc {

std::string TyText(Ty t, bool array) {
    switch (t.base) {
        case Ty::Num: return array ? "a number array" : "a number";
        case Ty::Str: return array ? "a string array" : "a string";
        case Ty::Rec: return (array ? "an array of " : "a ") + t.rec->name;
        case Ty::None: break;
    }
    return "nothing";
}

const FieldDecl* Record::Find(const std::string& fieldName) const {
    const std::string key = Upper(fieldName);
    for (const auto& f : fields)
        if (Upper(f->name) == key) return f.get();
    return nullptr;
}

namespace {

constexpr double kMaxFieldElements = 1 << 24;

bool IsStrName(const std::string& name) { return !name.empty() && name.back() == '$'; }

}  // namespace

int EditDistance(const std::string& a, const std::string& b) {
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        int diag = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            const int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

namespace {

// The closest of `candidates` (upper-case key, spelling) to `name`, as a hint.
template <class Candidates>
std::string ClosestOf(const std::string& name, const Candidates& candidates) {
    const std::string key = Upper(name);
    std::string best;
    int bestD = 3;
    for (const auto& [k, spelled] : candidates) {
        const int d = EditDistance(key, k);
        if (d < bestD && d * 2 < static_cast<int>(key.size())) {
            bestD = d;
            best = spelled;
        }
    }
    return best.empty() ? "" : " (did you mean '" + best + "'?)";
}

// A value worked out while compiling: a CONST, an array field's size.
struct Value {
    Ty type;  // None when it cannot be worked out
    double number = 0;
    std::string text;
    size_t length = 0;  // a text's length before joins cut it to kMaxStringLength
};

// What an argument is: a whole array, a variable (or element or field), or a value.
struct ArgShape {
    Ty type;
    bool array = false;
    bool lvalue = false;
};
std::string ShapeText(const ArgShape& s) { return TyText(s.type, s.array); }

// A name that some statement declares or gives a value to.
struct Named {
    Loc loc;
    std::string name;
    bool isArray = false;
    const TypeName* as = nullptr;
    bool declared = false;  // DIM, LOCAL or GLOBAL (not only given a value)
    bool local = false;     // LOCAL
};

class Checker {
public:
    Checker(Program& p, const CommandTable& commands, Diagnostics& diag) : p_(p), cmds_(commands), diag_(diag) {}

    void Run() {
        DeclareConsts();
        DeclareTypes();
        for (auto& proc : p_.procs) DeclareProc(*proc);
        CollectGlobals();
        for (auto& proc : p_.procs) CollectLocals(*proc);
        cur_ = nullptr;
        CheckBlock(p_.main);
        for (auto& proc : p_.procs) {
            cur_ = proc.get();
            locals_.clear();
            for (auto& v : proc->locals) locals_[Upper(v->name)] = v.get();
            CheckBlock(proc->body);
        }
    }

private:
    void Error(Loc loc, const std::string& m) { diag_.Error(loc, m); }

    // ---- names that are taken --------------------------------------------------------------
    bool NameIsTaken(Loc loc, const std::string& name, const char* what) {
        if (!cmds_.Forms(name).empty()) {
            Error(loc, "'" + name + "' is a command and cannot name " + what);
            return true;
        }
        if (consts_.count(Upper(name))) {
            Error(loc, "'" + name + "' is a CONST and cannot name " + what);
            return true;
        }
        return false;
    }

    // ---- CONSTs ----------------------------------------------------------------------------
    void DeclareConsts() {
        for (auto& c : p_.consts) {
            const std::string key = Upper(c->name);
            c->type = IsStrName(c->name) ? Ty::String() : Ty::Number();
            c->cpp = CppName(c->name);
            if (!cmds_.Forms(c->name).empty()) {
                Error(c->loc, "'" + c->name + "' is a command and cannot name a CONST");
                continue;
            }
            if (consts_.count(key)) {
                Error(c->loc, "CONST " + c->name + " is defined twice (first at line " +
                                  std::to_string(consts_[key]->loc.line) + ")");
                continue;
            }
            const Value v = Fold(*c->value);
            if (v.type.base != Ty::None) {
                if (v.type != c->type) {
                    Error(c->value->loc, "CONST " + c->name + " holds " + TyText(c->type) + ", not " + TyText(v.type) +
                                             (c->type.base == Ty::Str ? " (write the number in quotes)"
                                                                      : " (a name ending in $ holds a string)"));
                } else {
                    c->number = v.number;
                    c->text = v.text;
                    c->known = true;
                    // A single text too long is warned of where it is written.
                    if (v.length > kMaxStringLength && c->value->kind != Expr::String)
                        diag_.Warning(c->loc, "CONST " + c->name + " is " + std::to_string(v.length) +
                                                  " characters long once its texts are joined, but a string holds at "
                                                  "most " +
                                                  std::to_string(kMaxStringLength) + ": it keeps only the first " +
                                                  std::to_string(kMaxStringLength));
                }
            }
            consts_[key] = c.get();  // known from here on, also when its value was wrong
        }
    }

    // The value of a constant expression: numbers, texts, CONSTs defined above it, and
    // operators, worked out as the runtime would.
    Value Fold(const Expr& e) {
        Value v;
        auto bad = [&](const std::string& why) {
            Error(e.loc, why);
            return Value{};
        };
        switch (e.kind) {
            case Expr::Number: return {Ty::Number(), e.number, ""};
            case Expr::String: return {Ty::String(), 0, e.text, e.text.size()};
            case Expr::Name: {
                auto it = consts_.find(Upper(e.text));
                if (it == consts_.end())
                    return bad(
                        "a value worked out while compiling takes numbers, texts and the CONSTs defined "
                        "above it; '" +
                        e.text + "' is none of them");
                if (!it->second->known) return Value{};
                return {it->second->type, it->second->number, it->second->text, it->second->text.size()};
            }
            case Expr::Unary: {
                const Value a = Fold(*e.args[0]);
                if (a.type.base == Ty::None) return a;
                if (a.type.base != Ty::Num) return bad("this operator takes a number");
                return {Ty::Number(), e.op == T::Not ? (a.number == 0 ? 1.0 : 0.0) : -a.number, ""};
            }
            case Expr::Binary: {
                const Value a = Fold(*e.args[0]);
                const Value b = Fold(*e.args[1]);
                if (a.type.base == Ty::None || b.type.base == Ty::None) return Value{};
                if (a.type.base == Ty::Str || b.type.base == Ty::Str) return FoldTexts(e, a, b);
                v.type = Ty::Number();
                const double x = a.number, y = b.number;
                switch (e.op) {
                    case T::Plus: v.number = x + y; break;
                    case T::Minus: v.number = x - y; break;
                    case T::Star: v.number = x * y; break;
                    case T::Slash: v.number = x / y; break;
                    case T::Caret: v.number = std::pow(x, y); break;
                    case T::Mod: v.number = Remainder(x, y); break;
                    case T::Eq: v.number = x == y; break;
                    case T::Ne: v.number = x != y; break;
                    case T::Lt: v.number = x < y; break;
                    case T::Le: v.number = x <= y; break;
                    case T::Gt: v.number = x > y; break;
                    case T::Ge: v.number = x >= y; break;
                    case T::And: v.number = x != 0 && y != 0; break;
                    case T::Or: v.number = x != 0 || y != 0; break;
                    case T::Xor: v.number = (x != 0) != (y != 0); break;
                    default: break;
                }
                if (!std::isfinite(v.number)) return bad("this value is not a finite number");
                return v;
            }
            case Expr::Call:
            case Expr::Field: break;
        }
        return bad("a value worked out while compiling cannot call '" + e.text +
                   "'; it takes numbers, texts, CONSTs and operators");
    }
    // MOD as the runtime works it: the remainder of the truncated operands, with the
    // sign of the dividend; 0 when the divisor truncates to 0.
    static double Remainder(double a, double b) {
        if (b == 0 || !std::isfinite(a) || !std::isfinite(b)) return 0;
        const double ta = std::trunc(a), tb = std::trunc(b);
        if (tb == 0) return 0;
        return std::fmod(ta, tb) + 0.0;
    }
    Value FoldTexts(const Expr& e, const Value& a, const Value& b) {
        if (a.type != b.type) {
            Error(e.loc,
                  "a value worked out while compiling joins or compares texts with texts only: "
                  "write the number in quotes");
            return Value{};
        }
        switch (e.op) {
            case T::Plus:
            case T::Minus:
            case T::Star:
            case T::Slash:
            case T::Caret: {
                std::string joined = a.text + b.text;
                if (joined.size() > kMaxStringLength) joined.resize(kMaxStringLength);
                return {Ty::String(), 0, joined, a.length + b.length};
            }
            case T::Eq:
            case T::Ne:
            case T::Lt:
            case T::Le:
            case T::Gt:
            case T::Ge: {
                const int c = std::strcmp(a.text.c_str(), b.text.c_str());
                const bool holds = e.op == T::Eq   ? c == 0
                                   : e.op == T::Ne ? c != 0
                                   : e.op == T::Lt ? c < 0
                                   : e.op == T::Le ? c <= 0
                                   : e.op == T::Gt ? c > 0
                                                   : c >= 0;
                return {Ty::String(), 0, holds ? "1" : "0", 1};
            }
            default: break;
        }
        Error(e.loc, std::string(TokenName(e.op)) + " takes numbers, not texts");
        return Value{};
    }

    // ---- TYPEs -----------------------------------------------------------------------------
    // The type a declaration names: AS Type, else a string for a name ending in $, else a
    // number. None after an error.
    Ty Resolve(const TypeName& as, const std::string& name) {
        if (as.Empty()) return IsStrName(name) ? Ty::String() : Ty::Number();
        auto it = types_.find(Upper(as.name));
        if (it == types_.end()) {
            std::map<std::string, std::string> known;
            for (const auto& [k, r] : types_) known[k] = r->name;
            Error(as.loc, "there is no TYPE " + as.name + ClosestOf(as.name, known));
            return Ty{};
        }
        if (IsStrName(name)) {
            Error(as.loc, "'" + name + "' ends in $ and holds a string; a record's name has no $");
            return Ty{};
        }
        return Ty::Of(it->second);
    }

    void DeclareTypes() {
        for (auto& r : p_.types) {
            if (r->name.empty()) continue;
            const std::string key = Upper(r->name);
            if (types_.count(key)) {
                Error(r->loc, "TYPE " + r->name + " is defined twice (first at line " +
                                  std::to_string(types_[key]->loc.line) + ")");
                continue;
            }
            if (IsStrName(r->name)) Error(r->loc, "a TYPE's name has no $");
            r->cpp = CppTypeName(r->name);
            types_[key] = r.get();
        }
        for (auto& r : p_.types) {
            std::set<std::string> seen;
            for (auto& f : r->fields) {
                if (!seen.insert(Upper(f->name)).second)
                    Error(f->loc, "TYPE " + r->name + " has two fields '" + f->name + "'");
                f->cpp = CppName(f->name);
                f->type = Resolve(f->as, f->name);
                double elements = 1;
                for (const ExprP& size : f->sizeExprs) {
                    const Value v = Fold(*size);
                    if (v.type.base == Ty::None) continue;
                    if (v.type.base != Ty::Num || !(v.number >= 1 && v.number <= kMaxFieldElements) ||
                        v.number != std::trunc(v.number)) {
                        Error(size->loc, "an array field's size must be a whole number from 1 to " +
                                             std::to_string(static_cast<int>(kMaxFieldElements)));
                        continue;
                    }
                    elements *= v.number;
                    f->sizes.push_back(v.number);
                }
                if (elements > kMaxFieldElements)
                    Error(f->loc, "the array field '" + f->name + "' holds more than " +
                                      std::to_string(static_cast<int>(kMaxFieldElements)) + " elements");
            }
        }
        OrderTypes();
    }

    // Puts every TYPE after the TYPEs its fields hold (the C++ needs them complete);
    // a TYPE that holds itself, directly or through others, is an error.
    void OrderTypes() {
        std::map<const Record*, int> waiting;  // fields of TYPEs not yet placed
        std::map<const Record*, std::vector<Record*>> users;
        for (auto& r : p_.types) {
            waiting[r.get()] = 0;
            for (auto& f : r->fields)
                if (f->type.base == Ty::Rec) {
                    ++waiting[r.get()];
                    users[f->type.rec].push_back(r.get());
                }
        }
        std::vector<Record*> ready, order;
        for (auto& r : p_.types)
            if (waiting[r.get()] == 0) ready.push_back(r.get());
        while (!ready.empty()) {
            Record* r = ready.back();
            ready.pop_back();
            order.push_back(r);
            for (Record* u : users[r])
                if (--waiting[u] == 0) ready.push_back(u);
        }
        std::vector<std::unique_ptr<Record>> sorted;
        for (Record* r : order)
            for (auto& owned : p_.types)
                if (owned.get() == r) sorted.push_back(std::move(owned));
        for (auto& owned : p_.types)
            if (owned) {
                Error(owned->loc,
                      "TYPE " + owned->name + " holds itself through its fields; a TYPE cannot contain itself");
                sorted.push_back(std::move(owned));
            }
        p_.types = std::move(sorted);
    }

    // ---- SUBs ------------------------------------------------------------------------------
    void DeclareProc(Proc& proc) {
        if (proc.name.empty() || NameIsTaken(proc.loc, proc.name, "a SUB")) return;
        const std::string key = Upper(proc.name);
        if (procs_.count(key)) {
            Error(proc.loc, "SUB " + proc.name + " is defined twice (first at line " +
                                std::to_string(procs_[key]->loc.line) + ")");
            return;
        }
        procs_[key] = &proc;
        proc.cpp = CppName(proc.name);
        proc.result = Resolve(proc.as, proc.name);
    }

    // ---- variables -------------------------------------------------------------------------
    // Declares a variable in `scope` (the globals or one SUB's locals).
    Var* Declare(std::map<std::string, Var*>& scope, std::vector<std::unique_ptr<Var>>& owner, const Named& n,
                 bool global) {
        const std::string key = Upper(n.name);
        const Ty type = n.as ? Resolve(*n.as, n.name) : Resolve(TypeName{}, n.name);
        auto it = scope.find(key);
        if (it != scope.end()) {
            Var* v = it->second;
            if (!n.declared) return v;  // only given a value: the statement's check says what is wrong
            if (v->isArray != n.isArray)
                Error(n.loc, "'" + n.name + "' is " + (v->isArray ? "an array" : "a plain variable") + " (line " +
                                 std::to_string(v->loc.line) + ") and cannot also be " +
                                 (n.isArray ? "an array" : "a plain variable"));
            else if (type.base != Ty::None && v->type != type)
                Error(n.loc, "'" + n.name + "' holds " + TyText(v->type, v->isArray) + " (line " +
                                 std::to_string(v->loc.line) + ") and cannot also hold " + TyText(type, n.isArray));
            return v;
        }
        if (NameIsTaken(n.loc, n.name, "a variable")) return nullptr;
        if (procs_.count(key)) {
            Error(n.loc, "'" + n.name + "' is the name of a SUB");
            return nullptr;
        }
        auto v = std::make_unique<Var>();
        v->name = n.name;
        v->cpp = CppName(n.name);
        v->loc = n.loc;
        v->type = type.base == Ty::None ? Resolve(TypeName{}, n.name) : type;
        v->isArray = n.isArray;
        v->isGlobal = global;
        Var* raw = v.get();
        scope[key] = raw;
        owner.push_back(std::move(v));
        return raw;
    }

    // Names a statement (and the blocks in it) declares or gives a value to; the ones
    // only given a value when `implicit`.
    void Gather(const Stmt& s, std::vector<Named>& out, bool implicit) {
        switch (s.kind) {
            case Stmt::Global:
            case Stmt::Local:
                for (const Decl& d : As<DeclStmt>(s).decls)
                    out.push_back({d.loc, d.name, d.isArray, &d.as, true, s.kind == Stmt::Local});
                break;
            case Stmt::Dim:
                for (const DimItem& item : As<DimStmt>(s).items) {
                    const Expr& t = *item.target;
                    if (t.kind == Expr::Name || t.kind == Expr::Call)
                        out.push_back({t.loc, t.text, t.kind == Expr::Call, &item.as, true, false});
                }
                break;
            case Stmt::Assign: {
                const Expr& t = *As<AssignStmt>(s).target;
                if (implicit && t.kind == Expr::Name) out.push_back({t.loc, t.text, false, nullptr, false, false});
                break;
            }
            case Stmt::For: {
                const Expr& v = *As<ForStmt>(s).var;
                if (implicit) out.push_back({v.loc, v.text, false, nullptr, false, false});
                break;
            }
            default: break;
        }
        if (implicit) ForEachExpr(s, [&](const Expr& e) { OutArgs(e, out); });
        ForEachBlock(s, [&](const Block& b) {
            for (const auto& inner : b) Gather(*inner, out, implicit);
        });
    }
    // Calls `f` on every expression of the statement itself (not of its blocks) and on
    // every part of them.
    template <class F>
    static void ForEachExpr(const Stmt& s, F&& f) {
        auto walk = [&](auto&& self, const ExprP& e) -> void {
            if (!e) return;
            f(*e);
            self(self, e->object);
            for (const ExprP& a : e->args) self(self, a);
        };
        auto each = [&](const ExprP& e) { walk(walk, e); };
        switch (s.kind) {
            case Stmt::Assign:
                each(As<AssignStmt>(s).target);
                each(As<AssignStmt>(s).value);
                break;
            case Stmt::Call: each(As<CallStmt>(s).call); break;
            case Stmt::If:
                for (const auto& b : As<IfStmt>(s).branches) each(b.cond);
                break;
            case Stmt::For:
                each(As<ForStmt>(s).start);
                each(As<ForStmt>(s).limit);
                each(As<ForStmt>(s).step);
                break;
            case Stmt::While: each(As<WhileStmt>(s).cond); break;
            case Stmt::Repeat: each(As<RepeatStmt>(s).cond); break;
            case Stmt::Select:
                each(As<SelectStmt>(s).subject);
                for (const CaseArm& arm : As<SelectStmt>(s).arms)
                    for (const CaseItem& item : arm.items) {
                        each(item.lo);
                        each(item.hi);
                    }
                break;
            case Stmt::Return: each(As<ReturnStmt>(s).value); break;
            case Stmt::Dim:
                for (const DimItem& item : As<DimStmt>(s).items) each(item.target);
                break;
            case Stmt::Local:
            case Stmt::Global:
                for (const Decl& d : As<DeclStmt>(s).decls) each(d.init);
                break;
            case Stmt::Break:
            case Stmt::Continue: break;
        }
    }

    // Plain names passed where a command writes its result, or an array (which it may
    // fill: SPLITSTR, GETFILELIST).
    void OutArgs(const Expr& call, std::vector<Named>& out) {
        if (call.kind != Expr::Call && call.kind != Expr::Name) return;
        for (const cmdtable::Command* c : cmds_.Forms(call.text))
            for (size_t i = 0; i < call.args.size() && i < c->args.size(); ++i) {
                const cmdtable::KindInfo& k = cmdtable::Info(c->args[i].kind);
                const Expr& a = *call.args[i];
                const bool plainName = a.kind == Expr::Name || (a.kind == Expr::Call && a.parens && a.args.empty());
                if ((k.isOut || k.isArray) && plainName && IsStrName(a.text) == k.isString &&
                    !consts_.count(Upper(a.text)))
                    out.push_back({a.loc, a.text, k.isArray, nullptr, false, false});
            }
    }
    bool IsConstName(const Named& n) { return consts_.count(Upper(n.name)) > 0; }

    void CollectGlobals() {
        std::vector<Named> names;
        for (const auto& s : p_.main) Gather(*s, names, !p_.explicitDecl);
        for (const Named& n : names)
            if (n.declared || !IsConstName(n)) Declare(globals_, p_.globals, n, true);
    }

    void CollectLocals(Proc& proc) {
        std::map<std::string, Var*> scope;
        for (Param& prm : proc.params) {
            if (scope.count(Upper(prm.name))) {
                Error(prm.loc, "the parameter '" + prm.name + "' is named twice");
                continue;
            }
            prm.var = Declare(scope, proc.locals, {prm.loc, prm.name, prm.isArray, &prm.as, true, true}, false);
            if (prm.var) prm.var->isParam = true;
        }
        // Declared locals first, then what the body gives a value to.
        std::vector<Named> names;
        for (const auto& s : proc.body) Gather(*s, names, false);
        for (const Named& n : names) {
            const std::string key = Upper(n.name);
            if (auto it = scope.find(key); it != scope.end()) {
                if (it->second->isParam && n.local)
                    Error(n.loc, "'" + n.name + "' is already a parameter");
                else
                    Declare(scope, proc.locals, n, false);  // declared again: it must agree
                continue;
            }
            // DIM of a global sizes (or renews) the global; LOCAL always makes a local.
            if (!n.local && globals_.count(key) && !LocalDeclared(proc.body, key)) continue;
            Declare(scope, proc.locals, n, false);
        }
        if (!p_.explicitDecl) {
            std::vector<Named> implicitNames;
            for (const auto& s : proc.body) Gather(*s, implicitNames, true);
            for (const Named& n : implicitNames) {
                const std::string key = Upper(n.name);
                if (n.declared || scope.count(key) || globals_.count(key) || IsConstName(n)) continue;
                Declare(scope, proc.locals, n, false);
            }
        }
        for (const auto& v : proc.locals)
            if (!v->isParam) localElsewhere_.emplace(Upper(v->name), std::make_pair(&proc, v.get()));
    }
    bool LocalDeclared(const Block& b, const std::string& key) {
        for (const auto& s : b) {
            if (s->kind == Stmt::Local)
                for (const Decl& d : As<DeclStmt>(*s).decls)
                    if (Upper(d.name) == key) return true;
            bool found = false;
            ForEachBlock(*s, [&](const Block& inner) { found = found || LocalDeclared(inner, key); });
            if (found) return true;
        }
        return false;
    }

    Var* Lookup(const std::string& name) {
        const std::string key = Upper(name);
        if (cur_) {
            auto it = locals_.find(key);
            if (it != locals_.end()) return it->second;
        }
        auto it = globals_.find(key);
        return it == globals_.end() ? nullptr : it->second;
    }

    std::string Suggest(const std::string& name, bool commands = false) {
        if (diag_.Full()) return "";  // nothing more is reported: spare the search
        std::map<std::string, std::string> known;
        if (cur_)
            for (auto& [k, v] : locals_) known[k] = v->name;
        for (auto& [k, v] : globals_) known[k] = v->name;
        for (auto& [k, pr] : procs_) known[k] = pr->name;
        for (auto& [k, c] : consts_) known[k] = c->name;
        if (commands)
            for (const std::string& c : cmds_.Names()) known[c] = c;
        return ClosestOf(name, known);
    }

    // Where else the name is a variable: "SUB Setup gives it a value, but there it is
    // local: ...", for names the main program or another SUB reads in vain.
    std::string ElsewhereHint(const std::string& name, bool array) {
        auto range = localElsewhere_.equal_range(Upper(name));
        for (auto it = range.first; it != range.second; ++it) {
            const auto& [proc, var] = it->second;
            if (proc == cur_ || var->isArray != array) continue;
            return std::string(": SUB ") + proc->name + (array ? " DIMs it" : " gives it a value") +
                   ", but there it is local; to share it, declare it GLOBAL " + var->name + (array ? "()" : "") +
                   (cur_ ? " outside the SUBs" : "");
        }
        return "";
    }

    // A name read but never given a value: a variable of its own (0 or empty) and a
    // warning; with OPTION EXPLICIT an error.
    Var* NeverGiven(const Expr& e) {
        if (p_.explicitDecl) {
            Error(e.loc, "'" + e.text + "' is not declared (OPTION EXPLICIT): declare it with GLOBAL or LOCAL" +
                             Suggest(e.text));
            return nullptr;
        }
        if (diag_.WarningCount() < Diagnostics::kMaxWarnings) {
            std::string hint = ElsewhereHint(e.text, false);
            if (hint.empty()) hint = Suggest(e.text);
            diag_.Warning(e.loc, "'" + e.text + "' is never given a value, so it reads as " +
                                     (IsStrName(e.text) ? "the empty string" : "0") + hint);
        }
        const Named n{e.loc, e.text, false, nullptr, false, false};
        if (cur_) {
            Var* v = Declare(locals_, cur_->locals, n, false);
            return v;
        }
        return Declare(globals_, p_.globals, n, true);
    }

    // ---- statements ------------------------------------------------------------------------
    void CheckBlock(Block& b) {
        for (auto& s : b) CheckStmt(*s);
    }

    // A value of type `value` stored where `target` is: numbers become text in strings;
    // records only into records of their TYPE.
    void Store(Loc loc, Ty target, Ty value, const std::string& what) {
        if (target.base == Ty::None || value.base == Ty::None || target == value) return;
        if (target.base == Ty::Str && value.base == Ty::Num) return;
        if (target.base == Ty::Num && value.base == Ty::Str)
            Error(loc, "a string cannot be stored in the number " + what + " (VAL reads a number from text)");
        else
            Error(loc, TyText(value) + " cannot be stored in the " + what + ", which holds " + TyText(target));
    }

    // A condition: a number, or a string counted by its number.
    void Condition(Expr& e) {
        const Ty t = ExprType(e);
        if (t.base == Ty::Rec) Error(e.loc, TyText(t) + " is not a condition");
    }

    void CheckStmt(Stmt& st) {
        switch (st.kind) {
            case Stmt::Assign: {
                auto& s = As<AssignStmt>(st);
                const Ty t = Target(*s.target);
                const Ty v = ExprType(*s.value);
                Store(s.value->loc, t, v, TargetText(*s.target));
                break;
            }
            case Stmt::Call: CallStatement(As<CallStmt>(st)); break;
            case Stmt::If: {
                auto& s = As<IfStmt>(st);
                for (auto& b : s.branches) {
                    Condition(*b.cond);
                    CheckBlock(b.body);
                }
                CheckBlock(s.elseBody);
                break;
            }
            case Stmt::For: {
                auto& s = As<ForStmt>(st);
                const Ty t = Target(*s.var);
                if (t.base != Ty::Num && t.base != Ty::None)
                    Error(s.var->loc, "a FOR loop counts with a number variable");
                NeedNum(*s.start, "the start of a FOR loop");
                NeedNum(*s.limit, "the end of a FOR loop");
                if (s.step) NeedNum(*s.step, "the STEP of a FOR loop");
                CheckBlock(s.body);
                break;
            }
            case Stmt::While: {
                auto& s = As<WhileStmt>(st);
                Condition(*s.cond);
                CheckBlock(s.body);
                break;
            }
            case Stmt::Repeat: {
                auto& s = As<RepeatStmt>(st);
                CheckBlock(s.body);
                Condition(*s.cond);
                break;
            }
            case Stmt::Select: SelectStatement(As<SelectStmt>(st)); break;
            case Stmt::Return: ReturnStatement(As<ReturnStmt>(st)); break;
            case Stmt::Dim:
                for (DimItem& item : As<DimStmt>(st).items) DimItemCheck(item);
                break;
            case Stmt::Local:
            case Stmt::Global:
                for (Decl& d : As<DeclStmt>(st).decls) {
                    d.var = Lookup(d.name);
                    if (d.init && d.var)
                        Store(d.init->loc, d.var->type, ExprType(*d.init), "variable '" + d.name + "'");
                    else if (d.init)
                        ExprType(*d.init);
                }
                break;
            case Stmt::Break:
            case Stmt::Continue: break;
        }
    }

    void SelectStatement(SelectStmt& s) {
        const Ty t = ExprType(*s.subject);
        if (t.base == Ty::Rec) Error(s.subject->loc, "SELECT CASE takes a number or a string, not " + TyText(t));
        for (CaseArm& arm : s.arms) {
            for (CaseItem& item : arm.items)
                for (ExprP* e : {&item.lo, &item.hi})
                    if (*e) {
                        const Ty it = ExprType(**e);
                        if (t.base != Ty::None && t.base != Ty::Rec && it.base != Ty::None && it != t)
                            Error((*e)->loc, "this CASE is " + TyText(it) + " but the SELECT is " + TyText(t));
                    }
            CheckBlock(arm.body);
        }
    }

    void ReturnStatement(ReturnStmt& s) {
        if (!cur_) {
            if (s.value) Error(s.value->loc, "RETURN in the main program ends it and takes no value");
            return;
        }
        if (!s.value) return;
        const Ty v = ExprType(*s.value);
        const Ty r = cur_->result;
        if (v.base == Ty::None || r.base == Ty::None || v == r || (r.base == Ty::Str && v.base == Ty::Num)) return;
        if (r.base == Ty::Num && v.base == Ty::Str)
            Error(s.value->loc,
                  "SUB " + cur_->name + " returns a number (a SUB whose name ends in $ returns a string)");
        else
            Error(s.value->loc, "SUB " + cur_->name + " returns " + TyText(r) + ", not " + TyText(v));
    }

    void DimItemCheck(DimItem& item) {
        Expr& t = *item.target;
        if (t.kind == Expr::Field) {
            const Ty object = ExprType(*t.object);
            if (object.base != Ty::Rec) {
                if (object.base != Ty::None)
                    Error(t.loc, "'." + t.text + "' takes a field of a record, not of " + TyText(object));
                return;
            }
            const FieldDecl* f = object.rec->Find(t.text);
            if (!f || !f->isArray) {
                Error(t.loc, object.rec->name + " has no array field '" + t.text + "'");
                return;
            }
            if (!IsLvalue(*t.object)) Error(t.loc, "DIM sizes the field of a variable, not of a value");
            t.field = f;
            t.ref = Expr::Ref::FieldArray;
            t.type = f->type;
            for (ExprP& size : t.args) NeedNum(*size, "an array size");
            Effects(t);
            return;
        }
        Var* v = Lookup(t.text);
        if (!v) return;  // reported when declared
        // A SUB's DIM of a global is checked here; every other DIM where it declares.
        const bool array = t.kind == Expr::Call;
        const bool ofGlobal = cur_ && v->isGlobal;
        if (v->isArray != array) {
            if (!ofGlobal) return;
            Error(t.loc, "'" + t.text + "' is " + (v->isArray ? "an array" : "a plain variable") + " (line " +
                             std::to_string(v->loc.line) + ") and cannot also be " + (array ? "an array" : "a record"));
            return;
        }
        const Ty want = ofGlobal ? Resolve(item.as, t.text) : v->type;
        if (ofGlobal && !item.as.Empty() && want.base != Ty::None && want != v->type) {
            Error(t.loc, "'" + t.text + "' holds " + TyText(v->type, v->isArray) + " (line " +
                             std::to_string(v->loc.line) + ") and cannot also hold " + TyText(want, array));
            return;
        }
        item.var = v;
        t.var = v;
        t.type = v->type;
        t.ref = v->isArray ? Expr::Ref::WholeArray : Expr::Ref::Variable;
        for (ExprP& size : t.args) NeedNum(*size, "an array size");
        Effects(t);
    }

    void CallStatement(CallStmt& s) {
        Expr& e = *s.call;
        if (Var* v = Lookup(e.text); v && e.kind == Expr::Call) {
            Error(e.loc, v->isArray ? "an array element is not a statement; assign it with '='"
                                    : "'" + e.text + "' is a variable; assign it with '='");
            return;
        }
        // GOTO, GOSUB and labels of other BASICs: say so, and leave their arguments
        // (label names) unread, which would only be warned of as variables.
        if (!procs_.count(Upper(e.text)) && cmds_.Forms(e.text).empty()) {
            if (IsJumpWord(e.text)) {
                Error(e.loc, NoJumps(e.text));
                return;
            }
            if (s.labelLike) {
                Error(e.loc, NoJumps(e.text + ":"));
                return;
            }
        }
        CallExpr(e, true);
    }

    static std::string TargetText(const Expr& e) {
        if (e.kind == Expr::Field) return "field '" + e.text + "'";
        if (e.kind == Expr::Call) return "array '" + e.text + "'";
        return "variable '" + e.text + "'";
    }

    bool IsLvalue(const Expr& e) const {
        switch (e.ref) {
            case Expr::Ref::Variable:
            case Expr::Ref::Element: return true;
            case Expr::Ref::Field:
            case Expr::Ref::FieldElement: return IsLvalue(*e.object);
            default: return false;
        }
    }

    // The type of an assignment target, resolving it; None after an error.
    Ty Target(Expr& e) {
        Ty t = TargetInner(e);
        Effects(e);
        return t;
    }
    Ty TargetInner(Expr& e) {
        if (e.kind == Expr::Name || e.kind == Expr::Call) {
            if (auto c = consts_.find(Upper(e.text)); c != consts_.end()) {
                Error(e.loc, "'" + e.text + "' is a CONST and cannot be given a value");
                return Ty{};
            }
        }
        if (e.kind == Expr::Name) {
            Var* v = Lookup(e.text);
            if (!v) {
                if (p_.explicitDecl)
                    Error(e.loc, "'" + e.text + "' is not declared (OPTION EXPLICIT): declare it with GLOBAL or LOCAL" +
                                     Suggest(e.text));
                return Ty{};
            }
            if (v->isArray) {
                Error(e.loc, "'" + e.text + "' is an array: give it an index, " + e.text + "(i)");
                return Ty{};
            }
            e.ref = Expr::Ref::Variable;
            e.var = v;
            return e.type = v->type;
        }
        if (e.kind == Expr::Call) {
            Var* v = Lookup(e.text);
            if (!v || !v->isArray) {
                if (FirstNotArray(e.text))
                    Error(e.loc,
                          "'" + e.text + "' is not an array; size it with DIM first" + ElsewhereHint(e.text, true));
                for (ExprP& a : e.args) ExprType(*a);
                return Ty{};
            }
            return Element(e, v);
        }
        if (e.kind == Expr::Field) {
            const Ty t = FieldExpr(e);
            if (t.base == Ty::None) return t;
            if (e.ref == Expr::Ref::FieldArray) {
                Error(e.loc, "'" + e.text + "' is an array field: give it an index, " + e.text + "(i)");
                return Ty{};
            }
            if (!IsLvalue(*e.object)) {
                Error(e.loc, "only a field of a variable can be given a value, not one of a SUB's result");
                return Ty{};
            }
            return t;
        }
        return Ty{};  // the parser gives no other target
    }

    // ---- expressions -----------------------------------------------------------------------
    void NeedNum(Expr& e, const std::string& what) {
        const Ty t = ExprType(e);
        if (t.base != Ty::Num && t.base != Ty::None) Error(e.loc, what + " must be a number, not " + TyText(t));
    }

    Ty Element(Expr& e, Var* v) {
        e.ref = Expr::Ref::Element;
        e.var = v;
        e.type = v->type;
        if (e.args.empty() || e.args.size() > 8)
            Error(e.loc, "an element of '" + e.text + "' needs one to eight indexes");
        for (ExprP& a : e.args) NeedNum(*a, "an array index");
        return e.type;
    }

    // object.field, object.field(indexes), or object.field as a whole array.
    Ty FieldExpr(Expr& e) {
        const Ty object = ExprType(*e.object);
        for (ExprP& a : e.args) NeedNum(*a, "an array index");
        if (object.base == Ty::None) return Ty{};
        if (object.base != Ty::Rec) {
            Error(e.loc, "'." + e.text + "' takes a field of a record, not of " + TyText(object));
            return Ty{};
        }
        const FieldDecl* f = object.rec->Find(e.text);
        if (!f) {
            std::map<std::string, std::string> known;
            for (const auto& x : object.rec->fields) known[Upper(x->name)] = x->name;
            Error(e.loc, object.rec->name + " has no field '" + e.text + "'" + ClosestOf(e.text, known));
            return Ty{};
        }
        e.field = f;
        e.type = f->type;
        if (!f->isArray) {
            if (e.parens) {
                Error(e.loc, "the field '" + f->name + "' is not an array");
                return Ty{};
            }
            e.ref = Expr::Ref::Field;
        } else if (!e.parens || e.args.empty()) {
            e.ref = Expr::Ref::FieldArray;
        } else {
            if (e.args.size() > 8) Error(e.loc, "an element of '" + e.text + "' needs one to eight indexes");
            e.ref = Expr::Ref::FieldElement;
        }
        return e.type;
    }

    // hasCall and writesOut from the node and its parts.
    static void Effects(Expr& e) {
        e.hasCall = e.ref == Expr::Ref::ProcCall || e.ref == Expr::Ref::CommandCall;
        e.writesOut = false;
        if (e.ref == Expr::Ref::CommandCall && e.command)
            for (const cmdtable::Arg& a : e.command->args) e.writesOut = e.writesOut || cmdtable::Info(a.kind).isOut;
        auto take = [&](const ExprP& x) {
            if (!x) return;
            e.hasCall = e.hasCall || x->hasCall;
            e.writesOut = e.writesOut || x->writesOut;
        };
        take(e.object);
        for (const ExprP& a : e.args) take(a);
    }

    Ty ExprType(Expr& e) {
        const Ty t = ExprTypeInner(e);
        Effects(e);
        return t;
    }

    Ty ExprTypeInner(Expr& e) {
        switch (e.kind) {
            case Expr::Number: return e.type = Ty::Number();
            case Expr::String: return e.type = Ty::String();
            case Expr::Name: {
                if (Var* v = Lookup(e.text)) return NameOf(e, v);
                const std::string key = Upper(e.text);
                if (auto c = consts_.find(key); c != consts_.end()) {
                    e.ref = Expr::Ref::Constant;
                    e.constant = c->second;
                    return e.type = c->second->type;
                }
                if (procs_.count(key) || !cmds_.Forms(e.text).empty()) return CallExpr(e);
                if (Var* v = NeverGiven(e)) return NameOf(e, v);
                return e.type = Ty{};
            }
            case Expr::Call: {
                if (Var* v = Lookup(e.text)) {
                    if (!v->isArray) {
                        if (FirstNotArray(e.text)) Error(e.loc, "'" + e.text + "' is not an array");
                        for (ExprP& a : e.args) ExprType(*a);
                        return e.type = Ty{};
                    }
                    return Element(e, v);
                }
                if (consts_.count(Upper(e.text))) {
                    Error(e.loc, "'" + e.text + "' is a CONST, not an array or a SUB");
                    return e.type = Ty{};
                }
                return CallExpr(e);
            }
            case Expr::Field: {
                const Ty t = FieldExpr(e);
                if (e.ref == Expr::Ref::FieldArray) {
                    Error(e.loc, "'" + e.text + "' is an array field: give it an index, " + e.text + "(i)");
                    return e.type = Ty{};
                }
                return t;
            }
            case Expr::Unary: {
                const Ty t = ExprType(*e.args[0]);
                if (t.base == Ty::Rec)
                    Error(e.loc, std::string(TokenName(e.op)) + " cannot take " + TyText(t));
                else if (e.op == T::Minus && t.base == Ty::Str)
                    Error(e.loc, "'-' before a string: a number is needed here");
                return e.type = Ty::Number();
            }
            case Expr::Binary: {
                const Ty a = ExprType(*e.args[0]);
                const Ty b = ExprType(*e.args[1]);
                if (a.base == Ty::None || b.base == Ty::None) return e.type = Ty{};
                if (a.base == Ty::Rec || b.base == Ty::Rec) {
                    Error(e.loc, std::string(TokenName(e.op)) + " cannot take " + TyText(a.base == Ty::Rec ? a : b) +
                                     ": records take no operators (compare their fields)");
                    return e.type = Ty{};
                }
                switch (e.op) {
                    case T::And:
                    case T::Or:
                    case T::Xor: return e.type = Ty::Number();
                    case T::Mod:
                        if (a.base == Ty::Str || b.base == Ty::Str)
                            Error(e.loc, "MOD takes numbers on both sides (+ - * / ^ join strings, MOD does not)");
                        return e.type = Ty::Number();
                    default:  // arithmetic joins and comparisons yield strings when a string takes part
                        return e.type = (a.base == Ty::Str || b.base == Ty::Str) ? Ty::String() : Ty::Number();
                }
            }
        }
        return Ty{};
    }

    Ty NameOf(Expr& e, Var* v) {
        if (v->isArray) {
            Error(e.loc, "'" + e.text + "' is an array: give it an index, " + e.text + "(i)");
            return e.type = Ty{};
        }
        e.ref = Expr::Ref::Variable;
        e.var = v;
        return e.type = v->type;
    }

    // A call of a SUB or a command; also names used without parentheses. In a value,
    // name(...) that is none of them is most often an array never sized.
    Ty CallExpr(Expr& e, bool statement = false) {
        const std::string key = Upper(e.text);
        if (auto pit = procs_.find(key); pit != procs_.end()) return ProcCall(e, *pit->second);
        const auto& forms = cmds_.Forms(e.text);
        if (!forms.empty()) return CommandCall(e, forms);
        const bool value = !statement && e.parens;
        if (!value || FirstNotArray(e.text)) {
            std::string hint = ElsewhereHint(e.text, true);
            if (hint.empty()) hint = Suggest(e.text, true);
            Error(e.loc,
                  value && hint.empty()
                      ? "'" + e.text + "' is no array, SUB or command: an array is sized with DIM before it is read"
                      : "unknown command or SUB '" + e.text + "'" + hint);
        }
        for (ExprP& a : e.args) ExprType(*a);
        return e.type = Ty{};
    }

    // False when the name was already reported as no array in this SUB (or the main
    // program): its other uses only follow from that.
    bool FirstNotArray(const std::string& name) { return notArrays_.insert({cur_, Upper(name)}).second; }

    ArgShape Shape(Expr& a) {
        ArgShape s;
        const bool wholeName = a.kind == Expr::Name || (a.kind == Expr::Call && a.parens && a.args.empty());
        if (wholeName) {
            Var* v = Lookup(a.text);
            if (v && v->isArray) {
                a.ref = Expr::Ref::WholeArray;
                a.var = v;
                s.type = a.type = v->type;
                s.array = true;
                return s;
            }
        }
        if (a.kind == Expr::Field) {
            s.type = FieldExpr(a);
            Effects(a);
            if (a.ref == Expr::Ref::FieldArray) {
                s.array = true;
                if (!IsLvalue(*a.object)) {
                    Error(a.loc, "an array field passes on as a whole only from a variable");
                    s.type = Ty{};
                }
                return s;
            }
            s.lvalue = IsLvalue(a);
            return s;
        }
        s.type = ExprType(a);
        s.lvalue = IsLvalue(a);
        return s;
    }

    Ty ProcCall(Expr& e, Proc& proc) {
        e.ref = Expr::Ref::ProcCall;
        e.proc = &proc;
        e.type = proc.result;
        if (e.args.size() != proc.params.size()) {
            Error(e.loc, "SUB " + proc.name + " takes " + std::to_string(proc.params.size()) + " argument" +
                             (proc.params.size() == 1 ? "" : "s") + ", not " + std::to_string(e.args.size()));
            for (ExprP& a : e.args) Shape(*a);
            return e.type;
        }
        for (size_t i = 0; i < e.args.size(); ++i) {
            const Param& prm = proc.params[i];
            const ArgShape s = Shape(*e.args[i]);
            if (s.type.base == Ty::None || !prm.var) continue;
            const Ty want = prm.var->type;
            // A number given for a string parameter arrives as its text, as in an assignment.
            const bool converts = !s.array && !prm.isArray && want.base == Ty::Str && s.type.base == Ty::Num;
            if (!converts && (s.array != prm.isArray || s.type != want))
                Error(e.args[i]->loc, "argument " + std::to_string(i + 1) + " of " + proc.name + " (" + prm.name +
                                          ") must be " + TyText(want, prm.isArray) + ", not " + ShapeText(s));
        }
        return e.type;
    }

    static bool Fits(const cmdtable::Command& c, cmdtable::ArgKind k, const ArgShape& s) {
        const cmdtable::KindInfo& info = cmdtable::Info(k);
        // BOUNDS measures an array of any kind, records too (the runtime's BOUNDS takes them all).
        if (c.basic == "BOUNDS" && info.isArray && s.array && s.type.base == Ty::Rec) return true;
        const Ty::Base want = info.isString ? Ty::Str : Ty::Num;
        if (s.type.base != want) return false;
        if (info.isArray) return s.array;
        if (info.isOut) return s.lvalue && !s.array;
        return !s.array;
    }

    Ty CommandCall(Expr& e, const std::vector<const cmdtable::Command*>& forms) {
        e.ref = Expr::Ref::CommandCall;
        std::vector<ArgShape> shapes;
        bool bad = false;
        for (ExprP& a : e.args) {
            shapes.push_back(Shape(*a));
            bad = bad || shapes.back().type.base == Ty::None;
        }
        const size_t n = e.args.size();
        size_t fewest = 99, most = 0;
        const cmdtable::Command* best = nullptr;
        int bestAt = -1;
        for (const cmdtable::Command* c : forms) {
            size_t required = 0;
            for (const cmdtable::Arg& a : c->args) required += a.optional ? 0 : 1;
            fewest = std::min(fewest, required);
            most = std::max(most, c->args.size());
            if (n < required || n > c->args.size()) continue;
            int at = 0;
            while (at < static_cast<int>(n) && Fits(*c, c->args[at].kind, shapes[at])) ++at;
            if (at == static_cast<int>(n)) {
                e.command = c;
                return e.type = c->ReturnsString() ? Ty::String() : Ty::Number();
            }
            if (at > bestAt) {
                bestAt = at;
                best = c;
            }
        }
        e.type = forms[0]->ReturnsString() ? Ty::String() : Ty::Number();
        if (!best) {
            const std::string count =
                fewest == most ? std::to_string(most) : std::to_string(fewest) + " to " + std::to_string(most);
            Error(e.loc, forms[0]->basic + " takes " + count + " argument" + (most == 1 && fewest == most ? "" : "s") +
                             ", not " + std::to_string(n));
            return e.type;
        }
        if (bad) return e.type;  // an argument already has its error
        const cmdtable::Arg& want = best->args[bestAt];
        const cmdtable::KindInfo& info = cmdtable::Info(want.kind);
        const ArgShape& got = shapes[bestAt];
        std::string msg = "argument " + std::to_string(bestAt + 1) + " of " + best->basic + " (" + want.name +
                          ") must be " + info.description;
        if (info.isOut && !got.lvalue && !got.array && got.type.base == (info.isString ? Ty::Str : Ty::Num))
            msg += ": the command stores a result there";
        else
            msg += ", not " + ShapeText(got);
        Error(e.args[bestAt]->loc, msg);
        return e.type;
    }

    Program& p_;
    const CommandTable& cmds_;
    Diagnostics& diag_;
    std::map<std::string, Const*> consts_;
    std::map<std::string, Record*> types_;
    std::map<std::string, Proc*> procs_;
    std::map<std::string, Var*> globals_;
    std::map<std::string, Var*> locals_;
    std::multimap<std::string, std::pair<const Proc*, const Var*>> localElsewhere_;
    Proc* cur_ = nullptr;
    std::set<std::pair<const Proc*, std::string>> notArrays_;  // reported as no array
};

}  // namespace

void Check(Program& program, const CommandTable& commands, Diagnostics& diag) {
    Checker(program, commands, diag).Run();
}

}  // namespace tvc
