// The running program as every subsystem of the runtime sees it: its build settings, its
// command line, the error state, the end of the program and the error log.
//
// The program ends only through __EndProgram: END, a fatal runtime error, Escape or
// Alt+F4 in SHOWSCREEN or in a wait, or closing the window. Start-up installs the end
// routine that releases the runtime; until then (tools, tests of single subsystems)
// __EndProgram just ends the process with the exit status below.
//
// Exit status: 0 for a normal end; the error code (3, 7, 8 or 9) after a fatal runtime
// error (__FatalError and the array errors), which is also named on standard error in
// one line with the place in the BASIC program:
//     Tolvane: runtime error 9 (array index out of range) at grid.bas:3
// ("in line 3" for a program that named no source files); 1 when the program could
// not start at all.
// Codes that the data-file commands record without ending the program leave the
// status at 0; they show in the end report of debug builds, and a refused line number
// as a warning (__Warn below).
#pragma once

#include <string>

#include "core/dqstr.h"

// ---- build settings ----------------------------------------------------------------
extern int DQ_RESX;        // window and drawing width in pixels
extern int DQ_RESY;        // window and drawing height in pixels
extern int DQ_FULLSCREEN;  // nonzero: full-screen display mode
extern int DQ_FRAMERATE;   // frames per second of the frame limiter
extern int DQ_DEBUG;       // nonzero: the end routine writes the error state to the log
extern int DQ_WANTMOUSE;   // nonzero: the input object takes the mouse

// The command line without the program name.
extern DQStr __g_cmdline;
// Joins the arguments after the program name into __g_cmdline as they were typed: an
// argument with blanks in it, or an empty one, goes back into double quotes.
void __SetCommandLine(int argc, char** argv);

// ---- error state --------------------------------------------------------------------
extern double __g_error;      // code of the condition that ended the program, 0 = normal
extern double __g_errorline;  // __g_debugline when the error was raised
extern double __g_debugline;  // BASIC line last reported by __dLn
extern double __g_debugfile;  // BASIC file last reported by __dLn

// Records a runtime error code and the current BASIC line; returns the code.
double __Error(double code);
// Records the error and ends the program with the code as its exit status, after
// the line on standard error; `reason` replaces the code's usual description.
[[noreturn]] void __FatalError(double code, const char* reason = nullptr);
// The code of the fatal error that is ending the program; 0 for every other end.
int __FatalCode();
// Called by __FatalError with the error's text ("runtime error 9 (array index out of
// range) at grid.bas:3") before it is written and the program ends: a debug build under
// the debugger stops there (debug/agent.h). Null: nothing is called.
void __SetFatalErrorHook(void (*hook)(const char* message));
// Line tracking of compiled programs: __dLn(file, line) before every statement, the
// file an index into the names a compiled program's entry point gives
// __SetSourceFiles (the main file first, then the files it includes). The names are
// kept, not copied.
void __dLn(double file, double line);
void __SetSourceFiles(const char* const* names, int count);

// ---- the end --------------------------------------------------------------------------
// BASIC END: a normal end.
double END();
// Ends the program through the installed end routine, which never returns.
[[noreturn]] void __EndProgram();
// Installs the end routine (start-up does; null restores the plain process exit).
void __SetEndRoutine(void (*routine)());
// The program window steps aside for a system dialog (the file requester): start-up
// installs what hides the window and what brings it back. Both do nothing until then.
void __SetDialogWindowHooks(void (*hide)(), void (*restore)());
void __HideWindowForDialog();
void __RestoreWindowAfterDialog();

// ---- error log ------------------------------------------------------------------------
// "ErrorLog.txt" in the temporary folder, deleted at every start.
std::string __ErrorLogPath();
// Appends text and CR LF; the file is opened and closed for every line. A null text is
// written as "null"; a log that cannot be opened loses the line.
void __AppendErrorLog(const char* text);

// ---- warnings -----------------------------------------------------------------------------
// A command that could not do its work and goes on without ending the program (a picture
// or sound that is not there, a slot number out of range, a refused data-file line) says
// why: "Tolvane: " + text + the place in the BASIC program on standard error, and text
// with the place in the error log. Each text is told once, so a command repeated every
// frame does not flood either; after 1,000 different texts one last line says that
// further ones are left out.
void __Warn(const std::string& text);
// The warning of a loading command: `COMMAND "file": what`, with the texts they share.
void __WarnLoad(const char* command, const DQStr& file, const std::string& what);
inline const std::string __kNotFound = "found neither on disk nor in the archive";
inline const std::string __kNotAPicture = "not a BMP picture that can be read";
