// SQL literals, date-time expressions and column defaults of the generic connection, per dialect.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cmath>

#include "common/tstringconcataw.h"
#include "driver/naconnectiondescription.h"
#include "driver/naerror.h"
#include "driver/naliteraltext.h"
#include "host/host_nadescription.h"
#include "mysql/mysqldriver.h"
#include "sql/naitemdescription.h"
#include "tests/support/any_test_values.h"
#include "values/datetime.h"
#include "values/idecimal.h"

namespace {

struct CHostHolder { CHostConnectionDescription m_host; };
// Static: converters hold references on it.
class CDialectCnx : private CHostHolder, public CNAConnectionDescription {
 public:
  explicit CDialectCnx(int dialect, int major = 8) : CNAConnectionDescription(L"id", &m_host) {
    m_eDataSource = dialect, m_nServerVersionMajor = major;
    SetHostCodePage(1252);
    SetStatic(true);
  }
  BOOL bOpen(CNAError*) override { return TRUE; }
  BOOL bIsOpen() override { return TRUE; }
  BOOL bClose(CNAError*) override { return TRUE; }
};
// An item of a given server type text, held by the test so that no release deletes it.
struct CTypedItem : CNAItemDescription {
  CTypedItem(eNA_ITEMTYPE t, unsigned int size, const wchar_t* db = L"") : m_db(db) {
    bInit(L"c", L"", L"", 1, size, t, 0, -1, 0, 0, 0), ExternalAddRef();
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
  const eNA_ITEMTYPE H = NA_IT_HEURE, B = NA_IT_BOOLEEN;
  const struct { int dialect; unsigned short code; const wchar_t *text, *want; eNA_ITEMTYPE item = NA_IT_EMPTY; } rows[] = {
      {5, ZV_I4, L"7", L"7"}, {5, ZV_BOOL, L"1", L"1"}, {5, ZV_I4, L"0", L"0", B}, {5, ZV_CY, L"1.5", L"1.5"}, {5, ZV_DSTRA, L"", L"''"},
      {5, ZV_DSTRA, L"O'Brien", L"'O''Brien'"}, {2, ZV_DSTRW, L"\u20ac'", L"N'\u20ac'''"}, {5, ZV_DSTRW, L"\u20ac", L"'\u20ac'"},
      {5, ZV_DATEA, L"00000000", L"'0000-00-00'"}, {5, ZV_DATETIME, L"00000000093005007", L"'00000-00-00 09:30:05.007'"},
      {5, ZV_DATEA, L"00010101", L"'0001-01-01'"}, {5, ZV_DATETIME, L"99991231235959999", L"'9999-12-31 23:59:59.999'"},
      {5, ZV_TIMEA, L"091005", L"'09:10:05.000'"}, {5, ZV_DATETIME, L"20240229123456789", L"'12:34:56.789'", H},
      {8, ZV_DATEA, L"20240229", L"{d '2024-02-29'}"}, {7, ZV_DATETIME, L"20240229123456789", L"{ts '2024-02-29 12:34:56.789'}"},
      {8, ZV_TIMEA, L"123456789", L"{t '12:34:56'}"}, {7, ZV_TIMEA, L"123456789", L"{t '12:34:56'}"}, {3, ZV_TIMEA, L"1234567", L"'12:34:56.700'"},
      {9, ZV_TIMEA, L"123456789", L"'12:34:56.789'"}, {10, ZV_TIMEA, L"123456789", L"'12:34:56.789'"},
      {11, ZV_TIMEA, L"123456789", L"DATETIME(12:34) HOUR TO MINUTE"}, {11, ZV_DATEA, L"20240229", L"MDY(02,29,2024)"},
      {11, ZV_DATETIME, L"20240229123456789", L"DATETIME(2024-02-29 12:34:56.789) YEAR TO FRACTION"},
      {2, ZV_DATETIME, L"00000101000000000", L"'1900-01-01 00:00:00.000'"}};
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect);
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    CAny v = FromText(r.code, r.text);
    if (r.code == ZV_DATEA) v.SetDATEA(std::string(r.text, r.text + wcslen(r.text)).c_str());
    const eNA_ITEMTYPE item = r.item != NA_IT_EMPTY ? r.item : ConvertZVTypeToeItem(r.code);
    EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &out, &v, item, NA_IT_EMPTY) && Text(out) == r.want) << r.want;
    v.SetNull(true);
    EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &out, &v, item, NA_IT_EMPTY) && Text(out) == L"NULL");
  }
  CDialectCnx cnx(5);
  CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
  for (double d : std::initializer_list<double>{0.1, 1.0 / 3, 1e308, DBL_MIN, INFINITY, -INFINITY, NAN}) {
    CAny v;
    v.SetR8(d);
    CNAError e;  // the VM's text is the shortest that reads back; "inf" would name a column
    EXPECT_EQ(cnx.bConvertValueToString(&e, &out, &v, NA_IT_R8, NA_IT_EMPTY), std::isfinite(d)) << d;
    EXPECT_TRUE(std::isfinite(d) ? wcstod(Text(out).c_str(), nullptr) == d && Text(out).size() < 24 : Site(e) == L"1.16");
  }
  std::vector<unsigned char> bytes = {'a', 0, '\'', 'b'};  // no terminator: read by the count only, NUL kept
  EXPECT_TRUE(cnx._bEscapeString(nullptr, &out, ZV_BIN, bytes.data(), 4) && Text(out) == std::wstring(L"'a\0''b'", 7));
  EXPECT_TRUE(cnx._bEscapeString(nullptr, &out, ZV_DSTRA, bytes.data(), 4) && Text(out) == L"'a'");
}

