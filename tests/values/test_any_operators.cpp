// Operators on variant values, computed by the stand-in VM bound by dlopen: answers and their
// types, NULL operands (refused or propagated), results that alias an operand, and an unbound VM.
#include "values/any_operators.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include "tests/support/stand_in_vm.h"
#include "values/any.h"
#include "values/vmbind.h"

namespace {

class AnyOperators : public StandInVMTest {
 protected:
};

CAny I4(int n, bool bNull = false) {
  CAny a;
  a.SetI4(n);
  a.SetNull(bNull);
  return a;
}

CAny Text(const wchar_t* p) {
  CAny a;
  EXPECT_EQ(a.__nSetString(p, static_cast<int>(wcslen(p)), nullptr), 0);
  return a;
}

int AsInt(const CAny& a) {
  int n = 0;
  EXPECT_EQ(a.nGetINT(&n), 0);
  return n;
}

using IntOp = int (*)(const CAny&, const CAny&, int*, unsigned int);
using AnyOp = int (*)(const CAny&, const CAny&, CAny*, unsigned int);
struct Question {
  const char* name;
  IntOp pfnInt;
  AnyOp pfnAny;
};
#define QX_Q(name) {#name, static_cast<IntOp>(name), static_cast<AnyOp>(name)}
const Question kQuestions[] = {
    QX_Q(nEgalite),         QX_Q(nDifferent),         QX_Q(nSuperieur),           QX_Q(nInferieur),
    QX_Q(nSupEgal),         QX_Q(nInfEgal),           QX_Q(nPresqueEgal),         QX_Q(nSoupleEgal),
    QX_Q(nCommencePar),     QX_Q(nCommenceParSouple), QX_Q(nCommenceParTresSouple), QX_Q(nContient),
    QX_Q(nContientSouple),  QX_Q(nContientTresSouple), QX_Q(nTerminePar),         QX_Q(nTermineParSouple),
    QX_Q(nTermineParTresSouple), QX_Q(nAnd),          QX_Q(nOr),
};
#undef QX_Q

}  // namespace

TEST_F(AnyOperators, OrderAndEqualityOnNumbers) {
  const CAny one = I4(1), two = I4(2);
  struct Case {
    IntOp pfn;
    int lt, eq, gt;  // answers for (1, 2), (2, 2), (2, 1)
  } cases[] = {
      {nEgalite, 0, 1, 0},   {nDifferent, 1, 0, 1}, {nSuperieur, 0, 0, 1},
      {nInferieur, 1, 0, 0}, {nSupEgal, 0, 1, 1},   {nInfEgal, 1, 1, 0},
  };
  for (const Case& c : cases) {
    int n = -7;
    EXPECT_EQ(c.pfn(one, two, &n, 0), 0);
    EXPECT_EQ(n, c.lt);
    EXPECT_EQ(c.pfn(two, two, &n, 0), 0);
    EXPECT_EQ(n, c.eq);
    EXPECT_EQ(c.pfn(two, one, &n, 0), 0);
    EXPECT_EQ(n, c.gt);
  }
  int n = 5;
  EXPECT_EQ(nCompare(one, two, &n, 0), 0);
  EXPECT_LT(n, 0);
  EXPECT_EQ(nCompare(two, one, &n, 0), 0);
  EXPECT_GT(n, 0);
  EXPECT_EQ(nCompare(two, two, &n, 0), 0);
  EXPECT_EQ(n, 0);
}

TEST_F(AnyOperators, ValueResultsAreBooleansOrAnOrderingI4) {
  CAny r;
  r.SetR8(1.5);
  r.SetNull(true);
  ASSERT_EQ(nSupEgal(I4(3), I4(3), &r, 0), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_BOOL);
  EXPECT_EQ(AsInt(r), 1);
  ASSERT_EQ(nDifferent(I4(3), I4(3), &r, 0), 0);
  EXPECT_EQ(AsInt(r), 0);
  ASSERT_EQ(nCompare(I4(1), I4(9), &r), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4);
  EXPECT_LT(AsInt(r), 0);
  // The result may be an operand.
  CAny a = I4(4);
  ASSERT_EQ(nEgalite(a, I4(4), &a, 0), 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_BOOL);
  EXPECT_EQ(AsInt(a), 1);
}

