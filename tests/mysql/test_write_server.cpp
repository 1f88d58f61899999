// Adding, modifying and deleting through the MySQL data access on live tables whose names need
// backquotes: the row the server holds is the record the host built (read back raw through HEX);
// every refused write leaves the table, the host's record, its original value and its save as
// they were, and names the item the host tests for; a record someone else deleted is written
// back; news of a write reach the statements only as the notification flags say.
#include <set>

#include "tests/mysql/browse_bench.h"

namespace {

enum : unsigned short { kPrimary = 0x8000, kUnique = 0x4000 };
const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

// A statement counting the news of writes it receives.
class CCountingStatement final : public CMySQLStatement {
 public:
  CCountingStatement(CNADataAccess* access, CNAError* error, int* count)
      : CMySQLStatement(access, error), m_pCount(count) {}
  void OnNotifyOperation(eNAQUERYTYPE, int, CNAStatement*, NA_WRITEPARSEFLAGS, CNARecordValue*) override {
    ++*m_pCount;
  }

 private:
  int* m_pCount;
};

// An access whose statements count news, which can be refused new statements, and whose memo
// fetch can fail.
class CWriteAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error) override {
    if (m_bNoStatement) return nullptr;
    return new (std::nothrow) CCountingStatement(access, error, &m_nNews);
  }
  BOOL bGetBLOB(unsigned int memo, CAny* value) override {
    if (!m_bBlobFails) return CMySQLDataAccess::bGetBLOB(memo, value);
    CNAError::g_RaiseNoMemory(pclGetErrorNoRef(), pclGetConnectionNoRef());
    return FALSE;
  }
  bool m_bNoStatement = false;
  bool m_bBlobFails = false;
  int m_nNews = 0;
};

class LiveWrite : public LiveBrowse {
 protected:
  // (id INT PRIMARY KEY, t VARCHAR(40), u VARCHAR(6) UNIQUE case-insensitive, n SMALLINT NOT NULL,
  // m TEXT, (t, n) unique together), opened on a new connection.
  CWriteAccess* OpenTable() {
    m_table = Name(L"qx wr`ite ");
    Raw("CREATE TABLE " + Quoted(m_table) +
        " (id INT PRIMARY KEY, t VARCHAR(40) CHARACTER SET utf8mb4 NULL,"
        " u VARCHAR(6) CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci NULL UNIQUE, n SMALLINT NOT NULL, m TEXT NULL,"
        " UNIQUE KEY tn (t, n))");
    Raw("INSERT INTO " + Quoted(m_table) + " VALUES (1, 'one', 'abc', 10, 'memo one'), (2, NULL, NULL, 20, NULL)");
    CHostRecordDescription* desc = Description(m_table);
    const eNA_ITEMTYPE text = Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE;
    Item(desc, L"id", NA_IT_I4, 4, kPrimary)->m_bNullAllowed = FALSE;
    Item(desc, L"t", text, Unicode() ? 82 : 41);
    Item(desc, L"u", text, Unicode() ? 40 : 20, kUnique);
    Item(desc, L"n", NA_IT_I4, 4)->m_bNullAllowed = FALSE;
    Item(desc, L"m", Unicode() ? NA_IT_MEMOUNICODE : NA_IT_MEMOTEXTE, 0);
    auto* a = new CWriteAccess(desc, Connect(nullptr), &m_error);
    a->AddRef();
    m_accesses.push_back(a);
    EXPECT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
    m_error.Reset();
    return a;
  }
  // The record's column takes cell (a number for id and n).
  static void Set(CNADataAccess* a, const wchar_t* name, const Cell& cell) {
    CNAColumn* c = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(name);
    ASSERT_NE(c, nullptr);
    if (!cell) {
      ASSERT_TRUE(c->bSetValueNULL());
      return;
    }
    const bool number = std::wstring(name) == L"id" || std::wstring(name) == L"n";
    const CAny v = FromText(number ? ZV_I4 : ZV_DSTRW, cell->c_str());
    ASSERT_TRUE(c->bSetValue(&v, 0)) << Utf8(name);
  }
  void SetRow(CNADataAccess* a, const std::vector<Cell>& row) {
    const wchar_t* names[] = {L"id", L"t", L"u", L"n"};
    for (size_t i = 0; i < row.size(); ++i) Set(a, names[i], row[i]);
  }
  // The table as the server holds it, every value in hexadecimal, ordered by id.
  std::string Dump() {
    ::RawRows rows;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT id, HEX(t), HEX(u), n, HEX(m) FROM " + Quoted(m_table) + " ORDER BY id", &rows,
                            &err))
        << err;
    std::string s;
    for (const auto& r : rows) {
      for (const auto& c : r) s += (c ? *c : std::string("NULL")) + "|";
      s += "\n";
    }
    return s;
  }
  static std::string Hex(const std::wstring& w) {
    std::string h;
    for (unsigned char ch : Utf8(w)) {
      static const char* const d = "0123456789ABCDEF";
      h += d[ch >> 4];
      h += d[ch & 15];
    }
    return h;
  }
  const std::vector<const wchar_t*> m_columns = {L"id", L"t", L"u", L"n"};
  std::wstring m_table;
};

