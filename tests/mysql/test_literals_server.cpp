// Literals written by bConvertValueToString into INSERTs, read back from a second connection; the
// dialect's digit expressions evaluated by the server.
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "mysql/mysqlguard.h"
#include "sql/naitemdescription.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/any_test_values.h"

namespace {

class LiveLiterals : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveLiterals() : LiveConnection("_literal") {}
  static void SetUpTestSuite() { VM::Bind(); }
  // The value's literal; FALSE when none came (the reason in m_error).
  bool bLiteral(const CAny& v, eNA_ITEMTYPE item, std::string* literal) {
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    m_error.Reset();
    if (!m_pCnx->bConvertValueToString(&m_error, &out, &v, item, NA_IT_EMPTY)) return false;
    *literal = std::string(out.pszGetA(), static_cast<size_t>(out.nGetLength()));
    return true;
  }
  std::string Sql(const CAny& v, eNA_ITEMTYPE item) {
    std::string literal;
    EXPECT_TRUE(bLiteral(v, item, &literal)) << m_error.pszGetError();
    return literal;
  }
  // What a column of sqlType holds after an INSERT of the value's literal, as the second
  // connection reads it through read; "refused" when no literal came, "error" when the server
  // refused the row.
  std::string Stored(const CAny& v, eNA_ITEMTYPE item, const std::string& sqlType, const std::string& read = "HEX(c)") {
    if (sqlType != m_strStoredType &&
        !(Run("DROP TABLE IF EXISTS " + m_strTable) && Run("CREATE TABLE " + m_strTable + " (c " + sqlType + ")")))
      return "no table";
    m_strStoredType = sqlType;
    std::string literal;
    if (!Run("DELETE FROM " + m_strTable) || !bLiteral(v, item, &literal)) return "refused";
    if (Rows("INSERT INTO " + m_strTable + " VALUES (" + literal + ")") != "") return "error";
    return Rows("SELECT " + read + " FROM " + m_strTable, true);
  }
  // A value of a text or character type holding these bytes as they are.
  static CAny Raw(unsigned short type, const void* bytes, unsigned int size) {
    CAny v;
    v.__SetType(type, 0);
    if (type == ZV_PSTRA || type == ZV_PSTRW)  // terminated
      v.Intern()->SetValue(bytes);
    else
      v.SetValueByte(bytes, size);
    return v;
  }
  bool Utf8() const { return std::get<0>(GetParam()) == 65001; }
  static std::string Hex(const std::string& s) {
    std::string h;
    for (unsigned char c : s) h += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    return h;
  }

  std::string m_strStoredType;  // of the table Stored made last
};

