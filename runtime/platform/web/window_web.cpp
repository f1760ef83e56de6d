// The program window in the browser: the page's canvas with a WebGL 2 context, the
// browser's key, mouse and focus events, and the clock. The program runs as one long
// call that gives the browser its turn whenever it presents a frame or waits
// (Asyncify), so BASIC's own endless loops work as they do on the desktop.
//
// A frame is presented at the browser's own frame (requestAnimationFrame) and painted
// before the program goes on, so every frame the program presents is one the page
// shows, and a machine that cannot keep up slows the program with it, as vertical sync
// does on the desktop. While the page is hidden the program rests at its next frame,
// its clock stands still and its sound is suspended; shown again, it goes on where it
// was.
#include <GLES3/gl3.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/input.h"
#include "platform/internal.h"
#include "platform/system.h"
#include "platform/web/web_internal.h"
#include "platform/window.h"

// clang-format off
EM_ASYNC_JS(void, tolvane_yield_to_browser, (), {
    await new Promise(resolve => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve();
        channel.port2.postMessage(0);
    });
});
// The page's visibility, watched from the start: the time the page spent hidden is
// left out of the program's clock, and the sound the program opened and a movie that
// plays are suspended while it is hidden (and only what this suspended is resumed).
EM_JS(void, tolvane_watch_visibility, (), {
    if (Module.tolvaneLife) return;
    const life = {hiddenSince: -1, hiddenMs: 0, suspendedSound: false, pausedMovie: null, waiting: []};
    Module.tolvaneLife = life;
    const update = () => {
        const now = performance.now();
        const audio = Module["tolvaneAudio"];
        if (document.visibilityState === "hidden") {
            if (life.hiddenSince < 0) life.hiddenSince = now;
            if (audio && audio.ctx && audio.ctx.state === "running") {
                life.suspendedSound = true;
                audio.ctx.suspend().catch(() => {});
            }
            const movies = Module["tolvaneMovie"], movie = movies && movies.current;
            if (movie && !movie.closed && !movie.video.paused) {
                life.pausedMovie = movie;
                movie.video.pause();
            }
            return;
        }
        if (life.hiddenSince >= 0) {
            life.hiddenMs += now - life.hiddenSince;
            life.hiddenSince = -1;
        }
        if (life.suspendedSound && audio && audio.ctx) {
            life.suspendedSound = false;
            audio.ctx.resume().catch(() => {});
        }
        if (life.pausedMovie) {
            if (!life.pausedMovie.closed) life.pausedMovie.video.play().catch(() => {});
            life.pausedMovie = null;
        }
        const waiting = life.waiting;
        life.waiting = [];
        for (const resume of waiting) resume();
    };
    document.addEventListener("visibilitychange", update);
    update();
});
EM_JS(double, tolvane_clock_ms, (), {
    const now = performance.now(), life = Module.tolvaneLife;
    if (!life) return now;
    return now - life.hiddenMs - (life.hiddenSince >= 0 ? now - life.hiddenSince : 0);
});
// While the page is hidden: 1, and the program rests until it is shown.
EM_JS(int, tolvane_page_hidden, (), {
    return Module.tolvaneLife && document.visibilityState === "hidden" ? 1 : 0;
});
EM_ASYNC_JS(void, tolvane_wait_until_shown, (), {
    const life = Module.tolvaneLife;
    if (life && document.visibilityState === "hidden") await new Promise(resolve => life.waiting.push(resolve));
});
// Waits for the browser's next frame, and first, while the page is hidden, for the page
// to be shown.
EM_ASYNC_JS(void, tolvane_wait_for_frame, (), {
    const life = Module.tolvaneLife;
    if (life && document.visibilityState === "hidden") await new Promise(resolve => life.waiting.push(resolve));
    await new Promise(resolve => requestAnimationFrame(() => resolve()));
});
EM_JS(void, tolvane_set_title, (const char* title), {
    document.title = UTF8ToString(title);
});
EM_JS(void, tolvane_canvas_style, (int visible, int cursor), {
    const c = Module["canvas"];
    if (!c) return;
    c.style.visibility = visible ? "" : "hidden";
    c.style.cursor = cursor ? "" : "none";
});
EM_JS(void, tolvane_canvas_resized, (), {
    if (Module["onCanvasResized"]) Module["onCanvasResized"]();
});
// clang-format on

