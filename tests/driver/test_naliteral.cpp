// SQL literals, date-time expressions and column defaults of the generic connection, per dialect.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cwchar>
#include <string>

#include "common/tstringconcataw.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "host/host_itemdescription.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "sql/naitemdescription.h"
#include "tests/support/any_test_values.h"

namespace {

struct CHostHolder { CHostConnectionDescription m_host; };
class CDialectCnx : private CHostHolder, public CNAConnectionDescription {
 public:
  explicit CDialectCnx(int dialect, int major = 8) : CNAConnectionDescription(L"id", &m_host) {
    m_eDataSource = dialect;
    m_nServerVersionMajor = major;
    m_nHostCodePage = 1252;
    SetStatic(true);
  }
  BOOL bOpen(CNAError*) override { return TRUE; }
  BOOL bIsOpen() override { return TRUE; }
  BOOL bClose(CNAError*) override { return TRUE; }
};
// An item of a given server type text.
struct CTypedItem : CNAItemDescription {
  CTypedItem(eNA_ITEMTYPE t, unsigned int size, const wchar_t* db = L"") : m_db(db) {
    bInit(L"c", L"", L"", 1, size, t, 0, -1, 0, 0, 0);
    ExternalAddRef();  // held by the test: a converter's release must not delete it
  }
  const wchar_t* pszGetDBType() const override { return m_db; }
  const wchar_t* m_db;
};
class Literal : public AnyTest {};
std::wstring Text(CTStringConcatAW& out) { return std::wstring(out.pszGetW(), static_cast<size_t>(out.nGetLengthW())); }
// The file and site of the error's debug line: a cast error's kind lands in the site.
std::wstring Site(const CNAError& e) {
  const std::wstring d = e.pszGetError();
  const size_t at = d.find(L"IEQXMSQL=");
  return at == std::wstring::npos ? L"" : d.substr(at + 9, d.find(L'\r', at) - at - 9);
}

TEST_F(Literal, ValuesOfEachHostTypeAndDialect) {
  const struct { int dialect; unsigned short code; const wchar_t* text; eNA_ITEMTYPE item; const wchar_t* want; } rows[] = {
      {5, ZV_I4, L"7", NA_IT_EMPTY, L"7"},
      {5, ZV_BOOL, L"1", NA_IT_EMPTY, L"1"},
      {5, ZV_I4, L"0", NA_IT_BOOLEEN, L"0"},
      {5, ZV_CY, L"1.5", NA_IT_MONETAIRE, L"1.5"},
      {5, ZV_R8, L"0.1", NA_IT_R8, L"0.1"},
      {5, ZV_DSTRA, L"O'Brien", NA_IT_TEXTE, L"'O''Brien'"},
      {5, ZV_DSTRA, L"", NA_IT_TEXTE, L"''"},
      {2, ZV_DSTRW, L"\u20ac'", NA_IT_UNICODE, L"N'\u20ac'''"},
      {5, ZV_DSTRW, L"\u20ac", NA_IT_UNICODE, L"'\u20ac'"},
      {5, ZV_DATETIME, L"00000000093005007", NA_IT_DATETIME, L"'00000-00-00 09:30:05.007'"},
      {5, ZV_DATEA, L"00000000", NA_IT_DATE8, L"'0000-00-00'"},
      {5, ZV_DATEA, L"00010101", NA_IT_DATE8, L"'0001-01-01'"},
      {5, ZV_DATETIME, L"99991231235959999", NA_IT_DATETIME, L"'9999-12-31 23:59:59.999'"},
      {5, ZV_DATETIME, L"20240229123456789", NA_IT_HEURE, L"'12:34:56.789'"},
      {5, ZV_TIMEA, L"091005", NA_IT_HEURE, L"'09:10:05.000'"},
      {8, ZV_DATEA, L"20240229", NA_IT_DATE8, L"{d '2024-02-29'}"},
      {8, ZV_TIMEA, L"123456789", NA_IT_HEURE, L"{t '12:34:56'}"},
      {7, ZV_DATETIME, L"20240229123456789", NA_IT_DATETIME, L"{ts '2024-02-29 12:34:56.789'}"},
      {7, ZV_TIMEA, L"123456789", NA_IT_HEURE, L"{t '12:34:56'}"},
      {9, ZV_TIMEA, L"123456789", NA_IT_HEURE, L"'12:34:56.789'"},
      {10, ZV_TIMEA, L"123456789", NA_IT_HEURE, L"'12:34:56.789'"},
      {11, ZV_TIMEA, L"123456789", NA_IT_HEURE, L"DATETIME(12:34) HOUR TO MINUTE"},
      {11, ZV_DATEA, L"20240229", NA_IT_DATE8, L"MDY(02,29,2024)"},
      {11, ZV_DATETIME, L"20240229123456789", NA_IT_DATETIME, L"DATETIME(2024-02-29 12:34:56.789) YEAR TO FRACTION"},
      {2, ZV_DATETIME, L"00000101000000000", NA_IT_DATETIME, L"'1900-01-01 00:00:00.000'"},
      {3, ZV_TIMEA, L"123456789", NA_IT_HEURE, L"'12:34:56.789'"},
  };
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect);
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    CAny v = FromText(r.code, r.text);
    if (r.code == ZV_DATEA) v.SetDATEA(std::string(r.text, r.text + wcslen(r.text)).c_str());
    EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &out, &v, r.item, NA_IT_EMPTY)) << r.want;
    EXPECT_EQ(Text(out), r.want);
    v.SetNull(true);
    EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &out, &v, r.item, NA_IT_EMPTY) && Text(out) == L"NULL");
  }
}