// Integers and decimals are written from their bytes: the text is the host's own (its VM's cast to
// text), in a wide and in a UTF-8 builder alike.
TEST_F(Literal, NumbersWrittenFromTheirBytesAreTheHostsText) {
  const struct { unsigned short code; const wchar_t* text; } rows[] = {
      {ZV_I1, L"-128"}, {ZV_I1, L"127"}, {ZV_I2, L"-32768"}, {ZV_I4, L"-2147483648"}, {ZV_I4, L"2147483647"}, {ZV_I4, L"0"},
      {ZV_I8, L"-9223372036854775808"}, {ZV_I8, L"9223372036854775807"}, {ZV_I8, L"4294967295"},
      {ZV_I8, L"4294967296"}, {ZV_I8, L"-4294967296"}, {ZV_UI8, L"4294967296"}, {ZV_UI1, L"255"}, {ZV_UI2, L"65535"},
      {ZV_UI4, L"4294967295"}, {ZV_UI8, L"18446744073709551615"}, {ZV_DECIMAL, L"0.00"}, {ZV_DECIMAL, L"-0.00"},
      {ZV_DECIMAL, L"-0.05"}, {ZV_DECIMAL, L"123.45"}, {ZV_DECIMAL, L"-7"}, {ZV_DECIMAL, L"1.000"},
      {ZV_DECIMAL, L"18446744073709551616"}, {ZV_DECIMAL, L"50000000000000000007"}, {ZV_DECIMAL, L"-50000000000000000.007"},
      {ZV_DECIMAL, L"99999999999999999999999999999999999999"}, {ZV_DECIMAL, L"-99999999999999999999999999999999999999"},
      {ZV_DECIMAL, L"0.00000000000000000000000000000000000001"}, {ZV_DECIMAL, L"-1234567890123456789012.3456789012345678"},
      {ZV_CY, L"0"}, {ZV_CY, L"1.5"}, {ZV_CY, L"-1.25"}, {ZV_CY, L"-0.000001"}, {ZV_CY, L"100"},
      {ZV_CY, L"604462909807314587.353087"}, {ZV_CY, L"-604462909807314587.353088"}};
  CDialectCnx cnx(5);
  for (const auto& r : rows) {
    CAny v = FromText(r.code, r.text);
    CXYString<wchar_t> host;
    ASSERT_TRUE(cnx.bCopyString(nullptr, &host, &v) && host.pszGet() != nullptr) << r.text;
    CLiteralText own;
    EXPECT_TRUE(bIntegerLiteralText(v, &own) || bDecimalLiteralText(v, &own) || bCurrencyLiteralText(v, &own)) << r.text;
    for (int cp : {CTStringConcatAW::kWideContent, 65001}) {
      CTStringConcatAW out(cp, 1252);
      EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &out, &v, ConvertZVTypeToeItem(r.code), NA_IT_EMPTY));
      EXPECT_EQ(Text(out), host.pszGet()) << r.text << " " << cp;
    }
  }
}

// A decimal bound for a currency column is cast without the host where no digit is lost: the
// bytes and flags are the host's cast's; elsewhere the host decides.
TEST_F(Literal, DecimalsCastToCurrencyAsTheHostCastsThem) {
  const struct { const wchar_t* text; bool own; unsigned short flags = 0; } rows[] = {
      {L"0", true}, {L"125.00", true}, {L"-0.05", true}, {L"1.123456", true}, {L"-0.00", true},
      {L"99999999999999999.999999", true}, {L"604462909807314587.353087", true}, {L"-604462909807314587.353087", true},
      {L"7", true, ZV_FLAG_NULL}, {L"1.1234567", false}, {L"604462909807314587.353088", false},
      {L"99999999999999999999999999999999999999", false}};
  for (const auto& r : rows) {
    CAny own = FromText(ZV_DECIMAL, r.text, r.flags), host = FromText(ZV_DECIMAL, r.text, r.flags);
    ASSERT_EQ(bDecimalToCurrency(&own), r.own) << r.text;
    if (!r.own) {
      EXPECT_EQ(own.wGetType(), ZV_DECIMAL) << r.text;
      continue;
    }
    ASSERT_LT(host.__nCastTo(ZV_CY, nullptr, 0), 100) << r.text;
    EXPECT_EQ(own.wGetTypeWord(), host.wGetTypeWord()) << r.text;
    EXPECT_EQ(memcmp(own.pGetValueArea(), host.pGetValueArea(), 10), 0) << r.text;
  }
}

