#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/audio.h"
#include "platform/window.h"
#include "sound/midi_length.h"
#include "sound/music.h"
#include "sound/sfx_sound.h"
#include "sound/wave_file.h"
#include "support/audio_files.h"
#include "support/child.h"
#include "support/runtime_fixture.h"

namespace {

std::string TempPath(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("tolvane-snd-" + std::to_string(getpid()) + "-" + name);
}

TEST(WaveReader, AcceptsPlainFactAndExtendedHeads) {
    __WaveSound w;
    WaveSpec plain;
    ASSERT_TRUE(__ReadWave(WriteWave(TempPath("plain.wav"), plain).c_str(), w));
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.frequency, 22050);
    EXPECT_EQ(w.samples.size(), 4410u * 2);
    WaveSpec fact;
    fact.fact = true;
    fact.formatLength = 18;
    EXPECT_TRUE(__ReadWave(WriteWave(TempPath("fact.wav"), fact).c_str(), w));
    WaveSpec stereo;
    stereo.channels = 2;
    stereo.frequency = 44100;
    ASSERT_TRUE(__ReadWave(WriteWave(TempPath("stereo.wav"), stereo).c_str(), w));
    EXPECT_EQ(w.frequency, 44100);
    EXPECT_EQ(w.blockAlign, 4);
    WaveSpec eight;
    eight.bits = 8;
    EXPECT_TRUE(__ReadWave(WriteWave(TempPath("eight.wav"), eight).c_str(), w));
}

