// A program for the desktop (native_program.h).
#include "native_program.h"

#include <cstdio>

#include "asset_pack.h"
#include "front.h"
#include "precompiled.h"
#include "tool_run.h"

namespace tvc {

bool MakeNativeProgram(const Toolchain& tc, const std::string& cpp, bool debug, const std::string& assets,
                       const std::string& program, const std::string& work) {
    const std::string source = work + "/program.cpp", log = work + "/cxx.log";
    if (!WriteTextFile(source, cpp)) return false;
    const std::vector<std::string> flags = CompileFlags(tc, debug);
    const std::vector<std::string> pch = PrecompiledHeaderFlags(tc, flags);
    auto compile = [&](bool withPch) {
        std::vector<std::string> cmd = {tc.compiler};
        cmd.insert(cmd.end(), flags.begin(), flags.end());
        if (withPch) cmd.insert(cmd.end(), pch.begin(), pch.end());
        cmd.insert(cmd.end(), {"-I", tc.include, source, "-o", program, tc.lib});
        cmd.insert(cmd.end(), tc.linkFlags.begin(), tc.linkFlags.end());
        return RunTool(cmd, log) == 0;
    };
    // A precompiled header that another build has just replaced is no reason to fail.
    if (!(!pch.empty() && compile(true)) && !compile(false)) {
        std::string text;
        ReadTextFile(log, text);
        std::fprintf(stderr,
                     "tolvanec: internal error: the C++ compiler refused the translated program.\n"
                     "This is a fault of tolvanec, not of the program; please report it with the program.\n%s",
                     text.c_str());
        return false;
    }
    const std::string archive = work + "/assets.sbx";
    return PackArchive(tc, assets, archive, work + "/pack.log") &&
           AppendArchive(tc, program, archive, work + "/pack.log");
}

}  // namespace tvc
