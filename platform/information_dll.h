// Process-wide pointers to the services and facts the host hands over at component start-up.
// The host owns every object pointed to; the runtime holds no reference and never resets them.
// Written once by the start-up (and the locale service again by message 4878), read without a lock.
#pragma once

#include "platform/wintypes.h"

class IStrMemAlloc;
class IInfoLocale;
class ILibShop;

class CInformationModule {
 public:
  static IStrMemAlloc* ms_piStrMemAlloc;
};

class CInformationDLL : public CInformationModule {
 public:
  static IInfoLocale* ms_piInfoLocale;
  static void* ms_piGlobalFactory;
  static void* ms_piCollecteurTopo;
  static void* ms_piInformationComposante;
  static ILibShop* ms_piLibShop;
  static int ms_nCodeProduitExecution;
  static int ms_nCodeProduitReel;
  static int ms_nLangueInterne;
  static const wchar_t* ms_pszNomProduit;
  static DWORD ms_dwOptions;
  static DWORD ms_dwVersionActive;
  static BOOL* ms_pbMultithread;
};
