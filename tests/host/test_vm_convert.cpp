// The stand-in VM's conversions, called as the runtime calls them: 40-byte value areas, type
// codes, FinConversion afterwards. Dynamic strings are checked through the runtime's own
// CXYString, so the blocks the VM writes are the blocks the runtime reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "common/xystring.h"
#include "host/host_services.h"
#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "host/vm_value.h"
#include "tests/host/vm_test_area.h"
#include "values/money.h"

namespace {

class VMConvert : public testing::Test {
 protected:
  void SetUp() override { m_nDecimals = CVMDecimalFactory::Instance().nLive(); }
  void TearDown() override { EXPECT_EQ(CVMDecimalFactory::Instance().nLive(), m_nDecimals); }

  // Converts and, on success, keeps the destination to be freed at the end of the test.
  int Convert(const Area& src, unsigned short from, Area* dst, unsigned short to, const STOCAW* options = nullptr) {
    memset(dst->b, 0xAB, sizeof(dst->b));  // garbage must not matter
    return nConversionDepassementExt(src.b, from, dst->b, to, 0, options);
  }
  // The text of a converted wide dynamic string, freed afterwards.
  std::wstring DstrW(const Area& src, unsigned short from, int* rc = nullptr) {
    Area dst;
    const int r = Convert(src, from, &dst, VMT_DSTRW);
    if (rc) *rc = r;
    if (r > 99) return L"<error>";
    CXYString<wchar_t> s;
    s.Attach(dst.As<wchar_t*>());  // takes the conversion's reference
    return s.pszGet();
  }
  static Area Text(CXYString<wchar_t>& s, const wchar_t* text) {
    s.Set(text);
    return Area::Of(s.pGetData());
  }