// A narrow text bound for a wide column is widened without the host: the same text, length and
// flags as the host's cast, for every byte of the host's single-byte page; any other text is left
// to the host.
TEST_F(Literal, NarrowTextsCastToWideAsTheHostCastsThem) {
  // The five bytes the page leaves undefined are the host's to answer for.
  std::string everyByte;
  for (int b = 1; b < 256; ++b)
    if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D) everyByte += static_cast<char>(b);
  const struct { std::string text; bool own; unsigned short flags = 0; } rows[] = {
      {"note note ", true}, {"O'Brien \\ %_", true}, {std::string(1024, 'x'), true}, {"\x01\x7F", true},
      {"n", true, ZV_FLAG_NULL}, {"add \xE9 1", true}, {everyByte, true}, {"a\x81", false}, {"\x9D", false},
      {"", false}, {std::string("a\0b", 3), false}, {std::string(1025, 'x'), false}};
  for (const auto& r : rows) {
    CAny own, host;
    for (CAny* v : {&own, &host}) {
      v->__SetType(ZV_DSTRA, 0);
      v->SetValueByte(r.text.data(), static_cast<unsigned int>(r.text.size()));
      v->SetFlags(r.flags);
    }
    ASSERT_EQ(bNarrowTextToWide(&own), r.own) << r.text.size();
    if (!r.own) {
      EXPECT_EQ(own.wGetType(), ZV_DSTRA);
      continue;
    }
    ASSERT_LT(host.__nCastTo(ZV_DSTRW, nullptr, 0), 100);
    // The literal of the narrow text for a wide column is the host-cast text's.
    if (r.flags == 0) {
      CDialectCnx cnx(5);
      CAny narrow;
      narrow.__SetType(ZV_DSTRA, 0);
      narrow.SetValueByte(r.text.data(), static_cast<unsigned int>(r.text.size()));
      CTStringConcatAW fromNarrow(65001, 1252), fromHost(65001, 1252);
      EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &fromNarrow, &narrow, NA_IT_UNICODE, NA_IT_EMPTY));
      EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &fromHost, &host, NA_IT_UNICODE, NA_IT_EMPTY));
      EXPECT_EQ(Text(fromNarrow), Text(fromHost)) << r.text.size();
    }
    unsigned int ownSize = 0, hostSize = 0;
    void *ownData = nullptr, *hostData = nullptr;
    own.Intern()->nGetUtilDataSize(&ownSize), host.Intern()->nGetUtilDataSize(&hostSize);
    own.Intern()->nGetDataAdr(&ownData), host.Intern()->nGetDataAdr(&hostData);
    EXPECT_EQ(own.wGetTypeWord(), host.wGetTypeWord());
    ASSERT_EQ(ownSize, hostSize);
    EXPECT_EQ(memcmp(ownData, hostData, ownSize), 0) << r.text.size();
  }
}

// A date-time is written from its fields where its text has the fixed layout, and from its text
// otherwise: both give what the fields read from the text give.
// Zero-padded fields are printf's "%0*lld" of every value and width, short fields included.
TEST(LiteralText, PaddedNumbersArePrintfsText) {
  const long long values[] = {-10000, -5, 0, 7, 9, 10, 99, 100, 999, 1000, 9999, 10000, 123456, LLONG_MAX, LLONG_MIN};
  for (long long value : values) {
    for (int width = 0; width <= 6; ++width) {
      CLiteralText text;
      text.Char('x');
      text.Padded(value, width);
      char want[40];
      snprintf(want, sizeof want, "x%0*lld", width, value);
      EXPECT_EQ(std::string(text.pszGet(), static_cast<size_t>(text.nGetLength())), want) << value << " " << width;
    }
  }
}

