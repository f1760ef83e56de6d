// Makes Stackmoor's pictures, sounds and music:
//
//   assetgen <folder>
//
// Gfx/Block1.bmp ... Block3.bmp  wooden crates in red, green and blue, 64 x 64
// Gfx/Gem.bmp                    the burst of a vanishing crate
// Gfx/{L,LP,R,RP}_{0,1}.bmp      the figure facing left and right, walking and pushing
// Gfx/Back.bmp                   the moor at dusk, 640 x 480
// Sfx/Drop.wav, Move.wav, Bonus.wav
// Sfx/music.mid                  a cheerful tune of 32 seconds that loops
//
// Transparent parts of sprites are in the key colour R 255, G 0, B 128.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "gfx2d/bmp_file.h"

namespace fs = std::filesystem;

namespace {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb Scale(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }

const Rgb kKey{255, 0, 128};

// A picture, top row first.
struct Image {
    int w, h;
    std::vector<Rgb> px;
    Image(int w_, int h_, Rgb fill) : w(w_), h(h_), px(static_cast<size_t>(w_) * h_, fill) {}
    Rgb& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    void set(int x, int y, Rgb c) {
        if (inside(x, y)) at(x, y) = c;
    }
    void blend(int x, int y, Rgb c, double a) {
        if (inside(x, y)) at(x, y) = Mix(at(x, y), c, std::clamp(a, 0.0, 1.0));
    }
    void rect(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) set(x, y, c);
    }
    void disc(double cx, double cy, double r, Rgb c) {
        for (int y = static_cast<int>(cy - r - 1); y <= cy + r + 1; ++y)
            for (int x = static_cast<int>(cx - r - 1); x <= cx + r + 1; ++x)
                if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= r * r) set(x, y, c);
    }
    void mirror() {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w / 2; ++x) std::swap(at(x, y), at(w - 1 - x, y));
    }
    bool save(const fs::path& p) const {
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb& c = px[static_cast<size_t>(y) * w + x];
                uint8_t* o = &rgb[(static_cast<size_t>(h - 1 - y) * w + x) * 3];
                o[0] = static_cast<uint8_t>(std::clamp(c.r, 0.0, 255.0));
                o[1] = static_cast<uint8_t>(std::clamp(c.g, 0.0, 255.0));
                o[2] = static_cast<uint8_t>(std::clamp(c.b, 0.0, 255.0));
            }
        return __WriteBMP24(p.c_str(), w, h, rgb.data());
    }
};

// Small deterministic noise for texture.
double Noise(int x, int y, int seed) {
    uint32_t n = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    n = (n ^ (n >> 13)) * 1274126177u;
    return ((n ^ (n >> 16)) & 0xFFFF) / 65535.0;
}

// A wooden crate: a frame of boards, planks inside, a diagonal brace, nails.
Image Crate(Rgb base, int seed) {
    Image im(64, 64, base);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double grain =
                0.88 + 0.12 * std::sin(y * 0.9 + std::sin(x * 0.15 + seed) * 2.0) + 0.06 * (Noise(x, y, seed) - 0.5);
            double light = 1.08 - 0.28 * (x + y) / 126.0;  // light from the top left
            im.at(x, y) = Scale(base, grain * light);
        }
    // Planks: darker seams every 14 pixels inside the frame.
    for (int y = 8; y < 56; ++y)
        if ((y - 8) % 12 == 11)
            for (int x = 8; x < 56; ++x) im.at(x, y) = Scale(im.at(x, y), 0.62);
    // Diagonal brace from bottom left to top right.
    for (int x = 8; x < 56; ++x)
        for (int t = -4; t <= 4; ++t) {
            int y = 63 - x + t;
            if (y >= 8 && y < 56) im.at(x, y) = Scale(base, (t == -4 || t == 4 ? 0.6 : 1.12) * (1.0 - 0.15 * x / 64.0));
        }
    // Frame boards with a bevel.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            int edge = std::min(std::min(x, y), std::min(63 - x, 63 - y));
            if (edge < 8) {
                Rgb c = Scale(base, 1.18 - 0.3 * (x + y) / 126.0 + 0.05 * (Noise(x, y, seed + 7) - 0.5));
                if (edge == 0) c = Scale(base, 0.35);
                else if (edge == 7) c = Scale(base, 0.55);
                else if (x == edge || y == edge) c = Mix(c, Rgb{255, 255, 255}, 0.25);  // lit outer rim
                im.at(x, y) = c;
            }
        }
    // Nails in the corners.
    for (auto [nx, ny] : {std::pair{4, 4}, {59, 4}, {4, 59}, {59, 59}}) {
        im.disc(nx, ny, 1.8, Rgb{70, 70, 78});
        im.set(nx - 1, ny - 1, Rgb{200, 200, 210});
    }
    return im;
}

