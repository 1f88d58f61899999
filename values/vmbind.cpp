#include "values/vmbind.h"

#include <dlfcn.h>

PFNVMCONVERSION gpfnConvDepExt = nullptr;
PFNVMFINCONVERSION gpfnFinConv = nullptr;
void* ghConvVM = nullptr;
int gnVersionConvVM = 0;
int gnVersionCompatConvVM = 0;

PFNVMCANCOMPARE gpfnCompareEx = nullptr;
PFNVMRESULTTYPE gpfnGetTypeAjouteEx = nullptr;
PFNVMRESULTTYPE gpfnGetTypeSoustraitEx = nullptr;
PFNVMRESULTTYPE gpfnGetTypeMultiplieEx = nullptr;
PFNVMRESULTTYPE gpfnGetTypeDiviseEx = nullptr;
PFNVMRESULTTYPE gpfnGetTypeModuloEx = nullptr;
PFNVMCOMPARE gpfnComparaisonEx = nullptr;
PFNVMCOMPARE gpfnEgaliteEx = nullptr;
PFNVMCOMPARE gpfnSuperieurEx = nullptr;
PFNVMCOMPARE gpfnInferieurEx = nullptr;
PFNVMCOMPARE gpfnPresqueEgalEx = nullptr;
PFNVMCOMPARE gpfnSoupleEgalEx = nullptr;
PFNVMCOMPARE gpfnCommenceParEx = nullptr;
PFNVMCOMPARE gpfnCommenceParSoupleEx = nullptr;
PFNVMCOMPARE gpfnCommenceParTresSoupleEx = nullptr;
PFNVMCOMPARE gpfnContientEx = nullptr;
PFNVMCOMPARE gpfnContientSoupleEx = nullptr;
PFNVMCOMPARE gpfnContientTresSoupleEx = nullptr;
PFNVMCOMPARE gpfnTermineParEx = nullptr;
PFNVMCOMPARE gpfnTermineParSoupleEx = nullptr;
PFNVMCOMPARE gpfnTermineParTresSoupleEx = nullptr;
PFNVMCOMPARE gpfnETLogiqueEx = nullptr;
PFNVMCOMPARE gpfnOULogiqueEx = nullptr;
PFNVMNOT gpfnNONLogiqueEx = nullptr;
PFNVMNEGATION gpfnNegationEx = nullptr;
PFNVMARITHMETIC gpfnAdditionEx = nullptr;
PFNVMARITHMETIC gpfnSoustractionEx = nullptr;
PFNVMARITHMETIC gpfnMultiplicationEx = nullptr;
PFNVMARITHMETIC gpfnDivisionEx = nullptr;
PFNVMARITHMETIC gpfnModuloEx = nullptr;
void* ghCalcVM = nullptr;
int gnVersionCalcVM = 0;
int gnVersionCompatCalcVM = 0;

IDecimalFactory* gpiVMFactory = nullptr;

namespace {

// The VM generations this runtime speaks to.
bool bVersionAccepted(int nVersion, int nCompat) { return nCompat < 3 && nVersion >= 2; }

// Stores the module's function of that name into *ppfn; false, *ppfn untouched, when absent.
template <typename F>
bool bBind(void* hVM, const char* name, F* ppfn) {
  void* p = dlsym(hVM, name);
  if (p == nullptr) return false;
  *ppfn = reinterpret_cast<F>(p);
  return true;
}

template <typename F>
struct STBinding {
  const char* name;
  F* ppfn;
};

}  // namespace

BOOL bInitFactory(void* hVM) {
  PFNVMQUERYPROXY pfnQueryProxy = nullptr;
  if (!bBind(hVM, "pQueryProxy", &pfnQueryProxy)) return FALSE;
  // Every DECIMAL value is made through the factory: a VM without one cannot serve them.
  auto* piFactory = static_cast<IDecimalFactory*>(pfnQueryProxy(VM_PROXY_DECIMAL_FACTORY));
  if (piFactory == nullptr) return FALSE;
  gpiVMFactory = piFactory;
  return TRUE;
}

BOOL bInitZVConvFromVM(void* hVM, int nVersion, int nCompat) {
  if (!bVersionAccepted(nVersion, nCompat)) return FALSE;
  if (!bBind(hVM, "nConversionDepassementExt", &gpfnConvDepExt)) return FALSE;
  if (!bBind(hVM, "FinConversion", &gpfnFinConv)) return FALSE;
  ghConvVM = hVM;
  gnVersionCompatConvVM = nCompat;
  gnVersionConvVM = nVersion;
  return bInitFactory(hVM);
}

