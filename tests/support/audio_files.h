// Test sound files: wave files with a chosen head and chunks, a one-note MIDI file,
// and reading the mixed output that SDL's disk audio driver writes.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct WaveSpec {
    int channels = 1, frequency = 22050, bits = 16;
    int blockAlign = -1;         // -1: channels x bits / 8
    uint32_t formatLength = 16;  // 18 adds two bytes of extension
    bool fact = false, list = false;
    double seconds = 0.2, hz = 440, amplitude = 0.3;
    uint32_t dataLengthOverride = 0;  // nonzero: claimed data length
};

inline std::vector<uint8_t> WaveBytes(const WaveSpec& w) {
    std::vector<uint8_t> v;
    auto u32 = [&](uint32_t x) { for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i))); };
    auto u16 = [&](uint16_t x) { v.push_back(static_cast<uint8_t>(x)); v.push_back(static_cast<uint8_t>(x >> 8)); };
    auto tag = [&](const char* t) { v.insert(v.end(), t, t + 4); };
    const int align = w.blockAlign >= 0 ? w.blockAlign : w.channels * w.bits / 8;
    std::vector<uint8_t> data;
    const int frames = static_cast<int>(w.seconds * w.frequency);
    for (int i = 0; i < frames; ++i) {
        double s = w.amplitude * std::sin(2 * M_PI * w.hz * i / w.frequency);
        for (int c = 0; c < w.channels; ++c) {
            if (w.bits == 16) {
                int16_t x = static_cast<int16_t>(s * 32767);
                data.push_back(static_cast<uint8_t>(x));
                data.push_back(static_cast<uint8_t>(x >> 8));
            } else {
                data.push_back(static_cast<uint8_t>(128 + s * 127));
            }
        }
    }
    tag("RIFF");
    u32(0);
    tag("WAVE");
    tag("fmt ");
    u32(w.formatLength);
    u16(1);
    u16(static_cast<uint16_t>(w.channels));
    u32(static_cast<uint32_t>(w.frequency));
    u32(static_cast<uint32_t>(w.frequency * align));
    u16(static_cast<uint16_t>(align));
    u16(static_cast<uint16_t>(w.bits));
    for (uint32_t i = 16; i < w.formatLength; ++i) v.push_back(0);
    if (w.formatLength != 16)
        for (uint32_t i = w.formatLength - 16; i < 14; ++i) v.push_back(0);  // the reader skips 14 bytes
    if (w.fact) {
        tag("fact");
        u32(4);
        u32(static_cast<uint32_t>(frames));
    }
    if (w.list) {
        tag("LIST");
        u32(4);
        tag("INFO");
    }
    tag("data");
    u32(w.dataLengthOverride ? w.dataLengthOverride : static_cast<uint32_t>(data.size()));
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

inline std::string WriteWave(const std::string& path, const WaveSpec& w) {
    std::vector<uint8_t> b = WaveBytes(w);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    return path;
}

// A format-0 MIDI file: one piano note (middle C) held for `seconds` at 120 bpm.
inline std::string WriteMidi(const std::string& path, double seconds) {
    std::vector<uint8_t> track;
    auto varlen = [&](uint32_t x) {
        uint8_t bytes[5];
        int n = 0;
        do { bytes[n++] = x & 0x7F; x >>= 7; } while (x);
        while (n--) track.push_back(static_cast<uint8_t>(bytes[n] | (n ? 0x80 : 0)));
    };
    const uint32_t ticks = static_cast<uint32_t>(seconds * 2 * 96);  // 96 per quarter, 2 quarters a second
    varlen(0); track.insert(track.end(), {0xC0, 0x00});        // piano
    varlen(0); track.insert(track.end(), {0x90, 60, 110});     // note on
    varlen(ticks); track.insert(track.end(), {0x80, 60, 0});   // note off
    varlen(0); track.insert(track.end(), {0xFF, 0x2F, 0x00});  // end of track
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
    uint32_t n = static_cast<uint32_t>(track.size());
    f.insert(f.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                       static_cast<uint8_t>(n)});
    f.insert(f.end(), track.begin(), track.end());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
    return path;
}

// The disk driver's output: 16-bit stereo at 22050 Hz. Loudness per window of
// `ms` milliseconds, left and right apart (root mean square, 0 ... 32767).
struct Loudness {
    std::vector<double> left, right;
};

inline Loudness ReadMix(const std::string& path, int ms = 50) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> s;
    int16_t x;
    while (in.read(reinterpret_cast<char*>(&x), 2)) s.push_back(x);
    Loudness out;
    const size_t window = 22050 * ms / 1000;
    for (size_t f = 0; f + window <= s.size() / 2; f += window) {
        double l = 0, r = 0;
        for (size_t i = f; i < f + window; ++i) {
            l += double(s[2 * i]) * s[2 * i];
            r += double(s[2 * i + 1]) * s[2 * i + 1];
        }
        out.left.push_back(std::sqrt(l / window));
        out.right.push_back(std::sqrt(r / window));
    }
    return out;
}
