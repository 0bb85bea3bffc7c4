#include "Random.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace kest {

namespace {
uint32_t g_seed = 1;
bool g_fixed_seed_used = false;
}  // namespace

void RandSeed(uint32_t seed) { g_seed = seed; }

int Rand() {
  g_seed = g_seed * 22695477u + 1u;
  return int((g_seed >> 16) & 0x7FFFu);
}

uint32_t RandState() { return g_seed; }

void RandSeedFromTime() {
  // An unreadable VELMORA_SEED is ignored, as if it were not set.
  const char* fixed = std::getenv("VELMORA_SEED");
  if (fixed && *fixed) {
    char* end = nullptr;
    errno = 0;
    unsigned long long n = std::strtoull(fixed, &end, 10);
    if (errno == 0 && end != fixed && *end == '\0') {
      if (!g_fixed_seed_used) {
        g_fixed_seed_used = true;
        RandSeed(uint32_t(n));
      }
      return;
    }
  }
  RandSeed(uint32_t(std::time(nullptr)));
}

}  // namespace kest