TEST(WaveReader, RefusesOtherChunksAndAbsurdHeads) {
    __WaveSound w;
    auto refused = [&](WaveSpec spec, const char* name) {
        EXPECT_FALSE(__ReadWave(WriteWave(TempPath(name), spec).c_str(), w)) << name;
    };
    WaveSpec list;
    list.list = true;
    refused(list, "list.wav");
    WaveSpec zeroChannels;
    zeroChannels.channels = 0;
    zeroChannels.blockAlign = 2;
    refused(zeroChannels, "zero.wav");
    WaveSpec bits;
    bits.bits = 12;
    bits.blockAlign = 2;
    refused(bits, "bits.wav");
    WaveSpec align;
    align.blockAlign = 7;
    refused(align, "align.wav");
    WaveSpec rate;
    rate.frequency = 0;
    refused(rate, "rate.wav");
    WaveSpec huge;
    huge.dataLengthOverride = 0xFFFFFFF0;
    refused(huge, "huge.wav");
    std::vector<uint8_t> bytes = WaveBytes(WaveSpec{});
    std::ofstream(TempPath("short.wav"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 30);
    EXPECT_FALSE(__ReadWave(TempPath("short.wav").c_str(), w));
    EXPECT_FALSE(__ReadWave("/nonexistent.wav", w));
}

class SlotTest : public testing::Test {
protected:
    void SetUp() override {
        StartRuntimeOnce();
        if (!pDXsnd->IsOpen()) GTEST_SKIP() << "no sound device";
        WaveSpec long_;
        long_.seconds = 3;
        file_ = WriteWave(TempPath("long.wav"), long_);
    }
    void TearDown() override { HUSH(); }
    std::string file_;
};

TEST_F(SlotTest, CopiesAndSlotNumbersAreClamped) {
    LOADSOUND(DQStr(file_.c_str()), 5, 0);
    EXPECT_EQ(DXwav[5].CopyCount(), 1);
    LOADSOUND(DQStr(file_.c_str()), 5, 9);
    EXPECT_EQ(DXwav[5].CopyCount(), 4);
    LOADSOUND(DQStr(file_.c_str()), 200, 2);
    EXPECT_EQ(DXwav[127].CopyCount(), 2);
    PLAYSOUND(300, 0, 1);
    EXPECT_TRUE(DXwav[127].CopyPlaying(0));
    LOADSOUND(DQStr(TempPath("missing.wav").c_str()), 5, 1);  // found nowhere: unchanged
    EXPECT_EQ(DXwav[5].CopyCount(), 4);
    WaveSpec list;
    list.list = true;
    LOADSOUND(DQStr(WriteWave(TempPath("list2.wav"), list).c_str()), 5, 1);  // unreadable: empty
    EXPECT_EQ(DXwav[5].CopyCount(), 0);
    PLAYSOUND(5, 0, 1);
    EXPECT_FALSE(DXwav[5].CopyPlaying(0));
    PLAYSOUND(-1, 0, 1);  // no slot below 0: nothing
}

TEST_F(SlotTest, SingleCopyDropsARequestWhileBusy) {
    LOADSOUND(DQStr(file_.c_str()), 10, 1);
    PLAYSOUND(10, 0, 1);
    EXPECT_TRUE(DXwav[10].CopyPlaying(0));
    EXPECT_FALSE(DXwav[10].Play(0, 1));
    EXPECT_EQ(DXwav[10].CurrentCopy(), 0);
}

TEST_F(SlotTest, CopiesRotateAndTheFourthPlayRestartsTheFirst) {
    LOADSOUND(DQStr(file_.c_str()), 11, 3);
    PLAYSOUND(11, 0, 1);
    EXPECT_EQ(DXwav[11].CurrentCopy(), 0);
    PLAYSOUND(11, 0, 1);
    EXPECT_EQ(DXwav[11].CurrentCopy(), 1);
    PLAYSOUND(11, 0, 1);
    EXPECT_EQ(DXwav[11].CurrentCopy(), 2);
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(DXwav[11].CopyPlaying(c));
    EXPECT_TRUE(DXwav[11].Play(0, 1));
    EXPECT_EQ(DXwav[11].CurrentCopy(), 0);  // cut off and restarted
    HUSH();
    for (int c = 0; c < 3; ++c) EXPECT_FALSE(DXwav[11].CopyPlaying(c));
    // A copy that is not playing is used again without moving on.
    PLAYSOUND(11, 0, 1);
    EXPECT_EQ(DXwav[11].CurrentCopy(), 0);
}

TEST(MusicCommands, RefusedNamesGiveThree) {
    StartRuntimeOnce();
    EXPECT_EQ(PLAYMUSIC(DQStr("")), 3);
    EXPECT_EQ(PLAYMUSIC(DQStr("/nonexistent/music.mid")), 3);
    std::string junk = TempPath("junk.mid");
    std::ofstream(junk) << "not music at all";
    EXPECT_EQ(PLAYMUSIC(DQStr(junk.c_str())), 3);  // found but cannot be played
    EXPECT_FALSE(__MusicActive());
    STOPMUSIC();
}

TEST(MusicCommands, RestartsWithinAFrameOfThePiecesEnd) {
    StartRuntimeOnce();
    if (!pDXsnd->IsOpen() || plat::MusicSoundFont().empty()) GTEST_SKIP() << "no sound device or soundfont";
    const double before = plat::ClockMs();
    ASSERT_EQ(PLAYMUSIC(DQStr(WriteMidi(TempPath("second.mid"), 1).c_str())), 0);
    const double after = plat::ClockMs();
    // The synthesizer still sounds the last note for seconds; the piece itself is one
    // second long and starts again in the frame after that second.
    const long starts = __MusicStarts();
    __MusicRepeatCheck(before + 990);
    EXPECT_EQ(__MusicStarts(), starts);
    __MusicRepeatCheck(after + 1001);
    EXPECT_EQ(__MusicStarts(), starts + 1);
    __MusicRepeatCheck(after + 1001 + 990);  // timed anew from the restart
    EXPECT_EQ(__MusicStarts(), starts + 1);
    __MusicRepeatCheck(after + 1001 + 1000);
    EXPECT_EQ(__MusicStarts(), starts + 2);
    STOPMUSIC();
}

std::vector<uint8_t> MidiFile(uint16_t division, const std::vector<uint8_t>& track) {
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, static_cast<uint8_t>(division >> 8),
                              static_cast<uint8_t>(division), 'M', 'T', 'r', 'k', 0, 0, 0,
                              static_cast<uint8_t>(track.size())};
    for (uint8_t b : track) f.push_back(b);
    return f;
}