TEST_F(Literal, RealsReadBackAsTheSameDoubleAndNonFiniteOnesAreRefused) {
  CDialectCnx cnx(5);
  CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
  for (double d : std::initializer_list<double>{0.1, 1.0 / 3, 1e308, DBL_MIN, -2.5e-300, INFINITY, -INFINITY, NAN}) {
    CAny v;
    v.SetR8(d);
    CNAError e;
    const BOOL ok = cnx.bConvertValueToString(&e, &out, &v, NA_IT_R8, NA_IT_EMPTY);
    EXPECT_EQ(ok, std::isfinite(d)) << d;
    if (ok) EXPECT_EQ(wcstod(Text(out).c_str(), nullptr), d) << Text(out);
    else EXPECT_EQ(Site(e), L"1.16");
  }
}

TEST_F(Literal, ExpressionsGiveTheDigitTextOfEachDialect) {
  const struct { int dialect; eNA_ITEMTYPE type; unsigned int size; const wchar_t* db; int major; const wchar_t* want; } rows[] = {
      {5, NA_IT_DATE8, 9, L"", 8, L"DATE_FORMAT(x,'%Y%m%d')"},
      {5, NA_IT_DATETIME, 8, L"", 8, L"SUBSTR(DATE_FORMAT(x,'%Y%m%d%H%i%S%f'), 1, 17)"},
      {5, NA_IT_HEURE, 5, L"", 8, L"TIME_FORMAT(x,'%H%i')"},
      {5, NA_IT_HEURE, 6, L"", 8, L"SUBSTR(TIME_FORMAT(x,'%H%i%S'), 1, 5)"},
      {5, NA_IT_HEURE, 7, L"", 8, L"TIME_FORMAT(x,'%H%i%S')"},
      {5, NA_IT_HEURE, 8, L"", 8, L"SUBSTR(TIME_FORMAT(x,'%H%i%S%f'), 1, 7)"},
      {5, NA_IT_HEURE, 9, L"", 8, L"SUBSTR(TIME_FORMAT(x,'%H%i%S%f'), 1, 8)"},
      {5, NA_IT_HEURE, 10, L"", 8, L"SUBSTR(TIME_FORMAT(x,'%H%i%S%f'), 1, 9)"},
      {2, NA_IT_HEURE, 5, L"", 8, L"SUBSTRING(REPLACE(CONVERT(varchar(8),x,108),':',''), 1, 4)"},
      {2, NA_IT_HEURE, 10, L"", 8, L"REPLACE(REPLACE(CONVERT(varchar(12),x,114),':',''),'.','')"},
      {3, NA_IT_HEURE, 9, L"", 8, L"(FORMAT(x,'HHmmss') + '00')"},
      {4, NA_IT_HEURE, 6, L"", 8, L"SUBSTRING(STUFF(STUFF(CONVERT(VARCHAR(8),x,108), 3, 1, NULL), 5, 1, NULL), 1, 5)"},
      {6, NA_IT_HEURE, 8, L"", 8, L"SUBSTR(TO_CHAR(x,'HH24MISSMS'), 1, 7)"},
      {7, NA_IT_HEURE, 5, L"", 8, L"SUBSTR(REPLACE(CHAR(TIME(x)), '.', ''), 1, 4)"},
      {8, NA_IT_DATETIME, 8, L"", 8, L"TO_CHAR(x,'YYYYMMDDHH24MISSMLS')"},
      {9, NA_IT_HEURE, 10, L"TIMESTAMP", 8, L"TO_CHAR(x,'HH24MISSFF3')"},
      {10, NA_IT_DATETIME, 8, L"DATE", 9, L"TO_CHAR( CAST(x AS TIMESTAMP),'YYYYMMDDHH24MISSFF3')"},
      {1, NA_IT_DATETIME, 8, L"DATE", 8, L"(TO_CHAR(x,'YYYYMMDDHH24MISS')+'000')"},
      {11, NA_IT_HEURE, 9, L"", 8, L"SUBSTR(TO_CHAR(x,'%H%M%S%F2'), 1, 8)"},
      {12, NA_IT_DATE8, 9, L"", 8, L"TO_CHAR(x,'YYYYMMDD')"},
      {13, NA_IT_HEURE, 7, L"", 8, L"strftime('%H%M%S',x)"},
  };
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect, r.major);
    CTypedItem item(r.type, r.size), item2(r.type, r.size, r.db);
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    EXPECT_TRUE(cnx.bConvertExpressionToString(nullptr, &out, L"x", &item, &item2));
    EXPECT_EQ(Text(out), r.want) << r.dialect << " " << r.type << " " << r.size;
  }
  CDialectCnx cnx(5);
  CTypedItem other(NA_IT_HEURE, 11);
  CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
  EXPECT_FALSE(cnx.bConvertExpressionToString(nullptr, &out, L"x", &other, nullptr) || Text(out) != L"x");
}

