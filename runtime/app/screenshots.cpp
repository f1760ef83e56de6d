#include "app/screenshots.h"

#include <cstdio>
#include <vector>

#include "app/automation.h"
#include "gfx2d/bmp_file.h"
#include "gfx2d/prism.h"
#include "platform/files.h"

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
    const std::string& dir = __g_automation.shotsDir;
    plat::MakeFolder(dir.c_str());
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06lld.bmp", g_frame);
    std::string path = dir + name;
    if (!__WriteBMP24(path.c_str(), g_width, g_height, g_pixels.data()))
        std::fprintf(stderr, "Tolvane: cannot write the screenshot %s\n", path.c_str());
}