TEST(MidiLength, FollowsTempoChangesAndSmpteTime) {
    // 96 ticks a quarter: 192 ticks at 120 bpm, then 96 ticks at 60 bpm: two seconds.
    std::vector<uint8_t> midi = MidiFile(96, {
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500000 us a quarter
        0x00, 0x90, 60, 100,
        0x81, 0x40, 0x80, 60, 0,                   // 192 ticks later
        0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // 1000000 us a quarter
        0x00, 0x90, 62, 100,
        0x60, 62, 0,                               // running status, 96 ticks later
        0x00, 0xFF, 0x2F, 0x00});
    EXPECT_DOUBLE_EQ(__MidiLengthSeconds(midi.data(), midi.size()), 2.0);
    for (size_t n = 0; n < midi.size(); ++n) EXPECT_LT(__MidiLengthSeconds(midi.data(), n), 0) << n;
    midi[23] = 0x20;  // the first event: a data byte with no status before it
    EXPECT_LT(__MidiLengthSeconds(midi.data(), midi.size()), 0);
    // 25 frames of 40 ticks a second, whatever the tempo: 1500 ticks are 1.5 seconds.
    std::vector<uint8_t> smpte = MidiFile(0xE728, {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x8B, 0x5C, 0xFF, 0x2F, 0x00});
    EXPECT_DOUBLE_EQ(__MidiLengthSeconds(smpte.data(), smpte.size()), 1.5);
}

// What the mixer really plays, written by SDL's disk audio driver.
ChildResult RunAudio(const std::string& scenario, const std::string& file, const std::string& mix) {
    return RunScenario(scenario, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + mix, "SND_FILE=" + file});
}

// Windows (50 ms) whose loudness passes the threshold.
std::vector<int> Loud(const std::vector<double>& v, double threshold = 500) {
    std::vector<int> out;
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] > threshold) out.push_back(static_cast<int>(i));
    return out;
}

TEST(SoundOutput, PanPutsTheSoundOnOneSide) {
    std::string mix = TempPath("pan.raw");
    ChildResult r = RunAudio("snd-pan", WriteWave(TempPath("beep.wav"), WaveSpec{}), mix);
    ASSERT_EQ(r.status, 0);
    Loudness l = ReadMix(mix);
    std::vector<int> left = Loud(l.left), right = Loud(l.right);
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    EXPECT_LT(left.back(), right.front());  // heard left first, then right
    for (int i : left) EXPECT_LT(l.right[i], 100) << "window " << i;
    for (int i : right) EXPECT_LT(l.left[i], 100) << "window " << i;
    std::filesystem::remove(mix);
}

TEST(SoundOutput, CopiesOverlap) {
    std::string mix = TempPath("copies.raw");
    WaveSpec w;
    w.seconds = 0.4;
    w.amplitude = 0.2;
    ChildResult r = RunAudio("snd-copies", WriteWave(TempPath("tone.wav"), w), mix);
    ASSERT_EQ(r.status, 0);
    Loudness l = ReadMix(mix, 20);
    std::vector<int> loud = Loud(l.left);
    ASSERT_FALSE(loud.empty());
    double single = l.left[loud.front()];
    double most = *std::max_element(l.left.begin(), l.left.end());
    EXPECT_GT(most, single * 1.8);  // three copies sound together
    std::filesystem::remove(mix);
}

TEST(SoundOutput, HushSilences) {
    std::string mix = TempPath("hush.raw");
    WaveSpec w;
    w.seconds = 3;
    ChildResult r = RunAudio("snd-hush", WriteWave(TempPath("long.wav"), w), mix);
    ASSERT_EQ(r.status, 0);
    Loudness l = ReadMix(mix);
    std::vector<int> loud = Loud(l.left);
    ASSERT_FALSE(loud.empty());
    // About a quarter second of the three-second sound, then silence.
    EXPECT_LT(loud.back() - loud.front(), 12);
    EXPECT_GT(l.left.size(), static_cast<size_t>(loud.back() + 5));
    std::filesystem::remove(mix);
}

TEST(SoundOutput, MusicPlaysRepeatsAndStops) {
    if (plat::MusicSoundFont().empty()) GTEST_SKIP() << "no soundfont";
    std::string mix = TempPath("music.raw");
    ChildResult r = RunAudio("snd-music", WriteMidi(TempPath("note.mid"), 0.5), mix);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "play 0\n");
    Loudness l = ReadMix(mix, 100);
    std::vector<int> loud = Loud(l.left, 300);
    ASSERT_FALSE(loud.empty());
    // A half-second note (its tail rings for about three seconds more) repeated for
    // five and a half seconds: heard again after the first piece has ended.
    EXPECT_GT(loud.back() - loud.front(), 38);
    // And silent after STOPMUSIC.
    ASSERT_GT(l.left.size(), 4u);
    EXPECT_LT(l.left[l.left.size() - 2], 300);
    std::filesystem::remove(mix);
}

}  // namespace
