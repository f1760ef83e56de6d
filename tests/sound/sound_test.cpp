#include <algorithm>
#include <cmath>

#include "platform/audio.h"
#include "platform/window.h"
#include "sound/midi_length.h"
#include "sound/music.h"
#include "sound/sfx_sound.h"
#include "sound/wave_file.h"
#include "support/audio.h"
#include "support/harness.h"

namespace {

TEST(WaveReader, AcceptsPlainFactAndExtendedHeadsRefusesOtherChunksAndAbsurdHeads) {
    __WaveSound w;
    auto bytes = [](const std::string& b) { return std::span(reinterpret_cast<const uint8_t*>(b.data()), b.size()); };
    auto read = [&](const WaveSpec& spec) { return __ReadWave(bytes(WaveBytes(spec)), w); };
    ASSERT_TRUE(read({}));
    EXPECT_EQ(std::tuple(w.channels, w.frequency, w.samples.size()), std::tuple(1, 22050, 4410u * 2));
    ASSERT_TRUE(read({.channels = 2, .frequency = 44100}));
    EXPECT_EQ(std::pair(w.frequency, w.blockAlign), std::pair(44100, 4));
    EXPECT_TRUE(read({.formatLength = 18, .fact = true}));
    EXPECT_TRUE(read({.bits = 8}));
    for (const WaveSpec& bad : {WaveSpec{.list = true}, WaveSpec{.channels = 0, .blockAlign = 2},
                                WaveSpec{.bits = 12, .blockAlign = 2}, WaveSpec{.blockAlign = 7},
                                WaveSpec{.frequency = 0}, WaveSpec{.dataLength = 0xFFFFFFF0}})
        EXPECT_FALSE(read(bad)) << bad.channels << " " << bad.bits << " " << bad.blockAlign << " " << bad.frequency;
    EXPECT_FALSE(__ReadWave(bytes(WaveBytes({}).substr(0, 30)), w));
    EXPECT_FALSE(__ReadWave({}, w));
}

// Copies are clamped to 1 ... 4 and slot numbers to 0 ... 127; a file found nowhere
// leaves the slot, an unreadable one empties it. A single copy drops a request while
// it plays; more copies take turns, the one after the last cutting off the first.
TEST(SoundSlots, CopiesAndSlotNumbers) {
    StartRuntimeOnce();
    if (!pDXsnd->IsOpen()) GTEST_SKIP() << "no sound device";
    TempDir dir;
    const DQStr file(WriteText(dir / "long.wav", WaveBytes({.seconds = 3})).c_str());
    for (auto [copies, kept] : {std::pair{0.0, 1}, {9, 4}}) {
        LOADSOUND(file, 5, copies);
        EXPECT_EQ(DXwav[5].CopyCount(), kept);
    }
    LOADSOUND(file, 200, 2);
    EXPECT_EQ(DXwav[127].CopyCount(), 2);
    PLAYSOUND(300, 0, 1);
    EXPECT_TRUE(DXwav[127].CopyPlaying(0));
    LOADSOUND(DQStr((dir / "missing.wav").c_str()), 5, 1);
    EXPECT_EQ(DXwav[5].CopyCount(), 4);
    LOADSOUND(DQStr(WriteText(dir / "list.wav", WaveBytes({.list = true})).c_str()), 5, 1);
    EXPECT_EQ(DXwav[5].CopyCount(), 0);
    PLAYSOUND(5, 0, 1);
    EXPECT_FALSE(DXwav[5].CopyPlaying(0));
    PLAYSOUND(-1, 0, 1);  // no slot below 0: nothing
    LOADSOUND(file, 10, 1);
    PLAYSOUND(10, 0, 1);
    EXPECT_TRUE(DXwav[10].CopyPlaying(0));
    EXPECT_FALSE(DXwav[10].Play(0, 1));
    LOADSOUND(file, 11, 3);
    for (int c = 0; c < 3; ++c) PLAYSOUND(11, 0, 1);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(DXwav[11].CopyPlaying(c));
    EXPECT_TRUE(DXwav[11].Play(0, 1));
    HUSH();
    for (int c = 0; c < 3; ++c) EXPECT_FALSE(DXwav[11].CopyPlaying(c));
}

std::string MidiBytes(uint16_t division, const std::string& track) {
    return std::string("MThd\0\0\0\6\0\0\0\1", 12) + char(division >> 8) + char(division) + "MTrk" +
           std::string("\0\0\0", 3) + char(track.size()) + track;
}

// A format-0 MIDI file: one piano note (middle C) held for half a second or a second at 120 bpm.
std::string Note(bool whole) {
    return MidiBytes(96, std::string("\0\xC0\0\0\x90\x3C\x6E", 7) + (whole ? "\x81\x40" : "\x60") +
                             std::string("\x80\x3C\0\0\xFF\x2F\0", 7));
}

TEST(Music, RefusedNamesLengthsAndTheRestartWithinAFrameOfThePiecesEnd) {
    StartRuntimeOnce();
    TempDir dir;
    for (const std::string& name : {std::string(), std::string("/nonexistent/music.mid")})
        EXPECT_EQ(PLAYMUSIC(DQStr(name.c_str())), 3) << name;
    EXPECT_FALSE(__MusicActive());
    // Found but not music: the command succeeds, and nothing plays.
    EXPECT_EQ(PLAYMUSIC(DQStr(WriteText(dir / "junk.mid", "not music at all").c_str())), 0);
    EXPECT_FALSE(__MusicActive());
    STOPMUSIC();
    // 96 ticks a quarter: 192 ticks at 120 bpm, then 96 ticks at 60 bpm: two seconds.
    std::string midi = MidiBytes(96, std::string("\0\xFF\x51\3\x07\xA1\x20"  // 500000 us a quarter
                                                 "\0\x90\x3C\x64" "\x81\x40\x80\x3C\0"  // 192 ticks later
                                                 "\0\xFF\x51\3\x0F\x42\x40"  // 1000000 us a quarter
                                                 "\0\x90\x3E\x64" "\x60\x3E\0"  // running status, 96 ticks later
                                                 "\0\xFF\x2F\0", 34));
    auto seconds = [](const std::string& m, size_t n) {
        return __MidiLengthSeconds(reinterpret_cast<const uint8_t*>(m.data()), n);
    };
    EXPECT_DOUBLE_EQ(seconds(midi, midi.size()), 2.0);
    for (size_t n = 0; n < midi.size(); ++n) EXPECT_LT(seconds(midi, n), 0) << n;
    midi[23] = 0x20;  // the first event: a data byte with no status before it
    EXPECT_LT(seconds(midi, midi.size()), 0);
    // 25 frames of 40 ticks a second, whatever the tempo: 1500 ticks are 1.5 seconds.
    const std::string smpte = MidiBytes(0xE728, std::string("\0\xFF\x51\3\x0F\x42\x40\x8B\x5C\xFF\x2F\0", 12));
    EXPECT_DOUBLE_EQ(seconds(smpte, smpte.size()), 1.5);
    EXPECT_DOUBLE_EQ(seconds(Note(true), Note(true).size()), 1.0);
    if (!pDXsnd->IsOpen() || plat::MusicSoundFont().empty()) GTEST_SKIP() << "no sound device or soundfont";
    const double before = plat::ClockMs();
    ASSERT_EQ(PLAYMUSIC(DQStr(WriteText(dir / "second.mid", Note(true)).c_str())), 0);
    const double after = plat::ClockMs();
    // The synthesizer still sounds the last note for seconds; the piece itself is one
    // second long and starts again in the frame after that second, timed anew.
    const long starts = __MusicStarts();
    for (auto [at, restarts] : {std::pair{before + 990, 0}, {after + 1001, 1}, {after + 1991, 1}, {after + 2001, 2}}) {
        __MusicRepeatCheck(at);
        EXPECT_EQ(__MusicStarts(), starts + restarts) << at - after;
    }
    STOPMUSIC();
}

Mix Play(const std::string& scenario, const std::string& name, const std::string& sound, int ms) {
    TempDir dir;
    const std::string mix = dir / "mix.raw", file = WriteText(dir / name, sound);
    ChildResult r = RunScenario(scenario, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + mix, "SND_FILE=" + file});
    EXPECT_EQ(r.status, 0) << scenario;
    Mix m = ReadMix(mix, ms);
    m.out = r.out;
    return m;
}

