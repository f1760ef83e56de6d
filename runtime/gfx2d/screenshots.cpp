#include "gfx2d/screenshots.h"

#include <cstdio>
#include <vector>

#include "core/automation.h"
#include "core/services.h"
#include "gfx2d/bmp_file.h"
#include "gfx2d/prism.h"
#include "platform/files.h"

namespace {
std::vector<uint8_t> g_pixels;
long long g_frame = 0;
int g_width = 0, g_height = 0;
bool g_pending = false;
}  // namespace

void __CaptureShotIfDue(long long frame) {
    const __Automation& a = __g_automation;
    if (a.shotsDir.empty() || a.shotsEvery <= 0 || frame % a.shotsEvery != 0 || !pPrsm) return;
    pPrsm->Flush();
    g_width = pPrsm->ScreenWidth();
    g_height = pPrsm->ScreenHeight();
    g_pixels.resize(static_cast<size_t>(g_width) * g_height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, g_width, g_height, GL_RGB, GL_UNSIGNED_BYTE, g_pixels.data());
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