TEST_F(Literal, DateTimesWrittenFromTheirFieldsAreWhatTheirTextGives) {
  const eNA_ITEMTYPE DT = NA_IT_DATETIME, H = NA_IT_HEURE;
  const unsigned int noon = 12 * 3600000 + 34 * 60000 + 56 * 1000 + 789, early = 9 * 3600000 + 30 * 60000 + 5 * 1000 + 7;
  struct STFields { unsigned int year, month, day, milli; };
  const struct { int dialect; STFields f; eNA_ITEMTYPE item; const wchar_t* want; } rows[] = {
      {5, {2024, 2, 29, noon}, DT, L"'2024-02-29 12:34:56.789'"},
      {5, {0, 0, 0, early}, DT, L"'00000-00-00 09:30:05.007'"},
      {5, {0, 1, 1, 0}, DT, L"'0000-01-01 00:00:00.000'"},
      {5, {2024, 0, 0, 0}, DT, L"'2024-01-01 00:00:00.000'"},
      {5, {9999, 99, 99, 359999999}, DT, L"'9999-99-99 99:59:59.999'"},
      // Past the fixed layout the text is read as it stands.
      {5, {10000, 1, 1, 0}, DT, L"'1000-01-10 10:00:00.000'"},
      {5, {2024, 1, 1, 360000000}, DT, L"'2024-01-01 10:00:00.000'"},
      {5, {0, 0, 0, 0}, DT, L"NULL"},
      {5, {2024, 2, 29, noon}, H, L"'12:34:56.789'"},
      {2, {0, 1, 1, 0}, DT, L"'1900-01-01 00:00:00.000'"},
      {7, {2024, 2, 29, noon}, DT, L"{ts '2024-02-29 12:34:56.789'}"},
      {8, {2024, 2, 29, noon}, H, L"{t '12:34:56'}"},
      {11, {2024, 2, 29, noon}, DT, L"DATETIME(2024-02-29 12:34:56.789) YEAR TO FRACTION"},
      {11, {0, 0, 0, early}, DT, L"DATETIME(0000-01-01 09:30:05.007) YEAR TO FRACTION"}};
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect);
    CDateTimeBase dt;
    dt.m_wAnnee = static_cast<uint16_t>(r.f.year), dt.m_byMois = static_cast<uint8_t>(r.f.month);
    dt.m_byJour = static_cast<uint8_t>(r.f.day), dt.m_dwMilli = r.f.milli;
    CAny v;
    v.__SetType(ZV_DATETIME, 0);
    v.Intern()->SetValue(&dt, sizeof dt);
    for (int cp : {CTStringConcatAW::kWideContent, 65001}) {
      CTStringConcatAW out(cp, 1252);
      EXPECT_TRUE(cnx.bConvertValueToString(nullptr, &out, &v, r.item, NA_IT_EMPTY));
      EXPECT_EQ(Text(out), r.want) << r.dialect << " " << r.f.year << " " << cp;
    }
  }
}

TEST_F(Literal, ExpressionsGiveTheDigitTextOfEachDialect) {
  const eNA_ITEMTYPE D8 = NA_IT_DATE8, H = NA_IT_HEURE, DT = NA_IT_DATETIME;
  const struct { int dialect; eNA_ITEMTYPE type; unsigned int size; const wchar_t *want, *db = L""; int major = 8; } rows[] = {
      {5, D8, 9, L"DATE_FORMAT(x,'%Y%m%d')"}, {5, H, 5, L"TIME_FORMAT(x,'%H%i')"}, {5, H, 7, L"TIME_FORMAT(x,'%H%i%S')"},
      {5, DT, 8, L"SUBSTR(DATE_FORMAT(x,'%Y%m%d%H%i%S%f'), 1, 17)"}, {5, H, 6, L"SUBSTR(TIME_FORMAT(x,'%H%i%S'), 1, 5)"},
      {5, H, 8, L"SUBSTR(TIME_FORMAT(x,'%H%i%S%f'), 1, 7)"}, {5, H, 9, L"SUBSTR(TIME_FORMAT(x,'%H%i%S%f'), 1, 8)"},
      {5, H, 10, L"SUBSTR(TIME_FORMAT(x,'%H%i%S%f'), 1, 9)"}, {2, H, 5, L"SUBSTRING(REPLACE(CONVERT(varchar(8),x,108),':',''), 1, 4)"},
      {2, H, 10, L"REPLACE(REPLACE(CONVERT(varchar(12),x,114),':',''),'.','')"}, {3, H, 9, L"(FORMAT(x,'HHmmss') + '00')"},
      {4, H, 6, L"SUBSTRING(STUFF(STUFF(CONVERT(VARCHAR(8),x,108), 3, 1, NULL), 5, 1, NULL), 1, 5)"},
      {6, H, 8, L"SUBSTR(TO_CHAR(x,'HH24MISSMS'), 1, 7)"}, {7, H, 5, L"SUBSTR(REPLACE(CHAR(TIME(x)), '.', ''), 1, 4)"},
      {8, DT, 8, L"TO_CHAR(x,'YYYYMMDDHH24MISSMLS')"}, {9, H, 10, L"TO_CHAR(x,'HH24MISSFF3')", L"TIMESTAMP"},
      {10, DT, 8, L"TO_CHAR( CAST(x AS TIMESTAMP),'YYYYMMDDHH24MISSFF3')", L"DATE", 9}, {12, D8, 9, L"TO_CHAR(x,'YYYYMMDD')"},
      {1, DT, 8, L"(TO_CHAR(x,'YYYYMMDDHH24MISS')+'000')", L"DATE"}, {11, H, 9, L"SUBSTR(TO_CHAR(x,'%H%M%S%F2'), 1, 8)"},
      {13, H, 7, L"strftime('%H%M%S',x)"}, {5, H, 11, nullptr}};
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect, r.major);
    CTypedItem item(r.type, r.size), item2(r.type, r.size, r.db);
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    EXPECT_EQ(cnx.bConvertExpressionToString(nullptr, &out, L"x", &item, &item2), r.want != nullptr);
    EXPECT_EQ(Text(out), r.want != nullptr ? r.want : L"x") << r.dialect << " " << r.type << " " << r.size;
  }
}