TEST_P(LiveLiterals, EveryValueReadsBackExactly) {
  const std::wstring text = L"q'b\\s\rc\nl\x1a%_`\u00e9\u20ac OR 1=1", wide = text + (std::get<0>(GetParam()) == 65001 ? L"\U0001F600" : L"");
  std::string bytes(256, 0);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
  const char *TI = "TINYINT", *BI = "BIGINT", *TX = "TEXT CHARACTER SET utf8mb4", *CY = "DECIMAL(30,6)", *D = "DATE", *DT = "DATETIME(3)";
  const struct { const char* sql; unsigned short code; std::wstring text; std::string want = ""; } rows[] = {
      {TI, ZV_BOOL, L"1"}, {TI, ZV_BOOL, L"0"}, {BI, ZV_I8, L"-9223372036854775808"}, {BI, ZV_I8, L"9223372036854775807"},
      {"BIGINT UNSIGNED", ZV_UI8, L"18446744073709551615"}, {"INT", ZV_I4, L"-2147483648"}, {"INT", ZV_I4, L"2147483647"},
      {"INT UNSIGNED", ZV_UI4, L"4294967295"}, {"SMALLINT", ZV_I2, L"-32768"}, {"SMALLINT UNSIGNED", ZV_UI2, L"65535"},
      {TI, ZV_I1, L"-128"}, {"TINYINT UNSIGNED", ZV_UI1, L"255"}, {CY, ZV_CY, L"-604462909807314587.353088"},
      {CY, ZV_CY, L"604462909807314587.353087"}, {"DECIMAL(38,0)", ZV_DECIMAL, L"-12345678901234567890123456789012345678"},
      {TX, ZV_DSTRA, text, "hex"}, {TX, ZV_DSTRW, wide, "hex"}, {"LONGBLOB", ZV_BIN, L"", "hex"}, {D, ZV_DATEA, L"00010101", "0001-01-01"},
      {D, ZV_DATEA, L"99991231", "9999-12-31"}, {D, ZV_DATEA, L"00000000", "0000-00-00"}, {"TIME(3)", ZV_TIMEA, L"093005007", "09:30:05.007"},
      {DT, ZV_DATETIME, L"20240229235959999", "2024-02-29 23:59:59.999"}, {DT, ZV_DATETIME, L"00000000123456789", "0000-00-00 12:34:56.789"},
      {"DOUBLE", ZV_R8, L"0.1"}, {"DOUBLE", ZV_R8, L"1/3"}, {"DOUBLE", ZV_R8, L"1e308"}, {"DOUBLE", ZV_R8, L"min"}};
  const double reals[] = {0.1, 1.0 / 3, 1e308, DBL_MIN};
  std::string create = "CREATE TABLE " + m_strTable + " (id INT";
  for (size_t i = 0; i < std::size(rows); ++i) create += ", c" + std::to_string(i) + " " + rows[i].sql;
  ASSERT_TRUE(Run(create + ")"));
  for (size_t i = 0, real = 0; i < std::size(rows); ++i) {
    const auto& r = rows[i];
    const std::string c = "c" + std::to_string(i), insert = "INSERT INTO " + m_strTable + " (id, " + c + ") VALUES (";
    CAny v = r.code == ZV_R8 || r.code == ZV_BIN || r.code == ZV_DSTRA ? CAny() : FromText(r.code, r.text.c_str());
    if (r.code == ZV_R8) v.SetR8(reals[real++]);
    if (r.code == ZV_BIN) v.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), 256);
    if (r.code == ZV_DSTRA) v.__nSetString(r.text.c_str(), static_cast<int>(r.text.size()), nullptr);  // the host's code page
    if (r.code == ZV_DATEA) v.SetDATEA(std::string(r.text.begin(), r.text.end()).c_str());
    const eNA_ITEMTYPE item = ConvertZVTypeToeItem(r.code);
    EXPECT_EQ(Rows(insert + std::to_string(i) + ", " + Sql(v, item) + ")"), "") << c;
    v.SetNull(true);
    EXPECT_EQ(Rows(insert + "-1, " + Sql(v, item) + ")"), "") << c;
    const std::string back = Rows("SELECT " + (r.want == "hex" ? "HEX(" + c + ")" : c) + " FROM " + m_strTable + " WHERE id = " + std::to_string(i), true);
    const std::string want = r.code == ZV_BIN ? Hex(bytes) : r.want == "hex" ? Hex(CNACodePageCnvIN(r.text.c_str(), 65001).psz())
                             : r.want.empty() ? std::string(r.text.begin(), r.text.end()) : r.want;
    EXPECT_TRUE(r.code == ZV_R8 ? strtod(back.c_str(), nullptr) == reals[real - 1] : back == want) << c << " " << back;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + m_strTable + " WHERE id = -1 AND " + c + " IS NULL", true), std::to_string(i + 1));
  }
  for (const wchar_t* t : {L"1 OR 1=1", L"' OR '1'='1"})
    EXPECT_EQ(Rows("SELECT id FROM " + m_strTable + " WHERE NULL = " + Sql(FromText(ZV_DSTRA, t), NA_IT_TEXTE)), "");
}

// The five bytes 1252 leaves undefined are the server's latin1 characters U+0081...: the whole
// text reaches it, on a UTF-8 connection too; a text the connection cannot carry is refused.
TEST_P(LiveLiterals, UndefinedCP1252BytesAreWrittenNotDropped) {
  const char text[] = "a\x81\x8D\x8F\x90\x9D\xE9" "b";
  const std::string all = "61C281C28DC28FC290C29DC3A962";
  const wchar_t tags[] = L"\U000E0041\U000E0042";
  const struct {
    CAny value;
    std::string want1252, want65001;
  } rows[] = {
      {Raw(ZV_DSTRA, text, sizeof text - 1), all, all},
      {Raw(ZV_PSTRA, text, 0), all, all},
      {Raw(ZV_DSTRA, "\x9D", 1), "C29D", "C29D"},
      {Raw(ZV_DSTRW, tags, sizeof tags - sizeof(wchar_t)), "refused", "F3A08181F3A08182"},
      {Raw(ZV_PSTRW, tags, sizeof tags), "refused", "F3A08181F3A08182"},
  };
  for (const auto& r : rows) {
    const std::string& want = Utf8() ? r.want65001 : r.want1252;
    EXPECT_EQ(Stored(r.value, NA_IT_EMPTY, "TEXT CHARACTER SET utf8mb4"), want) << r.value.wGetType();
    EXPECT_EQ(m_error.dwGetErrorId(), want == "refused" ? 60u : 0u) << m_error.pszGetError();
  }
}

