// Movie files: the decoder driven as the player drives it. Opened within tight limits,
// read ahead packet by packet with the sound taken as it comes and the pictures let
// wait (a bounded number), then taken: converted at the shown size and at odd small
// sizes; then back to the start (the file opened afresh) and read again. Every byte of
// every picture and sound block handed out is read, so that the sanitizers see any that
// lies outside its buffer or was never written.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "input_file.h"
#include "platform/movie_decoder.h"

namespace {

constexpr size_t kPicturesWaiting = 12;
constexpr int kMostPackets = 300;

unsigned g_sink = 0;

void TakeOne(plat::MovieDecoder& d, int round) {
    // The shown size (within reason) and small sizes that are not multiples of anything.
    int w = std::min(d.DisplayWidth(), 320), h = std::min(d.DisplayHeight(), 240);
    if (round % 3 == 1) w = 17, h = 9;
    if (round % 3 == 2) w = 3, h = 31;
    const uint8_t* rgba = d.TakePicture(w, h);
    if (!rgba) return;
    for (size_t i = 0; i < static_cast<size_t>(w) * h * 4; ++i) g_sink += rgba[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz::WriteInput(data, size);
    plat::MovieLimits limits;
    limits.maxWidth = limits.maxHeight = 2048;
    limits.maxPixels = 640 * 480;
    limits.probeBytes = 1 << 20;
    limits.probeMicroseconds = 2000000;
    limits.readBudgetMs = 2000;
    limits.openBudgetMs = 5000;
    plat::MovieDecoder d;
    d.SetSoundRate(44100);
    if (!d.Open(path, limits)) return 0;
    if (d.Width() < 1 || d.Height() < 1 || d.DisplayWidth() < 1 || d.DisplayHeight() < 1 ||
        d.DisplayWidth() > limits.maxWidth || d.DisplayHeight() > limits.maxHeight)
        std::abort();
    if (d.HasSound() && (d.SoundRate() != 44100 || (d.SoundChannels() != 1 && d.SoundChannels() != 2)))
        std::abort();
    std::vector<int16_t> sound;
    int round = 0;
    for (int pass = 0; pass < 2; ++pass) {
        double lastPicture = -1;
        for (int packets = 0; packets < kMostPackets && d.ReadPacket(); ++packets) {
            double ms = 0;
            while (d.TakeSound(sound, ms)) {
                if (!std::isfinite(ms) || ms < 0 || sound.size() % static_cast<size_t>(d.SoundChannels())) std::abort();
                for (int16_t s : sound) g_sink += static_cast<unsigned>(s);
            }
            while (d.PicturesWaiting() > kPicturesWaiting) {
                // Pictures come in time order, never back.
                if (!(d.NextPictureMs() >= lastPicture)) std::abort();
                lastPicture = d.NextPictureMs();
                TakeOne(d, round++);
            }
        }
        while (d.PicturesWaiting() > 0) TakeOne(d, round++);
        if (!std::isfinite(d.DecodedEndMs())) std::abort();
        if (pass == 0 && !d.Rewind()) break;
    }
    return 0;
}
