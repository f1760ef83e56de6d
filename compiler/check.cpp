// Names, types and calls. Variables first given a value in the main program (or
// declared GLOBAL, or sized by DIM there) are global; in a SUB, parameters, LOCAL
// names, and names first given a value there are local. With OPTION EXPLICIT, every
// variable must be declared (GLOBAL, LOCAL, DIM or a parameter).
#include <algorithm>
#include <set>

#include "front.h"

namespace tvc {

namespace {

// Names the compiled program cannot use as they are: C++ keywords and the macros of
// the runtime's public header (reserved_names.inc, made by the build).
const char* const kReserved[] = {
#include "reserved_names.inc"
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
    "char", "char8_t", "char16_t", "char32_t", "class", "compl", "concept", "const", "consteval", "constexpr",
    "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype", "default", "delete",
    "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
    "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
    "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast",
    "requires", "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename",
    "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq", "main",
    "std", "final", "override", "import", "module",
};

std::string CppName(const std::string& basic) {
    std::string c = basic;
    if (!c.empty() && c.back() == '$') {
        c.pop_back();
        c += "_Str";
    }
    static const std::set<std::string> reserved(std::begin(kReserved), std::end(kReserved));
    if (reserved.count(c)) c += "_";
    return c;
}

bool IsStrName(const std::string& name) { return !name.empty() && name.back() == '$'; }

int Distance(const std::string& a, const std::string& b) {
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        int diag = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            int up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

const char* TypeText(Type t) { return t == Type::Str ? "a string" : "a number"; }

class Checker {
public:
    Checker(Program& p, const CommandTable& commands, Diagnostics& diag) : p_(p), cmds_(commands), diag_(diag) {}

    void Run() {
        for (auto& proc : p_.procs) DeclareProc(*proc);
        CollectGlobals(p_.main);
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

    // ---- declarations -------------------------------------------------------------------
    bool NameIsTaken(Loc loc, const std::string& name) {
        std::string key = Upper(name);
        if (!cmds_.Forms(name).empty()) {
            Error(loc, "'" + name + "' is a command and cannot name a variable or SUB");
            return true;
        }
        if (key == "VAL" || key == "STR$" || key == "TRUNC") {
            Error(loc, "'" + name + "' is built in and cannot name a variable or SUB");
            return true;
        }
        return false;
    }

    void ClaimCpp(Loc loc, const std::string& name, const std::string& cpp) {
        auto [it, fresh] = globalCpp_.emplace(cpp, name);
        if (!fresh && Upper(it->second) != Upper(name))
            Error(loc, "'" + name + "' and '" + it->second + "' are the same name in the compiled program; rename one");
    }

    void DeclareProc(Proc& proc) {
        if (proc.name.empty() || NameIsTaken(proc.loc, proc.name)) return;
        std::string key = Upper(proc.name);
        if (procs_.count(key)) {
            Error(proc.loc, "SUB " + proc.name + " is defined twice (first at line " +
                                std::to_string(procs_[key]->loc.line) + ")");
            return;
        }
        procs_[key] = &proc;
        proc.cpp = CppName(proc.name);
        ClaimCpp(proc.loc, proc.name, proc.cpp);
    }

    // Declares a variable in `scope` (the globals or one SUB's locals).
    Var* Declare(std::map<std::string, Var*>& scope, std::vector<std::unique_ptr<Var>>& owner, Loc loc,
                 const std::string& name, bool isArray, bool global) {
        std::string key = Upper(name);
        auto it = scope.find(key);
        if (it != scope.end()) {
            if (it->second->isArray != isArray)
                Error(loc, "'" + name + "' is " + (it->second->isArray ? "an array" : "a plain variable") +
                               " (line " + std::to_string(it->second->loc.line) + ") and cannot also be " +
                               (isArray ? "an array" : "a plain variable"));
            return it->second;
        }
        if (NameIsTaken(loc, name)) return nullptr;
        if (procs_.count(key)) {
            Error(loc, "'" + name + "' is the name of a SUB");
            return nullptr;
        }
        auto v = std::make_unique<Var>();
        v->name = name;
        v->cpp = CppName(name);
        v->loc = loc;
        v->isStr = IsStrName(name);
        v->isArray = isArray;
        v->isGlobal = global;
        if (global) {
            ClaimCpp(loc, name, v->cpp);
        } else {
            auto g = globalCpp_.find(v->cpp);
            if (g != globalCpp_.end() && Upper(g->second) != key)
                Error(loc, "'" + name + "' and '" + g->second + "' are the same name in the compiled program; rename one");
        }
        Var* raw = v.get();
        scope[key] = raw;
        owner.push_back(std::move(v));
        return raw;
    }

    // Names a statement gives a value to: (location, name, is an array).
    void Assigned(const Stmt& s, std::vector<std::tuple<Loc, std::string, bool>>& out, bool implicit) {
        switch (s.kind) {
        case Stmt::Global:
        case Stmt::Local:
            for (const Decl& d : s.decls) out.emplace_back(d.loc, d.name, d.isArray);
            break;
        case Stmt::Dim:
            for (const ExprP& e : s.dims) out.emplace_back(e->loc, e->text, true);
            break;
        case Stmt::Assign:
            if (implicit && s.target && s.target->kind == Expr::Name) out.emplace_back(s.target->loc, s.target->text, false);
            break;
        case Stmt::For:
            if (implicit && s.target) out.emplace_back(s.target->loc, s.target->text, false);
            break;
        case Stmt::Call:
            if (implicit && s.value) OutArgs(*s.value, out);
            break;
        default: break;
        }
        for (const auto& [cond, block] : s.branches)
            for (const auto& inner : block) Assigned(*inner, out, implicit);
        for (const auto& inner : s.body) Assigned(*inner, out, implicit);
        for (const CaseArm& arm : s.arms)
            for (const auto& inner : arm.body) Assigned(*inner, out, implicit);
    }
    // Plain names passed where a command writes its result.
    void OutArgs(const Expr& call, std::vector<std::tuple<Loc, std::string, bool>>& out) {
        if (call.kind != Expr::Call) return;
        for (const Command* c : cmds_.Forms(call.text))
            for (size_t i = 0; i < call.args.size() && i < c->args.size(); ++i) {
                ArgKind k = c->args[i].kind;
                const Expr& a = *call.args[i];
                if ((k == ArgKind::NumberOut || k == ArgKind::StringOut) && a.kind == Expr::Name &&
                    IsStrName(a.text) == (k == ArgKind::StringOut))
                    out.emplace_back(a.loc, a.text, false);
            }
    }

    void CollectGlobals(const Block& main) {
        std::vector<std::tuple<Loc, std::string, bool>> names;
        for (const auto& s : main) Assigned(*s, names, !p_.explicitDecl);
        for (const auto& [loc, name, isArray] : names) Declare(globals_, p_.globals, loc, name, isArray, true);
    }

    void CollectLocals(Proc& proc) {
        std::map<std::string, Var*> scope;
        for (Param& prm : proc.params) {
            if (scope.count(Upper(prm.name))) {
                Error(prm.loc, "the parameter '" + prm.name + "' is named twice");
                continue;
            }
            prm.var = Declare(scope, proc.locals, prm.loc, prm.name, prm.isArray, false);
            if (prm.var) prm.var->isParam = true;
        }
        std::vector<std::tuple<Loc, std::string, bool>> names;
        // Declared locals first, then what the body gives a value to.
        std::vector<std::tuple<Loc, std::string, bool>> implicitNames;
        for (const auto& s : proc.body) Assigned(*s, names, false);
        for (const auto& [loc, name, isArray] : names) {
            std::string key = Upper(name);
            if (scope.count(key)) {
                if (scope[key]->isParam && !isArray) Error(loc, "'" + name + "' is already a parameter");
                continue;
            }
            // DIM of a global array sizes the global; LOCAL always makes a local.
            if (isArray && globals_.count(key) && !LocalDeclared(proc.body, key)) continue;
            Declare(scope, proc.locals, loc, name, isArray, false);
        }
        if (!p_.explicitDecl) {
            for (const auto& s : proc.body) Assigned(*s, implicitNames, true);
            for (const auto& [loc, name, isArray] : implicitNames) {
                std::string key = Upper(name);
                if (scope.count(key) || globals_.count(key)) continue;
                Declare(scope, proc.locals, loc, name, isArray, false);
            }
        }
    }
    bool LocalDeclared(const Block& b, const std::string& key) {
        for (const auto& s : b) {
            if (s->kind == Stmt::Local)
                for (const Decl& d : s->decls)
                    if (Upper(d.name) == key) return true;
            for (const auto& [c, inner] : s->branches)
                if (LocalDeclared(inner, key)) return true;
            if (LocalDeclared(s->body, key)) return true;
            for (const CaseArm& arm : s->arms)
                if (LocalDeclared(arm.body, key)) return true;
        }
        return false;
    }

    Var* Lookup(const std::string& name) {
        std::string key = Upper(name);
        if (cur_) {
            auto it = locals_.find(key);
            if (it != locals_.end()) return it->second;
        }
        auto it = globals_.find(key);
        return it == globals_.end() ? nullptr : it->second;
    }

    std::string Suggest(const std::string& name, bool commands = false) {
        std::string key = Upper(name), best;
        int bestD = 3;
        auto consider = [&](const std::string& candidate, const std::string& spelled) {
            int d = Distance(key, candidate);
            if (d < bestD && d * 2 < static_cast<int>(key.size())) {
                bestD = d;
                best = spelled;
            }
        };
        if (cur_)
            for (auto& [k, v] : locals_) consider(k, v->name);
        for (auto& [k, v] : globals_) consider(k, v->name);
        for (auto& [k, pr] : procs_) consider(k, pr->name);
        if (commands)
            for (const std::string& c : cmds_.Names()) consider(c, c);
        return best.empty() ? "" : " (did you mean '" + best + "'?)";
    }

    void Unknown(const Expr& e, bool call) {
        if (call) {
            Error(e.loc, "unknown command or SUB '" + e.text + "'" + Suggest(e.text, true));
        } else if (p_.explicitDecl) {
            Error(e.loc, "'" + e.text + "' is not declared (OPTION EXPLICIT): declare it with GLOBAL or LOCAL" +
                             Suggest(e.text));
        } else {
            Error(e.loc, "'" + e.text + "' is never given a value" + Suggest(e.text));
        }
    }

    // ---- statements ---------------------------------------------------------------------
    void CheckBlock(Block& b) {
        for (auto& s : b) CheckStmt(*s);
    }

    void Store(Loc loc, Type target, Type value, const std::string& what) {
        if (target == Type::Num && value == Type::Str)
            Error(loc, "a string cannot be stored in the number " + what + " (VAL reads a number from text)");
    }

    void CheckStmt(Stmt& s) {
        switch (s.kind) {
        case Stmt::Assign: {
            Type t = Target(*s.target);
            Type v = ExprType(*s.value);
            if (t != Type::None && v != Type::None) Store(s.value->loc, t, v, "variable '" + s.target->text + "'");
            break;
        }
        case Stmt::Call: CallStatement(*s.value); break;
        case Stmt::If:
            for (auto& [cond, block] : s.branches) {
                ExprType(*cond);
                CheckBlock(block);
            }
            CheckBlock(s.body);
            break;
        case Stmt::For:
            if (s.target) {
                Type t = Target(*s.target);
                if (t == Type::Str) Error(s.target->loc, "a FOR loop counts with a number variable");
                if (s.value) NeedNum(*s.value, "the start of a FOR loop");
                if (s.limit) NeedNum(*s.limit, "the end of a FOR loop");
                if (s.step) NeedNum(*s.step, "the STEP of a FOR loop");
            }
            CheckBlock(s.body);
            break;
        case Stmt::While:
        case Stmt::Repeat:
            CheckBlock(s.body);
            if (s.value) ExprType(*s.value);
            break;
        case Stmt::Select: {
            Type t = s.value ? ExprType(*s.value) : Type::None;
            for (CaseArm& arm : s.arms) {
                for (CaseItem& item : arm.items)
                    for (ExprP* e : {&item.lo, &item.hi})
                        if (*e) {
                            Type it = ExprType(**e);
                            if (t != Type::None && it != Type::None && it != t)
                                Error((*e)->loc, std::string("this CASE is ") + TypeText(it) + " but the SELECT is " + TypeText(t));
                        }
                CheckBlock(arm.body);
            }
            break;
        }
        case Stmt::Return:
            if (!cur_) {
                if (s.value) Error(s.value->loc, "RETURN in the main program ends it and takes no value");
            } else if (s.value) {
                Type v = ExprType(*s.value);
                if (!cur_->returnsString && v == Type::Str)
                    Error(s.value->loc, "SUB " + cur_->name + " returns a number (a SUB whose name ends in $ returns a string)");
            }
            break;
        case Stmt::Dim:
            for (ExprP& e : s.dims) {
                Var* v = Lookup(e->text);
                if (!v || !v->isArray) continue;  // reported when declared
                e->var = v;
                e->type = v->isStr ? Type::Str : Type::Num;
                for (ExprP& size : e->args) NeedNum(*size, "an array size");
            }
            break;
        case Stmt::Local:
        case Stmt::Global:
            for (Decl& d : s.decls) {
                d.var = Lookup(d.name);
                if (d.init && d.var) Store(d.init->loc, d.var->isStr ? Type::Str : Type::Num, ExprType(*d.init),
                                           "variable '" + d.name + "'");
            }
            break;
        case Stmt::Break:
        case Stmt::Continue: break;
        }
    }

    void CallStatement(Expr& e) {
        Var* v = Lookup(e.text);
        if (v) {
            Error(e.loc, v->isArray ? "an array element is not a statement; assign it with '='"
                                    : "'" + e.text + "' is a variable; assign it with '='");
            return;
        }
        CallExpr(e);
    }

    // The type of an assignment target, resolving it; None after an error.
    Type Target(Expr& e) {
        if (e.kind == Expr::Name) {
            Var* v = Lookup(e.text);
            if (!v) {
                Unknown(e, false);
                return Type::None;
            }
            if (v->isArray) {
                Error(e.loc, "'" + e.text + "' is an array: give it an index, " + e.text + "(i)");
                return Type::None;
            }
            e.ref = Expr::Scalar;
            e.var = v;
            return e.type = v->isStr ? Type::Str : Type::Num;
        }
        if (e.kind == Expr::Call) {
            Var* v = Lookup(e.text);
            if (!v || !v->isArray) {
                Error(e.loc, "'" + e.text + "' is not an array; size it with DIM first");
                return Type::None;
            }
            return Element(e, v);
        }
        Error(e.loc, "only a variable or an array element can be given a value");
        return Type::None;
    }

    // ---- expressions --------------------------------------------------------------------
    void NeedNum(Expr& e, const std::string& what) {
        if (ExprType(e) == Type::Str) Error(e.loc, what + " must be a number, not a string");
    }

    Type Element(Expr& e, Var* v) {
        e.ref = Expr::Element;
        e.var = v;
        e.type = v->isStr ? Type::Str : Type::Num;
        if (e.args.empty() || e.args.size() > 8)
            Error(e.loc, "an element of '" + e.text + "' needs one to eight indexes");
        for (ExprP& a : e.args) NeedNum(*a, "an array index");
        return e.type;
    }

    Type ExprType(Expr& e) {
        switch (e.kind) {
        case Expr::Number: return e.type = Type::Num;
        case Expr::String: return e.type = Type::Str;
        case Expr::Name: {
            Var* v = Lookup(e.text);
            if (v) {
                if (v->isArray) {
                    Error(e.loc, "'" + e.text + "' is an array: give it an index, " + e.text + "(i)");
                    return e.type = Type::None;
                }
                e.ref = Expr::Scalar;
                e.var = v;
                return e.type = v->isStr ? Type::Str : Type::Num;
            }
            if (procs_.count(Upper(e.text)) || !cmds_.Forms(e.text).empty()) return CallExpr(e);
            Unknown(e, false);
            return e.type = Type::None;
        }
        case Expr::Call: {
            Var* v = Lookup(e.text);
            if (v) {
                if (!v->isArray) {
                    Error(e.loc, "'" + e.text + "' is not an array");
                    return e.type = Type::None;
                }
                return Element(e, v);
            }
            return CallExpr(e);
        }
        case Expr::Unary: {
            Type t = ExprType(*e.args[0]);
            if (e.op == T::Minus) {
                if (t == Type::Str) Error(e.loc, "'-' before a string: a number is needed here");
                return e.type = Type::Num;
            }
            return e.type = Type::Num;  // NOT
        }
        case Expr::Binary: {
            Type a = ExprType(*e.args[0]);
            Type b = ExprType(*e.args[1]);
            if (a == Type::None || b == Type::None) return e.type = Type::None;
            switch (e.op) {
            case T::And:
            case T::Or:
            case T::Xor: return e.type = Type::Num;
            case T::Mod:
                if (a == Type::Str || b == Type::Str) Error(e.loc, "MOD needs numbers on both sides");
                return e.type = Type::Num;
            default:  // arithmetic joins and comparisons yield strings when a string takes part
                return e.type = (a == Type::Str || b == Type::Str) ? Type::Str : Type::Num;
            }
        }
        }
        return Type::None;
    }

    // A call of a SUB, a command or a built-in; also names used without parentheses.
    Type CallExpr(Expr& e) {
        std::string key = Upper(e.text);
        auto pit = procs_.find(key);
        if (pit != procs_.end()) return ProcCall(e, *pit->second);
        const auto& forms = cmds_.Forms(e.text);
        if (!forms.empty()) return CommandCall(e, forms);
        if (key == "VAL" || key == "STR$" || key == "TRUNC") {
            e.ref = key == "VAL" ? Expr::Val : key == "STR$" ? Expr::StrOf : Expr::Trunc;
            const Type result = key == "STR$" ? Type::Str : Type::Num;
            if (e.args.size() != 1) {
                Error(e.loc, e.text + " takes 1 argument, not " + std::to_string(e.args.size()));
                for (ExprP& a : e.args) ExprType(*a);
                e.ref = Expr::None;
                return e.type = result;
            }
            Type t = ExprType(*e.args[0]);
            if (key == "VAL" && t == Type::Num) Error(e.args[0]->loc, "VAL reads a number from a string, not from a number");
            if (key != "VAL" && t == Type::Str)
                Error(e.args[0]->loc, key == "STR$" ? "STR$ writes a number as text and needs a number"
                                                    : "TRUNC needs a number (VAL reads a number from text)");
            return e.type = result;
        }
        Unknown(e, true);
        for (ExprP& a : e.args) ExprType(*a);
        return e.type = Type::None;
    }

    // What an argument is: a whole array, a variable (or element), or a value.
    struct ArgShape {
        Type type = Type::None;
        bool array = false;
        bool lvalue = false;
    };
    ArgShape Shape(Expr& a) {
        ArgShape s;
        if (a.kind == Expr::Name || (a.kind == Expr::Call && a.parens && a.args.empty())) {
            Var* v = Lookup(a.text);
            if (v && v->isArray) {
                a.ref = Expr::WholeArray;
                a.var = v;
                s.type = a.type = v->isStr ? Type::Str : Type::Num;
                s.array = true;
                return s;
            }
        }
        s.type = ExprType(a);
        s.lvalue = a.ref == Expr::Scalar || a.ref == Expr::Element;
        return s;
    }
    static std::string ShapeText(const ArgShape& s) {
        if (s.array) return s.type == Type::Str ? "a string array" : "a number array";
        return TypeText(s.type);
    }

    Type ProcCall(Expr& e, Proc& proc) {
        e.ref = Expr::ProcCall;
        e.proc = &proc;
        e.type = proc.returnsString ? Type::Str : Type::Num;
        if (e.args.size() != proc.params.size()) {
            Error(e.loc, "SUB " + proc.name + " takes " + std::to_string(proc.params.size()) + " argument" +
                             (proc.params.size() == 1 ? "" : "s") + ", not " + std::to_string(e.args.size()));
            for (ExprP& a : e.args) ExprType(*a);
            return e.type;
        }
        for (size_t i = 0; i < e.args.size(); ++i) {
            const Param& prm = proc.params[i];
            ArgShape s = Shape(*e.args[i]);
            if (s.type == Type::None) continue;
            bool wantStr = IsStrName(prm.name);
            // A number given for a string parameter arrives as its text, as in an assignment.
            bool converts = !s.array && !prm.isArray && wantStr && s.type == Type::Num;
            if (!converts && (s.array != prm.isArray || (s.type == Type::Str) != wantStr)) {
                std::string want = prm.isArray ? (wantStr ? "a string array" : "a number array") : (wantStr ? "a string" : "a number");
                Error(e.args[i]->loc, "argument " + std::to_string(i + 1) + " of " + proc.name + " (" + prm.name +
                                          ") must be " + want + ", not " + ShapeText(s));
            }
        }
        return e.type;
    }

    static bool Fits(ArgKind k, const ArgShape& s) {
        switch (k) {
        case ArgKind::Number: return !s.array && s.type == Type::Num;
        case ArgKind::String: return !s.array && s.type == Type::Str;
        case ArgKind::NumberOut: return s.lvalue && s.type == Type::Num;
        case ArgKind::StringOut: return s.lvalue && s.type == Type::Str;
        case ArgKind::NumberArray: return s.array && s.type == Type::Num;
        case ArgKind::StringArray: return s.array && s.type == Type::Str;
        }
        return false;
    }

    Type CommandCall(Expr& e, const std::vector<const Command*>& forms) {
        e.ref = Expr::CommandCall;
        std::vector<ArgShape> shapes;
        bool bad = false;
        for (ExprP& a : e.args) {
            shapes.push_back(Shape(*a));
            bad = bad || shapes.back().type == Type::None;
        }
        const size_t n = e.args.size();
        size_t fewest = 99, most = 0;
        const Command* best = nullptr;
        int bestAt = -1;
        for (const Command* c : forms) {
            size_t required = 0;
            for (const CommandArg& a : c->args) required += a.optional ? 0 : 1;
            fewest = std::min(fewest, required);
            most = std::max(most, c->args.size());
            if (n < required || n > c->args.size()) continue;
            int at = 0;
            while (at < static_cast<int>(n) && Fits(c->args[at].kind, shapes[at])) ++at;
            if (at == static_cast<int>(n)) {
                e.command = c;
                return e.type = c->returnsString ? Type::Str : Type::Num;
            }
            if (at > bestAt) {
                bestAt = at;
                best = c;
            }
        }
        e.type = forms[0]->returnsString ? Type::Str : Type::Num;
        if (!best) {
            std::string count = fewest == most ? std::to_string(most) : std::to_string(fewest) + " to " + std::to_string(most);
            Error(e.loc, forms[0]->basic + " takes " + count + " argument" + (most == 1 && fewest == most ? "" : "s") +
                             ", not " + std::to_string(n));
            return e.type;
        }
        if (bad) return e.type;  // an argument already has its error
        const CommandArg& want = best->args[bestAt];
        const ArgShape& got = shapes[bestAt];
        std::string msg = "argument " + std::to_string(bestAt + 1) + " of " + best->basic + " (" + want.name + ") must be " +
                          ArgKindText(want.kind);
        if ((want.kind == ArgKind::NumberOut || want.kind == ArgKind::StringOut) && !got.lvalue &&
            got.type == (want.kind == ArgKind::NumberOut ? Type::Num : Type::Str))
            msg += ": the command stores a result there";
        else
            msg += ", not " + ShapeText(got);
        Error(e.args[bestAt]->loc, msg);
        return e.type;
    }

    Program& p_;
    const CommandTable& cmds_;
    Diagnostics& diag_;
    std::map<std::string, Proc*> procs_;
    std::map<std::string, Var*> globals_;
    std::map<std::string, Var*> locals_;
    std::map<std::string, std::string> globalCpp_;  // C++ name -> BASIC name
    Proc* cur_ = nullptr;
};

}  // namespace

void Check(Program& program, const CommandTable& commands, Diagnostics& diag) {
    Checker(program, commands, diag).Run();
}

}  // namespace tvc
