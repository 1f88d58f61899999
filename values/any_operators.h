// Operators on variant values: comparisons, string matching, logic and arithmetic, each computed
// by the host VM through the functions bound in values/vmbind.h. The operators own nothing: they
// read their operands and write only the result they are given.
//
// Results: the host's code (0, a warning 1-99, or an error above 99 passed on); 103 when an
// operand of a comparison, match or logic operation is NULL (nothing is called or written);
// ANY_ERR_VM_UNBOUND when the VM function has not been bound (nothing is written).
#pragma once

class CAny;

// The VM has not been bound (bInitZVCalcFromVM not called or failed).
constexpr int ANY_ERR_VM_UNBOUND = 105;

// Integer results: the host's answer, written by the host itself into *pnResult (nDifferent,
// nSupEgal and nInfEgal: its negation, as a != b, !(a < b), !(a > b), written whatever the host's
// code). nCompare gives the host's ordering integer.
int nCompare(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nEgalite(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nDifferent(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nSuperieur(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nInferieur(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nSupEgal(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nInfEgal(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nPresqueEgal(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nSoupleEgal(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nCommencePar(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nCommenceParSouple(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nCommenceParTresSouple(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nContient(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nContientSouple(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nContientTresSouple(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nTerminePar(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nTermineParSouple(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nTermineParTresSouple(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nAnd(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nOr(const CAny& a, const CAny& b, int* pnResult, unsigned int nFlags);
int nNot(const CAny& a, int* pnResult, unsigned int nFlags);

// Value results: the same answers stored in *pResult as a BOOL with its flags cleared (written
// even when the host reports an error); nCompare stores the ordering integer as an I4.
int nCompare(const CAny& a, const CAny& b, CAny* pResult);
int nEgalite(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nDifferent(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nSuperieur(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nInferieur(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nSupEgal(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nInfEgal(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nPresqueEgal(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nSoupleEgal(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nCommencePar(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nCommenceParSouple(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nCommenceParTresSouple(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nContient(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nContientSouple(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nContientTresSouple(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nTerminePar(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nTermineParSouple(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nTermineParTresSouple(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nAnd(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nOr(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nNot(const CAny& a, CAny* pResult, unsigned int nFlags);

// Arithmetic: the host's result value and type replace *pResult (which may be a or b); NULL
// operands are computed with their stored values and make the result NULL. On an error above
// 99 *pResult is left as it was.
int nAjoute(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nAjouteEx(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nSoustrait(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nMultiplie(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nDivise(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);
int nModulo(const CAny& a, const CAny& b, CAny* pResult, unsigned int nFlags);

// -a in *pResult (which may be a), typed as the host answers; NULL when a is NULL. On an error
// above 99 *pResult is left as it was.
int nNegatif(const CAny& a, CAny* pResult, unsigned int nFlags);
// *pResult becomes a copy of a (type, value and flags; an empty a empties it); always 0.
int nPositif(const CAny& a, CAny* pResult);
// *pValue += step (-= step), typed as the host answers; NULL when either was NULL. On an error
// above 99 *pValue is left as it was.
int nIncrementeNumerique(CAny* pValue, const CAny& step);
int nDecrementeNumerique(CAny* pValue, const CAny& step);
