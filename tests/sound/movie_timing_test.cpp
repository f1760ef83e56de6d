// Movies over time, as they are heard and seen: a child program plays the movie, its
// sound going through SDL's disk audio driver into a pipe that the test reads as it
// comes (every frame with the time it was heard), and it prints the time each picture
// went to the screen. Lengths are measured on the sound device's own time (a busy
// machine may run the driver a little slow); sound against picture on the one clock.
// The movies are made at build time by moviegen: the sync movies carry a low tone with
// a loud burst at every quarter second.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "support/harness.h"
#include "support/heard_sound.h"

namespace {

const std::string kMedia = TOLVANE_TEST_MEDIA;

std::string PipePath(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("tolvane-heard-" + std::to_string(getpid()) + "-" + name);
}

struct Played {
    ChildResult child;
    double begin = NAN, end = NAN, lengthMs = 0, result = -1;
    long long shown = 0, dropped = 0, passes = 0;
    // Movie time and platform clock when shown, of every picture (NaN: dropped).
    std::vector<std::pair<double, double>> pictures;

    // When the movie time `ms` was on the screen: the first picture shown at or after it,
    // less the difference.
    double ShownAt(double ms) const {
        for (const auto& [m, at] : pictures)
            if (m >= ms - 0.5 && !std::isnan(at)) return at - (m - ms);
        return NAN;
    }
    double FirstShown() const { return ShownAt(0); }
    double LastShown() const {
        for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
            if (!std::isnan(it->second)) return it->second;
        return NAN;
    }
};

Played Play(const std::string& movie, HeardSound& heard, std::vector<std::string> env = {}) {
    env.push_back("SDL_AUDIODRIVER=disk");
    env.push_back("SDL_DISKAUDIOFILE=" + heard.Path());
    env.push_back("MOVIE_FILE=" + kMedia + "/" + movie);
    Played p;
    p.child = RunScenario("movie-timed", env);
    heard.Finish();
    std::istringstream in(p.child.out);
    std::string word, key;
    while (in >> word) {
        if (word == "pic") {
            double m = 0;
            std::string at;
            in >> m >> at;
            p.pictures.push_back({m, at.find("nan") != std::string::npos ? NAN : std::stod(at)});
        } else if (word == "begin") {
            in >> p.begin;
        } else if (word == "end") {
            in >> p.end >> key >> p.result >> key >> p.shown >> key >> p.dropped >> key >> p.passes >> key >> p.lengthMs;
        }
    }
    return p;
}

// The device's frame heard when the movie time `ms` was on the screen.
size_t FrameOf(const Played& p, const HeardSound& heard, double ms) {
    return static_cast<size_t>(heard.FrameAt(p.ShownAt(ms)));
}

// Windows of 10 ms within the movie time [fromMs, toMs) quieter (or, `loud`, louder)
// than `threshold`.
int Windows(const Played& p, const HeardSound& heard, double fromMs, double toMs, double threshold, bool loud) {
    const size_t window = heard.Rate() / 100, end = FrameOf(p, heard, toMs);
    int n = 0;
    for (size_t f = FrameOf(p, heard, fromMs); f + window <= end; f += window)
        n += (heard.Loudness(f, window) > threshold) == loud;
    return n;
}
int QuietWindows(const Played& p, const HeardSound& heard, double fromMs, double toMs, double threshold) {
    return Windows(p, heard, fromMs, toMs, threshold, false);
}

constexpr int kBurstLevel = 32767 * 3 / 10;  // the bursts reach half of full scale, the tone a tenth
constexpr double kToneRms = 32767 * 0.1 * M_SQRT1_2;

// Each kind of movie that keeps its sound apart from its pictures (MPEG program streams
// with MPEG-1 and layer 2, MPEG-2 and AC-3; Ogg with Theora and Vorbis; 120 pictures a
// second) plays for its length, within 5 %, its sound without a break; the bursts (every
// quarter second) are heard within 40 ms of their pictures, the first one included: the
// sound starts with the first picture.
TEST(MovieTiming, EveryKindPlaysItsLengthWithSoundAndPictureTogether) {
    for (auto [movie, pictures] : {std::pair{"sync.mpg", 50}, {"sync.vob", 50}, {"sync.ogv", 50}, {"sync120.mkv", 240}}) {
        SCOPED_TRACE(movie);
        HeardSound heard(PipePath("matrix"));
        ASSERT_TRUE(heard.Ok());
        const Played p = Play(movie, heard);
        ASSERT_EQ(p.child.status, 0) << p.child.err;
        ASSERT_EQ(p.result, 0);
        ASSERT_FALSE(p.pictures.empty());
        EXPECT_EQ(p.shown + p.dropped, pictures);
        EXPECT_EQ(p.pictures.size(), static_cast<size_t>(pictures));
        EXPECT_NEAR(p.lengthMs, 2000, 50);
        const double first = p.FirstShown();
        const double played = (heard.FrameAt(p.end) - heard.FrameAt(first)) * 1000 / heard.Rate();
        EXPECT_NEAR(played, 2000, 2000 * 0.05);

        const std::vector<size_t> bursts =
            heard.Onsets(kBurstLevel, heard.Rate() / 10, static_cast<size_t>(heard.FrameAt(p.begin)));
        ASSERT_EQ(bursts.size(), 8u);
        std::vector<double> apart;
        for (size_t k = 0; k < bursts.size(); ++k) {
            EXPECT_NEAR(static_cast<double>(bursts[k] - bursts[0]) / heard.Rate(), 0.25 * k, 0.01);
            apart.push_back(std::fabs(p.ShownAt(250.0 * k) - heard.HeardAtMs(bursts[k])));
        }
        EXPECT_LT(apart[0], 100);
        // A busy machine may hold the program up now and then (once, for a burst).
        std::sort(apart.begin(), apart.end());
        EXPECT_LT(apart[apart.size() / 2], 40);
        EXPECT_LT(apart[apart.size() - 2], 150);
        // From the mixer's first block on, without a break (but for a moment, on a busy
        // machine).
        EXPECT_LE(QuietWindows(p, heard, 30, 1950, kToneRms / 2), 2);
    }
}

// A movie whose sound stops from 0.5 s to 2.2 s of its 3 s: the pictures go on at their
// pace through the silence, the sound comes back with its pictures, and the movie ends
// on time.
TEST(MovieTiming, ASilentStretchKeepsThePicturesAndTheClockGoing) {
    HeardSound heard(PipePath("gap"));
    ASSERT_TRUE(heard.Ok());
    const Played p = Play("gap.mkv", heard);
    ASSERT_EQ(p.child.status, 0) << p.child.err;
    ASSERT_GT(p.pictures.size(), 10u);
    EXPECT_EQ(p.shown + p.dropped, 75);
    const double played = (heard.FrameAt(p.end) - heard.FrameAt(p.FirstShown())) * 1000 / heard.Rate();
    EXPECT_NEAR(played, 3000, 3000 * 0.05);
    double longest = 0, before = p.FirstShown();
    for (const auto& [m, at] : p.pictures)
        if (!std::isnan(at)) longest = std::max(longest, at - before), before = at;
    EXPECT_LT(longest, 1000);  // no picture held through the silence (a busy machine may pause)

    EXPECT_EQ(QuietWindows(p, heard, 50, 450, kToneRms / 2), 0);
    EXPECT_EQ(QuietWindows(p, heard, 2250, 2950, kToneRms / 2), 0);
    EXPECT_EQ(Windows(p, heard, 600, 2100, 200, true), 0);  // silent
    const std::vector<size_t> back = heard.Onsets(static_cast<int>(kToneRms / 2), heard.Rate() / 2,
                                                  FrameOf(p, heard, 1000), FrameOf(p, heard, 2800));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_NEAR(p.ShownAt(2200) - heard.HeardAtMs(back[0]), 0, 50);
}

// A one-second movie followed by 256 MB of zeros (a file made in advance at its full
// size, or half downloaded) ends within a second of its last picture.
TEST(MovieTiming, AMovieFollowedByZerosEndsSoonAfterItsLastPicture) {
    HeardSound heard(PipePath("zeros"));
    ASSERT_TRUE(heard.Ok());
    const Played p = Play("zeros.mpg", heard);
    ASSERT_EQ(p.child.status, 0) << p.child.err;
    EXPECT_EQ(p.result, 0);
    ASSERT_FALSE(p.pictures.empty());
    EXPECT_EQ(p.shown + p.dropped, 25);
    EXPECT_LT(p.end - p.LastShown(), 1000);
}

// LOOPMOVIE of a damaged Matroska file whose index points into the middle of its
// clusters (a seek back to the start goes astray in it) repeats the whole movie: each
// pass opens the file afresh and has all of its ten pictures (shown, or dropped when a
// busy machine fell behind).
TEST(MovieTiming, LoopMovieRepeatsADamagedMatroskaWhole) {
    HeardSound heard(PipePath("loop"));
    ASSERT_TRUE(heard.Ok());
    const Played p = Play("damaged.mkv", heard, {"MOVIE_LOOP=1", "MOVIE_KEY=31", "MOVIE_AT=2800"});
    ASSERT_EQ(p.child.status, 0) << p.child.err;
    EXPECT_EQ(p.result, 0);
    ASSERT_GE(p.passes, 2);
    // A pass lasts a second (and the few milliseconds the sound runs on).
    std::vector<int> perPass(static_cast<size_t>(p.passes), 0);
    for (const auto& [m, at] : p.pictures) ++perPass[std::min(static_cast<size_t>(m / 1000), perPass.size() - 1)];
    for (size_t k = 0; k + 1 < perPass.size(); ++k) EXPECT_EQ(perPass[k], 10) << "pass " << k;
}

// Movie sound at 48 kHz sweeping from 16 kHz up to 23.5 kHz comes out of the 44.1 kHz
// device as it is while the device can carry it, and filtered away (not folded back as
// a tone) above 22.05 kHz.
TEST(MovieTiming, SoundAboveWhatTheDeviceCarriesIsFilteredNotFolded) {
    HeardSound heard(PipePath("sweep"));
    ASSERT_TRUE(heard.Ok());
    const Played p = Play("sweep.avi", heard);
    ASSERT_EQ(p.child.status, 0) << p.child.err;
    ASSERT_FALSE(p.pictures.empty());
    // The sweep is at 16 kHz + 5 kHz a second; the tone's loudness is 0.3 of full scale.
    const double full = 32767 * 0.3 * M_SQRT1_2;
    auto loudness = [&](double fromMs, double toMs) {
        const size_t a = FrameOf(p, heard, fromMs), b = FrameOf(p, heard, toMs);
        return heard.Loudness(a, b - a);
    };
    EXPECT_GT(loudness(100, 800), full * 0.7);    // 16.5 ... 20 kHz
    EXPECT_LT(loudness(1340, 1450), full * 0.05);  // 22.7 ... 23.25 kHz
}

}  // namespace
