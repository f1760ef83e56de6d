// Internal: what the language server knows about a program, made by the compiler's own
// front end (analysis.cpp is the one file that reads the front end's syntax tree; the
// rest of the server sees only what is declared here).
//
// Places are those of the front end: lines and columns from 1, columns in bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tvc::lsp {

struct Place {
    int file = 0;    // index into Analysis::files
    int line = 1;    // from 1
    int col = 1;     // from 1, in bytes
    int length = 0;  // bytes
};

struct SourceText {
    std::string path;  // as opened (absolute for documents of the server)
    std::string text;
};

struct Problem {
    Place at;
    bool warning = false;
    std::string message;  // exactly as `tolvanec check` words it
};

struct Symbol {
    enum Kind { Sub, Global, Local, Param, Type, Field, Const } kind = Global;
    std::string name;  // as first written
    bool isString = false;
    bool isArray = false;
    std::string typeName;  // the TYPE of a record variable, field or SUB result (AS Name)
    Place at;              // the name where it is declared or first given a value
    // A SUB or TYPE from its first keyword to the end of its closing line (else the name).
    int line = 1, col = 1, endLine = 1, endCol = 1;
    int owner = -1;                   // the SUB of a local or parameter, the TYPE of a field (index into symbols)
    std::vector<std::string> params;  // a SUB's parameters as written (name$, a())
    std::string value;                // a CONST's value as BASIC writes it (3, "ship"); empty when unknown
    std::string Signature() const;    // "SUB Clamp(v, lo, hi)", "GLOBAL score$", "CONST SPEED = 3", ...
};

// One name in the text and what it stands for.
struct Use {
    Place at;
    enum What { OfSymbol, OfCommand, OfInclude } what = OfSymbol;
    int symbol = -1;        // OfSymbol
    std::string name;       // OfCommand: the name in upper case
    int includedFile = -1;  // OfInclude: index into files, -1 when it cannot be read
    std::string includedPath;
};

struct Analysis {
    std::vector<SourceText> files;  // [0] the program's main file, then included files
    std::vector<Problem> problems;  // in the order of files and lines
    std::vector<Symbol> symbols;
    std::vector<Use> uses;      // sorted by file, line, column
    bool namesChecked = false;  // variables are known (the program parsed, or did after
                                // leaving out the lines with syntax errors)

    int FileIndex(const std::string& path) const;         // -1 when not part of the program
    const Use* UseAt(int file, int line, int col) const;  // the use covering the place
    // The SUB whose lines hold the place, or -1 (the main program).
    int SubAt(int file, int line) const;
    // The TYPE of that name (any case), or -1.
    int TypeNamed(const std::string& name) const;
    // What a name (any case) stands for at a line: a local or parameter of the SUB there,
    // a global or a SUB; -1 when none.
    int Lookup(int file, int line, const std::string& name) const;
    // The field of that name (any case) of a TYPE, or -1.
    int FieldOf(int type, const std::string& name) const;
};

// Reads a file by path (open documents first, then the disk); false when it cannot.
using TextReader = std::function<bool(const std::string& path, std::string& text)>;

// Parses and checks the program whose main file is `path`, reading it and what it
// includes through `read`.
Analysis Analyze(const std::string& path, const TextReader& read);

// ---- the language itself ------------------------------------------------------------------
struct CommandForm {
    std::string name;                             // MID$
    std::string signature;                        // MID$(text$, start, count)
    std::vector<std::pair<int, int>> paramSpans;  // each parameter's [begin, end) in signature
    bool returnsString = false;
    std::string doc;
};

// Every form of a command by its name (any case); empty when it is no command.
const std::vector<CommandForm>& CommandForms(const std::string& name);
// Every command's name, upper case, sorted.
const std::vector<std::string>& CommandNames();
// The language's keywords, upper case.
const std::vector<std::string>& Keywords();
// A SUB's signature in the same form as a command's.
CommandForm SubForm(const Symbol& sub);

}  // namespace tvc::lsp
