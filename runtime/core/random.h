// The random generator: ISAAC over 256 words, run one whole batch per draw.
#pragma once

#include <cstdint>

struct __RandContext {
    uint32_t randcnt;
    uint32_t randrsl[256];
    uint32_t randmem[256];
    uint32_t randa, randb, randc;
};
extern __RandContext __g_ctx;

// Seeds the generator; the outcome depends on the seed alone at program start.
void KWsrand(uint32_t seed);
// The seed program start takes from a clock reading in milliseconds: the reading
// truncated toward zero to a 64-bit integer, of which the low 32 bits are kept, so a
// clock past 2^31 ms (about 25 days since boot) still seeds differently every run.
uint32_t __ClockSeed(double ms);
// Runs one generation step and returns the first word of the fresh batch.
uint32_t KWrand();
// Seeds the generator as program start does and fixes the seed: RANDOMIZE does nothing
// from then on (an unattended run's seed wins over the program's own).
void __FixSeed(uint32_t seed);

// A random whole number from 0 to n inclusive (n truncated). For a negative n the
// result lies between n and 0 inclusive: RND(-n) with the sign turned.
double RND(double n);

// Seeds the generator from the program, so that the RND sequence after it repeats: the
// whole state starts afresh, as at program start, from the seed truncated toward zero to
// a 64-bit integer (beyond that range it saturates; a NaN is 0) of which the low 32 bits
// are kept, as the clock seed is taken: RANDOMIZE(2.9) seeds as 2, RANDOMIZE(-1) as
// 4294967295. Does nothing once the seed is fixed (__FixSeed).
double RANDOMIZE(double seed);
