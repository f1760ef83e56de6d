// The syntax tree of a Tolvane BASIC program: expressions, statements (each kind with
// its own fields), and the declarations a program makes (TYPEs, CONSTs, SUBs, variables,
// INCLUDEs), every one with its position. Parse builds the tree; Check resolves its
// names and types and fills in the fields marked below, which Emit reads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "command_table.h"
#include "settings.h"
#include "source.h"
#include "tokens.h"

namespace tvc {

struct Record;
struct FieldDecl;
struct Var;
struct Proc;
struct Const;

// The type of a value: a number, a string, or a record of a TYPE.
struct Ty {
    enum Base { None, Num, Str, Rec };
    Base base = None;
    const Record* rec = nullptr;

    static Ty Number() { return {Num, nullptr}; }
    static Ty String() { return {Str, nullptr}; }
    static Ty Of(const Record* r) { return {Rec, r}; }
    bool operator==(const Ty&) const = default;
};
// "a number", "a string", "a Ship"; with `array`: "a number array", "an array of Ship".
std::string TyText(Ty t, bool array = false);

// "AS Name" as written after a declaration; empty when there is none.
struct TypeName {
    Loc loc;
    std::string name;
    bool Empty() const { return name.empty(); }
};

struct Expr;
using ExprP = std::unique_ptr<Expr>;

struct Expr {
    enum Kind { Number, String, Name, Call, Field, Unary, Binary };
    Kind kind = Number;
    Loc loc;
    double number = 0;
    std::string text;         // string value, name as written, field name, operator text
    T op = T::End;            // Unary / Binary operator
    bool parens = false;      // Call, Field: written with parentheses (a() names a whole array)
    ExprP object;             // Field: the record the field is taken from
    std::vector<ExprP> args;  // Call arguments or indexes, Field indexes, Unary/Binary operands
    int height = 1;           // levels of the tree from here down

