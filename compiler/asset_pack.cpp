// Packing a program's archive (asset_pack.h).
#include "asset_pack.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "front.h"
#include "tool_run.h"

namespace fs = std::filesystem;

namespace tvc {

namespace {

bool Said(const std::string& log) {
    std::string text;
    ReadTextFile(log, text);
    std::fprintf(stderr, "tolvanec: packing the assets failed:\n%s", text.c_str());
    return false;
}

}  // namespace

bool PackArchive(const Toolchain& tc, const std::string& assets, const std::string& archive, const std::string& log) {
    std::error_code ec;
    fs::remove(archive, ec);
    std::vector<std::string> pack = {tc.shoebox, "pack", archive};
    if (!assets.empty()) pack.push_back(assets);
    if (assets.empty() || !fs::exists(fs::path(assets) / "Smalfont.bmp", ec)) pack.push_back(tc.font);
    return RunTool(pack, log) == 0 || Said(log);
}

bool AppendArchive(const Toolchain& tc, const std::string& program, const std::string& archive,
                   const std::string& log) {
    return RunTool({tc.shoebox, "append", program, archive}, log) == 0 || Said(log);
}

}  // namespace tvc
