#include "platform/executiondll.h"

#include <dlfcn.h>

#include <algorithm>

#include "platform/iglobalfactory.h"

CBaseExecutionDLL* gpclExecutionDLL32 = nullptr;
int CBaseExecutionDLL::ms_nNbInitialisation = 0;

namespace {

// Message 3985's block, pointer-sized words.
enum : int { BLOCK_FORMAT, BLOCK_HOST, BLOCK_USAGE1, BLOCK_USAGE2, BLOCK_LIBSHOP };
// Formats above this one carry the library shop.
constexpr intptr_t kFormatWithoutLibShop = 11;

template <typename T>
T* AsPointer(intptr_t answer) {
  return reinterpret_cast<T*>(answer);
}

int nGlobalFactoryVersion() {
  auto* factory = static_cast<IGlobalFactory*>(CInformationDLL::ms_piGlobalFactory);
  return factory != nullptr ? factory->nGetVersion() : 0;
}

}  // namespace

intptr_t CBaseExecutionDLL::nAskHost(intptr_t nQuery) const {
  return m_pfnHost != nullptr ? m_pfnHost(EXEC_HOST_QUERY, reinterpret_cast<void*>(nQuery)) : 0;
}

BOOL CBaseExecutionDLL::bQueryCommonServices(HINSTANCE hHost) {
  if (hHost == nullptr) return TRUE;
  m_hHost = hHost;
  m_pfnHost = reinterpret_cast<PFNEXECUTION>(dlsym(hHost, "Execution"));
  if (m_pfnHost == nullptr) return FALSE;
  ms_piGlobalFactory = AsPointer<void>(nAskHost(HOST_QUERY_GLOBAL_FACTORY));
  ms_piCollecteurTopo = AsPointer<void>(nAskHost(HOST_QUERY_TOPOLOGY_COLLECTOR));
  ms_piInfoLocale = AsPointer<IInfoLocale>(nAskHost(HOST_QUERY_LOCALE));
  ms_piStrMemAlloc = AsPointer<IStrMemAlloc>(nAskHost(HOST_QUERY_STRING_ALLOCATOR));
  ms_piInformationComposante = AsPointer<void>(nAskHost(HOST_QUERY_COMPONENT_INFORMATION));
  return TRUE;
}

void CBaseExecutionDLL::QueryProductFacts() {
  ms_nCodeProduitExecution = static_cast<int>(nAskHost(HOST_QUERY_PRODUCT_CODE));
  ms_nCodeProduitReel = static_cast<int>(nAskHost(HOST_QUERY_REAL_PRODUCT_CODE));
  ms_nLangueInterne = static_cast<int>(nAskHost(HOST_QUERY_INTERNAL_LANGUAGE));
  // Readers never expect a null name: a host without one leaves the default.
  if (const wchar_t* name = AsPointer<const wchar_t>(nAskHost(HOST_QUERY_PRODUCT_NAME)); name != nullptr)
    ms_pszNomProduit = name;
  ms_dwOptions = static_cast<DWORD>(nAskHost(HOST_QUERY_OPTIONS));
  ms_dwVersionActive = std::max(ms_dwVersionActive, static_cast<DWORD>(nAskHost(HOST_QUERY_ACTIVE_VERSION)));
  ms_pbMultithread = AsPointer<BOOL>(nAskHost(HOST_QUERY_MULTITHREAD_FLAG));
}

BOOL CBaseExecutionDLL::bInitialise(HINSTANCE hHost, ILibShop* piLibShop) {
  if (hHost != nullptr) {
    if (!bQueryCommonServices(hHost)) return FALSE;
    ms_piLibShop = piLibShop != nullptr ? piLibShop : AsPointer<ILibShop>(nAskHost(HOST_QUERY_LIBSHOP));
    QueryProductFacts();
  }
  return vbInitialiseDLL();
}

void CBaseExecutionDLL::Destroy() {
  delete gpclExecutionDLL32;
  gpclExecutionDLL32 = nullptr;
}

