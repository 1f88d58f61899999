// Stand-ins for the host's context and for the host services the driver only keeps.
#pragma once

#include "driver/nahost.h"

// The driver keeps these without calling them.
class ILibShop {};
class IVMData {};

// One file of one host context. Its getters only answer, as the host's own do: the driver asks
// both ids at every entry, so what they cost is counted in every benchmark of the driver.
class CHostContext final : public INAContext {
 public:
  CHostContext(DWORD ctx, DWORD data) : m_dwCtx(ctx), m_dwData(data) {}
  DWORD dwGetCtxID() const override { return m_dwCtx; }
  DWORD dwGetDataID() const override { return m_dwData; }

 private:
  DWORD m_dwCtx;
  DWORD m_dwData;
};
