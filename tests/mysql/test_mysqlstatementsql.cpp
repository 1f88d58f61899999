// The MySQL SQL statement against the private server, in both code pages and SQL modes: values
// spliced as literals, written and read back through converters into record slots; results of
// several statements; stored and streamed fetching and seeking; columns, rows and errors.
#include <cfloat>
#include <cstring>

#include "host/host_itemdescription.h"
#include "mysql/mysqlguard.h"
#include "mysql/mysqlstatementsql.h"
#include "sql/naconvertvariant.h"
#include "tests/mysql/live_connection.h"
#include "tests/sql/convert_test_util.h"
#include "tests/support/any_test_values.h"
#include "values/idecimal.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(DateDigits, EveryDashGoesWhereverItStands) {
  // The server's forms are read a word at a time; any other placing of '-' is stripped byte by
  // byte: every text of both lengths with a dash added or taken away at each place.
  for (const std::string base : {"2024-01-31", "2024-01-31 23:59:58", "0000-00-00 00:00:00"}) {
    std::vector<std::string> texts = {base};
    for (size_t at = 0; at < base.size(); ++at) {
      std::string t = base;
      t[at] = t[at] == '-' ? '5' : '-';
      texts.push_back(t);
    }
    texts.push_back(std::string(base.size(), '-'));
    for (const std::string& text : texts) {
      std::string want;
      for (char c : text)
        if (c != '-') want += c;
      char digits[19];
      const unsigned int n = nMySQLDateDigits(text.data(), static_cast<unsigned int>(text.size()), digits);
      EXPECT_EQ(std::string(digits, n), want) << text;
    }
  }
}

class ServerDateTime : public AnyTest {
 protected:
  CHostConnectionDescription m_host;
  CTestCnx m_cnx{&m_host, CP_UTF8, CP_UTF8};
};

TEST_F(ServerDateTime, TakenAsItStandsOrLeftUntouchedForTheDigitRoad) {
  // The statement first offers the server's text as it stands, then takes the digit road: every
  // text with a stray byte at each place, into each item, ends in the bytes, answer and error of
  // the digit road alone, and a text refused as it stands leaves the slot and error untouched.
  std::vector<std::string> texts = {"0000-00-00 00:00:00", "9999-12-31 23:59:59", "2023-02-29 00:00:00",
                                    "2024-04-31 12:00:00", "2024-01-01 24:00:00", "2024-01-01 23:60:00",
                                    "2024-01-01 23:59:60", "2024-00-15 10:00:00", "2024-06-00 10:00:00",
                                    "2024-13-01 00:00:00", "2024-01-32 00:00:00", "2100-02-29 00:00:00",
                                    "2000-02-29 00:00:00", "1999-12-31 19:09:09", "2024-10-10 10:10:10"};
  const std::string good = "2024-02-29 23:59:58";
  for (size_t at = 0; at < good.size(); ++at)
    for (char odd : {'0', '9', ':', '-', ' ', '/', 'a', '\xB9', '\0', '!', '.', ';', '\x7F'}) {
      std::string text = good;
      text[at] = odd;
      texts.push_back(text);
    }
  const struct {
    eNA_ITEMTYPE type;
    unsigned int size;
    bool taken;  // the good text is taken as it stands
  } kItems[] = {{NA_IT_DATETIME, 8, true}, {NA_IT_DATETIME, 12, true}, {NA_IT_DATETIME, 6, false},
                {NA_IT_DATE8, 9, false},   {NA_IT_HEURE, 10, false},    {NA_IT_TEXTE, 20, false}};
  for (const auto& item : kItems) {
    for (const std::string& text : texts) {
      char digits[19];
      const unsigned int n = nMySQLDateDigits(text.data(), 19, digits);
      Slot both(&m_cnx, item.type, item.size), digitsOnly(&m_cnx, item.type, item.size);
      ASSERT_TRUE(both.conv.bInitBufferDB());
      const BOOL taken = both.conv.bSetServerDateTimeDB(text.data(), 19);
      if (!taken) {
        EXPECT_EQ(both.bytes, Bytes(item.size, 0xEE)) << text;
        EXPECT_EQ(both.Raised(), L"") << text;
      }
      const BOOL ok = taken || both.conv.bSetValueDB(digits, n, CP_UTF8);
      // Every date-time the digit road takes into such a slot is taken as it stands.
      EXPECT_EQ(taken, item.taken && ok) << text << " " << item.type << " " << item.size;
      EXPECT_EQ(ok, digitsOnly.conv.bSetValueDB(digits, n, CP_UTF8)) << text << " " << item.type;
      EXPECT_EQ(both.bytes, digitsOnly.bytes) << text << " " << item.type << " " << item.size;
      EXPECT_EQ(both.Raised(), digitsOnly.Raised()) << text;
    }
  }
  // Not ready for server values, or held: nothing is taken.
  Slot unready(&m_cnx, NA_IT_DATETIME, 8);
  EXPECT_FALSE(unready.conv.bSetServerDateTimeDB(good.data(), 19));
  Slot held(&m_cnx, NA_IT_DATETIME, 8);
  held.conv.InitTypeVariantAny(ZV_DATETIME, 0);
  ASSERT_TRUE(held.conv.bInitBufferDB());
  EXPECT_FALSE(held.conv.bSetServerDateTimeDB(good.data(), 19));
}

class LiveStatement : public LiveConnection {
 protected:
  struct VM : AnyTest { static void Bind() { SetUpTestSuite(); } };
  LiveStatement() : LiveConnection("_stmt") { CNAError::s_Hold(&m_error); }
  static void SetUpTestSuite() { VM::Bind(); }
  void SetUp() override {
    LiveConnection::SetUp();
    if (m_pCnx) m_pCnx->AddRef();  // the fixture's own, so that statements never delete it
  }
  bool Unicode() const { return std::get<0>(GetParam()) == 65001; }
  std::unique_ptr<CMySQLStatementSQL> Stmt(bool stored = true) {
    auto st = std::make_unique<CMySQLStatementSQL>(m_pCnx.get(), &m_error);
    st->SetStoreResult(stored);
    return st;
  }
  // "<user code>/<server code>", "" without an error; the error is cleared.
  std::string Err() {
    const std::string s = m_error.dwGetErrorId() == 0 ? "" : std::to_string(m_error.dwGetErrorId()) + "/" +
                                                                 std::to_string(m_error.dwGetDataBaseErrorCode());
    m_error.Reset();
    return s;
  }
  // Every row of the current result as text, "|" between columns and ";" between rows.
  static std::string Rows(CNAStatementSQL* st) {
    std::string out;
    CXYStringConcat<wchar_t> row;
    while (st->bFetch(0) && !st->bIsEnd() && st->bGetRow(&row, L"|", 0, 0))
      out += (out.empty() ? "" : ";") + std::string(row.pszGet(), row.pszGet() + row.nGetLength());
    return out;
  }
  std::string Query(const std::string& sql) {
    auto st = Stmt();
    return st->bExecuteDirect(Wide(sql).c_str(), nullptr, 0) ? Rows(st.get()) : "error " + Err();
  }
  std::string Table() const { return m_strTable; }
};

