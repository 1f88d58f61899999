// The prime test against trial division, and the heap wrappers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/xmalloc.h"
#include "common/xmath.h"

namespace {

bool NaivePrime(unsigned long long n) {
  for (unsigned long long d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return n >= 2;
}

TEST(XMath, PrimeTestAgreesWithTrialDivision) {
  for (unsigned int n = 0; n <= 30000; ++n) ASSERT_EQ(CXMath::bEstPremier(n) != FALSE, NaivePrime(n)) << n;
  // Large primes, and products of two large factors (the division runs to its last divisors).
  std::vector<unsigned int> large = {4294967291u, 4294967279u, 2147483647u, 4294967295u, 4294967293u,
                                     65521u * 65537u, 65535u * 65535u};
  std::mt19937 rng(9);
  for (int i = 0; i < 300; ++i) large.push_back(static_cast<unsigned int>(rng()) | 1u);
  for (unsigned int n : large) EXPECT_EQ(CXMath::bEstPremier(n) != FALSE, NaivePrime(n)) << n;
}

TEST(XMalloc, ResizeKeepsTheBytesAndSizeZeroKeepsABlock) {
  char* p = static_cast<char*>(XMALLOC_pResize_(nullptr, 16));
  ASSERT_NE(p, nullptr);
  memcpy(p, "0123456789abcdef", 16);
  p = static_cast<char*>(XMALLOC_pResize_(p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memcmp(p, "0123456789abcdef", 16), 0);
  p[4095] = 0;
  void* q = XMALLOC_pResize_(p, 0);  // null here would leave the caller freeing p twice
  ASSERT_NE(q, nullptr);
  XMALLOC_Del_(q);
  XMALLOC_Del_(nullptr);
}

}  // namespace
