// The compiler's front end: source files, error reports, tokens, the syntax tree, the
// command table, and the passes from text to checked tree.
//
//   Sources + Diagnostics   the program's files and what is wrong with them
//   Lex                     one file's text into tokens
//   Parse                   tokens (and included files) into a Program
//   Check                   names, types and command calls; fills in what Emit needs
//   Emit (emit.h)           the checked Program as C++ on the runtime
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvc {

// ---- sources and error reports ----------------------------------------------------------
struct Loc {
    int file = 0;  // index into Sources::files
    int line = 1;  // from 1
    int col = 1;   // from 1, in bytes
};

struct SourceFile {
    std::string name;  // as the user named it (for reports)
    std::string path;  // as opened
    std::string text;
};

struct Sources {
    std::vector<SourceFile> files;
    // Line `line` (from 1) of a file, without its line end.
    std::string LineText(int file, int line) const;
};

class Diagnostics {
public:
    static constexpr int kMaxErrors = 50;
    explicit Diagnostics(const Sources& sources) : sources_(sources) {}
    void Error(Loc loc, const std::string& message);
    int Count() const { return static_cast<int>(messages_.size()); }
    bool Full() const { return Count() >= kMaxErrors; }
    // Every report: "file:line:col: error: message", the line, a caret under the column.
    std::string Text() const;
    // Each report's place and message alone, in the order they were made.
    const std::vector<std::pair<Loc, std::string>>& Reports() const { return reports_; }

private:
    const Sources& sources_;
    std::vector<std::pair<Loc, std::string>> messages_;
    std::vector<std::pair<Loc, std::string>> reports_;
};

// ---- tokens -----------------------------------------------------------------------------
enum class T {
    End, Newline, Colon, Comma, LParen, RParen, Number, String, Name,
    Plus, Minus, Star, Slash, Caret, Eq, Ne, Lt, Le, Gt, Ge,
    // keywords
    And, Or, Not, Xor, Mod, If, Then, Else, ElseIf, EndIf, EndKw, For, To, Step, Next, While, Wend,
    Repeat, Until, Break, Continue, Select, Case, Sub, EndSub, EndSelect, Return, Local, Global, Dim,
    Include, Option, Settings, Is,
};

struct Token {
    T kind = T::End;
    Loc loc;
    std::string text;   // the name as written (with '$'), a string literal's value
    double number = 0;
};

// Tokens of one file; lexical errors are reported and the bad characters skipped.
std::vector<Token> Lex(const std::string& text, int file, Diagnostics& diag);
const char* TokenName(T kind);

// ---- the command table ------------------------------------------------------------------
enum class ArgKind { Number, String, NumberOut, StringOut, NumberArray, StringArray };

struct CommandArg {
    std::string name;
    ArgKind kind = ArgKind::Number;
    bool optional = false;
};

struct Command {
    std::string basic;  // MID$
    std::string cpp;    // MID_Str
    std::vector<CommandArg> args;
    bool returnsString = false;
};

// Every command of the runtime (one entry per form), read from the built-in table.
class CommandTable {
public:
    static const CommandTable& BuiltIn();
    // Parses the table's text; problems go to `errors`.
    static CommandTable FromText(const std::string& text, std::vector<std::string>& errors);
    // The forms of a command by its BASIC name (any case); empty when there is none.
    const std::vector<const Command*>& Forms(const std::string& basicName) const;
    // Every command's BASIC name, upper case.
    std::vector<std::string> Names() const;

private:
    std::vector<std::unique_ptr<Command>> commands_;
    std::map<std::string, std::vector<const Command*>> byName_;
};

const char* ArgKindText(ArgKind kind);

// ---- the syntax tree --------------------------------------------------------------------
enum class Type { None, Num, Str };

struct Var;
struct Proc;

struct Expr {
    enum Kind { Number, String, Name, Call, Unary, Binary } kind = Number;
    Loc loc;
    double number = 0;
    std::string text;  // string value, name as written, or operator token text
    T op = T::End;     // Unary / Binary operator
    bool parens = false;  // Call: written with parentheses (a() names a whole array)
    std::vector<std::unique_ptr<Expr>> args;  // Call arguments, Unary/Binary operands

    // Filled in by Check.
    Type type = Type::None;
    enum Ref { None, Scalar, Element, WholeArray, ProcCall, CommandCall, Val, StrOf, Trunc } ref = None;
    Var* var = nullptr;
    Proc* proc = nullptr;
    const Command* command = nullptr;
};
using ExprP = std::unique_ptr<Expr>;

struct Stmt;
using Block = std::vector<std::unique_ptr<Stmt>>;

struct CaseItem {
    ExprP lo, hi;  // hi only for "lo TO hi"
};
struct CaseArm {
    Loc loc;
    std::vector<CaseItem> items;  // empty for CASE ELSE
    Block body;
};

struct Decl {
    Loc loc;
    std::string name;
    bool isArray = false;  // GLOBAL a()
    ExprP init;
    Var* var = nullptr;
};

struct Stmt {
    enum Kind { Assign, Call, If, For, While, Repeat, Break, Continue, Select, Return, Dim, Local, Global } kind = Call;
    Loc loc;
    ExprP target;   // Assign target, For variable (a Name)
    ExprP value;    // Assign value, Call expression, For start, Return value, While/Repeat/Select subject
    ExprP limit, step;  // For
    std::vector<std::pair<ExprP, Block>> branches;  // If: condition and block, in order
    Block body;       // For, While, Repeat bodies; If's ELSE block
    bool hasElse = false;
    std::vector<CaseArm> arms;  // Select
    std::vector<ExprP> dims;    // Dim: Call expressions name(sizes)
    std::vector<Decl> decls;    // Local, Global
};

struct Param {
    Loc loc;
    std::string name;
    bool isArray = false;
    Var* var = nullptr;
};

struct Var {
    std::string name;  // first spelling
    std::string cpp;
    Loc loc;
    bool isStr = false;
    bool isArray = false;
    bool isGlobal = false;
    bool isParam = false;
};

struct Proc {
    Loc loc;
    std::string name;
    std::string cpp;
    bool returnsString = false;
    std::vector<Param> params;
    Block body;
    std::vector<std::unique_ptr<Var>> locals;  // parameters first
};

struct Settings {
    std::optional<int> width, height, fullscreen, fps, debug, mouse;
    std::optional<std::string> title;
};

struct Program {
    Sources sources;
    bool explicitDecl = false;
    Settings settings;
    std::vector<std::unique_ptr<Proc>> procs;
    Block main;
    std::vector<std::unique_ptr<Var>> globals;
};

// Reads a file named by INCLUDE: false when it cannot be read.
using FileReader = std::function<bool(const std::string& path, std::string& text)>;
// The whole of a regular file (not a folder, pipe or device); false when there is none.
bool ReadTextFile(const std::string& path, std::string& text);

// Parses the main file and everything it includes into `program` (its sources are
// added as they are read). Syntax errors go to `diag`.
void Parse(Program& program, const std::string& mainName, const std::string& mainText, const FileReader& read,
           Diagnostics& diag);

// Resolves names and checks types and calls.
void Check(Program& program, const CommandTable& commands, Diagnostics& diag);

// Upper-case copy (ASCII).
std::string Upper(const std::string& s);

}  // namespace tvc
