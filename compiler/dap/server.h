// Internal: `tolvanec dap`, the debugger of BASIC programs for editors, on the Debug
// Adapter Protocol over a pair of file descriptors (standard input and output).
//
// One session debugs one program: `launch` makes it a debug build and starts it
// (arguments: program, args, cwd, stopOnEntry); breakpoints stop on lines that hold a
// statement, with a condition when one is given (debug/values.h in the runtime says
// which); pause, continue, next, stepIn and stepOut; the stack of SUBs with their files
// and lines; the variables of a frame's SUB and the globals, with arrays' elements and
// records' fields; setVariable and evaluate; a fatal runtime error stops the program as
// an exception before it ends it.
#pragma once

namespace tvc::dap {

// Serves one session; the exit status of tolvanec.
int Serve(int in, int out);

}  // namespace tvc::dap
