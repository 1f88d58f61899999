// Small arithmetic helpers of the common runtime.
#pragma once

#include "platform/wintypes.h"

class CXMath {
 public:
  // Primality by trial division (the hash tables pick their bucket counts with it).
  static BOOL bEstPremier(unsigned int n);
};
