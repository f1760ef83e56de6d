// File-system commands: plain files only, never the archives. Returned paths use '/'.
#pragma once

#include "core/arrays.h"
#include "core/dqstr.h"

// 1 when the file can be opened for reading (folders, pipes and devices give 0).
double DOESFILEEXIST(DQStr file);
// The current directory, ending with "/".
DQStr GETCURRENTDIR_Str();
// 1 on success, 0 on failure.
double SETCURRENTDIR(DQStr dir);
// Fills `list` with the folders of the current directory ("." and ".." included),
// then the files matching the pattern; returns folders x 65536 + files.
double GETFILELIST(DQStr pattern, DQStrArray& list);
// The file dialog (open != 0: open, else save) with a filter list such as
// "Bitmaps|*.bmp|All files|*.*"; the chosen path, or "NO_FILE" when cancelled or
// when the machine has no dialog program. The current directory stays as it was.
DQStr FILEREQUEST_Str(double open, DQStr filter);
// Runs the command line through /bin/sh; with `wait`, waits for it and stores its
// exit code. 1 when it was started, else 0 (the shell found no program to run, or
// could not execute it).
double SHELLCMD(DQStr command, double wait, double show, double& exitCode);
// The program's command line (the arguments after the program name).
DQStr GETCOMMANDLINE_Str();

// '*' any run of characters, '?' any one character but '.', letters in either case.
bool szWildMatch(const char* pattern, const char* text);
