// A host VM module for the binding tests: every conversion and calculation name but "nModuloEx",
// and a "pQueryProxy" that offers no decimal factory. Its functions do nothing.
#define QX_STUB(name) \
  extern "C" __attribute__((visibility("default"))) int name() { return 0; }
#define QX_STUBS(a, b, c, d, e) QX_STUB(a) QX_STUB(b) QX_STUB(c) QX_STUB(d) QX_STUB(e)

extern "C" __attribute__((visibility("default"))) void* pQueryProxy(int) { return nullptr; }
QX_STUBS(nConversionDepassementExt, FinConversion, bCanCompareEx, wAjouteEx, wSoustraitEx)
QX_STUBS(wMultiplieEx, wDiviseEx, wModuloEx, nComparaisonEx, nEgaliteEx)
QX_STUBS(nSuperieurEx, nInferieurEx, nPresqueEgalEx, nSoupleEgalEx, nCommenceParEx)
QX_STUBS(nCommenceParSoupleEx, nCommenceParTresSoupleEx, nContientEx, nContientSoupleEx, nContientTresSoupleEx)
QX_STUBS(nTermineParEx, nTermineParSoupleEx, nTermineParTresSoupleEx, nETLogiqueEx, nOULogiqueEx)
QX_STUBS(nNONLogiqueEx, nNegationEx, nAdditionEx, nSoustractionEx, nMultiplicationEx)
QX_STUB(nDivisionEx)
