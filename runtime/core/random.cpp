#include "core/random.h"

#include <cmath>

#include "core/numbers.h"

__RandContext __g_ctx = {};

namespace {

// Set by an unattended run's seed: RANDOMIZE leaves the generator alone.
bool g_seedFixed = false;

#define ISAAC_MIX(a, b, c, d, e, f, g, h) \
    {                                     \
        a ^= b << 11; d += a; b += c;     \
        b ^= c >> 2;  e += b; c += d;     \
        c ^= d << 8;  f += c; d += e;     \
        d ^= e >> 16; g += d; e += f;     \
        e ^= f << 10; h += e; f += g;     \
        f ^= g >> 4;  a += f; g += h;     \
        g ^= h << 8;  b += g; h += a;     \
        h ^= a >> 9;  c += h; a += b;     \
    }

inline uint32_t Ind(const uint32_t* mm, uint32_t x) { return mm[(x >> 2) & 0xFF]; }

// One generation step: renews all 256 words of randmem and randrsl.
void Generate(__RandContext& ctx) {
    uint32_t* m = ctx.randmem;
    uint32_t* r = ctx.randrsl;
    uint32_t a = ctx.randa;
    uint32_t b = ctx.randb + (++ctx.randc);
    auto step = [&](int i, uint32_t mix, int other) {
        uint32_t x = m[i];
        a = (a ^ mix) + m[other];
        uint32_t y = Ind(m, x) + a + b;
        m[i] = y;
        b = Ind(m, y >> 8) + x;
        r[i] = b;
    };
    for (int i = 0; i < 256; i += 4) {
        int half = i < 128 ? 128 : -128;
        step(i, a << 13, i + half);
        step(i + 1, a >> 6, i + 1 + half);
        step(i + 2, a << 2, i + 2 + half);
        step(i + 3, a >> 16, i + 3 + half);
    }
    ctx.randa = a;
    ctx.randb = b;
}

}  // namespace

void KWsrand(uint32_t seed) {
    __RandContext& ctx = __g_ctx;
    ctx.randa = ctx.randb = ctx.randc = 0;
    uint32_t a, b, c, d, e, f, g, h;
    a = b = c = d = e = f = g = h = 0x9e3779b9u;
    uint32_t* m = ctx.randmem;
    for (int i = 0; i < 256; i += 8) {
        a += seed;
        ISAAC_MIX(a, b, c, d, e, f, g, h);
        m[i] = a; m[i + 1] = b; m[i + 2] = c; m[i + 3] = d;
        m[i + 4] = e; m[i + 5] = f; m[i + 6] = g; m[i + 7] = h;
    }
    for (int k = 0; k < 4; ++k) ISAAC_MIX(a, b, c, d, e, f, g, h);
    for (int pass = 0; pass < 2; ++pass) {
        const uint32_t* src = pass == 0 ? ctx.randrsl : ctx.randmem;
        for (int i = 0; i < 256; i += 8) {
            a += src[i]; b += src[i + 1]; c += src[i + 2]; d += src[i + 3];
            e += src[i + 4]; f += src[i + 5]; g += src[i + 6]; h += src[i + 7];
            ISAAC_MIX(a, b, c, d, e, f, g, h);
            m[i] = a; m[i + 1] = b; m[i + 2] = c; m[i + 3] = d;
            m[i + 4] = e; m[i + 5] = f; m[i + 6] = g; m[i + 7] = h;
        }
    }
    Generate(ctx);
    ctx.randcnt = 256;
}

uint32_t __ClockSeed(double ms) { return static_cast<uint32_t>(static_cast<uint64_t>(__TruncInt64(ms))); }

uint32_t KWrand() {
    Generate(__g_ctx);
    return __g_ctx.randrsl[0];
}

namespace {
// Seeding mixes in the last batch of results: cleared first, the sequence depends on
// the seed alone.
void Reseed(uint32_t seed) {
    __g_ctx = {};
    KWsrand(seed);
}
}  // namespace

void __FixSeed(uint32_t seed) {
    Reseed(seed);
    g_seedFixed = true;
}

double RANDOMIZE(double seed) {
    if (!g_seedFixed) Reseed(__ClockSeed(seed));
    return 0;
}

double RND(double n) {
    uint32_t r = KWrand();
    int64_t k = __TruncInt64(n);
    if (k >= 0) {
        uint32_t m = static_cast<uint32_t>(k) + 1u;
        return m == 0 ? static_cast<double>(r) : static_cast<double>(r % m);
    }
    // Mirror of the positive range; |k| + 1 is taken with the same 32-bit divisor rule.
    uint64_t mag = k == INT64_MIN ? (1ULL << 63) : static_cast<uint64_t>(-k);
    uint32_t m = static_cast<uint32_t>(mag) + 1u;
    return -(m == 0 ? static_cast<double>(r) : static_cast<double>(r % m));
}
