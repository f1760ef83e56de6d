#include "sound/wave_file.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct File {
    FILE* f;
    explicit File(const char* path) : f(std::fopen(path, "rb")) {}
    ~File() {
        if (f) std::fclose(f);
    }
};

}  // namespace

bool __ReadWave(const char* path, __WaveSound& out) {
    out = __WaveSound{};
    File file(path);
    if (!file.f) return false;
    FILE* f = file.f;
    if (std::fseek(f, 0, SEEK_END) != 0) return false;
    const long size = std::ftell(f);
    std::rewind(f);

    uint8_t head[36];
    if (std::fread(head, 1, 36, f) != 36) return false;
    const uint32_t formatLength = Le32(head + 16);
    const int channels = Le16(head + 22);
    const uint32_t frequency = Le32(head + 24);
    const int blockAlign = Le16(head + 32);
    const int bits = Le16(head + 34);
    if (formatLength != 16 && std::fseek(f, 14, SEEK_CUR) != 0) return false;

    uint8_t chunk[8];
    if (std::fread(chunk, 1, 8, f) != 8) return false;
    if (std::memcmp(chunk, "fact", 4) == 0) {
        const uint32_t skip = Le32(chunk + 4);
        if (skip > static_cast<uint32_t>(size) || std::fseek(f, static_cast<long>(skip), SEEK_CUR) != 0) return false;
        if (std::fread(chunk, 1, 8, f) != 8) return false;
    }
    if (std::memcmp(chunk, "data", 4) != 0) return false;
    const uint32_t length = Le32(chunk + 4);

    // The numbers of the head describe the sample buffer: only 8- and 16-bit PCM of
    // one or two channels (more are taken as two) at a sane rate, blocks of whole
    // samples, and data that is really there.
    const int outChannels = channels > 1 ? 2 : 1;
    if (channels < 1 || (bits != 8 && bits != 16)) return false;
    if (frequency < 1000 || frequency > 384000) return false;
    if (blockAlign != outChannels * bits / 8) return false;
    const long at = std::ftell(f);
    if (at < 0 || length > static_cast<uint32_t>(size - at)) return false;

    out.samples.resize(length - length % blockAlign);
    if (!out.samples.empty() && std::fread(out.samples.data(), 1, out.samples.size(), f) != out.samples.size())
        return false;
    out.channels = outChannels;
    out.frequency = static_cast<int>(frequency);
    out.blockAlign = blockAlign;
    out.bits = bits;
    return true;
}
