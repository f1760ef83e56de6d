#include "gfx2d/screenshot.h"

#include <cstdio>

#include "gfx2d/bmp_file.h"
#include "gfx2d/prism.h"
#include "platform/files.h"

bool __WriteScreenshot(const std::string& dir, const char* kind, long long number, int width, int height,
                       const std::vector<uint8_t>& rgb) {
    plat::MakeFolder(dir.c_str());
    char name[64];
    std::snprintf(name, sizeof name, "/%s-%06lld.bmp", kind, number);
    const std::string path = dir + name;
    if (rgb.size() < static_cast<size_t>(width) * height * 3 ||
        !__WriteBMP24(path.c_str(), width, height, rgb.data())) {
        std::fprintf(stderr, "Tolvane: cannot write the screenshot %s\n", path.c_str());
        return false;
    }
    return true;
}

bool __SaveScreenshot(const std::string& dir, const char* kind, long long number) {
    if (!pPrsm) return false;
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    pPrsm->ReadBackBuffer(rgb, width, height);
    return __WriteScreenshot(dir, kind, number, width, height, rgb);
}
