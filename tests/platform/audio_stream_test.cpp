// The PCM stream as the mixer plays it, read back from the file SDL's disk audio
// driver writes (16-bit stereo at the device's 44100 Hz). Alone in its process, so that
// it opens the device itself, on that driver.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/audio.h"
#include "platform/window.h"

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// `seconds` of a sine tone at 0.3 of `full`, the same on every channel.
template <typename T>
std::vector<T> Tone(int rate, int channels, double hz, double seconds, double full) {
    std::vector<T> v;
    for (int i = 0; i < static_cast<int>(seconds * rate); ++i)
        v.insert(v.end(), channels, static_cast<T>(0.3 * full * std::sin(2 * M_PI * hz * i / rate)));
    return v;
}

// Waits until the mixer has taken the whole queue, at most three seconds.
bool Drained() {
    for (int i = 0; i < 300 && plat::PcmQueuedMs() > 0; ++i) Sleep(10);
    return plat::PcmQueuedMs() == 0;
}

// The stretches of sound in the output's left channel (silence is exact zeros): where
// its zero crossings lie less than 10 ms apart. Length in seconds and pitch in Hz.
std::vector<std::pair<double, double>> Stretches(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::pair<double, double>> out;
    int16_t frame[2], previous = 0;
    long first = 0, last = -1000, crossings = 0;
    auto end = [&] {
        const double seconds = (last - first) / 44100.0;
        if (crossings > 1) out.emplace_back(seconds, (crossings - 1) / 2.0 / seconds);
    };
    for (long i = 0; in.read(reinterpret_cast<char*>(frame), sizeof frame); ++i, previous = frame[0]) {
        if ((previous < 0) == (frame[0] < 0)) continue;
        if (i - last > 441) {  // more than 10 ms since the last crossing
            end();
            first = i;
            crossings = 0;
        }
        last = i;
        ++crossings;
    }
    end();
    return out;
}

TEST(PcmStream, PlaysThroughTheMixerBesideSampleSounds) {
    const std::string mix = std::filesystem::temp_directory_path() / ("tolvane-pcm-" + std::to_string(getpid()));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", mix.c_str(), 1);
    EXPECT_FALSE(plat::PcmOpen(44100, 1, plat::PcmFormat::Int16));  // no device yet
    ASSERT_TRUE(plat::AudioOpen(44100, 2, 8));
    EXPECT_EQ(plat::AudioDeviceRate(), 44100);

    // 16-bit mono at 44100 Hz, opened paused: the queue stays; cleared, it is empty.
    ASSERT_TRUE(plat::PcmOpen(44100, 1, plat::PcmFormat::Int16, true));
    std::vector<int16_t> low = Tone<int16_t>(44100, 1, 440, 0.3, 32767);
    ASSERT_TRUE(plat::PcmQueue(low.data(), low.size() * 2));
    EXPECT_NEAR(plat::PcmQueuedMs(), 300, 0.1);
    Sleep(100);
    EXPECT_NEAR(plat::PcmQueuedMs(), 300, 0.1);
    plat::PcmPosition p;
    ASSERT_TRUE(plat::PcmGetPosition(p));
    EXPECT_EQ(std::pair(p.queued, p.taken), std::pair(int64_t{13230}, int64_t{0}));
    plat::PcmClear();
    EXPECT_EQ(plat::PcmQueuedMs(), 0);
    plat::PcmPause(false);
    EXPECT_FALSE(plat::PcmQueue(low.data(), 3));  // not a whole frame
    for (int part = 0; part < 3; ++part) ASSERT_TRUE(plat::PcmQueue(&low[part * low.size() / 3], low.size() / 3 * 2));
    const auto start = std::chrono::steady_clock::now();
    // The mixer takes it a block at a time, as it plays: the count of frames taken grows
    // and never passes the count queued; each block is stamped with the clock.
    int64_t taken = 0;
    double blockAt = 0;
    while (plat::PcmGetPosition(p) && p.taken < p.queued) {
        EXPECT_GE(p.taken, taken);
        EXPECT_GE(p.lastBlockAtMs, blockAt);
        EXPECT_LE(p.lastBlock, p.taken);
        taken = p.taken;
        blockAt = p.lastBlockAtMs;
        Sleep(5);
    }
    EXPECT_EQ(p.queued, 13230);
    EXPECT_GT(p.lastBlock, 0);
    EXPECT_LE(blockAt, plat::ClockMs());
    ASSERT_TRUE(Drained());
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));  // taken as it plays
    Sleep(150);

    // 32-bit float stereo at 48000 Hz, opened over the first stream.
    ASSERT_TRUE(plat::PcmOpen(48000, 2, plat::PcmFormat::Float32));
    std::vector<float> mid = Tone<float>(48000, 2, 660, 0.2, 1);
    ASSERT_TRUE(plat::PcmQueue(mid.data(), mid.size() * 4));
    ASSERT_TRUE(Drained());
    Sleep(150);
    plat::PcmClose();

    // Then a sample sound, as before.
    std::vector<int16_t> high = Tone<int16_t>(22050, 1, 880, 0.2, 32767);
    plat::Sound* sound = plat::AudioMakeSound(reinterpret_cast<uint8_t*>(high.data()), high.size() * 2, 22050, 1, 16);
    ASSERT_TRUE(plat::AudioPlay(0, sound, 0, 1));
    while (plat::AudioChannelPlaying(0)) Sleep(10);
    Sleep(100);
    plat::AudioFreeSound(sound);
    plat::AudioClose();

    using Heard = std::vector<std::pair<double, double>>;
    const Heard heard = Stretches(mix), expected = {{0.3, 440}, {0.2, 660}, {0.2, 880}};
    std::filesystem::remove(mix);
    ASSERT_EQ(heard.size(), expected.size());
    for (size_t i = 0; i < heard.size(); ++i) {
        EXPECT_NEAR(heard[i].first, expected[i].first, 0.005) << i;
        EXPECT_NEAR(heard[i].second, expected[i].second, expected[i].second * 0.02) << i;
    }
}

}  // namespace
