#include "sound/wave_file.h"

#include <cstring>

#include "core/byte_io.h"

bool __ReadWave(std::span<const uint8_t> file, __WaveSound& out) {
    out = __WaveSound{};
    ByteReader r(file);
    const uint8_t* head = r.Bytes(36);
    if (!head) return false;
    const uint32_t formatLength = Le32(head + 16);
    const int channels = Le16(head + 22);
    const uint32_t frequency = Le32(head + 24);
    const int blockAlign = Le16(head + 32);
    const int bits = Le16(head + 34);
    if (formatLength != 16 && !r.Skip(14)) return false;

    const uint8_t* chunk = r.Bytes(4);
    uint32_t length = r.U32();
    if (chunk && std::memcmp(chunk, "fact", 4) == 0) {
        r.Skip(length);
        chunk = r.Bytes(4);
        length = r.U32();
    }
    if (!r.Ok() || std::memcmp(chunk, "data", 4) != 0) return false;

    // The numbers of the head describe the sample buffer: only 8- and 16-bit PCM of
    // one or two channels (more are taken as two) at a sane rate, blocks of whole
    // samples, and data that is really there.
    const int outChannels = channels > 1 ? 2 : 1;
    if (channels < 1 || (bits != 8 && bits != 16)) return false;
    if (frequency < 1000 || frequency > 384000) return false;
    if (blockAlign != outChannels * bits / 8) return false;
    if (length > r.Left()) return false;

    const uint8_t* samples = r.Bytes(length - length % blockAlign);
    out.samples.assign(samples, samples + (length - length % blockAlign));
    out.channels = outChannels;
    out.frequency = static_cast<int>(frequency);
    out.blockAlign = blockAlign;
    out.bits = bits;
    return true;
}
