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
    Count(m_nCtxCalls);
    return m_dwCtx;
  }
  DWORD dwGetDataID() const override {
    Count(m_nDataCalls);
    return m_dwData;
  }

  int nCalls() const { return m_nCtxCalls + m_nDataCalls; }
  void ResetCalls() { m_nCtxCalls = m_nDataCalls = 0; }

 private:
  // A context is one thread's at a time, so a locked increment would only add the cost of a bus
  // lock to every driver entry, which the host's own getters do not have.
  static void Count(std::atomic<int>& n) { n.store(n.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

  DWORD m_dwCtx;
  DWORD m_dwData;
  mutable std::atomic<int> m_nCtxCalls{0};
  mutable std::atomic<int> m_nDataCalls{0};
};
