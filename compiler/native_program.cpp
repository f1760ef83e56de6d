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
    std::vector<std::string> rest = {source, "-o", program, tc.lib};
    rest.insert(rest.end(), tc.linkFlags.begin(), tc.linkFlags.end());
    if (!CompileTranslation(tc, CompileFlags(tc, debug), rest, log)) {
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