// A sparkling gem: four rays and a glowing core on the key colour.
Image Gem() {
    Image im(64, 64, kKey);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double dx = x + 0.5 - 32, dy = y + 0.5 - 32;
            double r = std::sqrt(dx * dx + dy * dy);
            double ray = std::max(std::exp(-std::fabs(dx) * 0.45) * std::max(0.0, 1 - std::fabs(dy) / 31),
                                  std::exp(-std::fabs(dy) * 0.45) * std::max(0.0, 1 - std::fabs(dx) / 31));
            double diag = std::exp(-std::fabs(std::fabs(dx) - std::fabs(dy)) * 0.6) * std::max(0.0, 1 - r / 22);
            double core = std::max(0.0, 1 - r / 14);
            double v = std::max({ray, diag * 0.7, core});
            if (v < 0.12) continue;
            Rgb c = Mix(Rgb{255, 170, 40}, Rgb{255, 255, 230}, std::min(1.0, core * 1.4 + ray * 0.3));
            im.at(x, y) = Scale(c, 0.45 + 0.55 * v);
        }
    return im;
}

// The figure facing right: cap, face, shirt, overalls, boots. Frame 1 of walking has
// the legs apart; pushing leans forward with the arms out.
Image Figure(int frame, bool pushing) {
    Image im(64, 64, kKey);
    const Rgb skin{240, 196, 150}, cap{220, 60, 40}, shirt{250, 210, 70}, overalls{50, 90, 170}, boot{70, 45, 30},
        dark{30, 25, 30};
    const int lean = pushing ? 3 : 0;
    // Legs and boots.
    int stride = frame == 1 ? 7 : 2;
    for (int leg = -1; leg <= 1; leg += 2) {
        int hip = 32 + lean / 2 + leg * 3;
        int foot = 32 + lean + leg * stride;
        for (int y = 46; y < 60; ++y) {
            double t = (y - 46) / 14.0;
            int x = static_cast<int>(hip + (foot - hip) * t);
            im.rect(x - 3, y, x + 2, y, overalls);
        }
        im.rect(foot - 4, 59, foot + 5, 63, boot);
        im.rect(foot - 4, 63, foot + 5, 63, dark);
    }
    // Body: shirt and overalls with a bib.
    for (int y = 25; y < 47; ++y) {
        int shift = lean * (47 - y) / 22;
        for (int x = 23; x <= 41; ++x) im.set(x + shift, y, y < 34 ? shirt : overalls);
        im.set(27 + shift, y < 34 ? 34 : y, overalls);
    }
    for (int y = 28; y < 34; ++y)
        for (int x = 27; x <= 37; ++x) im.set(x + lean * (47 - y) / 22, y, overalls);
    im.disc(28 + lean, 31, 1.2, Rgb{240, 220, 120});
    im.disc(36 + lean, 31, 1.2, Rgb{240, 220, 120});
    // Arms.
    if (pushing) {
        im.rect(38 + lean, 28, 52, 32, shirt);
        im.rect(52, 27, 56, 33, skin);
    } else {
        int swing = frame == 1 ? 3 : -1;
        for (int y = 27; y < 42; ++y) im.rect(30 + swing * (y - 27) / 15, y, 34 + swing * (y - 27) / 15, y, shirt);
        im.disc(32 + swing, 43, 2.5, skin);
    }
    // Head, face and cap.
    const double hx = 33 + lean, hy = 15;
    im.disc(hx, hy, 9.5, skin);
    const int ix = static_cast<int>(hx), iy = static_cast<int>(hy);
    im.disc(hx + 4, hy - 1, 1.3, dark);                         // eye
    im.rect(ix + 8, iy, ix + 10, iy + 2, skin);                 // nose
    im.rect(ix + 2, iy + 5, ix + 6, iy + 5, Rgb{160, 70, 60});  // mouth
    for (int y = 3; y < 11; ++y)
        for (int x = static_cast<int>(hx) - 10; x <= hx + 9; ++x)
            if ((x - hx) * (x - hx) + (y - 11) * (y - 11) * 1.6 <= 100) im.set(x, y, cap);
    im.rect(static_cast<int>(hx), 9, static_cast<int>(hx) + 14, 11, Scale(cap, 0.8));  // brim to the front
    im.rect(static_cast<int>(hx) - 10, 14, static_cast<int>(hx) - 8, 19, Rgb{110, 70, 40});  // hair at the back
    return im;
}