intptr_t CBaseExecutionDLL::s_nExecution(unsigned int nCode, void* pArgument) {
  CBaseExecutionDLL* self = gpclExecutionDLL32;
  switch (nCode) {
    case EXEC_INITIALISE: {
      const intptr_t* block = static_cast<const intptr_t*>(pArgument);
      if (block == nullptr) return 0;
      if (self == nullptr) {
        self = gpclExecutionDLL32 = new CBaseExecutionDLL;
        ILibShop* shop =
            block[BLOCK_FORMAT] > kFormatWithoutLibShop ? AsPointer<ILibShop>(block[BLOCK_LIBSHOP]) : nullptr;
        if (!self->bInitialise(AsPointer<HINSTANCE__>(block[BLOCK_HOST]), shop)) {
          // A failed start must not block the next attempt with the host.
          Destroy();
          return 0;
        }
      }
      self->vSetUtilisation(static_cast<unsigned int>(block[BLOCK_USAGE1]),
                            static_cast<unsigned int>(block[BLOCK_USAGE2]));
      ++ms_nNbInitialisation;
      return 1;
    }
    case EXEC_TERMINATE:
      if (ms_nNbInitialisation > 0 && --ms_nNbInitialisation > 0) return 1;
      if (self != nullptr) {
        self->m_bSansNotification = TRUE;
        self->vTermineDLL();
        Destroy();
      }
      return 1;
    case EXEC_SET_LOCALE:
      // A null service would break every later comparison: the current one stays.
      if (pArgument != nullptr) ms_piInfoLocale = static_cast<IInfoLocale*>(pArgument);
      return 1;
    case EXEC_CHANGE_LANGUAGE:
      if (self != nullptr) self->vChangeLangue();
      return 1;
    case EXEC_INIT_DYNAMIC_TYPES:
      if (nGlobalFactoryVersion() < 2) return 1;
      return self != nullptr && self->vbInitialiseTypeDINO(static_cast<CXError*>(pArgument)) ? 1 : 2;
    case EXEC_MEMORY_DUMP:
      return self != nullptr && self->vbDumpMemoire(static_cast<IDumpMemoire*>(pArgument)) ? 1 : 0;
    case EXEC_DEACTIVATE:
      if (self != nullptr) self->vDesactiveApplication();
      return 1;
    case EXEC_REACTIVATE:
      if (self != nullptr) self->vReactiveApplication();
      return 1;
    default:
      return 0;
  }
}

BOOL CBaseExecutionDLL::_bUtiliseNET() const { return nAskHost(HOST_QUERY_DOTNET) != 0 ? TRUE : FALSE; }

HINSTANCE CBaseExecutionDLL::s_hGetHinstanceVM() {
  return gpclExecutionDLL32 != nullptr ? gpclExecutionDLL32->m_hHost : nullptr;
}

int CBaseExecutionDLL::s_eGetModeSmartphone() {
  return gpclExecutionDLL32 != nullptr ? static_cast<int>(gpclExecutionDLL32->nAskHost(HOST_QUERY_SMARTPHONE_MODE))
                                       : 0;
}

BOOL CBaseExecutionDLL::s_bRemplitPileC(int n1, wchar_t* pszBuffer, int n2, int n3) {
  if (gpclExecutionDLL32 == nullptr || gpclExecutionDLL32->m_pfnHost == nullptr) return FALSE;
  struct {
    int n1;
    wchar_t* pszBuffer;
    int n2;
    int n3;
  } request{n1, pszBuffer, n2, n3};
  return gpclExecutionDLL32->m_pfnHost(EXEC_HOST_CALL_STACK, &request) != 0 ? TRUE : FALSE;
}

void CBaseExecutionDLL::s_InitLibShopMoiMeme() {
  if (gpclExecutionDLL32 != nullptr && ms_piLibShop == nullptr)
    ms_piLibShop = AsPointer<ILibShop>(gpclExecutionDLL32->nAskHost(HOST_QUERY_LIBSHOP));
}

BOOL CBaseExecutionDLL::s_bInitialiseMoiMeme(HINSTANCE__* hHost) {
  if (gpclExecutionDLL32 != nullptr) return TRUE;
  CBaseExecutionDLL* self = gpclExecutionDLL32 = new CBaseExecutionDLL;
  const BOOL ok = self->bQueryCommonServices(hHost) && self->vbInitialiseDLL();
  self->m_bSansNotification = TRUE;
  return ok;
}

void CBaseExecutionDLL::s_TermineMoiMeme() { Destroy(); }

void CBaseExecutionDLL::s_TermineDLL() {
  CBaseExecutionDLL* self = gpclExecutionDLL32;
  if (self == nullptr || self->m_bSansNotification || self->m_pfnHost == nullptr) return;
  self->m_pfnHost(EXEC_HOST_END_NOTICE, nullptr);
  Destroy();
}

intptr_t Execution(unsigned int nCode, void* pArgument) { return CBaseExecutionDLL::s_nExecution(nCode, pArgument); }
