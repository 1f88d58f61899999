#include "platform/maincommun.h"

#include "platform/dllres.h"
#include "platform/executiondll.h"
#include "values/any_display.h"

HINSTANCE CMainCommun::ms_hModule = nullptr;
BOOL CMainCommun::ms_bInitialise = FALSE;

// The variant dump's captions are freed with the library.
void VariantDumpFreeResources() { CQXVariant::FreeQueryDumpRessources(); }

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