TEST_F(Literal, HexadecimalDigitTextsAndTimeTexts) {
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F, 0xFF};
  wchar_t wide[9];
  char narrow[9];
  CDialectCnx::s_BinaryToStringHexa(bytes, 4, wide);
  CDialectCnx::s_BinaryToStringHexa(bytes, 0, narrow);
  EXPECT_EQ(std::wstring(wide), L"00AB7FFF");
  EXPECT_EQ(narrow[0], 0);
  const struct { const char* text; unsigned int size; const char* want; } rows[] = {
      {"00ab7Fff", 4, "\x00\xAB\x7F\xFF"}, {"0AB", 4, "\x0A\x00\x00\x00"}, {"ZZ1g", 4, "\x00\x10\x00\x00"},
      {"01020304", 2, "\x01\x02\xEE\xEE"}, {"", 3, "\x00\x00\x00\xEE"}};
  for (const auto& r : rows) {
    unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CDialectCnx::s_StringHexaToBinary(r.text, out, r.size);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), std::string(r.want, 4)) << r.text;
    std::wstring w(r.text, r.text + strlen(r.text));
    unsigned char outW[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CDialectCnx::s_StringHexaToBinary(w.c_str(), outW, r.size);
    EXPECT_EQ(memcmp(out, outW, 4), 0) << r.text;
  }
  CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
  EXPECT_TRUE(CDialectCnx::s_bBinaryToStringHexa(nullptr, bytes, 4, &out) && Text(out) == L"00AB7FFF");
  const wchar_t* times[] = {L"1", L"12", L"12:3", L"12:34", L"12:34:5", L"12:34:56", L"12:34:56,7", L"12:34:56,78",
                            L"12:34:56,789", L"12:34:56,789"};
  for (int n = 1; n <= 10; ++n) {
    const std::wstring digits = std::wstring(L"1234567890").substr(0, static_cast<size_t>(n));
    EXPECT_TRUE(CDialectCnx::s_bTimeToStringIncomplete(nullptr, &out, digits.c_str(), L','));
    EXPECT_EQ(Text(out), times[n - 1]);
  }
  CTString date(L"2024-02/29 12:34.5");
  CDialectCnx::s_DateStandardise(&date);
  EXPECT_STREQ(date.pszGet(), L"202402291234" L"5");
}


