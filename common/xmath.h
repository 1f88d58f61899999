// Small arithmetic helpers of the common runtime.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class CXMath {
 public:
  // Primality by trial division (the hash tables pick their bucket counts with it).
  static BOOL bEstPremier(unsigned int n);
  // 10^0 .. 10^18: every power of ten a 64-bit unsigned value holds.
  static constexpr uint64_t kPow10[19] = {1ULL,
                                          10ULL,
                                          100ULL,
                                          1000ULL,
                                          10000ULL,
                                          100000ULL,
                                          1000000ULL,
                                          10000000ULL,
                                          100000000ULL,
                                          1000000000ULL,
                                          10000000000ULL,
                                          100000000000ULL,
                                          1000000000000ULL,
                                          10000000000000ULL,
                                          100000000000000ULL,
                                          1000000000000000ULL,
                                          10000000000000000ULL,
                                          100000000000000000ULL,
                                          1000000000000000000ULL};
};
