// Internal (the platform contract): the program window and the services behind it:
// starting and ending the video services, the one program window with its OpenGL
// context, display modes, the cursor, the event queue and the clock.
//
// The platform headers -- this one, input.h, audio.h, files.h, process.h and
// system.h -- are where the runtime reaches the machine beyond standard C++ and the
// OpenGL calls themselves, and the sources behind them are the only code that talks
// to SDL. test_hooks.h adds synthetic input for tests and tools.
#pragma once

namespace plat {

// ---- start and end -------------------------------------------------------------
// Starts the video, timer and event services. Returns false (with a message on
// standard error) when no video driver can be opened.
bool Startup();
// Closes the window and the services again. Safe to call when nothing was started.
void Shutdown();

// ---- the program window ----------------------------------------------------------
// Creates the one program window (hidden until ShowWindow), prepared for an OpenGL
// context with double buffering, RGBA colour and a 16-bit depth buffer. The size is
// the client area. Returns false when the window cannot be made.
bool CreateProgramWindow(const char* name, int x, int y, int width, int height);
void SetWindowTitle(const char* title);
void ShowWindow();
void HideWindow();
void RaiseWindow();
void SetWindowSize(int width, int height);
void DestroyProgramWindow();

// Creates the OpenGL context for the window and makes it current: OpenGL ES 3.0, or
// on the desktop a core OpenGL 3.3 one where TOLVANE_GL=core asks for it (the other
// kind when the asked one cannot be made). Returns false when the driver offers
// neither.
bool CreateGLContext();
// The kinds of context the renderer draws through; its calls are those of ES 3.0 in
// both, its shaders differ in their version line only.
enum class GLContextKind { kES30, kCore33 };
// The kind of the context made (ES 3.0 before there is one; WebGL 2 in the browser).
GLContextKind ContextKind();
void DestroyGLContext();
// Makes the program's context current again (after other GL users on the thread).
void MakeGLContextCurrent();
// Entry point of an OpenGL function or extension function, or null.
void* GLProcAddress(const char* name);
// Shows the back buffer.
void SwapWindow();
// Unattended runs that wait for nothing: presenting does not wait for the screen either
// (in the browser, for the browser's frame), so they run as fast as the machine allows.
void SetPresentUnpaced(bool unpaced);

// ---- display modes and cursor -----------------------------------------------------
// Colour depth of the desktop in bits per pixel (32 where the driver does not say).
int DesktopBitsPerPixel();
// Switches the window to a full-screen display mode of the given size; bits 0 takes
// any depth. Returns false when no such mode can be set (the window is unchanged).
bool SetFullscreenMode(int width, int height, int bits);
// Returns the window to the desktop's own display mode.
void LeaveFullscreenMode();
void ShowCursor(bool visible);

// ---- events ------------------------------------------------------------------------
// What the event pump delivers. Key codes are keyboard scan codes in the runtime's
// numbering (1 Escape, 28 Return, 200 Up, 203 Left, 205 Right, 208 Down ...; see
// input.h); mouse buttons are 0 left, 1 right, 2 middle; wheel steps are positive
// away from the user.
struct EventSink {
    virtual ~EventSink() = default;
    virtual void OnCloseRequest() = 0;
    virtual void OnKey(int scanCode, bool down) { (void)scanCode; (void)down; }
    virtual void OnMouseMotion(int dx, int dy) { (void)dx; (void)dy; }
    // The pointer is at (x, y) in the window's pixels: a platform whose pointer has a
    // place (the browser's pointer while not locked, a touch) says where it is.
    virtual void OnMousePosition(int x, int y) { (void)x; (void)y; }
    virtual void OnMouseButton(int button, bool down) { (void)button; (void)down; }
    virtual void OnMouseWheel(int steps) { (void)steps; }
    virtual void OnFocusLost() {}
};
// The sink receives every event from now on; null drops them after handling the
// close request as an immediate process exit.
void SetEventSink(EventSink* sink);
// Removes every pending event from the queue and hands each one to the sink. Text
// typed meanwhile teaches KeyCharacter (input.h) the keyboard's layout.
void PumpEvents();

// ---- clock ---------------------------------------------------------------------
// Milliseconds from the high-resolution counter.
double ClockMs();
// Gives the processor away for about this many milliseconds.
void SleepMs(double ms);

}  // namespace plat