// Splices each value at its "?" in sql.
struct Binds {
  Binds(const std::wstring& sql, std::initializer_list<CAny> values) : text(sql) {
    size_t at = 0;
    for (const CAny& v : values) {
      at = text.find(L'?', at);
      entries.push_back(std::make_unique<STValParser>());
      entries.back()->clValue = v;
      entries.back()->nStart = static_cast<int>(at++);
      entries.back()->nLength = 1;
    }
    for (auto& e : entries) pointers.push_back(e.get());
    list.nCount = static_cast<int>(pointers.size());
    list.ppEntries = pointers.data();
  }
  std::wstring text;
  std::vector<std::unique_ptr<STValParser>> entries;
  std::vector<STValParser*> pointers;
  CTabValParser list;
};

CAny Bin(const Bytes& b) {
  CAny v;
  v.SetBIN(b.data(), static_cast<unsigned int>(b.size()));
  return v;
}

Bytes ByteRange(int from, int to) {
  Bytes b;
  for (int i = from; i < to; ++i) b.push_back(static_cast<unsigned char>(i));
  return b;
}

TEST_P(LiveStatement, EveryMappedTypeRoundTripsIntoItsRecordSlot) {
  const std::wstring latin1 = L"q'b\\s\"%_`\u00e9\u00ff\u20ac", utf8 = L"q'b\\s\u00e9\u20ac\U0001F600\u4e2d";
  CAny real, single, small, year, text;
  const double reals[] = {0.1, 1.0 / 3, -1e308, DBL_MIN};
  // The server sends a FLOAT with 6 significant digits: such values come back exactly.
  const float floats[] = {-3.14159f, 123456.0f, 1.5e-10f, 0.0f};
  struct Row {
    const char* sql;
    eNA_ITEMTYPE item;
    unsigned int size;  // 0: a memo, held in the converter
    CAny value;
    int integer = 0, decimals = 0;
  };
  std::vector<Row> rows;
  auto add = [&](const char* sql, eNA_ITEMTYPE item, unsigned int size, unsigned short type, const wchar_t* t) {
    rows.push_back({sql, item, size, FromText(type, t)});
  };
  for (const wchar_t* t : {L"-128", L"127"}) add("TINYINT", NA_IT_I1, 1, ZV_I1, t);
  add("TINYINT UNSIGNED", NA_IT_UI1, 1, ZV_UI1, L"255");
  for (const wchar_t* t : {L"-32768", L"32767"}) add("SMALLINT", NA_IT_I2, 2, ZV_I2, t);
  add("SMALLINT UNSIGNED", NA_IT_UI2, 2, ZV_UI2, L"65535");
  for (const wchar_t* t : {L"-8388608", L"8388607"}) add("MEDIUMINT", NA_IT_I4, 4, ZV_I4, t);
  add("MEDIUMINT UNSIGNED", NA_IT_UI4, 4, ZV_UI4, L"16777215");
  for (const wchar_t* t : {L"-2147483648", L"2147483647"}) add("INT", NA_IT_I4, 4, ZV_I4, t);
  add("INT UNSIGNED", NA_IT_UI4, 4, ZV_UI4, L"4294967295");
  for (const wchar_t* t : {L"-9223372036854775808", L"9223372036854775807"}) add("BIGINT", NA_IT_I8, 8, ZV_I8, t);
  add("BIGINT UNSIGNED", NA_IT_UI8, 8, ZV_UI8, L"18446744073709551615");
  for (double d : reals) real.SetR8(d), rows.push_back({"DOUBLE", NA_IT_R8, 8, real});
  for (float f : floats) single.SetR4(f), rows.push_back({"FLOAT", NA_IT_R4, 4, single});
  for (const wchar_t* t : {L"-99999999999999999999999999999999999999", L"12345678901234567890123456789012345678"})
    rows.push_back({"DECIMAL(38,0)", NA_IT_DECIMAL, IDecimal::mg_PToN[38], FromText(ZV_DECIMAL, t), 38, 0});
  rows.push_back({"DECIMAL(38,10)", NA_IT_DECIMAL, IDecimal::mg_PToN[38],
                  FromText(ZV_DECIMAL, L"-1234567890123456789012345678.0123456789"), 28, 10});
  add("DECIMAL(30,6)", NA_IT_MONETAIRE, 10, ZV_CY, L"-604462909807314587.353088");
  for (const char* d : {"20240229", "00010101", "99991231"}) {
    CAny date;
    date.SetDATEA(d);
    rows.push_back({"DATE", NA_IT_DATE8, 9, date});
  }
  add("DATETIME", NA_IT_DATETIME, 8, ZV_DATETIME, L"20240229235959000");
  add("DATETIME(3)", NA_IT_DATETIME, 8, ZV_DATETIME, L"99991231235959999");
  add("TIMESTAMP(3) NULL", NA_IT_DATETIME, 8, ZV_DATETIME, L"20380119031407123");
  for (const char* t : {"093005007", "235959999"}) {
    CAny time;
    time.SetTIMEA(t);
    rows.push_back({"TIME(3)", NA_IT_HEURE, 10, time});
  }
  for (const wchar_t* t : {L"1901", L"2024", L"2155"}) add("YEAR", NA_IT_I2, 2, ZV_I2, t);
  if (Unicode()) {
    add("VARCHAR(64) CHARACTER SET utf8mb4", NA_IT_UNICODE, 130, ZV_DSTRW, utf8.c_str());
    add("TEXT CHARACTER SET utf8mb4", NA_IT_MEMOUNICODE, 0, ZV_DSTRW, utf8.c_str());
  } else {
    text.__nSetString(latin1.c_str(), static_cast<int>(latin1.size()), nullptr);  // the host's code page
    rows.push_back({"VARCHAR(64) CHARACTER SET latin1", NA_IT_TEXTE, 65, text});
    rows.push_back({"TEXT CHARACTER SET latin1", NA_IT_MEMOTEXTE, 0, text});
  }
  rows.push_back({"BINARY(128)", NA_IT_BINAIRE, 130, Bin(ByteRange(0, 128))});
  rows.push_back({"BINARY(128)", NA_IT_BINAIRE, 130, Bin(ByteRange(128, 256))});
  rows.push_back({"VARBINARY(256)", NA_IT_BINAIRE, 258, Bin(ByteRange(0, 256))});
  rows.push_back({"BLOB", NA_IT_MEMOBINAIRE, 0, Bin(ByteRange(0, 256))});

  std::string create = "CREATE TABLE " + Table() + " (id INT PRIMARY KEY";
  for (size_t i = 0; i < rows.size(); ++i) create += ", c" + std::to_string(i) + " " + rows[i].sql;
  ASSERT_TRUE(Run(create + ")"));
  ASSERT_EQ(Query("INSERT INTO " + Table() + " (id) VALUES (-1)"), "");
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    const std::wstring c = L"c" + std::to_wstring(i);
    CAny id;
    id.SetI4(static_cast<int>(i));
    Binds insert(L"INSERT INTO " + Wide(Table()) + L" (id, " + c + L") VALUES (?, ?)", {id, r.value});
    auto st = Stmt();
    ASSERT_TRUE(st->bExecuteDirect(insert.text.c_str(), &insert.list, 0)) << r.sql << " " << Err();
    for (int key : {static_cast<int>(i), -1}) {
      ASSERT_TRUE(st->bExecuteDirect((L"SELECT " + c + L" FROM " + Wide(Table()) + L" WHERE id = " +
                                      std::to_wstring(key)).c_str(), nullptr, 0));
      ASSERT_TRUE(st->bFetch(0) && !st->bIsEnd());
      CHostItemDescription item(L"c", r.item, r.size);
      item.m_nIntegerPart = r.integer;
      item.m_nDecimalPart = r.decimals;
      Bytes got(r.size, 0xEE), want(r.size, 0xEE);
      CNAConvertVariant read(&m_error, m_pCnx.get()), direct(&m_error, m_pCnx.get());
      for (auto [conv, bytes] : {std::pair(&read, &got), std::pair(&direct, &want)}) {
        conv->SetStatic(true);
        const unsigned short type = ConverteItemToZVType(r.item);
        if (r.size == 0)
          conv->InitTypeVariantAny(type, 0);
        else
          ASSERT_TRUE(conv->bInitTypeVariant(NA_VAR_BUFFER, bytes->data(), r.size, type));
        conv->SetItemDesc(&item, nullptr);
      }
      EXPECT_TRUE(st->bGetValue(&read, 0, 0)) << r.sql << " " << Err();
      CAny back;
      EXPECT_TRUE(read.bGetValue(&back));
      if (key < 0) {
        EXPECT_TRUE(back.bIsNull()) << r.sql;
        EXPECT_EQ(got, Bytes(r.size, 0)) << r.sql;
      } else {
        const unsigned short type = r.value.wGetType();
        if (type == ZV_DATEA || type == ZV_TIMEA) {
          // A DATE8 or HEURE slot holds the value's digits, zero-filled.
          const char* digits = reinterpret_cast<const char*>(r.value.pGetValueArea());
          want.assign(r.size, 0);
          std::copy(digits, digits + strnlen(digits, r.size - 1), want.begin());
        } else {
          EXPECT_TRUE(direct.bSetValue(&r.value)) << r.sql;
        }
        EXPECT_EQ(got, want) << r.sql;
        EXPECT_EQ(Show(back), Show(r.value)) << r.sql;
      }
      read.ResetVariant();
      direct.ResetVariant();
    }
  }
  EXPECT_EQ(Err(), "");
}

