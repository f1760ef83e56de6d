// C++ emission. Every expression becomes C++ of one of three kinds: a double, a bool
// (numeric comparisons and logic, kept as bool for conditions) or a string (DQStr or a
// CQStr literal), converted where the context needs another kind.
#include "emit.h"

#include <cstdio>

namespace tvc {

BuildSettings ResolveSettings(const Settings& s, BuildSettings d) {
    if (s.width) d.width = *s.width;
    if (s.height) d.height = *s.height;
    if (s.fullscreen) d.fullscreen = *s.fullscreen;
    if (s.fps) d.fps = *s.fps;
    if (s.debug) d.debug = *s.debug;
    if (s.mouse) d.mouse = *s.mouse;
    if (s.title) d.title = *s.title;
    return d;
}

namespace {

enum class K { Num, Bool, Str };
struct Code {
    std::string text;
    K kind;
};

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

class Emitter {
public:
    Emitter(const Program& p, std::string& out) : p_(p), out_(out) {}

    void Program() {
        const auto& files = p_.sources.files;
        out_ += "// Made by tolvanec from " + files[0].name + "; changes here are lost at the next build.\n";
        out_ += "#include <cmath>\n#include <cstdio>\n#include <cstdlib>\n\n#include \"tolvane.h\"\n\n";
        out_ += "namespace __TOLVANE__ {\n\n";
        out_ += "namespace {\n// Procedure calls nest at most this deep; deeper ends the program (out of memory).\n"
                "int __tvc_depth = 0;\nstruct __TvcDepth {\n"
                "    __TvcDepth() { if (++__tvc_depth > 10000) ::__FatalError(7); }\n"
                "    ~__TvcDepth() { --__tvc_depth; }\n};\n}  // namespace\n\n";
        for (const auto& v : p_.globals) out_ += Declaration(*v) + "\n";
        if (!p_.globals.empty()) out_ += "\n";
        for (const auto& proc : p_.procs)
            if (!proc->cpp.empty()) out_ += Signature(*proc) + ";\n";
        out_ += "\n";
        for (const auto& proc : p_.procs) {
            if (proc->cpp.empty()) continue;
            cur_ = proc.get();
            out_ += Signature(*proc) + " {\n    __TvcDepth __depth;\n";
            for (const auto& v : proc->locals)
                if (!v->isParam) out_ += "    [[maybe_unused]] " + Declaration(*v) + "\n";
            Block(proc->body, 1);
            out_ += proc->returnsString ? "    return ::DQStr();\n}\n\n" : "    return 0;\n}\n\n";
        }
        cur_ = nullptr;
        out_ += "double __MainGameSub_() {\n";
        Block(p_.main, 1);
        out_ += "    return 0;\n}\n\n}  // namespace __TOLVANE__\n";
    }

    // The entry point: main() with the build settings, and the report that names the
    // source file of a fatal error's line.
    void Entry(const BuildSettings& st, bool standalone) {
        const auto& files = p_.sources.files;
        if (standalone)
            out_ += "// Made by tolvanec from " + files[0].name +
                    ": the program's entry point; changes here are lost at the next build.\n"
                    "#include <cstdio>\n#include <cstdlib>\n\n#include \"tolvane.h\"\n";
        out_ += "\nnamespace {\nconst char* const kSourceFiles[] = {";
        for (size_t i = 0; i < files.size(); ++i) out_ += (i ? ", " : "") + Quote(files[i].name);
        out_ += "};\n// A fatal runtime error also names the source file of its line.\n"
                "void ReportSourcePlace() {\n"
                "    int file = static_cast<int>(::__g_debugfile);\n"
                "    if (::__FatalCode() != 0 && file >= 0 && file < " + std::to_string(files.size()) + ")\n"
                "        std::fprintf(stderr, \"Tolvane: at %s:%g\\n\", kSourceFiles[file], ::__g_errorline);\n"
                "}\n}  // namespace\n\n";
        out_ += "int main(int argc, char** argv) {\n    std::atexit(ReportSourcePlace);\n";
        out_ += "    __ProgramEntry(argc, argv, __BuildSettings{.resx = " + std::to_string(st.width) +
                ", .resy = " + std::to_string(st.height) + ", .fullscreen = " + std::to_string(st.fullscreen) +
                ", .framerate = " + std::to_string(st.fps) + ", .debug = " + std::to_string(st.debug) +
                ", .wantMouse = " + std::to_string(st.mouse) + "}, " + Quote(st.title) + ");\n}\n";
    }

private:
    static std::string Declaration(const Var& v) {
        if (v.isArray) return (v.isStr ? "::DQStrArray " : "::DQIntArray ") + v.cpp + ";";
        return v.isStr ? "::DQStr " + v.cpp + ";" : "double " + v.cpp + " = 0;";
    }
    static std::string Signature(const Proc& proc) {
        std::string s = (proc.returnsString ? "::DQStr " : "double ") + proc.cpp + "(";
        for (size_t i = 0; i < proc.params.size(); ++i) {
            const Param& prm = proc.params[i];
            if (i) s += ", ";
            std::string cpp = prm.var ? prm.var->cpp : "p" + std::to_string(i);
            bool str = !prm.name.empty() && prm.name.back() == '$';
            s += "[[maybe_unused]] ";
            if (prm.isArray) s += (str ? "::DQStrArray& " : "::DQIntArray& ") + cpp;
            else s += (str ? "::DQStr " : "double ") + cpp;
        }
        return s + ")";
    }