  long m_nDecimals = 0;
};

TEST_F(VMConvert, IntegersToAndFromText) {
  EXPECT_EQ(DstrW(Area::Of<int32_t>(-42), VMT_I4), L"-42");
  EXPECT_EQ(DstrW(Area::Of<uint64_t>(UINT64_MAX), VMT_UI8), L"18446744073709551615");
  EXPECT_EQ(DstrW(Area::Of<int8_t>(-128), VMT_I1), L"-128");
  EXPECT_EQ(DstrW(Area::Of<int32_t>(7), 15), L"7");  // 15 reads as I4
  EXPECT_EQ(DstrW(Area::Of<int32_t>(5), VMT_BOOL), L"1");
  CXYString<wchar_t> s;
  Area dst;
  EXPECT_EQ(Convert(Text(s, L"  -42 "), VMT_DSTRW, &dst, VMT_I1), 0);
  EXPECT_EQ(dst.As<int8_t>(), -42);
  EXPECT_EQ(Convert(Text(s, L"256"), VMT_DSTRW, &dst, VMT_UI1), VM_ERR_OVERFLOW);
  EXPECT_EQ(Convert(Text(s, L"-1"), VMT_DSTRW, &dst, VMT_UI8), VM_ERR_OVERFLOW);
  EXPECT_EQ(Convert(Text(s, L"12.5"), VMT_DSTRW, &dst, VMT_I4), VM_WARN_ROUNDED);
  EXPECT_EQ(dst.As<int32_t>(), 13);
  EXPECT_EQ(Convert(Text(s, L"-12.5"), VMT_DSTRW, &dst, VMT_I8), VM_WARN_ROUNDED);
  EXPECT_EQ(dst.As<int64_t>(), -13);
  EXPECT_EQ(Convert(Text(s, L"abc"), VMT_DSTRW, &dst, VMT_I4), VM_ERR_SYNTAX);
  EXPECT_EQ(Convert(Text(s, L""), VMT_DSTRW, &dst, VMT_I4), 0);
  EXPECT_EQ(dst.As<int32_t>(), 0);
  EXPECT_EQ(Convert(Text(s, L"9223372036854775808"), VMT_DSTRW, &dst, VMT_I8), VM_ERR_OVERFLOW);
  EXPECT_EQ(Convert(Text(s, L"Vrai"), VMT_DSTRW, &dst, VMT_BOOL), 0);
  EXPECT_EQ(dst.As<int32_t>(), 1);
  EXPECT_EQ(Convert(Text(s, L"maybe"), VMT_DSTRW, &dst, VMT_BOOL), VM_ERR_SYNTAX);
  EXPECT_EQ(Convert(Area::Of<int32_t>(300), VMT_I4, &dst, VMT_I1), VM_ERR_OVERFLOW);
  EXPECT_EQ(Convert(Area::Of<int32_t>(-1), VMT_UIX, &dst, VMT_UI4), VM_ERR_OVERFLOW);
}

TEST_F(VMConvert, RealsConvertHonestly) {
  Area dst;
  EXPECT_EQ(Convert(Area::Of(2.5), VMT_R8, &dst, VMT_I4), VM_WARN_ROUNDED);
  EXPECT_EQ(dst.As<int32_t>(), 3);
  EXPECT_EQ(Convert(Area::Of(std::nan("")), VMT_R8, &dst, VMT_I4), VM_ERR_OVERFLOW);
  EXPECT_EQ(Convert(Area::Of(1e300), VMT_R8, &dst, VMT_R4), VM_ERR_OVERFLOW);
  // Lost means the real no longer reads as the same decimal.
  EXPECT_EQ(Convert(Area::Of(0.1), VMT_R8, &dst, VMT_R4), 0);
  EXPECT_EQ(Convert(Area::Of(0.1000000001), VMT_R8, &dst, VMT_R4), VM_WARN_ROUNDED);
  EXPECT_EQ(Convert(Area::Of<int32_t>(16777217), VMT_I4, &dst, VMT_R4), VM_WARN_ROUNDED);
  EXPECT_EQ(Convert(Area::Of<int64_t>((int64_t{1} << 53) + 1), VMT_I8, &dst, VMT_R8), VM_WARN_ROUNDED);
  EXPECT_EQ(Convert(Area::Of<int64_t>(int64_t{1} << 53), VMT_I8, &dst, VMT_R8), 0);
  EXPECT_EQ(DstrW(Area::Of(0.1), VMT_R8), L"0.1");
  EXPECT_EQ(DstrW(Area::Of(0.1f), VMT_R4), L"0.1");
  CXYString<wchar_t> s;
  EXPECT_EQ(Convert(Text(s, L"1e400"), VMT_DSTRW, &dst, VMT_R8), VM_ERR_OVERFLOW);
  EXPECT_EQ(Convert(Text(s, L"-2.5e-3"), VMT_DSTRW, &dst, VMT_R8), 0);
  EXPECT_EQ(dst.As<double>(), -0.0025);
}

TEST_F(VMConvert, CurrencyAndDecimalStayExact) {
  CMoney m;
  ASSERT_NE(pstChaineVersMonetaire(&m, L"12.345"), nullptr);
  EXPECT_EQ(DstrW(Area::Of(m), VMT_CY), L"12.345");
  CXYString<wchar_t> s;
  Area dst;
  EXPECT_EQ(Convert(Text(s, L"1.1234565"), VMT_DSTRW, &dst, VMT_CY), VM_WARN_ROUNDED);
  wchar_t buf[kMoneyDecimalChars];
  CMoney got = dst.As<CMoney>();
  EXPECT_STREQ(pszMonetaireVersChaineC(buf, &got), L"1.123457");
  EXPECT_EQ(Convert(Area::Of<int64_t>(INT64_MIN), VMT_I8, &dst, VMT_CY), VM_ERR_OVERFLOW);
  // 38 digits through DECIMAL and back, no digit lost on the way.
  const wchar_t* digits = L"-12345678901234567890.123456789012345678";
  ASSERT_EQ(Convert(Text(s, digits), VMT_DSTRW, &dst, VMT_DECIMAL), 0);
  Area back;
  EXPECT_EQ(DstrW(dst, VMT_DECIMAL), digits);
  EXPECT_EQ(Convert(dst, VMT_DECIMAL, &back, VMT_CY), VM_ERR_OVERFLOW);  // 20 integer digits
  EXPECT_EQ(FinConversion(dst.b, VMT_DECIMAL), 0);
  ASSERT_EQ(Convert(Text(s, L"-123456789012345678.1234565"), VMT_DSTRW, &dst, VMT_DECIMAL), 0);
  ASSERT_EQ(Convert(dst, VMT_DECIMAL, &back, VMT_CY), VM_WARN_ROUNDED);
  got = back.As<CMoney>();
  EXPECT_STREQ(pszMonetaireVersChaineC(buf, &got), L"-123456789012345678.123457");
  FinConversion(dst.b, VMT_DECIMAL);
  EXPECT_EQ(dst.As<void*>(), nullptr);
  EXPECT_EQ(Convert(Text(s, L"1234567890123456789012345678901234567890"), VMT_DSTRW, &dst, VMT_DECIMAL),
            VM_ERR_OVERFLOW);
  // Same code: a copy that is freed on its own.
  ASSERT_EQ(Convert(Area::Of<uint64_t>(UINT64_MAX), VMT_UI8, &dst, VMT_DECIMAL), 0);
  ASSERT_EQ(Convert(dst, VMT_DECIMAL, &back, VMT_DECIMAL), 0);
  EXPECT_NE(back.As<void*>(), dst.As<void*>());
  FinConversion(dst.b, VMT_DECIMAL);
  EXPECT_EQ(DstrW(back, VMT_DECIMAL), L"18446744073709551615");
  FinConversion(back.b, VMT_DECIMAL);
  // A made decimal has the precision its digits need.
  ASSERT_EQ(Convert(Text(s, L"-0.05"), VMT_DSTRW, &dst, VMT_DECIMAL), 0);
  int precision = 0, scale = 0;
  dst.As<IDecimal*>()->GetPrecisionScale(&precision, &scale);
  EXPECT_EQ(precision, 2);
  EXPECT_EQ(scale, 2);
  FinConversion(dst.b, VMT_DECIMAL);
  ASSERT_EQ(Convert(Area::Of<int32_t>(123), VMT_I4, &dst, VMT_DECIMAL), 0);
  dst.As<IDecimal*>()->GetPrecisionScale(&precision, &scale);
  EXPECT_EQ(precision, 3);
  EXPECT_EQ(scale, 0);
  FinConversion(dst.b, VMT_DECIMAL);
  ASSERT_EQ(Convert(Area::Of(1e-300), VMT_R8, &dst, VMT_DECIMAL), VM_WARN_ROUNDED);
  FinConversion(dst.b, VMT_DECIMAL);
  ASSERT_EQ(Convert(Area::Of(0.1), VMT_R8, &dst, VMT_DECIMAL), 0);
  EXPECT_EQ(DstrW(dst, VMT_DECIMAL), L"0.1");
  FinConversion(dst.b, VMT_DECIMAL);
  EXPECT_EQ(Convert(Area::Of<IDecimal*>(nullptr), VMT_DECIMAL, &dst, VMT_I4), VM_ERR_ARGUMENT);
}

TEST_F(VMConvert, TextStorageFormsAndCodePages) {
  CXYString<wchar_t> s;
  Area dst;
  const STOCAW utf8{65001};
  ASSERT_EQ(Convert(Text(s, L"\u00e9\u20ac"), VMT_DSTRW, &dst, VMT_DSTRA), 0);  // the host's 1252
  {
    CXYString<char> a;
    a.Attach(dst.As<char*>());
    ASSERT_EQ(a.nGetLength(), 2);
    EXPECT_EQ(memcmp(a.pszGet(), "\xE9\x80", 3), 0);  // terminated
  }
  ASSERT_EQ(Convert(Text(s, L"\u00e9"), VMT_DSTRW, &dst, VMT_PSTRA, &utf8), 0);
  EXPECT_STREQ(dst.As<char*>(), "\xC3\xA9");
  FinConversion(dst.b, VMT_PSTRA);
  EXPECT_EQ(Convert(Text(s, L"\u65e5"), VMT_DSTRW, &dst, VMT_PSTRA), VM_WARN_TEXT_CUT);
  EXPECT_STREQ(dst.As<char*>(), "?");
  FinConversion(dst.b, VMT_PSTRA);
  // Narrow to wide and the plain forms.
  const char* narrow = "caf\xE9";
  ASSERT_EQ(Convert(Area::Of(narrow), VMT_PSTRA, &dst, VMT_PSTRW), 0);
  EXPECT_STREQ(dst.As<wchar_t*>(), L"caf\u00e9");
  FinConversion(dst.b, VMT_PSTRW);
  EXPECT_EQ(dst.As<void*>(), nullptr);
  EXPECT_EQ(DstrW(Area::Of<const wchar_t*>(nullptr), VMT_PSTRW), L"");
  // Characters.
  EXPECT_EQ(Convert(Text(s, L"abc"), VMT_DSTRW, &dst, VMT_CARA), VM_WARN_TEXT_CUT);
  EXPECT_EQ(dst.As<char>(), 'a');
  EXPECT_EQ(dst.b[1], 0);
  EXPECT_EQ(DstrW(Area::Of<wchar_t>(L'\u00e9'), VMT_CARW), L"\u00e9");
  EXPECT_EQ(Convert(Area::Of('\xE9'), VMT_CARA, &dst, VMT_CARW), 0);
  EXPECT_EQ(dst.As<wchar_t>(), L'\u00e9');
  // The empty text is a null pointer in every dynamic and plain form.
  ASSERT_EQ(Convert(Text(s, L""), VMT_DSTRW, &dst, VMT_DSTRA), 0);
  EXPECT_EQ(dst.As<void*>(), nullptr);
}

TEST_F(VMConvert, SourceAreaMayBeTheDestinationOrJustAPointer) {
  Area inplace = Area::Of<int32_t>(77);
  ASSERT_EQ(nConversionDepassementExt(inplace.b, VMT_I4, inplace.b, VMT_DSTRW, 0, nullptr), 0);
  EXPECT_EQ(DstrW(inplace, VMT_DSTRW), L"77");
  FinConversion(inplace.b, VMT_DSTRW);
  const wchar_t* lone = L"12";  // only the pointer, no 40-byte area around it
  Area dst;
  ASSERT_EQ(nConversionDepassementExt(&lone, VMT_PSTRW, dst.b, VMT_I2, 0, nullptr), 0);
  EXPECT_EQ(dst.As<int16_t>(), 12);
}

TEST_F(VMConvert, SameDynamicCodeSharesTheBlock) {
  CXYString<wchar_t> s(L"shared");
  Area src = Area::Of(s.pGetData()), dst;
  ASSERT_EQ(Convert(src, VMT_DSTRW, &dst, VMT_DSTRW), 0);
  EXPECT_EQ(dst.As<wchar_t*>(), s.pGetData());
  EXPECT_TRUE(CBaseStrMem::s_bIsShared(s.pGetData()));
  FinConversion(dst.b, VMT_DSTRW);
  EXPECT_FALSE(CBaseStrMem::s_bIsShared(s.pGetData()));
}

TEST_F(VMConvert, DatesTimesAndDateTimes) {
  CXYString<wchar_t> s;
  Area dst;
  ASSERT_EQ(Convert(Text(s, L"20240203 123456789"), VMT_DSTRW, &dst, VMT_DATETIME), 0);
  VMDateTime dt = dst.As<VMDateTime>();
  EXPECT_EQ(dt.wYear, 2024);
  EXPECT_EQ(dt.byMonth, 2);
  EXPECT_EQ(dt.byDay, 3);
  EXPECT_EQ(dt.dwMilli, 12u * 3600000 + 34 * 60000 + 56 * 1000 + 789);
  const Area dta = dst;
  EXPECT_EQ(DstrW(dta, VMT_DATETIME), L"20240203123456789");
  ASSERT_EQ(Convert(dta, VMT_DATETIME, &dst, VMT_DATEA), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(dst.b), "20240203");
  ASSERT_EQ(Convert(dta, VMT_DATETIME, &dst, VMT_TIMEW), 0);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(dst.b), L"123456789");
  // Times of 2 to 9 digits become the nine-digit form; a date-time from a time has no date.
  ASSERT_EQ(Convert(Text(s, L"0930"), VMT_DSTRW, &dst, VMT_TIMEA), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(dst.b), "093000000");
  const Area time = dst;
  ASSERT_EQ(Convert(time, VMT_TIMEA, &dst, VMT_DATETIME), 0);
  dt = dst.As<VMDateTime>();
  EXPECT_EQ(dt.wYear, 0);
  EXPECT_EQ(dt.dwMilli, 9u * 3600000 + 30 * 60000);
  // The date of a date-time text, with the rest cut.
  EXPECT_EQ(Convert(Text(s, L"20240203123456789"), VMT_DSTRW, &dst, VMT_DATEW), VM_WARN_TEXT_CUT);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(dst.b), L"20240203");
  // Invalid calendar values are refused.
  EXPECT_EQ(Convert(Text(s, L"20230229"), VMT_DSTRW, &dst, VMT_DATEW), VM_ERR_SYNTAX);
  EXPECT_EQ(Convert(Text(s, L"20240229"), VMT_DSTRW, &dst, VMT_DATEW), 0);
  EXPECT_EQ(Convert(Text(s, L"2460"), VMT_DSTRW, &dst, VMT_TIMEW), VM_ERR_SYNTAX);
  EXPECT_EQ(Convert(Text(s, L"123"), VMT_DSTRW, &dst, VMT_TIMEW), VM_ERR_SYNTAX);
  EXPECT_EQ(Convert(Text(s, L"2024-02-03"), VMT_DSTRW, &dst, VMT_DATETIME), VM_ERR_SYNTAX);
  // The empty date-time and the empty text meet.
  EXPECT_EQ(DstrW(Area::Of<uint64_t>(0), VMT_DATETIME), L"");
  ASSERT_EQ(Convert(Text(s, L""), VMT_DSTRW, &dst, VMT_DATETIME), 0);
  EXPECT_EQ(dst.As<uint64_t>(), 0u);
  EXPECT_EQ(Convert(Area::Of<int32_t>(1), VMT_I4, &dst, VMT_DATETIME), VM_ERR_UNSUPPORTED);
}

