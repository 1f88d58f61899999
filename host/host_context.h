// Stand-ins for the host's context and for the host services the driver only keeps.
#pragma once

#include "driver/nahost.h"

// The driver keeps these without calling them.
class ILibShop {};
class IVMData {};

class CHostContext final : public INAContext {
 public:
  CHostContext(DWORD ctx, DWORD data) : m_dwCtx(ctx), m_dwData(data) {}
  DWORD dwGetCtxID() const override { return m_dwCtx; }
  DWORD dwGetDataID() const override { return m_dwData; }

 private:
  DWORD m_dwCtx;
  DWORD m_dwData;
};
