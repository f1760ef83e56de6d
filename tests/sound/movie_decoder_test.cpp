// The movie decoder behind PLAYMOVIE, on the movies the build makes: the shown size, the
// sound at the device's rate in blocks that carry their time, the reading of a file
// that runs on in zeros, and the hook that answers events while the libraries read.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/movie_decoder.h"
#include "platform/window.h"

namespace {

const std::string kMedia = TOLVANE_TEST_MEDIA;

// Reads the whole movie, dropping its pictures; the sound frames it gave.
size_t ReadAll(plat::MovieDecoder& d) {
    std::vector<int16_t> sound;
    double ms = 0;
    size_t frames = 0;
    while (d.ReadPacket()) {
        while (d.PicturesWaiting() > 0) d.DropPicture();
        while (d.TakeSound(sound, ms)) frames += sound.size() / static_cast<size_t>(d.SoundChannels());
    }
    return frames;
}

TEST(MovieDecoder, ShownSizeFollowsPixelAspectAndRotation) {
    plat::MovieDecoder d;
    ASSERT_TRUE(d.Open(kMedia + "/wide.vob"));
    EXPECT_EQ(std::tuple(d.Width(), d.Height(), d.DisplayWidth(), d.DisplayHeight(), d.Rotation()),
              std::tuple(720, 576, 1024, 576, 0));
    ASSERT_TRUE(d.Open(kMedia + "/turned.mp4"));
    EXPECT_EQ(std::tuple(d.Width(), d.Height(), d.DisplayWidth(), d.DisplayHeight(), d.Rotation()),
              std::tuple(160, 90, 90, 160, 90));
    ASSERT_TRUE(d.Open(kMedia + "/m320x240.avi"));
    EXPECT_EQ(std::tuple(d.DisplayWidth(), d.DisplayHeight(), d.Rotation()), std::tuple(320, 240, 0));
}

// Sound of 48 kHz comes out at the rate asked for, whole, in blocks whose times follow
// each other; a stretch without sound shows as a leap in the blocks' times.
TEST(MovieDecoder, SoundComesAtTheDevicesRateInTimedBlocks) {
    plat::MovieDecoder d;
    d.SetSoundRate(44100);
    ASSERT_TRUE(d.Open(kMedia + "/sweep.avi"));
    ASSERT_TRUE(d.HasSound());
    EXPECT_EQ(std::pair(d.SoundRate(), d.SoundChannels()), std::pair(44100, 2));
    EXPECT_NEAR(static_cast<double>(ReadAll(d)), 1.5 * 44100, 200);

    ASSERT_TRUE(d.Open(kMedia + "/gap.mkv"));
    std::vector<int16_t> sound;
    double ms = 0, end = 0, longest = 0, leapAt = -1;
    while (d.ReadPacket()) {
        while (d.PicturesWaiting() > 0) d.DropPicture();
        while (d.TakeSound(sound, ms)) {
            EXPECT_GE(ms, end - 1);
            if (ms - end > longest) longest = ms - end, leapAt = ms;
            end = ms + 1000.0 * static_cast<double>(sound.size() / 2) / d.SoundRate();
        }
    }
    EXPECT_NEAR(longest, 1700, 30);  // no sound from 0.5 s to 2.2 s
    EXPECT_NEAR(leapAt, 2200, 30);
    EXPECT_NEAR(end, 3000, 30);
    EXPECT_NEAR(d.DecodedEndMs(), 3000, 30);
}

// A one-second movie followed by 256 MB of zeros: the read that runs into the zeros ends
// the file once it has gone through its budget (4 MB, or 0.7 s), not after 256 MB, and
// the hook runs meanwhile. A hook that says stop ends the reading at its first call.
TEST(MovieDecoder, ZerosEndTheFileWithinTheBudgetAndTheHookRunsMeanwhile) {
    plat::MovieDecoder d;
    int calls = 0;
    d.SetReadHook([&] { return ++calls > 0; });
    ASSERT_TRUE(d.Open(kMedia + "/zeros.mpg"));
    const double t0 = plat::ClockMs();
    ReadAll(d);
    EXPECT_LT(plat::ClockMs() - t0, 5000);  // reading all of it took 20 s and more
    EXPECT_TRUE(d.Ended());
    EXPECT_NEAR(d.DecodedEndMs(), 1000, 30);

    plat::MovieDecoder stopped;
    bool stop = false;
    calls = 0;
    stopped.SetReadHook([&] {
        ++calls;
        return !stop;
    });
    ASSERT_TRUE(stopped.Open(kMedia + "/zeros.mpg"));
    stop = true;
    calls = 0;
    ReadAll(stopped);
    EXPECT_TRUE(stopped.Ended());
    EXPECT_LE(calls, 1);
}

}  // namespace
