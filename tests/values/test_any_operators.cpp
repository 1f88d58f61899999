// Operators computed by the stand-in VM: answers and their types, NULL operands refused or
// propagated, results that alias an operand or held something, a failing host, an unbound VM.
#include "values/any_operators.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "host/vm_module.h"
#include "tests/support/any_test_values.h"
#include "values/any.h"

namespace {

using AnyOperators = AnyTest;

CAny I4(int n, bool bNull = false) { return FromText(ZV_I4, std::to_wstring(n).c_str(), bNull ? ZV_FLAG_NULL : 0); }
CAny Bool(bool b) { return FromText(ZV_BOOL, b ? L"1" : L"0"); }
CAny Text(const wchar_t* p) { return FromText(ZV_DSTRA, p); }

using IntOp = int (*)(const CAny&, const CAny&, int*, unsigned int);
using AnyOp = int (*)(const CAny&, const CAny&, CAny*, unsigned int);
const AnyOp kArithmetic[] = {nAjoute, nAjouteEx, nSoustrait, nMultiplie, nDivise, nModulo};

// Replaces bound VM functions for one test; they are put back at its end.
struct VMSwap {
  std::vector<std::pair<void*, void (*)()>> saved;
  template <typename F>
  void operator()(F* slot, F pfn) {
    saved.push_back({slot, reinterpret_cast<void (*)()>(*slot)});
    *slot = pfn;
  }
  ~VMSwap() {
    for (const auto& [slot, pfn] : saved) memcpy(slot, &pfn, sizeof pfn);
  }
};

// A VM question that fails, writing gnAnswer first when it is not negative.
int gnAnswer = -1;
int FailingNot(const void*, unsigned int, int* pn, unsigned int, void*) {
  if (gnAnswer >= 0) *pn = gnAnswer;
  return 150;
}
int FailingQuestion(const void*, unsigned int, const void*, unsigned int, int* pn, unsigned int f, void*) {
  return FailingNot(nullptr, 0, pn, f, nullptr);
}

}  // namespace

