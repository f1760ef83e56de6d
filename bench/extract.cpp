// A 20 MB archive entry through the archive lookup, against the bare work it stands
// on, in the same run: fetching its bytes as the loaders do against
// lzo1x_decompress_safe of the same stream, and extracting it to a file as music and
// movies need it against the same plus a plain write of the bytes to a file.
//
//   build/bench/bench_extract
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tolvane.h"
#include "core/byte_io.h"
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
        ByteWriter bytes;
        if (!__WriteArchive({{"big.bin", data}}, 0, false, bytes)) std::abort();
        FILE* f = std::fopen(archive.c_str(), "wb");
        if (!f || std::fwrite(bytes.Data().data(), 1, bytes.Size(), f) != bytes.Size() || std::fclose(f) != 0)
            std::abort();
        std::vector<__ArchiveEntry> entries;
        const __ArchiveSource source(bytes.Data());
        if (!__ReadArchiveDirectory(source, entries) || !source.Read(entries[0].offset, entries[0].size, packed))
            std::abort();
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

void BM_Fetch(benchmark::State& state) {
    KWShoeBox box;
    box.SetArchive(Data().archive.c_str());
    for (auto _ : state) {
        std::vector<uint8_t> bytes;  // a loader's own, as LOADSPRITE has
        if (box.Fetch("big.bin", bytes) != __Found::Bytes) state.SkipWithError("lookup failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kEntryBytes));
}

void BM_Decompress(benchmark::State& state) {
    const std::vector<unsigned char>& s = Data().packed;
    std::vector<unsigned char> out(kEntryBytes);
    lzo_init();
    for (auto _ : state) {
        lzo_uint n = out.size();
        lzo1x_decompress_safe(s.data() + 4, s.size() - 4, out.data(), &n, nullptr);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kEntryBytes));
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

BENCHMARK(BM_Fetch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resolve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecompressAndWrite)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
