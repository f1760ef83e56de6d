// The command table (runtime/commands.tsv) as data: one reader of its text and the one
// list of argument kinds, shared by tolvanec, which compiles BASIC calls against the
// table, and by commandgen, which checks the table against the runtime's declarations
// and makes the command reference.
//
// The text: lines starting with '#' and empty lines are ignored; the first other line
// names the columns basic, cpp, args, result, subsystem, header, doc (one tab between
// columns). args is '-' for none, else NAME:KIND items separated by ", ", a KIND ending
// in '?' marking an argument that may be left out (only trailing ones).
#pragma once

#include <string>
#include <vector>

namespace cmdtable {

enum class ArgKind { Number, String, NumberOut, StringOut, NumberArray, StringArray };

// Everything known about an argument kind, in one place.
struct KindInfo {
    ArgKind kind;
    const char* text;         // as the table writes it: "number-out"
    const char* cppType;      // the C++ parameter type: "double&"
    const char* description;  // for messages: "a number variable"
    bool isString;            // a string, string variable or string array
    bool isOut;               // the command writes into it
    bool isArray;
};
const KindInfo& Info(ArgKind kind);
// The kind a table text names; null for an unknown text.
const KindInfo* KindFromText(const std::string& text);

struct Arg {
    std::string name;
    ArgKind kind = ArgKind::Number;
    bool optional = false;
};

struct Command {
    int line = 0;  // in the table's text
    std::string basic, cpp, result, subsystem, header, doc;
    std::vector<Arg> args;
    bool ReturnsString() const { return result == "string"; }
    // The BASIC form of a call for the reference: MID$(text$, start, count).
    std::string BasicForm() const;
};

struct Table {
    std::vector<Command> commands;    // in the table's order
    std::vector<std::string> errors;  // "WHERE:LINE: message"
};

// Reads and checks the table's text; `where` names it in the errors. Lines with errors
// are left out of `commands`.
Table Read(const std::string& text, const std::string& where);

// The subsystems, in the reference's order.
const std::vector<std::string>& Subsystems();

}  // namespace cmdtable