TEST_F(Literal, HexadecimalDigitTextsAndTimeTexts) {
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F, 0xFF};
  wchar_t wide[9];
  CDialectCnx::s_BinaryToStringHexa(bytes, 4, wide);
  CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
  EXPECT_TRUE(std::wstring(wide) == L"00AB7FFF" && CDialectCnx::s_bBinaryToStringHexa(nullptr, bytes, 4, &out) && Text(out) == wide);
  const struct { const char* text; unsigned int size; const char* want; } rows[] = {
      {"00ab7Fff", 4, "\x00\xAB\x7F\xFF"}, {"0AB", 4, "\x0A\x00\x00\x00"}, {"ZZ1g", 4, "\x00\x10\x00\x00"},
      {"01020304", 2, "\x01\x02\xEE\xEE"}, {"", 3, "\x00\x00\x00\xEE"}};
  for (const auto& r : rows) {
    unsigned char narrow[4] = {0xEE, 0xEE, 0xEE, 0xEE}, fromWide[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    CDialectCnx::s_StringHexaToBinary(r.text, narrow, r.size);
    CDialectCnx::s_StringHexaToBinary(std::wstring(r.text, r.text + strlen(r.text)).c_str(), fromWide, r.size);
    EXPECT_TRUE(memcmp(narrow, r.want, 4) == 0 && memcmp(fromWide, r.want, 4) == 0) << r.text;
  }
  const wchar_t* times[] = {L"1", L"12", L"12:3", L"12:34", L"12:34:5", L"12:34:56", L"12:34:56,7", L"12:34:56,78", L"12:34:56,789"};
  for (size_t n = 1; n <= 10; ++n)
    EXPECT_TRUE(CDialectCnx::s_bTimeToStringIncomplete(nullptr, &out, std::wstring(L"1234567890", n).c_str(), L',') &&
                Text(out) == times[std::min<size_t>(n, 9) - 1]) << n;
  CTString date(L"2024-02/29 12:34.5");
  CDialectCnx::s_DateStandardise(&date);
  EXPECT_STREQ(date.pszGet(), L"20240229123" L"45");
}

TEST_F(Literal, CastsKeepWhatTheColumnTakesAndNameTheKindOfAFailure) {
  const eNA_ITEMTYPE I4 = NA_IT_I4, H = NA_IT_HEURE, D8 = NA_IT_DATE8;
  const struct { unsigned short code; const wchar_t* text; eNA_ITEMTYPE item; int strict; unsigned short type; const wchar_t* site = L"";
                 eNA_ITEMTYPE item2 = NA_IT_EMPTY; } rows[] = {
      {ZV_I8, L"2147483647", I4, 0, ZV_I8}, {ZV_I8, L"2147483646", I4, 0, ZV_I4}, {ZV_I8, L"-2147483648", I4, 0, ZV_I8},
      {ZV_I8, L"-2147483647", I4, 0, ZV_I4}, {ZV_I8, L"5", NA_IT_R8, 0, ZV_I8}, {ZV_I8, L"5", NA_IT_R8, 1, ZV_R8}, {ZV_I4, L"5", NA_IT_R4, 0, ZV_I4},
      {ZV_I4, L"5", NA_IT_I8, 0, ZV_I8}, {ZV_I2, L"5", NA_IT_I1, 0, ZV_I2}, {ZV_R4, L"5", NA_IT_I8, 0, ZV_R4}, {ZV_R8, L"5", I4, 0, ZV_R8},
      {ZV_R8, L"5", NA_IT_UI4, 0, ZV_UI4}, {ZV_BIN, L"ab", I4, 1, ZV_BIN}, {ZV_PSTRA, L"ab", NA_IT_TEXTE, 1, ZV_PSTRA},
      {ZV_DATETIME, L"20240229123456789", D8, 1, ZV_DATETIME}, {ZV_TIMEA, L"1234", D8, 1, ZV_DATEA}, {ZV_TIMEW, L"1234", H, 1, ZV_TIMEW},
      {ZV_DSTRA, L"12", NA_IT_EMPTY, 1, ZV_TIMEA, L"", H}, {ZV_DSTRA, L"20240229", D8, 1, ZV_DATEA}, {ZV_DSTRA, L"abc", I4, 1, 0, L"1.16"},
      {ZV_DSTRA, L"abc", D8, 1, 0, L"1.15"}, {ZV_DSTRA, L"ab", NA_IT_EMPTY, 1, 0, L"1.14", H}};
  CDialectCnx cnx(5);
  for (const auto& r : rows) {
    CAny v = FromText(r.code, r.text);
    CNAError e;
    EXPECT_EQ(cnx.bCastCAnyIntoDBType(&e, &v, r.item, r.item2, r.strict), *r.site == 0) << r.text << " " << r.item;
    EXPECT_TRUE(Site(e) == r.site && (*r.site != 0 || v.wGetType() == r.type)) << r.text << " " << r.item;
  }
  CAny v = FromText(ZV_DSTRA, L"12");  // a short time text is padded to HHMM
  EXPECT_TRUE(cnx.bCastCAnyIntoDBType(nullptr, &v, NA_IT_EMPTY, H, 1) && ClassText(v).substr(0, 4) == L"1200");
}

