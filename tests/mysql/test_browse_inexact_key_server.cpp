// Browses in blocks whose key the host record cannot hold as the server sent it: a character the
// connection's page has no place for comes as '?', a U+0000 ends the zero-terminated text. Each
// row comes once, in the server's order, both ways and at every block size. A BIT key, whose
// bytes the server compares as a number, not as a string.
#include <cstring>

#include "tests/mysql/browse_bench.h"

namespace {

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveInexactKey : public LiveBrowse {
 protected:
  // Every SELECT sent since the counts were reset asked for a block of rows.
  static void ExpectEverySelectInBlocks() {
    for (const std::string& sent : ClientCounts::tabSent) {
      if (sent.rfind("SELECT", 0) == 0) {
        EXPECT_NE(sent.find(" LIMIT "), std::string::npos) << sent;
      }
    }
  }
  // The n of each row read from one end to the other on item, then (back) from past that end
  // the other way, "|"-joined; reads are bounded so that a browse that never ends shows as a
  // long list.
  static std::string Walk(CNADataAccess* a, const wchar_t* item, bool forward, size_t rows, bool back = false) {
    std::string seen;
    BOOL ok = a->bHLitxxx(item, forward ? NA_PARSE_FIRST : NA_PARSE_LAST, 1, kNoLock, nullptr, 0);
    for (int leg = 0; leg < (back ? 2 : 1); ++leg, forward = !forward) {
      if (leg == 1) {
        seen += " /";
        ok = ok && a->bHLitxxx(item, forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, 0);
      }
      for (size_t i = 0; ok && Out(a, item) == 0 && i < 2 * rows + 2; ++i) {
        seen += (seen.empty() || seen.back() == '/' ? "" : "|") + Text(Values(a, {L"n"}));
        ok = a->bHLitxxx(item, forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, 0);
      }
    }
    return ok ? seen : seen + "|failed";
  }
  // The n of the rows in the server's order of by, as the second connection reads them.
  std::string Order(const std::wstring& table, const std::string& by) {
    ::RawRows rows;
    std::string err, out;
    EXPECT_TRUE(m_raw.query("SELECT n FROM " + Quoted(table) + " ORDER BY " + by, &rows, &err)) << err;
    for (const RawRow& r : rows) out += (out.empty() ? "" : "|") + r.at(0).value_or("NULL");
    return out;
  }
};

TEST_P(LiveInexactKey, BlockBrowseOnAKeyTheHostCannotHoldReadsEachRowOnce) {
  const std::wstring nul(L"a\0b", 3), nul2(L"a\0c", 3);
  const struct {
    const char* name;
    const char* collation;
    std::vector<std::pair<std::wstring, int>> rows;
  } cases[] = {
      {"CharacterOutsideThePageComesAsQuestionMark", "utf8mb4_bin",
       {{L"A", 1}, {L"BZ", 5}, {L"B\u0151", 2}, {L"C", 3}, {L"D", 4}, {L"B\u0171", 6}, {L"B\U0001F600", 7}}},
      {"NulCutsTheKeyBinary", "utf8mb4_bin", {{L"a", 1}, {nul, 2}, {nul2, 3}, {L"b", 4}}},
      {"NulCutsTheKeyPadSpace", "utf8mb4_general_ci", {{L"a", 1}, {nul, 2}, {nul2, 3}, {L"b", 4}, {L"a\u00e9", 5}}},
  };
  int made = 0;
  for (const auto& c : cases) {
    const std::wstring table = Name(L"qx brw`inexact " + std::to_wstring(made++) + L" ");
    Raw("CREATE TABLE " + Quoted(table) + " (k VARCHAR(8) CHARACTER SET utf8mb4 COLLATE " + c.collation +
        " PRIMARY KEY, n INT NOT NULL, KEY (k, n))");
    std::string values;
    for (const auto& [k, n] : c.rows)
      values += (values.empty() ? "(" : ",(") + SqlCell(k, false) + "," + std::to_string(n) + ")";
    Raw("INSERT INTO " + Quoted(table) + " VALUES " + values);
    CHostRecordDescription* desc = Description(table);
    CHostItemDescription* k = Item(desc, L"k", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, 9, kKeyPrimary);
    k->m_bNullAllowed = FALSE;
    CHostItemDescription* n = Item(desc, L"n", NA_IT_I4, 4);
    Item(desc, L"kn", NA_IT_BINAIRE, 4, kKeyComposite | kKeyDuplicates, {k, n});
    desc->m_pBestParseItem = k;
    const std::string forward = Order(table, "k"), backward = Order(table, "k DESC");
    for (const char* cache : {"1", "2", "3", "17", "-1"}) {
      CMySQLConnection* cnx = Connect(cache);
      for (const bool rowCache : {false, true}) {
        CNADataAccess* a = Open(desc, cnx, {rowCache, true});
        for (const wchar_t* item : {L"k", L"kn"}) {
          const std::string where = std::string(c.name) + ", blocks of " + cache + ", item " + Utf8(item) +
                                    (rowCache ? ", row cache" : "");
          EXPECT_EQ(Walk(a, item, true, c.rows.size()), forward) << where << Sent();
          EXPECT_EQ(Walk(a, item, false, c.rows.size()), backward) << where << Sent();
          EXPECT_EQ(Walk(a, item, true, c.rows.size(), true), forward + " /" + backward) << where << Sent();
          EXPECT_EQ(Walk(a, item, false, c.rows.size(), true), backward + " /" + forward) << where << Sent();
        }
      }
    }
  }
}

// A key the browse does not run on, holding what the record cannot hold, leaves the blocks as
// they are: every SELECT keeps its row limit.
TEST_P(LiveInexactKey, OtherKeyHoldingWhatTheRecordCannotHoldKeepsTheBlocks) {
  const std::wstring table = Name(L"qx brw`other key ");
  Raw("CREATE TABLE " + Quoted(table) +
      " (id INT PRIMARY KEY, k VARCHAR(8) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL UNIQUE, n INT NOT NULL)");
  Raw("INSERT INTO " + Quoted(table) + " VALUES (1," + SqlCell(L"B\u0151", false) + ",1),(2," +
      SqlCell(std::wstring(L"a\0b", 3), false) + ",2),(3,'c',3),(4," + SqlCell(L"B\u0171", false) + ",4)");
  CHostRecordDescription* desc = Description(table);
  Item(desc, L"id", NA_IT_I4, 4, kKeyPrimary)->m_bNullAllowed = FALSE;
  Item(desc, L"k", Unicode() ? NA_IT_UNICODE : NA_IT_TEXTE, 9, kKeyUnique)->m_bNullAllowed = FALSE;
  Item(desc, L"n", NA_IT_I4, 4);
  CMySQLConnection* cnx = Connect("1");
  CNADataAccess* a = Open(desc, cnx);
  ClientCounts::Reset();
  EXPECT_EQ(Walk(a, L"id", true, 4, true), "1|2|3|4 /4|3|2|1") << Sent();
  ExpectEverySelectInBlocks();
}

// A binary key is sent as its bytes, never through the page: its 0x3F byte is no '?' standing
// for a lost character, and its blocks go on from it as from any key.
TEST_P(LiveInexactKey, BinaryKeyHoldingTheQuestionMarkByteKeepsTheBlocks) {
  const std::wstring table = Name(L"qx brw`bin key ");
  Raw("CREATE TABLE " + Quoted(table) + " (k VARBINARY(4) PRIMARY KEY, n INT NOT NULL)");
  Raw("INSERT INTO " + Quoted(table) + " VALUES (X'3F',1),(X'3F3F',2),(X'413F',3),(X'42',4)");
  CHostRecordDescription* desc = Description(table);
  Item(desc, L"k", NA_IT_BINAIRE, 6, kKeyPrimary)->m_bNullAllowed = FALSE;
  Item(desc, L"n", NA_IT_I4, 4);
  CMySQLConnection* cnx = Connect("1");
  CNADataAccess* a = Open(desc, cnx);
  ClientCounts::Reset();
  EXPECT_EQ(Walk(a, L"k", true, 4, true), "1|2|3|4 /4|3|2|1") << Sent();
  ExpectEverySelectInBlocks();
}

// A BIT key in a condition is the number its bytes make: as a quoted string the server took it
// for 0, and a browse in blocks never ended going forward and skipped rows going back, a seek
// found nothing, a modify of the row read by its key updated no row.
TEST_P(LiveInexactKey, BitKeyComparesAsTheNumberItsBytesMake) {
  const struct {
    int bits;
    std::vector<unsigned long long> keys;
  } cases[] = {
      {12, {0x800, 0, 0xFFF, 1, 0x100, 2, 0x7FF}},
      {64, {0x8000000000000000ULL, 0, 0xFFFFFFFFFFFFFFFFULL, 1, 0x100, 0x7FFFFFFFFFFFFFFFULL}},
      {1, {1, 0}},
  };
  int made = 0;
  for (const auto& c : cases) {
    const std::wstring table = Name(L"qx brw`bit key " + std::to_wstring(made++) + L" ");
    const std::string q = Quoted(table);
    Raw("CREATE TABLE " + q + " (k BIT(" + std::to_string(c.bits) + ") PRIMARY KEY, n INT NOT NULL)");
    std::string values;
    for (size_t i = 0; i < c.keys.size(); ++i)
      values += (i == 0 ? "(" : ",(") + std::to_string(c.keys[i]) + "," + std::to_string(i + 1) + ")";
    Raw("INSERT INTO " + q + " VALUES " + values);
    const unsigned int bytes = static_cast<unsigned int>(c.bits + 7) / 8;
    CHostRecordDescription* desc = Description(table);
    // The record holds the bytes after their 2-byte length.
    CHostItemDescription* k = Item(desc, L"k", NA_IT_BINAIRE, bytes + 2, kKeyPrimary);
    k->m_bNullAllowed = FALSE;
    CHostItemDescription* n = Item(desc, L"n", NA_IT_I4, 4);
    desc->m_pBestParseItem = k;
    const std::string forward = Order(table, "k"), backward = Order(table, "k DESC");
    const std::string where = "BIT(" + std::to_string(c.bits) + ")";
    for (const char* cache : {"1", "2", "3", "-1"}) {
      CMySQLConnection* cnx = Connect(cache);
      CNADataAccess* a = Open(desc, cnx);
      const std::string at = where + ", blocks of " + cache;
      EXPECT_EQ(Walk(a, L"k", true, c.keys.size(), true), forward + " /" + backward) << at << Sent();
      EXPECT_EQ(Walk(a, L"k", false, c.keys.size(), true), backward + " /" + forward) << at << Sent();
    }
    // The key's bytes, most significant first, as the record holds them.
    auto key = [&](unsigned long long v) {
      std::string b(bytes, '\0');
      for (unsigned int i = 0; i < bytes; ++i) b[bytes - 1 - i] = static_cast<char>((v >> (8 * i)) & 0xFF);
      CAny any;
      any.__SetType(ZV_BIN, 0);
      any.SetValueByte(b.data(), bytes);
      return any;
    };
    // Blocks of one row: the seeks go to the server, not to rows a whole result already holds.
    CNADataAccess* a = Open(desc, Connect("1"));
    for (size_t i = 0; i < c.keys.size(); ++i) {
      const CAny sought = key(c.keys[i]);
      EXPECT_TRUE(a->bHRecherche(L"k", &sought, 0, 1, kNoLock, nullptr, 1, 0) && Out(a, L"k") == 0 &&
                  Text(Values(a, {L"n"})) == std::to_string(i + 1))
          << where << ", seek of " << c.keys[i] << Sent();
    }
    // The last key's row modified, the first's deleted, each read by its key.
    auto read = [&](size_t i) {
      const CAny sought = key(c.keys[i]);
      return a->bHRecherche(L"k", &sought, 0, 1, kNoLock, nullptr, 1, 0) && Out(a, L"k") == 0;
    };
    const size_t last = c.keys.size() - 1;
    ASSERT_TRUE(read(last)) << where << Sent();
    CNAKJRecord* current = a->pclGetCurrentRecordNoRef()->pclGetNAKJRecord();
    const int32_t written = 700;
    memcpy(current->pbyGetItemValue(n, 0), &written, 4);
    current->SetItemValueDefined(n, TRUE, 0);
    EXPECT_TRUE(a->bHModifie(0, 0, kNoLock)) << where << ": " << Utf8(m_error.pszGetError()) << Sent();
    ASSERT_TRUE(read(0)) << where << Sent();
    EXPECT_TRUE(a->bHSupprime(0, kNoLock)) << where << ": " << Utf8(m_error.pszGetError()) << Sent();
    ::RawRows rows;
    std::string err, got;
    EXPECT_TRUE(m_raw.query("SELECT CAST(k AS UNSIGNED), n FROM " + q + " ORDER BY n", &rows, &err)) << err;
    for (const RawRow& r : rows) got += (got.empty() ? "" : "|") + r.at(0).value_or("NULL") + "=" + r.at(1).value_or("NULL");
    std::string expected;
    for (size_t i = 1; i < c.keys.size(); ++i)
      expected += (expected.empty() ? "" : "|") + std::to_string(c.keys[i]) + "=" + (i == last ? "700" : std::to_string(i + 1));
    EXPECT_EQ(got, expected) << where << Sent();
  }
}

// The four ways a record holds a key otherwise than the server: a character the host's page has
// no place for ('?' in a text item of the page), a text cut to its item, a NUL ending a fixed
// text. Each case has a row whose key the record holds inexactly (n = 2) and a row holding what
// the record shows of it (n = 5), which is where a condition written from the record lands.
struct InexactCase {
  const char* name;
  std::wstring k2;  // the inexact row's key
  std::wstring k5;  // the key the record shows for it
  unsigned int size;  // the TEXTE item's size
};

std::vector<InexactCase> InexactCases() {
  return {
      {"CharacterOutsideThePage", L"B\u0151", L"B?", 9},
      {"TextCutToItsItem", L"Babcdef", L"Babc", 5},
      {"NulEndsTheFixedText", std::wstring(L"B\0z", 3), L"B", 9},
  };
}

// A write of a row read names that row as the server holds it, or is refused naming its item:
// never another row, never none with success.
TEST_P(LiveInexactKey, WritesReachTheRowReadOrAreRefused) {
  int made = 0;
  for (const InexactCase& c : InexactCases()) {
    for (const bool remove : {false, true}) {
      const std::wstring table = Name(L"qx brw`write " + std::to_wstring(made++) + L" ");
      const std::string q = Quoted(table);
      Raw("CREATE TABLE " + q + " (k VARCHAR(8) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin PRIMARY KEY, n INT NOT NULL)");
      Raw("INSERT INTO " + q + " VALUES ('A',1)," + "(" + SqlCell(c.k2, false) + ",2),(" + SqlCell(c.k5, false) + ",5)");
      CHostRecordDescription* desc = Description(table);
      Item(desc, L"k", NA_IT_TEXTE, c.size, kKeyPrimary)->m_bNullAllowed = FALSE;
      CHostItemDescription* n = Item(desc, L"n", NA_IT_I4, 4);
      desc->m_pBestParseItem = desc->pclGetItemNoRef(0);
      CNADataAccess* a = Open(desc, Connect("2"));
      // The row n = 2, read in the browse.
      BOOL ok = a->bHLitxxx(L"k", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0);
      while (ok && Out(a, L"k") == 0 && Text(Values(a, {L"n"})) != "2")
        ok = a->bHLitxxx(L"k", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0);
      const std::string where = std::string(c.name) + (remove ? ", delete" : ", modify");
      ASSERT_TRUE(ok && Out(a, L"k") == 0) << where << Sent();
      m_error.Reset();
      BOOL written;
      if (remove) {
        written = a->bHSupprime(0, kNoLock);
      } else {
        CNAKJRecord* current = a->pclGetCurrentRecordNoRef()->pclGetNAKJRecord();
        const int32_t value = 20;
        memcpy(current->pbyGetItemValue(n, 0), &value, 4);
        written = a->bHModifie(0, 0, kNoLock);
      }
      ::RawRows rows;
      std::string err, got;
      EXPECT_TRUE(m_raw.query("SELECT n FROM " + q + " ORDER BY n", &rows, &err)) << err;
      for (const RawRow& r : rows) got += (got.empty() ? "" : "|") + r.at(0).value_or("NULL");
      // On a 1252 connection too: the key is read as its UTF-8 bytes beside it, which name the row.
      EXPECT_TRUE(written) << where << ": " << Utf8(m_error.pszGetError()) << Sent();
      EXPECT_EQ(got, remove ? "1|5" : "1|5|20") << where << Sent();
    }
  }
}

// A browse in blocks goes on past a row whose key its record holds inexactly from the server's
// own key: each row once, both ways, at every block size.
TEST_P(LiveInexactKey, BlocksGoOnFromTheServersKeyOfARowHeldInexactly) {
  int made = 0;
  for (const InexactCase& c : InexactCases()) {
    const std::wstring table = Name(L"qx brw`blocks " + std::to_wstring(made++) + L" ");
    const std::string q = Quoted(table);
    Raw("CREATE TABLE " + q + " (k VARCHAR(8) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin PRIMARY KEY, n INT NOT NULL)");
    Raw("INSERT INTO " + q + " VALUES ('A',1),(" + SqlCell(c.k2, false) + ",2),(" + SqlCell(c.k5, false) +
        ",5),('BZ',3),('C',4),('D',6)");
    CHostRecordDescription* desc = Description(table);
    Item(desc, L"k", NA_IT_TEXTE, c.size, kKeyPrimary)->m_bNullAllowed = FALSE;
    Item(desc, L"n", NA_IT_I4, 4);
    desc->m_pBestParseItem = desc->pclGetItemNoRef(0);
    const std::string forward = Order(table, "k"), backward = Order(table, "k DESC");
    for (const char* cache : {"1", "2", "3", "-1"}) {
      CMySQLConnection* cnx = Connect(cache);
      for (const bool rowCache : {false, true}) {
        CNADataAccess* a = Open(desc, cnx, {rowCache, true});
        const std::string where = std::string(c.name) + ", blocks of " + cache + (rowCache ? ", row cache" : "");
        EXPECT_EQ(Walk(a, L"k", true, 6, true), forward + " /" + backward) << where << Sent();
        EXPECT_EQ(Walk(a, L"k", false, 6, true), backward + " /" + forward) << where << Sent();
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveInexactKey,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
