// Tolvane: everything a BASIC program compiled to C++ (and the game) uses of the
// runtime, in one header. Each section's header documents its commands; the command
// reference (docs/commands.md) lists them all with their arguments.
//
// Sections:
//   1. Strings and the string library, numbers, arrays, math, random numbers, timers,
//      the date and time of day, lines to standard output,
//      the program's end, the depth of SUB calls
//   2. Files: archives, keyed data files, the file system
//   3. 2D graphics: the screen and frames, sprites, text, primitives
//   4. Sound: sound effects, music and movies
//   5. Input: keys, mouse, joysticks
//   6. Network sessions: players and messages
//   7. Path finding
//   8. 3D graphics: camera, lights, objects, collision and projection
//   9. The program's start: entry point, build settings, frame hook
//  10. Debug builds: the statement marks, SUB frames and variable tables the debugger reads
//
// Every other header of the runtime is internal to it. Nothing here includes OpenGL
// or SDL headers.
#pragma once

// ---- 1. Strings, numbers, arrays, math, random numbers, timers, the end ----------------
#include "core/arrays.h"
#include "core/call_depth.h"
#include "core/checkpoint.h"
#include "core/console.h"
#include "core/date_time.h"
#include "core/dqstr.h"
#include "core/math.h"
#include "core/program.h"
#include "core/random.h"
#include "core/strings.h"
#include "core/timing.h"

// ---- 2. Files ----------------------------------------------------------------------------
#include "files/data_file.h"
#include "files/filesystem.h"
#include "files/shoebox.h"

// ---- 3. 2D graphics ----------------------------------------------------------------------
#include "gfx2d/primitives.h"
#include "gfx2d/screen.h"
#include "gfx2d/sprites.h"
#include "gfx2d/text.h"

// ---- 4. Sound ----------------------------------------------------------------------------
#include "sound/movies.h"
#include "sound/music.h"
#include "sound/sfx_sound.h"

// ---- 5. Input ----------------------------------------------------------------------------
#include "input/commands.h"

// ---- 6. Network sessions -------------------------------------------------------------------
#include "net/commands.h"

// ---- 7. Path finding -----------------------------------------------------------------------
#include "pathfinding/findpath.h"

// ---- 8. 3D graphics ------------------------------------------------------------------------
#include "gfx3d/commands.h"

// ---- 9. The program's start ------------------------------------------------------------------
#include "app/app.h"

// ---- 10. Debug builds ------------------------------------------------------------------------
#include "debug/hooks.h"