namespace plat {
namespace {

struct Event {
    enum Kind { Key, Motion, Position, Button, Wheel, Close, FocusLost } kind;
    int a = 0, b = 0;
};

std::deque<Event> g_queue;
EventSink* g_sink = nullptr;
bool g_started = false;
bool g_window = false;
bool g_visible = false;
bool g_cursor = true;
bool g_fullscreen = false;
bool g_unpaced = false;
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE g_context = 0;

// The back buffer: the program draws into a framebuffer of its own, and presenting
// copies it to the canvas. So the canvas shows whole frames only, and keeps the last
// one when the program ends, as a desktop window does.
struct BackBuffer {
    GLuint frame = 0, colour = 0, depth = 0;
    int width = 0, height = 0;
};
BackBuffer g_back;

void FreeBackBuffer() {
    if (g_back.frame) glDeleteFramebuffers(1, &g_back.frame);
    if (g_back.colour) glDeleteRenderbuffers(1, &g_back.colour);
    if (g_back.depth) glDeleteRenderbuffers(1, &g_back.depth);
    g_back = BackBuffer{};
}

bool MakeBackBuffer(int width, int height) {
    FreeBackBuffer();
    glGenFramebuffers(1, &g_back.frame);
    glGenRenderbuffers(1, &g_back.colour);
    glGenRenderbuffers(1, &g_back.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, g_back.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, g_back.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, g_back.frame);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, g_back.colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, g_back.depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        FreeBackBuffer();
        return false;
    }
    g_back.width = width;
    g_back.height = height;
    return true;
}

constexpr size_t kMostQueued = 4096;  // a page left alone does not gather events without end

void Queue(Event e) {
    if (g_queue.size() < kMostQueued) g_queue.push_back(e);
}

EM_BOOL OnKeyEvent(int type, const EmscriptenKeyboardEvent* e, void*) {
    const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
    const int code = web::ScanCodeFromKeyName(e->code);
    const bool shortcut = e->ctrlKey || e->metaKey || e->altKey;
    if (down && !shortcut) {
        // What the key types on this keyboard, as the browser says: one plain character.
        internal::NoteKeyDown(code, e->shiftKey != 0);
        internal::NoteText(e->key);
    }
    if (code && !(down && e->repeat)) Queue({Event::Key, code, down ? 1 : 0});
    // The page keeps the keys the browser itself needs: its shortcuts, reload (F5),
    // full screen (F11) and the developer tools (F12).
    if (!code || shortcut || code == 63 || code == 87 || code == 88) return EM_FALSE;
    return EM_TRUE;
}

// The browser's wheel turns by pixels, lines or pages; a step is what one notch gives:
// 100 pixels, 3 lines or a page. What is left under a step is carried to the next event
// that turns the same way, so a part of a step one way never adds to a turn the other.
EM_BOOL OnWheelEvent(int, const EmscriptenWheelEvent* e, void*) {
    static double rest = 0;
    if (!std::isfinite(e->deltaY)) return EM_TRUE;
    const double perStep = e->deltaMode == DOM_DELTA_PIXEL ? 100.0 : e->deltaMode == DOM_DELTA_LINE ? 3.0 : 1.0;
    const double step = -e->deltaY / perStep;  // the page's y grows towards the user
    if (step * rest < 0) rest = 0;
    const double turned = step + rest;
    const double whole = std::trunc(turned);
    rest = turned - whole;
    if (whole >= 1 || whole <= -1) Queue({Event::Wheel, static_cast<int>(std::fmax(-1e6, std::fmin(1e6, whole)))});
    return EM_TRUE;  // the page does not scroll under the game
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void*) {
    Queue({Event::FocusLost});
    return EM_FALSE;
}

void Listen(bool on) {
    const char* win = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(win, nullptr, EM_TRUE, on ? OnKeyEvent : nullptr);
    emscripten_set_keyup_callback(win, nullptr, EM_TRUE, on ? OnKeyEvent : nullptr);
    web::ListenToPointer(on);
    emscripten_set_wheel_callback(web::kCanvas, nullptr, EM_TRUE, on ? OnWheelEvent : nullptr);
    emscripten_set_blur_callback(win, nullptr, EM_TRUE, on ? OnBlur : nullptr);
}

}  // namespace