// An add checks the record before it writes it: a value equivalent to NULL (a date-time of zero
// bytes marked defined) goes as NULL and leaves its item undefined, next to a defined one.
TEST_P(LiveWrite, AddWritesAValueEquivalentToNullAsNullAndLeavesItUndefined) {
  const std::wstring table = Name(L"qx null`eq ");
  Raw("CREATE TABLE " + Quoted(table) + " (id INT PRIMARY KEY, d DATETIME NULL, e DATETIME NULL)");
  CHostRecordDescription* desc = Description(table);
  Item(desc, L"id", NA_IT_I4, 4, kPrimary)->m_bNullAllowed = FALSE;
  CHostItemDescription* d = Item(desc, L"d", NA_IT_DATETIME, 8);
  CHostItemDescription* e = Item(desc, L"e", NA_IT_DATETIME, 8);
  auto* a = new CWriteAccess(desc, Connect(nullptr), &m_error);
  a->AddRef();
  m_accesses.push_back(a);
  ASSERT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
  CNARecord* record = a->pclGetCurrentRecordNoRef();
  CNAKJRecord* kj = record->pclGetNAKJRecord();
  ASSERT_NE(kj, nullptr);
  Set(a, L"id", std::wstring(L"1"));
  const unsigned char zero[8] = {};
  const CAny when = FromText(ZV_DATETIME, L"20240229123456789");
  ASSERT_TRUE(record->pclGetColumnNoRef(L"e")->bSetValue(&when, 0));
  CNAColumn* column = record->pclGetColumnNoRef(L"d");
  kj->vSetItemValue(column->piGetItemNoRef(), zero, sizeof zero, 0);
  kj->SetItemValueDefined(column->piGetItemNoRef(), TRUE, 0);
  ASSERT_TRUE(a->bHAjoute(0, kNoLock)) << Utf8(m_error.pszGetError());
  ::RawRows rows;
  std::string err;
  ASSERT_TRUE(m_raw.query("SELECT id, d, e FROM " + Quoted(table), &rows, &err)) << err;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(rows[0][1].has_value());
  EXPECT_EQ(rows[0][2].value_or("NULL"), "2024-02-29 12:34:56");
  EXPECT_FALSE(kj->vbItemValueDefined(d, 0));
  EXPECT_TRUE(kj->vbItemValueDefined(e, 0));
}

TEST_P(LiveWrite, AddModifyDeleteWriteExactlyTheRecordBuilt) {
  CWriteAccess* a = OpenTable();
  std::vector<std::wstring> texts = {L"it's", L"back\\slash\\", L"cr\rlf\n", L"'\\'\\\\''", L""};
  if (Unicode()) texts.push_back(L"\U0001F600 \u00e9\u4e2d");
  int id = 100;
  for (const std::wstring& t : texts) {
    SCOPED_TRACE(Hex(t));
    const std::string key = std::to_string(++id);
    SetRow(a, {std::to_wstring(id), t, std::nullopt, L"7"});
    ASSERT_TRUE(a->bHAjoute(0, kNoLock)) << Utf8(m_error.pszGetError());
    ::RawRows rows;
    std::string err;
    ASSERT_TRUE(m_raw.query("SELECT HEX(t), n FROM " + Quoted(m_table) + " WHERE id=" + key, &rows, &err)) << err;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].value_or("NULL"), Hex(t));
    // The modify sends the text backwards, at record number 0 from the save the add holds.
    const std::wstring back(t.rbegin(), t.rend());
    if (!Unicode() || back == t || t.find(L'\U0001F600') == std::wstring::npos) {
      Set(a, L"t", back);
      ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
      ASSERT_TRUE(m_raw.query("SELECT HEX(t) FROM " + Quoted(m_table) + " WHERE id=" + key, &rows, &err)) << err;
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(rows[0][0].value_or("NULL"), Hex(back));
    }
    ASSERT_TRUE(a->bHSupprime(0, kNoLock)) << Utf8(m_error.pszGetError());
    ASSERT_TRUE(m_raw.query("SELECT id FROM " + Quoted(m_table) + " WHERE id=" + key, &rows, &err)) << err;
    EXPECT_TRUE(rows.empty());
    unsigned int state = 0;
    ASSERT_TRUE(a->bGetRecNumState(0, &state));
    EXPECT_EQ(state, 128u);
  }
}