TEST_F(Literal, CastsKeepWhatTheColumnTakesAndNameTheKindOfAFailure) {
  const struct { unsigned short code; const wchar_t* text; eNA_ITEMTYPE item, item2; int strict; unsigned short type; const wchar_t* site; } rows[] = {
      {ZV_I8, L"2147483647", NA_IT_I4, NA_IT_EMPTY, 0, ZV_I8, L""}, {ZV_I8, L"2147483646", NA_IT_I4, NA_IT_EMPTY, 0, ZV_I4, L""},
      {ZV_I8, L"-2147483648", NA_IT_I4, NA_IT_EMPTY, 0, ZV_I8, L""}, {ZV_I8, L"-2147483647", NA_IT_I4, NA_IT_EMPTY, 0, ZV_I4, L""},
      {ZV_I8, L"5", NA_IT_R8, NA_IT_EMPTY, 0, ZV_I8, L""}, {ZV_I8, L"5", NA_IT_R8, NA_IT_EMPTY, 1, ZV_R8, L""},
      {ZV_I4, L"5", NA_IT_R4, NA_IT_EMPTY, 0, ZV_I4, L""}, {ZV_I4, L"5", NA_IT_I8, NA_IT_EMPTY, 0, ZV_I8, L""},
      {ZV_I2, L"5", NA_IT_I1, NA_IT_EMPTY, 0, ZV_I2, L""}, {ZV_R4, L"5", NA_IT_I8, NA_IT_EMPTY, 0, ZV_R4, L""},
      {ZV_R8, L"5", NA_IT_I4, NA_IT_EMPTY, 0, ZV_R8, L""}, {ZV_R8, L"5", NA_IT_UI4, NA_IT_EMPTY, 0, ZV_UI4, L""},
      {ZV_BIN, L"ab", NA_IT_I4, NA_IT_EMPTY, 1, ZV_BIN, L""}, {ZV_PSTRA, L"ab", NA_IT_TEXTE, NA_IT_EMPTY, 1, ZV_PSTRA, L""},
      {ZV_DATETIME, L"20240229123456789", NA_IT_DATE8, NA_IT_EMPTY, 1, ZV_DATETIME, L""},
      {ZV_TIMEA, L"1234", NA_IT_DATE8, NA_IT_EMPTY, 1, ZV_DATEA, L""}, {ZV_TIMEW, L"1234", NA_IT_HEURE, NA_IT_EMPTY, 1, ZV_TIMEW, L""},
      {ZV_DSTRA, L"12", NA_IT_EMPTY, NA_IT_HEURE, 1, ZV_TIMEA, L""}, {ZV_DSTRA, L"20240229", NA_IT_DATE8, NA_IT_EMPTY, 1, ZV_DATEA, L""},
      {ZV_DSTRA, L"abc", NA_IT_I4, NA_IT_EMPTY, 1, 0, L"1.16"}, {ZV_DSTRA, L"abc", NA_IT_DATE8, NA_IT_EMPTY, 1, 0, L"1.15"},
      {ZV_DSTRA, L"ab", NA_IT_EMPTY, NA_IT_HEURE, 1, 0, L"1.14"},
  };
  CDialectCnx cnx(5);
  for (const auto& r : rows) {
    CAny v = FromText(r.code, r.text);
    CNAError e;
    EXPECT_EQ(cnx.bCastCAnyIntoDBType(&e, &v, r.item, r.item2, r.strict), *r.site == 0) << r.text << " " << r.item;
    EXPECT_EQ(Site(e), r.site) << r.text << " " << r.item;
    if (*r.site == 0) { EXPECT_EQ(v.wGetType(), r.type) << r.text << " " << r.item; }
  }
  CAny v = FromText(ZV_DSTRA, L"12");
  EXPECT_TRUE(cnx.bCastCAnyIntoDBType(nullptr, &v, NA_IT_EMPTY, NA_IT_HEURE, 1) && ClassText(v).substr(0, 4) == L"1200");
}

TEST_F(Literal, DefaultValuesFromTheirText) {
  CMySQLDriver driver;
  const struct { int dialect; const wchar_t* text; bool null; const wchar_t* want; } rows[] = {
      {5, nullptr, true, L""}, {5, L"nUlL", true, L""}, {1, L"", true, L""}, {5, L"", false, L""},
      {5, L"'O\\'Brien'", false, L"O'Brien"}, {5, L"'", false, L"'"}, {5, L"plain", false, L"plain"}};
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect);
    CTypedItem item(NA_IT_TEXTE, 20);
    CAny out;
    EXPECT_TRUE(cnx.bConvertStringToDefaultValue(&out, r.text, &item, nullptr));
    EXPECT_EQ(out.bIsNull(), r.null);
    EXPECT_EQ(out.wGetType(), ConverteItemToZVType(NA_IT_TEXTE));
    if (!r.null) { EXPECT_EQ(ClassText(out), r.want); }
  }
}

}  // namespace
