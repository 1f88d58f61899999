// The stand-in VM's answers as the variant and the operators receive them: results, result codes
// and the values behind them, through the exported call forms on 40-byte value areas. Operands
// are made from texts by the VM itself (PSTRW is the text as it is) and freed at the end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>

#include "host/host_services.h"
#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "host/vm_value.h"
#include "values/datetime.h"
#include "values/duree.h"

namespace {

struct Area {
  alignas(8) unsigned char b[kVMAreaSize] = {};
  template <typename T>
  T As() const {
    T v;
    memcpy(&v, b, sizeof(T));
    return v;
  }
  template <typename T>
  static Area Of(T v) {
    Area a;
    memcpy(a.b, &v, sizeof(T));
    return a;
  }
};

using FnBool = int (*)(const void*, unsigned int, const void*, unsigned int, int*, unsigned int, void*);
using FnArith = int (*)(const void*, unsigned short, const void*, unsigned short, void*, unsigned short*,
                        unsigned int, void*);

std::string Trace(const wchar_t* a, const wchar_t* b = L"") {
  return testing::PrintToString(std::wstring(a)) + " " + testing::PrintToString(std::wstring(b));
}

class VM : public testing::Test {
 protected:
  void SetUp() override { m_nBlocks = Alloc().nLiveBlocks(); }
  void TearDown() override {
    for (auto& [area, code] : m_made) FinConversion(area.b, code);
    EXPECT_EQ(CVMDecimalFactory::Instance().nLive(), 0);
    EXPECT_EQ(Alloc().nLiveBlocks(), m_nBlocks);
  }
  static CHostStrMemAlloc& Alloc() { return *CHostServices::Instance().Allocator(); }

  // The value of text as code (EMPTY: the empty value), owned by the test.
  const Area& Make(const wchar_t* text, unsigned int code, unsigned int cp = 0) {
    const Area src = Area::Of(text);
    if (code == VMT_PSTRW || code == VMT_EMPTY) return m_kept.emplace_back(code == VMT_EMPTY ? Area{} : src);
    const STOCAW options{cp};
    Area a;
    EXPECT_LE(nConversionDepassementExt(src.b, VMT_PSTRW, a.b, code, 0, &options), 99) << Trace(text) << code;
    return Keep(a, code);
  }
  const Area& Keep(const Area& a, unsigned int code) { return m_made.emplace_back(a, code).first; }
  // The text of a result and its code when not 0 ("13 <1>"), or "<rc>" for an error.
  static std::wstring Show(int rc, const Area& a, unsigned int code, unsigned int cp = 0) {
    if (rc > 99) return L"<" + std::to_wstring(rc) + L">";
    const STOCAW options{cp};
    Area text;
    EXPECT_EQ(nConversionDepassementExt(a.b, code, text.b, VMT_PSTRW, 0, &options), 0) << code;
    std::wstring out = text.As<const wchar_t*>() != nullptr ? text.As<const wchar_t*>() : L"";
    FinConversion(text.b, VMT_PSTRW);
    return rc != 0 ? out + L" <" + std::to_wstring(rc) + L">" : out;
  }
  std::wstring Cast(const Area& src, unsigned int from, unsigned int to, unsigned int cp = 0) {
    const STOCAW options{cp};
    Area dst;
    memset(dst.b, 0xAB, sizeof(dst.b));  // garbage must not matter
    const int rc = nConversionDepassementExt(src.b, from, dst.b, to, 0, &options);
    if (rc > 99) { EXPECT_EQ(memcmp(dst.b, Area{}.b, kVMAreaSize), 0) << "a refusal leaves nothing to free"; }
    return Show(rc, rc > 99 ? dst : Keep(dst, to), to, cp);
  }

