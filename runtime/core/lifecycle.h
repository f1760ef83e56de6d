// A Tolvane program's life: build settings, start-up, the end routine, the error
// state and the error log.
//
// A compiled program's entry point stores its build settings and calls
// __RunProgram(title), which starts the runtime, runs __TOLVANE__::__MainGameSub_ and
// ends the program. The program ends only through __EndProgram: END, a fatal runtime
// error, Escape or Alt+F4 in SHOWSCREEN, or closing the window.
//
// Exit status: 0 for a normal end; the error code (3, 7, 8 or 9) after a fatal runtime
// error (__FatalError and the array errors), which is also named on standard error
// with the BASIC line; 1 when the program could not start at all. Codes that the
// data-file commands record without ending the program leave the status at 0; they
// show only in the end report of debug builds.
#pragma once

#include <string>

#include "core/dqstr.h"

namespace __TOLVANE__ {
// The compiled BASIC program's main procedure.
double __MainGameSub_();
}  // namespace __TOLVANE__

// ---- build settings ----------------------------------------------------------------
extern int DQ_RESX;        // window and drawing width in pixels
extern int DQ_RESY;        // window and drawing height in pixels
extern int DQ_FULLSCREEN;  // nonzero: full-screen display mode
extern int DQ_FRAMERATE;   // frames per second of the frame limiter
extern int DQ_DEBUG;       // nonzero: the end routine writes the error state to the log
extern int DQ_WANTMOUSE;   // nonzero: the input object takes the mouse

// ---- error state --------------------------------------------------------------------
extern double __g_error;      // code of the condition that ended the program, 0 = normal
extern double __g_errorline;  // __g_debugline when the error was raised
extern double __g_debugline;  // BASIC line last reported by __dLn
extern double __g_debugfile;  // BASIC file last reported by __dLn

extern DQStr __g_cmdline;       // the command line without the program name
extern double __g_mx, __g_my;   // mouse position kept by the input commands
extern int __nCurFont;          // current font number

// Joins the arguments after the program name with single spaces into __g_cmdline.
void __SetCommandLine(int argc, char** argv);

// Entry point body: start-up, the main procedure, the end routine. Never returns.
[[noreturn]] void __RunProgram(const char* title);

// A program's build settings, as its entry point stores them.
struct __BuildSettings {
    int resx = 640, resy = 480;
    int fullscreen = 0;
    int framerate = 60;
    int debug = 0;
    int wantMouse = 1;
};
// The whole entry point: stores the settings and the command line, then runs the
// program. Never returns.
[[noreturn]] void __ProgramEntry(int argc, char** argv, const __BuildSettings& settings, const char* title);

// Start-up in its fixed order. Returns false when the window or its GL context could
// not be made; __RunProgram then ends the program through __EndProgram with exit
// status 1, and the BASIC program never runs.
bool __GlobalInit(const char* title);

// The end routine: stops the music, writes the end report in debug builds, releases
// the service objects, saves a modified data file, removes the files extracted from
// the archives and ends the process (see the exit status above).
[[noreturn]] void __EndProgram();

// BASIC END: a normal end.
double END();
// Records a runtime error code and the current BASIC line; returns the code.
double __Error(double code);
// Records the error and ends the program with the code as its exit status.
[[noreturn]] void __FatalError(double code);
// Line tracking of compiled programs.
void __dLn(double file, double line);

// ---- error log ------------------------------------------------------------------------
// "ErrorLog.txt" in the temporary folder, deleted at every start.
std::string __ErrorLogPath();
// Appends text and CR LF; the file is opened and closed for every line. A null text is
// written as "null"; a log that cannot be opened loses the line.
void __AppendErrorLog(const char* text);