TEST_F(VMConvert, DurationsAndBinaries) {
  const int64_t ms = -(86400000LL + 2 * 3600000 + 3 * 60000 + 4 * 1000 + 5);
  EXPECT_EQ(DstrW(Area::Of(ms), VMT_DUREE), L"-1020304005");
  CXYString<wchar_t> s;
  Area dst;
  ASSERT_EQ(Convert(Text(s, L"-1020304005"), VMT_DSTRW, &dst, VMT_DUREE), 0);
  EXPECT_EQ(dst.As<int64_t>(), ms);
  EXPECT_EQ(Convert(Text(s, L"020304005"), VMT_DSTRW, &dst, VMT_DUREE), VM_ERR_SYNTAX);
  ASSERT_EQ(Convert(Area::Of(1.5), VMT_R8, &dst, VMT_DUREE), VM_WARN_ROUNDED);
  EXPECT_EQ(dst.As<int64_t>(), 2);
  ASSERT_EQ(Convert(Area::Of<int64_t>(5000), VMT_DUREE, &dst, VMT_I4), 0);
  EXPECT_EQ(dst.As<int32_t>(), 5000);
  // Binary <-> narrow text keeps the bytes; a date-time gives its 17 digits.
  ASSERT_EQ(Convert(Text(s, L"ab\u00e9"), VMT_DSTRW, &dst, VMT_BIN), 0);
  const Area bin = dst;
  EXPECT_EQ(CBaseStrMem::s_nLength(bin.As<void*>()), 3u);
  ASSERT_EQ(Convert(bin, VMT_BIN, &dst, VMT_PSTRA), 0);
  EXPECT_STREQ(dst.As<char*>(), "ab\xE9");
  FinConversion(dst.b, VMT_PSTRA);
  Area buffer;
  const char bytes[] = "12";
  const void* p = bytes;
  memcpy(buffer.b, &p, sizeof(p));
  const uint32_t n = 2;
  memcpy(buffer.b + sizeof(void*), &n, sizeof(n));
  ASSERT_EQ(Convert(buffer, VMT_BUFFER, &dst, VMT_I2), 0);
  EXPECT_EQ(dst.As<int16_t>(), 12);
  EXPECT_EQ(Convert(bin, VMT_BIN, &dst, VMT_BUFFER), VM_ERR_UNSUPPORTED);
  FinConversion(const_cast<unsigned char*>(bin.b), VMT_BIN);
}

