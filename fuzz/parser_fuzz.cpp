// BASIC programs for tolvanec's front end: any text is parsed and checked, and when it
// has no errors it is translated; errors must be reported, never a crash or a hang.
// INCLUDE finds no files here.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "emit.h"
#include "front.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    tvc::Program program;
    tvc::Diagnostics diag(program.sources);
    tvc::Parse(program, "fuzz.bas", text, [](const std::string&, std::string&) { return false; }, diag);
    if (diag.Count() == 0) tvc::Check(program, tvc::CommandTable::BuiltIn(), diag);
    if (diag.Count() > 0) {
        if (diag.Text().empty()) std::abort();
        return 0;
    }
    tvc::BuildSettings settings;
    if (tvc::EmitCpp(program, tvc::ResolveSettings(program.settings, settings)).find("__MainGameSub_") ==
        std::string::npos)
        std::abort();
    return 0;
}