// Pan, overlapping copies, HUSH and the music, as the mixer plays them.
TEST(SoundOutput, PanCopiesHushAndMusic) {
    Mix m = Play("snd-pan", "beep.wav", WaveBytes({}), 50);
    std::vector<int> left = Loud(m.left), right = Loud(m.right);
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    EXPECT_LT(left.back(), right.front());  // heard left first, then right, each on one side only
    for (int i : left) EXPECT_LT(m.right[i], 100) << "window " << i;
    for (int i : right) EXPECT_LT(m.left[i], 100) << "window " << i;
    // One copy alone, then three started a frame apart: a steady level, so the copies add
    // up however the frames fall on the mixer's blocks.
    m = Play("snd-copies", "level.wav", WaveBytes({.seconds = 0.4, .amplitude = 0.2, .steady = true}), 20);
    std::vector<int> loud = Loud(m.left);
    ASSERT_GT(loud.size(), 3u);
    const double alone = m.left[loud.front() + 2];  // inside the first copy's 0.4 s
    EXPECT_GT(*std::max_element(m.left.begin(), m.left.end()), alone * 2.5);  // three copies together
    m = Play("snd-hush", "long.wav", WaveBytes({.seconds = 3}), 50);
    loud = Loud(m.left);
    ASSERT_FALSE(loud.empty());
    EXPECT_LT(loud.back() - loud.front(), 12);  // about a quarter second of three, then silence
    EXPECT_GT(m.left.size(), static_cast<size_t>(loud.back() + 5));
    if (plat::MusicSoundFont().empty()) GTEST_SKIP() << "no soundfont";
    m = Play("snd-music", "note.mid", Note(false), 100);
    EXPECT_EQ(m.out, "play 0\n");
    loud = Loud(m.left, 300);
    ASSERT_FALSE(loud.empty());
    // A half-second note (its tail rings for about three seconds more) repeated for
    // five and a half seconds: heard again after the first piece has ended; silent
    // after STOPMUSIC.
    EXPECT_GT(loud.back() - loud.front(), 38);
    ASSERT_GT(m.left.size(), 4u);
    EXPECT_LT(m.left[m.left.size() - 2], 300);
}