// "1;2;...;n", as Rows gives them.
std::string Seq(int n) {
  std::string out;
  for (int i = 1; i <= n; ++i) out += (i > 1 ? ";" : "") + std::to_string(i);
  return out;
}

TEST_P(LiveStatement, SeveralStatementsInOneText) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT PRIMARY KEY)"));
  const std::string t = Table(), proc = t + "_p";
  ASSERT_TRUE(Run("DROP PROCEDURE IF EXISTS " + proc) &&
              Run("CREATE PROCEDURE " + proc + "() BEGIN SELECT 7; SELECT 8; END"));
  // text, rows stored, rows streamed (a streamed result meets a later failure once its rows are read)
  const struct {
    std::string sql, stored, streamed;
  } cases[] = {
      {"INSERT INTO " + t + " VALUES (1); SELECT id FROM " + t, "1", "1"},
      {"SELECT 1; SELECT 2; SELECT 3", "1", "1"},
      {"INSERT INTO " + t + " VALUES (2); INSERT INTO " + t + " VALUES (2)", "error 22/1062", "error 22/1062"},
      {"SELECT id FROM " + t + " ORDER BY id; INSERT INTO " + t + " VALUES (1)", "error 22/1062", "1;2 error 22/1062"},
      {"CALL " + proc + "()", "7", "7"},
      {"SELECT COUNT(*) FROM " + t, "2", "2"},
      // A long result before the failing statement: a stored result fails its execution all the same.
      {"SELECT seq FROM seq_1_to_1500; SELECT * FROM " + t + "_none", "error 22/1146", Seq(1500) + " error 22/1146"},
  };
  for (bool stored : {true, false}) {
    for (const auto& c : cases) {
      auto st = Stmt(stored);
      std::string got = st->bExecuteDirect(Wide(c.sql).c_str(), nullptr, 0) ? Rows(st.get()) : "error";
      if (m_error.dwGetErrorId() != 0) got += (got == "error" ? " " : " error ") + Err();
      EXPECT_EQ(got, stored ? c.stored : c.streamed) << c.sql << (stored ? " stored" : " streamed");
      EXPECT_TRUE(st->bReset());
      EXPECT_EQ(Query("SELECT 5"), "5") << c.sql;  // the connection is free for the next text
    }
    ASSERT_TRUE(Run("DELETE FROM " + t));
  }
  Run("DROP PROCEDURE " + proc);
}

TEST_P(LiveStatement, FailingLaterStatementIsAnError) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT PRIMARY KEY)"));
  for (bool stored : {true, false}) {
    auto st = Stmt(stored);
    const std::wstring insert = L"INSERT INTO " + Wide(Table()) + L" VALUES (" + std::to_wstring(stored) + L")";
    EXPECT_FALSE(st->bExecuteDirect((insert + L"; " + insert).c_str(), nullptr, 0));
    EXPECT_EQ(Err(), "22/1062");
    EXPECT_EQ(Query("SELECT 1"), "1");
  }
}

