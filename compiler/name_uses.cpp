// The names of a program tied to what they stand for, read from what the parser declared
// and the checker resolved; nothing is looked up a second time here, except a TYPE's name
// after AS, which names one TYPE of the program whatever the scope.
#include <algorithm>
#include <tuple>

#include "front.h"

namespace tvc {

namespace {

class Collector {
public:
    Collector(const Program& p, std::vector<NameUse>& out) : p_(p), out_(out) {}

    void Run() {
        for (const auto& c : p_.consts) {
            Add(c->loc, c->name).constant = c.get();
            Value(c->value);
        }
        for (const auto& r : p_.types) {
            if (!r->name.empty()) Add(r->nameLoc, r->name).record = r.get();
            for (const auto& f : r->fields) {
                Add(f->loc, f->name).field = f.get();
                TypeUse(f->as);
                for (const ExprP& size : f->sizeExprs) Value(size);
            }
        }
        for (const auto& proc : p_.procs) {
            if (!proc->name.empty()) Add(proc->nameLoc, proc->name).proc = proc.get();
            for (const Param& prm : proc->params) {
                if (prm.var) Add(prm.loc, prm.name).var = prm.var;
                TypeUse(prm.as);
            }
            TypeUse(proc->as);
            Statements(proc->body);
        }
        Statements(p_.main);
    }

private:
    NameUse& Add(Loc loc, const std::string& name) {
        NameUse u;
        u.loc = loc;
        u.name = name;
        out_.push_back(std::move(u));
        return out_.back();
    }

    void TypeUse(const TypeName& as) {
        if (as.Empty()) return;
        const std::string key = Upper(as.name);
        for (const auto& r : p_.types)
            if (Upper(r->name) == key) {
                Add(as.loc, as.name).record = r.get();
                return;
            }
    }

    void Value(const ExprP& e) {
        if (!e) return;
        Value(e->object);
        using R = Expr::Ref;
        switch (e->ref) {
            case R::Variable:
            case R::Element:
            case R::WholeArray:
                if (e->var) Add(e->loc, e->text).var = e->var;
                break;
            case R::Field:
            case R::FieldElement:
            case R::FieldArray:
                if (e->field) Add(e->loc, e->text).field = e->field;
                break;
            case R::ProcCall:
                if (e->proc) Add(e->loc, e->text).proc = e->proc;
                break;
            case R::CommandCall: Add(e->loc, e->text).command = true; break;
            case R::Constant:
                if (e->constant) Add(e->loc, e->text).constant = e->constant;
                break;
            case R::None: break;
        }
        for (const ExprP& a : e->args) Value(a);
    }

    void Statements(const Block& b) {
        for (const StmtP& s : b) Statement(*s);
    }

    void Statement(const Stmt& st) {
        switch (st.kind) {
            case Stmt::Assign:
                Value(As<AssignStmt>(st).target);
                Value(As<AssignStmt>(st).value);
                break;
            case Stmt::Call: Value(As<CallStmt>(st).call); break;
            case Stmt::If:
                for (const auto& branch : As<IfStmt>(st).branches) Value(branch.cond);
                break;
            case Stmt::For: {
                const auto& s = As<ForStmt>(st);
                Value(s.var);
                Value(s.start);
                Value(s.limit);
                Value(s.step);
                break;
            }
            case Stmt::While: Value(As<WhileStmt>(st).cond); break;
            case Stmt::Repeat: Value(As<RepeatStmt>(st).cond); break;
            case Stmt::Select: {
                const auto& s = As<SelectStmt>(st);
                Value(s.subject);
                for (const CaseArm& arm : s.arms)
                    for (const CaseItem& item : arm.items) {
                        Value(item.lo);
                        Value(item.hi);
                    }
                break;
            }
            case Stmt::Return: Value(As<ReturnStmt>(st).value); break;
            case Stmt::Dim:
                for (const DimItem& item : As<DimStmt>(st).items) {
                    Value(item.target);
                    TypeUse(item.as);
                }
                break;
            case Stmt::Local:
            case Stmt::Global:
                for (const Decl& d : As<DeclStmt>(st).decls) {
                    if (d.var) Add(d.loc, d.name).var = d.var;
                    TypeUse(d.as);
                    Value(d.init);
                }
                break;
            case Stmt::Break:
            case Stmt::Continue: break;
        }
        ForEachBlock(st, [&](const Block& inner) { Statements(inner); });
    }

    const Program& p_;
    std::vector<NameUse>& out_;
};

}  // namespace

std::vector<NameUse> NameUses(const Program& program) {
    std::vector<NameUse> uses;
    Collector(program, uses).Run();
    std::stable_sort(uses.begin(), uses.end(), [](const NameUse& a, const NameUse& b) {
        return std::tie(a.loc.file, a.loc.line, a.loc.col) < std::tie(b.loc.file, b.loc.line, b.loc.col);
    });
    return uses;
}

}  // namespace tvc
