#include "common/xmath.h"

BOOL CXMath::bEstPremier(unsigned int n) {
  if (n < 2) return FALSE;
  if (n == 2) return TRUE;
  if (n % 2 == 0) return FALSE;
  if (n < 9) return TRUE;
  if (n % 3 == 0) return FALSE;
  // n / d < d means d * d > n without the product overflowing.
  for (unsigned int d = 5;; d += 2) {
    if (n / d < d) return TRUE;
    if (n % d == 0) return FALSE;
  }
}
