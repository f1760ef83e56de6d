// The runtime's window onto the operating system.
//
// Everything the runtime needs from the machine -- the program window and its OpenGL
// context, display modes, the event queue, the clock, the temporary folder and the
// program's own path -- is reached through these functions. They are the only code
// that talks to SDL; the rest of the runtime stays free of platform headers.
#pragma once

#include <cstdint>
#include <string>

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

// Creates the OpenGL context (compatibility profile) for the window and makes it
// current. Returns false when the driver offers no such context.
bool CreateGLContext();
void DestroyGLContext();
// Makes the program's context current again (after other GL users on the thread).
void MakeGLContextCurrent();
// Entry point of an OpenGL function or extension function, or null.
void* GLProcAddress(const char* name);
// Shows the back buffer.
void SwapWindow();

// ---- display modes ---------------------------------------------------------------
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
// numbering (1 Escape, 28 Return, 200 Up, 203 Left, 205 Right, 208 Down ...).
struct EventSink {
    virtual ~EventSink() = default;
    virtual void OnCloseRequest() = 0;
    virtual void OnKey(int scanCode, bool down) { (void)scanCode; (void)down; }
    virtual void OnMouseMotion(int dx, int dy) { (void)dx; (void)dy; }
    virtual void OnMouseButton(int button, bool down) { (void)button; (void)down; }
    virtual void OnFocusLost() {}
};
// The sink receives every event from now on; null drops them after handling the
// close request as an immediate process exit.
void SetEventSink(EventSink* sink);
// Removes every pending event from the queue and hands each one to the sink.
void PumpEvents();
// Places a synthetic key event (runtime scan code) or a window-close request on the
// queue, as if the user had pressed the key or closed the window. For tools and
// tests that drive a program.
void PushKeyEvent(int scanCode, bool down);
void PushCloseRequest();
// The text a key press typed, as the system's text input reports it.
void PushTextEvent(const char* utf8);
// Scan code in the runtime's numbering for a platform key, 0 when it has none.
int ScanCodeFromPlatform(int platformScancode);
// The reverse: the platform key of a runtime scan code, 0 when there is none.
int PlatformFromScanCode(int scanCode);

// The character a key gives on the user's keyboard layout, or 0 when it gives none in
// 0 ... 127. Characters the keyboard has typed are learnt as they come, per key and
// Shift state; before that the layout's unshifted character is taken, with Shift the
// capital letter or the shifted symbol of a US keyboard.
int KeyCharacter(int scanCode, bool shift);
// Event pump helpers for learning typed characters.
void NoteKeyDown(int platformScancode, bool shift);
void NoteText(const char* utf8);
// Relative mouse mode: the cursor is hidden and every motion is reported as a
// movement. False when the driver cannot do it.
bool SetRelativeMouse(bool on);
// Synthetic mouse events, as PushKeyEvent.
void PushMouseMotion(int dx, int dy);
void PushMouseButton(int button, bool down);

// ---- joysticks ---------------------------------------------------------------------
struct JoystickState {
    int x = 0, y = 0, z = 0;       // raw axes, -32768 ... 32767
    uint8_t buttons[32] = {};      // 128 when down
    uint32_t hat = 0xFFFFFFFF;     // first hat in hundredths of a degree from north; centred: 0xFFFFFFFF
};
// Most joysticks the runtime holds at once; they are numbered 0 ... kMaxJoysticks - 1.
constexpr int kMaxJoysticks = 10;
// Opens the attached joysticks (at most `most`, and never more than kMaxJoysticks);
// returns how many are open.
int OpenJoysticks(int most);
void CloseJoysticks();
const char* JoystickName(int index);
// Reads joystick `index` of those opened; false (all zero) when there is none.
bool ReadJoystick(int index, JoystickState& state);
// A virtual joystick for tests and tools; returns its device index or -1. Opened
// like any other by OpenJoysticks.
int AttachVirtualJoystick(int axes, int buttons, int hats);
void SetVirtualJoystick(int device, int axis, int value);
void SetVirtualJoystickButton(int device, int button, bool down);
void SetVirtualJoystickHat(int device, int hat, int direction);  // 0 centre, 1 up, 2 right, 4 down, 8 left (or-ed)
void DetachVirtualJoystick(int device);

// ---- clock ---------------------------------------------------------------------
// Milliseconds from the high-resolution counter.
double ClockMs();
// Gives the processor away for about this many milliseconds.
void SleepMs(double ms);

// ---- system ---------------------------------------------------------------------
// The temporary folder with a trailing '/': TMPDIR when set, else /tmp/.
std::string TempDir();
// Full path of the running program file.
std::string ProgramPath();
// Keeps the screen saver and monitor power-down away while the program runs.
void SuppressScreenSaver();
// A short warning sound or, where there is none, the terminal bell.
void Beep();

}  // namespace plat