TEST_F(Literal, DefaultValuesFromTheirText) {
  CMySQLDriver driver;
  const struct { int dialect; const wchar_t* text; bool null; const wchar_t* want; } rows[] = {
      {5, nullptr, true, L""}, {5, L"nUlL", true, L""}, {1, L"", true, L""}, {5, L"", false, L""}, {5, L"'O\\'Brien'", false, L"O'Brien"},
      {5, L"'", false, L"'"}, {5, L"plain", false, L"plain"}};
  for (const auto& r : rows) {
    CDialectCnx cnx(r.dialect);
    CTypedItem item(NA_IT_TEXTE, 20);
    CAny out;
    EXPECT_TRUE(cnx.bConvertStringToDefaultValue(&out, r.text, &item, nullptr));
    EXPECT_TRUE(out.bIsNull() == r.null && out.wGetType() == ConverteItemToZVType(NA_IT_TEXTE) && (r.null || ClassText(out) == r.want));
  }
}

// An element's literal written from its bytes is the literal of the value the record reads from
// them (made as the record makes it), for the column's target type; where the element does not
// tell it, the value is left to be made.
TEST_F(Literal, ElementsWriteTheLiteralOfTheValueTheRecordReads) {
  CDialectCnx cnx(5);
  // The value the record hands out for an element: a decimal loaded through the host's form of
  // precision and scale, any other type the element's bytes.
  auto read = [](unsigned short type, const unsigned char* element, unsigned int size, int precision, int scale) {
    CAny v;
    v.__SetType(type, 0);
    if (type == ZV_DECIMAL) {
      IDecimal* dec = nullptr;
      v.Intern()->nFillBuffer(&dec);
      unsigned char form[IDecimal::kFormSize] = {};
      memcpy(form, element, std::min<unsigned int>(size, IDecimal::mg_PToN[precision]));
      if (dec != nullptr) dec->nLoad(precision, scale, form);
    } else {
      v.Intern()->SetValue(element, size);
    }
    v.SetFlags(0);
    return v;
  };
  struct Row {
    unsigned short type, target;
    long long value;
    unsigned int size;
    int precision = 0, scale = 0;
    bool own = true;
  };
  std::vector<Row> rows = {
      {ZV_I4, ZV_I4, INT_MIN, 4}, {ZV_I4, ZV_I4, 0, 4}, {ZV_I2, ZV_I2, -32768, 2}, {ZV_I1, ZV_I1, -128, 1},
      {ZV_I8, ZV_I8, LLONG_MIN, 8}, {ZV_I8, ZV_I8, LLONG_MAX, 8}, {ZV_UI1, ZV_UI1, 255, 1}, {ZV_UI2, ZV_UI2, 65535, 2},
      {ZV_UI4, ZV_UI4, 4294967295LL, 4}, {ZV_UI8, ZV_UI8, -1, 8}, {ZV_CY, ZV_CY, -1234567, 10}, {ZV_CY, ZV_CY, 0, 10},
      {ZV_CY, ZV_CY, LLONG_MIN, 10},
      // A cast, a size not the type's own: the value is made.
      {ZV_I4, ZV_I8, 5, 4, 0, 0, false}, {ZV_I4, ZV_DSTRW, 5, 4, 0, 0, false}, {ZV_I4, ZV_I4, 5, 3, 0, 0, false},
      {ZV_R8, ZV_R8, 0, 8, 0, 0, false}, {ZV_DATETIME, ZV_DATETIME, 0, 8, 0, 0, false},
      // Decimals past 18 digits, of no precision, into a text, or more decimals than a currency
      // holds.
      {ZV_DECIMAL, ZV_DECIMAL, 5, 9, 19, 2, false}, {ZV_DECIMAL, ZV_DECIMAL, 5, 18, 0, 0, false},
      {ZV_DECIMAL, ZV_DSTRW, 5, 4, 9, 2, false}, {ZV_DECIMAL, ZV_CY, 5, 4, 9, 7, false},
      // A data form of more digits than its precision: the host refuses it.
      {ZV_DECIMAL, ZV_DECIMAL, 1000, 2, 3, 1, false}, {ZV_DECIMAL, ZV_CY, -100, 1, 2, 0, false},
      // Short elements: the form's missing bytes are zeros.
      {ZV_DECIMAL, ZV_DECIMAL, 0x7F, 1, 5, 2},
  };
  // Every precision, scales 0, 2, 6 and the precision, with its limits, 0, 5 and -5 hundredths.
  for (int p = 1; p <= 18; ++p) {
    long long top = 1;
    for (int i = 0; i < p; ++i) top *= 10;
    for (int scale : {0, 2, 6, p}) {
      if (scale > p) continue;
      for (long long v : {top - 1, -(top - 1), 0LL, 5LL, -5LL, top})
        for (unsigned short target : {ZV_DECIMAL, ZV_CY}) {
          // A currency holds 6 decimals in 79 bits and a sign.
          __int128 cents = v < 0 ? -static_cast<__int128>(v) : v;
          for (int i = scale; i < 6; ++i) cents *= 10;
          const bool fits = v != top && (target == ZV_DECIMAL || (scale <= 6 && cents < static_cast<__int128>(1) << 79));
          rows.push_back({ZV_DECIMAL, target, v, IDecimal::mg_PToN[p], p, scale, fits});
        }
    }
  }
  for (const Row& r : rows) {
    unsigned char element[16] = {};
    const long long v = r.value;
    for (int i = 0; i < 16; ++i) element[i] = static_cast<unsigned char>(i < 8 ? v >> (8 * i) : (v < 0 ? 0xFF : 0));
    const std::string label = std::to_string(r.type) + ">" + std::to_string(r.target) + " " + std::to_string(v) + " p" +
                              std::to_string(r.precision) + "/" + std::to_string(r.scale);
    CLiteralText own;
    ASSERT_EQ(bElementLiteralText(element, r.size, r.type, r.target, r.precision, r.scale, &own), r.own) << label;
    if (!r.own) {
      EXPECT_EQ(own.nGetLength(), 0) << label;
      continue;
    }
    const CAny value = read(r.type, element, r.size, r.precision, r.scale);
    CTStringConcatAW made(65001, 1252);
    ASSERT_TRUE(cnx.bConvertValueToString(nullptr, &made, &value, ConvertZVTypeToeItem(r.target), NA_IT_EMPTY)) << label;
    EXPECT_EQ(std::string(own.pszGet(), static_cast<size_t>(own.nGetLength())), made.pszGetA()) << label;
  }
}

