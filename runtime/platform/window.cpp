// Window, OpenGL context, display modes, events and the clock over SDL.
#include "platform/window.h"

#include <SDL.h>
#include <time.h>
#include <GLES3/gl3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/input.h"
#include "platform/internal.h"

namespace plat {
namespace {

SDL_Window* g_window = nullptr;
SDL_GLContext g_context = nullptr;
EventSink* g_sink = nullptr;
bool g_started = false;
bool g_fullscreen = false;
GLContextKind g_kind = GLContextKind::kES30;

// The kind of context asked for: TOLVANE_GL=es or core, else the faster on Mesa's
// software GL (docs/internals.md has the figures).
constexpr GLContextKind kFasterKind = GLContextKind::kES30;
GLContextKind AskedKind() {
    const char* v = std::getenv("TOLVANE_GL");
    if (v && std::strcmp(v, "core") == 0) return GLContextKind::kCore33;
    if (v && std::strcmp(v, "es") == 0) return GLContextKind::kES30;
    return kFasterKind;
}

// The attributes of the next context (and of the window's pixel format, which some
// drivers choose by the kind).
void AskFor(GLContextKind kind) {
    g_kind = kind;
    const bool core = kind == GLContextKind::kCore33;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, core ? SDL_GL_CONTEXT_PROFILE_CORE : SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, core ? 3 : 0);
}

}  // namespace

bool Startup() {
    if (g_started) return true;
    // The runtime reads relative mouse motion and its own key numbering; keep SDL from
    // turning the screen saver back on behind our back.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
    // SIGINT and SIGTERM are the runtime's own (system.h): no quit event for them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Joysticks keep reporting while another window has the focus (and in runs
    // without any window manager, where no window ever gets it).
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "Tolvane: cannot open the video system: %s\n", SDL_GetError());
        return false;
    }
    g_started = true;
    return true;
}

void Shutdown() {
    DestroyGLContext();
    DestroyProgramWindow();
    if (g_started) SDL_Quit();
    g_started = false;
}