TEST_F(AnyOperators, QuestionsAnswer) {
  const CAny one = I4(1), two = I4(2), hello = Text(L"Bonjour le monde");
  const struct {
    IntOp pfn;
    const CAny a, b;
    int want;
  } cases[] = {
      {nEgalite, one, two, 0},   {nEgalite, two, two, 1},   {nDifferent, one, two, 1}, {nDifferent, two, two, 0},
      {nSuperieur, two, one, 1}, {nSuperieur, two, two, 0}, {nInferieur, one, two, 1}, {nInferieur, two, one, 0},
      {nSupEgal, two, two, 1},   {nSupEgal, one, two, 0},   {nInfEgal, two, two, 1},   {nInfEgal, two, one, 0},
      {nCompare, one, two, -1},  {nCompare, two, two, 0},   {nCompare, two, one, 1},   {nAnd, Bool(1), Bool(0), 0},
      {nAnd, Bool(1), Bool(1), 1}, {nOr, Bool(0), Bool(1), 1},
      {nCommencePar, hello, Text(L"Bonjour"), 1},       {nCommencePar, hello, Text(L"monde"), 0},
      {nContient, hello, Text(L"le"), 1},               {nContient, hello, Text(L"xyz"), 0},
      {nTerminePar, hello, Text(L"monde"), 1},          {nTerminePar, hello, Text(L"Bonjour"), 0},
      {nCommenceParSouple, hello, Text(L"bonjour"), 1}, {nContientSouple, hello, Text(L"LE MONDE"), 1},
      {nTermineParSouple, hello, Text(L"MONDE"), 1},    {nCommenceParTresSouple, hello, Text(L"bonjour"), 1},
      {nContientTresSouple, hello, Text(L"le monde"), 1}, {nTermineParTresSouple, hello, Text(L"monde"), 1},
      {nSoupleEgal, hello, Text(L"bonjour le monde"), 1}, {nEgalite, hello, Text(L"bonjour le monde"), 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    int n = -7;
    EXPECT_EQ(cases[i].pfn(cases[i].a, cases[i].b, &n, 0), 0) << i;
    if (cases[i].pfn == static_cast<IntOp>(nCompare)) n = (n > 0) - (n < 0);  // only its sign counts
    EXPECT_EQ(n, cases[i].want) << i;
  }
  int n = -1;
  EXPECT_EQ(nNot(Bool(1), &n, 0), 0);
  EXPECT_EQ(n, 0);
  // Value forms: a BOOL (nCompare: an I4) with the flags cleared; the result may be an operand.
  CAny r = FromText(ZV_R8, L"1.5", ZV_FLAG_NULL), a = I4(4);
  ASSERT_EQ(nSupEgal(I4(3), I4(3), &r, 0), 0);
  EXPECT_EQ(Whole(r), Whole(Bool(1)));
  ASSERT_EQ(nCompare(I4(9), I4(9), &r), 0);
  EXPECT_EQ(Whole(r), Whole(I4(0)));
  ASSERT_EQ(nEgalite(a, I4(4), &a, 0), 0);
  EXPECT_EQ(Whole(a), Whole(Bool(1)));
}

TEST_F(AnyOperators, NullOperandsAreRefusedByQuestions) {
  const CAny nul = I4(1, true), one = I4(1);
  const std::pair<IntOp, AnyOp> questions[] = {
      {nEgalite, nEgalite}, {nDifferent, nDifferent}, {nSupEgal, nSupEgal}, {nContient, nContient}, {nOr, nOr}};
  int n = 42;
  CAny r = I4(42);
  for (const auto& [pfnInt, pfnAny] : questions) {
    EXPECT_EQ(pfnInt(nul, one, &n, 0), 103);
    EXPECT_EQ(pfnInt(one, nul, &n, 0), 103);
    EXPECT_EQ(pfnAny(one, nul, &r, 0), 103);
  }
  EXPECT_EQ(nCompare(nul, one, &n, 0), 103);
  EXPECT_EQ(nNot(nul, &n, 0), 103);
  EXPECT_EQ(nCompare(one, nul, &r), 103);
  EXPECT_EQ(nNot(nul, &r, 0), 103);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(Whole(r), Whole(I4(42)));
}

TEST_F(AnyOperators, ArithmeticTypedAsTheVMAnswersAndNullPropagated) {
  const Sample want[] = {{ZV_I4, L"10"}, {ZV_I4, L"10"}, {ZV_I4, L"6"}, {ZV_I4, L"16"}, {ZV_R8, L"4"}, {ZV_I4, L"0"}};
  for (size_t i = 0; i < std::size(kArithmetic); ++i) {
    for (int nulls = 0; nulls < 3; ++nulls) {  // none, the first, the second
      CAny r = Text(L"old");
      ASSERT_EQ(kArithmetic[i](I4(8, nulls == 1), I4(2, nulls == 2), &r, 0), 0) << i;
      EXPECT_EQ(Whole(r), Whole(FromText(want[i].code, want[i].text, nulls != 0 ? ZV_FLAG_NULL : 0))) << i << nulls;
    }
  }
  CAny r = I4(9);  // an error leaves the result as it was
  EXPECT_EQ(nDivise(I4(1), I4(0), &r, 0), VM_ERR_DIVIDE_BY_ZERO);
  EXPECT_EQ(Whole(r), Whole(I4(9)));
  // The result is an operand: its NULL flag is read before it is replaced.
  CAny a = I4(5, true);
  ASSERT_EQ(nSoustrait(a, I4(1), &a, 0), 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_I4 | ZV_FLAG_NULL);
}

TEST_F(AnyOperators, ResultReleasesWhatItHeldExactlyOnce) {
  HostObject obj;
  CAny element, held[] = {FromText(ZV_DECIMAL, L"1.5"), {}, {}, FromText(ZV_DSTRW, L"a"), FromText(ZV_PSTRW, L"a")};
  SetObject(element, ZV_DINO, &obj);
  held[1] = element;
  held[2].__SetType(ZV_TABANY, 0);
  held[2].SetValueByte(&element, 1);
  for (CAny& r : held) {
    ASSERT_EQ(nAjoute(I4(2), I4(3), &r, 0), 0);
    EXPECT_EQ(Whole(r), Whole(I4(5)));
  }
  EXPECT_EQ(obj.nRef, 2);  // only the element's own reference is left
  EXPECT_EQ(nLive(), 0);
}

TEST_F(AnyOperators, NegationAndIncrementsIntoTheirOwnOperand) {
  CAny r;
  ASSERT_EQ(nNegatif(I4(5), &r, 0), 0);
  EXPECT_EQ(Whole(r), Whole(I4(-5)));
  CAny a = I4(7, true);
  ASSERT_EQ(nNegatif(a, &a, 0), 0);
  EXPECT_EQ(Whole(a), Whole(I4(-7, true)));
  // Decimal results: no object of the result's own or of the host's is lost.
  CAny dec = FromText(ZV_DECIMAL, L"12");
  ASSERT_EQ(nNegatif(dec, &dec, 0), 0);
  ASSERT_EQ(nIncrementeNumerique(&dec, I4(3)), 0);
  EXPECT_EQ(dec.wGetTypeWord(), ZV_DECIMAL);
  ASSERT_EQ(dec.__nCastTo(ZV_I4, nullptr, 0), 0);
  EXPECT_EQ(Whole(dec), Whole(I4(-9)));
  CAny v = I4(10);
  ASSERT_EQ(nIncrementeNumerique(&v, I4(5)), 0);
  ASSERT_EQ(nDecrementeNumerique(&v, I4(20)), 0);
  EXPECT_EQ(Whole(v), Whole(I4(-5)));
  ASSERT_EQ(nIncrementeNumerique(&v, I4(1, true)), 0);
  ASSERT_EQ(nIncrementeNumerique(&v, I4(1)), 0);
  EXPECT_EQ(Whole(v), Whole(I4(-3, true)));
  // An error leaves the value as it was.
  EXPECT_GT(nDecrementeNumerique(&v, Text(L"abc")), 99);
  EXPECT_EQ(Whole(v), Whole(I4(-3, true)));
}

TEST_F(AnyOperators, PositiveCopiesAndAnEmptyValueEmptiesTheResult) {
  CAny a = I4(3, true), r = Text(L"old"), empty;
  EXPECT_EQ(nPositif(a, &a), 0);
  EXPECT_EQ(Whole(a), Whole(I4(3, true)));
  EXPECT_EQ(nPositif(a, &r), 0);
  EXPECT_EQ(Whole(r), Whole(a));
  EXPECT_EQ(nPositif(empty, &r), 0);
  EXPECT_EQ(Whole(r), Whole(empty));
  empty.SetNull(true);
  EXPECT_EQ(nPositif(empty, &r), 0);
  EXPECT_EQ(r.wGetTypeWord(), ZV_VIDE | ZV_FLAG_NULL);
}

TEST_F(AnyOperators, UnboundVMAnswersAnErrorWithoutWriting) {
  VMSwap swap;
  for (PFNVMCOMPARE* slot : {&gpfnEgaliteEx, &gpfnInferieurEx, &gpfnComparaisonEx}) swap(slot, PFNVMCOMPARE{});
  swap(&gpfnNONLogiqueEx, PFNVMNOT{});
  swap(&gpfnAdditionEx, PFNVMARITHMETIC{});
  swap(&gpfnNegationEx, PFNVMNEGATION{});
  const CAny one = I4(1);
  int n = 42;
  CAny r = I4(42);
  const int results[] = {nEgalite(one, one, &n, 0), nSupEgal(one, one, &n, 0), nCompare(one, one, &n, 0),
                         nNot(one, &n, 0),          nEgalite(one, one, &r, 0), nDifferent(one, one, &r, 0),
                         nCompare(one, one, &r),    nNot(one, &r, 0),          nAjoute(one, one, &r, 0),
                         nNegatif(one, &r, 0),      nIncrementeNumerique(&r, one)};
  for (const int rc : results) EXPECT_EQ(rc, ANY_ERR_VM_UNBOUND);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(Whole(r), Whole(I4(42)));
}

// The plain answers are the host's own writes: a failure without an answer leaves the caller's
// integer; the negated ones and the value forms start from 0 and are always written.
TEST_F(AnyOperators, HostFailureWithoutAnswer) {
  VMSwap swap;
  for (PFNVMCOMPARE* slot : {&gpfnEgaliteEx, &gpfnSuperieurEx, &gpfnComparaisonEx}) swap(slot, &FailingQuestion);
  swap(&gpfnNONLogiqueEx, PFNVMNOT{&FailingNot});
  const CAny one = I4(1);
  const struct {
    IntOp pfn;
    int answer;  // what the failing host writes first (-1: nothing)
    int want;
  } cases[] = {{nEgalite, -1, 42}, {nSuperieur, -1, 42}, {nCompare, -1, 42}, {nDifferent, -1, 1},
               {nInfEgal, -1, 1},  {nEgalite, 1, 1},     {nDifferent, 1, 0}};
  for (const auto& c : cases) {
    gnAnswer = c.answer;
    int n = 42;
    EXPECT_EQ(c.pfn(one, one, &n, 0), 150);
    EXPECT_EQ(n, c.want);
  }
  gnAnswer = -1;
  int n = 42;
  CAny r = I4(42);
  EXPECT_EQ(nNot(one, &n, 0), 150);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(nEgalite(one, one, static_cast<int*>(nullptr), 0), 150);  // no integer to write
  EXPECT_EQ(nEgalite(one, one, &r, 0), 150);
  EXPECT_EQ(Whole(r), Whole(Bool(0)));
  EXPECT_EQ(nCompare(one, one, &r), 150);
  EXPECT_EQ(Whole(r), Whole(I4(0)));
  gnAnswer = 1;
  EXPECT_EQ(nNot(one, &r, 0), 150);
  EXPECT_EQ(Whole(r), Whole(Bool(1)));
  gnAnswer = -1;
}
