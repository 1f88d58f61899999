#include "platform/maincommun.h"

#include "platform/dllres.h"
#include "platform/executiondll.h"

HINSTANCE CMainCommun::ms_hModule = nullptr;
BOOL CMainCommun::ms_bInitialise = FALSE;

// The variant dump's captions will be freed here once the variant layer keeps them.
void VariantDumpFreeResources() {}

BOOL CMainCommun::bInitLibraryCommon(HINSTANCE__* hModule) {
  if (!ms_bInitialise) {
    ms_hModule = hModule;
    DLLRES_bInit(nullptr, 0);
    ms_bInitialise = TRUE;
  }
  return TRUE;
}

BOOL CMainCommun::bTermLibraryCommon() {
  if (ms_bInitialise) {
    ms_bInitialise = FALSE;
    VariantDumpFreeResources();
    CBaseExecutionDLL::s_TermineDLL();
    DLLRES_Term();
  }
  return TRUE;
}