BOOL bInitZVCalcFromVM(void* hVM, int nVersion, int nCompat) {
  if (!bVersionAccepted(nVersion, nCompat)) return FALSE;
  // Binding order is the host's: the names before a missing one end up bound.
  if (!bBind(hVM, "bCanCompareEx", &gpfnCompareEx)) return FALSE;
  const STBinding<PFNVMRESULTTYPE> types[] = {
    {"wAjouteEx", &gpfnGetTypeAjouteEx},       {"wSoustraitEx", &gpfnGetTypeSoustraitEx},
    {"wMultiplieEx", &gpfnGetTypeMultiplieEx}, {"wDiviseEx", &gpfnGetTypeDiviseEx},
    {"wModuloEx", &gpfnGetTypeModuloEx},
  };
  for (const auto& b : types)
    if (!bBind(hVM, b.name, b.ppfn)) return FALSE;
  const STBinding<PFNVMCOMPARE> compares[] = {
    {"nComparaisonEx", &gpfnComparaisonEx},
    {"nEgaliteEx", &gpfnEgaliteEx},
    {"nSuperieurEx", &gpfnSuperieurEx},
    {"nInferieurEx", &gpfnInferieurEx},
    {"nPresqueEgalEx", &gpfnPresqueEgalEx},
    {"nSoupleEgalEx", &gpfnSoupleEgalEx},
    {"nCommenceParEx", &gpfnCommenceParEx},
    {"nCommenceParSoupleEx", &gpfnCommenceParSoupleEx},
    {"nCommenceParTresSoupleEx", &gpfnCommenceParTresSoupleEx},
    {"nContientEx", &gpfnContientEx},
    {"nContientSoupleEx", &gpfnContientSoupleEx},
    {"nContientTresSoupleEx", &gpfnContientTresSoupleEx},
    {"nTermineParEx", &gpfnTermineParEx},
    {"nTermineParSoupleEx", &gpfnTermineParSoupleEx},
    {"nTermineParTresSoupleEx", &gpfnTermineParTresSoupleEx},
    {"nETLogiqueEx", &gpfnETLogiqueEx},
    {"nOULogiqueEx", &gpfnOULogiqueEx},
  };
  for (const auto& b : compares)
    if (!bBind(hVM, b.name, b.ppfn)) return FALSE;
  if (!bBind(hVM, "nNONLogiqueEx", &gpfnNONLogiqueEx)) return FALSE;
  if (!bBind(hVM, "nNegationEx", &gpfnNegationEx)) return FALSE;
  const STBinding<PFNVMARITHMETIC> arithmetic[] = {
    {"nAdditionEx", &gpfnAdditionEx},         {"nSoustractionEx", &gpfnSoustractionEx},
    {"nMultiplicationEx", &gpfnMultiplicationEx}, {"nDivisionEx", &gpfnDivisionEx},
    {"nModuloEx", &gpfnModuloEx},
  };
  for (const auto& b : arithmetic)
    if (!bBind(hVM, b.name, b.ppfn)) return FALSE;
  ghCalcVM = hVM;
  gnVersionCompatCalcVM = nCompat;
  gnVersionCalcVM = nVersion;
  return TRUE;
}

namespace {

using PFNINITFROMVM = BOOL (*)(void* hVM, int nVersion, int nCompat);

BOOL bRelay(HINSTANCE hModule, const char* name, void* hVM, int nVersion, int nCompat) {
  auto pfnInit = reinterpret_cast<PFNINITFROMVM>(dlsym(hModule, name));
  if (pfnInit == nullptr) return TRUE;
  return pfnInit(hVM, nVersion, nCompat);
}

}  // namespace

BOOL bInitZVConvFromServeur_OBSOLETE(HINSTANCE hModule) {
  return bRelay(hModule, "bInitZVConvFromVM", ghConvVM, gnVersionConvVM, gnVersionCompatConvVM);
}

BOOL bInitZVCalcFromServeur(HINSTANCE hModule) {
  return bRelay(hModule, "bInitZVCalcFromVM", ghCalcVM, gnVersionCalcVM, gnVersionCompatCalcVM);
}