// The moor at dusk: a sky gradient, stars, a moon, rolling hills and the ground.
Image Background() {
    Image im(640, 480, Rgb{});
    const Rgb top{18, 22, 58}, mid{70, 50, 110}, low{235, 140, 110};
    for (int y = 0; y < 480; ++y) {
        double t = y / 380.0;
        Rgb c = t < 0.6 ? Mix(top, mid, t / 0.6) : Mix(mid, low, std::min(1.0, (t - 0.6) / 0.4));
        for (int x = 0; x < 640; ++x) im.at(x, y) = c;
    }
    for (int k = 0; k < 140; ++k) {
        int x = static_cast<int>(Noise(k, 1, 3) * 640), y = static_cast<int>(Noise(k, 2, 3) * 230);
        double b = 0.4 + 0.6 * Noise(k, 3, 3);
        im.blend(x, y, Rgb{255, 255, 235}, b);
        if (b > 0.85) {
            for (auto [ox, oy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
                im.blend(x + ox, y + oy, Rgb{255, 255, 235}, 0.35);
        }
    }
    // Moon with a soft glow.
    for (int y = 0; y < 200; ++y)
        for (int x = 400; x < 640; ++x) {
            double d = std::hypot(x - 540.0, y - 90.0);
            if (d < 34) im.at(x, y) = Mix(Rgb{250, 245, 220}, Rgb{225, 215, 190}, Noise(x / 4, y / 4, 9) * 0.5);
            else if (d < 90) im.blend(x, y, Rgb{255, 240, 210}, 0.25 * (1 - (d - 34) / 56));
        }
    // Three ranges of hills, far to near.
    const Rgb hills[3] = {{92, 70, 120}, {62, 62, 96}, {40, 58, 62}};
    for (int layer = 0; layer < 3; ++layer) {
        for (int x = 0; x < 640; ++x) {
            double base = 300 + layer * 45;
            double y0 = base - 30 * std::sin(x / (90.0 - layer * 20) + layer * 1.7) - 18 * std::sin(x / 37.0 + layer);
            for (int y = static_cast<int>(y0); y < 480; ++y) {
                double shade = 1.0 - 0.25 * (y - y0) / 160.0;
                im.at(x, y) = Scale(hills[layer], std::max(0.6, shade));
            }
        }
    }
    // Ground under the playfield: turf on top of earth and stones.
    for (int y = 448; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            Rgb earth = Mix(Rgb{92, 64, 40}, Rgb{60, 40, 28}, (y - 448) / 32.0);
            earth = Scale(earth, 0.85 + 0.3 * Noise(x / 2, y / 2, 5));
            if (y < 454) earth = Mix(Rgb{70, 140, 60}, Rgb{50, 110, 45}, Noise(x, y, 6));
            if ((x / 32 + y / 10) % 7 == 0 && y > 458 && Noise(x / 6, y / 5, 8) > 0.6) earth = Rgb{120, 115, 110};
            im.at(x, y) = earth;
        }
    return im;
}

// ---- sounds --------------------------------------------------------------------------

constexpr int kRate = 22050;

bool WriteWave(const fs::path& p, const std::vector<double>& samples) {
    ByteWriter w;
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    w.Text("RIFF").U32(36 + bytes).Text("WAVE");
    w.Text("fmt ").U32(16).U16(1).U16(1).U32(kRate).U32(kRate * 2).U16(2).U16(16);  // PCM, mono, 16 bits
    w.Text("data").U32(bytes);
    for (double s : samples) w.U16(static_cast<uint16_t>(static_cast<int16_t>(std::clamp(s, -1.0, 1.0) * 32767)));
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(w.Data().data()), static_cast<std::streamsize>(w.Size()));
    return static_cast<bool>(out);
}

// A crate landing: a low thump falling in pitch with a knock of noise.
std::vector<double> Drop() {
    std::vector<double> s(static_cast<size_t>(kRate * 0.22));
    double phase = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = static_cast<double>(i) / kRate;
        double f = 55 + 110 * std::exp(-t * 25);
        phase += 2 * M_PI * f / kRate;
        double knock = (Noise(static_cast<int>(i), 0, 11) - 0.5) * std::exp(-t * 90);
        s[i] = 0.85 * std::sin(phase) * std::exp(-t * 16) + 0.5 * knock;
    }
    return s;
}

