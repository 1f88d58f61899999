// What the variant tests share: every type code the value layer has a class for, and stand-ins
// for the host objects a value refers to, counting their references (one with add-reference and
// release, one with a count after its table pointer).
#pragma once

#include "values/any_types.h"

inline constexpr unsigned short kAllCodes[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,   10,  11,  12,
                                               13, 14, 16, 17, 18, 19, 24, 25, 26,  27,  28,  29,
                                               30, 50, 65, 81, 83, 108, 110, 111, 128, 129, 141};

struct HostObject final : IHostObject {
  void AddRef() override { ++nRef; }
  void Release() override { --nRef; }
  int nRef = 1;
};
struct HostCounted final : IHostCounted {
  HostCounted() { m_nRef = 1; }
  void vSlot0() override {}
  void vSlot1() override {}
  void Release() override { --m_nRef; }
};