TEST_F(VMConvert, RefusalsLeaveNothingBehind) {
  Area dst;
  const long live = CHostServices::Instance().Allocator()->nLiveBlocks();
  EXPECT_EQ(Convert(Area::Of<int32_t>(1), 77, &dst, VMT_DSTRW), VM_ERR_UNSUPPORTED);
  EXPECT_EQ(Convert(Area::Of<int32_t>(1), VMT_I4, &dst, VMT_EMPTY), VM_ERR_UNSUPPORTED);
  EXPECT_EQ(Convert(Area::Of<void*>(&dst), VMT_DINO, &dst, VMT_DSTRW), VM_ERR_UNSUPPORTED);
  EXPECT_EQ(nConversionDepassementExt(nullptr, VMT_I4, dst.b, VMT_I8, 0, nullptr), VM_ERR_ARGUMENT);
  // An allocator failure comes back with the allocator's own code.
  CHostServices::Instance().Allocator()->FailNext(1);
  EXPECT_EQ(Convert(Area::Of<int32_t>(1), VMT_I4, &dst, VMT_DSTRW), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(dst.As<void*>(), nullptr);
  EXPECT_EQ(CHostServices::Instance().Allocator()->nLiveBlocks(), live);
  // Host objects only to their own code, borrowed.
  void* object = &dst;
  Area copy;
  ASSERT_EQ(Convert(Area::Of(object), VMT_OBJET_BASE, &copy, VMT_OBJET_BASE), 0);
  EXPECT_EQ(copy.As<void*>(), object);
  EXPECT_EQ(FinConversion(copy.b, VMT_OBJET_BASE), 0);
  EXPECT_EQ(copy.As<void*>(), object);
}

}  // namespace