    // Filled in by Check.
    enum class Ref {
        None,
        Variable,      // var, a plain variable
        Element,       // var(args)
        WholeArray,    // var as a whole (an array argument)
        Field,         // object.field
        FieldElement,  // object.field(args)
        FieldArray,    // object.field as a whole
        ProcCall,      // proc(args)
        CommandCall,   // command(args)
        Constant,      // constant
    };
    Ty type;
    Ref ref = Ref::None;
    Var* var = nullptr;
    const FieldDecl* field = nullptr;
    Proc* proc = nullptr;
    const cmdtable::Command* command = nullptr;
    const Const* constant = nullptr;
    bool hasCall = false;    // a SUB or command is called within: it may change what is read
    bool writesOut = false;  // a command within stores into a variable given as its argument
};

// ---- statements ---------------------------------------------------------------------------
struct Stmt;
using StmtP = std::unique_ptr<Stmt>;
using Block = std::vector<StmtP>;

struct Stmt {
    enum Kind { Assign, Call, If, For, While, Repeat, Select, Return, Break, Continue, Dim, Local, Global };
    Kind kind;
    Loc loc;
    Stmt(Kind k, Loc l) : kind(k), loc(l) {}
    virtual ~Stmt() = default;
};

template <class S>
S& As(Stmt& s) {
    return static_cast<S&>(s);
}
template <class S>
const S& As(const Stmt& s) {
    return static_cast<const S&>(s);
}

struct AssignStmt : Stmt {
    ExprP target, value;
    explicit AssignStmt(Loc l) : Stmt(Assign, l) {}
};
struct CallStmt : Stmt {
    ExprP call;              // a Call (or a Name for a call without arguments)
    bool labelLike = false;  // a bare name with ':' right after it, alone at the start of a line
    explicit CallStmt(Loc l) : Stmt(Call, l) {}
};
struct IfStmt : Stmt {
    struct Branch {
        ExprP cond;
        Block body;
    };
    std::vector<Branch> branches;  // IF, then every ELSEIF
    bool hasElse = false;
    Block elseBody;
    explicit IfStmt(Loc l) : Stmt(If, l) {}
};
struct ForStmt : Stmt {
    ExprP var, start, limit, step;  // var a Name; step may be null
    Block body;
    explicit ForStmt(Loc l) : Stmt(For, l) {}
};
struct WhileStmt : Stmt {
    ExprP cond;
    Block body;
    explicit WhileStmt(Loc l) : Stmt(While, l) {}
};
struct RepeatStmt : Stmt {
    Block body;
    ExprP cond;  // UNTIL
    explicit RepeatStmt(Loc l) : Stmt(Repeat, l) {}
};
struct CaseItem {
    ExprP lo, hi;  // hi only for "lo TO hi"
};
struct CaseArm {
    Loc loc;
    std::vector<CaseItem> items;  // empty for CASE ELSE
    Block body;
};
struct SelectStmt : Stmt {
    ExprP subject;
    std::vector<CaseArm> arms;
    explicit SelectStmt(Loc l) : Stmt(Select, l) {}
};
struct ReturnStmt : Stmt {
    ExprP value;  // may be null
    explicit ReturnStmt(Loc l) : Stmt(Return, l) {}
};
struct JumpStmt : Stmt {  // BREAK, CONTINUE
    JumpStmt(Kind k, Loc l) : Stmt(k, l) {}
};
// One item of DIM: an array and its sizes (DIM a(10, 5), DIM s.hits(8)) or a record
// variable (DIM s AS Ship), optionally of a TYPE (DIM fleet(10) AS Ship).
struct DimItem {
    Loc loc;
    ExprP target;  // a Name, a Call (name and sizes) or a Field (with sizes)
    TypeName as;
    Var* var = nullptr;  // Check: the variable it sizes (null for a field)
};
struct DimStmt : Stmt {
    std::vector<DimItem> items;
    explicit DimStmt(Loc l) : Stmt(Dim, l) {}
};
// One name of LOCAL or GLOBAL: a variable, an array (name()), or a record (AS Type),
// optionally with a first value.
struct Decl {
    Loc loc;
    std::string name;
    bool isArray = false;
    TypeName as;
    ExprP init;
    Var* var = nullptr;  // Check
};
struct DeclStmt : Stmt {  // LOCAL, GLOBAL
    std::vector<Decl> decls;
    DeclStmt(Kind k, Loc l) : Stmt(k, l) {}
};

// Calls `f` on every block directly inside a statement, in the order they stand.
template <class F>
void ForEachBlock(const Stmt& s, F&& f) {
    switch (s.kind) {
        case Stmt::If:
            for (const auto& b : As<IfStmt>(s).branches) f(b.body);
            f(As<IfStmt>(s).elseBody);
            break;
        case Stmt::For: f(As<ForStmt>(s).body); break;
        case Stmt::While: f(As<WhileStmt>(s).body); break;
        case Stmt::Repeat: f(As<RepeatStmt>(s).body); break;
        case Stmt::Select:
            for (const CaseArm& arm : As<SelectStmt>(s).arms) f(arm.body);
            break;
        default: break;
    }
}

// ---- declarations -------------------------------------------------------------------------
// A field of a TYPE: a number (x), a string (name$), an array of them (hits(4)), a record
// (pos AS Point) or an array of records (parts(3) AS Part). Array sizes are constants.
struct FieldDecl {
    Loc loc;
    std::string name;
    std::string cpp;  // Check
    TypeName as;
    bool isArray = false;
    std::vector<ExprP> sizeExprs;
    Ty type;                    // Check: the type of the field or of its elements
    std::vector<double> sizes;  // Check: the sizes, whole numbers of at least 1
};

struct Record {   // TYPE name ... END TYPE
    Loc loc;      // TYPE
    Loc nameLoc;  // its name
    Loc end;      // END TYPE (both words)
    std::string name;
    std::string cpp;  // Check
    std::vector<std::unique_ptr<FieldDecl>> fields;
    // The field of that name (any case), or null.
    const FieldDecl* Find(const std::string& fieldName) const;
};

struct Const {  // CONST name = value
    Loc loc;
    std::string name;
    std::string cpp;  // Check
    ExprP value;
    Ty type;            // Check: a number or a string, by the name
    double number = 0;  // Check: the value worked out
    std::string text;
    bool known = false;  // Check: the value could be worked out
};

struct IncludeDecl {  // INCLUDE "file"
    Loc loc;
    Loc nameLoc;       // the file's name in quotes
    std::string name;  // as written
    int file = -1;     // its index in Sources::files; -1 when it was read before or cannot be read
};

struct Var {
    std::string name;  // first spelling
    std::string cpp;
    Loc loc;  // where it is declared or first given a value
    Ty type;  // of the variable, or of the elements of an array
    bool isArray = false;
    bool isGlobal = false;
    bool isParam = false;
};

struct Param {
    Loc loc;
    std::string name;
    bool isArray = false;
    TypeName as;
    Var* var = nullptr;  // Check
};

struct Proc {     // SUB name(params) [AS Type] ... END SUB
    Loc loc;      // SUB
    Loc nameLoc;  // its name
    Loc end;      // END SUB (both words)
    std::string name;
    std::string cpp;  // Check
    TypeName as;
    Ty result;  // Check: a number, a string (name$) or a record (AS Type)
    std::vector<Param> params;
    Block body;
    std::vector<std::unique_ptr<Var>> locals;  // Check: parameters first
};

// A name in the text and what it stands for: a variable, SUB, CONST, TYPE or field (at
// most one is set), or a command.
struct NameUse {
    Loc loc;           // with the name's length
    std::string name;  // as written
    const Var* var = nullptr;
    const Proc* proc = nullptr;
    const Const* constant = nullptr;
    const Record* record = nullptr;
    const FieldDecl* field = nullptr;
    bool command = false;
};

struct Program {
    Sources sources;
    bool explicitDecl = false;  // OPTION EXPLICIT
    Settings settings;          // the SETTINGS line
    std::vector<IncludeDecl> includes;
    std::vector<std::unique_ptr<Record>> types;  // Check: every TYPE after the TYPEs its fields hold
    std::vector<std::unique_ptr<Const>> consts;
    std::vector<std::unique_ptr<Proc>> procs;
    Block main;
    std::vector<std::unique_ptr<Var>> globals;  // Check
};

}  // namespace tvc