    // ---- conversions --------------------------------------------------------------------
    static std::string Num(const Code& c) {
        if (c.kind == K::Bool) return "(" + c.text + " ? 1.0 : 0.0)";
        return c.text;
    }
    static std::string Bool(const Code& c) {
        if (c.kind == K::Bool) return c.text;
        if (c.kind == K::Str) return "((" + c.text + ").Number() != 0)";
        return "(" + c.text + " != 0)";
    }
    // An operand beside a string: strings as they are, numbers as doubles.
    static std::string Operand(const Code& c) { return c.kind == K::Str ? c.text : Num(c); }

    // ---- expressions --------------------------------------------------------------------
    Code Expr(const tvc::Expr& e) {
        switch (e.kind) {
        case tvc::Expr::Number: return {NumberLiteral(e.number), K::Num};
        case tvc::Expr::String: return {"::CQStr(" + Quote(e.text) + ")", K::Str};
        case tvc::Expr::Name:
        case tvc::Expr::Call: return Reference(e);
        case tvc::Expr::Unary: {
            Code a = Expr(*e.args[0]);
            if (e.op == T::Not) return {"(!" + Bool(a) + ")", K::Bool};
            return {"(-" + Num(a) + ")", K::Num};
        }
        case tvc::Expr::Binary: return BinaryExpr(e);
        }
        return {"0.0", K::Num};
    }

    Code BinaryExpr(const tvc::Expr& e) {
        Code a = Expr(*e.args[0]);
        Code b = Expr(*e.args[1]);
        bool str = a.kind == K::Str || b.kind == K::Str;
        auto infix = [&](const char* op) { return "(" + Operand(a) + " " + op + " " + Operand(b) + ")"; };
        switch (e.op) {
        case T::And: return {"(" + Bool(a) + " && " + Bool(b) + ")", K::Bool};
        case T::Or: return {"(" + Bool(a) + " || " + Bool(b) + ")", K::Bool};
        case T::Xor: return {"(" + Bool(a) + " != " + Bool(b) + ")", K::Bool};
        case T::Mod: return {"::MOD(" + Num(a) + ", " + Num(b) + ")", K::Num};
        case T::Caret:
            if (!str) return {"::POW(" + Num(a) + ", " + Num(b) + ")", K::Num};
            return {infix("^"), K::Str};
        case T::Plus: return {infix("+"), str ? K::Str : K::Num};
        case T::Minus: return {infix("-"), str ? K::Str : K::Num};
        case T::Star: return {infix("*"), str ? K::Str : K::Num};
        case T::Slash: return {infix("/"), str ? K::Str : K::Num};
        case T::Eq: return {infix("=="), str ? K::Str : K::Bool};
        case T::Ne: return {infix("!="), str ? K::Str : K::Bool};
        case T::Lt: return {infix("<"), str ? K::Str : K::Bool};
        case T::Le: return {infix("<="), str ? K::Str : K::Bool};
        case T::Gt: return {infix(">"), str ? K::Str : K::Bool};
        case T::Ge: return {infix(">="), str ? K::Str : K::Bool};
        default: return {"0.0", K::Num};
        }
    }

