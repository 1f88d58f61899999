// Rows of a result read through the writers a statement binds once per result: every row lands
// in the record with the bytes each column's own read gives it, and a second result of the same
// statement with other column types is read with writers bound for it.
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sql/nakjrecord.h"
#include "tests/mysql/browse_bench.h"

namespace {

class CRowStatement final : public CMySQLStatement {
 public:
  using CMySQLStatement::CMySQLStatement;
  unsigned int nWriters() const { return m_clRowBinding.nGetWriterCount(); }
};

class CRowAccess final : public CMySQLDataAccess {
 public:
  using CMySQLDataAccess::CMySQLDataAccess;
  CNAStatement* _pclAllocStatement(CNADataAccess* access, CNAError* error) override {
    return new (std::nothrow) CRowStatement(access, error);
  }
};

class LiveRowBinding : public LiveBrowse {
 protected:
  CNADataAccess* OpenRows(CHostRecordDescription* desc, CMySQLConnection* cnx) {
    auto* a = new CRowAccess(desc, cnx, &m_error);
    a->AddRef();
    m_accesses.push_back(a);
    EXPECT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << Utf8(m_error.pszGetError());
    m_error.Reset();
    return a;
  }
  static std::vector<uint8_t> RecordBytes(CNADataAccess* a) {
    const CNAKJRecord* kj = a->pclGetCurrentRecordNoRef()->pclGetNAKJRecord();
    std::vector<uint8_t> bytes(kj->_nGetDataSize());
    kj->_Serialize(bytes.data());
    return bytes;
  }
  // Each column of the current row read again by its own read, into the same record.
  static bool ReadAgainColumnByColumn(CNADataAccess* a, CNAStatement* s) {
    CNARecord* record = a->pclGetCurrentRecordNoRef();
    for (int i = 0; i < record->nGetNbColumn(); ++i) {
      CNAColumn* c = record->pclGetColumnNoRef(i);
      if (c->bIsComposedKey()) break;
      if (!c->bSetValueFromDB(s, 0)) return false;
    }
    return true;
  }
  static CNAStatement* Statement(CNADataAccess* a, const wchar_t* item) {
    CNAStatement* s = a->_pclFindStatement(item);
    if (s != nullptr) s->nRelease();
    return s;
  }
  static int Selects() {
    int n = 0;
    for (const std::string& t : ClientCounts::tabSent) n += t.rfind("SELECT", 0) == 0 ? 1 : 0;
    return n;
  }
  // A table (a name the server only takes quoted) of "id INT PRIMARY KEY" and columns, holding
  // rows, described with id as its browse item; the test adds the other items.
  CHostRecordDescription* IdTable(const wchar_t* shape, const std::string& columns, const std::string& rows,
                                  std::wstring* table) {
    *table = Name(shape);
    Raw("CREATE TABLE " + Quoted(*table) + " (id INT PRIMARY KEY" + columns + ")");
    Raw("INSERT INTO " + Quoted(*table) + " VALUES " + rows);
    CHostRecordDescription* desc = Description(*table);
    CHostItemDescription* id = Item(desc, L"id", NA_IT_I4, 4, kKeyPrimary);
    id->m_bNullAllowed = FALSE;
    desc->m_pBestParseItem = id;
    return desc;
  }
  // Each row of a whole result read first to last, row cache off, given to each.
  void ForEachRow(CNADataAccess* a, const std::function<void()>& each) {
    for (BOOL ok = a->bHLitxxx(L"id", NA_PARSE_FIRST, 1, m_none, nullptr, kRowCacheOff); ok && Out(a, L"id") == 0;
         ok = a->bHLitxxx(L"id", NA_PARSE_NEXT, 1, m_none, nullptr, kRowCacheOff))
      each();
  }
  static constexpr unsigned int kRowCacheOff = 0x10000;
  const eNA_LOCKTYPE m_none{0};
};

// Every type a browse meets, with the limits of each and NULL in each column.
TEST_P(LiveRowBinding, EveryRowEqualsTheColumnsOwnReadOfIt) {
  const char* const kRows[] = {
      "(1, 1, 1, 1.00, '2024-02-29 23:59:59', '2024-02-29', '12:34:56', 'abc', 'abc', 'abc', X'00FF')",
      "(2, 2147483647, 9223372036854775807, 9999999999.99, '9999-12-31 23:59:59', '9999-12-31', '23:59:59',"
      " _utf8mb4 X'C3A9E282ACCEA9F09F9880', _utf8mb4 X'C3A9E282AC', _utf8mb4 X'C3A9', X'')",
      "(3, -2147483648, -9223372036854775808, -9999999999.99, '1000-01-01 00:00:00', '1000-01-01', '00:00:01',"
      " '', '', '', X'5C27')",
      "(4, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
      "(5, 0, 0, 0.00, '0000-00-00 00:00:00', '0000-00-00', '00:00:00', 'a much longer text than the slot holds',"
      " 'a much longer text than the slot holds', REPEAT('long text ', 30), X'0102030405060708090A0B0C')",
      "(6, -1, -1, -0.01, '2024-01-01 00:00:00', '2024-01-01', '00:00:00', 'quote '' back \\\\ slash',"
      " 'quote '' back \\\\ slash', 'quote '' back \\\\ slash', NULL)",
      "(7, 42, 42, 12.30, '2024-06-15 08:09:10', '2024-06-15', '08:09:10', 'abcd\xC3\xA9', 'abcd\xC3\xA9',"
      " 'abcd\xC3\xA9', X'41')"};
  std::string values;
  for (const char* r : kRows) values += (values.empty() ? "" : ",") + std::string(r);
  std::wstring table;
  CHostRecordDescription* desc =
      IdTable(L"qx row`types ",
              ", i INT NULL, b BIGINT NULL, d DECIMAL(12,2) NULL, dt DATETIME NULL, dd DATE NULL, t TIME NULL,"
              " vu VARCHAR(40) CHARACTER SET utf8mb4 NULL, vl VARCHAR(40) CHARACTER SET latin1 NULL,"
              " tx TEXT CHARACTER SET utf8mb4 NULL, vb VARBINARY(12) NULL",
              values, &table);
  Item(desc, L"i", NA_IT_I4, 4);
  Item(desc, L"b", NA_IT_I8, 8);
  CHostItemDescription* d = Item(desc, L"d", NA_IT_DECIMAL, 24);
  d->m_nIntegerPart = 10;
  d->m_nDecimalPart = 2;
  Item(desc, L"dt", NA_IT_DATETIME, 8);
  Item(desc, L"dd", NA_IT_DATE8, 9);
  Item(desc, L"t", NA_IT_HEURE, 7);
  Item(desc, L"vu", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, Unicode() ? 22 : 11);
  Item(desc, L"vl", NA_IT_TEXTE, 11);
  Item(desc, L"tx", NA_IT_TEXTE, 101);
  Item(desc, L"vb", NA_IT_BINAIRE, 10);
  CNADataAccess* a = OpenRows(desc, Connect("-1"));
  CRowStatement* s = nullptr;
  int rows = 0;
  ForEachRow(a, [&] {
    s = static_cast<CRowStatement*>(Statement(a, L"id"));
    ++rows;
    const std::vector<uint8_t> read = RecordBytes(a);
    EXPECT_TRUE(ReadAgainColumnByColumn(a, s)) << Utf8(m_error.pszGetError());
    EXPECT_EQ(read, RecordBytes(a)) << "row " << rows;
  });
  EXPECT_EQ(rows, 7) << Utf8(m_error.pszGetError());
  // The integers, decimal, date-time and texts at least have writers.
  ASSERT_NE(s, nullptr);
  EXPECT_GE(s->nWriters(), 7u);
}

// A statement's second result whose column changed from VARCHAR to DATE: a DATE reaches a text
// item as its digits, which the first result's text writer would not give.
TEST_P(LiveRowBinding, ASecondResultWithOtherTypesIsNotWrittenWithTheFirstsWriters) {
  std::wstring table;
  CHostRecordDescription* desc =
      IdTable(L"qx row`retype ", ", v VARCHAR(12) NULL",
              "(1, '2024-01-02'), (2, '2024-03-04'), (3, NULL), (4, '2025-05-06')", &table);
  Item(desc, L"v", NA_IT_TEXTE, 11);
  CNADataAccess* a = OpenRows(desc, Connect("-1"));
  const auto all = [&] {
    std::string out;
    ForEachRow(a, [&] { out += (out.empty() ? "" : " ") + Text(Values(a, {L"v"})); });
    return out;
  };
  EXPECT_EQ(all(), "2024-01-02 2024-03-04 NULL 2025-05-06");
  auto* s = static_cast<CRowStatement*>(Statement(a, L"id"));
  EXPECT_EQ(s->nWriters(), 2u);
  Raw("ALTER TABLE " + Quoted(table) + " MODIFY v DATE NULL");
  const int selects = Selects();
  ASSERT_TRUE(s->bSetParseNeedUpdate(NA_PARSE_RERUN, -1));
  EXPECT_EQ(all(), "20240102 20240304 NULL 20250506");
  EXPECT_GT(Selects(), selects);
  EXPECT_EQ(static_cast<CRowStatement*>(Statement(a, L"id")), s) << "the same statement reads the second result";
  EXPECT_EQ(s->nWriters(), 1u);
}

// A seek's next result keeps the statement's binding only while each column reaches its
// converter in the form it was bound for: after each change of the column's type, every row
// found still equals the columns' own reads of it, and the writers are those of the new forms.
TEST_P(LiveRowBinding, ANextResultKeepsTheBindingOnlyForTheSameForms) {
  const struct {
    const char* from;
    const char* to;
    eNA_ITEMTYPE item;
    unsigned int size;
    const char* value;
    unsigned int writersBefore, writersAfter;
  } kChanges[] = {
      {"DATE", "VARCHAR(12)", NA_IT_TEXTE, 11, "'2024-01-02'", 1, 2},
      {"VARCHAR(12)", "DATE", NA_IT_TEXTE, 11, "'2024-01-02'", 2, 1},
      {"INT", "BIGINT", NA_IT_I4, 4, "-7", 2, 2},
      {"DATETIME", "VARCHAR(19)", NA_IT_DATETIME, 8, "'2024-01-02 03:04:05'", 2, 1},
      {"TEXT", "BLOB", NA_IT_TEXTE, 11, "'ab'", 2, 2},
  };
  for (const auto& change : kChanges) {
    const std::wstring shape = L"qx row`form " + std::to_wstring(&change - kChanges) + L" ";
    std::wstring table;
    CHostRecordDescription* desc =
        IdTable(shape.c_str(), std::string(", v ") + change.from + " NULL",
                std::string("(1, ") + change.value + "), (2, NULL), (3, " + change.value + ")", &table);
    Item(desc, L"v", change.item, change.size);
    CNADataAccess* a = OpenRows(desc, Connect("-1"));
    CRowStatement* s = nullptr;
    const auto seek = [&](int id) {
      CAny key;
      key.SetI4(id);
      ASSERT_TRUE(a->bHRecherche(L"id", &key, 0, 1, m_none, nullptr, 1, 0)) << Utf8(m_error.pszGetError());
      ASSERT_EQ(Out(a, L"id"), 0) << change.from << " seek " << id;
      s = static_cast<CRowStatement*>(Statement(a, L"id"));
      const std::vector<uint8_t> bytes = RecordBytes(a);
      EXPECT_TRUE(ReadAgainColumnByColumn(a, s));
      EXPECT_EQ(bytes, RecordBytes(a)) << change.from << " to " << change.to << " seek " << id;
    };
    seek(1);
    seek(2);
    seek(3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->nWriters(), change.writersBefore) << change.from;
    Raw("ALTER TABLE " + Quoted(table) + " MODIFY v " + change.to + " NULL");
    seek(1);
    EXPECT_EQ(s->nWriters(), change.writersAfter) << change.from << " to " << change.to;
    seek(3);
  }
}

// A record of more items than one flag word holds: the slots whose bits lie past it are defined
// one by one, and every row, NULLs and defined bits included, equals the columns' own reads.
TEST_P(LiveRowBinding, SlotsPastTheFlagWordAreDefinedOneByOne) {
  constexpr int kColumns = 70;
  std::string columns, rows;
  for (int c = 1; c <= kColumns; ++c) columns += ", c" + std::to_string(c) + " INT NULL";
  for (int r = 1; r <= 4; ++r) {
    rows += (r == 1 ? "(" : ", (") + std::to_string(r);
    // Row r is NULL in every r-th column.
    for (int c = 1; c <= kColumns; ++c) rows += c % r == 0 && r > 1 ? ", NULL" : ", " + std::to_string(r * 1000 + c);
    rows += ")";
  }
  std::wstring table;
  CHostRecordDescription* desc = IdTable(L"qx row`wide ", columns, rows, &table);
  // Items keep their names' pointers.
  std::deque<std::wstring> names;
  for (int c = 1; c <= kColumns; ++c) Item(desc, names.emplace_back(L"c" + std::to_wstring(c)).c_str(), NA_IT_I4, 4);
  CNADataAccess* a = OpenRows(desc, Connect("-1"));
  int read = 0;
  ForEachRow(a, [&] {
    ++read;
    const std::vector<uint8_t> bytes = RecordBytes(a);
    EXPECT_TRUE(ReadAgainColumnByColumn(a, Statement(a, L"id")));
    EXPECT_EQ(bytes, RecordBytes(a)) << "row " << read;
    EXPECT_EQ(Text(Values(a, {L"c1", L"c66", L"c70"})),
              read == 1   ? "1001|1066|1070"
              : read == 2 ? "2001|NULL|NULL"
              : read == 3 ? "3001|NULL|3070"
                          : "4001|4066|4070")
        << "row " << read;
  });
  EXPECT_EQ(read, 4);
  EXPECT_EQ(static_cast<CRowStatement*>(Statement(a, L"id"))->nWriters(), kColumns + 1u);
}

// A result whose first rows are NULL in some columns: those columns take their writers at their
// first value, and every row still equals the columns' own reads of it.
TEST_P(LiveRowBinding, ColumnsFirstSeenNullTakeTheirWritersAtTheirFirstValue) {
  std::wstring table;
  CHostRecordDescription* desc = IdTable(L"qx row`nulls ", ", i INT NULL, v VARCHAR(12) NULL",
                                         "(1, NULL, NULL), (2, 5, NULL), (3, NULL, 'x'), (4, 7, 'yz')", &table);
  Item(desc, L"i", NA_IT_I4, 4);
  Item(desc, L"v", NA_IT_TEXTE, 11);
  CNADataAccess* a = OpenRows(desc, Connect("-1"));
  std::string read;
  ForEachRow(a, [&] {
    read += (read.empty() ? "" : " ") + Text(Values(a, {L"id", L"i", L"v"}));
    const std::vector<uint8_t> bytes = RecordBytes(a);
    EXPECT_TRUE(ReadAgainColumnByColumn(a, Statement(a, L"id")));
    EXPECT_EQ(bytes, RecordBytes(a)) << read;
  });
  EXPECT_EQ(read, "1|NULL|NULL 2|5|NULL 3|NULL|x 4|7|yz");
  EXPECT_EQ(static_cast<CRowStatement*>(Statement(a, L"id"))->nWriters(), 3u);
}

// A unique text key's server text is noted for the rows whose key its item does not hold as the
// server sent it (cut, or with a NUL), and for those alone, the rows before and after held.
TEST_P(LiveRowBinding, KeyTextsNotHeldAreNotedAndOnlyThose) {
  const struct {
    const char* value;
    bool noted;
    bool unicodeOnly;  // a character the 1252 server page has no byte for
  } kRows[] = {
      {"'abc'", false, false},
      {"'abcdefgh'", false, false},  // the item exactly full
      {"'abcdefghijkl'", true, false},
      {"'a'", false, false},
      {"_utf8mb4 X'6162006364'", true, false},
      {"_utf8mb4 X'C3A9C3BC'", false, false},
      {"_utf8mb4 X'F09F9880'", false, true},
      {"'abcdefghi'", true, false},
      {"'xyz'", false, false},
  };
  std::string rows;
  int id = 0;
  for (const auto& r : kRows) rows += (rows.empty() ? "(" : ", (") + std::to_string(++id) + ", " + r.value + ")";
  std::wstring table;
  CHostRecordDescription* desc =
      IdTable(L"qx row`held ", ", k VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL UNIQUE", rows, &table);
  CHostItemDescription* k = Item(desc, L"k", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, Unicode() ? 18 : 9, kKeyUnique);
  k->m_bNullAllowed = FALSE;
  CNADataAccess* a = OpenRows(desc, Connect("-1"));
  int read = 0;
  ForEachRow(a, [&] {
    const auto& row = kRows[read++];
    if (row.unicodeOnly && !Unicode()) return;
    EXPECT_EQ(a->pclGetCurrentRecordNoRef()->pclGetCurrentValueNoRef()->bHasServerTexts(), row.noted)
        << "row " << read << " " << row.value;
  });
  EXPECT_EQ(read, id);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveRowBinding,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