TEST_F(AnyOperators, MatchingOnText) {
  const CAny hello = Text(L"Bonjour le monde");
  struct Case {
    IntOp pfn;
    const wchar_t* needle;
    int want;
  } cases[] = {
      {nCommencePar, L"Bonjour", 1},       {nCommencePar, L"monde", 0}, {nContient, L"le", 1},
      {nContient, L"xyz", 0},              {nTerminePar, L"monde", 1},  {nTerminePar, L"Bonjour", 0},
      {nCommenceParSouple, L"bonjour", 1}, {nContientSouple, L"LE MONDE", 1},
      {nTermineParSouple, L"MONDE", 1},    {nCommenceParTresSouple, L"bonjour", 1},
      {nContientTresSouple, L"le monde", 1}, {nTermineParTresSouple, L"monde", 1},
      {nSoupleEgal, L"bonjour le monde", 1}, {nEgalite, L"bonjour le monde", 0},
  };
  for (const Case& c : cases) {
    int n = -1;
    EXPECT_EQ(c.pfn(hello, Text(c.needle), &n, 0), 0) << static_cast<const void*>(c.needle);
    EXPECT_EQ(n, c.want) << static_cast<const void*>(c.needle);
  }
}

TEST_F(AnyOperators, Logic) {
  CAny t, f;
  t.SetBOOL(1);
  f.SetBOOL(0);
  int n = -1;
  EXPECT_EQ(nAnd(t, f, &n, 0), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(nAnd(t, t, &n, 0), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(nOr(f, t, &n, 0), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(nNot(t, &n, 0), 0);
  EXPECT_EQ(n, 0);
  CAny r;
  EXPECT_EQ(nNot(f, &r, 0), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_BOOL);
  EXPECT_EQ(AsInt(r), 1);
}

TEST_F(AnyOperators, NullOperandsAreRefusedByQuestions) {
  const CAny nul = I4(1, true), one = I4(1);
  for (const Question& q : kQuestions) {
    int n = 42;
    EXPECT_EQ(q.pfnInt(nul, one, &n, 0), 103) << q.name;
    EXPECT_EQ(q.pfnInt(one, nul, &n, 0), 103) << q.name;
    EXPECT_EQ(n, 42) << q.name;
    CAny r = I4(42);
    EXPECT_EQ(q.pfnAny(one, nul, &r, 0), 103) << q.name;
    EXPECT_EQ(r.wGetTypeWord(), ZV_I4) << q.name;
    EXPECT_EQ(AsInt(r), 42) << q.name;
  }
  int n = 42;
  EXPECT_EQ(nCompare(nul, one, &n, 0), 103);
  EXPECT_EQ(nNot(nul, &n, 0), 103);
  EXPECT_EQ(n, 42);
  CAny r = I4(42);
  EXPECT_EQ(nCompare(one, nul, &r), 103);
  EXPECT_EQ(nNot(nul, &r, 0), 103);
  EXPECT_EQ(AsInt(r), 42);
}

TEST_F(AnyOperators, ArithmeticTypedAsTheVMAnswers) {
  CAny r;
  ASSERT_EQ(nAjoute(I4(2), I4(3), &r, 0), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(r), 5);
  ASSERT_EQ(nAjouteEx(I4(2), I4(3), &r, 0), 0);
  EXPECT_EQ(AsInt(r), 5);
  ASSERT_EQ(nSoustrait(I4(2), I4(3), &r, 0), 0);
  EXPECT_EQ(AsInt(r), -1);
  ASSERT_EQ(nMultiplie(I4(6), I4(7), &r, 0), 0);
  EXPECT_EQ(AsInt(r), 42);
  ASSERT_EQ(nModulo(I4(7), I4(3), &r, 0), 0);
  EXPECT_EQ(AsInt(r), 1);
  CAny real;
  real.SetR8(0.5);
  ASSERT_EQ(nMultiplie(I4(3), real, &r, 0), 0);
  EXPECT_EQ(r.wGetType(), ZV_R8);
  double d = 0;
  ASSERT_EQ(r.nGetREAL(&d), 0);
  EXPECT_DOUBLE_EQ(d, 1.5);
  int nDiv = nDivise(I4(1), I4(0), &r, 0);
  EXPECT_GT(nDiv, 99);
}

TEST_F(AnyOperators, ArithmeticErrorLeavesTheResultAlone) {
  CAny r = I4(9);
  EXPECT_GT(nDivise(I4(1), I4(0), &r, 0), 99);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(r), 9);
}

TEST_F(AnyOperators, ArithmeticPropagatesNull) {
  CAny r;
  ASSERT_EQ(nAjoute(I4(1, true), I4(1), &r, 0), 0);
  EXPECT_TRUE(r.bIsNull());
  EXPECT_EQ(r.wGetType(), ZV_I4);
  ASSERT_EQ(nMultiplie(I4(2), I4(3, true), &r, 0), 0);
  EXPECT_TRUE(r.bIsNull());
  // The result is an operand: its NULL flag is read before it is replaced.
  CAny a = I4(5, true);
  ASSERT_EQ(nSoustrait(a, I4(1), &a, 0), 0);
  EXPECT_TRUE(a.bIsNull());
  a.SetNull(false);
  EXPECT_EQ(AsInt(a), 4);
  ASSERT_EQ(nAjoute(I4(1), I4(1), &r, 0), 0);
  EXPECT_FALSE(r.bIsNull());
}

TEST_F(AnyOperators, EveryArithmeticOperatorPropagatesNull) {
  const struct {
    const char* name;
    AnyOp pfn;
  } ops[] = {{"nAjoute", nAjoute},       {"nAjouteEx", nAjouteEx}, {"nSoustrait", nSoustrait},
             {"nMultiplie", nMultiplie}, {"nDivise", nDivise},     {"nModulo", nModulo}};
  for (const auto& op : ops) {
    for (int side = 0; side < 2; ++side) {
      CAny r = I4(99);
      ASSERT_LT(op.pfn(I4(8, side == 0), I4(2, side == 1), &r, 0), 100) << op.name;
      EXPECT_TRUE(r.bIsNull()) << op.name << side;
      EXPECT_NE(r.wGetType(), ZV_VIDE) << op.name;
    }
    CAny r;
    ASSERT_LT(op.pfn(I4(8), I4(2), &r, 0), 100) << op.name;
    EXPECT_FALSE(r.bIsNull()) << op.name;
  }
  CAny r;
  ASSERT_EQ(nNegatif(I4(1, true), &r, 0), 0);
  EXPECT_TRUE(r.bIsNull());
}

TEST_F(AnyOperators, TextConcatenationMakesOneReleasedString) {
  CAny a = Text(L"con"), b = Text(L"cat");
  CAny r;
  ASSERT_EQ(nAjoute(a, b, &r, 0), 0);
  const wchar_t* w = nullptr;
  ASSERT_EQ(r.__nCastToString(&w, nullptr), 0);
  EXPECT_STREQ(w, L"concat");
  // The result as an operand of itself, NULL on one side.
  b.SetNull(true);
  ASSERT_EQ(nAjoute(r, b, &r, 0), 0);
  EXPECT_TRUE(r.bIsNull());
  r.SetNull(false);
  ASSERT_EQ(r.__nCastToString(&w, nullptr), 0);
  EXPECT_STREQ(w, L"concatcat");
}

TEST_F(AnyOperators, Negation) {
  CAny r;
  ASSERT_EQ(nNegatif(I4(5), &r, 0), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(r), -5);
  CAny a = I4(7, true);
  ASSERT_EQ(nNegatif(a, &a, 0), 0);
  EXPECT_TRUE(a.bIsNull());
  a.SetNull(false);
  EXPECT_EQ(AsInt(a), -7);
  // A decimal result: no object of the result's own is lost (the sanitizer's leak check).
  CAny dec;
  CAny twelve = I4(12);
  ASSERT_EQ(twelve.__nCastTo(ZV_DECIMAL, nullptr, 0), 0);
  ASSERT_EQ(nNegatif(twelve, &dec, 0), 0);
  EXPECT_EQ(dec.wGetType(), ZV_DECIMAL);
  ASSERT_EQ(dec.__nCastTo(ZV_I4, nullptr, 0), 0);
  EXPECT_EQ(AsInt(dec), -12);
}

TEST_F(AnyOperators, PositiveCopies) {
  CAny a = I4(3, true), r;
  EXPECT_EQ(nPositif(a, &r), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4 | ZV_FLAG_NULL);
  EXPECT_EQ(nPositif(a, &a), 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_I4 | ZV_FLAG_NULL);
  a.SetNull(false);
  EXPECT_EQ(AsInt(a), 3);
}

TEST_F(AnyOperators, NumericIncrement) {
  CAny v = I4(10);
  ASSERT_EQ(nIncrementeNumerique(&v, I4(5)), 0);
  EXPECT_EQ(v.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(v), 15);
  ASSERT_EQ(nDecrementeNumerique(&v, I4(20)), 0);
  EXPECT_EQ(AsInt(v), -5);
  v.SetNull(true);
  ASSERT_EQ(nIncrementeNumerique(&v, I4(1)), 0);
  EXPECT_TRUE(v.bIsNull());
  CAny w = I4(1);
  ASSERT_EQ(nIncrementeNumerique(&w, I4(1, true)), 0);
  EXPECT_TRUE(w.bIsNull());
  // A decimal result is copied into the value's own object and the host's one freed.
  CAny d = I4(7);
  ASSERT_EQ(d.__nCastTo(ZV_DECIMAL, nullptr, 0), 0);
  ASSERT_EQ(nIncrementeNumerique(&d, I4(3)), 0);
  EXPECT_EQ(d.wGetType(), ZV_DECIMAL);
  ASSERT_EQ(d.__nCastTo(ZV_I4, nullptr, 0), 0);
  EXPECT_EQ(AsInt(d), 10);
  // An error leaves the value as it was.
  CAny t = Text(L"abc");
  CAny big = I4(1);
  EXPECT_GT(nDecrementeNumerique(&big, t), 99);
  EXPECT_EQ(big.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(big), 1);
}

TEST_F(AnyOperators, UnboundVMAnswersAnErrorWithoutWriting) {
  // Every calculation pointer cleared for the test, restored afterwards.
  PFNVMCOMPARE* const compares[] = {
      &gpfnComparaisonEx, &gpfnEgaliteEx, &gpfnSuperieurEx, &gpfnInferieurEx, &gpfnPresqueEgalEx,
      &gpfnSoupleEgalEx, &gpfnCommenceParEx, &gpfnCommenceParSoupleEx, &gpfnCommenceParTresSoupleEx,
      &gpfnContientEx, &gpfnContientSoupleEx, &gpfnContientTresSoupleEx, &gpfnTermineParEx,
      &gpfnTermineParSoupleEx, &gpfnTermineParTresSoupleEx, &gpfnETLogiqueEx, &gpfnOULogiqueEx};
  PFNVMARITHMETIC* const ariths[] = {&gpfnAdditionEx, &gpfnSoustractionEx, &gpfnMultiplicationEx, &gpfnDivisionEx,
                                     &gpfnModuloEx};
  PFNVMCOMPARE savedC[std::size(compares)];
  PFNVMARITHMETIC savedA[std::size(ariths)];
  for (size_t i = 0; i < std::size(compares); ++i) savedC[i] = *compares[i], *compares[i] = nullptr;
  for (size_t i = 0; i < std::size(ariths); ++i) savedA[i] = *ariths[i], *ariths[i] = nullptr;
  const PFNVMNOT savedNot = gpfnNONLogiqueEx;
  const PFNVMNEGATION savedNeg = gpfnNegationEx;
  gpfnNONLogiqueEx = nullptr;
  gpfnNegationEx = nullptr;

  const CAny one = I4(1);
  for (const Question& q : kQuestions) {
    int n = 42;
    EXPECT_EQ(q.pfnInt(one, one, &n, 0), ANY_ERR_VM_UNBOUND) << q.name;
    EXPECT_EQ(n, 42) << q.name;
    CAny r = I4(42);
    EXPECT_EQ(q.pfnAny(one, one, &r, 0), ANY_ERR_VM_UNBOUND) << q.name;
    EXPECT_EQ(r.wGetTypeWord(), ZV_I4) << q.name;
  }
  int n = 42;
  EXPECT_EQ(nCompare(one, one, &n, 0), ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(nNot(one, &n, 0), ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(n, 42);
  CAny r = I4(42);
  for (AnyOp pfn : {nAjoute, nAjouteEx, nSoustrait, nMultiplie, nDivise, nModulo})
    EXPECT_EQ(pfn(one, one, &r, 0), ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(nNegatif(one, &r, 0), ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(nIncrementeNumerique(&r, one), ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(nDecrementeNumerique(&r, one), ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(r), 42);

  for (size_t i = 0; i < std::size(compares); ++i) *compares[i] = savedC[i];
  for (size_t i = 0; i < std::size(ariths); ++i) *ariths[i] = savedA[i];
  gpfnNONLogiqueEx = savedNot;
  gpfnNegationEx = savedNeg;
}

namespace {

// A VM question that fails; with bAnswer it still writes 1 first.
template <bool bAnswer>
int FailingQuestion(const void*, unsigned int, const void*, unsigned int, int* pn, unsigned int, void*) {
  if (bAnswer) *pn = 1;
  return 150;
}
template <bool bAnswer>
int FailingNot(const void*, unsigned int, int* pn, unsigned int, void*) {
  if (bAnswer) *pn = 1;
  return 150;
}

}  // namespace

// The plain answers are the host's own writes: a failure without an answer leaves the caller's
// integer; the negated ones and the value forms start from 0 and are always written.
TEST_F(AnyOperators, HostFailureWithoutAnswer) {
  const PFNVMCOMPARE savedEq = gpfnEgaliteEx, savedSup = gpfnSuperieurEx, savedCmp = gpfnComparaisonEx,
                     savedIn = gpfnContientEx;
  const PFNVMNOT savedNot = gpfnNONLogiqueEx;
  gpfnEgaliteEx = gpfnSuperieurEx = gpfnComparaisonEx = gpfnContientEx = FailingQuestion<false>;
  gpfnNONLogiqueEx = FailingNot<false>;
  const CAny one = I4(1);
  for (IntOp pfn : {static_cast<IntOp>(nEgalite), static_cast<IntOp>(nSuperieur), static_cast<IntOp>(nCompare),
                    static_cast<IntOp>(nContient)}) {
    int n = 42;
    EXPECT_EQ(pfn(one, one, &n, 0), 150);
    EXPECT_EQ(n, 42);
  }
  int n = 42;
  EXPECT_EQ(nNot(one, &n, 0), 150);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(nDifferent(one, one, &n, 0), 150);
  EXPECT_EQ(n, 1);
  n = 42;
  EXPECT_EQ(nInfEgal(one, one, &n, 0), 150);
  EXPECT_EQ(n, 1);
  CAny r = I4(42);
  EXPECT_EQ(nEgalite(one, one, &r, 0), 150);
  EXPECT_EQ(r.wGetTypeWord(), ZV_BOOL);
  EXPECT_EQ(AsInt(r), 0);
  EXPECT_EQ(nCompare(one, one, &r), 150);
  EXPECT_EQ(r.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(AsInt(r), 0);

  gpfnEgaliteEx = FailingQuestion<true>;
  gpfnNONLogiqueEx = FailingNot<true>;
  EXPECT_EQ(nEgalite(one, one, &n, 0), 150);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(nDifferent(one, one, &n, 0), 150);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(nNot(one, &r, 0), 150);
  EXPECT_EQ(AsInt(r), 1);
  EXPECT_EQ(nEgalite(one, one, static_cast<int*>(nullptr), 0), 150);  // no integer to write

  gpfnEgaliteEx = savedEq;
  gpfnSuperieurEx = savedSup;
  gpfnComparaisonEx = savedCmp;
  gpfnContientEx = savedIn;
  gpfnNONLogiqueEx = savedNot;
}

TEST_F(AnyOperators, PositiveOfAnEmptyValueEmptiesTheResult) {
  CAny empty, r = Text(L"old");
  EXPECT_EQ(nPositif(empty, &r), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_VIDE);
  CAny nulEmpty;
  nulEmpty.SetNull(true);
  r = I4(5);
  EXPECT_EQ(nPositif(nulEmpty, &r), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_VIDE | ZV_FLAG_NULL);
  // A text result is a copy of its own.
  const CAny t = Text(L"abc");
  EXPECT_EQ(nPositif(t, &r), 0);
  const wchar_t* w = nullptr;
  ASSERT_EQ(r.__nCastToString(&w, nullptr), 0);
  EXPECT_STREQ(w, L"abc");
}