// The windows where v is loud, as runs [first, last] of loud windows in a row.
std::vector<std::pair<int, int>> LoudRuns(const std::vector<double>& v, double threshold) {
    std::vector<std::pair<int, int>> runs;
    for (int i : Loud(v, threshold)) {
        if (runs.empty() || i > runs.back().second + 1)
            runs.push_back({i, i});
        else
            runs.back().second = i;
    }
    return runs;
}

// A tenth of a second of a steady level, looped: on the left by slot 1 (two copies,
// LOOPSOUND three times), on the right by slot 2 (one copy, LOOPSOUND twice), 20
// frames (a third of a second) between steps; 25 ms windows.
TEST(SoundOutput, LoopsSoundUntilStoppedSlotBySlot) {
    const double one = 0.2 * 32767;
    Mix m = Play("snd-loop", "level.wav", WaveBytes({.seconds = 0.1, .amplitude = 0.2, .steady = true}), 25);
    const auto left = LoudRuns(m.left, one / 2), right = LoudRuns(m.right, one / 2);
    ASSERT_EQ(left.size(), 2u);
    ASSERT_EQ(right.size(), 2u);
    // The loops sound without a break far past the sound's length: the left through the
    // bad slot numbers until STOPSOUND (40 frames), the right a step longer until the new
    // LOADSOUND (60 frames); STOPSOUND left the right playing.
    const int leftLength = left[0].second - left[0].first + 1, rightLength = right[0].second - right[0].first + 1;
    EXPECT_GE(leftLength, 22) << left[0].first;
    EXPECT_GE(rightLength, 34) << right[0].first;
    EXPECT_GE(right[0].second - left[0].second, 10);
    EXPECT_LE(std::abs(right[0].first - left[0].first), 1);
    // Two copies loop on the left, whatever the third LOOPSOUND did; one on the right.
    const double leftPeak = *std::max_element(m.left.begin(), m.left.end());
    const double rightPeak = *std::max_element(m.right.begin(), m.right.end());
    EXPECT_NEAR(leftPeak, 2 * one, one / 4);
    EXPECT_NEAR(rightPeak, one, one / 8);
    // Both loop again, together, until HUSH (10 frames); then silence to the end (20).
    EXPECT_GE(right[1].first - right[0].second, 10);
    EXPECT_LE(std::abs(right[1].first - left[1].first), 1);
    EXPECT_GE(static_cast<int>(m.left.size()) - std::max(left[1].second, right[1].second), 10);
}

}  // namespace
