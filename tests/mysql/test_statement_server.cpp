// Statements of a data access against the private server, in both code pages and SQL modes:
// every text a statement builds (CREATE, INSERT, UPDATE, DELETE, DELETE of all rows, DROP, SELECT
// and COUNT, over a table or a host query) runs on the server, and its effect is read back
// through the second connection.
#include <algorithm>
#include <cstring>
#include <optional>

#include "common/utf.h"
#include "sql/nafilter.h"
#include "tests/mysql/statement_bench.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
  return out;
}

std::vector<std::string> Split(const std::string& rows) {
  std::vector<std::string> out;
  for (size_t at = 0; !rows.empty() && at <= rows.size();) {
    const size_t end = std::min(rows.find(';', at), rows.size());
    out.push_back(rows.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// A MySQL connection that reports the server version it is told.
class CVersionConnection final : public CMySQLConnection {
 public:
  CVersionConnection(INAConnectionDescription* host, int major, int minor)
      : CMySQLConnection(L"version", host), m_nMajor(major), m_nMinor(minor) {}
  BOOL _bDecomposeServerVersion(CNAError*) override {
    m_nServerVersionMajor = m_nMajor;
    m_nServerVersionMinor = m_nMinor;
    return TRUE;
  }

 private:
  int m_nMajor, m_nMinor;
};

class LiveStatements : public LiveStatementBench {
 protected:
  LiveStatements() : LiveStatementBench("_st") {}
  std::string T() const { return m_strTable; }
  // The statement's browse SELECT on item run by the statement, then its rows read back through
  // the second connection (ASCII names); "error" when it is not built or does not run.
  std::string Select(Opened* o, NA_WRITEPARSEFLAGS flags, const wchar_t* item, int forward) {
    CNACommand* c = Command(o);
    if (!o->st->bBuildQuerySELECT(c, flags, item, forward, nullptr)) return "error " + Err();
    m_sent = Sent(c);
    const bool ran = o->st->bExecute(0, CNAStatement::NA_ST_NOPREPARE) != 0;
    o->st->ResetQuery();
    return ran ? Got(m_sent) : "error " + Err();
  }
};

// ---------------------------------------------------------------- CREATE and DROP

struct ItemSpec {
  const wchar_t* name;
  eNA_ITEMTYPE type;
  unsigned int size;
  unsigned short keys;
  bool nullable;
};

TEST_P(LiveStatements, CreateGivesTheServerEveryKeyAndNullRule) {
  // What the server keeps of each column (name, nullable, extra), then its indexes (name or
  // PRIMARY, unique, column).
  const struct {
    std::vector<ItemSpec> items;
    std::string want;
  } rows[] = {
      {{{L"id", NA_IT_IDAUTO, 8, 0x8800, false}, {L"v", NA_IT_TEXTE, 21, 0, true}},
       "id|NO|auto_increment;v|YES|/PRIMARY|0|id"},
      {{{L"n", NA_IT_I4, 4, 0, true}, {L"id", NA_IT_IDAUTO4, 4, 0x8800, false}},
       "n|YES|;id|NO|auto_increment/PRIMARY|0|id"},
      {{{L"code", NA_IT_I4, 4, 0xC800, false}, {L"v", NA_IT_R8, 8, 0, true}}, "code|NO|;v|YES|/PRIMARY|0|code"},
      {{{L"u", NA_IT_I4, 4, 0x4800, false}, {L"t", NA_IT_TEXTE, 11, 0x4800, true}, {L"d", NA_IT_I4, 4, 0x2800, true}},
       "u|NO|;t|YES|;d|YES|/t|0|t;u|0|u"},
  };
  for (const auto& row : rows) {
    m_drop.push_back(Q(T()));
    CNADataSourceDescription* desc = NewDescription(Wide(T()));
    for (const ItemSpec& item : row.items) {
      ASSERT_TRUE(desc->bAddItem(item.name, L"", item.name, 1, item.size, item.type, -1, -1,
                                 item.keys, 0, 0));
      desc->pclGetItemNoRef(desc->nGetNumItems() - 1)->SetNullable(item.nullable ? 1 : 0);
    }
    desc->UpdateRecordSize();
    Opened* o = Open(desc);
    ASSERT_NE(o, nullptr);
    ASSERT_TRUE(Exec(o, NA_QUERY_CREATE)) << m_sent << ": " << Err();
    EXPECT_EQ(m_sent.substr(m_sent.size() - 14), " ENGINE=InnoDB") << m_sent;
    EXPECT_EQ(Got("SELECT COLUMN_NAME, IS_NULLABLE, EXTRA FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                  "DATABASE() AND TABLE_NAME = '" + T() + "' ORDER BY ORDINAL_POSITION") + "/" +
                  Got("SELECT INDEX_NAME, NON_UNIQUE, COLUMN_NAME FROM information_schema.STATISTICS WHERE "
                      "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" + T() + "' ORDER BY INDEX_NAME, SEQ_IN_INDEX"),
              row.want)
        << m_sent;
    EXPECT_EQ(Got("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                  T() + "'"),
              "InnoDB");
    ASSERT_TRUE(Exec(o, NA_QUERY_DROPTABLE)) << m_sent << ": " << Err();
    EXPECT_EQ(m_sent, "DROP TABLE " + Q(T()));
    EXPECT_EQ(Got("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                  T() + "'"),
              "0");
  }
}

TEST_P(LiveStatements, CreateNamesTheOldEngineClauseForAServerBeforeVersionFive) {
  // server version, the clause the CREATE ends with
  const std::pair<std::pair<int, int>, std::string> rows[] = {
      {{4, 1}, " Type=InnoDB"}, {{5, 0}, " ENGINE=InnoDB"}, {{10, 11}, " ENGINE=InnoDB"}};
  for (const auto& [version, clause] : rows) {
    CVersionConnection cnx(&m_host, version.first, version.second);
    ASSERT_TRUE(cnx.bOpen(&m_error)) << Err();
    cnx.AddRef();
    ASSERT_EQ(cnx.nGetServerVersionMajor(), version.first);
    CNADataSourceDescription* desc = m_driver.pclAllocDataSourceDescription(&cnx, &m_error);
    desc->SetLogicalName(Wide(T()).c_str());
    desc->SetDBName(Wide(T()).c_str());
    ASSERT_TRUE(desc->bAddItem(L"id", L"", L"id", 1, 4, NA_IT_IDAUTO4, -1, -1, 0x8800, 0, 0));
    desc->UpdateRecordSize();
    desc->ExternalAddRef();
    {
      Opened o;
      o.desc = desc;
      o.access = new CTestAccess(desc, &cnx, &m_error);
      o.access->AddRef();
      ASSERT_TRUE(o.access->bMakeRecord(desc, nullptr));
      o.st = new CTestStatement(o.access, &m_error);
      o.st->AddRef();
      CNACommand* c = Command(&o);
      ASSERT_TRUE(o.st->bBuildQuery(NA_QUERY_CREATE, c, 0)) << Err();
      const std::string text = Sent(c);
      EXPECT_EQ(text.substr(text.size() - clause.size()), clause) << text;
    }
    for (CNACommand* c : m_commands) c->nRelease();
    m_commands.clear();
  }
}

// ---------------------------------------------------------------- INSERT

TEST_P(LiveStatements, InsertKeepsEveryByteTheRecordHolds) {
  Create(T(), "(id INT AUTO_INCREMENT PRIMARY KEY, t VARCHAR(40) CHARACTER SET utf8mb4 NULL, b BLOB NULL, "
              "m TEXT CHARACTER SET utf8mb4 NULL, n INT NULL)");
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  struct Row {
    std::optional<std::wstring> t;
    std::optional<std::string> b;
    std::optional<std::wstring> m;
    std::optional<int> n;
  };
  std::vector<Row> rows = {
      {L"q'uote", std::string("\0\x01'\\", 4), L"memo 'one'", 1},
      {L"back\\slash\\", all, std::wstring(L"nul\0inside", 10), -2147483647 - 1},
      {L"a b", std::string(), std::wstring(L"\0", 1), 0},
      {L"\"%_`\u00e9\u00ff\u20ac", std::nullopt, std::nullopt, std::nullopt},
      {std::nullopt, std::string("\xff\xfe", 2), std::wstring(3000, L'x') + L"\u00e9", 7},
      {L"", std::nullopt, L"\\'\\\\", 2147483647},
  };
  // A character past U+FFFF reaches a utf8mb4 column whole.
  if (Unicode()) rows.push_back({L"\U0001F600 \u4e2d", std::nullopt, L"\U0001F680", 8});
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  std::string want;
  int id = 0;
  for (const Row& row : rows) {
    ASSERT_TRUE(Set(o, L"t", row.t ? Wide(*row.t, ZV_DSTRW) : Null(ZV_DSTRW)));
    ASSERT_TRUE(Set(o, L"b", row.b ? Bytes(*row.b) : Null(ZV_BIN)));
    ASSERT_TRUE(Set(o, L"m", row.m ? Wide(*row.m, ZV_DSTRW) : Null(ZV_DSTRW)));
    ASSERT_TRUE(Set(o, L"n", row.n ? Int(*row.n) : Null(ZV_I4)));
    ASSERT_TRUE(Exec(o, NA_QUERY_INSERT)) << m_sent << ": " << Err();
    ASSERT_TRUE(o->st->bUpdateRecordAfterInsert(NA_QUERY_INSERT, 0)) << Err();
    // The new identifier lands in the record.
    EXPECT_EQ(Value(o, L"id"), std::to_wstring(++id));
    want += (want.empty() ? "" : ";") + std::to_string(id) + "|" + (row.t ? Hex(Utf8(*row.t)) : "NULL") + "|" +
            (row.b ? Hex(*row.b) : "NULL") + "|" + (row.m ? Hex(Utf8(*row.m)) : "NULL") + "|" +
            (row.n ? std::to_string(*row.n) : "NULL");
  }
  EXPECT_EQ(Got("SELECT id, HEX(t), HEX(b), HEX(m), n FROM " + Q(T()) + " ORDER BY id"), want);
}

TEST_P(LiveStatements, InsertOfOnlyAnIdentifierTheServerFillsSendsDefault) {
  Create(T(), "(id INT AUTO_INCREMENT PRIMARY KEY)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  for (int i = 1; i <= 2; ++i) {
    ASSERT_TRUE(Exec(o, NA_QUERY_INSERT)) << m_sent << ": " << Err();
    EXPECT_EQ(m_sent, "INSERT INTO " + Q(T()) + "VALUES ( DEFAULT )");
    ASSERT_TRUE(o->st->bUpdateRecordAfterInsert(NA_QUERY_INSERT, 0)) << Err();
    EXPECT_EQ(Value(o, L"id"), std::to_wstring(i));
  }
  EXPECT_EQ(Got("SELECT id FROM " + Q(T()) + " ORDER BY id"), "1;2");
}

// The client's insert id, counted and answered by the test.
int g_nInsertIdCalls = 0;
my_ulonglong g_nInsertId = 0;
my_ulonglong ScriptedInsertId(MYSQL*) {
  ++g_nInsertIdCalls;
  return g_nInsertId;
}

TEST_P(LiveStatements, IdentifierAfterInsertAsksTheClientOnlyWhenThereIsOne) {
  Create(T(), "(id BIGINT AUTO_INCREMENT PRIMARY KEY, v INT)");
  Create(T() + "_plain", "(k INT PRIMARY KEY, v INT)");
  Opened* withId = Open(T());
  Opened* plain = Open(T() + "_plain");
  ASSERT_TRUE(withId != nullptr && plain != nullptr);
  const auto real = __mysql_insert_id;
  __mysql_insert_id = ScriptedInsertId;
  // access, identifier the client answers, client calls, identifier in the record after
  const struct {
    Opened* o;
    my_ulonglong id;
    int calls;
    std::wstring want;
  } rows[] = {
      {plain, 5, 0, L"<no column>"},
      {withId, 0, 1, L"77"},
      {withId, 9000000000ULL, 1, L"9000000000"},
  };
  for (const auto& row : rows) {
    g_nInsertIdCalls = 0;
    g_nInsertId = row.id;
    if (row.o == withId) {
      ASSERT_TRUE(Set(row.o, L"id", Int(77)));
    }
    EXPECT_TRUE(row.o->st->bUpdateRecordAfterInsert(NA_QUERY_INSERT, 0)) << Err();
    EXPECT_EQ(g_nInsertIdCalls, row.calls);
    EXPECT_EQ(Value(row.o, L"id"), row.want);
  }
  __mysql_insert_id = [](MYSQL*) -> my_ulonglong { throw CTString(L"mysql_insert_id"); };
  EXPECT_FALSE(withId->st->bUpdateRecordAfterInsert(NA_QUERY_INSERT, 0));
  __mysql_insert_id = real;
  EXPECT_EQ(Err().substr(0, 2), "37");
}

// ---------------------------------------------------------------- UPDATE and DELETE

TEST_P(LiveStatements, UpdateWritesTheModifiedColumnsOfTheRowRead) {
  Create(T(), "(id INT PRIMARY KEY, a INT NULL, b VARCHAR(10) NULL)");
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, 10, 'x'), (2, 20, 'y'), (3, 30, 'z')");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  // Row 2 read, its b changed on the server behind the record, its a changed in the record: only
  // a is written, to row 2 only.
  ASSERT_TRUE(Read(o, "id = 2"));
  Raw("UPDATE " + Q(T()) + " SET b = 'other' WHERE id = 2");
  ASSERT_TRUE(Set(o, L"a", Int(21)));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  EXPECT_EQ(m_sent.find("`b`"), std::string::npos) << m_sent;
  EXPECT_EQ(Got("SELECT * FROM " + Q(T()) + " ORDER BY id"), "1|10|x;2|21|other;3|30|z");
  // Nothing modified: an empty text that succeeds and sends nothing.
  ASSERT_TRUE(Read(o, "id = 3"));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << Err();
  EXPECT_EQ(m_sent, "");
  // NULL written, and a value set back from NULL.
  ASSERT_TRUE(Read(o, "id = 1"));
  ASSERT_TRUE(Set(o, L"b", Null(ZV_PSTRW)) && Set(o, L"a", Int(-1)));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got("SELECT * FROM " + Q(T()) + " ORDER BY id"), "1|-1|NULL;2|21|other;3|30|z");
}

// The values follow the column list that names them, in record order, a blank on each side of
// the comma between two literals; an UPDATE names each value's column.
TEST_P(LiveStatements, WritesListTheirColumnsAndValuesInRecordOrder) {
  Create(T(), "(id INT PRIMARY KEY, a INT NULL, b VARCHAR(10) NULL, c INT NULL)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  ASSERT_TRUE(Set(o, L"id", Int(1)) && Set(o, L"a", Int(-5)) && Set(o, L"b", Wide(L"x'y", ZV_DSTRW)) &&
              Set(o, L"c", Null(ZV_I4)));
  ASSERT_TRUE(Exec(o, NA_QUERY_INSERT)) << m_sent << ": " << Err();
  EXPECT_EQ(m_sent, "INSERT INTO " + Q(T()) + " (`id`,`a`,`b`,`c`) VALUES ( 1 , -5 , 'x" +
                        std::string(std::get<1>(GetParam()) ? "''" : "\\'") + "y' , NULL )");
  ASSERT_TRUE(Read(o, "id = 1"));
  ASSERT_TRUE(Set(o, L"c", Int(7)) && Set(o, L"a", Int(6)));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  EXPECT_EQ(m_sent.substr(0, m_sent.find(" WHERE")), "UPDATE " + Q(T()) + " SET `a` = 6 , `c` = 7");
  EXPECT_EQ(Got("SELECT * FROM " + Q(T())), "1|6|x'y|7");
}

// The INSERT's head is the one of the columns each add sends: an identifier the server fills
// joins the list only when the add forces it, and leaves it again on the next add.
TEST_P(LiveStatements, TheInsertHeadFollowsTheColumnsEachAddSends) {
  Create(T(), "(id INT AUTO_INCREMENT PRIMARY KEY, v INT)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  // flags, identifier and value in the record, the text sent
  const struct {
    NA_WRITEPARSEFLAGS flags;
    int id, v;
    std::string want;
  } rows[] = {
      {0, 0, 7, " (`v`) VALUES ( 7 )"},
      {NA_WPF_IDAUTO_FORCE, 50, 8, " (`id`,`v`) VALUES ( 50 , 8 )"},
      {0, 0, 9, " (`v`) VALUES ( 9 )"},
      {NA_WPF_IDAUTO_FORCE | NA_WPF_IDAUTO_KEEP, 60, 10, " (`id`,`v`) VALUES ( 60 , 10 )"},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(Set(o, L"id", Int(row.id)) && Set(o, L"v", Int(row.v)));
    ASSERT_TRUE(Exec(o, NA_QUERY_INSERT, row.flags)) << m_sent << ": " << Err();
    EXPECT_EQ(m_sent, "INSERT INTO " + Q(T()) + row.want);
  }
  EXPECT_EQ(Got("SELECT v FROM " + Q(T()) + " ORDER BY v"), "7;8;9;10");
}

// An identifier the server fills is never written by an UPDATE, and after it the record shows
// the identifier of the row again, whatever the host put there.
TEST_P(LiveStatements, UpdateLeavesTheServersIdentifierAndPutsItBackInTheRecord) {
  Create(T(), "(id INT AUTO_INCREMENT PRIMARY KEY, v INT)");
  Raw("INSERT INTO " + Q(T()) + " (v) VALUES (10), (20)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  ASSERT_TRUE(Read(o, "id = 2"));
  ASSERT_TRUE(Set(o, L"id", Int(50)) && Set(o, L"v", Int(21)));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  EXPECT_TRUE(o->st->bUpdateRecordAfterUpdate(NA_QUERY_UPDATE, 0));
  EXPECT_EQ(Value(o, L"id"), L"2");
  EXPECT_EQ(Got("SELECT * FROM " + Q(T()) + " ORDER BY id"), "1|10;2|21");
}

// The server tells "matched, nothing changed" from "matched nothing" only when the connection
// counts found rows: the first succeeds, the second fails with 13 and writes nothing.
TEST_P(LiveStatements, UpdateThatChangesNothingIsToldFromOneThatFindsNoRow) {
  Create(T(), "(id INT PRIMARY KEY, a INT)");
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, 10), (2, 20)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  // the row read, the server's change behind the record, the value written, success, the rows
  // after
  const struct {
    int id;
    const char* behind;
    int a;
    bool ok;
    std::string want;
  } rows[] = {
      {1, "UPDATE %T SET a = 11 WHERE id = 1", 11, true, "1|11;2|20"},
      {1, "DELETE FROM %T WHERE id = 1", 12, false, "2|20"},
      {2, "UPDATE %T SET id = 3 WHERE id = 2", 21, false, "3|20"},
  };
  for (const auto& row : rows) {
    m_error.Reset();
    std::string behind = row.behind;
    behind.replace(behind.find("%T"), 2, Q(T()));
    ASSERT_TRUE(Read(o, "id = " + std::to_string(row.id)));
    Raw(behind);
    ASSERT_TRUE(Set(o, L"a", Int(row.a)));
    EXPECT_EQ(Exec(o, NA_QUERY_UPDATE), row.ok) << m_sent;
    EXPECT_EQ(Err().substr(0, 2), row.ok ? "" : "13") << behind;
    EXPECT_EQ(Got("SELECT * FROM " + Q(T()) + " ORDER BY id"), row.want) << behind;
    // The record keeps what the host wrote.
    EXPECT_EQ(Value(o, L"a"), std::to_wstring(row.a));
  }
}

TEST_P(LiveStatements, DeleteTakesTheRowReadAndDeleteAllEmptiesTheTable) {
  Create(T(), "(id INT PRIMARY KEY, a INT)");
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, 10), (2, 20), (3, 30)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  ASSERT_TRUE(Read(o, "id = 2"));
  // The record's values changed since the read: the row read goes all the same.
  ASSERT_TRUE(Set(o, L"id", Int(3)));
  ASSERT_TRUE(Exec(o, NA_QUERY_DELETE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got("SELECT id FROM " + Q(T()) + " ORDER BY id"), "1;3");
  ASSERT_TRUE(Exec(o, NA_QUERY_DELETEALL)) << m_sent << ": " << Err();
  EXPECT_EQ(m_sent, "DELETE FROM " + Q(T()));
  EXPECT_EQ(Got("SELECT COUNT(*) FROM " + Q(T())), "0");
}

// A table without key is written through a WHERE on every column as read: a FLOAT, a DOUBLE or a
// DATETIME the server would not find again by its text would touch no row, or another.
TEST_P(LiveStatements, KeylessRowsAreUpdatedAndDeletedExactlyAsRead) {
  Create(T(), "(f FLOAT NULL, d DOUBLE NULL, dt DATETIME NULL, t3 DATETIME(3) NULL, n INT)");
  Raw("INSERT INTO " + Q(T()) +
      " VALUES (1.1, 0.1, '2024-01-05 10:30:00', '2024-01-05 10:30:00.125', 1), "
      "(1.1, 0.1, '2024-01-05 10:30:01', '2024-01-05 10:30:00.125', 2), "
      "(2.2, 1/3, '2024-01-05 10:30:00', '2024-01-05 10:30:00.126', 3), "
      "(-3.4e38, 1e-300, '1000-01-01 00:00:00', '9999-12-31 23:59:59.999', 4), "
      "(NULL, NULL, NULL, NULL, 5), (0.333333, 0.1, '2024-01-05 10:30:00', '2024-01-05 10:30:00.125', 6)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  for (int n = 1; n <= 6; ++n) {
    ASSERT_TRUE(Read(o, "n = " + std::to_string(n))) << n;
    ASSERT_TRUE(Set(o, L"n", Int(100 + n)));
    EXPECT_TRUE(Exec(o, NA_QUERY_UPDATE)) << n << ": " << m_sent << ": " << Err();
    std::string want;
    for (int k = n + 1; k <= 6 + n; ++k) want += (k > n + 1 ? "," : "") + std::to_string(k <= 6 ? k : 100 + k - 6);
    EXPECT_EQ(Got("SELECT GROUP_CONCAT(n ORDER BY n) FROM " + Q(T())), want) << m_sent;
  }
  for (int n = 1; n <= 6; ++n) {
    ASSERT_TRUE(Read(o, "n = " + std::to_string(100 + n))) << n;
    EXPECT_TRUE(Exec(o, NA_QUERY_DELETE)) << n << ": " << m_sent << ": " << Err();
    EXPECT_EQ(Got("SELECT COUNT(*) FROM " + Q(T()) + " WHERE n = " + std::to_string(100 + n)), "0") << m_sent;
    EXPECT_EQ(Got("SELECT COUNT(*) FROM " + Q(T())), std::to_string(6 - n)) << m_sent;
  }
}

// ---------------------------------------------------------------- Values of the server's types

TEST_P(LiveStatements, FractionalTimesAndYearsKeepEveryDigitWrittenAndRead) {
  Create(T(), "(id INT PRIMARY KEY, t3 TIME(3) NULL, dt3 DATETIME(3) NULL, y YEAR NULL)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  // host time (hhmmssmmm), host date-time, year; what the server holds
  const struct {
    const wchar_t* time;
    const wchar_t* datetime;
    int year;
    std::string want;
  } rows[] = {
      {L"103045123", L"20240229123456789", 2024, "10:30:45.123|2024-02-29 12:34:56.789|2024"},
      {L"000000001", L"10000101000000001", 1901, "00:00:00.001|1000-01-01 00:00:00.001|1901"},
      {L"235959999", L"99991231235959999", 2155, "23:59:59.999|9999-12-31 23:59:59.999|2155"},
      {L"120000000", L"20000101000000000", 1970, "12:00:00.000|2000-01-01 00:00:00.000|1970"},
  };
  int id = 0;
  for (const auto& row : rows) {
    ASSERT_TRUE(Set(o, L"id", Int(++id)));
    ASSERT_TRUE(Set(o, L"t3", FromText(ZV_TIMEW, row.time)));
    ASSERT_TRUE(Set(o, L"dt3", FromText(ZV_DATETIME, row.datetime)));
    ASSERT_TRUE(Set(o, L"y", Int(row.year)));
    ASSERT_TRUE(Exec(o, NA_QUERY_INSERT)) << m_sent << ": " << Err();
    EXPECT_EQ(Got("SELECT t3, dt3, y FROM " + Q(T()) + " WHERE id = " + std::to_string(id)), row.want) << m_sent;
    // Read back into the record: the values written.
    ASSERT_TRUE(Read(o, "id = " + std::to_string(id)));
    EXPECT_EQ(Value(o, L"t3"), Show(FromText(ZV_TIMEW, row.time)));
    EXPECT_EQ(Value(o, L"dt3"), Show(FromText(ZV_DATETIME, row.datetime)));
    EXPECT_EQ(Value(o, L"y"), std::to_wstring(row.year));
    // The key changed: the row read takes it.
    ASSERT_TRUE(Set(o, L"id", Int(100 + id)));
    EXPECT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
    EXPECT_EQ(Got("SELECT COUNT(*) FROM " + Q(T()) + " WHERE id = " + std::to_string(100 + id)), "1") << m_sent;
  }
}

// ---------------------------------------------------------------- SELECT

// The rows of the SELECT the statement built, run on the second connection (ASCII names).
TEST_P(LiveStatements, DistinctCollapsesEqualRowsOnlyWhereTheBestItemAllowsThem) {
  // table, its rows, rows read with DISTINCT asked
  const struct {
    std::string body;
    std::string values;
    int rows;
  } tables[] = {
      {"(id INT PRIMARY KEY, v INT)", "(1, 5), (2, 5), (3, 6)", 3},
      {"(u INT NOT NULL, v INT, UNIQUE KEY (u))", "(1, 5), (2, 5), (3, 5)", 3},
      {"(u INT NULL, v INT, UNIQUE KEY (u))", "(NULL, 5), (NULL, 5), (1, 5)", 2},
      {"(a INT, b VARCHAR(5))", "(1, 'x'), (1, 'x'), (1, 'y'), (2, 'x')", 3},
      {"(a INT, b VARCHAR(5), KEY (a))", "(1, 'x'), (1, 'x'), (2, 'x')", 2},
  };
  for (const auto& t : tables) {
    Create(T(), t.body);
    Raw("INSERT INTO " + Q(T()) + " VALUES " + t.values);
    Opened* o = Open(T());
    ASSERT_NE(o, nullptr);
    const std::string rows = Select(o, NA_WPF_DISTINCT, nullptr, 1);
    EXPECT_EQ(Split(rows).size(), static_cast<size_t>(t.rows)) << t.body << ": " << m_sent << ": " << rows;
    Raw("DROP TABLE " + Q(T()));
  }
}

// Read backward on a composite key, the rows come in the exact reverse of the forward read: the
// order is completed by a unique column, so equal keys cannot come in any order the server picks.
TEST_P(LiveStatements, CompositeKeyReadBackwardIsTheExactReverseOfForward) {
  Create(T(), "(id INT PRIMARY KEY, a INT, b VARCHAR(5), v INT, KEY ab (a, b))");
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, 2, 'x', 0), (2, 1, 'y', 0), (3, 2, 'x', 0), (4, 1, 'x', 0), "
      "(5, 2, 'a', 0), (6, 1, 'y', 0), (7, 2, 'x', 0), (8, NULL, 'x', 0), (9, 1, NULL, 0)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  std::wstring key;
  for (int i = 0; i < o->Record()->nGetNbColumn(); ++i)
    if (o->Record()->pclGetColumnNoRef(i)->bIsComposedKey()) key = o->Record()->pclGetColumnNoRef(i)->pszGetName();
  ASSERT_FALSE(key.empty());
  // direction, the ids in the order read (NULL first, as the server sorts it)
  const std::pair<int, std::string> reads[] = {{1, "8;9;4;2;6;5;1;3;7"}, {0, "7;3;1;5;6;2;4;9;8"}};
  for (const auto& [forward, want] : reads) {
    std::string ids;
    for (const std::string& r : Split(Select(o, 0, key.c_str(), forward)))
      ids += (ids.empty() ? "" : ";") + r.substr(0, r.find('|'));
    EXPECT_EQ(ids, want) << m_sent;
  }
}

// A host query that ends in LIMIT keeps it after the ORDER BY the statement adds, in both
// directions of reading.
TEST_P(LiveStatements, QueryEndingInLimitKeepsItAfterTheOrder) {
  Create(T(), "(id INT PRIMARY KEY, v INT)");
  Raw("INSERT INTO " + Q(T()) + " SELECT seq, 100 - seq FROM seq_1_to_20");
  CHostRecordDescription* t = HostTable(L"nombres", T());
  HostItem(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
  HostItem(t, L"v", NA_IT_I4, 4);
  // query, browse item, direction, rows
  const struct {
    const wchar_t* query;
    const wchar_t* item;
    int forward;
    std::string want;
  } rows[] = {
      {L"SELECT id, v FROM nombres WHERE id > 3 LIMIT 4", L"v", 1, "20|80;19|81;18|82;17|83"},
      // A limited result is read forward: backward would take other rows.
      {L"SELECT id, v FROM nombres WHERE id > 3 LIMIT 4", L"v", 0, "20|80;19|81;18|82;17|83"},
      {L"SELECT id, v FROM nombres WHERE id > 3 ORDER BY id DESC LIMIT 3", L"v", 1, "20|80;19|81;18|82"},
      {L"SELECT id, v FROM nombres LIMIT 2", L"id", 1, "1|99;2|98"},
  };
  for (const auto& row : rows) {
    Opened* o = OpenQuery(row.query);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(Select(o, 0, row.item, row.forward), row.want) << m_sent;
  }
}

// A host query over one table is written through: INSERT, UPDATE and DELETE name the table and
// the columns the query's items come from, whatever the query calls them.
TEST_P(LiveStatements, QueryOverOneTableWritesItsSourceTable) {
  Create(T(), "(id INT PRIMARY KEY, v INT NULL, w VARCHAR(10) NULL)");
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, 10, 'a'), (2, 20, 'b'), (3, 30, 'c')");
  CHostRecordDescription* t = HostTable(L"nombres", T());
  HostItem(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
  HostItem(t, L"v", NA_IT_I4, 4);
  HostItem(t, L"w", NA_IT_TEXTE, 11);
  Opened* o = OpenQuery(L"SELECT id AS k, v AS value FROM nombres WHERE id > 1");
  ASSERT_NE(o, nullptr);
  const std::string all = "SELECT * FROM " + Q(T()) + " ORDER BY id";
  ASSERT_TRUE(Set(o, L"k", Int(4)) && Set(o, L"value", Int(40)));
  ASSERT_TRUE(Exec(o, NA_QUERY_INSERT)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(all), "1|10|a;2|20|b;3|30|c;4|40|NULL");
  ASSERT_TRUE(Read(o, "id = 3", T()));
  ASSERT_TRUE(Set(o, L"value", Int(33)));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(all), "1|10|a;2|20|b;3|33|c;4|40|NULL");
  ASSERT_TRUE(Read(o, "id = 2", T()));
  ASSERT_TRUE(Exec(o, NA_QUERY_DELETE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(all), "1|10|a;3|33|c;4|40|NULL");
}

// ---------------------------------------------------------------- Names

// Table and column names that need backquotes: a blank, a reserved word, an embedded backquote
// and accented letters; every text runs.
TEST_P(LiveStatements, NamesNeedingBackquotesWorkInEveryText) {
  const std::string table = T() + " a`b \xC3\xA9";
  Create(table, "(`order` INT PRIMARY KEY, `a b` VARCHAR(10), `c``d` INT, `\xC3\xA9t\xC3\xA9` INT NULL, "
                "KEY (`a b`, `c``d`))");
  Raw("INSERT INTO " + Q(table) + " VALUES (1, 'x', 10, 100), (2, 'y', 20, NULL)");
  Opened* o = Open(table);
  ASSERT_NE(o, nullptr);
  const std::string read = "SELECT `order`, `a b`, `c``d`, `\xC3\xA9t\xC3\xA9` FROM " + Q(table) + " ORDER BY `order`";
  ASSERT_TRUE(Set(o, L"order", Int(3)) && Set(o, L"a b", Wide(L"z\u00e9", ZV_DSTRW)) && Set(o, L"c`d", Int(30)) &&
              Set(o, L"\u00e9t\u00e9", Int(300)));
  ASSERT_TRUE(Exec(o, NA_QUERY_INSERT)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(read), "1|x|10|100;2|y|20|NULL;3|z\xC3\xA9|30|300");
  ASSERT_TRUE(Read(o, "`order` = 2"));
  ASSERT_TRUE(Set(o, L"\u00e9t\u00e9", Int(-2)) && Set(o, L"a b", Wide(L"w", ZV_DSTRW)));
  ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(read), "1|x|10|100;2|w|20|-2;3|z\xC3\xA9|30|300");
  ASSERT_TRUE(Read(o, "`order` = 1"));
  ASSERT_TRUE(Exec(o, NA_QUERY_DELETE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(read), "2|w|20|-2;3|z\xC3\xA9|30|300");
  long long n = -5;
  EXPECT_TRUE(o->st->bGetNbEnr(&n, 0, 0)) << Err();
  EXPECT_EQ(n, 2);
  for (const wchar_t* item : {L"order", L"a b", L"c`d", L"\u00e9t\u00e9"}) {
    CNACommand* c = Command(o);
    ASSERT_TRUE(o->st->bBuildQuerySELECT(c, NA_WPF_DISTINCT, item, 0, nullptr)) << Err();
    EXPECT_TRUE(o->st->bExecute(0, CNAStatement::NA_ST_NOPREPARE)) << Sent(c) << ": " << Err();
    o->st->ResetQuery();
  }
  ASSERT_TRUE(Exec(o, NA_QUERY_DELETEALL)) << m_sent << ": " << Err();
  EXPECT_EQ(Got(read), "");
  ASSERT_TRUE(Exec(o, NA_QUERY_DROPTABLE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                T() + " a`b \xC3\xA9'"),
            "0");
}

// The host's record puts its defined bits first: a UNICODE slot may start at an odd byte, and
// a text of the connection's code page read into it is stored there whole.
TEST_P(LiveStatements, CodePageTextReadIntoAnOddPlacedUnicodeSlotIsStoredWhole) {
  Create(T(), "(t VARCHAR(10) CHARACTER SET utf8mb4, n INT)");
  Raw("INSERT INTO " + Q(T()) + " VALUES ('a\xC3\xA9\xE2\x82\xAC z', 1)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  CNAColumn* t = o->Column(L"t");
  ASSERT_EQ(t->eNAGetItemType(), NA_IT_UNICODE);
  ASSERT_EQ(reinterpret_cast<uintptr_t>(t->pGetValuePtr()) % 2, 1u) << "the slot this test is about";
  ASSERT_TRUE(Read(o, "n = 1"));
  EXPECT_EQ(Value(o, L"t"), L"a\u00e9\u20ac z");
}

// ---------------------------------------------------------------- Counts

class LiveCounts : public LiveStatementBench {
 protected:
  LiveCounts() : LiveStatementBench("_cnt") {}
  void SetUp() override {
    LiveStatementBench::SetUp();
    if (HasFatalFailure()) return;
    Create(m_strTable, "(id INT PRIMARY KEY, v INT NULL)");
    CHostRecordDescription* t = HostTable(L"nombres", m_strTable);
    HostItem(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    HostItem(t, L"v", NA_IT_I4, 4);
    // The server's own name, for queries sent as written.
    t = HostTable(Wide(m_strTable).c_str(), m_strTable);
    HostItem(t, L"id", NA_IT_I4, 4, ParseBench::kPrimary, FALSE);
    HostItem(t, L"v", NA_IT_I4, 4);
  }
  // Rows 1 .. n, v = id but NULL for every tenth.
  void Fill(int n) {
    if (n > 0)
      Raw("INSERT INTO " + Q(m_strTable) + " SELECT seq, IF(seq % 10 = 0, NULL, seq) FROM seq_1_to_" +
          std::to_string(n));
  }
  // A filter of item (v as the query shows it) between min and max on the access's statement
  // (its condition).
  void Filter(Opened* o, int min, int max, const wchar_t* item = L"v") {
    INAItemDescription* v = o->desc->piNAGetItem(item);
    auto* filter = new CNAFilter(&m_error, o->access->pclGetConnectionNoRef());
    filter->AddRef();
    const CAny low = Int(min), high = Int(max);
    EXPECT_TRUE(filter->bSetFilter(o->Record(), v, &low, 1, &high, 1, nullptr, 0)) << Err();
    filter->Activate();
    o->st->_SetFilter(filter);
    filter->nRelease();
    v->nExternalRelease();
  }
  // The COUNT text of the statement run for its value; -1 when it fails.
  long long Count(Opened* o, int withoutCondition = 0) {
    CNACommand* c = Command(o);
    if (!static_cast<CTestStatement*>(o->st)->_bBuildQueryCOUNT(c, 0, withoutCondition)) return -2;
    m_sent = Sent(c);
    CAny value;
    long long n = -1;
    if (!o->st->bGetRequestedValue(&value) || value.__nCastTo(ZV_I8, nullptr, 0) != 0 || value.nGetINT_64(&n) != 0)
      return -1;
    return n;
  }
  static bool Stored(Opened* o) {
    return dynamic_cast<CMySQLStatementSQL*>(o->st->pclGetStatementSQLNoRef())->bGetStoreResult() == 1;
  }
};

TEST_P(LiveCounts, TablesAndQueriesAreCountedWithAndWithoutTheirCondition) {
  for (int rows : {0, 1000}) {
    Raw("DELETE FROM " + Q(m_strTable));
    Fill(rows);
    const auto upTo = [&](int n) { return std::min(n, rows); };
    // The table, and the host query, by the COUNT text: with the condition, and told to leave it.
    const struct {
      Opened* o;
      int filter;
      int withoutCondition;
      long long want;
      const wchar_t* item = L"v";  // the filtered column as the query shows it
    } counts[] = {
        {Open(m_strTable), 0, 0, rows},
        {Open(m_strTable), 35, 0, upTo(35) - upTo(35) / 10},
        {Open(m_strTable), 35, 1, rows},
        {OpenQuery(L"SELECT id, v FROM nombres"), 0, 0, rows},
        {OpenQuery(L"SELECT id, v FROM nombres WHERE id > 500"), 0, 0, std::max(0, rows - 500)},
        {OpenQuery(L"SELECT id, v FROM nombres"), 35, 0, upTo(35) - upTo(35) / 10},
        {OpenQuery(L"SELECT id, v FROM nombres WHERE id > 20"), 35, 0, rows > 0 ? 14 : 0},
        {OpenQuery(L"SELECT id, v FROM nombres WHERE id > 20"), 35, 1, std::max(0, rows - 20)},
        // Behind the query made a derived table, the column has the name the query shows.
        {OpenQuery(L"SELECT id, v AS w FROM nombres"), 35, 0, upTo(35) - upTo(35) / 10, L"w"},
    };
    for (const auto& row : counts) {
      ASSERT_NE(row.o, nullptr);
      if (row.filter > 0) Filter(row.o, 1, row.filter, row.item);
      EXPECT_EQ(Count(row.o, row.withoutCondition), row.want) << rows << ": " << m_sent << ": " << Err();
      // And through the statement's own count: a table by the same text.
      if (row.o->access->pclGetSourceQueryNoRef() != nullptr) continue;
      long long n = -5;
      EXPECT_TRUE(row.o->st->bGetNbEnr(&n, 0, row.withoutCondition)) << Err();
      EXPECT_EQ(n, row.want);
      EXPECT_EQ(row.o->access->m_nSelects, 0) << "a table is counted by COUNT(*), never by reading its rows";
    }
  }
}

// A host query the driver rewrites is counted by streaming its browse SELECT: every row, however
// the browse limits its reads, and the statement is back in stored mode afterwards.
TEST_P(LiveCounts, QueriesAreCountedByReadingEveryRowOfTheirBrowse) {
  CMySQLConnection* limited = Connection("QX Cache Size=15");
  ASSERT_EQ(limited->llGetCacheSize(), 15);
  for (int rows : {0, 1, 1000}) {
    Raw("DELETE FROM " + Q(m_strTable));
    Fill(rows);
    // access's connection, query flags (4: sent as written), rows counted
    const struct {
      CNAConnectionDescription* cnx;
      unsigned int flags;
    } cases[] = {{m_pCnx.get(), 0}, {limited, 0}, {m_pCnx.get(), 4}, {limited, 4}};
    for (const auto& c : cases) {
      Opened* o = OpenQuery(c.flags == 4 ? L"SELECT id, v FROM " + Wide(m_strTable) : L"SELECT id, v FROM nombres",
                            c.flags, c.cnx);
      ASSERT_NE(o, nullptr);
      long long n = -5;
      EXPECT_TRUE(o->st->bGetNbEnr(&n, 0, 0)) << Err();
      EXPECT_EQ(n, rows) << "cache size " << c.cnx->llGetCacheSize() << ", flags " << c.flags;
      EXPECT_TRUE(Stored(o));
    }
  }
}

// The client's rows, cut after ten by a lost connection.
int g_nRowsLeft = 0;
bool g_bLost = false;
MYSQL_ROW (*g_pRealFetchRow)(MYSQL_RES*) = nullptr;
unsigned int (*g_pRealErrno)(MYSQL*) = nullptr;
const char* (*g_pRealError)(MYSQL*) = nullptr;
MYSQL_ROW FetchRowThenLose(MYSQL_RES* result) {
  if (g_nRowsLeft-- > 0) return g_pRealFetchRow(result);
  g_bLost = true;
  return nullptr;
}
unsigned int LostErrno(MYSQL* h) { return g_bLost ? 2013 : g_pRealErrno(h); }
const char* LostError(MYSQL* h) { return g_bLost ? "Lost connection to server during query" : g_pRealError(h); }

TEST_P(LiveCounts, ConnectionLostWhileCountingIsNoCount) {
  Fill(100);
  Opened* o = OpenQuery(L"SELECT id, v FROM nombres");
  ASSERT_NE(o, nullptr);
  g_pRealFetchRow = __mysql_fetch_row;
  g_pRealErrno = __mysql_errno;
  g_pRealError = __mysql_error;
  g_nRowsLeft = 10;
  g_bLost = false;
  __mysql_fetch_row = FetchRowThenLose;
  __mysql_errno = LostErrno;
  __mysql_error = LostError;
  long long n = -5;
  const BOOL counted = o->st->bGetNbEnr(&n, 0, 0);
  __mysql_fetch_row = g_pRealFetchRow;
  __mysql_errno = g_pRealErrno;
  __mysql_error = g_pRealError;
  g_bLost = false;
  EXPECT_FALSE(counted);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 2013u);
  EXPECT_TRUE(Stored(o));
  m_error.Reset();
  // The connection serves the next count.
  EXPECT_TRUE(o->st->bGetNbEnr(&n, 0, 0)) << Err();
  EXPECT_EQ(n, 100);
}

// The count's rows, with the driver's session killed from the raw one after the tenth.
RawConnection* g_pKiller = nullptr;
std::string g_strKilled;
MYSQL_ROW FetchRowThenKill(MYSQL_RES* result) {
  if (g_nRowsLeft-- == 0) g_pKiller->exec("KILL " + g_strKilled, nullptr);
  return g_pRealFetchRow(result);
}

TEST_P(LiveCounts, CountCutByAKillFailsAndTheStatementAfterItReopens) {
  // Two million rows of the server's sequence: far more than the socket holds when the KILL comes.
  CHostRecordDescription* t = HostTable(L"suite", "seq_1_to_2000000");
  HostItem(t, L"seq", NA_IT_I8, 8, ParseBench::kPrimary, FALSE);
  Opened* o = OpenQuery(L"SELECT seq FROM suite");
  ASSERT_NE(o, nullptr);
  const std::string session = Rows("SELECT CONNECTION_ID()");
  g_pRealFetchRow = __mysql_fetch_row;
  g_pKiller = &m_raw;
  g_strKilled = session;
  g_nRowsLeft = 10;
  __mysql_fetch_row = FetchRowThenKill;
  long long n = -5;
  const BOOL counted = o->st->bGetNbEnr(&n, 0, 0);
  __mysql_fetch_row = g_pRealFetchRow;
  EXPECT_FALSE(counted);
  EXPECT_EQ(n, -1);
  EXPECT_TRUE(Stored(o));
  // The next count meets the dead session and reopens it; the one after counts.
  m_error.Reset();
  EXPECT_FALSE(o->st->bGetNbEnr(&n, 0, 0));
  const unsigned int code = m_error.dwGetDataBaseErrorCode();
  EXPECT_TRUE(code == 2006 || code == 2013) << code;
  m_error.Reset();
  EXPECT_TRUE(o->st->bGetNbEnr(&n, 0, 0)) << Err();
  EXPECT_EQ(n, 2000000);
  EXPECT_NE(Rows("SELECT CONNECTION_ID()"), session);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveCounts,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveStatements,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
