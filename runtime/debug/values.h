// The debugger's view of a stopped program's variables: places named by paths, their
// values as text, their parts, changing them, and breakpoint conditions.
//
// Frames are counted from the innermost: 0 is the SUB that runs (or the main program
// when none does), the main program is the last. A path names a place the debugger
// found before: "L" (the frame's parameters and locals) or "G" (the globals), then
// "/NAME" for a variable or a field and "/#N" for the element at position N of an
// array's storage (first index fastest), as in "G/fleet/#3/pos/x". An expression names
// it as a program would: "fleet(3).pos.x", "name$", "grid(1, 2)"; a name is looked up
// in the frame's parameters and locals first, then in the globals, in any case. Every
// name, index and position is checked: a wrong one is an error text, never an access.
#pragma once

#include <string>
#include <vector>

#include "debug/hooks.h"

struct __DbgPlace {
    const __DbgType* type = nullptr;
    bool isArray = false;
    void* at = nullptr;  // the variable, the field, the element (an __DQArray for arrays)
    std::string path;
};

struct __DbgItem {
    std::string name, value, type, path;
    int named = 0;    // fields of a record
    int indexed = 0;  // elements of an array
};

// The tables the program registered (debug/hooks.h).
struct __DbgTables {
    const __DbgName* globals = nullptr;
    void* const* places = nullptr;
    int count = 0;
    const char* const* files = nullptr;
    int fileCount = 0;
};
const __DbgTables& __DbgProgram();

// The SUBs running, the innermost first; the main program is frame Frames().
int __DbgFrameCount();
const __DbgFrame* __DbgFrameAt(int frame);  // null for the main program or past it

bool __DbgResolvePath(int frame, const std::string& path, __DbgPlace& out, std::string& error);
bool __DbgResolveExpression(int frame, const std::string& text, __DbgPlace& out, std::string& error);
// The place as a variable of the debugger: its value as text, its type, its parts.
__DbgItem __DbgDescribe(const std::string& name, const __DbgPlace& place);
// The parts of the place at `path`: a scope's variables, a record's fields, or the
// elements from `start` (at most `count`, 0 for all) of an array.
bool __DbgParts(int frame, const std::string& path, int start, int count, std::vector<__DbgItem>& out,
                std::string& error);
// Gives a number or a string place a new value: a number's text, a string's text with or
// without double quotes (cut to the length strings hold).
bool __DbgAssign(const __DbgPlace& place, const std::string& text, std::string& error);
// A breakpoint's condition: EXPRESSION, true when its value is not 0 (a string: not
// empty), or EXPRESSION OP VALUE with OP one of = <> < > <= >= and VALUE a number, a
// string in double quotes or another expression; strings compare byte-wise, a string
// and a number as numbers.
bool __DbgCondition(int frame, const std::string& text, bool& holds, std::string& error);