namespace {
// When the program last gave the browser its turn, in real time.
double g_lastTurnMs = 0;
constexpr double kLongestWithoutTurnMs = 50;
}  // namespace

namespace web {
void YieldToBrowser() {
    tolvane_yield_to_browser();
    g_lastTurnMs = emscripten_get_now();
}
}  // namespace web

// A program busy for 50 ms without a frame or a wait gives the browser its turn, so the
// page still answers (its keys reach the program, its buttons work).
void GiveTurnIfBusy() {
    if (emscripten_get_now() - g_lastTurnMs >= kLongestWithoutTurnMs) web::YieldToBrowser();
}

void WatchStopSignals(void (*)(int)) {}

bool Startup() {
    tolvane_watch_visibility();
    g_started = true;
    return true;
}

void Shutdown() {
    DestroyGLContext();
    DestroyProgramWindow();
    g_started = false;
}

bool CreateProgramWindow(const char* name, int, int, int width, int height) {
    (void)name;
    if (!g_started) return false;
    if (g_window) return true;
    if (emscripten_set_canvas_element_size(web::kCanvas, width < 1 ? 1 : width, height < 1 ? 1 : height) !=
        EMSCRIPTEN_RESULT_SUCCESS) {
        std::fprintf(stderr, "Tolvane: the page has no canvas for the program\n");
        return false;
    }
    tolvane_canvas_resized();
    Listen(true);
    g_window = true;
    return true;
}

void SetWindowTitle(const char* title) { tolvane_set_title(title ? title : ""); }

void ShowWindow() {
    g_visible = true;
    if (g_window) tolvane_canvas_style(1, g_cursor);
}

void HideWindow() {
    g_visible = false;
    if (g_window) tolvane_canvas_style(0, g_cursor);
}

void RaiseWindow() {}

void SetWindowSize(int width, int height) {
    if (!g_window || width < 1 || height < 1) return;
    int w = 0, h = 0;
    emscripten_get_canvas_element_size(web::kCanvas, &w, &h);
    if (w == width && h == height) return;
    emscripten_set_canvas_element_size(web::kCanvas, width, height);
    tolvane_canvas_resized();
    if (g_context) MakeBackBuffer(width, height);
}

// The canvas stays on the page with its last picture after the program ended.
void DestroyProgramWindow() {
    if (g_window) Listen(false);
    g_window = false;
    g_queue.clear();
}

bool CreateGLContext() {
    if (!g_window) return false;
    if (g_context) return true;
    EmscriptenWebGLContextAttributes a;
    emscripten_webgl_init_context_attributes(&a);
    a.majorVersion = 2;
    a.minorVersion = 0;
    a.alpha = EM_FALSE;  // the page never shows through the game
    a.depth = EM_TRUE;
    a.stencil = EM_FALSE;
    a.antialias = EM_FALSE;
    a.premultipliedAlpha = EM_FALSE;
    // The picture stays as drawn between frames, so the canvas can be read back and
    // keeps the last frame once the program has ended.
    a.preserveDrawingBuffer = EM_TRUE;
    g_context = emscripten_webgl_create_context(web::kCanvas, &a);
    if (g_context <= 0) {
        g_context = 0;
        std::fprintf(stderr, "Tolvane: this browser offers no WebGL 2\n");
        return false;
    }
    emscripten_webgl_make_context_current(g_context);
    int w = 0, h = 0;
    emscripten_get_canvas_element_size(web::kCanvas, &w, &h);
    if (!MakeBackBuffer(w, h)) {
        std::fprintf(stderr, "Tolvane: cannot make the frame buffer of the canvas\n");
        return false;
    }
    return true;
}

GLContextKind ContextKind() { return GLContextKind::kES30; }

// The context lives as long as the page, so the last picture stays on the canvas.
void DestroyGLContext() {}

void MakeGLContextCurrent() {
    if (g_context) emscripten_webgl_make_context_current(g_context);
}

void* GLProcAddress(const char* name) { return g_context ? emscripten_webgl_get_proc_address(name) : nullptr; }

void SetPresentUnpaced(bool unpaced) { g_unpaced = unpaced; }

