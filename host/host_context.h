// Stand-ins for the host's context and for the host services the driver only keeps.
#pragma once

#include <atomic>

#include "driver/nahost.h"

// The driver keeps these without calling them.
class ILibShop {};
class IVMData {};

// One file of one host context, counting how often the driver asks for its two ids.
class CHostContext final : public INAContext {
 public:
  CHostContext(DWORD ctx, DWORD data) : m_dwCtx(ctx), m_dwData(data) {}
  DWORD dwGetCtxID() const override {
    ++m_nCtxCalls;
    return m_dwCtx;
  }
  DWORD dwGetDataID() const override {
    ++m_nDataCalls;
    return m_dwData;
  }

  int nCalls() const { return m_nCtxCalls + m_nDataCalls; }
  void ResetCalls() { m_nCtxCalls = m_nDataCalls = 0; }

 private:
  DWORD m_dwCtx;
  DWORD m_dwData;
  mutable std::atomic<int> m_nCtxCalls{0};
  mutable std::atomic<int> m_nDataCalls{0};
};