TEST_P(LiveStatement, FetchCountsPositionsAndSeeks) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT PRIMARY KEY)"));
  ASSERT_EQ(Query("INSERT INTO " + Table() + " VALUES (0), (1), (2), (3), (4)"), "");
  const std::wstring select = L"SELECT id FROM " + Wide(Table()) + L" ORDER BY id";
  for (bool stored : {true, false}) {
    auto st = Stmt(stored);
    ASSERT_TRUE(st->bExecuteDirect(select.c_str(), nullptr, 0));
    EXPECT_EQ(st->llGetRowCount(), stored ? 5 : CMySQLStatementSQL::kStreamedRowCount);
    EXPECT_EQ(st->bRowsPending(), stored ? 0 : 1);
    for (int i = 0; i < 5; ++i) {
      ASSERT_TRUE(st->bFetch(0) && !st->bIsEnd());
      EXPECT_EQ(st->llGetPosition(), i);
    }
    EXPECT_TRUE(st->bFetch(0) && st->bIsEnd());
    EXPECT_EQ(st->llGetPosition(), 4);
    EXPECT_EQ(st->bRowsPending(), 0);
    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    EXPECT_FALSE(st->bGetValue(&bytes, &length, 0));
    EXPECT_EQ(st->bDataSeek(0), stored ? TRUE : FALSE);
  }
  // A statement without rows, and an empty stored result: no row, nothing asked.
  auto st = Stmt();
  for (const std::wstring& sql : {std::wstring(L"DO 1"), L"SELECT id FROM " + Wide(Table()) + L" WHERE id < 0"}) {
    ASSERT_TRUE(st->bExecuteDirect(sql.c_str(), nullptr, 0));
    EXPECT_EQ(st->llGetRowCount(), 0);
    EXPECT_TRUE(st->bFetch(0) && st->bIsEnd());
  }
}

TEST_P(LiveStatement, SeekTakesTheWhole64BitIndex) {
  auto st = Stmt();
  ASSERT_TRUE(st->bExecuteDirect(L"SELECT seq FROM seq_0_to_4", nullptr, 0));
  // row sought, (position, value) of the next fetch; -1: no row
  const struct {
    long long row;
    int position, value;
  } seeks[] = {{0, 0, 0}, {4, 4, 4}, {2, 2, 2}, {5, -1, -1}, {1LL << 40, -1, -1}, {4294967296LL, -1, -1}};
  for (const auto& s : seeks) {
    ASSERT_TRUE(st->bDataSeek(s.row));
    unsigned char* bytes = nullptr;
    unsigned int length = 0;
    EXPECT_FALSE(st->bGetValue(&bytes, &length, 0)) << "no row before the fetch";
    ASSERT_TRUE(st->bFetch(0));
    EXPECT_EQ(st->bIsEnd(), s.value < 0) << s.row;
    if (s.value < 0) continue;
    EXPECT_EQ(st->llGetPosition(), s.position);
    ASSERT_TRUE(st->bGetValue(&bytes, &length, 0));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), length), std::to_string(s.value));
  }
  EXPECT_FALSE(st->bDataSeek(-1));
}

TEST_P(LiveStatement, FailedLengthsLeaveNoRowCurrent) {
  auto st = Stmt();
  ASSERT_TRUE(st->bExecuteDirect(L"SELECT 'a' UNION ALL SELECT 'bb'", nullptr, 0) && st->bFetch(0));
  const auto lengths = __mysql_fetch_lengths;
  __mysql_fetch_lengths = [](MYSQL_RES*) -> unsigned long* { throw CTString(L"mysql_fetch_lengths"); };
  EXPECT_FALSE(st->bFetch(0));
  __mysql_fetch_lengths = lengths;
  EXPECT_EQ(Err(), "37/0");
  unsigned char* bytes = nullptr;
  unsigned int length = 0;
  EXPECT_TRUE(st->bIsEnd());
  EXPECT_FALSE(st->bGetValue(&bytes, &length, 0)) << "the first row's lengths are not the second's";
}

TEST_P(LiveStatement, AffectedRowsOutliveTheLookForFurtherResults) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT PRIMARY KEY)"));
  const std::wstring t = Wide(Table());
  // text, rows touched
  const std::pair<std::wstring, unsigned long long> cases[] = {
      {L"INSERT INTO " + t + L" VALUES (1), (2), (3)", 3}, {L"UPDATE " + t + L" SET id = id + 10 WHERE id > 1", 2},
      {L"UPDATE " + t + L" SET id = id WHERE id > 1", 2}, {L"DELETE FROM " + t + L" WHERE id = 1; DELETE FROM " + t, 2}};
  for (bool stored : {true, false}) {
    for (const auto& [sql, rows] : cases) {
      auto st = Stmt(stored);
      unsigned long long affected = 0;
      ASSERT_TRUE(st->bExecuteDirect(sql.c_str(), nullptr, 0)) << Err();
      EXPECT_TRUE(st->bGetAffected_rows(&affected));
      EXPECT_EQ(affected, rows) << (stored ? "stored " : "streamed ") << std::string(sql.begin(), sql.end());
      EXPECT_EQ(st->nGetColumnCount(), 0u);
      EXPECT_EQ(st->bIsResultOpen(), 1);
    }
  }
}

TEST_P(LiveStatement, ClosingAStreamedResultEarlyFreesTheConnection) {
  auto st = Stmt(false);
  ASSERT_TRUE(st->bExecuteDirect(L"SELECT seq FROM seq_1_to_5; SELECT 9", nullptr, 0));
  ASSERT_TRUE(st->bFetch(0) && st->bFetch(0) && !st->bIsEnd());
  EXPECT_EQ(st->llGetPosition(), 1);
  EXPECT_TRUE(st->bReset());
  EXPECT_EQ(st->bRowsPending(), 0);
  EXPECT_EQ(Query("SELECT 3"), "3");
  ASSERT_TRUE(st->bExecuteDirect(L"SELECT seq FROM seq_1_to_5", nullptr, 0));
  EXPECT_EQ(Rows(st.get()), "1;2;3;4;5");
  EXPECT_EQ(Err(), "");
}

