// The compiler's front end, a library of its own: source files and their reports, the
// tokens, the syntax tree, the command table, and the passes from text to checked tree.
//
//   Sources + Diagnostics   the program's files and what is wrong with them (source.h)
//   Lex                     one file's text into tokens (tokens.h)
//   Parse                   tokens (and included files) into a Program (ast.h)
//   Check                   names, types and calls; fills in what Emit needs
//   Analyze                 all of it on a text held in memory
//   Emit (emit.h)           the checked Program as C++ on the runtime
//
// Every pass bounds its recursion: the parser refuses, with a located error, nesting
// deeper than kMaxNesting (blocks, parentheses, operators of an expression), so the
// passes after it walk trees of bounded height.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "ast.h"
#include "commands.h"
#include "settings.h"
#include "source.h"
#include "tokens.h"

namespace tvc {

inline constexpr int kMaxNesting = 400;
// The most characters a string of the running program holds; longer texts are cut.
inline constexpr size_t kMaxStringLength = 1023;

// Reads a file named by INCLUDE: false when it cannot be read.
using FileReader = std::function<bool(const std::string& path, std::string& text)>;
// The whole of a regular file (not a folder, pipe or device); false when there is none.
bool ReadTextFile(const std::string& path, std::string& text);

// Parses the main file and everything it includes into `program` (its sources are
// added as they are read). Syntax errors go to `diag`.
void Parse(Program& program, const std::string& mainName, const std::string& mainText, const FileReader& read,
           Diagnostics& diag);

// Resolves names and checks types and calls; errors and warnings go to `diag`.
void Check(Program& program, const CommandTable& commands, Diagnostics& diag);

// Every name of a program that its declarations and the checker tie to what it stands
// for, declarations too, in the order of the text. On a program that was not checked,
// only the names of SUBs, TYPEs, fields and CONSTs where they are declared.
std::vector<NameUse> NameUses(const Program& program);

// A program parsed and, when its syntax is sound, checked.
struct Analysis {
    Program program;
    Diagnostics diag{program.sources};
};
// Parse and Check on a text held in memory; INCLUDE reads through `read` (which may
// serve texts held in memory too).
std::unique_ptr<Analysis> Analyze(const std::string& mainName, const std::string& mainText, const FileReader& read,
                                  const CommandTable& commands = CommandTable::BuiltIn());

// Upper-case copy (ASCII).
std::string Upper(const std::string& s);

// GOTO and GOSUB, which the language does not have (in any case of letters).
bool IsJumpWord(const std::string& name);
// The error for GOTO or GOSUB (`word` as written) or for a label (`word` is "name:"):
// that there are none, and what to write instead.
std::string NoJumps(const std::string& word);

// The number of single-character insertions, deletions and replacements that turn one
// text into the other.
int EditDistance(const std::string& a, const std::string& b);

}  // namespace tvc