// Each refused write: the server's error kind (duplicate 3, missing value 8 with the item named,
// else 0 with the server's code), and nothing changed: the table, the host's values, the
// original value and the save.
TEST_P(LiveWrite, RefusedWritesLeaveTableRecordAndSaveAsTheyWere) {
  CWriteAccess* a = OpenTable();
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
  // record 1 read: 'one', 'abc', 10
  const struct {
    const char* what;
    bool insert;
    std::vector<Cell> row;  // id, t, u, n
    int kind;
    const wchar_t* item;
    unsigned int server;
  } cases[] = {
      {"duplicate unique on add", true, {L"50", L"x", L"abc", L"1"}, 3, L"u", 1062},
      {"duplicate by case only on add", true, {L"51", L"x", L"ABC", L"1"}, 3, L"u", 1062},
      {"duplicate primary on add", true, {L"2", L"x", L"zz", L"1"}, 3, L"id", 1062},
      {"NULL into NOT NULL on add", true, {L"52", L"x", L"q", std::nullopt}, 8, L"n", 1048},
      {"text too long for the column", true, {L"53", L"x", L"abcdefgh", L"1"}, 0, nullptr, 1406},
      {"number past the column's type", true, {L"54", L"x", L"q", L"70000"}, 0, nullptr, 1264},
      {"duplicate on a composite key", true, {L"55", L"one", L"q", L"10"}, 3, nullptr, 1062},
      {"modify onto another row's key", false, {L"2", L"one", L"abc", L"10"}, 3, L"id", 1062},
      {"NULL into NOT NULL on modify", false, {L"1", L"one", L"abc", std::nullopt}, 8, L"n", 1048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = Dump();
    const int save = a->nGetRecordSaveID();
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    CNARecordValue* original = record->pclGetOriginalValueNoRef()->pclGetClone(-1);
    ASSERT_NE(original, nullptr);
    original->AddRef();
    SetRow(a, c.row);
    const std::vector<Cell> built = Values(a, m_columns);
    m_error.Reset();
    const BOOL ok = c.insert ? a->bHAjoute(0, kNoLock) : a->bHModifie(0, 0, kNoLock);
    EXPECT_FALSE(ok);
    EXPECT_EQ(static_cast<int>(m_error.eGetErrorType()), c.kind) << Utf8(m_error.pszGetError());
    EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), c.server);
    if (c.item != nullptr) {
      ASSERT_NE(m_error.pszGetItemName(), nullptr) << Sent();
      EXPECT_EQ(std::wstring(m_error.pszGetItemName()), c.item) << Sent();
    } else {
      EXPECT_EQ(m_error.pszGetItemName(), nullptr) << Utf8(m_error.pszGetItemName());
    }
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(Text(Values(a, m_columns)), Text(built));
    EXPECT_EQ(a->nGetRecordSaveID(), save);
    EXPECT_TRUE(record->pclGetOriginalValueNoRef()->bEquals(original, 1));
    // The record is the row read again for the next case.
    ASSERT_TRUE(record->pclGetCurrentValueNoRef()->bCopyRecordValue(original, NA_COPY_ALL));
    record->OnNAKJRecordChanged();
    original->nRelease();
    // The browse still stands on the row read: next is the second row, previous the first again.
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Text(Values(a, {L"id", L"n"})), "2|20");
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(Text(Values(a, m_columns)), "1|one|abc|10");
  }
  // The names the error holds are host strings.
  m_error.Reset();
}

