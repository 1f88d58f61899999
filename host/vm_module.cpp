// The VM's exported entry points: the host's call forms mapped onto the conversion and
// calculation functions.
#include "host/vm_module.h"

#include "host/vm_calc.h"
#include "host/vm_convert.h"
#include "host/vm_decimal.h"

namespace {

int Boolean(int rc, bool value, int* pnResult) {
  if (rc <= 99) *pnResult = value ? 1 : 0;
  return rc;
}

int Equal(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnResult,
          VMStrength strength) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  bool eq = false;
  const int rc = nVMEqual(pA, wTypeA, pB, wTypeB, strength, &eq);
  return Boolean(rc, eq, pnResult);
}

int Order(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnResult, int wanted) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  int order = 0;
  const int rc = nVMCompare(pA, wTypeA, pB, wTypeB, &order);
  return Boolean(rc, order == wanted, pnResult);
}

int Match(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnResult, VMMatch match,
          VMStrength strength) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  bool found = false;
  const int rc = nVMMatch(pA, wTypeA, pB, wTypeB, match, strength, &found);
  return Boolean(rc, found, pnResult);
}

}  // namespace

QX_VM_EXPORT int nConversionDepassementExt(const void* pSource, unsigned short wSourceType, void* pDest,
                                           unsigned short wDestType, unsigned int, const STOCAW* pOptions) {
  return nVMConvert(pSource, wSourceType, pDest, wDestType, pOptions);
}

QX_VM_EXPORT int FinConversion(void* pDest, unsigned short wDestType) { return nVMFinConversion(pDest, wDestType); }

QX_VM_EXPORT int bCanCompareEx(unsigned short wTypeA, unsigned short wTypeB) {
  return bVMCanCompare(wTypeA, wTypeB) ? 1 : 0;
}
QX_VM_EXPORT unsigned short wAjouteEx(unsigned short a, unsigned short b) { return wVMResultType(VMOp::Add, a, b); }
QX_VM_EXPORT unsigned short wSoustraitEx(unsigned short a, unsigned short b) { return wVMResultType(VMOp::Sub, a, b); }
QX_VM_EXPORT unsigned short wMultiplieEx(unsigned short a, unsigned short b) { return wVMResultType(VMOp::Mul, a, b); }
QX_VM_EXPORT unsigned short wDiviseEx(unsigned short a, unsigned short b) { return wVMResultType(VMOp::Div, a, b); }
QX_VM_EXPORT unsigned short wModuloEx(unsigned short a, unsigned short b) { return wVMResultType(VMOp::Mod, a, b); }

#define QX_VM_COMPARE_DEF(name) \
  QX_VM_EXPORT int name(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnResult, \
                        unsigned int, void*)

QX_VM_COMPARE_DEF(nComparaisonEx) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  return nVMCompare(pA, wTypeA, pB, wTypeB, pnResult);
}
QX_VM_COMPARE_DEF(nEgaliteEx) { return Equal(pA, wTypeA, pB, wTypeB, pnResult, VMStrength::Exact); }
QX_VM_COMPARE_DEF(nSoupleEgalEx) { return Equal(pA, wTypeA, pB, wTypeB, pnResult, VMStrength::Souple); }
QX_VM_COMPARE_DEF(nPresqueEgalEx) { return Equal(pA, wTypeA, pB, wTypeB, pnResult, VMStrength::TresSouple); }
QX_VM_COMPARE_DEF(nSuperieurEx) { return Order(pA, wTypeA, pB, wTypeB, pnResult, 1); }
QX_VM_COMPARE_DEF(nInferieurEx) { return Order(pA, wTypeA, pB, wTypeB, pnResult, -1); }
QX_VM_COMPARE_DEF(nCommenceParEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::StartsWith, VMStrength::Exact);
}
QX_VM_COMPARE_DEF(nCommenceParSoupleEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::StartsWith, VMStrength::Souple);
}
QX_VM_COMPARE_DEF(nCommenceParTresSoupleEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::StartsWith, VMStrength::TresSouple);
}
QX_VM_COMPARE_DEF(nContientEx) { return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::Contains, VMStrength::Exact); }
QX_VM_COMPARE_DEF(nContientSoupleEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::Contains, VMStrength::Souple);
}
QX_VM_COMPARE_DEF(nContientTresSoupleEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::Contains, VMStrength::TresSouple);
}
QX_VM_COMPARE_DEF(nTermineParEx) { return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::EndsWith, VMStrength::Exact); }
QX_VM_COMPARE_DEF(nTermineParSoupleEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::EndsWith, VMStrength::Souple);
}
QX_VM_COMPARE_DEF(nTermineParTresSoupleEx) {
  return Match(pA, wTypeA, pB, wTypeB, pnResult, VMMatch::EndsWith, VMStrength::TresSouple);
}
QX_VM_COMPARE_DEF(nETLogiqueEx) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  bool r = false;
  const int rc = nVMLogic(pA, wTypeA, pB, wTypeB, true, &r);
  return Boolean(rc, r, pnResult);
}
QX_VM_COMPARE_DEF(nOULogiqueEx) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  bool r = false;
  const int rc = nVMLogic(pA, wTypeA, pB, wTypeB, false, &r);
  return Boolean(rc, r, pnResult);
}
#undef QX_VM_COMPARE_DEF

QX_VM_EXPORT int nNONLogiqueEx(const void* pA, unsigned int wTypeA, int* pnResult, unsigned int, void*) {
  if (pnResult == nullptr) return VM_ERR_ARGUMENT;
  bool r = false;
  const int rc = nVMNot(pA, wTypeA, &r);
  return Boolean(rc, r, pnResult);
}

QX_VM_EXPORT int nNegationEx(const void* pA, unsigned short wTypeA, void* pDest, unsigned short* pwResultType,
                             unsigned int, void*) {
  return nVMNegate(pA, wTypeA, pDest, pwResultType);
}

#define QX_VM_ARITHMETIC_DEF(name, op)                                                                  \
  QX_VM_EXPORT int name(const void* pA, unsigned short wTypeA, const void* pB, unsigned short wTypeB,    \
                        void* pDest, unsigned short* pwResultType, unsigned int, void*) {                 \
    return nVMArithmetic(op, pA, wTypeA, pB, wTypeB, pDest, pwResultType);                               \
  }
QX_VM_ARITHMETIC_DEF(nAdditionEx, VMOp::Add)
QX_VM_ARITHMETIC_DEF(nSoustractionEx, VMOp::Sub)
QX_VM_ARITHMETIC_DEF(nMultiplicationEx, VMOp::Mul)
QX_VM_ARITHMETIC_DEF(nDivisionEx, VMOp::Div)
QX_VM_ARITHMETIC_DEF(nModuloEx, VMOp::Mod)
#undef QX_VM_ARITHMETIC_DEF

QX_VM_EXPORT void* pQueryProxy(int nId) {
  if (nId != VM_PROXY_DECIMAL_FACTORY) return nullptr;
  return static_cast<IDecimalFactory*>(&CVMDecimalFactory::Instance());
}
