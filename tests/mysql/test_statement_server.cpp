// Statements of a data access against the private server, in both code pages and SQL modes:
// every text a statement builds (CREATE, INSERT, UPDATE, DELETE, DELETE of all rows, DROP, SELECT
// and COUNT, over a table or a host query) runs on the server, and its effect is read back
// through the second connection.
#include <cstring>
#include <optional>

#include "tests/mysql/statement_bench.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
  return out;
}

std::string Utf8(const std::wstring& w) {
  std::string out;
  for (wchar_t c : w) {
    const auto u = static_cast<uint32_t>(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += {static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))};
    } else if (u < 0x10000) {
      out += {static_cast<char>(0xE0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
              static_cast<char>(0x80 | (u & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | (u >> 18)), static_cast<char>(0x80 | ((u >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((u >> 6) & 0x3F)), static_cast<char>(0x80 | (u & 0x3F))};
    }
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

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveStatements,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
