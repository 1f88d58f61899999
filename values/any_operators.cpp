#include "values/any_operators.h"

#include <cstring>

#include "values/any.h"
#include "values/idecimal.h"
#include "values/vmbind.h"

namespace {

constexpr int kNullOperand = 103;

// The host's answer of a two-operand question; *pn is written only when the host was called.
int nAsk(PFNVMCOMPARE pfn, const CAny& a, const CAny& b, int* pn, unsigned int nFlags) {
  if (a.bIsNull() || b.bIsNull()) return kNullOperand;
  if (pfn == nullptr) return ANY_ERR_VM_UNBOUND;
  return pfn(a.pGetValueArea(), a.wGetTypeWord(), b.pGetValueArea(), b.wGetTypeWord(), pn, nFlags, nullptr);
}

// The same answer, negated when bNegate. A plain answer goes straight to the caller's integer,
// so a host that fails without answering leaves it as it was; a negated one is computed from a
// cleared local and always written.
int nAskInt(PFNVMCOMPARE pfn, bool bNegate, const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags) {
  if (!bNegate && pnResult != nullptr) return nAsk(pfn, a, b, pnResult, nFlags);
  int n = 0;
  const int nRet = nAsk(pfn, a, b, &n, nFlags);
  if (nRet == kNullOperand || nRet == ANY_ERR_VM_UNBOUND) return nRet;
  if (pnResult != nullptr) *pnResult = bNegate ? !n : n;
  return nRet;
}

int nAskBool(PFNVMCOMPARE pfn, bool bNegate, const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags) {
  int n = 0;
  const int nRet = nAskInt(pfn, bNegate, a, b, &n, nFlags);
  if (nRet == kNullOperand || nRet == ANY_ERR_VM_UNBOUND) return nRet;
  if (pResult != nullptr) pResult->SetBOOL(n);
  return nRet;
}

int nArithmetic(PFNVMARITHMETIC pfn, const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags) {
  if (pfn == nullptr) return ANY_ERR_VM_UNBOUND;
  // Read before the result is replaced: it may be one of the operands.
  const bool bNull = a.bIsNull() || b.bIsNull();
  unsigned char scratch[ZV_VALUE_SIZE] = {};
  unsigned short wType = 0;
  const int nRet = pfn(a.pGetValueArea(), a.wGetType(), b.pGetValueArea(), b.wGetType(), scratch, &wType, nFlags,
                       nullptr);
  if (nRet > 99) return nRet;
  if (pResult == nullptr) {
    // Nobody takes the value over: let the host free it.
    if (gpfnFinConv != nullptr) gpfnFinConv(scratch, wType);
    return nRet;
  }
  pResult->__TransfertValeurInterne(wType, scratch);
  if (bNull) pResult->SetNull(true);
  return nRet;
}

int nStep(PFNVMARITHMETIC pfn, CAny* pValue, const CAny& step) {
  if (pValue == nullptr) return ANY_ERR_VM_UNBOUND;
  if (pfn == nullptr) return ANY_ERR_VM_UNBOUND;
  const bool bNull = pValue->bIsNull() || step.bIsNull();
  unsigned char scratch[ZV_VALUE_SIZE] = {};
  unsigned short wType = 0;
  const int nRet = pfn(pValue->pGetValueArea(), pValue->wGetType(), step.pGetValueArea(), step.wGetType(), scratch,
                       &wType, 0, nullptr);
  if (nRet > 99) return nRet;
  if (wType == ZV_DECIMAL) {
    IDecimal* pDec;
    memcpy(&pDec, scratch, sizeof pDec);
    pValue->__SetType(ZV_DECIMAL, 0);
    pValue->Intern()->SetValue(pDec);
    if (gpiVMFactory != nullptr) gpiVMFactory->Free(pDec);
  } else {
    // Taken over whole: a text or binary result keeps the host's buffer instead of a copy
    // that would leave the host's one behind.
    pValue->__TransfertValeurInterne(wType, scratch);
  }
  pValue->SetFlags(0);
  if (bNull) pValue->SetNull(true);
  return nRet;
}

}  // namespace

#define QX_ANY_QUESTION(name, pfn, bNegate)                                                \
  int name(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags) {             \
    return nAskInt(pfn, bNegate, a, b, pnResult, nFlags);                                  \
  }                                                                                        \
  int name(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags) {             \
    return nAskBool(pfn, bNegate, a, b, pResult, nFlags);                                  \
  }

