// Helpers of the host string tests: building and reading values, the block header, and failures
// injected at every allocation point (the runtime's allocator is swapped for a wrapper that makes
// the stand-in fail exactly the k-th allocation or reallocation).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/xystring.h"
#include "common/zvbin.h"
#include "host/host_services.h"
#include "platform/information_dll.h"
#include "platform/istrmemalloc.h"

using AStr = CXYString<char>;
using WStr = CXYString<wchar_t>;

inline AStr A(const std::string& s) {
  AStr v;
  EXPECT_EQ(v.nAffecte(s.data(), static_cast<int>(s.size())), 0);
  return v;
}
inline WStr W(const std::wstring& s) {
  WStr v;
  EXPECT_EQ(v.nAffecteConversion(s.data(), static_cast<int>(s.size())), 0);
  return v;
}
inline CZVBIN B(const std::string& s) { return CZVBIN(s.data(), static_cast<int>(s.size())); }

inline std::string Text(const AStr& s) { return std::string(s.pszGet(), static_cast<size_t>(s.nGetLength())); }
inline std::wstring Text(const WStr& s) { return std::wstring(s.pszGet(), static_cast<size_t>(s.nGetLength())); }
inline std::string Text(const CZVBIN& b) {
  return b.pGetData() != nullptr ? std::string(reinterpret_cast<const char*>(b.pGetData()), b.nGetSize()) : "";
}

inline int32_t Count(const void* p) { return StrMemHeader(const_cast<void*>(p))->nRefCount; }
// Flags as the host may hand them over (bit 0: end marker; other bits the host's own).
inline void SetFlags(const void* p, uint32_t flags) { StrMemHeader(const_cast<void*>(p))->dwFlags = flags; }

inline CHostStrMemAlloc& StandIn() { return *CHostServices::Instance().Allocator(); }

class CFailAt final : public IStrMemAlloc {
 public:
  explicit CFailAt(int k) : m_nFailAt(k), m_pSaved(CInformationModule::ms_piStrMemAlloc) {
    CInformationModule::ms_piStrMemAlloc = this;
  }
  ~CFailAt() { CInformationModule::ms_piStrMemAlloc = m_pSaved; }
  CFailAt(const CFailAt&) = delete;
  CFailAt& operator=(const CFailAt&) = delete;

  int nGetVersion() override { return StandIn().nGetVersion(); }
  int nAllocStrMemOld(void** pp, uint32_t n) override { return Arm(), StandIn().nAllocStrMemOld(pp, n); }
  int nReallocStrMemOld(void** pp, uint32_t n) override { return Arm(), StandIn().nReallocStrMemOld(pp, n); }
  void FreeStrMem(void* p) override { StandIn().FreeStrMem(p); }
  int nAllocStrMemNew(void** pp, uint32_t n, uint32_t o) override { return Arm(), StandIn().nAllocStrMemNew(pp, n, o); }
  int nReallocStrMemNew(void** pp, uint32_t n, uint32_t o) override {
    return Arm(), StandIn().nReallocStrMemNew(pp, n, o);
  }
  int nCalls() const { return m_nCalls; }

 private:
  void Arm() { if (++m_nCalls == m_nFailAt) StandIn().FailNext(1); }
  int m_nFailAt;
  int m_nCalls = 0;
  IStrMemAlloc* m_pSaved;
};

// One allocating operation on a state S: setup builds the state (allocations not counted), op
// runs the operation and returns its result (kNoResult for one that has none), failed checks the
// state after a failure. FAILURE_CASE names a row after its setup and operation; SET and RUN
// write the other lambdas of a row.
constexpr int kNoResult = -12345;
template <typename S>
struct FailureCase {
  std::string name;
  std::function<void(S&)> setup;
  std::function<int(S&)> op;
  std::function<void(S&)> failed;
};
#define SET(...) [](auto& s) { __VA_ARGS__; }
#define RUN(...) [](auto& s) { return __VA_ARGS__; }
#define FAILURE_CASE(setup, failed, ...) {#setup ": " #__VA_ARGS__, setup, RUN(__VA_ARGS__), failed}

// Runs each case under allocator version `version`: the operation must succeed and use only the
// slots of that version; then each allocation point made to fail must give the allocator's code,
// leave the state as `failed` says and leak nothing.
template <typename S>
void ExpectCleanFailures(const std::vector<FailureCase<S>>& cases, int version) {
  StandIn().SetVersion(version);
  for (const FailureCase<S>& c : cases) {
    SCOPED_TRACE(c.name + " (allocator version " + std::to_string(version) + ")");
    const long live = StandIn().nLiveBlocks();
    int points = 0;
    for (int k = 0; k <= points; ++k) {  // k 0: nothing fails, the allocation points are counted
      SCOPED_TRACE("allocation point " + std::to_string(k));
      S s;
      c.setup(s);
      const long calls[2] = {StandIn().nAllocCalls(false), StandIn().nAllocCalls(true)};
      int r = 0;
      {
        CFailAt at(k);
        r = c.op(s);
        points = k == 0 ? at.nCalls() : points;
      }
      StandIn().FailNext(0);
      EXPECT_EQ(r, r == kNoResult ? r : k == 0 ? 0 : CHostStrMemAlloc::kErrNoMemory);
      if (k > 0) {
        c.failed(s);
      } else {
        EXPECT_GT(points, 0) << "the operation allocated nothing";
        EXPECT_EQ(StandIn().nAllocCalls(version >= 2) - calls[version >= 2], points);
        EXPECT_EQ(StandIn().nAllocCalls(version < 2), calls[version < 2]) << "wrong slots";
      }
    }
    EXPECT_EQ(StandIn().nLiveBlocks(), live) << "blocks leaked";
  }
  StandIn().SetVersion(2);
}