// A date-time's fields written by the connection are the literal of the value made of the same
// bytes, in each dialect's form and for each item type; where the fields do not tell it (a cast,
// the empty value, a field out of its digits) the value is to be made.
TEST_F(Literal, DateTimeFieldsWriteTheLiteralOfTheirValue) {
  auto fields = [](uint16_t year, uint8_t month, uint8_t day, uint32_t milli) {
    CDateTimeBase dt;
    dt.m_wAnnee = year, dt.m_byMois = month, dt.m_byJour = day, dt.m_dwMilli = milli;
    return dt;
  };
  // fields, item type, whether the fields tell the literal
  const struct {
    CDateTimeBase dt;
    eNA_ITEMTYPE item;
    bool own;
  } rows[] = {
      {fields(2024, 2, 29, 86399999), NA_IT_DATETIME, true}, {fields(1, 1, 1, 0), NA_IT_DATETIME, true},
      {fields(0, 0, 0, 34205007), NA_IT_DATETIME, true},     {fields(2024, 2, 29, 45296789), NA_IT_EMPTY, true},
      // A time column casts the value first.
      {fields(2024, 2, 29, 45296789), NA_IT_HEURE, false},
      {fields(0, 0, 0, 0), NA_IT_DATETIME, false},            {fields(10000, 1, 1, 0), NA_IT_DATETIME, false},
      {fields(2024, 2, 29, 0), NA_IT_DATE8, false},           {fields(2024, 2, 29, 0), NA_IT_TEXTE, false},
  };
  for (int dialect : {2, 5, 7, 8, 11}) {
    CDialectCnx cnx(dialect);
    for (const auto& r : rows) {
      const std::string label = std::to_string(dialect) + " " + std::to_string(r.dt.m_wAnnee) + "/" +
                                std::to_string(r.dt.m_dwMilli) + " " + std::to_string(r.item);
      unsigned char element[sizeof(CDateTimeBase)];
      memcpy(element, &r.dt, sizeof element);
      CLiteralText own;
      ASSERT_EQ(cnx.bDateTimeFieldsLiteral(element, sizeof element, r.item, NA_IT_EMPTY, &own), r.own) << label;
      EXPECT_FALSE(cnx.bDateTimeFieldsLiteral(element, sizeof element - 1, r.item, NA_IT_EMPTY, &own)) << label;
      if (!r.own) continue;
      CAny value;
      value.__SetType(ZV_DATETIME, 0);
      value.Intern()->SetValue(element, sizeof element);
      value.SetFlags(0);
      CTStringConcatAW made(65001, 1252);
      ASSERT_TRUE(cnx.bConvertValueToString(nullptr, &made, &value, r.item, NA_IT_EMPTY)) << label;
      EXPECT_EQ(std::string(own.pszGet(), static_cast<size_t>(own.nGetLength())), made.pszGetA()) << label;
    }
  }
}

