// The pointer over the canvas, by mouse or by touch. The page shows the canvas scaled;
// the listeners here take the browser's exact places (fractions of CSS pixels, which
// the event records of Emscripten's own listeners round away) and turn them into the
// canvas's own pixels:
//   - the mouse while the pointer is not locked: the pixel it points at, from its first
//     movement over the canvas on (and, while a button pressed on the canvas is held,
//     beyond its edges: the nearest edge pixel); the runtime turns the place into the
//     movement that takes its position there (DXInput::OnMousePosition);
//   - the mouse while the pointer is locked: its movement;
//   - its buttons: pressed on the canvas, let go anywhere; a press locks the pointer
//     for a program that wants the relative mouse and reads it;
//   - touches: the first finger on the canvas is the mouse with its left button held:
//     the place moves under it first, then the button goes down; it moves with the
//     finger, and the button goes up where the finger lifts. Other fingers meanwhile
//     are left out. The page neither scrolls nor zooms under them.
#include <emscripten.h>

#include <cmath>

#include "platform/web/web_internal.h"

namespace {

// What the listeners report (the first argument of tolvane_pointer_input).
enum PointerReport { kPointerAt = 0, kPointerMoved = 1, kPointerButton = 2 };

int WholePixels(double v) { return static_cast<int>(std::fmax(-1e6, std::fmin(1e6, v))); }

}  // namespace

// Called by the listeners below. A press of a mouse button answers 1 when the pointer
// is to be locked now.
extern "C" EMSCRIPTEN_KEEPALIVE int tolvane_pointer_input(int report, double a, double b) {
    using plat::web::SyntheticEvent;
    if (!std::isfinite(a) || !std::isfinite(b)) return 0;
    switch (report) {
        case kPointerAt:
            plat::web::QueueEvent(SyntheticEvent::Position, WholePixels(std::floor(a)), WholePixels(std::floor(b)));
            return 0;
        case kPointerMoved: {
            // What is left under a whole pixel is carried to the next movement, so many
            // small moves add up to the whole way.
            static double restX = 0, restY = 0;
            const double fx = a + restX, fy = b + restY;
            const int dx = WholePixels(std::round(fx)), dy = WholePixels(std::round(fy));
            restX = std::fmax(-1, std::fmin(1, fx - dx));
            restY = std::fmax(-1, std::fmin(1, fy - dy));
            if (dx || dy) plat::web::QueueEvent(SyntheticEvent::Motion, dx, dy);
            return 0;
        }
        case kPointerButton: {
            if (!(a == 0 || a == 1 || a == 2)) return 0;  // 0 left, 1 right, 2 middle
            plat::web::QueueEvent(SyntheticEvent::Button, static_cast<int>(a), b != 0 ? 1 : 0);
            return b != 0 && plat::web::PointerLockWanted() ? 1 : 0;
        }
        default: return 0;
    }
}

// clang-format off
EM_JS(void, tolvane_pointer_listen, (int on), {
    const canvas = Module["canvas"];
    const before = Module["tolvanePointer"];
    if (before) {
        for (const l of before) l[0].removeEventListener(l[1], l[2], l[3]);
        Module["tolvanePointer"] = null;
    }
    if (!on || !canvas) return;
    const report = (kind, a, b) => Module["_tolvane_pointer_input"](kind, a, b);
    // The canvas's picture on the page: its content box, inside border and padding,
    // and canvas pixels per CSS pixel.
    const box = () => {
        const r = canvas.getBoundingClientRect(), s = getComputedStyle(canvas);
        const px = v => parseFloat(v) || 0;
        const left = px(s.borderLeftWidth) + px(s.paddingLeft), top = px(s.borderTopWidth) + px(s.paddingTop);
        const w = r.width - left - px(s.paddingRight) - px(s.borderRightWidth);
        const h = r.height - top - px(s.paddingBottom) - px(s.borderBottomWidth);
        return {left: r.left + left, top: r.top + top, sx: w > 0 ? canvas.width / w : 1, sy: h > 0 ? canvas.height / h : 1};
    };
    // The pixel under a place of the page; beside the canvas, the nearest edge pixel.
    const at = (x, y) => {
        const b = box();
        const cx = Math.min(canvas.width - 1, Math.max(0, (x - b.left) * b.sx));
        const cy = Math.min(canvas.height - 1, Math.max(0, (y - b.top) * b.sy));
        report(0, cx, cy);
    };
    const locked = () => document.pointerLockElement === canvas;
    // The browser numbers the middle button 1 and the right one 2.
    const button = e => e.button === 0 ? 0 : e.button === 2 ? 1 : e.button === 1 ? 2 : -1;
    let dragging = false;  // a mouse button pressed on the canvas is held
    let finger = null;     // the touch that is the mouse
    const touches = (e, fn) => {
        e.preventDefault();  // no scrolling, zooming or mouse events made up from the touch
        for (const t of e.changedTouches) fn(t);
    };
    const lift = e => touches(e, t => {
        if (t.identifier !== finger) return;
        at(t.clientX, t.clientY);
        report(2, 0, 0);
        finger = null;
    });
    // The mouse's places come from its pointer events, whose places keep the fractions
    // of a CSS pixel (its mouse events have whole ones); a press's pointer event comes
    // before its mouse event, so the place is there before the button.
    const mouse = e => e.pointerType === "mouse" && !locked();
    const listeners = [
        [window, "pointermove", e => { if (mouse(e) && (e.target === canvas || dragging)) at(e.clientX, e.clientY); }, true],
        [canvas, "pointerdown", e => { if (mouse(e)) at(e.clientX, e.clientY); }, true],
        [window, "mousemove", e => {
            if (!locked()) return;
            const b = box();
            report(1, e.movementX * b.sx, e.movementY * b.sy);
        }, true],
        [canvas, "mousedown", e => {
            e.preventDefault();
            dragging = true;
            if (button(e) >= 0 && report(2, button(e), 1)) {
                const asked = canvas.requestPointerLock();
                if (asked && asked.catch) asked.catch(() => {});
            }
        }, true],
        [window, "mouseup", e => {
            if (!e.buttons) dragging = false;
            if (button(e) >= 0) report(2, button(e), 0);
            e.preventDefault();
        }, true],
        [canvas, "touchstart", e => touches(e, t => {
            if (finger !== null) return;
            finger = t.identifier;
            at(t.clientX, t.clientY);
            report(2, 0, 1);
        }), {passive: false}],
        [canvas, "touchmove", e => touches(e, t => { if (t.identifier === finger) at(t.clientX, t.clientY); }),
         {passive: false}],
        [canvas, "touchend", lift, {passive: false}],
        [canvas, "touchcancel", lift, {passive: false}],
    ];
    for (const l of listeners) l[0].addEventListener(l[1], l[2], l[3]);
    Module["tolvanePointer"] = listeners;
});
// clang-format on

namespace plat::web {

void ListenToPointer(bool on) { tolvane_pointer_listen(on ? 1 : 0); }

}  // namespace plat::web
