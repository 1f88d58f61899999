// Start and end of the common runtime, called by the driver's library entry points. Owns only
// the module handle and the initialised flag; ending also ends the component object.
#pragma once

#include "platform/wintypes.h"

class CMainCommun {
 public:
  // First call only: keeps the handle and initialises the resource texts. Always TRUE.
  static BOOL bInitLibraryCommon(HINSTANCE__* hModule);
  // After an init only: frees the variant dump's captions, ends the component object (notice to
  // the host) and the resource texts. Always TRUE.
  static BOOL bTermLibraryCommon();

  static HINSTANCE ms_hModule;
  static BOOL ms_bInitialise;
};

// Frees the captions the variant dump keeps.
void VariantDumpFreeResources();
