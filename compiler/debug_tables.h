// What a debug build adds to the translation for the debugger (runtime/debug/hooks.h):
// a table describing each TYPE's fields, a table naming the globals with their places
// and the source files, and in each SUB a frame naming its parameters and locals. A
// plain build has none of it.
#pragma once

#include <string>
#include <vector>

#include "ast.h"

namespace tvc {

// The TYPE tables, the globals' table and the files' names (each quoted as a C++
// literal, in the order of the file numbers), registered while the program starts.
// After the TYPEs and the globals are declared, inside the program's namespace.
std::string DebugProgramTables(const Program& program, const std::vector<std::string>& quotedFiles);
// The lines that open a SUB's frame, after its locals are declared.
std::vector<std::string> DebugFrame(const Proc& proc);

}  // namespace tvc
