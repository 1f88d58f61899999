// The stand-in VM's comparisons, matching, logic and arithmetic through its exported call forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "common/xystring.h"
#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "host/vm_value.h"
#include "tests/host/vm_test_area.h"
#include "values/money.h"

namespace {

// A typed operand; texts are kept alive by the object.
struct Val {
  Area a;
  unsigned int type = 0;
  CXYString<wchar_t> w;
  CXYString<char> n;

  template <typename T>
  Val(unsigned int t, T v) : type(t) {
    memcpy(a.b, &v, sizeof(T));
  }
  static Val W(const wchar_t* text) { return Dynamic(VMT_DSTRW, text); }
  static Val A(const char* text) { return Dynamic(VMT_DSTRA, text); }
  template <typename T>
  static Val Dynamic(unsigned int t, const T* text) {
    Val v(t, 0);
    void* p;
    if constexpr (sizeof(T) == 1) {
      v.n.Set(text);
      p = v.n.pGetData();
    } else {
      v.w.Set(text);
      p = v.w.pGetData();
    }
    memcpy(v.a.b, &p, sizeof(p));
    return v;
  }
  static Val Inline(unsigned int t, const wchar_t* text) {
    Val v(t, 0);
    if (t == VMT_DATEW || t == VMT_TIMEW)
      memcpy(v.a.b, text, (wcslen(text) + 1) * sizeof(wchar_t));
    else
      for (size_t i = 0; text[i]; ++i) v.a.b[i] = static_cast<unsigned char>(text[i]);
    return v;
  }
  static Val Dt(int y, int m, int d, uint32_t ms) { return Val(VMT_DATETIME, VMDateTime{uint8_t(d), uint8_t(m), uint16_t(y), ms}); }
  static Val Money(const wchar_t* text) {
    CMoney m{};
    pstChaineVersMonetaire(&m, text);
    return Val(VMT_CY, m);
  }
  Val(const Val& o) : a(o.a), type(o.type), w(o.w), n(o.n) {
    void* p = type == VMT_DSTRW ? static_cast<void*>(w.pGetData()) : static_cast<void*>(n.pGetData());
    if (type == VMT_DSTRW || type == VMT_DSTRA) memcpy(a.b, &p, sizeof(p));
  }
};

int Cmp(const Val& x, const Val& y) {
  int r = 99;
  EXPECT_EQ(nComparaisonEx(x.a.b, x.type, y.a.b, y.type, &r, 0, nullptr), 0);
  return r;
}

using FnBool = int (*)(const void*, unsigned int, const void*, unsigned int, int*, unsigned int, void*);
int Ask(FnBool f, const Val& x, const Val& y) {
  int r = 99;
  const int rc = f(x.a.b, x.type, y.a.b, y.type, &r, 0, nullptr);
  return rc > 99 ? -rc : r;
}

TEST(VMCompare, NumbersByExactValue) {
  EXPECT_EQ(Cmp(Val(VMT_I4, 2), Val(VMT_R8, 2.0)), 0);
  EXPECT_EQ(Cmp(Val(VMT_UI8, UINT64_MAX), Val(VMT_I8, int64_t{-1})), 1);
  EXPECT_EQ(Cmp(Val(VMT_I1, int8_t{-1}), Val(VMT_UI1, uint8_t{255})), -1);
  EXPECT_EQ(Cmp(Val::Money(L"0.1"), Val(VMT_R8, 0.1)), -1);  // the double is a little above 0.1
  EXPECT_EQ(Cmp(Val::Money(L"1.1"), Val(VMT_R4, 1.1f)), -1);  // 1.1f is 1.10000002...
  EXPECT_EQ(Cmp(Val(VMT_BOOL, 7), Val(VMT_I4, 1)), 0);  // a boolean counts as 0 or 1
  EXPECT_EQ(Cmp(Val(VMT_R8, std::nan("")), Val(VMT_I4, INT32_MIN)), -1);
  EXPECT_EQ(Cmp(Val(VMT_DUREE, int64_t{1000}), Val(VMT_I4, 999)), 1);
  // Flags in the type word do not change the type.
  int r = 99;
  const Val one(VMT_I4, 1);
  EXPECT_EQ(nEgaliteEx(one.a.b, VMT_I4 | 0x100 | 0x400, one.a.b, VMT_I4, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 1);
}

TEST(VMCompare, TextsDatesBytesAndIdentity) {
  EXPECT_EQ(Cmp(Val::W(L"abc"), Val::W(L"abd")), -1);
  EXPECT_EQ(Cmp(Val::A("caf\xE9"), Val::W(L"caf\u00e9")), 0);
  EXPECT_EQ(Cmp(Val::W(L"10"), Val(VMT_I4, 9)), 1);  // as numbers, not as texts
  EXPECT_EQ(Cmp(Val::W(L"abc"), Val(VMT_I4, 9)), 1);  // no number: as texts
  EXPECT_EQ(Cmp(Val::W(L"vrai"), Val(VMT_BOOL, 1)), 0);
  EXPECT_EQ(Cmp(Val(VMT_EMPTY, 0), Val::W(L"")), 0);
  EXPECT_EQ(Cmp(Val::Dt(2024, 1, 15, 0), Val::Dt(2023, 12, 31, 86399999)), 1);
  EXPECT_EQ(Cmp(Val::Dt(2024, 1, 15, 1), Val::Dt(2024, 1, 15, 0)), 1);
  // Date texts compare over the shorter length.
  EXPECT_EQ(Cmp(Val::Inline(VMT_DATEW, L"20240115"), Val::Dt(2024, 1, 15, 43200000)), 0);
  EXPECT_EQ(Cmp(Val::Inline(VMT_DATEA, L"2024"), Val::W(L"20240115")), 0);
  EXPECT_EQ(Cmp(Val::Inline(VMT_TIMEW, L"1200"), Val::Dt(2024, 1, 15, 43200000)), 0);
  EXPECT_EQ(Cmp(Val::Inline(VMT_DATEW, L""), Val::Inline(VMT_DATEW, L"2024")), -1);
  Val ab(VMT_BIN, 0), abc(VMT_BIN, 0);
  ab.n.Set("ab");
  abc.n.Set("abc");
  void* p = ab.n.pGetData();
  memcpy(ab.a.b, &p, sizeof(p));
  p = abc.n.pGetData();
  memcpy(abc.a.b, &p, sizeof(p));
  EXPECT_EQ(Cmp(ab, abc), -1);
  EXPECT_EQ(Cmp(abc, Val::A("abc")), 0);
  int x = 0, y = 0;
  EXPECT_EQ(Cmp(Val(VMT_DINO, &x), Val(VMT_DINO, &x)), 0);
  EXPECT_NE(Cmp(Val(VMT_DINO, &x), Val(VMT_OBJET_BASE, &y)), 0);
  int r = 99;
  const Val dino(VMT_DINO, &x), i4(VMT_I4, 1);
  EXPECT_EQ(nComparaisonEx(dino.a.b, dino.type, i4.a.b, i4.type, &r, 0, nullptr), VM_ERR_UNSUPPORTED);
  EXPECT_EQ(r, 99);
  EXPECT_EQ(Ask(nSuperieurEx, Val::Dt(2024, 1, 1, 0), Val(VMT_I4, 1)), -VM_ERR_UNSUPPORTED);
}

TEST(VMCompare, OrderAndEqualityOperators) {
  EXPECT_EQ(Ask(nSuperieurEx, Val(VMT_I4, 2), Val(VMT_I4, 1)), 1);
  EXPECT_EQ(Ask(nSuperieurEx, Val(VMT_I4, 1), Val(VMT_I4, 1)), 0);
  EXPECT_EQ(Ask(nInferieurEx, Val(VMT_I4, 1), Val(VMT_I8, int64_t{2})), 1);
  EXPECT_EQ(Ask(nEgaliteEx, Val::W(L"\u00c9l\u00e8ve"), Val::W(L"eleve")), 0);
  EXPECT_EQ(Ask(nSoupleEgalEx, Val::W(L"\u00c9l\u00e8ve"), Val::W(L"eleve")), 1);
  EXPECT_EQ(Ask(nSoupleEgalEx, Val::W(L"jean-pierre"), Val::W(L"Jean Pierre")), 0);
  EXPECT_EQ(Ask(nPresqueEgalEx, Val::W(L"jean-pierre"), Val::W(L"Jean Pierre")), 1);
  EXPECT_EQ(Ask(nPresqueEgalEx, Val(VMT_R8, 0.1 + 0.2), Val(VMT_R8, 0.3)), 1);
  EXPECT_EQ(Ask(nEgaliteEx, Val(VMT_R8, 0.1 + 0.2), Val(VMT_R8, 0.3)), 0);
  EXPECT_EQ(Ask(nPresqueEgalEx, Val(VMT_R8, 1.0), Val(VMT_R8, 1.001)), 0);
  EXPECT_EQ(Ask(nSoupleEgalEx, Val(VMT_I4, 3), Val(VMT_R8, 3.0)), 1);
  EXPECT_EQ(bCanCompareEx(VMT_I4, VMT_DSTRW), 1);
  EXPECT_EQ(bCanCompareEx(VMT_DATETIME, VMT_R8), 0);
}

TEST(VMMatch, ThreeStrengths) {
  EXPECT_EQ(Ask(nCommenceParEx, Val::W(L"Bonjour"), Val::W(L"Bon")), 1);
  EXPECT_EQ(Ask(nCommenceParEx, Val::W(L"Bonjour"), Val::W(L"bon")), 0);
  EXPECT_EQ(Ask(nCommenceParSoupleEx, Val::W(L"\u00c9t\u00e9"), Val::W(L"ete")), 1);
  EXPECT_EQ(Ask(nContientEx, Val::W(L"L'\u00e9t\u00e9 indien"), Val::W(L"\u00e9 i")), 1);
  EXPECT_EQ(Ask(nContientSoupleEx, Val::W(L"L'\u00e9t\u00e9 indien"), Val::W(L"ETEIN")), 0);
  EXPECT_EQ(Ask(nContientTresSoupleEx, Val::W(L"L'\u00e9t\u00e9 indien"), Val::W(L"ETEIN")), 1);
  EXPECT_EQ(Ask(nTermineParEx, Val::W(L"fichier.txt"), Val::W(L".txt")), 1);
  EXPECT_EQ(Ask(nTermineParSoupleEx, Val::W(L"fichier.TXT"), Val::W(L".txt")), 1);
  EXPECT_EQ(Ask(nTermineParTresSoupleEx, Val::W(L"a b-c"), Val::W(L"BC")), 1);
  EXPECT_EQ(Ask(nTermineParEx, Val::W(L"x"), Val::W(L"xx")), 0);
  EXPECT_EQ(Ask(nCommenceParEx, Val::W(L"x"), Val::W(L"")), 1);
  EXPECT_EQ(Ask(nContientEx, Val::A("12345"), Val(VMT_I4, 34)), 1);  // any operand with a text
  int x = 0;
  EXPECT_EQ(Ask(nContientEx, Val::W(L"x"), Val(VMT_DINO, &x)), -VM_ERR_UNSUPPORTED);
}

TEST(VMLogic, TruthOfValues) {
  EXPECT_EQ(Ask(nETLogiqueEx, Val(VMT_BOOL, 1), Val(VMT_I4, 5)), 1);
  EXPECT_EQ(Ask(nETLogiqueEx, Val(VMT_BOOL, 1), Val(VMT_R8, 0.0)), 0);
  EXPECT_EQ(Ask(nOULogiqueEx, Val::W(L"Faux"), Val::W(L"vrai")), 1);
  EXPECT_EQ(Ask(nOULogiqueEx, Val::W(L""), Val(VMT_EMPTY, 0)), 0);
  EXPECT_EQ(Ask(nOULogiqueEx, Val::W(L"maybe"), Val(VMT_BOOL, 1)), -VM_ERR_SYNTAX);
  int r = 99;
  const Val zero(VMT_UI8, uint64_t{0});
  EXPECT_EQ(nNONLogiqueEx(zero.a.b, zero.type, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 1);
  const Val dt = Val::Dt(2024, 1, 1, 0);
  EXPECT_EQ(nNONLogiqueEx(dt.a.b, dt.type, &r, 0, nullptr), VM_ERR_UNSUPPORTED);
}

class VMArithmetic : public testing::Test {
 protected:
  using FnArith = int (*)(const void*, unsigned short, const void*, unsigned short, void*, unsigned short*,
                          unsigned int, void*);
  void SetUp() override { m_nDecimals = CVMDecimalFactory::Instance().nLive(); }
  void TearDown() override {
    for (auto& [area, type] : m_results) FinConversion(area.b, type);
    EXPECT_EQ(CVMDecimalFactory::Instance().nLive(), m_nDecimals);
  }
  // The result's text, or "<rc>" for an error; the result type in *pType.
  std::wstring Do(FnArith f, const Val& x, const Val& y, unsigned short* pType = nullptr, int* pRc = nullptr) {
    Area out;
    unsigned short type = 0;
    const int rc = f(x.a.b, static_cast<unsigned short>(x.type), y.a.b, static_cast<unsigned short>(y.type), out.b,
                     &type, 0, nullptr);
    if (pRc) *pRc = rc;
    if (pType) *pType = type;
    if (rc > 99) return L"<" + std::to_wstring(rc) + L">";
    m_results.emplace_back(out, type);
    std::wstring text;
    EXPECT_EQ(nVMReadText(out.b, type, 1252, &text), 0);
    return text;
  }

  std::vector<std::pair<Area, unsigned short>> m_results;
  long m_nDecimals = 0;
};

TEST_F(VMArithmetic, IntegersWidenByValue) {
  unsigned short t = 0;
  EXPECT_EQ(Do(nAdditionEx, Val(VMT_I4, 2), Val(VMT_I2, int16_t{3}), &t), L"5");
  EXPECT_EQ(t, VMT_I4);
  EXPECT_EQ(Do(nAdditionEx, Val(VMT_I4, INT32_MAX), Val(VMT_I4, 1), &t), L"2147483648");
  EXPECT_EQ(t, VMT_I8);
  EXPECT_EQ(Do(nMultiplicationEx, Val(VMT_UI8, UINT64_MAX), Val(VMT_I1, int8_t{-2}), &t), L"-36893488147419103230");
  EXPECT_EQ(t, VMT_DECIMAL);
  EXPECT_EQ(Do(nMultiplicationEx, Val(VMT_UI8, UINT64_MAX), Val(VMT_UI8, UINT64_MAX)), L"<201>");  // 39 digits
  EXPECT_EQ(Do(nAdditionEx, Val(VMT_I8, INT64_MAX), Val(VMT_I8, INT64_MAX), &t), L"18446744073709551614");
  EXPECT_EQ(t, VMT_UI8);
  EXPECT_EQ(Do(nSoustractionEx, Val(VMT_UI4, 0u), Val(VMT_UI4, 1u), &t), L"-1");
  EXPECT_EQ(t, VMT_I8);
  EXPECT_EQ(Do(nModuloEx, Val(VMT_I4, -7), Val(VMT_I4, 3), &t), L"-1");
  int rc = 0;
  EXPECT_EQ(Do(nDivisionEx, Val(VMT_I4, 1), Val(VMT_I4, 3), &t, &rc), L"0.3333333333333333");
  EXPECT_EQ(t, VMT_R8);
  EXPECT_EQ(rc, VM_WARN_ROUNDED);
  EXPECT_EQ(Do(nDivisionEx, Val(VMT_I4, 6), Val(VMT_I4, 3), &t, &rc), L"2");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Do(nDivisionEx, Val(VMT_I4, 1), Val(VMT_I4, 0)), L"<204>");
  EXPECT_EQ(Do(nModuloEx, Val(VMT_I4, 1), Val(VMT_BOOL, 0)), L"<204>");
  EXPECT_EQ(Do(nMultiplicationEx, Val::W(L"12"), Val(VMT_I4, 2), &t), L"24");  // text read as a number
  EXPECT_EQ(Do(nMultiplicationEx, Val::W(L"x"), Val(VMT_I4, 2)), L"<202>");
}

TEST_F(VMArithmetic, ExactCurrencyAndDecimals) {
  unsigned short t = 0;
  int rc = 0;
  EXPECT_EQ(Do(nAdditionEx, Val::Money(L"0.1"), Val::Money(L"0.2"), &t), L"0.3");
  EXPECT_EQ(t, VMT_CY);
  EXPECT_EQ(Do(nMultiplicationEx, Val::Money(L"0.000001"), Val::Money(L"0.5"), &t, &rc), L"0.000001");
  EXPECT_EQ(rc, VM_WARN_ROUNDED);
  EXPECT_EQ(Do(nDivisionEx, Val::Money(L"2"), Val(VMT_I4, 3), &t), L"0.666667");
  EXPECT_EQ(Do(nAdditionEx, Val::Money(L"0.1"), Val(VMT_R8, 0.2), &t), L"0.3");  // the real joins exactly
  EXPECT_EQ(t, VMT_CY);
  EXPECT_EQ(Do(nMultiplicationEx, Val::Money(L"600000000000000000"), Val(VMT_I4, 2)), L"<201>");
  // Decimals: 38 digits, quotients with max(6, scales) decimals.
  Area d;
  CXYString<wchar_t> s(L"12345678901234567890.5");
  void* p = s.pGetData();
  memcpy(d.b, &p, sizeof(p));
  ASSERT_EQ(nConversionDepassementExt(d.b, VMT_DSTRW, d.b, VMT_DECIMAL, 0, nullptr), 0);
  m_results.emplace_back(d, VMT_DECIMAL);
  const Val dec(VMT_DECIMAL, d.As<IDecimal*>());
  EXPECT_EQ(Do(nAdditionEx, dec, Val(VMT_I8, int64_t{1}), &t), L"12345678901234567891.5");
  EXPECT_EQ(t, VMT_DECIMAL);
  EXPECT_EQ(Do(nDivisionEx, Val(VMT_I4, 1), dec, &t), L"0.000000");
  EXPECT_EQ(Do(nDivisionEx, dec, Val(VMT_I4, 4), &t), L"3086419725308641972.625000");
  // Decimals beyond 38 digits in all are rounded away; integer digits beyond are an overflow.
  EXPECT_EQ(Do(nMultiplicationEx, dec, Val::Money(L"100000000000000000.000001"), &t),
            L"1234567890123456789050012345678901234.6");
  EXPECT_EQ(Do(nMultiplicationEx, dec, dec), L"<201>");
  EXPECT_EQ(Do(nMultiplicationEx, dec, Val(VMT_UI8, uint64_t{10000000000000000000u})), L"<201>");
}

TEST_F(VMArithmetic, RealsAndTexts) {
  unsigned short t = 0;
  EXPECT_EQ(Do(nAdditionEx, Val(VMT_R4, 1.5f), Val(VMT_R4, 2.0f), &t), L"3.5");
  EXPECT_EQ(t, VMT_R4);
  EXPECT_EQ(Do(nAdditionEx, Val(VMT_R4, 1.5f), Val(VMT_I4, 1), &t), L"2.5");
  EXPECT_EQ(t, VMT_R8);
  EXPECT_EQ(Do(nMultiplicationEx, Val(VMT_R8, 1e308), Val(VMT_R8, 10.0)), L"<201>");
  EXPECT_EQ(Do(nDivisionEx, Val(VMT_R8, 1.0), Val(VMT_R8, 0.0)), L"<204>");
  EXPECT_EQ(Do(nModuloEx, Val(VMT_R8, 7.5), Val(VMT_R8, 2.0)), L"1.5");
  EXPECT_EQ(Do(nAdditionEx, Val::W(L"ab"), Val(VMT_I4, 12), &t), L"ab12");
  EXPECT_EQ(t, VMT_DSTRW);
  EXPECT_EQ(Do(nAdditionEx, Val::A("caf"), Val::A("\xE9"), &t), L"caf\u00e9");
  EXPECT_EQ(t, VMT_DSTRA);
  EXPECT_EQ(Do(nAdditionEx, Val::W(L""), Val::W(L""), &t), L"");
  EXPECT_EQ(Do(nSoustractionEx, Val::W(L"ab"), Val::W(L"b")), L"<202>");
}

TEST_F(VMArithmetic, DatesAndDurations) {
  unsigned short t = 0;
  const Val day(VMT_DUREE, int64_t{86400000});
  EXPECT_EQ(Do(nAdditionEx, Val::Dt(2024, 2, 28, 43200000), day, &t), L"20240229120000000");
  EXPECT_EQ(t, VMT_DATETIME);
  EXPECT_EQ(Do(nAdditionEx, day, Val::Dt(2023, 12, 31, 0), &t), L"20240101000000000");
  EXPECT_EQ(Do(nSoustractionEx, Val::Dt(2024, 3, 1, 0), Val(VMT_DUREE, int64_t{1}), &t), L"20240229235959999");
  EXPECT_EQ(Do(nSoustractionEx, Val::Dt(2024, 3, 1, 0), Val::Dt(2024, 2, 28, 1000), &t), L"1235959000");
  EXPECT_EQ(t, VMT_DUREE);
  EXPECT_EQ(Do(nAdditionEx, Val::Inline(VMT_DATEW, L"20240131"), Val(VMT_I4, 30), &t), L"20240301");
  EXPECT_EQ(t, VMT_DATEW);
  EXPECT_EQ(Do(nSoustractionEx, Val::Inline(VMT_DATEA, L"20240301"), Val::Inline(VMT_DATEA, L"20240201"), &t), L"29");
  EXPECT_EQ(t, VMT_I4);
  EXPECT_EQ(Do(nMultiplicationEx, day, Val(VMT_R8, 1.5), &t), L"1120000000");
  EXPECT_EQ(t, VMT_DUREE);
  EXPECT_EQ(Do(nDivisionEx, day, Val(VMT_DUREE, int64_t{3600000}), &t), L"24");
  EXPECT_EQ(t, VMT_R8);
  EXPECT_EQ(Do(nAdditionEx, Val::Dt(9999, 12, 31, 0), day), L"<201>");
  EXPECT_EQ(Do(nAdditionEx, Val::Dt(0, 0, 0, 0), day), L"<202>");  // the empty date-time
  EXPECT_EQ(Do(nAdditionEx, Val::Dt(2024, 1, 1, 0), Val::Dt(2024, 1, 1, 0)), L"<203>");
  EXPECT_EQ(Do(nMultiplicationEx, day, day), L"<203>");
  EXPECT_EQ(wAjouteEx(VMT_DATETIME, VMT_DUREE), VMT_DATETIME);
  EXPECT_EQ(wSoustraitEx(VMT_DATEW, VMT_DATEW), VMT_I4);
  EXPECT_EQ(wMultiplieEx(VMT_I2, VMT_UI1), VMT_I4);
  EXPECT_EQ(wDiviseEx(VMT_I2, VMT_UI1), VMT_R8);
  EXPECT_EQ(wModuloEx(VMT_CY, VMT_DECIMAL), VMT_DECIMAL);
}

TEST_F(VMArithmetic, Negation) {
  auto neg = [&](const Val& v, unsigned short* t, Area* out) {
    *out = Area{};
    return nNegationEx(v.a.b, static_cast<unsigned short>(v.type), out->b, t, 0, nullptr);
  };
  Area out;
  unsigned short t = 0;
  ASSERT_EQ(neg(Val(VMT_I4, INT32_MIN), &t, &out), 0);
  EXPECT_EQ(t, VMT_I8);
  EXPECT_EQ(out.As<int64_t>(), 2147483648LL);
  ASSERT_EQ(neg(Val(VMT_UI1, uint8_t{200}), &t, &out), 0);
  EXPECT_EQ(t, VMT_I4);
  EXPECT_EQ(out.As<int32_t>(), -200);
  ASSERT_EQ(neg(Val(VMT_R4, 1.5f), &t, &out), 0);
  EXPECT_EQ(t, VMT_R4);
  EXPECT_EQ(out.As<float>(), -1.5f);
  CMoney min;
  SetMonetaireToMin(&min);
  EXPECT_EQ(neg(Val(VMT_CY, min), &t, &out), VM_ERR_OVERFLOW);
  EXPECT_EQ(neg(Val::W(L"1"), &t, &out), VM_ERR_UNSUPPORTED);
  // A decimal's negation goes into the object the destination already holds.
  IDecimal* src = CVMDecimalFactory::Instance().piCreate(0);
  static_cast<CVMDecimal*>(src)->nSetValue(ExactFromInt(-25), 0);
  src->nSetPrecisionScale(5, 1);
  IDecimal* dst = CVMDecimalFactory::Instance().piCreate(0);
  memcpy(out.b, &dst, sizeof(dst));
  const Val dec(VMT_DECIMAL, src);
  ASSERT_EQ(nNegationEx(dec.a.b, VMT_DECIMAL, out.b, &t, 0, nullptr), 0);
  EXPECT_EQ(out.As<IDecimal*>(), dst);
  EXPECT_EQ(ExactToText(ExactFromDecimal(dst), false), L"25.0");
  int precision = 0, scale = 0;
  dst->GetPrecisionScale(&precision, &scale);
  EXPECT_EQ(precision, 5);
  CVMDecimalFactory::Instance().Free(src);
  CVMDecimalFactory::Instance().Free(dst);
}

}  // namespace
