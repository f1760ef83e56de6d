// The time tolvanec takes to translate Stackmoor's BASIC program (game/stackmoor.bas and
// its includes) into C++: reading the files, parsing, checking against the command
// table and writing the C++ and the entry point. The C++ compile is not part of it.
//
//   build/bench/bench_translate
//
// The goal: under 50 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "emit.h"
#include "front.h"

namespace {

void TranslateStackmoor(benchmark::State& state) {
    const std::string source = TOLVANE_SOURCE_DIR "/game/stackmoor.bas";
    size_t lines = 0, bytes = 0;
    for (auto _ : state) {
        std::string text, entry;
        if (!tvc::ReadTextFile(source, text)) {
            state.SkipWithError("cannot read game/stackmoor.bas");
            return;
        }
        const auto a = tvc::Analyze(source, text, tvc::ReadTextFile);
        if (a->diag.Count() != 0) {
            state.SkipWithError(a->diag.Text().c_str());
            return;
        }
        tvc::Settings settings = tvc::Settings::Defaults("stackmoor");
        settings.Apply(a->program.settings);
        const std::string cpp = tvc::EmitCpp(a->program, settings, &entry);
        benchmark::DoNotOptimize(cpp.data());
        lines = bytes = 0;
        for (const tvc::SourceFile& f : a->program.sources.files) {
            bytes += f.text.size();
            for (char c : f.text) lines += c == '\n';
        }
    }
    state.counters["source_lines"] = static_cast<double>(lines);
    state.counters["source_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(TranslateStackmoor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