    std::string Indexes(const tvc::Expr& e) {
        std::string s;
        for (size_t i = 0; i < e.args.size(); ++i) s += (i ? ", " : "") + Num(Expr(*e.args[i]));
        return s;
    }

    Code Reference(const tvc::Expr& e) {
        K kind = e.type == Type::Str ? K::Str : K::Num;
        switch (e.ref) {
        case tvc::Expr::Scalar:
        case tvc::Expr::WholeArray: return {e.var->cpp, kind};
        case tvc::Expr::Element: return {e.var->cpp + "(" + Indexes(e) + ")", kind};
        case tvc::Expr::ProcCall: {
            std::string s = e.proc->cpp + "(";
            for (size_t i = 0; i < e.args.size(); ++i) {
                Code a = Expr(*e.args[i]);
                const Param& prm = e.proc->params[i];
                bool strParam = !prm.isArray && !prm.name.empty() && prm.name.back() == '$';
                s += (i ? ", " : "") + (strParam && a.kind != K::Str ? "::DQStr(static_cast<double>(" + Num(a) + "))"
                                                                     : Operand(a));
            }
            return {s + ")", kind};
        }
        case tvc::Expr::CommandCall: {
            std::string s = "::" + e.command->cpp + "(";
            for (size_t i = 0; i < e.args.size(); ++i) s += (i ? ", " : "") + Operand(Expr(*e.args[i]));
            return {s + ")", kind};
        }
        case tvc::Expr::Val: return {"(" + Expr(*e.args[0]).text + ").Number()", K::Num};
        case tvc::Expr::Trunc: return {"(std::trunc(" + Num(Expr(*e.args[0])) + ") + 0.0)", K::Num};
        case tvc::Expr::StrOf: return {"::DQStr(static_cast<double>(" + Num(Expr(*e.args[0])) + "))", K::Str};
        case tvc::Expr::None: break;
        }
        return {"0.0", K::Num};
    }

    // ---- statements ---------------------------------------------------------------------
    void Line(int indent, const std::string& text) { out_ += std::string(4 * indent, ' ') + text + "\n"; }
    std::string Mark(const Loc& loc) {
        return "::__dLn(" + std::to_string(loc.file) + ", " + std::to_string(loc.line) + ")";
    }

    void Block(const tvc::Block& b, int indent) {
        for (const auto& s : b) Statement(*s, indent);
    }

    void Assign(const tvc::Expr& target, const tvc::Expr& value, int indent) {
        Code t = Expr(target);
        Code v = Expr(value);
        Line(indent, t.text + " = " + (t.kind == K::Str ? Operand(v) : Num(v)) + ";");
    }

