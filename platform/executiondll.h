// The component object and the module's exported "Execution", through which the host's component
// manager starts and ends the runtime. At most one CBaseExecutionDLL exists, owned by the module
// and pointed to by gpclExecutionDLL32; the host services it asks for at start-up are kept in the
// statics of CInformationDLL and stay after the object ends.
#pragma once

#include <cstdint>

#include "platform/component.h"
#include "platform/information_dll.h"
#include "platform/wintypes.h"

class CXError;
class IDumpMemoire;

class CBaseExecutionDLL : public CInformationDLL {
 public:
  CBaseExecutionDLL() = default;
  virtual ~CBaseExecutionDLL() = default;
  CBaseExecutionDLL(const CBaseExecutionDLL&) = delete;
  CBaseExecutionDLL& operator=(const CBaseExecutionDLL&) = delete;

  // Hooks for derived components; here they do no work.
  virtual BOOL vbInitialiseDLL() { return TRUE; }
  virtual void vSetUtilisation(unsigned int, unsigned int) {}
  virtual void vTermineDLL() {}
  virtual void vChangeLangue() {}
  virtual void vDesactiveApplication() {}
  virtual void vReactiveApplication() {}
  virtual BOOL vbInitialiseTypeDINO(CXError*) { return TRUE; }
  virtual BOOL vbDumpMemoire(IDumpMemoire*) { return FALSE; }

  // Stores the handle, finds the host's "Execution" in it and asks the host for its services
  // (none asked for a null handle). FALSE when the handle has no "Execution" or the hook refuses.
  BOOL bInitialise(HINSTANCE hHost, ILibShop* piLibShop);

  HINSTANCE hGetHostModule() const { return m_hHost; }
  PFNEXECUTION pfnGetHostExecution() const { return m_pfnHost; }
  // Whether the host runs on .NET, asked each time; FALSE without a host function.
  BOOL _bUtiliseNET() const;

  // The message dispatcher behind the exported "Execution".
  static intptr_t s_nExecution(unsigned int nCode, void* pArgument);

  // Each answers 0 or does nothing without an object or a host function.
  static HINSTANCE s_hGetHinstanceVM();
  static int s_eGetModeSmartphone();
  static BOOL s_bRemplitPileC(int n1, wchar_t* pszBuffer, int n2, int n3);
  static void s_InitLibShopMoiMeme();
  // For a module that starts itself: TRUE when an object exists, else creates one with the common
  // queries only; such an object is never announced to the host at its end.
  static BOOL s_bInitialiseMoiMeme(HINSTANCE__* hHost);
  static void s_TermineMoiMeme();
  // Ends an object created by message 3985 with the end notice to the host; leaves others alone.
  static void s_TermineDLL();

  // Counted by messages 3985 (up) and 4875 (down).
  static int ms_nNbInitialisation;

 private:
  intptr_t nAskHost(intptr_t nQuery) const;
  BOOL bQueryCommonServices(HINSTANCE hHost);
  void QueryProductFacts();
  static void Destroy();

  HINSTANCE m_hHost = nullptr;
  PFNEXECUTION m_pfnHost = nullptr;
  BOOL m_bSansNotification = FALSE;  // no end notice to the host
};

extern CBaseExecutionDLL* gpclExecutionDLL32;

extern "C" {
// Message 3985's argument: pointer-sized words {format, host handle, usage 1, usage 2, library
// shop (only when format > 11)}.
__attribute__((visibility("default"))) intptr_t Execution(unsigned int nCode, void* pArgument);
}