// An integer's digits appended straight to a builder are what the literal writer gives for the
// value; where it cannot tell (NULL, a cast, not an integer, a builder not of ASCII bytes) the
// builder is left as it was.
TEST_F(Literal, IntegerAppendedIsTheValuesLiteral) {
  auto of = [](unsigned short type, long long v, bool null = false) {
    CAny a;
    switch (type) {
      case ZV_I1: a.SetI1(static_cast<char>(v)); break;
      case ZV_I2: a.SetI2(static_cast<short>(v)); break;
      case ZV_I4: a.SetI4(static_cast<int>(v)); break;
      case ZV_I8: a.SetI8(v); break;
      case ZV_UI1: a.SetUI1(static_cast<unsigned char>(v)); break;
      case ZV_UI4: a.SetUI4(static_cast<unsigned int>(v)); break;
      case ZV_UI8: a.SetUI8(static_cast<unsigned long long>(v)); break;
      default: a.SetR8(static_cast<double>(v)); break;
    }
    a.SetNull(null);
    return a;
  };
  // value, item type, builder's code page, whether it is appended
  const struct {
    CAny value;
    eNA_ITEMTYPE item;
    int cp;
    bool own;
  } rows[] = {
      {of(ZV_I4, -2147483647 - 1), NA_IT_EMPTY, 65001, true}, {of(ZV_I4, 17), NA_IT_I4, 1252, true},
      {of(ZV_I8, LLONG_MIN), NA_IT_I8, 65001, true},           {of(ZV_I1, -5), NA_IT_EMPTY, 28591, true},
      {of(ZV_I2, 300), NA_IT_EMPTY, 65001, true},              {of(ZV_UI1, 255), NA_IT_EMPTY, 65001, true},
      {of(ZV_UI8, -1), NA_IT_UI8, 65001, true},                {of(ZV_UI4, 0), NA_IT_EMPTY, 65001, true},
      // A cast, NULL, a real, a wide builder.
      {of(ZV_I4, 17), NA_IT_I8, 65001, false},                 {of(ZV_I4, 17), NA_IT_TEXTE, 65001, false},
      {of(ZV_I4, 0, true), NA_IT_EMPTY, 65001, false},         {of(ZV_R8, 3), NA_IT_EMPTY, 65001, false},
      {of(ZV_I4, 17), NA_IT_EMPTY, CTStringConcatAW::kWideContent, false},
  };
  CDialectCnx cnx(5);
  for (const auto& r : rows) {
    const std::string label = std::to_string(r.value.wGetType()) + " " + std::to_string(r.item) + " " + std::to_string(r.cp);
    CTStringConcatAW out(r.cp, 1252);
    out.Add(L"id = ", 5);
    ASSERT_EQ(CNAConnectionDescription::s_bAppendIntegerLiteral(&out, &r.value, r.item, NA_IT_EMPTY), r.own) << label;
    if (!r.own) {
      EXPECT_EQ(Text(out), L"id = ") << label;
      continue;
    }
    CTStringConcatAW made(r.cp, 1252);
    ASSERT_TRUE(cnx.bConvertValueToString(nullptr, &made, &r.value, r.item, NA_IT_EMPTY)) << label;
    EXPECT_EQ(Text(out), L"id = " + Text(made)) << label;
    EXPECT_FALSE(out.bIsWide()) << label;
  }
}

}  // namespace
