// C++ emission. Every expression becomes C++ of one of four kinds: a double, a bool
// (numeric comparisons and logic, kept as bool for conditions), a string (DQStr or a
// CQStr literal) or a record, converted where the context needs another kind.
#include "emit.h"

#include "debug_tables.h"

#include <cstdio>
#include <filesystem>
#include <map>

namespace tvc {

namespace {

enum class K { Num, Bool, Str, Rec };
struct Code {
    std::string text;
    K kind = K::Num;
};

K KindOf(Ty t) {
    switch (t.base) {
        case Ty::Str: return K::Str;
        case Ty::Rec: return K::Rec;
        default: return K::Num;
    }
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c >= 32 && c < 127 && c != '"' && c != '\\' && c != '?') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string NumberLiteral(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    std::string s = buf;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string CppType(Ty t) {
    switch (t.base) {
        case Ty::Str: return "::DQStr";
        case Ty::Rec: return t.rec->cpp;
        default: return "double";
    }
}
std::string CppArrayType(Ty t) {
    switch (t.base) {
        case Ty::Str: return "::DQStrArray";
        case Ty::Rec: return "::__DQArray<" + t.rec->cpp + ">";
        default: return "::DQIntArray";
    }
}

// ---- conversions ----------------------------------------------------------------------------
std::string Num(const Code& c) { return c.kind == K::Bool ? "(" + c.text + " ? 1.0 : 0.0)" : c.text; }
std::string Bool(const Code& c) {
    if (c.kind == K::Bool) return c.text;
    if (c.kind == K::Str) return "((" + c.text + ").Number() != 0)";
    return "(" + c.text + " != 0)";
}
// An operand beside a string: strings as they are, numbers as doubles.
std::string Operand(const Code& c) { return c.kind == K::Str ? c.text : Num(c); }
// A value stored where a `target` is: a number becomes its text in a string.
std::string Stored(Ty target, const Code& c) {
    if (target.base == Ty::Str && c.kind != K::Str) return "::DQStr(static_cast<double>(" + Num(c) + "))";
    if (target.base == Ty::Num) return Num(c);
    return c.text;
}

bool PlaceLike(const Expr& e) {
    switch (e.ref) {
        case Expr::Ref::Variable:
        case Expr::Ref::Element:
        case Expr::Ref::WholeArray:
        case Expr::Ref::Field:
        case Expr::Ref::FieldElement:
        case Expr::Ref::FieldArray: return true;
        default: return false;
    }
}

// A part of an operation, evaluated in its turn: a value, or a place (an assignment's
// target, a command's output argument, an array argument) whose indexes are evaluated
// in its turn and which is formed when the operation runs.
struct Part {
    const Expr* e;
    bool place;
};

class Emitter {
public:
    Emitter(const Program& p, std::string& out, bool debug = false) : p_(p), out_(out), debug_(debug) {
        // A debug build names the BASIC files and lines in its debugging information: each
        // line of a statement's C++ is said to be the statement's line (#line), so the
        // debugger, profilers, sanitizers and core dumps show where in the BASIC program
        // they are. The files by their full paths: a debug build is for this machine.
        if (debug) {
            namespace fs = std::filesystem;
            std::error_code ec;
            for (const auto& f : p_.sources.files)
                lineFiles_.push_back(Quote(fs::absolute(f.name, ec).lexically_normal().string()));
        }
    }

    void Program() {
        out_ += "// Made by tolvanec from " + p_.sources.files[0].name + "; changes here are lost at the next build.\n";
        out_ += "#include \"tolvane.h\"\n\nnamespace __TOLVANE__ {\n\n";
        for (const auto& c : p_.consts) {
            if (!c->known) continue;
            if (c->type.base == Ty::Str)
                out_ += "extern const ::CQStr " + c->cpp + " = " + Quote(c->text) + ";\n";
            else
                out_ += "extern const double " + c->cpp + " = " + NumberLiteral(c->number) + ";\n";
        }
        if (!p_.consts.empty()) out_ += "\n";
        for (const auto& r : p_.types) Record(*r);
        for (const auto& v : p_.globals) out_ += Declaration(*v) + "\n";
        if (!p_.globals.empty()) out_ += "\n";
        if (debug_) out_ += DebugProgramTables(p_, lineFiles_);
        for (const auto& proc : p_.procs)
            if (!proc->cpp.empty()) out_ += Signature(*proc) + ";\n";
        out_ += "\n";
        for (const auto& proc : p_.procs) {
            if (proc->cpp.empty()) continue;
            cur_ = proc.get();
            temp_ = 0;
            out_ += Signature(*proc) + " {\n    ::__CallDepth __depth;\n";
            for (const auto& v : proc->locals)
                if (!v->isParam) out_ += "    [[maybe_unused]] " + Declaration(*v) + "\n";
            if (debug_)
                for (const std::string& line : DebugFrame(*proc)) out_ += "    " + line + "\n";
            Block(proc->body, 1);
            out_ += "    return " + DefaultResult(*proc) + ";\n}\n\n";
        }
        cur_ = nullptr;
        temp_ = 0;
        out_ += "double __MainGameSub_() {\n";
        Block(p_.main, 1);
        out_ += "    return 0;\n}\n\n}  // namespace __TOLVANE__\n";
    }

    // The entry point: main() with the build settings and the source files' names,
    // which a fatal runtime error's report names. They are named from the main program's
    // folder, so that a program handed on (a web page above all) does not tell where its
    // sources lay on the machine that built it.
    void Entry(const Settings& st, bool standalone) {
        const auto& files = p_.sources.files;
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base = fs::absolute(files[0].name, ec).lexically_normal().parent_path();
        const auto shown = [&](const std::string& name) {
            const fs::path relative = fs::absolute(name, ec).lexically_normal().lexically_relative(base);
            return ec || relative.empty() ? fs::path(name).filename().string() : relative.string();
        };
        if (standalone)
            out_ += "// Made by tolvanec from " + files[0].name +
                    ": the program's entry point; changes here are lost at the next build.\n"
                    "#include \"tolvane.h\"\n";
        out_ += "\nint main(int argc, char** argv) {\n    static const char* const kSourceFiles[] = {";
        for (size_t i = 0; i < files.size(); ++i) out_ += (i ? ", " : "") + Quote(shown(files[i].name));
        out_ += "};\n    ::__SetSourceFiles(kSourceFiles, " + std::to_string(files.size()) + ");\n";
        out_ += "    ::__ProgramEntry(argc, argv, ::__BuildSettings{.resx = " + std::to_string(*st.width) +
                ", .resy = " + std::to_string(*st.height) + ", .fullscreen = " + std::to_string(*st.fullscreen) +
                ", .framerate = " + std::to_string(*st.fps) + ", .debug = " + std::to_string(*st.debug) +
                ", .wantMouse = " + std::to_string(*st.mouse) + "}, " + Quote(*st.title) + ");\n}\n";
    }

private:
    // ---- declarations ---------------------------------------------------------------------
    void Record(const tvc::Record& r) {
        out_ += "struct " + r.cpp + " {\n";
        std::string sizing;
        for (const auto& f : r.fields) {
            if (!f->isArray) {
                out_ += "    " + CppType(f->type) + " " + f->cpp + (f->type.base == Ty::Num ? " = 0;\n" : ";\n");
                continue;
            }
            out_ += "    " + CppArrayType(f->type) + " " + f->cpp + ";\n";
            sizing += " " + f->cpp + ".Dim(";
            for (size_t i = 0; i < f->sizes.size(); ++i) sizing += (i ? ", " : "") + NumberLiteral(f->sizes[i]);
            sizing += ");";
        }
        if (!sizing.empty()) out_ += "    " + r.cpp + "() {" + sizing + " }\n";
        out_ += "};\n\n";
    }
    static std::string Declaration(const Var& v) {
        if (v.isArray) return CppArrayType(v.type) + " " + v.cpp + ";";
        if (v.type.base == Ty::Num) return "double " + v.cpp + " = 0;";
        return CppType(v.type) + " " + v.cpp + ";";
    }
    static std::string Signature(const Proc& proc) {
        std::string s = CppType(proc.result) + " " + proc.cpp + "(";
        for (size_t i = 0; i < proc.params.size(); ++i) {
            const Param& prm = proc.params[i];
            if (i) s += ", ";
            const std::string cpp = prm.var ? prm.var->cpp : "p" + std::to_string(i);
            const Ty t = prm.var ? prm.var->type : Ty::Number();
            s += "[[maybe_unused]] ";
            s += prm.isArray ? CppArrayType(t) + "& " + cpp : CppType(t) + " " + cpp;
        }
        return s + ")";
    }
    static std::string DefaultResult(const Proc& proc) {
        return proc.result.base == Ty::Num ? "0" : CppType(proc.result) + "()";
    }

    // ---- evaluation order -------------------------------------------------------------------
    std::string Temp() { return "__t" + std::to_string(++temp_); }

    // A part whose value no other part can change: a literal, a CONST, or (unless a
    // command stores into variables) a SUB's own plain variable.
    bool Stable(const Expr& e, bool outputs) const {
        if (e.kind == Expr::Number || e.kind == Expr::String || e.ref == Expr::Ref::Constant) return true;
        return e.ref == Expr::Ref::Variable && cur_ && !e.var->isGlobal && !outputs;
    }

    // The expressions a place evaluates: its indexes, and its object's.
    static void PlaceUnits(const Expr& e, std::vector<const Expr*>& units) {
        if (e.object) {
            if (PlaceLike(*e.object))
                PlaceUnits(*e.object, units);
            else
                units.push_back(e.object.get());
        }
        if (e.ref == Expr::Ref::Element || e.ref == Expr::Ref::FieldElement)
            for (const ExprP& a : e.args) units.push_back(a.get());
    }
    std::string PlaceText(const Expr& e, std::map<const Expr*, Code>& done) {
        std::string s;
        if (e.object) s = (PlaceLike(*e.object) ? PlaceText(*e.object, done) : done[e.object.get()].text) + ".";
        if (e.ref == Expr::Ref::Field || e.ref == Expr::Ref::FieldArray) return s + e.field->cpp;
        if (e.ref == Expr::Ref::FieldElement)
            s += e.field->cpp;
        else
            s += e.var->cpp;
        if (e.ref == Expr::Ref::Element || e.ref == Expr::Ref::FieldElement) {
            s += "(";
            for (size_t i = 0; i < e.args.size(); ++i) s += (i ? ", " : "") + Num(done[e.args[i].get()]);
            s += ")";
        }
        return s;
    }

    // Evaluates the parts from left to right: the code of each part, and the definitions
    // of the temporaries that keep the order where it could change a result.
    std::vector<Code> Evaluate(const std::vector<Part>& parts, std::vector<std::string>& pre) {
        std::vector<const Expr*> units;
        for (const Part& p : parts)
            if (p.place)
                PlaceUnits(*p.e, units);
            else
                units.push_back(p.e);
        bool calls = false, outputs = false;
        for (const Expr* u : units) {
            calls = calls || u->hasCall;
            outputs = outputs || u->writesOut;
        }
        int unstable = 0;
        for (const Expr* u : units) unstable += Stable(*u, outputs) ? 0 : 1;
        const bool ordered = calls && unstable >= 2;
        std::map<const Expr*, Code> done;
        for (const Expr* u : units) {
            Code c = Value(*u, &pre);  // what it evaluates in order goes first
            if (ordered && !Stable(*u, outputs)) {
                const std::string t = Temp();
                const std::string type = c.kind == K::Bool ? "bool" : c.kind == K::Num ? "double" : CppType(u->type);
                pre.push_back("const " + type + " " + t + " = " + c.text + ";");
                c.text = t;
            }
            done[u] = c;
        }
        std::vector<Code> codes;
        for (const Part& p : parts)
            codes.push_back(p.place ? Code{PlaceText(*p.e, done), KindOf(p.e->type)} : done[p.e]);
        return codes;
    }
    // `text` after the definitions: they go to `sink` when there is one (the caller runs
    // them first), else into a lambda that runs them first.
    static Code After(const std::vector<std::string>& pre, const std::string& text, K kind, Ty type,
                      std::vector<std::string>* sink) {
        if (pre.empty()) return {text, kind};
        if (sink) {
            sink->insert(sink->end(), pre.begin(), pre.end());
            return {text, kind};
        }
        std::string s = "[&]() -> " +
                        (kind == K::Bool  ? std::string("bool")
                         : kind == K::Num ? "double"
                                          : CppType(type)) +
                        " { ";
        for (const std::string& line : pre) s += line + " ";
        return {s + "return " + text + "; }()", kind};
    }

    // ---- expressions ----------------------------------------------------------------------
    // The code of a value. Definitions of temporaries it needs go to `sink` when there is
    // one, to be run right before the code; without, the code runs them itself.
    Code Value(const Expr& e, std::vector<std::string>* sink = nullptr) {
        switch (e.kind) {
            case Expr::Number: return {NumberLiteral(e.number), K::Num};
            case Expr::String: return {"::CQStr(" + Quote(e.text) + ")", K::Str};
            case Expr::Unary: {
                const Code a = Value(*e.args[0]);
                if (e.op == T::Not) return {"(!" + Bool(a) + ")", K::Bool};
                return {"(-" + Num(a) + ")", K::Num};
            }
            case Expr::Binary: return BinaryExpr(e, sink);
            case Expr::Name:
            case Expr::Call:
            case Expr::Field: return Reference(e, sink);
        }
        return {"0.0", K::Num};
    }

    Code BinaryExpr(const Expr& e, std::vector<std::string>* sink) {
        if (e.op == T::And || e.op == T::Or) {  // && and || run their left side first
            const Code a = Value(*e.args[0]), b = Value(*e.args[1]);
            return {"(" + Bool(a) + (e.op == T::And ? " && " : " || ") + Bool(b) + ")", K::Bool};
        }
        std::vector<std::string> pre;
        const std::vector<Code> c = Evaluate({{e.args[0].get(), false}, {e.args[1].get(), false}}, pre);
        const Code &a = c[0], &b = c[1];
        const bool str = a.kind == K::Str || b.kind == K::Str;
        auto infix = [&](const char* op) { return "(" + Operand(a) + " " + op + " " + Operand(b) + ")"; };
        std::string text;
        K kind = str ? K::Str : K::Num;
        switch (e.op) {
            case T::Xor:
                text = "(" + Bool(a) + " != " + Bool(b) + ")";
                kind = K::Bool;
                break;
            case T::Mod:
                text = "::MOD(" + Num(a) + ", " + Num(b) + ")";
                kind = K::Num;
                break;
            case T::Caret: text = str ? infix("^") : "::POW(" + Num(a) + ", " + Num(b) + ")"; break;
            case T::Plus: text = infix("+"); break;
            case T::Minus: text = infix("-"); break;
            case T::Star: text = infix("*"); break;
            case T::Slash: text = infix("/"); break;
            default: {
                const char* op = e.op == T::Eq   ? "=="
                                 : e.op == T::Ne ? "!="
                                 : e.op == T::Lt ? "<"
                                 : e.op == T::Le ? "<="
                                 : e.op == T::Gt ? ">"
                                                 : ">=";
                text = infix(op);
                if (!str) kind = K::Bool;
                break;
            }
        }
        return After(pre, text, kind, e.type, sink);
    }

    Code Reference(const Expr& e, std::vector<std::string>* sink) {
        const K kind = KindOf(e.type);
        switch (e.ref) {
            case Expr::Ref::Constant:
                if (e.constant->type.base == Ty::Str) return {"::CQStr(" + Quote(e.constant->text) + ")", K::Str};
                return {NumberLiteral(e.constant->number), K::Num};
            case Expr::Ref::Variable:
            case Expr::Ref::WholeArray: return {e.var->cpp, kind};
            case Expr::Ref::Element:
            case Expr::Ref::Field:
            case Expr::Ref::FieldElement:
            case Expr::Ref::FieldArray: {
                std::vector<std::string> pre;
                const std::vector<Code> c = Evaluate({{&e, true}}, pre);
                return After(pre, c[0].text, kind, e.type, sink);
            }
            case Expr::Ref::ProcCall: {
                std::vector<Part> parts;
                for (size_t i = 0; i < e.args.size(); ++i)
                    parts.push_back({e.args[i].get(), e.proc->params[i].isArray});
                std::vector<std::string> pre;
                const std::vector<Code> c = Evaluate(parts, pre);
                std::string s = e.proc->cpp + "(";
                for (size_t i = 0; i < c.size(); ++i) {
                    const Param& prm = e.proc->params[i];
                    s += (i ? ", " : "") + (prm.isArray || !prm.var ? c[i].text : Stored(prm.var->type, c[i]));
                }
                return After(pre, s + ")", kind, e.type, sink);
            }
            case Expr::Ref::CommandCall: {
                std::vector<Part> parts;
                for (size_t i = 0; i < e.args.size(); ++i) {
                    const cmdtable::KindInfo& k = cmdtable::Info(e.command->args[i].kind);
                    parts.push_back({e.args[i].get(), k.isOut || k.isArray});
                }
                std::vector<std::string> pre;
                const std::vector<Code> c = Evaluate(parts, pre);
                std::string s = "::" + e.command->cpp + "(";
                for (size_t i = 0; i < c.size(); ++i)
                    s += (i ? ", " : "") + (parts[i].place ? c[i].text : Operand(c[i]));
                return After(pre, s + ")", kind, e.type, sink);
            }
            case Expr::Ref::None: break;
        }
        return {"0.0", K::Num};
    }

    // ---- statements -----------------------------------------------------------------------
    void Line(int indent, const std::string& text) {
        if (at_.line > 0 && at_.file >= 0 && static_cast<size_t>(at_.file) < lineFiles_.size())
            out_ += "#line " + std::to_string(at_.line) + " " + lineFiles_[static_cast<size_t>(at_.file)] + "\n";
        out_ += std::string(4 * indent, ' ') + text + "\n";
    }
    // Every turn of a loop passes a checkpoint, where the program can be stopped (a
    // SUB's start passes one in its __CallDepth).
    static constexpr const char* kCheckpoint = "::__Cp();";
    // A debug build marks the statements with __Ln, which the debugger can stop at.
    std::string Mark(const Loc& loc) const {
        return (debug_ ? "::__Ln(" : "::__dLn(") + std::to_string(loc.file) + ", " + std::to_string(loc.line) + ")";
    }

    void Block(const tvc::Block& b, int indent) {
        for (const auto& s : b) Statement(*s, indent);
    }

    // Definitions, then the statement that uses them: in a block of their own.
    void Sequenced(int indent, const std::vector<std::string>& pre, const std::string& text) {
        if (pre.empty()) {
            Line(indent, text);
            return;
        }
        Line(indent, "{");
        for (const std::string& line : pre) Line(indent + 1, line);
        Line(indent + 1, text);
        Line(indent, "}");
    }

    void Statement(const Stmt& st, int indent) {
        at_ = st.loc;
        Line(indent, Mark(st.loc) + ";");
        switch (st.kind) {
            case Stmt::Assign: {
                const auto& s = As<AssignStmt>(st);
                std::vector<std::string> pre;
                const std::vector<Code> c = Evaluate({{s.target.get(), true}, {s.value.get(), false}}, pre);
                Sequenced(indent, pre, c[0].text + " = " + Stored(s.target->type, c[1]) + ";");
                break;
            }
            case Stmt::Call: {
                std::vector<std::string> pre;
                const std::string call = Value(*As<CallStmt>(st).call, &pre).text;
                Sequenced(indent, pre, call + ";");
                break;
            }
            case Stmt::If: IfStatement(As<IfStmt>(st), indent); break;
            case Stmt::For: ForStatement(As<ForStmt>(st), indent); break;
            case Stmt::While: {
                const auto& s = As<WhileStmt>(st);
                Line(indent, "while ((" + Mark(s.loc) + ", " + Bool(Value(*s.cond)) + ")) {");
                Line(indent + 1, kCheckpoint);
                Block(s.body, indent + 1);
                Line(indent, "}");
                break;
            }
            case Stmt::Repeat: {
                const auto& s = As<RepeatStmt>(st);
                Line(indent, "do {");
                Line(indent + 1, kCheckpoint);
                Block(s.body, indent + 1);
                Line(indent, "} while ((" + Mark(s.cond->loc) + ", !" + Bool(Value(*s.cond)) + "));");
                break;
            }
            case Stmt::Select: SelectStatement(As<SelectStmt>(st), indent); break;
            case Stmt::Return: {
                const auto& s = As<ReturnStmt>(st);
                if (!cur_)
                    Line(indent, "return 0;");
                else if (!s.value)
                    Line(indent, "return " + DefaultResult(*cur_) + ";");
                else {
                    std::vector<std::string> pre;
                    const Code v = Value(*s.value, &pre);
                    Sequenced(indent, pre, "return " + Stored(cur_->result, v) + ";");
                }
                break;
            }
            case Stmt::Dim:
                for (const DimItem& item : As<DimStmt>(st).items) DimItemStatement(item, indent);
                break;
            case Stmt::Local:
            case Stmt::Global:
                for (const Decl& d : As<DeclStmt>(st).decls)
                    if (d.init && d.var) Line(indent, d.var->cpp + " = " + Stored(d.var->type, Value(*d.init)) + ";");
                break;
            case Stmt::Break: Line(indent, "break;"); break;
            case Stmt::Continue: Line(indent, "continue;"); break;
        }
    }

    void IfStatement(const IfStmt& s, int indent) {
        if (s.branches.empty()) return;
        for (size_t i = 0; i < s.branches.size(); ++i) {
            const IfStmt::Branch& b = s.branches[i];
            const std::string c = Bool(Value(*b.cond));
            if (i == 0)
                Line(indent, "if (" + c + ") {");
            else
                Line(indent, "} else if ((" + Mark(b.cond->loc) + ", " + c + ")) {");
            Block(b.body, indent + 1);
        }
        if (s.hasElse) {
            Line(indent, "} else {");
            Block(s.elseBody, indent + 1);
        }
        Line(indent, "}");
    }

    // The start, the end and the step are worked out once, in that order, before the
    // variable is set.
    void ForStatement(const ForStmt& s, int indent) {
        const std::string v = Value(*s.var).text, n = std::to_string(++temp_);
        Line(indent, "{");
        Line(indent + 1, "const double __from" + n + " = " + Num(Value(*s.start)) + ";");
        Line(indent + 1, "const double __to" + n + " = " + Num(Value(*s.limit)) + ";");
        if (s.step) Line(indent + 1, "const double __step" + n + " = " + Num(Value(*s.step)) + ";");
        Line(indent + 1, v + " = __from" + n + ";");
        if (s.step)
            Line(indent + 1, "for (; __step" + n + " >= 0 ? " + v + " <= __to" + n + " : " + v + " >= __to" + n + "; " +
                                 v + " += __step" + n + ") {");
        else
            Line(indent + 1, "for (; " + v + " <= __to" + n + "; " + v + " += 1) {");
        Line(indent + 2, kCheckpoint);
        Block(s.body, indent + 2);
        Line(indent + 1, "}");
        Line(indent, "}");
    }

    void DimItemStatement(const DimItem& item, int indent) {
        const Expr& t = *item.target;
        if (t.ref == Expr::Ref::Variable) {  // DIM s AS Ship: a fresh record
            Line(indent, t.var->cpp + " = " + CppType(t.var->type) + "();");
            return;
        }
        std::vector<Part> parts = {{&t, true}};
        for (const ExprP& size : t.args) parts.push_back({size.get(), false});
        // The array itself is the place; its sizes are values, not indexes.
        std::vector<std::string> pre;
        const std::vector<Code> c = Evaluate(parts, pre);
        const std::string& array = c[0].text;
        std::string sizes;
        for (size_t i = 1; i < c.size(); ++i) sizes += (i > 1 ? ", " : "") + Num(c[i]);
        const Ty type = t.ref == Expr::Ref::WholeArray ? t.var->type : t.type;
        Sequenced(indent, pre,
                  type.base == Ty::Rec ? array + ".Dim(" + sizes + ");" : "::DIM(" + array + ", " + sizes + ");");
    }

    void SelectStatement(const SelectStmt& s, int indent) {
        const Code subject = Value(*s.subject);
        const bool str = subject.kind == K::Str;
        const std::string sel = "__sel" + std::to_string(++temp_);
        Line(indent, "{");
        Line(indent + 1, str ? "const ::DQStr " + sel + "(" + subject.text + ");"
                             : "const double " + sel + " = " + Num(subject) + ";");
        if (str) Line(indent + 1, "(void)" + sel + ";");
        bool first = true;
        for (const CaseArm& arm : s.arms) {
            std::string cond;
            for (const CaseItem& item : arm.items) {
                auto test = [&](const char* op, const Expr& v) {
                    const Code c = Value(v);
                    if (str) return "((" + sel + " " + op + " " + Operand(c) + ").Number() != 0)";
                    return "(" + sel + " " + op + " " + Num(c) + ")";
                };
                const std::string one =
                    item.hi ? "(" + test(">=", *item.lo) + " && " + test("<=", *item.hi) + ")" : test("==", *item.lo);
                cond += (cond.empty() ? "" : " || ") + one;
            }
            if (cond.empty())
                Line(indent + 1, first ? "{" : "} else {");
            else
                Line(indent + 1, (first ? "if ((" : "} else if ((") + Mark(arm.loc) + ", " + cond + ")) {");
            first = false;
            Block(arm.body, indent + 2);
        }
        if (!first) Line(indent + 1, "}");
        Line(indent, "}");
    }

    const tvc::Program& p_;
    std::string& out_;
    bool debug_;
    std::vector<std::string> lineFiles_;  // in a debug build: the files' names, quoted
    Loc at_{0, 0, 0};                     // the statement being written (line 0: none yet)
    const Proc* cur_ = nullptr;
    int temp_ = 0;
};

}  // namespace

std::string EmitCpp(const Program& program, const Settings& settings, std::string* entry) {
    std::string out;
    Emitter(program, out, *settings.debug != 0).Program();
    if (entry) {
        entry->clear();
        Emitter(program, *entry).Entry(settings, true);
    } else {
        Emitter(program, out).Entry(settings, false);
    }
    return out;
}

}  // namespace tvc
