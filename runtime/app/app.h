// A Tolvane program's start and end: the entry point, start-up in its fixed order and
// the end routine.
//
// A compiled program's entry point is one call:
//     int main(int argc, char** argv) {
//         __ProgramEntry(argc, argv, __BuildSettings{}, "Title");
//     }
// It stores the build settings and the command line, starts the runtime, runs
// __TOLVANE__::__MainGameSub_ and ends the program; it never returns. How a program
// ends and its exit status: see core/program.h.
//
// The runtime's globals, each declared and documented with the subsystem that owns it:
//   build settings DQ_RESX, DQ_RESY, DQ_FULLSCREEN, DQ_FRAMERATE, DQ_DEBUG,
//     DQ_WANTMOUSE; the command line __g_cmdline; the error state __g_error,
//     __g_errorline, __g_debugline, __g_debugfile .................... core/program.h
//   frame clock __g_FirstTime, __g_ThisTime, __g_LastTime ............. core/timing.h
//   the random generator's state __g_ctx ............................. core/random.h
//   the per-frame services, the end-key test (file-level) .. core/frame_services.cpp, core/wait.cpp
//   the renderer pPrsm ................................................. gfx2d/prism.h
//   the current font __nCurFont, the text colour __g_textColour ........ gfx2d/text.h
//   the 3D engine prsm3D, the cull mode __g_cullMode ................... gfx3d/prism3d.h
//   the input object pDXin ............................................. input/dxinput.h
//   the mouse position __g_mx, __g_my .................................. input/commands.h
//   the sound device pDXsnd and the 128 sound slots DXwav .............. sound/sfx_sound.h
//   the music state (file-level) ....................................... sound/music.cpp
//   the network object pKWNet .......................................... net/kwnetwork.h
//   the keyed data file __g_FastFile ................................... files/data_file.h
//   the archives __g_ShoeBox_Data, __g_ShoeBox_Media ................... files/shoebox.h
//   the path search's abort test (file-level) .......................... pathfinding/planner.cpp
//   unattended-run settings __g_automation, the frame number __g_frame . app/automation.h
#pragma once

namespace __TOLVANE__ {
// The compiled BASIC program's main procedure.
double __MainGameSub_();
}  // namespace __TOLVANE__

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
// Start-up, the main procedure, the end routine, with the settings already stored.
// Never returns.
[[noreturn]] void __RunProgram(const char* title);

// Start-up in its fixed order: unattended-run settings, the window, the service
// objects, the renderer, the random seed, the display mode, the input devices, the
// sound device, the per-frame services, the program's archive and folder, the built-in
// font, a first cleared frame. Returns false when the window or its GL context could
// not be made; __RunProgram then ends the program with exit status 1 and the BASIC
// program never runs.
bool __GlobalInit(const char* title);

// Registers the one frame hook, called inside every SHOWSCREEN right after the frame
// is presented, with the frame number (1 for the first SHOWSCREEN). Null removes it.
void __SetFrameHook(void (*hook)(int frame));
