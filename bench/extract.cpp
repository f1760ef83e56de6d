// Extracting a 20 MB archive entry through the archive lookup, against the bare
// work it stands on: lzo1x_decompress_safe of the same stream plus a plain write of
// the same bytes to a file, in the same run.
//
//   build/bench/bench_extract
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tolvane.h"
#include "files/archive_format.h"
#include "files/shoebox.h"
#include "platform/system.h"

namespace {

constexpr size_t kEntryBytes = 20u << 20;

struct Fixture {
    std::string archive, plain;
    std::vector<unsigned char> packed;  // the entry's stream
    Fixture() {
        std::vector<unsigned char> data(kEntryBytes);
        uint32_t x = 12345;
        for (size_t i = 0; i < data.size(); ++i) {
            x = x * 1103515245 + 12345;
            data[i] = static_cast<unsigned char>((i / 64) % 13 + ((x >> 24) & 3));  // compresses like game data
        }
        archive = plat::TempDir() + "tolvane-bench-" + std::to_string(getpid()) + ".sbx";
        plain = plat::TempDir() + "tolvane-bench-" + std::to_string(getpid()) + ".bin";
        FILE* f = std::fopen(archive.c_str(), "wb");
        __WriteArchive(f, {{"big.bin", data}}, false);
        std::fclose(f);
        f = std::fopen(archive.c_str(), "rb");
        std::vector<__ArchiveEntry> entries;
        std::fseek(f, 0, SEEK_END);
        __ReadArchiveDirectory(f, std::ftell(f), entries);
        packed.resize(static_cast<size_t>(entries[0].size));
        fseeko(f, entries[0].offset, SEEK_SET);
        if (std::fread(packed.data(), 1, packed.size(), f) != packed.size()) std::abort();
        std::fclose(f);
    }
    ~Fixture() {
        std::remove(archive.c_str());
        std::remove(plain.c_str());
    }
};

Fixture& Data() {
    static Fixture f;
    return f;
}

void BM_Resolve(benchmark::State& state) {
    KWShoeBox box;
    box.SetArchive(Data().archive.c_str());
    for (auto _ : state) {
        DQStr name("big.bin");
        if (!box.Resolve(name)) state.SkipWithError("lookup failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kEntryBytes));
}

void BM_DecompressAndWrite(benchmark::State& state) {
    const std::vector<unsigned char>& s = Data().packed;
    std::vector<unsigned char> out(kEntryBytes);
    lzo_init();
    for (auto _ : state) {
        lzo_uint n = out.size();
        lzo1x_decompress_safe(s.data() + 4, s.size() - 4, out.data(), &n, nullptr);
        FILE* f = std::fopen(Data().plain.c_str(), "wb");
        std::fwrite(out.data(), 1, n, f);
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kEntryBytes));
}

}  // namespace

BENCHMARK(BM_Resolve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecompressAndWrite)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
