// Sounds for the tests: wave files of a tone, and what the mixer really played.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "support/harness.h"

// A wave file of a 440 Hz tone (or of a steady level) with a chosen head and chunks.
struct WaveSpec {
    int channels = 1, frequency = 22050, bits = 16;
    int blockAlign = -1;         // -1: channels x bits / 8
    uint32_t formatLength = 16;  // other lengths add the 14 bytes the reader skips
    bool fact = false, list = false;
    double seconds = 0.2, amplitude = 0.3;
    uint32_t dataLength = 0;  // nonzero: claimed data length
    bool steady = false;      // every sample at `amplitude`: copies add up whenever they start
};

inline std::string WaveBytes(const WaveSpec& w) {
    const int align = w.blockAlign >= 0 ? w.blockAlign : w.channels * w.bits / 8;
    const int frames = static_cast<int>(w.seconds * w.frequency);
    std::string data;
    for (int i = 0; i < frames * w.channels; ++i) {
        const double s =
            w.steady ? w.amplitude : w.amplitude * std::sin(2 * M_PI * 440 * (i / w.channels) / w.frequency);
        const int16_t x = static_cast<int16_t>(s * 32767);
        w.bits == 16 ? data.append({char(x), char(x >> 8)}) : data.append(1, char(uint8_t(128 + s * 127)));
    }
    std::string v = "RIFF" + U32(0) + "WAVEfmt " + U32(w.formatLength) + U32(1 | w.channels << 16) +
                    U32(w.frequency) + U32(w.frequency * align) + U32(align | w.bits << 16);
    v.append(w.formatLength == 16 ? 0 : 14, '\0');
    if (w.fact) v += "fact" + U32(4) + U32(frames);
    if (w.list) v += "LIST" + U32(4) + "INFO";
    return v + "data" + U32(w.dataLength ? w.dataLength : static_cast<uint32_t>(data.size())) + data;
}

// The rate the runtime's sound device plays at, and so the rate of what SDL's disk
// audio driver writes (16-bit stereo).
constexpr int kMixRate = 44100;

// What the mixer really plays, written by SDL's disk audio driver: loudness (root mean
// square) per window of `ms` milliseconds, left and right apart; `out` is for the
// caller.
struct Mix {
    std::vector<double> left, right;
    std::string out;
};

inline Mix ReadMix(const std::string& path, int ms = 50) {
    const std::string raw = ReadText(path);
    const int16_t* s = reinterpret_cast<const int16_t*>(raw.data());
    Mix m;
    const size_t window = kMixRate * ms / 1000;
    for (size_t f = 0; f + window <= raw.size() / 4; f += window) {
        double l = 0, r = 0;
        for (size_t i = f; i < f + window; ++i) {
            l += double(s[2 * i]) * s[2 * i];
            r += double(s[2 * i + 1]) * s[2 * i + 1];
        }
        m.left.push_back(std::sqrt(l / window));
        m.right.push_back(std::sqrt(r / window));
    }
    return m;
}

// The left channel of what the mixer played, sample by sample.
inline std::vector<int16_t> ReadMixLeft(const std::string& path) {
    const std::string raw = ReadText(path);
    std::vector<int16_t> left(raw.size() / 4);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[4 * i]) | static_cast<uint8_t>(raw[4 * i + 1]) << 8);
    return left;
}

// Windows whose loudness passes the threshold.
inline std::vector<int> Loud(const std::vector<double>& v, double threshold = 500) {
    std::vector<int> out;
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] > threshold) out.push_back(static_cast<int>(i));
    return out;
}