// The figure shoving: a short wooden scrape.
std::vector<double> Move() {
    std::vector<double> s(static_cast<size_t>(kRate * 0.12));
    double lp = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = static_cast<double>(i) / kRate;
        double n = Noise(static_cast<int>(i), 1, 12) - 0.5;
        lp += (n - lp) * 0.25;  // soften the noise
        double grit = std::sin(2 * M_PI * 180 * t) * (0.5 + 0.5 * std::sin(2 * M_PI * 35 * t));
        s[i] = (1.4 * lp + 0.35 * grit) * std::min(1.0, t * 200) * std::exp(-t * 22);
    }
    return s;
}

// A combo: a bright rising arpeggio with a sparkle.
std::vector<double> Bonus() {
    const double notes[] = {523.25, 659.25, 783.99, 1046.5, 1318.5};
    std::vector<double> s(static_cast<size_t>(kRate * 0.7), 0.0);
    for (int k = 0; k < 5; ++k) {
        size_t start = static_cast<size_t>(kRate * 0.07 * k);
        for (size_t i = start; i < s.size(); ++i) {
            double t = static_cast<double>(i - start) / kRate;
            double env = std::min(1.0, t * 300) * std::exp(-t * 7);
            double f = notes[k];
            s[i] +=
                0.22 * env *
                (std::sin(2 * M_PI * f * t) + 0.35 * std::sin(4 * M_PI * f * t) + 0.12 * std::sin(6 * M_PI * f * t));
        }
    }
    return s;
}

// ---- music ----------------------------------------------------------------------------

constexpr int kTicks = 96;  // per quarter note

struct Track {
    std::vector<uint8_t> bytes;
    uint32_t last = 0;
    void event(uint32_t tick, std::initializer_list<uint8_t> e) {
        uint32_t delta = tick - last;
        last = tick;
        uint8_t buf[5];
        int n = 0;
        do {
            buf[n++] = delta & 0x7F;
            delta >>= 7;
        } while (delta);
        while (n--) bytes.push_back(static_cast<uint8_t>(buf[n] | (n ? 0x80 : 0)));
        bytes.insert(bytes.end(), e);
    }
    void note(uint32_t tick, uint32_t length, int channel, int key, int velocity) {
        notes.push_back(
            {tick, static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)});
        notes.push_back({tick + length, static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0});
    }
    struct Pending {
        uint32_t tick;
        uint8_t a, b, c;
    };
    std::vector<Pending> notes;
    void flush(uint32_t end) {
        std::stable_sort(notes.begin(), notes.end(), [](const Pending& x, const Pending& y) {
            return x.tick < y.tick || (x.tick == y.tick && (x.a & 0xF0) == 0x80 && (y.a & 0xF0) == 0x90);
        });
        for (const Pending& p : notes) event(p.tick, {p.a, p.b, p.c});
        event(end, {0xFF, 0x2F, 0x00});
    }
};

