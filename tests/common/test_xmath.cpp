// Heap wrappers and the prime test.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/xmalloc.h"
#include "common/xmath.h"

namespace {

bool NaivePrime(unsigned long long n) {
  if (n < 2) return false;
  for (unsigned long long d = 2; d * d <= n; ++d) {
    if (n % d == 0) return false;
  }
  return true;
}

TEST(XMath, PrimeTestAgreesWithASieve) {
  const unsigned int limit = 200000;
  std::vector<bool> composite(limit + 1, false);
  composite[0] = composite[1] = true;
  for (unsigned int i = 2; i * i <= limit; ++i) {
    if (!composite[i]) {
      for (unsigned int j = i * i; j <= limit; j += i) composite[j] = true;
    }
  }
  for (unsigned int n = 0; n <= limit; ++n) {
    ASSERT_EQ(CXMath::bEstPremier(n) != FALSE, !composite[n]) << n;
  }
}

TEST(XMath, PrimeTestOnLargeValues) {
  for (unsigned int n : {4294967291u, 4294967279u, 2147483647u}) EXPECT_TRUE(CXMath::bEstPremier(n)) << n;
  // Products of two large factors: the trial division runs up to its last divisors.
  for (unsigned int n : {4294967295u, 4294967293u, 65521u * 65537u, 65535u * 65535u}) {
    EXPECT_FALSE(CXMath::bEstPremier(n)) << n;
  }
  std::mt19937 rng(9);
  for (int i = 0; i < 300; ++i) {
    const unsigned int n = static_cast<unsigned int>(rng()) | 1u;
    EXPECT_EQ(CXMath::bEstPremier(n) != FALSE, NaivePrime(n)) << n;
  }
}

TEST(XMalloc, ResizeAndDelete) {
  char* p = static_cast<char*>(XMALLOC_pResize_(nullptr, 16));
  ASSERT_NE(p, nullptr);
  memcpy(p, "0123456789abcdef", 16);
  p = static_cast<char*>(XMALLOC_pResize_(p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memcmp(p, "0123456789abcdef", 16), 0);
  p[4095] = 0;
  // Size 0 must not free the block while answering null: the caller still owns p.
  void* q = XMALLOC_pResize_(p, 0);
  ASSERT_NE(q, nullptr);
  XMALLOC_Del_(q);
  XMALLOC_Del_(nullptr);
}

}  // namespace