// A reset after any execution leaves the statement empty and the connection ready, and so does
// the reset after it, with nothing left open.
TEST_P(LiveStatement, EveryResetLeavesNothingOpen) {
  // text, stored, rows fetched before the resets
  const struct {
    const wchar_t* sql;
    bool stored;
    int fetches;
  } rows[] = {
      {L"SELECT seq FROM seq_1_to_5", true, 0},           {L"SELECT seq FROM seq_1_to_5", true, 2},
      {L"SELECT seq FROM seq_1_to_5", false, 0},          {L"SELECT seq FROM seq_1_to_5", false, 2},
      {L"SELECT seq FROM seq_1_to_5", false, 6},          {L"SELECT seq FROM seq_1_to_5; SELECT 9", false, 1},
      {L"SELECT seq FROM seq_1_to_5; SELECT 9", true, 1}, {L"DO 1", true, 0},
      {L"DO 1", false, 0},                                {L"SELEC 1", true, 0},
  };
  for (const auto& row : rows) {
    const std::string what = Utf8(row.sql) + (row.stored ? " stored " : " streamed ") + std::to_string(row.fetches);
    auto st = Stmt(row.stored);
    st->bExecuteDirect(row.sql, nullptr, 0);
    for (int i = 0; i < row.fetches; ++i) st->bFetch(0);
    Err();
    for (int reset = 0; reset < 2; ++reset) {
      const unsigned int stamp = st->nGetResultStamp();
      EXPECT_TRUE(st->bReset()) << what;
      EXPECT_NE(st->nGetResultStamp(), stamp) << what;
      EXPECT_EQ(st->bIsResultOpen(), 0) << what;
      EXPECT_EQ(st->bRowsPending(), 0) << what;
      EXPECT_EQ(st->nGetColumnCount(), 0u) << what;
      EXPECT_EQ(st->llGetRowCount(), -1) << what;
      EXPECT_EQ(st->bIsEnd(), 1) << what;
    }
    EXPECT_EQ(Query("SELECT 3"), "3") << what;
    ASSERT_TRUE(st->bExecuteDirect(L"SELECT 4", nullptr, 0)) << what;
    EXPECT_EQ(Rows(st.get()), "4") << what;
    EXPECT_EQ(Err(), "") << what;
  }
}

TEST_P(LiveStatement, StoredEndOfRowsIgnoresAnotherStatementsError) {
  auto stored = Stmt(), other = Stmt();
  ASSERT_TRUE(stored->bExecuteDirect(L"SELECT 1", nullptr, 0) && stored->bFetch(0) && !stored->bIsEnd());
  EXPECT_FALSE(other->bExecuteDirect(L"SELEC 1", nullptr, 0));
  EXPECT_EQ(Err(), "22/1064");
  EXPECT_TRUE(stored->bFetch(0) && stored->bIsEnd());
  EXPECT_EQ(Err(), "");
}

TEST_P(LiveStatement, DecimalDigitsCountSignAndPointOnlyWhenPresent) {
  auto st = Stmt();
  ASSERT_TRUE(Run("CREATE TABLE " + Table() +
                  " (a DECIMAL(10,0), b DECIMAL(10,2), c DECIMAL(10,2) UNSIGNED, d DECIMAL(38,38), e DECIMAL(65,30))"));
  ASSERT_TRUE(st->bExecuteDirect(Wide("SELECT * FROM " + Table()).c_str(), nullptr, 0));
  const int digits[][2] = {{10, 0}, {8, 2}, {8, 2}, {0, 38}, {35, 30}};
  for (int i = 0; i < 5; ++i) {
    const CNAColumnSQL* c = st->pclGetNAColumnSQL(i);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::pair(c->m_nPrecision, c->m_nDecimals), std::pair(digits[i][0], digits[i][1])) << i;
  }
}

TEST_P(LiveStatement, YearComesBackAsTheYear) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (y YEAR)") && Run("INSERT INTO " + Table() + " VALUES (2024)"));
  auto st = Stmt();
  ASSERT_TRUE(st->bExecuteDirect(Wide("SELECT y FROM " + Table()).c_str(), nullptr, 0));
  ASSERT_TRUE(st->bFetch(0));
  const CNAColumnSQL* c = st->pclGetNAColumnSQL(0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::pair(c->m_eItemType, c->m_nItemSize), std::pair(NA_IT_I2, 2u));
  // Read as a query result is: into the type its column gives.
  CHostItemDescription item(L"y", c->m_eItemType, c->m_nItemSize);
  Bytes slot(c->m_nItemSize, 0xEE);
  CNAConvertVariant value(&m_error, m_pCnx.get());
  value.SetStatic(true);
  ASSERT_TRUE(value.bInitTypeVariant(NA_VAR_BUFFER, slot.data(), c->m_nItemSize, ConverteItemToZVType(c->m_eItemType)));
  value.SetItemDesc(&item, nullptr);
  ASSERT_TRUE(st->bGetValue(&value, 0, 0)) << Err();
  EXPECT_EQ(slot, (Bytes{0xE8, 0x07}));
  value.ResetVariant();
}

TEST_P(LiveStatement, DateTimeWithFractionReachesTheConverterWhole) {
  auto st = Stmt();
  ASSERT_TRUE(st->bExecuteDirect(L"SELECT CAST('2024-01-31' AS DATE), CAST('2024-01-31 12:34:56' AS DATETIME), "
                                 L"CAST('2024-01-31 12:34:56.789' AS DATETIME(3)), "
                                 L"CAST('2024-01-31 12:34:56.7' AS DATETIME(1))",
                                 nullptr, 0));
  ASSERT_TRUE(st->bFetch(0));
  const wchar_t* want[] = {L"20240131000000000", L"20240131123456000", L"20240131123456789", L"20240131123456700"};
  for (unsigned int i = 0; i < 4; ++i) {
    CNAConvertVariant value(&m_error, m_pCnx.get());
    value.SetStatic(true);
    value.InitTypeVariantAny(ZV_DATETIME, 0);
    ASSERT_TRUE(st->bGetValue(&value, i, 0)) << i << " " << Err();
    CAny dt;
    ASSERT_TRUE(value.bGetValue(&dt));
    EXPECT_EQ(Show(dt), Show(FromText(ZV_DATETIME, want[i]))) << i;
  }
  CAny text;
  ASSERT_TRUE(st->bGetValue(&text, 0, 0));
  EXPECT_EQ(Show(text), L"20240131");
}

