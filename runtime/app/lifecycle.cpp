// Start-up, the per-frame services and the end routine.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/automation.h"
#include "app/screenshots.h"
#include "core/checkpoint.h"
#include "core/frame_services.h"
#include "core/program.h"
#include "core/random.h"
#include "core/timing.h"
#include "core/wait.h"
#include "debug/agent.h"
#include "files/data_file.h"
#include "files/shoebox.h"
#include "gfx2d/prism.h"
#include "gfx2d/text.h"
#include "gfx3d/prism3d.h"
#include "input/commands.h"
#include "input/dxinput.h"
#include "net/kwnetwork.h"
#include "pathfinding/planner.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/window.h"
#include "sound/movies.h"
#include "sound/music.h"
#include "sound/sfx_sound.h"

namespace {

constexpr int kKeyEscape = 1;
constexpr int kKeyLeftAlt = 56;
constexpr int kKeyF4 = 62;

bool g_startFailed = false;
bool g_ending = false;

// The program window's events: keys go to the input object, a close request ends
// the program. Runs only inside the event pump.
class WindowEvents : public plat::EventSink {
public:
    void OnCloseRequest() override { __EndProgram(); }
    void OnKey(int scanCode, bool down) override {
        if (pDXin) pDXin->OnKey(scanCode, down);
    }
    void OnMouseMotion(int dx, int dy) override {
        if (pDXin) pDXin->OnMouseMotion(dx, dy);
    }
    void OnMousePosition(int x, int y) override {
        if (pDXin) pDXin->OnMousePosition(x, y);
    }
    void OnMouseButton(int button, bool down) override {
        if (pDXin) pDXin->OnMouseButton(button, down);
    }
    void OnMouseWheel(int steps) override {
        if (pDXin) pDXin->OnMouseWheel(steps);
    }
    void OnFocusLost() override {
        if (pDXin) pDXin->ReleaseAll();
    }
};
WindowEvents g_events;

// A fresh reading of the keyboard, then the key.
bool KeyHeldNow(int scanCode) {
    if (!pDXin) return false;
    pDXin->GetKeyboardStatus();
    return pDXin->KeyDown(scanCode);
}

bool EndKeysHeld(bool waiting) {
    if (!pDXin) return false;
    pDXin->GetKeyboardStatus();
    const auto down = [&](int k) { return waiting ? pDXin->KeyDownOnDevice(k) : pDXin->KeyDown(k); };
    return down(kKeyEscape) || (down(kKeyLeftAlt) && down(kKeyF4));
}

void InstallFrameServices() {
    __SetFrameService(__FrameStep::MusicRepeat, [] { __MusicRepeatCheck(); });
    __SetFrameService(__FrameStep::EndKeys, [] {
        if (__EndKeysHeld()) {
            __g_error = 0;
            __EndProgram();
        }
    });
    __SetFrameService(__FrameStep::ShotCapture, __CaptureShotIfDue);
    __SetFrameService(__FrameStep::ShotWrite, __WriteCapturedShot);
    __SetFrameService(__FrameStep::FrameCount, __CountFrame);
    __SetFrameService(__FrameStep::InputFrame, [] {
        if (pDXin) pDXin->BeginFrame(__g_frame + 1);
    });
    __SetFrameService(__FrameStep::Network, [] {
        if (pKWNet) pKWNet->Service();
    });
}

// The end routine: stops the music, writes the end report in debug builds, releases
// the service objects (the sound slots from 127 down to 0), saves a modified data
// file, removes the files extracted from the archives and ends the process.
[[noreturn]] void EndRoutine() {
    // A fatal error's code, else 128 + the signal that stopped the program, else 0.
    const int status = g_startFailed ? 1 : __FatalCode() ? __FatalCode() : __StopStatus();
    if (g_ending) std::_Exit(status);  // a failure while releasing: leave at once
    g_ending = true;
    STOPMUSIC();

    if (DQ_DEBUG) {
        char line[64];
        __AppendErrorLog("-End On Line");
        for (double v : {__g_error, __g_errorline, __g_debugline, __g_debugfile}) {
            std::snprintf(line, sizeof line, "%g", v);
            __AppendErrorLog(line);
        }
    }

    delete prsm3D;  // its buffers and programs go while the GL context lives
    prsm3D = nullptr;
    delete pPrsm;
    pPrsm = nullptr;
    delete pDXin;
    pDXin = nullptr;
    delete[] DXwav;  // elements go from slot 127 down to slot 0
    DXwav = nullptr;
    delete pDXsnd;
    pDXsnd = nullptr;
    delete pKWNet;
    pKWNet = nullptr;
    plat::SetEventSink(nullptr);
    plat::Shutdown();

    // The process-wide file state goes while everything it uses is alive, so that
    // nothing is left for static destruction: a modified data file is saved, then the
    // files extracted from the archives and their folder are removed.
    __g_FastFile.FillBuffer(nullptr);
    __g_ShoeBox_Data.Clear();
    __g_ShoeBox_Media.Clear();
    __RemoveExtractFolder();

    std::fflush(stdout);
    std::exit(status);
}

}  // namespace

