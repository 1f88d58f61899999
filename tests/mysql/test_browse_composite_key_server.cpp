// Browsing in blocks on a composite primary key: each block is served by the key's index, so a
// browse from the last row to the first costs the server what one from the first to the last
// does, and both read every row once in the key's order. Counted by the server's handler reads
// on the driver's own session.
#include <cstdlib>
#include <string>
#include <vector>

#include "access/nadatasourcedescription.h"
#include "tests/mysql/browse_bench.h"

namespace {

enum : unsigned int { kNoRowCache = 0x10000 };

const eNA_LOCKTYPE kNoLock = eNA_LOCKTYPE{0};

class LiveBrowseCompositeKey : public LiveBrowse {
 protected:
  void TearDown() override {
    for (CNADataSourceDescription* d : m_imported) d->nExternalRelease();
    LiveBrowse::TearDown();
  }
  // (a CHAR(3), b VARCHAR(8), v INT, PRIMARY KEY (a, b)) of n rows, seven b to each a.
  void Make(int n) {
    m_table = Name(L"qx brw`pair ");
    Raw("CREATE TABLE " + Quoted(m_table) + " (a CHAR(3), b VARCHAR(8), v INT, PRIMARY KEY (a, b))");
    Raw("INSERT INTO " + Quoted(m_table) +
        " SELECT CONCAT(CHAR(65 + seq DIV 7 DIV 26 % 26), CHAR(65 + seq DIV 7 % 26), 'W'),"
        " ELT(1 + seq % 7, 've', 'v', 'vea', 'b', 'zz', 'a1', 'q'), seq FROM seq_1_to_" + std::to_string(n));
  }
  // The host's own description: the key's items and the key over them, none said to be not null.
  CHostRecordDescription* Described() {
    CHostRecordDescription* desc = Description(m_table);
    CHostItemDescription* a = Item(desc, L"a", NA_IT_TEXTE, 4);
    CHostItemDescription* b = Item(desc, L"b", NA_IT_TEXTE, 9);
    Item(desc, L"v", NA_IT_I4, 4);
    desc->m_pBestParseItem = Item(desc, L"ab", NA_IT_BINAIRE, 13, kKeyComposite | kKeyPrimary, {a, b});
    return desc;
  }
  // The server's description of the table, as the host gets it without one of its own.
  CNADataSourceDescription* Imported() {
    INADataSourceDescription* server = static_cast<INADriver&>(m_driver).piGetTableDesc(m_table.c_str(), &m_host);
    auto* desc = dynamic_cast<CNADataSourceDescription*>(server);
    if (desc == nullptr) return nullptr;
    m_imported.push_back(desc);
    desc->UpdateRecordSize();
    return desc;
  }
  // Rows read from one end to the other by item: "a.b" each, "|" between.
  std::string Run(CNADataAccess* a, const wchar_t* item, bool forward, unsigned int flags) {
    std::string out;
    eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;
    for (int i = 0; i < 100000; ++i) {
      if (!a->bHLitxxx(item, dir, 1, kNoLock, nullptr, flags)) return out + " failed: " + Utf8(m_error.pszGetError());
      if (Out(a, item) != 0) break;
      const std::vector<Cell> v = Values(a, {L"a", L"b"});
      out += (out.empty() ? "" : "|") + Text({v[0]}) + "." + Text({v[1]});
      dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS;
    }
    return out;
  }
  // The server's own order of the key, "a.b" each.
  std::string ServerOrder(bool descending) {
    const std::string dir = descending ? " DESC" : "";
    return Rows("SELECT CONCAT(a, '.', b) FROM " + Quoted(m_table) + " ORDER BY a" + dir + ", b" + dir, true);
  }
  // The rows the server's handlers have read on cnx's session so far.
  static long long HandlerReads(CMySQLConnection* cnx) {
    const std::string sql = "SHOW SESSION STATUS LIKE 'Handler_read%'";
    MYSQL* h = cnx->pGetHandle();
    long long sum = 0;
    if (__mysql_real_query(h, sql.data(), sql.size()) != 0) return -1;
    MYSQL_RES* result = __mysql_store_result(h);
    while (MYSQL_ROW row = result != nullptr ? __mysql_fetch_row(result) : nullptr) sum += std::atoll(row[1]);
    if (result != nullptr) __mysql_free_result(result);
    return sum;
  }

  std::wstring m_table;
  std::vector<CNADataSourceDescription*> m_imported;
};

// Default blocks of 100 on a composite primary key, described by the host (its key item not said
// to be not null) and by the server: from the first row to the last and from the last to the
// first, every row once in the key's order, and the server's handlers read each row about once.
// Each backward block was sorted anew over the whole rest of the table (its condition let NULLs
// in, so its order was completed past the key), and so was the first block of either way; no
// block's condition tests a NOT NULL column for NULL.
TEST_P(LiveBrowseCompositeKey, BackwardBlocksOnANotNullCompositeKeyCostWhatForwardBlocksCost) {
  const int n = 1500;
  Make(n);
  ASSERT_FALSE(HasFatalFailure());
  const std::string up = ServerOrder(false), down = ServerOrder(true);
  CNADataSourceDescription* imported = Imported();
  ASSERT_NE(imported, nullptr);
  const struct {
    const char* road;
    INADataSourceDescription* desc;
    const wchar_t* item;
  } roads[] = {{"host's description", Described(), L"ab"}, {"server's description", imported, L"PRIMARY"}};
  for (const auto& road : roads) {
    for (const bool rowCache : {false, true}) {
      const std::string where = std::string(road.road) + (rowCache ? ", row cache" : "");
      CMySQLConnection* cnx = Connect(nullptr);
      const unsigned int flags = rowCache ? 0u : static_cast<unsigned int>(kNoRowCache);
      auto* a = new CBrowseAccess(road.desc, cnx, &m_error);
      a->AddRef();
      m_accesses.push_back(a);
      ASSERT_TRUE(a->bHOuvre(eNA_ACCESS{0}, nullptr)) << where << ": " << Utf8(m_error.pszGetError());
      // What asking costs, taken off each count.
      const long long asked = HandlerReads(cnx), start = HandlerReads(cnx), ask = start - asked;
      EXPECT_EQ(Run(a, road.item, true, flags), up) << where << Sent();
      const long long middle = HandlerReads(cnx);
      EXPECT_EQ(Run(a, road.item, false, flags), down) << where << Sent();
      const long long forward = middle - start - ask, backward = HandlerReads(cnx) - middle - ask;
      EXPECT_LE(forward, n + n / 4) << where << Sent();
      EXPECT_LE(backward, forward + forward / 4) << where << ", forward " << forward << Sent();
      // A column the server holds NOT NULL is never tested for NULL.
      for (const std::string& text : ClientCounts::tabSent)
        EXPECT_EQ(text.find("IS NULL"), std::string::npos) << where << ": " << text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveBrowseCompositeKey,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