TEST_P(LiveStatement, BlobAsWideCharactersIsCopiedOutOfTheUnalignedRow) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT, a CHAR(1), b BLOB)"));
  ASSERT_TRUE(Run("INSERT INTO " + Table() + " VALUES (1, 'x', X'41000000420000004300'), (2, 'x', X'4100000042000000')"));
  auto st = Stmt();
  // The bytes follow "x" in the row: 4-byte characters at an unaligned address, copied out first.
  ASSERT_TRUE(st->bExecuteDirect(Wide("SELECT a, b FROM " + Table() + " ORDER BY id").c_str(), nullptr, 0));
  CHostItemDescription unicode(L"u", NA_IT_UNICODE, 20), binary(L"b", NA_IT_BINAIRE, 12);
  for (INAItemDescription* database : {static_cast<INAItemDescription*>(&binary), static_cast<INAItemDescription*>(nullptr)}) {
    ASSERT_TRUE(st->bDataSeek(0));
    for (int row = 0; row < 2; ++row) {
      ASSERT_TRUE(st->bFetch(0) && !st->bIsEnd());
      CNAConvertVariant value(&m_error, m_pCnx.get());
      value.SetStatic(true);
      value.InitTypeVariantAny(ZV_DSTRW, 0);
      value.SetItemDesc(&unicode, database);
      ASSERT_TRUE(st->bGetValue(&value, 1, 0)) << Err();
      CAny got;
      ASSERT_TRUE(value.bGetValue(&got));
      EXPECT_EQ(Show(got), L"AB") << "10 and 8 bytes give 2 characters";
      value.ResetVariant();
    }
  }
}

TEST_P(LiveStatement, ColumnsRowsAndTheirErrors) {
  auto st = Stmt();
  EXPECT_EQ(Stmt()->nGetStmtNumber(), st->nGetStmtNumber() + 1);
  CXYStringConcat<wchar_t> row;
  EXPECT_FALSE(st->bGetRow(&row, L",", 0, 0));
  EXPECT_EQ(m_error.dwGetErrorId(), 7u);
  Err();
  ASSERT_TRUE(st->bExecuteDirect(L"SELECT 'a' AS first, NULL AS second, '' AS third, 'd' AS fourth", nullptr, 0));
  ASSERT_TRUE(st->bFetch(0));
  // columns asked, separator, text
  const struct {
    int columns;
    const wchar_t* separator;
    const wchar_t* text;
  } rows[] = {{0, L",", L"a,,,d"}, {-3, L",", L"a,,,d"}, {9, L",", L"a,,,d"}, {2, L",", L"a,"}, {4, L"", L"ad"},
              {1, nullptr, L"a"}};
  for (const auto& r : rows) {
    ASSERT_TRUE(st->bGetRow(&row, r.separator, r.columns, 0));
    EXPECT_EQ(std::wstring(row.pszGet()), r.text) << r.columns;
  }
  CAny list, name;
  ASSERT_TRUE(st->bGetColumnList(&list, 0));
  EXPECT_EQ(Show(list), L"first\r\nsecond\r\nthird\r\nfourth");
  ASSERT_TRUE(st->bGetColumnName(&name, 3, 0));
  EXPECT_EQ(name.wGetType(), ZV_PSTRW);
  EXPECT_EQ(Show(name), L"fourth");
  EXPECT_EQ(st->_pszGetColumnName(4), nullptr);
  EXPECT_EQ(st->_eGetColumnType(4), NA_IT_EMPTY);
  EXPECT_EQ(Err(), "");
  // index, user error
  for (auto [index, code] : {std::pair(-1, 51u), std::pair(4, 50u), std::pair(INT32_MIN, 51u)}) {
    EXPECT_EQ(st->pclGetNAColumnSQL(index), nullptr);
    EXPECT_EQ(m_error.dwGetErrorId(), code) << index;
    Err();
  }
  CNAConvertVariant value(&m_error, m_pCnx.get());
  value.SetStatic(true);
  value.InitTypeVariantAny(ZV_DSTRW, 0);
  EXPECT_FALSE(st->bGetValue(&value, 4, 0));
  EXPECT_EQ(m_error.dwGetErrorId(), 50u);
  Err();
  ASSERT_TRUE(st->bExecuteDirect(L"DO 1", nullptr, 0));
  EXPECT_EQ(st->pclGetNAColumnSQL(0), nullptr);
  EXPECT_EQ(m_error.dwGetErrorId(), 50u);
  Err();
  ASSERT_TRUE(st->bGetColumnList(&list, 0));
  EXPECT_EQ(Show(list), L"first\r\nsecond\r\nthird\r\nfourth") << "no columns: untouched";
  CAny requested = FromText(ZV_DSTRW, L"kept");
  EXPECT_TRUE(st->bGetRequestedValue(&requested, 0, L"SELECT 1 FROM DUAL WHERE 1 = 0"));
  EXPECT_EQ(Show(requested), L"kept");
  EXPECT_EQ(st->bIsResultOpen(), 0);
  EXPECT_TRUE(st->bGetRequestedValue(&requested, 1, L"SELECT 1, '\u00e9t\u00e9'"));
  EXPECT_EQ(Show(requested), L"\u00e9t\u00e9");
  EXPECT_FALSE(st->bGetRequestedValue(&requested, -1, L"SELECT 1"));
  EXPECT_EQ(m_error.dwGetErrorId(), 51u);
  Err();
  EXPECT_EQ(Err(), "");
}

TEST_P(LiveStatement, BindValuesSplicedInPlaceOrRefusedBeforeSending) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT, s VARCHAR(20))"));
  CAny one, text = FromText(ZV_DSTRW, L"it's");
  one.SetI4(1);
  auto st = Stmt();
  Binds two(L"INSERT INTO " + Wide(Table()) + L" VALUES (?, ?) -- tail", {one, text});
  ASSERT_TRUE(st->bExecuteDirect(two.text.c_str(), &two.list, 0)) << Err();
  Binds none(L"INSERT INTO " + Wide(Table()) + L" VALUES (2, 'none')", {});
  ASSERT_TRUE(st->bExecuteDirect(none.text.c_str(), &none.list, 0)) << Err();
  EXPECT_EQ(Query("SELECT id, s FROM " + Table() + " ORDER BY id"), "1|it's;2|none");
  // Swapped, overlapping, past the end and negative placeholders: nothing reaches the server.
  const std::pair<int, int> bad[][2] = {{{36, 1}, {33, 1}}, {{33, 4}, {36, 1}}, {{33, 1}, {99, 1}}, {{-1, 1}, {33, 1}},
                                        {{33, -1}, {36, 1}}};
  for (const auto& b : bad) {
    Binds wrong(two.text, {one, text});
    for (int i = 0; i < 2; ++i) wrong.entries[i]->nStart = b[i].first, wrong.entries[i]->nLength = b[i].second;
    EXPECT_FALSE(st->bExecuteDirect(wrong.text.c_str(), &wrong.list, 0));
    EXPECT_EQ(Err(), "24/0");
  }
  EXPECT_EQ(Query("SELECT COUNT(*) FROM " + Table()), "2");
}

