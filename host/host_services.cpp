#include "host/host_services.h"

#include "platform/component.h"

namespace {
constexpr int kProductCode = 3;
constexpr int kInternalLanguage = 12;
constexpr int kActiveVersion = 20;
const wchar_t kProductName[] = L"Quenda";
}  // namespace

CHostServices& CHostServices::Instance() {
  static CHostServices* services = new CHostServices();  // never destroyed: modules may outlive main
  return *services;
}

std::vector<std::pair<unsigned int, intptr_t>> CHostServices::Calls() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_calls;
}

void CHostServices::ClearCalls() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_calls.clear();
}

intptr_t CHostServices::Execution(unsigned int nCode, void* pArgument) {
  const intptr_t arg = reinterpret_cast<intptr_t>(pArgument);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.emplace_back(nCode, arg);
  }
  if (nCode == EXEC_HOST_END_NOTICE || nCode == EXEC_HOST_CALL_STACK) return 0;
  if (nCode != EXEC_HOST_QUERY) return 0;
  switch (arg) {
    case HOST_QUERY_PRODUCT_CODE:
    case HOST_QUERY_REAL_PRODUCT_CODE: return kProductCode;
    case HOST_QUERY_INTERNAL_LANGUAGE: return kInternalLanguage;
    case HOST_QUERY_PRODUCT_NAME: return reinterpret_cast<intptr_t>(kProductName);
    case HOST_QUERY_OPTIONS: return 0;
    case HOST_QUERY_DOTNET: return 0;
    case HOST_QUERY_LIBSHOP: return 0;
    case HOST_QUERY_ACTIVE_VERSION: return kActiveVersion;
    case HOST_QUERY_GLOBAL_FACTORY: return reinterpret_cast<intptr_t>(static_cast<IGlobalFactory*>(&m_factory));
    case HOST_QUERY_TOPOLOGY_COLLECTOR: return reinterpret_cast<intptr_t>(m_topology);
    case HOST_QUERY_SMARTPHONE_MODE: return 0;
    case HOST_QUERY_LOCALE: return reinterpret_cast<intptr_t>(static_cast<IInfoLocale*>(&m_locale));
    case HOST_QUERY_STRING_ALLOCATOR: return reinterpret_cast<intptr_t>(static_cast<IStrMemAlloc*>(&m_allocator));
    case HOST_QUERY_MULTITHREAD_FLAG: return reinterpret_cast<intptr_t>(&m_nMultithread);
    case HOST_QUERY_COMPONENT_INFORMATION: return reinterpret_cast<intptr_t>(m_componentInfo);
    default: return 0;
  }
}