bool WriteMusic(const fs::path& p) {
    // Sixteen bars in C major at 120 beats a minute: 32 seconds, then it starts over.
    const int chords[16] = {0, 7, 9, 5, 0, 7, 5, 7, 0, 9, 5, 7, 0, 5, 7, 0};  // roots above C
    const bool minor[16] = {false, false, true, false, false, false, false, false,
                            false, true, false, false, false, false, false, false};
    // Melody in eighth notes; 0 holds the previous note, -1 rests.
    const int melody[16][8] = {
        {76, 79, 84, 79, 76, 0, 74, 76}, {74, 79, 83, 79, 74, 0, 72, 74}, {72, 76, 81, 76, 72, 0, 71, 72},
        {69, 72, 77, 81, 79, 0, 77, 76}, {76, 76, 79, 0, 84, 0, 83, 81}, {79, 0, 74, 0, 71, 74, 79, 0},
        {81, 79, 77, 76, 74, 76, 77, 81}, {79, 0, 0, 0, 74, 0, 67, -1},  {84, 0, 79, 76, 72, 76, 79, 84},
        {81, 0, 76, 72, 69, 72, 76, 81}, {77, 0, 72, 69, 77, 79, 81, 84}, {83, 0, 79, 74, 71, 74, 79, 83},
        {84, 83, 81, 79, 76, 79, 84, 0}, {81, 79, 77, 76, 77, 0, 81, 0},  {79, 77, 76, 74, 71, 0, 74, 0},
        {72, 0, 76, 79, 84, 0, 0, -1}};
    Track lead, bass, keys, drums;
    const uint32_t bar = 4 * kTicks, eighth = kTicks / 2;
    for (auto* t : {&lead, &bass, &keys, &drums}) t->event(0, {0xFF, 0x03, 0x00});
    lead.event(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});  // 500000 microseconds a quarter
    lead.event(0, {0xC0, 12});   // marimba
    bass.event(0, {0xC1, 33});   // fingered bass
    keys.event(0, {0xC2, 4});    // electric piano
    for (int b = 0; b < 16; ++b) {
        const uint32_t t0 = static_cast<uint32_t>(b) * bar;
        for (int k = 0; k < 8;) {
            int n = melody[b][k];
            int len = 1;
            while (k + len < 8 && melody[b][k + len] == 0) ++len;
            if (n > 0) lead.note(t0 + k * eighth, len * eighth - 6, 0, n, 96 + (k % 2 == 0 ? 12 : 0));
            k += len;
        }
        const int root = 36 + chords[b];
        const int pattern[4] = {root, root + 12, root + 7, root + 12};
        for (int q = 0; q < 4; ++q) bass.note(t0 + q * kTicks, kTicks - 10, 1, pattern[q], q == 0 ? 105 : 85);
        const int third = minor[b] ? 3 : 4;
        for (int q : {1, 3})
            for (int iv : {0, third, 7}) keys.note(t0 + q * kTicks, kTicks / 2, 2, 60 + chords[b] % 12 + iv, 62);
        for (int e = 0; e < 8; ++e) {
            const uint32_t at = t0 + e * eighth;
            drums.note(at, 20, 9, 42, e % 2 == 0 ? 70 : 50);  // closed hi-hat
            if (e == 0 || e == 4 || (e == 7 && b % 4 == 3)) drums.note(at, 30, 9, 36, 110);  // kick
            if (e == 2 || e == 6) drums.note(at, 30, 9, 38, 95);                              // snare
        }
        if (b % 8 == 7) drums.note(t0 + 6 * eighth, 60, 9, 49, 90);  // crash before the phrase repeats
    }
    const uint32_t end = 16 * bar;
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 4, 0, kTicks};
    for (Track* t : {&lead, &bass, &keys, &drums}) {
        t->flush(end);
        uint32_t n = static_cast<uint32_t>(t->bytes.size());
        f.insert(f.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        f.insert(f.end(), t->bytes.begin(), t->bytes.end());
    }
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: assetgen <folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    fs::create_directories(root / "Gfx");
    fs::create_directories(root / "Sfx");
    bool ok = true;
    const Rgb colours[3] = {{205, 78, 52}, {72, 172, 84}, {66, 118, 214}};
    for (int n = 0; n < 3; ++n)
        ok = Crate(colours[n], n + 1).save(root / "Gfx" / ("Block" + std::to_string(n + 1) + ".bmp")) && ok;
    ok = Gem().save(root / "Gfx" / "Gem.bmp") && ok;
    for (int frame = 0; frame < 2; ++frame)
        for (bool pushing : {false, true}) {
            Image right = Figure(frame, pushing);
            std::string suffix = std::string(pushing ? "P_" : "_") + std::to_string(frame) + ".bmp";
            ok = right.save(root / "Gfx" / ("R" + suffix)) && ok;
            right.mirror();
            ok = right.save(root / "Gfx" / ("L" + suffix)) && ok;
        }
    ok = Background().save(root / "Gfx" / "Back.bmp") && ok;
    ok = WriteWave(root / "Sfx" / "Drop.wav", Drop()) && ok;
    ok = WriteWave(root / "Sfx" / "Move.wav", Move()) && ok;
    ok = WriteWave(root / "Sfx" / "Bonus.wav", Bonus()) && ok;
    ok = WriteMusic(root / "Sfx" / "music.mid") && ok;
    if (!ok) {
        std::fprintf(stderr, "assetgen: cannot write into %s\n", root.c_str());
        return 1;
    }
    return 0;
}
