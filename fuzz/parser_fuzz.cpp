// BASIC programs for tolvanec's front end: any text is parsed and checked, and when it
// has no errors it is translated; errors must be reported, never a crash or a hang.
// INCLUDE finds no files here.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "emit.h"
#include "front.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto a = tvc::Analyze("fuzz.bas", text, [](const std::string&, std::string&) { return false; });
    if (a->diag.Count() > 0) {
        if (a->diag.Text().empty()) std::abort();
        return 0;
    }
    tvc::Settings settings = tvc::Settings::Defaults("fuzz");
    settings.Apply(a->program.settings);
    if (tvc::EmitCpp(a->program, settings).find("__MainGameSub_") == std::string::npos) std::abort();
    return 0;
}
