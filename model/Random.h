// The one pseudo-random generator of a process, shared by dealing, dice and
// the scripts' random numbers: seed = seed * 22695477 + 1 (mod 2^32),
// value = (seed >> 16) & 0x7FFF.
#pragma once

#include <cstdint>

namespace kest {

void RandSeed(uint32_t seed);
// 0..32767
int Rand();
uint32_t RandState();

// Seeds from the time of day in seconds. When VELMORA_SEED=n is set the first
// such seeding uses n and later ones leave the generator as it is, so that a
// whole session's deals and dice replay.
void RandSeedFromTime();

}  // namespace kest
