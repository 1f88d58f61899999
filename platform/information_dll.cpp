#include "platform/information_dll.h"

IStrMemAlloc* CInformationModule::ms_piStrMemAlloc = nullptr;

IInfoLocale* CInformationDLL::ms_piInfoLocale = nullptr;
void* CInformationDLL::ms_piGlobalFactory = nullptr;
void* CInformationDLL::ms_piCollecteurTopo = nullptr;
void* CInformationDLL::ms_piInformationComposante = nullptr;
ILibShop* CInformationDLL::ms_piLibShop = nullptr;
int CInformationDLL::ms_nCodeProduitExecution = 0;
int CInformationDLL::ms_nCodeProduitReel = 0;
int CInformationDLL::ms_nLangueInterne = 12;
const wchar_t* CInformationDLL::ms_pszNomProduit = L"Quenda";
DWORD CInformationDLL::ms_dwOptions = 0;
DWORD CInformationDLL::ms_dwVersionActive = 20;
BOOL* CInformationDLL::ms_pbMultithread = nullptr;