// A modify sends the columns the host changed and no other: a column another connection changed
// since the read keeps that connection's value.
TEST_P(LiveWrite, ModifySendsOnlyTheModifiedColumns) {
  CWriteAccess* a = OpenTable();
  const struct {
    const char* what;
    std::vector<std::pair<const wchar_t*, const wchar_t*>> set;
    std::string other;  // the second connection's change after the read
    std::string row;    // id, t, u, n afterwards
    std::string sent;   // the SET list sent
  } cases[] = {
      {"text", {{L"t", L"mine"}}, "u = 'oth', n = 31", "1|mine|oth|31", "SET `t` = 'mine' "},
      {"two numbers and text", {{L"u", L"me"}, {L"n", L"32"}}, "t = 'theirs'", "1|theirs|me|32",
       "SET `u` = 'me' , `n` = 32 "},
      {"nothing", {}, "n = 33", "1|theirs|me|33", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
    Raw("UPDATE " + Quoted(m_table) + " SET " + c.other + " WHERE id = 1");
    for (const auto& [name, value] : c.set) Set(a, name, std::wstring(value));
    ClientCounts::Reset();
    ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
    const auto update = std::find_if(ClientCounts::tabSent.begin(), ClientCounts::tabSent.end(),
                                     [](const std::string& t) { return t.rfind("UPDATE", 0) == 0; });
    if (c.sent.empty()) {
      EXPECT_EQ(update, ClientCounts::tabSent.end()) << Sent();
    } else {
      ASSERT_NE(update, ClientCounts::tabSent.end()) << Sent();
      EXPECT_NE(update->find(c.sent), std::string::npos) << *update;
    }
    EXPECT_EQ(LiveConnection::Rows("SELECT CONCAT_WS('|', id, t, u, n) FROM " + Quoted(m_table) + " WHERE id = 1", true),
              c.row);
  }
}

// The bytes of a binary value (empty for none).
std::string BytesOf(const CAny& v) {
  void* p = nullptr;
  unsigned int n = 0;
  v.Intern()->nGetDataAdr(&p);
  v.Intern()->nGetUtilDataSize(&n);
  return p != nullptr ? std::string(static_cast<const char*>(p), n) : std::string();
}

// A table the driver creates: a 4 MiB binary memo of every byte value (NUL, quote, backslash
// included) and BMP text on its ucs2 column reach the server whole and come back equal.
TEST_P(LiveWrite, FourMebibyteBinaryMemoAndUcs2TextGoThroughWhole) {
  const std::wstring table = Name(L"qx m`emo ");
  CHostRecordDescription* desc = Description(table);
  Item(desc, L"id", NA_IT_I4, 4, kPrimary)->m_bNullAllowed = FALSE;
  Item(desc, L"b", NA_IT_MEMOBINAIRE, 8);
  Item(desc, L"w", NA_IT_UNICODE, 42);
  auto* a = new CWriteAccess(desc, Connect(nullptr), &m_error);
  a->AddRef();
  m_accesses.push_back(a);
  ASSERT_TRUE(a->bHCreation(nullptr, 1)) << Utf8(m_error.pszGetError());
  std::string literal;
  for (char c : Utf8(table)) literal += c == '\'' ? std::string("''") : std::string(1, c);
  EXPECT_EQ(LiveConnection::Rows("SELECT CHARACTER_SET_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                 "DATABASE() AND COLUMN_NAME = 'w' AND TABLE_NAME = '" + literal + "'", true),
            "ucs2");
  std::string bytes(4u << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  CAny memo;
  memo.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
  // A 1252 connection carries the characters of its code page only.
  const std::wstring text = Unicode() ? L"\u00e9'\\\u4e2d\u20ac\uffef\u0100 \"" : L"\u00e9'\\\u20ac\u0178 \"";
  CNARecord* record = a->pclGetCurrentRecordNoRef();
  const CAny id = FromText(ZV_I4, L"1"), w = FromText(ZV_DSTRW, text.c_str());
  ASSERT_TRUE(record->pclGetColumnNoRef(L"id")->bSetValue(&id, 0));
  ASSERT_TRUE(record->pclGetColumnNoRef(L"w")->bSetValue(&w, 0));
  ASSERT_TRUE(a->bSetBLOB(0, &memo)) << Utf8(m_error.pszGetError());
  record->pclGetColumnNoRef(L"b")->_SetItemValueDefinedInKJRecord(TRUE, 0);
  ASSERT_TRUE(a->bHAjoute(0, kNoLock)) << Utf8(m_error.pszGetError());
  ::RawRows rows;
  std::string err;
  ASSERT_TRUE(m_raw.query("SELECT b, HEX(w) FROM " + Quoted(table), &rows, &err)) << err;
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(rows[0][0].has_value());
  EXPECT_EQ(rows[0][0]->size(), bytes.size());
  EXPECT_TRUE(*rows[0][0] == bytes);
  std::string ucs2;
  for (wchar_t c : text) {
    static const char* const d = "0123456789ABCDEF";
    for (int shift : {12, 8, 4, 0}) ucs2 += d[(static_cast<unsigned int>(c) >> shift) & 15];
  }
  EXPECT_EQ(rows[0][1].value_or("NULL"), ucs2);
  // Read back by the driver.
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
  CAny back;
  ASSERT_TRUE(a->bGetBLOB(0, &back)) << Utf8(m_error.pszGetError());
  EXPECT_TRUE(BytesOf(back) == bytes) << BytesOf(back).size();
  CAny wBack;
  ASSERT_TRUE(record->pclGetColumnNoRef(L"w")->bGetCurrentValue(&wBack, 0));
  EXPECT_EQ(Show(wBack), text);
}

// A failed memo fetch used to store the row with its memo NULL and report success.
TEST_P(LiveWrite, AddWhoseMemoCannotBeFetchedSendsNothing) {
  CWriteAccess* a = OpenTable();
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
  Set(a, L"id", L"60");
  Set(a, L"u", L"new");
  a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"m")->SetValueIsUnreadYet();
  a->m_bBlobFails = true;
  const std::string before = Dump();
  ClientCounts::Reset();
  EXPECT_FALSE(a->bHAjoute(0, kNoLock));
  EXPECT_EQ(ClientCounts::nQueries, 0) << Sent();
  EXPECT_EQ(Dump(), before);
}

// Without a unique key the WHERE of the row read compared its sorted columns only, leaving its
// memos out, and nothing limited the statement: one delete or modify reached the row's twins.
TEST_P(LiveWrite, WritesOfARowReadWithoutUniqueKeyReachThatRowOnly) {
  const eNA_ITEMTYPE memo = Unicode() ? NA_IT_MEMOUNICODE : NA_IT_MEMOTEXTE;
  const eNA_ITEMTYPE text = Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE;
  struct Case {
    const char* column;  // the second column's SQL type
    const char* rows;
    bool memo;
  } cases[] = {
      {"TEXT", "(1,'first'),(1,'second'),(2,'third')", true},
      {"TEXT", "(1,NULL),(1,'second'),(1,''),(2,NULL)", true},
      {"TEXT", "(1,'same'),(1,'same'),(1,'SAME ')", true},
      {"VARCHAR(10)", "(1,'x'),(1,'x'),(2,'y')", false},
      {"VARCHAR(10)", "(1,NULL),(1,NULL),(2,'y')", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    for (bool modify : {false, true}) {
      SCOPED_TRACE(std::string(c.rows) + (modify ? " modify" : " delete"));
      const std::wstring table = Name(L"qx no`key " + std::to_wstring(++n) + L" ");
      Raw("CREATE TABLE " + Quoted(table) + " (a INT NULL, m " + c.column + " CHARACTER SET utf8mb4 NULL)");
      Raw("INSERT INTO " + Quoted(table) + " VALUES " + c.rows);
      auto dump = [&] {
        ::RawRows rows;
        std::string err;
        EXPECT_TRUE(m_raw.query("SELECT a, HEX(m) FROM " + Quoted(table), &rows, &err)) << err;
        std::multiset<std::string> out;
        for (const auto& r : rows) out.insert(r[0].value_or("NULL") + "|" + r[1].value_or("NULL"));
        return out;
      };
      std::multiset<std::string> expected = dump();
      CHostRecordDescription* desc = Description(table);
      Item(desc, L"a", NA_IT_I4, 4, 0x2000);
      Item(desc, L"m", c.memo ? memo : text, c.memo ? 0 : (Unicode() ? 22 : 11));
      auto* a = new CWriteAccess(desc, Connect(nullptr), &m_error);
      a->AddRef();
      m_accesses.push_back(a);
      ASSERT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
      ASSERT_TRUE(a->bHLitxxx(L"a", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
      const std::vector<Cell> read = Values(a, {L"a", L"m"});
      const std::string row = Text({read[0]}) + "|" + (read[1] ? Hex(*read[1]) : std::string("NULL"));
      ASSERT_NE(expected.find(row), expected.end()) << row;
      expected.erase(expected.find(row));
      ClientCounts::tabSent.clear();
      if (modify) {
        const CAny changed = FromText(ZV_DSTRW, L"changed");
        if (c.memo)
          ASSERT_TRUE(a->bSetBLOB(0, &changed));
        else
          Set(a, L"m", std::wstring(L"changed"));
        ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
        expected.insert(Text({read[0]}) + "|" + Hex(L"changed"));
      } else {
        ASSERT_TRUE(a->bHSupprime(0, kNoLock)) << Utf8(m_error.pszGetError());
      }
      EXPECT_EQ(dump(), expected) << Sent();
      const std::string& write = ClientCounts::tabSent.empty() ? std::string() : ClientCounts::tabSent.back();
      EXPECT_TRUE(write.size() > 8 && write.compare(write.size() - 8, 8, " LIMIT 1") == 0) << write;
    }
  }
}

// Without a statement nothing is deleted: the answer used to be TRUE with the record marked.
TEST_P(LiveWrite, DeleteWithoutAStatementFailsAndLeavesTheRecordUnmarked) {
  CWriteAccess* a = OpenTable();
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
  a->bFreeCache();
  a->_Close();
  a->m_bNoStatement = true;
  const std::string before = Dump();
  EXPECT_FALSE(a->bHSupprime(0, kNoLock));
  unsigned int state = 0;
  ASSERT_TRUE(a->bGetRecNumState(0, &state));
  EXPECT_EQ(state, 0u);
  EXPECT_EQ(Dump(), before);
}

// An add with 0x40 holds no save; one without holds the row added, which a modify at record
// number 0 finds its row by. A row another connection deleted is written back by the modify; a
// delete with no save held finds the row by the original value.
TEST_P(LiveWrite, SavesOfAddsAndRowsDeletedBehindTheRecord) {
  CWriteAccess* a = OpenTable();
  for (const NA_WRITEPARSEFLAGS flags : {NA_WRITEPARSEFLAGS{0x40}, NA_WRITEPARSEFLAGS{0}}) {
    const std::wstring id = flags != 0 ? L"70" : L"71";
    SetRow(a, {id, L"added", std::nullopt, flags != 0 ? L"1" : L"2"});
    ASSERT_TRUE(a->bHAjoute(flags, kNoLock)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(a->nGetRecordSaveID() == -1, flags != 0);
    Set(a, L"t", L"modified");
    ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(a->nGetRecordSaveID(), -1);
  }
  EXPECT_NE(Dump().find("71|" + Hex(L"modified")), std::string::npos) << Dump();
  // Deleted behind the record, marked by the read, written back by the modify.
  Raw("DELETE FROM " + Quoted(m_table) + " WHERE id=71");
  ASSERT_TRUE(a->bHLit(0, kNoLock, nullptr)) << Utf8(m_error.pszGetError());
  unsigned int state = 0;
  ASSERT_TRUE(a->bGetRecNumState(0, &state));
  ASSERT_EQ(state, 128u);
  Set(a, L"t", L"again");
  ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
  EXPECT_NE(Dump().find("71|" + Hex(L"again")), std::string::npos) << Dump();
  ASSERT_EQ(a->nGetRecordSaveID(), -1);
  ASSERT_TRUE(a->bHSupprime(0, kNoLock)) << Utf8(m_error.pszGetError());
  EXPECT_EQ(Dump().find("71|"), std::string::npos) << Dump();
}

// A row another connection holds locked: the modify waits, then is refused as a lock wait
// (kind 2) and the row keeps what it held.
TEST_P(LiveWrite, ModifyOfALockedRowIsALockWaitAndChangesNothing) {
  CWriteAccess* a = OpenTable();
  ASSERT_TRUE(a->pclGetConnectionNoRef()->bExecuteQueryNoResult(&m_error, L"SET SESSION innodb_lock_wait_timeout = 1"));
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
  const std::string before = Dump();
  Raw("BEGIN");
  Raw("SELECT * FROM " + Quoted(m_table) + " WHERE id = 1 FOR UPDATE");
  Set(a, L"t", L"locked");
  m_error.Reset();
  EXPECT_FALSE(a->bHModifie(0, 0, kNoLock));
  EXPECT_EQ(m_error.dwGetDataBaseErrorCode(), 1205u) << Utf8(m_error.pszGetError());
  EXPECT_EQ(static_cast<int>(a->eGetNAErrorType()), 2);
  Raw("ROLLBACK");
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(Text(Values(a, {L"t"})), "locked");
}

// A record the host itself deleted is marked so: modifying it writes it back, as the row's
// UPDATE finds nothing, whether or not the host changed a value (with none changed there is no
// UPDATE to send, and the row was still to be written back).
TEST_P(LiveWrite, ModifyOfARecordTheHostDeletedWritesItBack) {
  CWriteAccess* a = OpenTable();
  // Each row starts a line.
  const std::string before = "\n" + Dump();
  for (const bool changed : {true, false}) {
    SCOPED_TRACE(changed ? "a value changed" : "nothing changed");
    const std::string row = changed ? "\n1|" : "\n2|";
    ASSERT_TRUE(a->bHLitxxx(L"id", changed ? NA_PARSE_FIRST : NA_PARSE_NEXT, 1, kNoLock, nullptr, 0))
        << Utf8(m_error.pszGetError());
    ASSERT_TRUE(a->bHSupprime(0, kNoLock)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(("\n" + Dump()).find(row), std::string::npos) << Dump();
    if (changed) Set(a, L"t", L"back");
    ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
    const std::string after = "\n" + Dump();
    // The row back as the host wrote it, or as it was.
    const std::string back =
        changed ? "\n1|" + Hex(L"back") + "|" + Hex(L"abc") + "|10|" : before.substr(before.find(row));
    EXPECT_NE(after.find(back), std::string::npos) << after;
    unsigned int state = 1;
    ASSERT_TRUE(a->bGetRecNumState(0, &state));
    EXPECT_EQ(state, 0u);
  }
}

// News of a write: none with flags 2; with flags 0 and no table cache none either; with 1 every
// statement hears of it.
TEST_P(LiveWrite, NotificationFlagsDecideWhoHearsOfAWrite) {
  CWriteAccess* a = OpenTable();
  ASSERT_TRUE(a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << Utf8(m_error.pszGetError());
  a->bFreeCache();
  const struct {
    int flags;
    bool heard;
  } cases[] = {{2, false}, {0, false}, {1, true}, {3, false}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    a->SetNotifyFlags(c.flags);
    a->m_nNews = 0;
    Set(a, L"n", std::to_wstring(++n));
    ASSERT_TRUE(a->bHModifie(0, 0, kNoLock)) << Utf8(m_error.pszGetError());
    if (c.heard)
      EXPECT_EQ(a->m_nNews, a->nGetStatementCount());
    else
      EXPECT_EQ(a->m_nNews, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveWrite,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace

namespace {

// Memo numbers past the description's memos used to reach a null item; each memo operation
// refuses them with user error 26 and sends nothing.
TEST_P(LiveWrite, MemoNumbersPastTheMemosAreRefusedWithError26) {
  CWriteAccess* a = OpenTable();
  const std::string path = "/tmp/qx memo " + std::to_string(getpid());
  const std::wstring wpath = Wide(path);
  const std::function<BOOL(unsigned int)> ops[] = {
      [&](unsigned int n) {
        CAny v;
        return a->bGetBLOB(n, &v);
      },
      [&](unsigned int n) {
        const CAny v = FromText(ZV_DSTRW, L"x");
        return a->bSetBLOB(n, &v);
      },
      [&](unsigned int n) { return a->bHAttacheMemo(n, wpath.c_str()); },
      [&](unsigned int n) { return a->bExtraitMemo(n, wpath.c_str()); },
  };
  for (const unsigned int n : {1u, 99u}) {
    int i = 0;
    for (const auto& op : ops) {
      SCOPED_TRACE(std::to_string(n) + " op " + std::to_string(i++));
      m_error.Reset();
      ClientCounts::Reset();
      EXPECT_FALSE(op(n));
      EXPECT_EQ(m_error.nGetUserErrorCode(), 26u);
      EXPECT_EQ(ClientCounts::nQueries, 0);
    }
  }
  m_error.Reset();
}

// Before any read the memo is the record's own and nothing is written out; a file of 16,385
// bytes attached is the memo read back and the one the server stores.
TEST_P(LiveWrite, MemoBeforeAnyReadAndAnAttachedFile) {
  CWriteAccess* a = OpenTable();
  const std::string path = "/tmp/qx memo " + std::to_string(getpid());
  const std::wstring wpath = Wide(path);
  std::remove(path.c_str());
  EXPECT_TRUE(a->bExtraitMemo(0, wpath.c_str())) << Utf8(m_error.pszGetError());
  EXPECT_NE(access(path.c_str(), F_OK), 0);
  CAny before;
  EXPECT_TRUE(a->bGetBLOB(0, &before)) << Utf8(m_error.pszGetError());
  std::string body;
  for (int i = 0; i < 16385; ++i) body += static_cast<char>('a' + i % 26);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(body.data(), 1, body.size(), f), body.size());
  std::fclose(f);
  SetRow(a, {L"80", L"memo", std::nullopt, L"1"});
  ASSERT_TRUE(a->bHAttacheMemo(0, wpath.c_str())) << Utf8(m_error.pszGetError());
  // The host marks the memo defined in its record.
  a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"m")->_SetItemValueDefinedInKJRecord(TRUE, 0);
  CAny read;
  ASSERT_TRUE(a->bGetBLOB(0, &read)) << Utf8(m_error.pszGetError());
  EXPECT_FALSE(read.bIsNull());
  ASSERT_TRUE(a->bHAjoute(0, kNoLock)) << Utf8(m_error.pszGetError());
  ::RawRows rows;
  std::string err;
  ASSERT_TRUE(m_raw.query("SELECT m FROM " + Quoted(m_table) + " WHERE id=80", &rows, &err)) << err;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0][0] == body) << (rows[0][0] ? rows[0][0]->size() : 0) << Sent().substr(0, 3000);
  std::remove(path.c_str());
}

// A directory or a missing file attached as the memo's file: the add fails with user error 15
// naming it (a directory's size was once taken for an allocation: "no memory"), nothing stored.
TEST_P(LiveWrite, AnAttachedFileThatCannotBeReadIsTheNamedFileErrorAndNothingIsWritten) {
  CWriteAccess* a = OpenTable();
  char dir[] = "/tmp/qxmemoXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string before = Dump();
  CNAColumn* memo = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"m");
  for (const std::string& path : {std::string(dir), std::string(dir) + "/missing"}) {
    SCOPED_TRACE(path);
    const std::wstring wpath = Wide(path);
    m_error.Reset();
    SetRow(a, {L"82", L"file", std::nullopt, L"1"});
    ASSERT_TRUE(a->bHAttacheMemo(0, wpath.c_str())) << Utf8(m_error.pszGetError());
    memo->_SetItemValueDefinedInKJRecord(TRUE, 0);
    EXPECT_FALSE(a->bHAjoute(0, kNoLock));
    EXPECT_EQ(m_error.nGetUserErrorCode(), 15u) << Utf8(m_error.pszGetError());
    EXPECT_NE(std::wstring(m_error.pszGetError()).find(L"<" + wpath + L">"), std::wstring::npos)
        << Utf8(m_error.pszGetError());
    EXPECT_EQ(Dump(), before);
  }
  rmdir(dir);
  m_error.Reset();
}

// A memo above the server's packet limit: user error 320101 (database, the server's code, the limit,
// the text's length, its start) before the server's own, nothing stored; the next add runs on a
// new session of the same database and character set.
TEST_P(LiveWrite, MemoAboveThePacketLimitIsRefusedWithItsSizeAndTheNextAddWorks) {
  CWriteAccess* a = OpenTable();
  const std::string path = "/tmp/qx big memo " + std::to_string(getpid());
  const std::wstring wpath = Wide(path);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const std::string block(1 << 20, 'm');
  for (int i = 0; i < 17; ++i) ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), f), block.size());
  std::fclose(f);
  const std::string before = Dump();
  CNAColumn* memo = a->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(L"m");
  SetRow(a, {L"81", L"big", std::nullopt, L"1"});
  ASSERT_TRUE(a->bHAttacheMemo(0, wpath.c_str())) << Utf8(m_error.pszGetError());
  memo->_SetItemValueDefinedInKJRecord(TRUE, 0);
  EXPECT_FALSE(a->bHAjoute(0, kNoLock));
  std::remove(path.c_str());
  EXPECT_EQ(m_error.dwGetErrorId(), 320101u);
  const unsigned int server = m_error.dwGetDataBaseErrorCode();
  EXPECT_TRUE(server == 1153 || server == 2006) << server;
  const std::wstring message = m_error.pszGetError();
  const std::wstring database = a->pclGetConnectionNoRef()->pszGetDataBase();
  for (const std::wstring& part : {L"<" + database + L">", L"(erreur " + std::to_wstring(server) + L")",
                                   std::wstring(L" 16777216 "), std::wstring(L"<INSERT INTO ")})
    EXPECT_NE(message.find(part), std::wstring::npos) << Utf8(part);
  EXPECT_EQ(Dump(), before);

  m_error.Reset();
  const std::wstring text = Unicode() ? L"\U0001F600\u00e9" : L"\u00e9";
  ASSERT_TRUE(memo->bSetValueNULL());
  memo->_SetItemValueDefinedInKJRecord(FALSE, 0);
  SetRow(a, {L"82", text, std::nullopt, L"2"});
  ASSERT_TRUE(a->bHAjoute(0, kNoLock)) << Utf8(m_error.pszGetError());
  ::RawRows rows;
  std::string err;
  ASSERT_TRUE(m_raw.query("SELECT HEX(t) FROM " + Quoted(m_table) + " WHERE id=82", &rows, &err)) << err;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].value_or("NULL"), Hex(text));
}

}  // namespace