  std::deque<std::pair<Area, unsigned int>> m_made;
  std::deque<Area> m_kept;
  long m_nBlocks = 0;
};

const wchar_t* const kDecimal38 = L"-12345678901234567890.123456789012345678";
// Just above the half between 1 and the next real; 0.6 with 77 decimals; just below the halves of
// currency's last decimal and of a decimal's 38th digit, each beyond 77 digits.
const std::wstring kAboveHalf =
    L"1.00000000000000011102230246251565404236316680908203125" + std::wstring(30, '0') + L'1';
const std::wstring kSixth = L"0.6" + std::wstring(76, '0');
const std::wstring kCyBelowHalf = L"0.0000004" + std::wstring(80, '9');
const std::wstring kDecBelowHalf = L"1." + std::wstring(37, '0') + L"4" + std::wstring(43, '9');

TEST_F(VM, ConversionsGiveTheValueAndTheCode) {
  struct Row { const wchar_t* text; unsigned int from, to; const wchar_t* want; unsigned int cp = 0; };
  const Row rows[] = {
      // Whole numbers: range, halves away from zero, booleans.
      {L"  -42 ", VMT_PSTRW, VMT_I1, L"-42"}, {L"7", 15, VMT_PSTRW, L"7"}, {L"256", VMT_PSTRW, VMT_UI1, L"<201>"},
      {L"-1", VMT_PSTRW, VMT_UI8, L"<201>"}, {L"18446744073709551615", VMT_PSTRW, VMT_UI8, L"18446744073709551615"},
      {L"9223372036854775808", VMT_PSTRW, VMT_I8, L"<201>"}, {L"12.5", VMT_PSTRW, VMT_I4, L"13 <1>"},
      {L"-2.5", VMT_R8, VMT_I8, L"-3 <1>"}, {L"abc", VMT_PSTRW, VMT_I4, L"<202>"}, {L"", VMT_PSTRW, VMT_I4, L"0"},
      {L"Vrai", VMT_PSTRW, VMT_BOOL, L"1"}, {L"maybe", VMT_PSTRW, VMT_BOOL, L"<202>"}, {L"5", VMT_I4, VMT_BOOL, L"1"},
      // Reals: out of range is an overflow; a warning when the real is not the decimal.
      {L"1e300", VMT_R8, VMT_R4, L"<201>"}, {L"1e300", VMT_R8, VMT_I8, L"<201>"}, {L"0.1", VMT_R8, VMT_R4, L"0.1"},
      {L"1e400", VMT_PSTRW, VMT_R8, L"<201>"}, {L"1e-300", VMT_PSTRW, VMT_R8, L"1e-300"},
      {L"1e-300", VMT_PSTRW, VMT_BOOL, L"1"}, {L"0.1000000001", VMT_R8, VMT_R4, L"0.1 <1>"},
      {L"16777217", VMT_I4, VMT_R4, L"16777216 <1>"}, {L"9007199254740993", VMT_I8, VMT_R8, L"9007199254740992 <1>"},
      // A whole real is the integer it holds; a long text is rounded once, from all its digits.
      {L"1234567890123000064", VMT_R8, VMT_I8, L"1234567890123000064"},
      {L"1234567890123000064", VMT_R8, VMT_DUREE, L"14288980209181000064"},
      {kAboveHalf.c_str(), VMT_PSTRW, VMT_R8, L"1.0000000000000002 <1>"}, {kSixth.c_str(), VMT_PSTRW, VMT_I4, L"1 <1>"},
      {kCyBelowHalf.c_str(), VMT_PSTRW, VMT_CY, L"0 <1>"},
      {kDecBelowHalf.c_str(), VMT_PSTRW, VMT_DECIMAL, L"1.0000000000000000000000000000000000000 <1>"},
      // Currency and decimals stay exact.
      {L"12.345", VMT_PSTRW, VMT_CY, L"12.345"}, {L"1.1234565", VMT_PSTRW, VMT_CY, L"1.123457 <1>"},
      {L"-9223372036854775808", VMT_I8, VMT_CY, L"<201>"}, {L"0.1", VMT_R8, VMT_DECIMAL, L"0.1"},
      {kDecimal38, VMT_PSTRW, VMT_DECIMAL, kDecimal38},
      {L"-12345678901234567890.1", VMT_DECIMAL, VMT_CY, L"<201>"},
      {L"-123456789012345678.1234565", VMT_DECIMAL, VMT_CY, L"-123456789012345678.123457 <1>"},
      {L"1234567890123456789012345678901234567890", VMT_PSTRW, VMT_DECIMAL, L"<201>"},
      // Durations in milliseconds, their text DHHMMSSmmm.
      {L"-1020304005", VMT_PSTRW, VMT_DUREE, L"-1020304005"}, {L"020304005", VMT_PSTRW, VMT_DUREE, L"<202>"},
      {L"1.5", VMT_R8, VMT_DUREE, L"0000000002 <1>"}, {L"0000005000", VMT_DUREE, VMT_I4, L"5000"},
      // Dates, times, date-times.
      {L"20240203 123456789", VMT_PSTRW, VMT_DATETIME, L"20240203123456789"},
      {L"20240203123456789", VMT_DATETIME, VMT_DATEA, L"20240203"},
      {L"20240203123456789", VMT_DATETIME, VMT_TIMEW, L"123456789"},
      {L"20240203123456789", VMT_PSTRW, VMT_DATEW, L"20240203 <2>"}, {L"0930", VMT_PSTRW, VMT_TIMEA, L"093000000"},
      {L"20230229", VMT_PSTRW, VMT_DATEW, L"<202>"}, {L"15000229", VMT_PSTRW, VMT_DATEW, L"15000229"},
      {L"2460", VMT_PSTRW, VMT_TIMEW, L"<202>"}, {L"2024-02-03", VMT_PSTRW, VMT_DATETIME, L"<202>"},
      {L"", VMT_PSTRW, VMT_DATETIME, L""}, {L"1", VMT_I4, VMT_DATETIME, L"<203>"},
      // Texts, characters and binaries through the code page.
      {L"\u00e9", VMT_PSTRW, VMT_PSTRA, L"\u00e9", 65001}, {L"\u65e5", VMT_PSTRW, VMT_PSTRA, L"? <2>"},
      {L"abc", VMT_PSTRW, VMT_CARA, L"a <2>"}, {L"\u00e9", VMT_CARA, VMT_CARW, L"\u00e9"},
      {L"ab\u00e9", VMT_DSTRW, VMT_BIN, L"ab\u00e9"}, {L"12", VMT_BIN, VMT_I2, L"12"},
      {L"1", VMT_I4, 77, L"<203>"}, {L"x", VMT_BIN, VMT_BUFFER, L"<203>"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Cast(Make(r.text, r.from, r.cp), r.from, r.to, r.cp), r.want) << Trace(r.text) << r.from << '>' << r.to;
  // Sources as the runtime may hand them: cut inside a UTF-8 sequence, a lone pointer, the
  // destination's own area.
  EXPECT_EQ(Cast(Area::Of("ab\xC3"), VMT_PSTRA, VMT_PSTRW, 65001), L"ab");
  EXPECT_EQ(Cast(Area::Of(std::nan("")), VMT_R8, VMT_I4), L"<201>");
  const wchar_t* lone = L"12";
  Area inplace;
  ASSERT_EQ(nConversionDepassementExt(&lone, VMT_PSTRW, inplace.b, VMT_I2, 0, nullptr), 0);
  ASSERT_EQ(nConversionDepassementExt(inplace.b, VMT_I2, inplace.b, VMT_DSTRW, 0, nullptr), 0);
  EXPECT_EQ(Show(0, Keep(inplace, VMT_DSTRW), VMT_DSTRW), L"12");
  EXPECT_EQ(nConversionDepassementExt(nullptr, VMT_I4, inplace.b, VMT_I8, 0, nullptr), VM_ERR_ARGUMENT);
  // I8 -> R8 -> I8 gives the value back whenever the real holds it.
  for (int64_t v : {INT64_MIN, int64_t{1} << 62, int64_t{-1234567890123000064}, (int64_t{1} << 53) + 2}) {
    Area real, back;
    EXPECT_EQ(nConversionDepassementExt(Area::Of(v).b, VMT_I8, real.b, VMT_R8, 0, nullptr), 0) << v;
    EXPECT_EQ(nConversionDepassementExt(real.b, VMT_R8, back.b, VMT_I8, 0, nullptr), 0) << v;
    EXPECT_EQ(back.As<int64_t>(), v);
  }
}

TEST_F(VM, MadeTextsBelongToTheCaller) {
  // Dynamic strings are host blocks: one reference, length in bytes, terminated; freed once.
  const long live = Alloc().nLiveBlocks();
  const Area& wide = Make(L"\u00e9\u20ac", VMT_DSTRW);
  auto* w = wide.As<wchar_t*>();
  EXPECT_EQ(StrMemHeader(w)->nRefCount, 1);
  EXPECT_EQ(StrMemHeader(w)->dwLength, 2 * sizeof(wchar_t));
  EXPECT_EQ(w[2], L'\0');
  Cast(wide, VMT_DSTRW, VMT_DSTRA);  // the host's code page, 1252
  EXPECT_EQ(memcmp(m_made.back().first.As<char*>(), "\xE9\x80", 3), 0);
  // The same dynamic code shares the block; FinConversion drops that reference only.
  Area copy;
  ASSERT_EQ(nConversionDepassementExt(wide.b, VMT_DSTRW, copy.b, VMT_DSTRW, 0, nullptr), 0);
  EXPECT_EQ(copy.As<wchar_t*>(), w);
  EXPECT_EQ(StrMemHeader(w)->nRefCount, 2);
  EXPECT_EQ(FinConversion(copy.b, VMT_DSTRW), 0);
  EXPECT_EQ(StrMemHeader(w)->nRefCount, 1);
  // The empty text is a null pointer; an allocator failure comes back with its own code.
  EXPECT_EQ(Make(L"", VMT_DSTRA).As<void*>(), nullptr);
  Alloc().FailNext(1);
  EXPECT_EQ(Cast(Make(L"1", VMT_I4), VMT_I4, VMT_DSTRW), L"<" + std::to_wstring(CHostStrMemAlloc::kErrNoMemory) + L">");
  EXPECT_EQ(Alloc().nLiveBlocks(), live + 2);
  // Host objects go only to their own code, borrowed: nothing to free.
  const Area object = Area::Of<void*>(&copy);
  ASSERT_EQ(nConversionDepassementExt(object.b, VMT_OBJET_BASE, copy.b, VMT_OBJET_BASE, 0, nullptr), 0);
  EXPECT_EQ(FinConversion(copy.b, VMT_OBJET_BASE), 0);
  EXPECT_EQ(copy.As<void*>(), &copy);
  EXPECT_EQ(Cast(object, VMT_DINO, VMT_DSTRW), L"<203>");
}

TEST_F(VM, ComparisonsMatchingAndLogic) {
  struct Row { FnBool f; const wchar_t* a; unsigned int ac; const wchar_t* b; unsigned int bc; int want; };
  const Row rows[] = {  // the answer, or minus the error
      // Order: numbers by exact value across codes, texts by code point, a number text as a number.
      {nComparaisonEx, L"2", VMT_I4, L"2", VMT_R8, 0},
      {nComparaisonEx, L"18446744073709551615", VMT_UI8, L"-1", VMT_I8, 1},
      {nComparaisonEx, L"0.1", VMT_CY, L"0.1", VMT_R8, -1},  // the double is a little above 0.1
      {nComparaisonEx, L"7", VMT_BOOL, L"1", VMT_I4, 0},
      {nComparaisonEx, L"0000001000", VMT_DUREE, L"999", VMT_I4, 1},
      {nComparaisonEx, L"caf\u00e9", VMT_DSTRA, L"caf\u00e9", VMT_DSTRW, 0},
      {nComparaisonEx, L"10", VMT_DSTRW, L"9", VMT_I4, 1},
      {nComparaisonEx, L"vrai", VMT_DSTRW, L"1", VMT_BOOL, 0},
      // Date-times by date then time; date texts over the shorter length; binaries by bytes.
      {nComparaisonEx, L"20240115 000000001", VMT_DATETIME, L"20240115", VMT_DATETIME, 1},
      {nComparaisonEx, L"20240115", VMT_DATEW, L"20240115 120000", VMT_DATETIME, 0},
      {nComparaisonEx, L"20240115", VMT_DATEA, L"2024", VMT_DSTRW, 0},
      {nComparaisonEx, L"ab", VMT_BIN, L"abc", VMT_DSTRA, -1},
      {nSuperieurEx, L"20240101", VMT_DATETIME, L"1", VMT_I4, -VM_ERR_UNSUPPORTED},
      // Three strengths of equality and of matching.
      {nEgaliteEx, L"\u00c9l\u00e8ve", VMT_DSTRW, L"eleve", VMT_DSTRW, 0},
      {nSoupleEgalEx, L"\u00c9l\u00e8ve", VMT_DSTRW, L"eleve", VMT_DSTRW, 1},
      {nPresqueEgalEx, L"jean-pierre", VMT_DSTRW, L"Jean Pierre", VMT_DSTRW, 1},
      {nPresqueEgalEx, L"0.30000000000000004", VMT_R8, L"0.3", VMT_R8, 1},
      {nCommenceParEx, L"Bonjour", VMT_DSTRW, L"bon", VMT_DSTRW, 0},
      {nCommenceParSoupleEx, L"\u00c9t\u00e9", VMT_DSTRW, L"ete", VMT_DSTRW, 1},
      {nContientTresSoupleEx, L"L'\u00e9t\u00e9 indien", VMT_DSTRW, L"ETEIN", VMT_DSTRW, 1},
      {nTermineParTresSoupleEx, L"a b-c", VMT_DSTRW, L"BC", VMT_DSTRW, 1},
      {nContientEx, L"12345", VMT_DSTRA, L"34", VMT_I4, 1},
      // Logic on the truth of values.
      {nETLogiqueEx, L"1", VMT_BOOL, L"0", VMT_R8, 0},
      {nOULogiqueEx, L"Faux", VMT_DSTRW, L"vrai", VMT_DSTRW, 1},
      {nOULogiqueEx, L"maybe", VMT_DSTRW, L"1", VMT_BOOL, -VM_ERR_SYNTAX},
  };
  for (const Row& r : rows) {
    int got = 99;
    const int rc = r.f(Make(r.a, r.ac).b, r.ac, Make(r.b, r.bc).b, r.bc, &got, 0, nullptr);
    EXPECT_EQ(rc > 99 ? -rc : got, r.want) << Trace(r.a, r.b);
    if (rc > 99) { EXPECT_EQ(got, 99) << "the answer is left alone on an error"; }
  }
  // Flags in the type word do not change the type; references compare by identity.
  int r = 99;
  const Area one = Area::Of<int32_t>(1), x = Area::Of<void*>(&r);
  EXPECT_EQ(nEgaliteEx(one.b, VMT_I4 | 0x100 | 0x400, one.b, VMT_I4, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(nEgaliteEx(x.b, VMT_DINO, one.b, VMT_OBJET_BASE, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(nNONLogiqueEx(Make(L"0", VMT_UI8).b, VMT_UI8 | 0x100, &r, 0, nullptr), 0);
  EXPECT_EQ(r, 1);
}

TEST_F(VM, ArithmeticAndNegationGiveTheValueAndItsCode) {
  // f null: the negation of a.
  struct Row { FnArith f; const wchar_t* a; unsigned int ac; const wchar_t* b; unsigned int bc; const wchar_t* want;
               unsigned int type = 0; };
  const wchar_t* dec = L"12345678901234567890.5";
  const wchar_t* day = L"1000000000";
  const wchar_t* u8max = L"18446744073709551615";
  const Row rows[] = {
      // Whole numbers widen by value: I4, I8, UI8, DECIMAL; quotients are reals.
      {nAdditionEx, L"2147483647", VMT_I4, L"1", VMT_I2, L"2147483648", VMT_I8},
      {nAdditionEx, L"9223372036854775807", VMT_I8, L"9223372036854775807", VMT_I8, L"18446744073709551614", VMT_UI8},
      {nMultiplicationEx, u8max, VMT_UI8, L"-2", VMT_I1, L"-36893488147419103230", VMT_DECIMAL},
      {nSoustractionEx, L"0", VMT_UI4, L"1", VMT_UI4, L"-1", VMT_I8},
      {nModuloEx, L"-7", VMT_I4, L"3", VMT_I4, L"-1", VMT_I4},
      {nDivisionEx, L"1", VMT_I4, L"3", VMT_I4, L"0.3333333333333333 <1>", VMT_R8},
      {nDivisionEx, L"1", VMT_I4, L"0", VMT_I4, L"<204>"},
      {nMultiplicationEx, L"12", VMT_DSTRW, L"2", VMT_I4, L"24", VMT_I8},
      // Currency and decimals are exact; a real joins them through its decimal.
      {nAdditionEx, L"0.1", VMT_CY, L"0.2", VMT_R8, L"0.3", VMT_CY},
      {nDivisionEx, L"2", VMT_CY, L"3", VMT_I4, L"0.666667 <1>", VMT_CY},
      {nMultiplicationEx, L"600000000000000000", VMT_CY, L"2", VMT_I4, L"<201>"},
      {nAdditionEx, dec, VMT_DECIMAL, L"1", VMT_I8, L"12345678901234567891.5", VMT_DECIMAL},
      {nDivisionEx, dec, VMT_DECIMAL, L"4", VMT_I4, L"3086419725308641972.625000", VMT_DECIMAL},
      {nMultiplicationEx, dec, VMT_DECIMAL, L"100000000000000000.000001", VMT_CY,
       L"1234567890123456789050012345678901234.6 <1>", VMT_DECIMAL},
      {nMultiplicationEx, dec, VMT_DECIMAL, dec, VMT_DECIMAL, L"<201>"},
      // Reals; texts concatenate.
      {nAdditionEx, L"1.5", VMT_R4, L"2", VMT_R4, L"3.5", VMT_R4},
      {nAdditionEx, L"1.5", VMT_R4, L"1", VMT_I4, L"2.5", VMT_R8},
      {nAdditionEx, L"ab", VMT_DSTRW, L"12", VMT_I4, L"ab12", VMT_DSTRW},
      {nAdditionEx, L"caf", VMT_DSTRA, L"\u00e9", VMT_DSTRA, L"caf\u00e9", VMT_DSTRA},
      {nSoustractionEx, L"ab", VMT_DSTRW, L"b", VMT_DSTRW, L"<202>"},
      // Dates and durations.
      {nAdditionEx, L"20240228 120000", VMT_DATETIME, day, VMT_DUREE, L"20240229120000000", VMT_DATETIME},
      {nAdditionEx, day, VMT_DUREE, L"20231231", VMT_DATETIME, L"20240101000000000", VMT_DATETIME},
      {nSoustractionEx, L"20240301", VMT_DATETIME, L"0000000001", VMT_DUREE, L"20240229235959999", VMT_DATETIME},
      {nSoustractionEx, L"20240301", VMT_DATETIME, L"20240228 000001", VMT_DATETIME, L"1235959000", VMT_DUREE},
      {nAdditionEx, L"20240131", VMT_DATEW, L"30", VMT_I4, L"20240301", VMT_DATEW},
      {nSoustractionEx, L"20240301", VMT_DATEA, L"20240201", VMT_DATEA, L"29", VMT_I4},
      {nDivisionEx, day, VMT_DUREE, L"0010000000", VMT_DUREE, L"24", VMT_R8},
      {nAdditionEx, L"99991231", VMT_DATETIME, day, VMT_DUREE, L"<201>"},
      {nAdditionEx, L"", VMT_DATETIME, day, VMT_DUREE, L"<202>"},
      {nAdditionEx, L"20240101", VMT_DATETIME, L"20240101", VMT_DATETIME, L"<203>"},
      {nAdditionEx, L"15000229", VMT_DATETIME, L"0000000000", VMT_DUREE, L"15000229000000000", VMT_DATETIME},
      {nSoustractionEx, L"15000301", VMT_DATEW, L"15000228", VMT_DATEW, L"2", VMT_I4},
      // Negation keeps the code where the result fits.
      {nullptr, L"-2147483648", VMT_I4, L"", 0, L"2147483648", VMT_I8},
      {nullptr, L"200", VMT_UI1, L"", 0, L"-200", VMT_I4},
      {nullptr, L"-604462909807314587.353088", VMT_CY, L"", 0, L"<201>"},
      {nullptr, L"-2.5", VMT_DECIMAL, L"", 0, L"2.5", VMT_DECIMAL},
  };
  for (const Row& r : rows) {
    Area out;
    unsigned short type = 0;
    const auto a = static_cast<unsigned short>(r.ac), b = static_cast<unsigned short>(r.bc);
    const int rc = r.f != nullptr ? r.f(Make(r.a, a).b, a, Make(r.b, b).b, b, out.b, &type, 0, nullptr)
                                  : nNegationEx(Make(r.a, a).b, a, out.b, &type, 0, nullptr);
    EXPECT_EQ(Show(rc, rc > 99 ? out : Keep(out, type), type), r.want) << Trace(r.a, r.b);
    if (rc <= 99) { EXPECT_EQ(type, r.type) << Trace(r.a, r.b); }
  }
}

TEST_F(VM, DateArithmeticAgreesWithTheDateClass) {
  // Every 61st day of years 1 to 9999 at noon: the day after, and the time and the days since the
  // Julian leap day of 1500.
  CDateTimeBase leap, dt, next;
  leap.Set(1500, 2, 29, 0, 0, 0, 0);
  const Area day = Area::Of<int64_t>(kMillisecondsPerDay), leapDate = Make(L"15000229", VMT_DATEW);
  for (int n = -657072; n <= 2994988; n += 61) {
    SCOPED_TRACE(n);
    int d, m, y, days = 0;
    ASSERT_TRUE(CDateTimeBase::__bEntierVersDate(n, &d, &m, &y));
    dt.Set(y, m, d, 12, 0, 0, 0);
    next = dt;
    const int moved = next.bDecaleJour(1) ? 0 : VM_ERR_OVERFLOW;
    const Area at = Area::Of(VMDateTime{dt.m_byJour, dt.m_byMois, dt.m_wAnnee, dt.m_dwMilli});
    Area out, date;
    unsigned short type = 0;
    ASSERT_EQ(nAdditionEx(at.b, VMT_DATETIME, day.b, VMT_DUREE, out.b, &type, 0, nullptr), moved);
    EXPECT_EQ(out.As<uint64_t>() & 0xFFFFFFFF, next.dwGetMotDate());
    CDureeBase since;
    ASSERT_EQ(CDateTimeBase::nCalculeDuree(dt, leap, &since), 0);
    ASSERT_EQ(nSoustractionEx(at.b, VMT_DATETIME, Area::Of(leap).b, VMT_DATETIME, out.b, &type, 0, nullptr), 0);
    EXPECT_EQ(out.As<int64_t>(), since.m_llMilli);
    dt.nVersDate(reinterpret_cast<wchar_t*>(date.b), 8);
    ASSERT_TRUE(CDateTimeBase::bCalculeDiffJour(dt, leap, &days));
    ASSERT_EQ(nSoustractionEx(date.b, VMT_DATEW, leapDate.b, VMT_DATEW, out.b, &type, 0, nullptr), 0);
    EXPECT_EQ(out.As<int32_t>(), days);
  }
}

TEST_F(VM, DecimalObjectsKeepTheirForms) {
  auto make = [&](const wchar_t* text) { return Make(text, VMT_DECIMAL).As<IDecimal*>(); };
  auto show = [&](IDecimal* d) { return Show(0, Area::Of(d), VMT_DECIMAL); };
  // The data form has the size of the precision: -12345 in three two's-complement bytes.
  IDecimal* d = make(L"-123.45");
  ASSERT_EQ(d->nSetPrecisionScale(5, 2), 0);
  ASSERT_EQ(d->nGetDataSize(), 3u);
  const unsigned char bytes[3] = {0xC7, 0xCF, 0xFF}, big[3] = {0xFF, 0xFF, 0x7F};
  EXPECT_EQ(memcmp(d->pGetData(), bytes, 3), 0);
  IDecimal* e = make(L"0");
  ASSERT_EQ(e->nLoad(5, 2, bytes), 0);
  EXPECT_EQ(e->nCompare(d), 0);
  EXPECT_EQ(e->nLoad(5, 2, big), VM_ERR_OVERFLOW);
  // The 18-byte form and copies carry all 38 digits and the sign.
  IDecimal* f = make(L"-98765432109876543210.987654321098765432");
  unsigned char form[IDecimal::kFormSize];
  f->WriteForm(form);
  ASSERT_EQ(e->nLoadForm(form), 0);
  EXPECT_EQ(show(e), L"-98765432109876543210.987654321098765432");
  ASSERT_EQ(d->nCopy(f), 0);
  EXPECT_EQ(d->nCompare(f), 0);
  EXPECT_EQ(d->bIsNegative(), 1);
  // Rescaling rounds; too many digits for the precision give the bound and an overflow.
  EXPECT_EQ(e->nSetPrecisionScale(38, 2), VM_WARN_ROUNDED);
  EXPECT_EQ(show(e), L"-98765432109876543210.99");
  EXPECT_EQ(e->nSetPrecisionScale(4, 1), VM_ERR_OVERFLOW);
  EXPECT_EQ(show(e), L"-999.9");
  EXPECT_EQ(e->nGetDataSize(), 2u);
  // Keys sort like the values, whatever the scales.
  const wchar_t* ordered[] = {L"-99999999999999999999999999999999999999", L"-1.5", L"-1.49", L"-0.00000001", L"0",
                              L"0.00000001", L"1.49", L"1.5", L"1.500", L"99999999999999999999999999999999999999"};
  unsigned char prev[IDecimal::kKeySize] = {}, key[IDecimal::kKeySize];
  for (size_t i = 0; i < std::size(ordered); ++i) {
    make(ordered[i])->WriteKey(key);
    const int c = memcmp(prev, key, sizeof(key));
    if (i > 0) { EXPECT_EQ(c < 0 ? -1 : c > 0, i == 8 ? 0 : -1) << i; }  // 1.5 = 1.500
    memcpy(prev, key, sizeof(key));
  }
}

}  // namespace
