// Stand-ins for the host objects a variant value refers to, counting their references: one with
// add-reference and release, one with a count after its table pointer.
#pragma once

#include "values/any_types.h"

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
