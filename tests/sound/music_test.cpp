// Music as the mixer plays it (SDL's disk audio driver writes the output to a file): the
// repeats of every kind, sound of rates the device cannot carry, and files that are found
// but cannot be played. The music files are made at build time by moviegen.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "platform/window.h"
#include "sound/music.h"
#include "support/audio.h"
#include "support/harness.h"

namespace {

const std::string kMedia = TOLVANE_TEST_MEDIA;

// Plays each file for a second and a half (by frames) with a third of a second of
// silence after it, and gives the left channel of what was heard.
std::vector<int16_t> PlayEach(const std::vector<std::string>& files, std::string* out = nullptr) {
    TempDir dir;
    std::string list;
    for (const std::string& f : files) list += (list.empty() ? "" : ";") + f;
    const std::string mix = dir / "mix.raw";
    const ChildResult r =
        RunScenario("snd-music-kinds", {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + mix, "SND_FILES=" + list});
    EXPECT_EQ(r.status, 0);
    if (out) *out = r.out;
    return ReadMixLeft(mix);
}

// The stretches of sound [first, end) (quiet for more than 100 ms between them).
std::vector<std::pair<size_t, size_t>> Stretches(const std::vector<int16_t>& s) {
    std::vector<std::pair<size_t, size_t>> out;
    size_t first = 0, last = 0;
    bool in = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) < 300) continue;
        if (in && i - last > kMixRate / 10) {
            out.push_back({first, last + 1});
            in = false;
        }
        if (!in) first = i, in = true;
        last = i;
    }
    if (in) out.push_back({first, last + 1});
    return out;
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t n) {
    double sum = 0;
    for (size_t i = from; i < from + n && i < s.size(); ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(n));
}

// The amplitude (of full scale) of the frequency `hz` in [from, from + n).
double Amplitude(const std::vector<int16_t>& s, size_t from, size_t n, double hz) {
    const double w = 2 * M_PI * hz / kMixRate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + n && i < s.size(); ++i) {
        const double s0 = s[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) * 2 / static_cast<double>(n) / 32767;
}

// WAV, FLAC, Ogg Vorbis and MP3: a half-second piece of a 440 Hz tone (a whole number of
// its waves) repeats for as long as it plays with neither a gap nor a jump: from one
// upward zero crossing to the next is one wave all the way through.
TEST(MusicKinds, EveryKindRepeatsWithoutASeam) {
    TempDir dir;
    const std::string wav = WriteText(dir / "tone.wav", WaveBytes({.channels = 2, .frequency = 44100, .seconds = 0.5}));
    std::string out;
    const std::vector<int16_t> heard =
        PlayEach({wav, kMedia + "/tone.flac", kMedia + "/tone.ogg", kMedia + "/tone.mp3"}, &out);
    EXPECT_EQ(out, "play 0\nplay 0\nplay 0\nplay 0\n");
    const auto stretches = Stretches(heard);
    ASSERT_EQ(stretches.size(), 4u);
    const char* kinds[] = {"WAV", "FLAC", "Ogg Vorbis", "MP3"};
    for (size_t k = 0; k < stretches.size(); ++k) {
        const auto [a, b] = stretches[k];
        EXPECT_GT(b - a, static_cast<size_t>(kMixRate * 1.2)) << kinds[k];  // two repeats at least
        size_t previous = 0;
        int seams = 0;
        for (size_t i = a + 1; i < b; ++i) {
            if (!(heard[i - 1] < 0 && heard[i] >= 0)) continue;
            if (previous && std::fabs(static_cast<double>(i - previous) - kMixRate / 440.0) > 3) ++seams;
            previous = i;
        }
        EXPECT_EQ(seams, 0) << kinds[k];
    }
}

// Music at 48 kHz sweeping from 16 kHz to 23.5 kHz comes out of the 44.1 kHz device as it
// is up to 20 kHz, and filtered away (not folded back) above 22.05 kHz. A 15 kHz tone at
// the device's rate is heard as itself, with nothing at 7050 Hz.
TEST(MusicKinds, SoundTheDeviceCannotCarryIsFilteredNotFolded) {
    const std::vector<int16_t> heard = PlayEach({kMedia + "/sweep.wav", kMedia + "/tone15k.wav"});
    const auto stretches = Stretches(heard);
    ASSERT_EQ(stretches.size(), 2u);
    const double full = 32767 * 0.3 * M_SQRT1_2;
    const size_t sweep = stretches[0].first, ms = kMixRate / 1000;
    EXPECT_GT(Rms(heard, sweep + 100 * ms, 600 * ms), full * 0.9);  // 16.5 ... 19.5 kHz
    EXPECT_LT(Rms(heard, sweep + 1240 * ms, 220 * ms), full * 0.02);  // 22.2 ... 23.3 kHz
    const size_t tone = stretches[1].first + 100 * ms;
    EXPECT_NEAR(Amplitude(heard, tone, 400 * ms, 15000), 0.3, 0.03);
    EXPECT_LT(Amplitude(heard, tone, 400 * ms, 7050), 0.003);
}

// A name found nowhere gives 3; a file that is found but is no music it can play (text
// named .mid, a MIDI file cut short, a wave file without a single sample) gives 0 and
// plays nothing, and is not tried again frame after frame.
TEST(Music, FoundButUnplayableFilesPlayNothing) {
    StartRuntimeOnce();
    TempDir dir;
    std::string cut = std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0B\0\xC0\0\0\x90\x3C\x6E", 29);
    const std::vector<std::string> files = {WriteText(dir / "junk.mid", "not music at all"),
                                            WriteText(dir / "cut.mid", cut),
                                            WriteText(dir / "empty.wav", WaveBytes({.seconds = 0}))};
    EXPECT_EQ(PLAYMUSIC(DQStr((dir / "missing.mid").c_str())), 3);
    for (const std::string& f : files) {
        EXPECT_EQ(PLAYMUSIC(DQStr(f.c_str())), 0) << f;
        EXPECT_FALSE(__MusicActive()) << f;
        const double now = plat::ClockMs();
        for (int frame = 0; frame < 150; ++frame) __MusicRepeatCheck(now + frame * 1000.0 / 60);
        EXPECT_EQ(__MusicStarts(), 0) << f;
    }
    STOPMUSIC();

    std::string out;
    const std::vector<int16_t> heard = PlayEach(files, &out);
    EXPECT_EQ(out, "play 0\nplay 0\nplay 0\n");
    EXPECT_TRUE(Stretches(heard).empty());
}

}  // namespace