bool __GlobalInit(const char* title) {
    __SetEndRoutine(EndRoutine);
    __StopAtSignals();
    __ReadAutomation();
    if (!plat::Startup()) return false;
    plat::SetEventSink(&g_events);
    if (!plat::CreateProgramWindow("Tolvane", 50, 50, DQ_RESX, DQ_RESY)) return false;
    plat::ShowWindow();
    plat::SetWindowTitle(title);
    plat::SuppressScreenSaver();

    std::remove(__ErrorLogPath().c_str());

    pDXin = new DXInput();
    pPrsm = new OpenGLPrism();
    prsm3D = new Prism3D();
    pDXsnd = new SFXSound();
    DXwav = new SFXSoundBuffer[__kSoundSlots];
    // (In a page the session goes over WebSocket only: it joins by a ws:// address.)
    pKWNet = new KWNetwork(__g_automation.netPort ? static_cast<uint16_t>(__g_automation.netPort)
                                                   : KWNetwork::kDefaultPort);

    if (!pPrsm->Init(DQ_RESX, DQ_RESY, 0, static_cast<uint16_t>(DQ_FRAMERATE))) return false;
    pPrsm->SetNoWait(__g_automation.noWait);
    plat::SetPresentUnpaced(__g_automation.noWait);
    __SetMovieUnpaced(__g_automation.noWait);
    __SetMovieShots(__g_automation.shotsDir, __g_automation.shotsEvery);

    if (__g_automation.hasSeed)
        __FixSeed(__g_automation.seed);
    else
        KWsrand(__ClockSeed(__ClockMs()));

    if (DQ_FULLSCREEN) pPrsm->DoFullscreen(); else pPrsm->DoWindowed();
    // The file requester hides the window and brings it back in the display mode of
    // the build settings.
    __SetDialogWindowHooks([] { if (pPrsm) pPrsm->HideWindow(); },
                           [] {
                               if (!pPrsm) return;
                               if (DQ_FULLSCREEN) pPrsm->DoFullscreen(); else pPrsm->DoWindowed();
                           });

    pDXin->CreateDInput(DQ_WANTMOUSE != 0, __g_automation.inputScript, __g_automation.recordScript);
    __SetEndKeysTest(EndKeysHeld);
    // Escape held aborts a long FINDPATH.
    __SetPathAbortTest([] { return KeyHeldNow(kKeyEscape); });
    pDXsnd->Create();
    InstallFrameServices();
    __nCurFont = 0;
    __g_textColour = 0xFFFFFF;

    // The program file carries the program's archive, if it has one.
    std::string path = plat::ProgramPath();
    SETSHOEBOX(DQStr(path.c_str()), DQStr(path.c_str()));

    // The program's folder becomes the current directory.
    size_t cut = path.find_last_of("/\\");
    if (cut != std::string::npos && cut > 0) path.resize(cut);
    if (!path.empty() && !plat::ChangeFolder(path.c_str()))
        std::fprintf(stderr, "Tolvane: cannot enter the program folder %s\n", path.c_str());

    LOADFONT(DQStr("Smalfont.bmp"), 0);

    pPrsm->ClearScreen();
    pPrsm->FlipScreens();
    pPrsm->Make2DViewport(0, 0, 0, 0);

    __g_FirstTime = __g_LastTime = __g_ThisTime = __ClockMs();
    pDXin->BeginFrame(1);
    return true;
}

void __RunProgram(const char* title) {
    if (!__GlobalInit(title)) {
        std::fprintf(stderr, "Tolvane: the program cannot start without a window and OpenGL\n");
        g_startFailed = true;
        __EndProgram();
    }
    __g_mx = 100.0;
    __g_my = 100.0;
    __g_errorline = 0;
    __g_error = 0;
    __g_debugline = 0;
#ifndef __EMSCRIPTEN__
    __DebugAttach();  // a debug build started by the debugger waits for it here
#endif
    __TOLVANE__::__MainGameSub_();
    __EndProgram();
}

void __ProgramEntry(int argc, char** argv, const __BuildSettings& settings, const char* title) {
    DQ_RESX = settings.resx;
    DQ_RESY = settings.resy;
    __SetCommandLine(argc, argv);
    DQ_FULLSCREEN = settings.fullscreen;
    DQ_FRAMERATE = settings.framerate;
    DQ_DEBUG = settings.debug;
    DQ_WANTMOUSE = settings.wantMouse;
    __RunProgram(title);
}
