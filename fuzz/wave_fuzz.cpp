// Wave files: the chunk walk and head checks behind LOADSOUND. A sound that reads
// must describe whole blocks of 8- or 16-bit samples in one or two channels.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sound/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    __WaveSound wave;
    if (!__ReadWave(std::span(data, size), wave)) return 0;
    if (wave.channels < 1 || wave.channels > 2 || (wave.bits != 8 && wave.bits != 16)) std::abort();
    if (wave.blockAlign < 1 || wave.samples.size() % wave.blockAlign != 0 || wave.samples.size() > size) std::abort();
    return 0;
}
