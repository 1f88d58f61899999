// A host VM module for the binding tests: every conversion and calculation name but "nModuloEx",
// and a "pQueryProxy" that offers no decimal factory. Its functions do nothing.
#define QX_PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))

QX_PARTIAL_EXPORT int nConversionDepassementExt() { return 0; }
QX_PARTIAL_EXPORT int FinConversion() { return 0; }
QX_PARTIAL_EXPORT void* pQueryProxy(int) { return nullptr; }

#define QX_PARTIAL_STUB(name) \
  QX_PARTIAL_EXPORT int name() { return 0; }
QX_PARTIAL_STUB(bCanCompareEx)
QX_PARTIAL_STUB(wAjouteEx)
QX_PARTIAL_STUB(wSoustraitEx)
QX_PARTIAL_STUB(wMultiplieEx)
QX_PARTIAL_STUB(wDiviseEx)
QX_PARTIAL_STUB(wModuloEx)
QX_PARTIAL_STUB(nComparaisonEx)
QX_PARTIAL_STUB(nEgaliteEx)
QX_PARTIAL_STUB(nSuperieurEx)
QX_PARTIAL_STUB(nInferieurEx)
QX_PARTIAL_STUB(nPresqueEgalEx)
QX_PARTIAL_STUB(nSoupleEgalEx)
QX_PARTIAL_STUB(nCommenceParEx)
QX_PARTIAL_STUB(nCommenceParSoupleEx)
QX_PARTIAL_STUB(nCommenceParTresSoupleEx)
QX_PARTIAL_STUB(nContientEx)
QX_PARTIAL_STUB(nContientSoupleEx)
QX_PARTIAL_STUB(nContientTresSoupleEx)
QX_PARTIAL_STUB(nTermineParEx)
QX_PARTIAL_STUB(nTermineParSoupleEx)
QX_PARTIAL_STUB(nTermineParTresSoupleEx)
QX_PARTIAL_STUB(nETLogiqueEx)
QX_PARTIAL_STUB(nOULogiqueEx)
QX_PARTIAL_STUB(nNONLogiqueEx)
QX_PARTIAL_STUB(nNegationEx)
QX_PARTIAL_STUB(nAdditionEx)
QX_PARTIAL_STUB(nSoustractionEx)
QX_PARTIAL_STUB(nMultiplicationEx)
QX_PARTIAL_STUB(nDivisionEx)