TEST_P(LiveStatement, NulInsideALiteralReachesTheServer) {
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (b VARBINARY(8))"));
  auto st = Stmt();
  Binds insert(L"INSERT INTO " + Wide(Table()) + L" VALUES (?)", {Bin({'a', 0, '\'', 0, '\\'})});
  ASSERT_TRUE(st->bExecuteDirect(insert.text.c_str(), &insert.list, 0)) << Err();
  EXPECT_EQ(Query("SELECT HEX(b) FROM " + Table()), "610027005C");
}

TEST_P(LiveStatement, FailedQueryDumpKeepsItsFirst5000Characters) {
  const std::wstring wide(6000, Unicode() ? L'\U0001F600' : L'\u00e9');
  auto st = Stmt();
  EXPECT_FALSE(st->bExecuteDirect((L"SELEC '" + wide + L"'").c_str(), nullptr, 0));
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1064u);
  std::wstring debug = m_error.pclGetXError()->pszGetDebugMessage();
  EXPECT_NE(debug.find(L"utilisateur <" + Wide(m_server.user) + L">"), std::wstring::npos);
  EXPECT_NE(debug.find(L"SELEC '" + wide.substr(0, 4993)), std::wstring::npos);
  EXPECT_EQ(debug.find(L"SELEC '" + wide.substr(0, 4994)), std::wstring::npos);
  Err();
  // The narrow form cuts the bytes of the connection's code page on a character.
  const std::string bytes = Unicode() ? std::string(CNACodePageCnvIN(wide.c_str(), 65001).psz()) : std::string(6000, '\xe9');
  st->_DumpQueryInError(bytes.c_str(), static_cast<int>(bytes.size()));
  debug = m_error.pclGetXError()->pszGetDebugMessage();
  EXPECT_NE(debug.find(wide.substr(0, 5000)), std::wstring::npos);
  EXPECT_EQ(debug.find(wide.substr(0, 5001)), std::wstring::npos);
  Err();
}

// One statement running result after result takes back the column records of the last result of
// as many columns: every column must describe the new result as a statement that never ran
// before describes it (names, types, widths, digits), also when only the column's type, width,
// sign, digits or character set changed under the same names (the table altered in between).
TEST_P(LiveStatement, ColumnsOfEachResultAreItsOwnWhenTheLastOnesAreTakenBack) {
  auto describe = [](CNAStatementSQL* st) {
    std::wstring out;
    for (unsigned int i = 0; i < st->nGetColumnCount(); ++i) {
      const CNAColumnSQL* c = st->pclGetNAColumnSQL(static_cast<int>(i));
      if (c == nullptr) return std::wstring(L"no column");
      out += std::wstring(c->m_csName.pszGet()) + L"/" + std::to_wstring(c->m_nDBType) + L"/" +
             std::to_wstring(c->m_eItemType) + L"/" + std::to_wstring(c->m_nItemSize) + L"/" +
             std::to_wstring(c->m_llLength) + L"/" + std::to_wstring(c->m_nPrecision) + L"/" +
             std::to_wstring(c->m_nDecimals) + L"/" + std::to_wstring(c->m_nCharset) + L";";
    }
    return out;
  };
  // query, the names it gives (empty: it fails or has no columns; none: a change to the table)
  const struct {
    const wchar_t* sql;
    const wchar_t* names;
  } steps[] = {
      {L"SELECT 12.50 AS a, 'x' AS b", L"a,b"},
      {L"SELECT 12.50 AS a, 'x' AS b", L"a,b"},
      {L"SELECT 'y' AS a, 7 AS b", L"a,b"},  // a DECIMAL's digits do not stay with its place
      {L"SELECT 1 AS ab, 2 AS b", L"ab,b"},
      {L"SELECT 1 AS a, 2 AS b", L"a,b"},    // a name the last one began with
      {L"SELECT 1 AS \u00e9t\u00e9, 2 AS b", L"\u00e9t\u00e9,b"},
      {L"SELECT 1 AS \u00e9t\u00e9, 2 AS b, 3 AS c", L"\u00e9t\u00e9,b,c"},
      {L"DO 1", L""},
      {L"SELECT 1 AS \u00e9t\u00e9, 2 AS b, 3 AS c", L"\u00e9t\u00e9,b,c"},
      {L"SELEC 1", L""},
      {L"SELECT NOW() AS \u00e9t\u00e9, 2.5 AS b, NULL AS c", L"\u00e9t\u00e9,b,c"},
      {L"SELECT 1 AS x", L"x"},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a DECIMAL(10,2) UNSIGNED", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a DECIMAL(10,2)", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a DECIMAL(12,2)", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a DECIMAL(12,3)", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY b VARCHAR(6) CHARACTER SET latin1", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY b VARCHAR(6) CHARACTER SET utf8mb4", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY b VARBINARY(6)", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY b VARBINARY(19)", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"UPDATE %t SET b = '2024-01-02 03:04:05' WHERE b IS NOT NULL", nullptr},
      {L"ALTER TABLE %t MODIFY b DATETIME", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a DOUBLE", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a DOUBLE(22,2)", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a BIGINT", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"ALTER TABLE %t MODIFY a BIGINT UNSIGNED", nullptr},
      {L"SELECT a, b FROM %t", L"a,b"},
      {L"SELECT a, b FROM %t", L"a,b"},
  };
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (a DECIMAL(10,2), b VARCHAR(5)) CHARACTER SET utf8mb4"));
  ASSERT_TRUE(Run("INSERT INTO " + Table() + " VALUES (1.5, 'abc'), (NULL, NULL)"));
  auto st = Stmt();
  for (const auto& row : steps) {
    std::wstring sql = row.sql;
    if (const size_t at = sql.find(L"%t"); at != std::wstring::npos) sql.replace(at, 2, Wide(Table()));
    if (row.names == nullptr) {
      ASSERT_TRUE(Run(Utf8(sql))) << Utf8(sql);
      continue;
    }
    const struct {
      const wchar_t* sql;
      const wchar_t* names;
    } step = {sql.c_str(), row.names};
    const BOOL ran = st->bExecuteDirect(step.sql, nullptr, 0);
    Err();
    auto fresh = Stmt();
    ASSERT_EQ(fresh->bExecuteDirect(step.sql, nullptr, 0), ran) << Utf8(step.sql);
    Err();
    EXPECT_EQ(describe(st.get()), describe(fresh.get())) << Utf8(step.sql);
    std::wstring names;
    for (unsigned int i = 0; i < st->nGetColumnCount(); ++i)
      names += (i > 0 ? L"," : L"") + std::wstring(st->_pszGetColumnName(i));
    EXPECT_EQ(names, step.names) << Utf8(step.sql);
  }
}