// At the browser's next frame the program's frame is copied to the canvas, and the
// browser paints it before the program goes on to draw the next. Unpaced, the frame is
// copied at once, and the browser paints what it can of them.
void SwapWindow() {
    if (!g_context || !g_back.frame) return;
    if (!g_unpaced) tolvane_wait_for_frame();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, g_back.frame);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, g_back.width, g_back.height, 0, 0, g_back.width, g_back.height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, g_back.frame);
    web::YieldToBrowser();  // the browser paints it
}

int DesktopBitsPerPixel() { return 32; }

// The browser has no display modes: full screen shows the canvas over the whole screen,
// scaled by the page, at the next key press or click (browsers allow it only then).
bool SetFullscreenMode(int width, int height, int) {
    if (!g_window) return false;
    int w = 0, h = 0;
    emscripten_get_canvas_element_size(web::kCanvas, &w, &h);
    if (w != width || h != height) return false;
    EmscriptenFullscreenStrategy s{};
    s.scaleMode = EMSCRIPTEN_FULLSCREEN_SCALE_ASPECT;
    s.canvasResolutionScaleMode = EMSCRIPTEN_FULLSCREEN_CANVAS_SCALE_NONE;
    s.filteringMode = EMSCRIPTEN_FULLSCREEN_FILTERING_DEFAULT;
    const EMSCRIPTEN_RESULT r = emscripten_request_fullscreen_strategy(web::kCanvas, EM_TRUE, &s);
    g_fullscreen = r == EMSCRIPTEN_RESULT_SUCCESS || r == EMSCRIPTEN_RESULT_DEFERRED;
    return g_fullscreen;
}

void LeaveFullscreenMode() {
    if (g_fullscreen) emscripten_exit_fullscreen();
    g_fullscreen = false;
}

void ShowCursor(bool visible) {
    g_cursor = visible;
    if (g_window) tolvane_canvas_style(g_visible ? 1 : 0, visible);
}

namespace internal {
bool VideoStarted() { return g_started; }
uint32_t ProgramWindowId() { return g_window ? 1 : 0; }
}  // namespace internal

void SetEventSink(EventSink* sink) { g_sink = sink; }

// While the page is hidden the program rests here too: its clock stands still, so a
// wait that polls the clock (the frame pacer's last moments, the runtime's waits, a
// BASIC loop reading keys) would otherwise never see its time come.
void PumpEvents() {
    if (!g_started) return;
    if (tolvane_page_hidden()) tolvane_wait_until_shown();
    while (!g_queue.empty()) {
        const Event e = g_queue.front();
        g_queue.pop_front();
        switch (e.kind) {
            case Event::Close:
                if (g_sink) g_sink->OnCloseRequest(); else std::exit(0);
                break;
            case Event::Key:
                if (g_sink) g_sink->OnKey(e.a, e.b != 0);
                break;
            case Event::Motion:
                if (g_sink) g_sink->OnMouseMotion(e.a, e.b);
                break;
            case Event::Position:
                if (g_sink) g_sink->OnMousePosition(e.a, e.b);
                break;
            case Event::Button:
                if (g_sink) g_sink->OnMouseButton(e.a, e.b != 0);
                break;
            case Event::Wheel:
                if (g_sink) g_sink->OnMouseWheel(e.a);
                break;
            case Event::FocusLost:
                if (g_sink) g_sink->OnFocusLost();
                break;
        }
    }
}

namespace web {
void QueueEvent(SyntheticEvent kind, int a, int b) {
    if (!g_started) return;
    switch (kind) {
        case SyntheticEvent::Key: Queue({Event::Key, a, b}); break;
        case SyntheticEvent::Motion: Queue({Event::Motion, a, b}); break;
        case SyntheticEvent::Position: Queue({Event::Position, a, b}); break;
        case SyntheticEvent::Button: Queue({Event::Button, a, b}); break;
        case SyntheticEvent::Wheel: Queue({Event::Wheel, a}); break;
        case SyntheticEvent::Close: Queue({Event::Close}); break;
        case SyntheticEvent::FocusLost: Queue({Event::FocusLost}); break;
    }
}
}  // namespace web

double ClockMs() { return tolvane_clock_ms(); }

void SleepMs(double ms) {
    if (!(ms > 0)) return;
    if (ms < 1) {
        web::YieldToBrowser();
    } else {
        emscripten_sleep(static_cast<unsigned>(ms));
        g_lastTurnMs = emscripten_get_now();
    }
}

}  // namespace plat