bool CreateProgramWindow(const char* name, int x, int y, int width, int height) {
    if (!g_started || g_window) return g_window != nullptr;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    // The renderer's calls are those of OpenGL ES 3.0, as in the browser, which a core
    // OpenGL 3.3 context takes as well.
    AskFor(AskedKind());
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    g_window = SDL_CreateWindow(name, x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!g_window) {
        // Some drivers refuse an alpha channel; the runtime never reads destination alpha.
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
        g_window = SDL_CreateWindow(name, x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    }
    if (!g_window) {
        std::fprintf(stderr, "Tolvane: cannot create the window: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

void SetWindowTitle(const char* title) {
    if (g_window) SDL_SetWindowTitle(g_window, title ? title : "");
}
void ShowWindow() {
    if (g_window) SDL_ShowWindow(g_window);
}
void HideWindow() {
    if (g_window) SDL_HideWindow(g_window);
}
void RaiseWindow() {
    if (g_window) SDL_RaiseWindow(g_window);
}
void SetWindowSize(int width, int height) {
    if (g_window && width > 0 && height > 0) SDL_SetWindowSize(g_window, width, height);
}

void DestroyProgramWindow() {
    if (g_window) SDL_DestroyWindow(g_window);
    g_window = nullptr;
    g_fullscreen = false;
}

bool CreateGLContext() {
    if (!g_window) return false;
    if (g_context) return true;
    g_context = SDL_GL_CreateContext(g_window);
    if (!g_context) {
        // The other kind, where the driver offers only that one.
        AskFor(g_kind == GLContextKind::kES30 ? GLContextKind::kCore33 : GLContextKind::kES30);
        g_context = SDL_GL_CreateContext(g_window);
    }
    if (!g_context) {
        std::fprintf(stderr, "Tolvane: cannot create the OpenGL context: %s\n", SDL_GetError());
        return false;
    }
    SDL_GL_MakeCurrent(g_window, g_context);
    SDL_GL_SetSwapInterval(0);  // the runtime paces frames itself
    // Points take their size from the vertex shader, as they always do in ES.
    constexpr GLenum kProgramPointSize = 0x8642;
    if (g_kind == GLContextKind::kCore33) glEnable(kProgramPointSize);
    return true;
}

GLContextKind ContextKind() { return g_kind; }

void DestroyGLContext() {
    if (g_context) {
        SDL_GL_MakeCurrent(g_window, nullptr);
        SDL_GL_DeleteContext(g_context);
    }
    g_context = nullptr;
}

void MakeGLContextCurrent() {
    if (g_window && g_context) SDL_GL_MakeCurrent(g_window, g_context);
}

void* GLProcAddress(const char* name) { return g_started ? SDL_GL_GetProcAddress(name) : nullptr; }

// The desktop's presenting never waits for the screen: the runtime paces frames itself.
void SetPresentUnpaced(bool) {}

void SwapWindow() {
    if (g_window && g_context) SDL_GL_SwapWindow(g_window);
}

int DesktopBitsPerPixel() {
    SDL_DisplayMode mode;
    if (g_started && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        int bits = SDL_BITSPERPIXEL(mode.format);
        if (bits == 24 && SDL_BYTESPERPIXEL(mode.format) == 4) bits = 32;
        if (bits > 0) return bits;
    }
    return 32;
}

bool SetFullscreenMode(int width, int height, int bits) {
    if (!g_window) return false;
    SDL_DisplayMode want{};
    want.w = width;
    want.h = height;
    SDL_DisplayMode found;
    if (!SDL_GetClosestDisplayMode(0, &want, &found) || found.w != width || found.h != height) return false;
    if (bits != 0 && static_cast<int>(SDL_BITSPERPIXEL(found.format)) != bits) {
        // Look for the same size in the asked depth; the caller retries without one.
        bool matched = false;
        for (int i = 0, n = SDL_GetNumDisplayModes(0); i < n; ++i) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(0, i, &m) == 0 && m.w == width && m.h == height &&
                static_cast<int>(SDL_BITSPERPIXEL(m.format)) == bits) {
                found = m;
                matched = true;
                break;
            }
        }
        if (!matched) return false;
    }
    if (SDL_SetWindowDisplayMode(g_window, &found) != 0) return false;
    if (SDL_SetWindowFullscreen(g_window, SDL_WINDOW_FULLSCREEN) != 0) return false;
    g_fullscreen = true;
    return true;
}

void LeaveFullscreenMode() {
    if (g_window && g_fullscreen) SDL_SetWindowFullscreen(g_window, 0);
    g_fullscreen = false;
}

void ShowCursor(bool visible) {
    if (g_started) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

namespace internal {
bool VideoStarted() { return g_started; }
uint32_t ProgramWindowId() { return g_window ? SDL_GetWindowID(g_window) : 0; }
}  // namespace internal

void SetEventSink(EventSink* sink) { g_sink = sink; }

void PumpEvents() {
    if (!g_started) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
            case SDL_QUIT:
                if (g_sink) g_sink->OnCloseRequest(); else std::exit(0);
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                    if (g_sink) g_sink->OnCloseRequest(); else std::exit(0);
                } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && g_sink) {
                    g_sink->OnFocusLost();
                }
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (e.type == SDL_KEYDOWN)
                    internal::NoteKeyDown(e.key.keysym.scancode, (e.key.keysym.mod & KMOD_SHIFT) != 0);
                if (g_sink) {
                    int code = ScanCodeFromPlatform(e.key.keysym.scancode);
                    if (code) g_sink->OnKey(code, e.type == SDL_KEYDOWN);
                }
                break;
            case SDL_TEXTINPUT:
                internal::NoteText(e.text.text);
                break;
            case SDL_MOUSEMOTION:
                if (g_sink) g_sink->OnMouseMotion(e.motion.xrel, e.motion.yrel);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (g_sink) {
                    int button = e.button.button == SDL_BUTTON_LEFT    ? 0
                                 : e.button.button == SDL_BUTTON_RIGHT ? 1
                                 : e.button.button == SDL_BUTTON_MIDDLE ? 2 : -1;
                    if (button >= 0) g_sink->OnMouseButton(button, e.type == SDL_MOUSEBUTTONDOWN);
                }
                break;
            case SDL_MOUSEWHEEL:
                if (g_sink && e.wheel.y != 0)
                    g_sink->OnMouseWheel(e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y);
                break;
            default:
                break;
        }
    }
}

double ClockMs() {
    static const double freq = static_cast<double>(SDL_GetPerformanceFrequency());
    return static_cast<double>(SDL_GetPerformanceCounter()) * 1000.0 / freq;
}

void SleepMs(double ms) {
    if (!(ms > 0)) return;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ms / 1000.0);
    ts.tv_nsec = static_cast<long>((ms - ts.tv_sec * 1000.0) * 1e6);
    while (nanosleep(&ts, &ts) != 0) {
    }
}

}  // namespace plat