TEST_P(LiveStatement, ATakenBackColumnNameDifferingInOneByteIsReadAgain) {
  // Each length the name comparison treats apart; the byte changed first, last and in between.
  auto st = Stmt();
  for (const int length : {1, 2, 3, 4, 6, 7, 8, 9, 14, 15, 16, 17, 30}) {
    const std::string base(static_cast<size_t>(length), 'n');
    std::vector<std::string> names = {base};
    for (const int at : {0, length - 1, length / 2}) {
      std::string changed = base;
      changed[static_cast<size_t>(at)] = 'm';
      names.push_back(changed);
      names.push_back(base);
    }
    names.push_back(base + "n");
    if (length > 1) names.push_back(base.substr(1));
    for (const std::string& name : names) {
      ASSERT_TRUE(st->bExecuteDirect(Wide("SELECT 1 AS " + name + ", 2 AS z").c_str(), nullptr, 0)) << name;
      ASSERT_EQ(st->nGetColumnCount(), 2u) << name;
      EXPECT_EQ(std::wstring(st->_pszGetColumnName(0)), Wide(name)) << name;
      EXPECT_EQ(std::wstring(st->_pszGetColumnName(1)), L"z") << name;
    }
  }
}

TEST_P(LiveStatement, AColumnWithoutWidthTakesTheLongestValuesOfEachResult) {
  // A NULL column's width is the longest values of the columns before it, row by row of each
  // result: a column read as the last result's is still counted in.
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (id INT, c VARCHAR(10), d VARCHAR(10))"));
  ASSERT_TRUE(Run("INSERT INTO " + Table() + " VALUES (1, 'ab', 'x'), (2, 'abcdef', 'xyz'), (3, NULL, NULL)"));
  auto st = Stmt();
  for (const int id : {1, 2, 2, 3, 1, 2}) {
    const std::wstring sql = L"SELECT c, NULL AS n, d, NULL AS m FROM " + Wide(Table()) + L" WHERE id = " +
                             std::to_wstring(id);
    ASSERT_TRUE(st->bExecuteDirect(sql.c_str(), nullptr, 0)) << id;
    auto fresh = Stmt();
    ASSERT_TRUE(fresh->bExecuteDirect(sql.c_str(), nullptr, 0)) << id;
    ASSERT_EQ(st->nGetColumnCount(), 4u);
    for (int i = 0; i < 4; ++i) {
      const CNAColumnSQL* mine = st->pclGetNAColumnSQL(i);
      const CNAColumnSQL* theirs = fresh->pclGetNAColumnSQL(i);
      ASSERT_TRUE(mine != nullptr && theirs != nullptr);
      EXPECT_EQ(mine->m_llLength, theirs->m_llLength) << id << " " << i;
      EXPECT_EQ(mine->m_eItemType, theirs->m_eItemType) << id << " " << i;
    }
  }
}

TEST_P(LiveStatement, OnlyAResultOfTheLastBuiltColumnsTakesBackTheirStamp) {
  // What was bound to a result's columns holds while its stamp stays: a result takes back the
  // stamp of the last columns built only when it gives every column again as they were.
  ASSERT_TRUE(Run("CREATE TABLE " + Table() + " (a INT, b VARCHAR(5)) CHARACTER SET utf8mb4"));
  ASSERT_TRUE(Run("INSERT INTO " + Table() + " VALUES (1, 'abc'), (2, NULL)"));
  // query (%t: the table), whether its stamp is that of the last result that built columns
  const struct {
    const char* sql;
    bool kept;
  } steps[] = {
      {"SELECT a, b FROM %t WHERE a = 1", false},
      {"SELECT a, b FROM %t WHERE a = 2", true},
      {"SELECT a, b FROM %t", true},
      {"SELECT a AS c, b FROM %t", false},
      {"SELECT a, b FROM %t", false},
      {"SELECT b, a FROM %t", false},
      {"SELECT a, b, a FROM %t", false},
      {"SELECT a, b FROM %t", false},
      {"DO 1", false},
      {"SELECT a, b FROM %t", true},
      // Text comes in the connection's character set: the column's own is not the result's.
      {"ALTER TABLE %t MODIFY b VARCHAR(5) CHARACTER SET latin1", false},
      {"SELECT a, b FROM %t", true},
      {"ALTER TABLE %t MODIFY b VARBINARY(5)", false},
      {"SELECT a, b FROM %t", false},
      {"ALTER TABLE %t MODIFY b VARBINARY(6)", false},
      {"SELECT a, b FROM %t", false},
      {"ALTER TABLE %t MODIFY a BIGINT", false},
      {"SELECT a, b FROM %t", false},
      {"ALTER TABLE %t MODIFY a BIGINT UNSIGNED", false},
      {"SELECT a, b FROM %t", false},
      {"SELECT a, b FROM %t", true},
  };
  auto st = Stmt();
  unsigned int built = 0;
  for (const auto& step : steps) {
    std::string sql = step.sql;
    if (const size_t at = sql.find("%t"); at != std::string::npos) sql.replace(at, 2, Table());
    if (sql.rfind("ALTER", 0) == 0) {
      ASSERT_TRUE(Run(sql)) << sql;
      continue;
    }
    ASSERT_TRUE(st->bExecuteDirect(Wide(sql).c_str(), nullptr, 0)) << sql << " " << Err();
    if (st->nGetColumnCount() == 0) {
      EXPECT_NE(st->nGetResultStamp(), built) << sql;
      continue;
    }
    EXPECT_EQ(st->nGetResultStamp() == built, step.kept) << sql << " at " << (&step - steps);
    built = st->nGetResultStamp();
    // Never another statement's, whose columns are the same.
    auto other = Stmt();
    ASSERT_TRUE(other->bExecuteDirect(Wide(sql).c_str(), nullptr, 0)) << sql;
    EXPECT_NE(other->nGetResultStamp(), built) << sql;
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveStatement,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
