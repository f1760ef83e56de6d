// Internal: reading RIFF wave files the way the sound slots take them: a fixed 36-byte head
// (channels, samples per second, block align and bits per sample at their usual
// places), 14 bytes skipped when the format chunk is not 16 bytes long, an optional
// "fact" chunk, then the "data" chunk. Any other chunk order is refused, and so is a
// head whose numbers do not describe 8- or 16-bit PCM, or a data chunk that the file
// does not hold.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct __WaveSound {
    int channels = 0;     // 1 or 2 (more channels in the file count as 2)
    int frequency = 0;    // samples per second
    int blockAlign = 0;
    int bits = 0;         // 8 or 16
    std::vector<uint8_t> samples;
};

// The sound of a wave file's bytes; false when they are not a wave file of that kind.
bool __ReadWave(std::span<const uint8_t> file, __WaveSound& out);
