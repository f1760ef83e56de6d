#include "app/screenshots.h"

#include <vector>

#include "app/automation.h"
#include "gfx2d/prism.h"
#include "gfx2d/screenshot.h"

namespace {
std::vector<uint8_t> g_pixels;
long long g_frame = 0;
int g_width = 0, g_height = 0;
bool g_pending = false;
}  // namespace

void __CaptureShotIfDue() {
    const __Automation& a = __g_automation;
    const long long frame = __g_frame + 1;
    if (a.shotsDir.empty() || a.shotsEvery <= 0 || frame % a.shotsEvery != 0 || !pPrsm) return;
    pPrsm->ReadBackBuffer(g_pixels, g_width, g_height);
    g_frame = frame;
    g_pending = true;
}

void __WriteCapturedShot() {
    if (!g_pending) return;
    g_pending = false;
    __WriteScreenshot(__g_automation.shotsDir, "frame", g_frame, g_width, g_height, g_pixels);
}