// A character is one character of text, narrow or wide, as a string of that width is.
TEST_P(LiveLiterals, CharactersAreWrittenAsOneCharacterText) {
  const wchar_t euro = L'\u20ac', a = L'A', face = L'\U0001F600';
  const struct {
    CAny value;
    eNA_ITEMTYPE item;
    std::string want;
  } rows[] = {
      {Raw(ZV_CARW, &a, sizeof a), NA_IT_EMPTY, "41"},
      {Raw(ZV_CARW, &euro, sizeof euro), NA_IT_EMPTY, "E282AC"},
      // 1252 has no byte for it: refused, never written as "?".
      {Raw(ZV_CARW, &face, sizeof face), NA_IT_EMPTY, Utf8() ? "F09F9880" : "refused"},
      {Raw(ZV_CARA, "\xE9", 1), NA_IT_EMPTY, "C3A9"},
      {Raw(ZV_CARA, "\x81", 1), NA_IT_EMPTY, "C281"},
      {Raw(ZV_CARA, "'", 1), NA_IT_EMPTY, "27"},
      {Raw(ZV_CARA, "\\", 1), NA_IT_EMPTY, "5C"},
      {Raw(ZV_CARA, "", 1), NA_IT_EMPTY, ""},
      {Raw(ZV_CARW, &euro, sizeof euro), NA_IT_TEXTE, "E282AC"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(Stored(r.value, r.item, "VARCHAR(4) CHARACTER SET utf8mb4 NOT NULL"), r.want) << m_error.pszGetError();
}

// An empty value is no NULL: a NOT NULL column takes it, and only the NULL flag writes NULL.
TEST_P(LiveLiterals, EmptyBinaryIsWrittenAsEmptyNotNull) {
  const wchar_t none[] = L"";
  CAny null;
  null.SetBIN(nullptr, 0);
  null.SetNull(true);
  const struct {
    CAny value;
    eNA_ITEMTYPE item;
    const char* sqlType;
    std::string want;
  } rows[] = {
      {Raw(ZV_BIN, nullptr, 0), NA_IT_EMPTY, "LONGBLOB NOT NULL", ""},
      {Raw(ZV_BIN, nullptr, 0), NA_IT_MEMOBINAIRE, "LONGBLOB NOT NULL", ""},
      {Raw(ZV_BIN, nullptr, 0), NA_IT_BINAIRE, "VARBINARY(8) NOT NULL", ""},
      {Raw(ZV_BUFFER, nullptr, 0), NA_IT_EMPTY, "VARBINARY(8) NOT NULL", ""},
      {Raw(ZV_DSTRW, none, 0), NA_IT_MEMOUNICODE, "TEXT CHARACTER SET utf8mb4 NOT NULL", ""},
      {null, NA_IT_MEMOBINAIRE, "LONGBLOB", "NULL"},
  };
  for (const auto& r : rows) EXPECT_EQ(Stored(r.value, r.item, r.sqlType), r.want) << r.sqlType << " " << r.item;
}

// The server reads a literal as a double: a float must land in a FLOAT column as itself, the
// limits included, which strict mode refuses when they read above FLT_MAX.
TEST_P(LiveLiterals, FloatLimitsLandExactlyInAFloatColumn) {
  const float values[] = {FLT_MAX, -FLT_MAX, FLT_MIN, FLT_TRUE_MIN, -FLT_TRUE_MIN, 0.1f, 1.0f / 3, 16777216.0f, 3e38f,
                          -0.0f, std::nextafter(FLT_MAX, 0.0f)};
  for (const eNA_ITEMTYPE item : {NA_IT_EMPTY, NA_IT_R4})
    for (const float f : values) {
      CAny v;
      v.SetR4(f);
      const std::string back = Stored(v, item, "FLOAT NOT NULL", "CAST(c AS DOUBLE)");
      EXPECT_EQ(strtod(back.c_str(), nullptr), static_cast<double>(f)) << f << " read back as " << back;
    }
}

TEST_P(LiveLiterals, DigitExpressionsGiveTheHostsTexts) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT, d DATE, t TIME(3), dt DATETIME(3))"));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, '2024-02-29', '09:05:07', '2024-02-29 09:05:07'), "
                  "(2, '0001-01-01', '13:45:59.123', '9999-12-31 13:45:59.123')"));
  const eNA_ITEMTYPE H = NA_IT_HEURE;
  const struct { eNA_ITEMTYPE type; unsigned int size; const char *column, *want; } rows[] = {
      {NA_IT_DATE8, 9, "d", "20240229|00010101"}, {H, 5, "t", "0905|1345"}, {H, 6, "t", "09050|13455"}, {H, 7, "t", "090507|134559"},
      {H, 8, "t", "0905070|1345591"}, {H, 9, "t", "09050700|13455912"}, {H, 10, "t", "090507000|134559123"},
      {NA_IT_DATETIME, 8, "dt", "20240229090507000|99991231134559123"}};
  for (const auto& r : rows) {
    CNAItemDescription item;
    item.bInit(L"c", L"t", L"c", 1, r.size, r.type, 0, -1, 0, 0, 0);
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    ASSERT_TRUE(m_pCnx->bConvertExpressionToString(&m_error, &out, Wide(r.column).c_str(), &item, nullptr));
    EXPECT_EQ(Rows("SELECT " + std::string(out.pszGetA()) + " FROM " + m_strTable + " ORDER BY id", true), r.want) << out.pszGetA();
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveLiterals, ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
