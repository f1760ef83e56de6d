// The debug agent: the part of a debug build that a debugger (tolvanec dap) drives.
//
// A debug build started with TOLVANE_DEBUG_PORT connects to the debugger at start,
// names its source files and waits until the debugger lets it run. It stops at
// breakpoints (with their conditions), at steps (over, into, out of SUBs), when the
// debugger asks for a pause, and at a fatal runtime error, before the error ends the
// program; while stopped it answers the debugger's questions about the stack and the
// variables (debug/values.h) and takes new values.
//
// The debugger and the agent speak in lines of tab-separated fields; a field's tab,
// line end, carriage return and backslash are written \t \n \r \\.
//   debugger -> program:
//     run | entry                  start (entry: stop before the first statement)
//     bps FILE                     forget FILE's breakpoints
//     bp FILE LINE [CONDITION]     a breakpoint (FILE: the number of a source file)
//     continue | next | in | out | pause | quit
//     stack                        answered by one "= SUB FILE LINE" a frame, innermost first
//     vars FRAME PATH START COUNT  the parts of a place, one "= NAME VALUE TYPE NAMED INDEXED PATH" each
//     eval FRAME EXPRESSION        the place an expression names, as one such line
//     set FRAME PATH VALUE         a new value; the place as one such line
//   an answer ends with a line "."; a refused question is answered "! WHY" and ".".
//   program -> debugger:
//     hello FILE...                the source files by full path, once at start
//     stopped REASON TEXT          entry, breakpoint, step, pause or exception (TEXT: the error)
#pragma once

// Connects to the debugger when one started the program (a debug build only) and waits
// until it lets the program run. Nothing happens otherwise.
void __DebugAttach();
