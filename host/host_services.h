// The stand-in host runtime's services: the objects and facts the host hands a component when
// asked through its own "Execution" function. One process-wide instance owns them all.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "host/host_control.h"
#include "host/host_infolocale.h"
#include "host/host_strmemalloc.h"
#include "platform/iglobalfactory.h"

// The host's global factory: its first operation answers its version.
class CHostGlobalFactory : public IGlobalFactory {
 public:
  int nGetVersion() override { return m_nVersion; }
  virtual void SetVersion(int n) { m_nVersion = n; }

 private:
  int m_nVersion = 2;
};

class CHostServices final : public CHostControl {
 public:
  static CHostServices& Instance();

  // The host's own component function: answers the product facts and services.
  intptr_t Execution(unsigned int nCode, void* pArgument);

  CHostStrMemAlloc* Allocator() override { return &m_allocator; }
  CHostInfoLocale* Locale() override { return &m_locale; }
  CHostGlobalFactory* GlobalFactory() { return &m_factory; }
  long nLiveBlocks() override { return m_allocator.nLiveBlocks(); }
  long nAllocCalls() override { return m_allocator.nAllocCalls(true) + m_allocator.nAllocCalls(false); }
  void FailNextAllocations(int nCount) override { m_allocator.FailNext(nCount); }
  void SetAllocatorVersion(int nVersion) override { m_allocator.SetVersion(nVersion); }
  void SetCurrentLocale(int lcid, int codePage, int charset) override { m_locale.SetCurrent(lcid, codePage, charset); }
  void SetGlobalFactoryVersion(int nVersion) override { m_factory.SetVersion(nVersion); }
  std::vector<std::pair<unsigned int, intptr_t>> Calls() override;
  void ClearCalls() override;

 private:
  CHostServices() = default;

  CHostStrMemAlloc m_allocator;
  CHostInfoLocale m_locale;
  CHostGlobalFactory m_factory;
  int m_nMultithread = 0;
  // Stand-ins for host objects the runtime only keeps.
  char m_topology[16] = {};
  char m_componentInfo[16] = {};
  std::mutex m_mutex;
  std::vector<std::pair<unsigned int, intptr_t>> m_calls;
};

// Puts the stand-in services into the runtime's host statics, as the component start-up would:
// for unit tests that link the runtime statically.
void HostInstallServices();
