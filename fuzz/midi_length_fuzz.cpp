// MIDI files (plain or in a RIFF "RMID" wrapper): the chunk and event walk and the
// tempo map behind the music's playing length. The result is a length in seconds or
// negative for "unknown", never NaN.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "sound/midi_length.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const double seconds = __MidiLengthSeconds(data, size);
    if (std::isnan(seconds)) std::abort();
    return 0;
}