    void Statement(const Stmt& s, int indent) {
        Line(indent, Mark(s.loc) + ";");
        switch (s.kind) {
        case Stmt::Assign: Assign(*s.target, *s.value, indent); break;
        case Stmt::Call: Line(indent, Expr(*s.value).text + ";"); break;
        case Stmt::If:
            for (size_t i = 0; i < s.branches.size(); ++i) {
                const auto& [cond, block] = s.branches[i];
                std::string c = Bool(Expr(*cond));
                if (i == 0) Line(indent, "if (" + c + ") {");
                else Line(indent, "} else if ((" + Mark(cond->loc) + ", " + c + ")) {");
                Block(block, indent + 1);
            }
            if (s.hasElse) {
                Line(indent, "} else {");
                Block(s.body, indent + 1);
            }
            Line(indent, "}");
            break;
        case Stmt::For: {
            std::string v = Expr(*s.target).text, n = std::to_string(++temp_);
            Line(indent, "{");
            Line(indent + 1, v + " = " + Num(Expr(*s.value)) + ";");
            Line(indent + 1, "const double __to" + n + " = " + Num(Expr(*s.limit)) + ";");
            if (s.step) {
                Line(indent + 1, "const double __step" + n + " = " + Num(Expr(*s.step)) + ";");
                Line(indent + 1, "for (; __step" + n + " >= 0 ? " + v + " <= __to" + n + " : " + v + " >= __to" + n +
                                     "; " + v + " += __step" + n + ") {");
            } else {
                Line(indent + 1, "for (; " + v + " <= __to" + n + "; " + v + " += 1) {");
            }
            Block(s.body, indent + 2);
            Line(indent + 1, "}");
            Line(indent, "}");
            break;
        }
        case Stmt::While:
            Line(indent, "while ((" + Mark(s.loc) + ", " + Bool(Expr(*s.value)) + ")) {");
            Block(s.body, indent + 1);
            Line(indent, "}");
            break;
        case Stmt::Repeat:
            Line(indent, "do {");
            Block(s.body, indent + 1);
            Line(indent, "} while ((" + Mark(s.value->loc) + ", !" + Bool(Expr(*s.value)) + "));");
            break;
        case Stmt::Select: SelectStatement(s, indent); break;
        case Stmt::Return:
            if (!cur_) Line(indent, "return 0;");
            else if (!s.value) Line(indent, cur_->returnsString ? "return ::DQStr();" : "return 0;");
            else if (cur_->returnsString) {
                Code v = Expr(*s.value);
                Line(indent, v.kind == K::Str ? "return ::DQStr(" + v.text + ");"
                                              : "return ::DQStr(static_cast<double>(" + Num(v) + "));");
            } else {
                Line(indent, "return " + Num(Expr(*s.value)) + ";");
            }
            break;
        case Stmt::Dim:
            for (const auto& d : s.dims) Line(indent, "::DIM(" + d->var->cpp + ", " + Indexes(*d) + ");");
            break;
        case Stmt::Local:
        case Stmt::Global:
            for (const Decl& d : s.decls)
                if (d.init && d.var) {
                    Code v = Expr(*d.init);
                    Line(indent, d.var->cpp + " = " + (d.var->isStr ? Operand(v) : Num(v)) + ";");
                }
            break;
        case Stmt::Break: Line(indent, "break;"); break;
        case Stmt::Continue: Line(indent, "continue;"); break;
        }
    }

    void SelectStatement(const Stmt& s, int indent) {
        Code subject = Expr(*s.value);
        bool str = subject.kind == K::Str;
        std::string sel = "__sel" + std::to_string(++temp_);
        Line(indent, "{");
        Line(indent + 1, str ? "const ::DQStr " + sel + "(" + subject.text + ");"
                             : "const double " + sel + " = " + Num(subject) + ";");
        if (str) Line(indent + 1, "(void)" + sel + ";");
        bool first = true;
        for (const CaseArm& arm : s.arms) {
            std::string cond;
            if (arm.items.empty()) {
                cond = "";
            } else {
                for (const CaseItem& item : arm.items) {
                    std::string one;
                    auto test = [&](const char* op, const tvc::Expr& v) {
                        Code c = Expr(v);
                        if (str) return "((" + sel + " " + op + " " + Operand(c) + ").Number() != 0)";
                        return "(" + sel + " " + op + " " + Num(c) + ")";
                    };
                    one = item.hi ? "(" + test(">=", *item.lo) + " && " + test("<=", *item.hi) + ")"
                                  : test("==", *item.lo);
                    cond += (cond.empty() ? "" : " || ") + one;
                }
            }
            if (cond.empty()) {
                Line(indent + 1, first ? "{" : "} else {");
            } else {
                std::string marked = "(" + Mark(arm.loc) + ", " + cond + ")";
                Line(indent + 1, (first ? "if (" : "} else if (") + marked + ") {");
            }
            first = false;
            Block(arm.body, indent + 2);
        }
        if (!first) Line(indent + 1, "}");
        Line(indent, "}");
    }

    const tvc::Program& p_;
    std::string& out_;
    const Proc* cur_ = nullptr;
    int temp_ = 0;
};

}  // namespace

std::string EmitCpp(const Program& program, const BuildSettings& settings, std::string* entry) {
    std::string out;
    Emitter(program, out).Program();
    if (entry) {
        entry->clear();
        Emitter(program, *entry).Entry(settings, true);
    } else {
        Emitter(program, out).Entry(settings, false);
    }
    return out;
}

}  // namespace tvc
