#include "core/lifecycle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/automation.h"
#include "core/numbers.h"
#include "core/random.h"
#include "core/services.h"
#include "core/timing.h"
#include "files/data_file.h"
#include "files/shoebox.h"
#include "gfx2d/text.h"
#include "gfx2d/prism.h"
#include "input/dxinput.h"
#include "net/kwnetwork.h"
#include "pathfinding/planner.h"
#include "platform/system.h"
#include "platform/window.h"
#include "sound/music.h"
#include "sound/sfx_sound.h"

int DQ_RESX = 640;
int DQ_RESY = 480;
int DQ_FULLSCREEN = 0;
int DQ_FRAMERATE = 60;
int DQ_DEBUG = 0;
int DQ_WANTMOUSE = 1;

double __g_error = 0;
double __g_errorline = 0;
double __g_debugline = 0;
double __g_debugfile = 0;
DQStr __g_cmdline;
double __g_mx = 0, __g_my = 0;
int __nCurFont = 0;

DXInput* pDXin = nullptr;
OpenGLPrism* pPrsm = nullptr;
SFXSound* pDXsnd = nullptr;
SFXSoundBuffer* DXwav = nullptr;
KWNetwork* pKWNet = nullptr;

namespace {

bool g_startFailed = false;
bool g_ending = false;
// The code of the fatal error that is ending the program; 0 for every other end.
// Codes the data-file commands record leave it alone.
int g_fatalCode = 0;

const char* ErrorName(int code) {
    switch (code) {
        case 3: return "a file cannot be read";
        case 7: return "out of memory or a data-file line out of range";
        case 8: return "array not dimensioned";
        case 9: return "array index out of range";
        default: return "runtime error";
    }
}

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
    void OnMouseButton(int button, bool down) override {
        if (pDXin) pDXin->OnMouseButton(button, down);
    }
    void OnFocusLost() override {
        if (pDXin) pDXin->ReleaseAllKeys();
    }
};
WindowEvents g_events;

}  // namespace

void __SetCommandLine(int argc, char** argv) {
    // The arguments joined as they were typed: one with blanks in it, or an empty
    // one, goes back into double quotes.
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        const std::string arg = argv[i];
        const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        text += quote ? '"' + arg + '"' : arg;
    }
    __g_cmdline = text.c_str();
}

std::string __ErrorLogPath() { return plat::TempDir() + "ErrorLog.txt"; }

void __AppendErrorLog(const char* text) {
    FILE* f = std::fopen(__ErrorLogPath().c_str(), "ab");
    if (!f) return;
    std::fputs(text ? text : "null", f);
    std::fputs("\r\n", f);
    std::fclose(f);
}

bool __GlobalInit(const char* title) {
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
    pDXsnd = new SFXSound();
    DXwav = new SFXSoundBuffer[__kSoundSlots];
    pKWNet = new KWNetwork();

    if (!pPrsm->Init(DQ_RESX, DQ_RESY, 0, static_cast<uint16_t>(DQ_FRAMERATE))) return false;

    KWsrand(__g_automation.hasSeed ? __g_automation.seed : __ClockSeed(pPrsm->AccurateTime()));

    if (DQ_FULLSCREEN) pPrsm->DoFullscreen(); else pPrsm->DoWindowed();

    pDXin->CreateDInput(DQ_WANTMOUSE != 0);
    // Escape held aborts a long FINDPATH.
    __SetPathAbortTest([] {
        if (!pDXin) return false;
        pDXin->GetKeyboardStatus();
        return pDXin->KeyDown(1);
    });
    pDXsnd->Create();
    __nCurFont = 0;

    // The program file carries the program's archive, if it has one.
    std::string path = plat::ProgramPath();
    SETSHOEBOX(DQStr(path.c_str()), DQStr(path.c_str()));

    // The program's folder becomes the current directory.
    size_t cut = path.find_last_of("/\\");
    if (cut != std::string::npos && cut > 0) path.resize(cut);
    if (!path.empty() && chdir(path.c_str()) != 0)
        std::fprintf(stderr, "Tolvane: cannot enter the program folder %s\n", path.c_str());

    LOADFONT(DQStr("Smalfont.bmp"), 0);

    glClear(GL_COLOR_BUFFER_BIT);
    pPrsm->FlipScreens();
    pPrsm->Make2DViewport(0, 0, 0, 0);

    __g_FirstTime = __g_LastTime = __g_ThisTime = pPrsm->AccurateTime();
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

void __EndProgram() {
    const int status = g_startFailed ? 1 : g_fatalCode;
    if (g_ending) _exit(status);  // a failure while releasing: leave at once
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
    if (g_fatalCode != 0)
        std::fprintf(stderr, "Tolvane: runtime error %d (%s) in line %g\n", g_fatalCode, ErrorName(g_fatalCode),
                     __g_errorline);

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

double END() {
    __g_error = 0;
    __g_errorline = __g_debugline;
    __EndProgram();
}

double __Error(double code) {
    __g_error = code;
    __g_errorline = __g_debugline;
    return code;
}

void __FatalError(double code) {
    __Error(code);
    g_fatalCode = __TruncInt(code);
    __EndProgram();
}

void __dLn(double file, double line) {
    __g_debugfile = file;
    __g_debugline = line;
}