QX_ANY_QUESTION(nEgalite, gpfnEgaliteEx, false)
QX_ANY_QUESTION(nDifferent, gpfnEgaliteEx, true)
QX_ANY_QUESTION(nSuperieur, gpfnSuperieurEx, false)
QX_ANY_QUESTION(nInferieur, gpfnInferieurEx, false)
QX_ANY_QUESTION(nSupEgal, gpfnInferieurEx, true)
QX_ANY_QUESTION(nInfEgal, gpfnSuperieurEx, true)
QX_ANY_QUESTION(nPresqueEgal, gpfnPresqueEgalEx, false)
QX_ANY_QUESTION(nSoupleEgal, gpfnSoupleEgalEx, false)
QX_ANY_QUESTION(nCommencePar, gpfnCommenceParEx, false)
QX_ANY_QUESTION(nCommenceParSouple, gpfnCommenceParSoupleEx, false)
QX_ANY_QUESTION(nCommenceParTresSouple, gpfnCommenceParTresSoupleEx, false)
QX_ANY_QUESTION(nContient, gpfnContientEx, false)
QX_ANY_QUESTION(nContientSouple, gpfnContientSoupleEx, false)
QX_ANY_QUESTION(nContientTresSouple, gpfnContientTresSoupleEx, false)
QX_ANY_QUESTION(nTerminePar, gpfnTermineParEx, false)
QX_ANY_QUESTION(nTermineParSouple, gpfnTermineParSoupleEx, false)
QX_ANY_QUESTION(nTermineParTresSouple, gpfnTermineParTresSoupleEx, false)
QX_ANY_QUESTION(nAnd, gpfnETLogiqueEx, false)
QX_ANY_QUESTION(nOr, gpfnOULogiqueEx, false)

int nCompare(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags) {
  return nAskInt(gpfnComparaisonEx, false, a, b, pnResult, nFlags);
}

int nCompare(const CAny& a, const CAny& b, CAny* pResult) {
  int n = 0;
  const int nRet = nAskInt(gpfnComparaisonEx, false, a, b, &n, 0);
  if (nRet == kNullOperand || nRet == ANY_ERR_VM_UNBOUND) return nRet;
  if (pResult != nullptr) pResult->SetI4(n);
  return nRet;
}

int nNot(const CAny& a, int* pnResult, unsigned int nFlags) {
  if (a.bIsNull()) return kNullOperand;
  if (gpfnNONLogiqueEx == nullptr) return ANY_ERR_VM_UNBOUND;
  int n = 0;
  return gpfnNONLogiqueEx(a.pGetValueArea(), a.wGetTypeWord(), pnResult != nullptr ? pnResult : &n, nFlags, nullptr);
}

int nNot(const CAny& a, CAny* pResult, unsigned int nFlags) {
  int n = 0;
  const int nRet = nNot(a, &n, nFlags);
  if (nRet == kNullOperand || nRet == ANY_ERR_VM_UNBOUND) return nRet;
  if (pResult != nullptr) pResult->SetBOOL(n);
  return nRet;
}

#define QX_ANY_ARITHMETIC(name, pfn)                                       \
  int name(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags) { \
    return nArithmetic(pfn, a, b, pResult, nFlags);                          \
  }

QX_ANY_ARITHMETIC(nAjoute, gpfnAdditionEx)
QX_ANY_ARITHMETIC(nAjouteEx, gpfnAdditionEx)
QX_ANY_ARITHMETIC(nSoustrait, gpfnSoustractionEx)
QX_ANY_ARITHMETIC(nMultiplie, gpfnMultiplicationEx)
QX_ANY_ARITHMETIC(nDivise, gpfnDivisionEx)
QX_ANY_ARITHMETIC(nModulo, gpfnModuloEx)

int nNegatif(const CAny& a, CAny* pResult, unsigned int nFlags) {
  if (gpfnNegationEx == nullptr || pResult == nullptr) return ANY_ERR_VM_UNBOUND;
  // Negated into a scratch area rather than into the result typed beforehand: a result that is
  // a itself would be released before it is read, and a freshly typed result's own storage (a
  // decimal object, a text) would be overwritten and lost.
  const bool bNull = a.bIsNull();
  unsigned char scratch[ZV_VALUE_SIZE] = {};
  unsigned short wType = a.wGetType();
  const int nRet = gpfnNegationEx(a.pGetValueArea(), a.wGetType(), scratch, &wType, nFlags, nullptr);
  if (nRet > 99) return nRet;
  pResult->__TransfertValeurInterne(wType, scratch);
  if (bNull) pResult->SetNull(true);
  return nRet;
}

int nPositif(const CAny& a, CAny* pResult) {
  // The whole copy sequence: an empty a's own Duplique copies only flags and would leave the
  // result's old value in place.
  if (pResult != nullptr) *pResult = a;
  return 0;
}

int nIncrementeNumerique(CAny* pValue, const CAny& step) { return nStep(gpfnAdditionEx, pValue, step); }
int nDecrementeNumerique(CAny* pValue, const CAny& step) { return nStep(gpfnSoustractionEx, pValue, step); }
