// Tables and columns under every name the server takes, reached through the loaded driver: each
// table described, listed, browsed both ways in blocks, sought, filtered and written through the
// table and through a parsed query (whose host file and items have plain names of their own), and
// what the server then holds read back over a raw connection. Beside each table stands another
// one its name could be confused with (a LIKE pattern's match, the same name in another case):
// it must never be described, listed or touched in its place. Code pages 1252 and 65001, each in
// the default SQL mode and with NO_BACKSLASH_ESCAPES.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "common/xystring.h"
#include "driver/inadriversql.h"
#include "tests/support/loaded_roads.h"
#include "tests/support/loaded_types.h"

namespace {

constexpr eNA_LOCKTYPE kNoLock{0};

// A table and its value column (UTF-8), and the table beside it, of columns id and w.
struct SNameCase {
  const char* what;
  std::string table, column, beside;
};

// Names in the server's quotes, for the raw connection.
std::string Quoted(const std::string& name) {
  std::string q = "`";
  for (char c : name) q += c == '`' ? std::string("``") : std::string(1, c);
  return q + "`";
}

CAny Number(int n) {
  CAny any;
  any.SetI4(n);
  return any;
}

class Names : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    const std::string page = std::string(";QX Unicode Support=") + (std::get<0>(GetParam()) == 65001 ? "1" : "0") +
                             ";QX CLIENT LIBRARY=" + QX_FAULT_CLIENT;
    m_host = m_connections.Add(m_server, page);
    m_blocks = m_connections.Add(m_server, page + ";QX Cache Size=1");
    OpenService();
  }
  void TearDown() override {
    if (m_service != nullptr) {
      m_service->bCloseConnection(m_cnx);
      m_service->nExternalRelease();
    }
    for (CHostConnectionDescription* host : {m_host, m_blocks})
      if (m_driver != nullptr && host != nullptr) m_driver->bCloseConnection(host);
    Stop();
  }
  // Both tables afresh, c's value column named column: ids 1 to 5, their values out of the ids'
  // order.
  bool Make(const SNameCase& c, const std::string& column) {
    std::string err;
    if (!m_raw.exec("DROP TABLE IF EXISTS " + Quoted(c.table) + ", " + Quoted(c.beside), &err)) return false;
    if (!m_raw.exec("CREATE TABLE " + Quoted(c.table) + " (id INT PRIMARY KEY, " + Quoted(column) + " INT, KEY (" +
                        Quoted(column) + "))",
                    &err))
      return false;
    return Raw("CREATE TABLE " + Quoted(c.beside) + " (id INT PRIMARY KEY, w INT)") &&
           Raw("INSERT INTO " + Quoted(c.table) + " VALUES (1, 30), (2, 60), (3, 20), (4, 50), (5, 10)") &&
           Raw("INSERT INTO " + Quoted(c.beside) + " VALUES (1, 1), (2, 2), (3, 3), (4, 4), (5, 5)");
  }
  // The rows of a table (as the server reads its name) as "id:value ...".
  std::string Held(const std::string& quoted) {
    RawRows rows;
    if (!Raw("SELECT * FROM " + quoted + " ORDER BY id", &rows)) return "unreadable";
    std::string out;
    for (const RawRow& row : rows) out += row[0].value_or("NULL") + ":" + row[1].value_or("NULL") + " ";
    return out;
  }
  static std::string Answer(COpenRoad& r, BOOL ok) { return ok ? "TRUE" : "FALSE " + r.FullError(); }

  // The host's roads over c's table on host, as one line per step. The host's parser reads plain
  // names only: a query names its file f and its column v.
  std::string Roads(const SNameCase& c, ERoad road, CHostConnectionDescription* host) {
    const SHostNames names = road == ERoad::kTable ? SHostNames{"", WideOfUTF8(c.column)} : SHostNames{"f", L"v"};
    std::string out;
    {
      COpenRoad r;
      if (const std::string why = r.Open(m_driver, &m_loader, host, road, c.table, "", names); !why.empty())
        return "not open: " + why;
      out += "browse " + r.Browse(true) + "| ";
      out += r.Browse(false) + "\n";
      out += "seek " + r.SeekOn(Number(20)) + "\n";
      out += "filter " + r.Filter(Number(20), Number(50)) + "\n";
      r.Seek(Number(60));
      out += "modify " + Answer(r, r.Put(Number(70)) && r->bHModifie(&r.ctx, 0, 0, kNoLock)) + "\n";
      r.Seek(Number(10));
      out += "delete " + Answer(r, r->bHSupprime(&r.ctx, 0, kNoLock)) + "\n";
      out += "add " + Answer(r, r.Put(Number(6), L"id") && r.Put(Number(90)) && r->bHAjoute(&r.ctx, 0, kNoLock)) + "\n";
    }
    if (road != ERoad::kTable) {
      COpenRoad r;
      if (const std::string why = r.Open(m_driver, &m_loader, host, road, c.table, " WHERE v >= 50", names);
          !why.empty())
        return out + "not open: " + why;
      out += "delete all " + Answer(r, r->bSupprimeTout(&r.ctx)) + "\n";
    }
    return out + "held " + Held(Quoted(c.table)) + "| beside " + Held(Quoted(c.beside)) + "\n";
  }
  // The catalogue's answers for c's table: its description, its columns and whether the table
  // list holds it once.
  std::string Catalogue(const SNameCase& c) {
    const std::wstring table = WideOfUTF8(c.table);
    std::string out = "described ";
    if (INADataSourceDescription* desc = m_driver->piGetTableDesc(table.c_str(), m_host); desc != nullptr) {
      for (int i = 0; i < desc->nGetNumItems(); ++i) {
        INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
        out += std::string(item->pszGetName() == WideOfUTF8(c.column) ? "v" : Narrow(item->pszGetName())) + " ";
        item->nExternalRelease();
      }
      desc->nExternalRelease();
    } else {
      out += "FALSE " + Narrow(m_driver->piGetLastError()->pszGetError());
    }
    CAny columns;
    out += "\ncolumns ";
    if (m_service->bGetColumnList(&columns, m_cnx, table.c_str(), 0))
      out += ShowColumns(columns, c.column);
    else
      out += "FALSE";
    CAny tables;
    if (!m_service->bGetTableList(&tables, m_cnx, nullptr, 1)) return out + "\ntables FALSE\n";
    size_t seen = 0;
    const std::wstring list = L"\r\n" + WideText(tables) + L"\r\n";
    for (size_t at = list.find(L"\r\n" + table + L"\r\n"); at != std::wstring::npos;
         at = list.find(L"\r\n" + table + L"\r\n", at + 1))
      ++seen;
    return out + "\ntables " + std::to_string(seen) + "\n";
  }
  // A column list with the value column shown as v.
  static std::string ShowColumns(const CAny& list, const std::string& column) {
    std::wstring text = WideText(list), out;
    const std::wstring v = WideOfUTF8(column);
    for (size_t start = 0; start <= text.size();) {
      size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) end = text.size();
      const std::wstring line = text.substr(start, end - start);
      out += (line == v ? L"v" : line) + L" ";
      start = end + 2;
    }
    return Narrow(out.c_str());
  }
  static std::wstring WideText(const CAny& any) {
    void* p = nullptr;
    unsigned int n = 0;
    if (any.wGetTypeWord() != ZV_DSTRW || any.Intern()->nGetDataAdr(&p) != 0 || any.Intern()->nGetUtilDataSize(&n) != 0)
      return L"";
    const auto* w = static_cast<const wchar_t*>(p);
    return std::wstring(w, w + n / sizeof(wchar_t));
  }

  CHostConnectionDescription* m_blocks = nullptr;
};

// What every road answers on every name: the rows in v's order are 5 3 1 4 2.
const char kRoads[] =
    "browse 5 3 1 4 2 | 2 4 1 3 5 \n"
    "seek 3 1 4 2 \n"
    "filter 3 1 4 \n"
    "modify TRUE\n"
    "delete TRUE\n"
    "add TRUE\n";
const char kHeld[] = "held 1:30 2:70 3:20 4:50 6:90 | beside 1:1 2:2 3:3 4:4 5:5 \n";
const char kHeldAfterDeleteAll[] = "delete all TRUE\nheld 1:30 3:20 | beside 1:1 2:2 3:3 4:4 5:5 \n";
const char kCatalogue[] = "described id v \ncolumns id v \ntables 1\n";

TEST_P(Names, EveryNameTheServerTakesIsReachedOnEveryRoadAndNothingElseIs) {
  const std::string pid = std::to_string(getpid());
  // Words of their own for each run, as the runs may share the database.
  const char* const words[][3] = {{"order", "key", "select"}, {"group", "where", "table"}, {"from", "limit", "index"},
                                  {"desc", "by", "union"}};
  const char* const* reserved = words[(std::get<0>(GetParam()) == 65001 ? 2 : 0) + (std::get<1>(GetParam()) ? 1 : 0)];
  const SNameCase cases[] = {
      {"backquote", "qxn" + pid + "a`b", "c`d", "qxn" + pid + "o"},
      {"quote", "qxn" + pid + "a'b", "c'd", "qxn" + pid + "o"},
      {"double quote", "qxn" + pid + "a\"b", "c\"d", "qxn" + pid + "o"},
      {"backslash", "qxn" + pid + "a\\b", "c\\d", "qxn" + pid + "o"},
      {"backslash before a quote", "qxn" + pid + "a\\'b", "c\\`d", "qxn" + pid + "o"},
      {"blank", "qxn" + pid + "a b", "c d", "qxn" + pid + "o"},
      {"dot in a column", "qxn" + pid + "d", "c.d", "qxn" + pid + "o"},
      {"digits only", "12" + pid, "345", "qxn" + pid + "o"},
      {"reserved words", reserved[0], reserved[1], reserved[2]},
      {"underscore", "qxn" + pid + "a_b", "c_d", "qxn" + pid + "axb"},
      {"percent", "qxn" + pid + "a%", "c%", "qxn" + pid + "abc"},
      {"case", "qxn" + pid + "Mixed", "Mixed", "qxn" + pid + "mixed"},
      {"e acute", "qxn" + pid + "\xC3\xA9", "c\xC3\xA9", "qxn" + pid + "o"},
  };
  for (const SNameCase& c : cases) {
    if (!Make(c, c.column)) {
      ADD_FAILURE() << c.what << ": the server refused the name";
      continue;
    }
    EXPECT_EQ(Catalogue(c), kCatalogue) << c.what;
    for (ERoad road : {ERoad::kTable, ERoad::kParsed})
      for (CHostConnectionDescription* host : {m_host, m_blocks}) {
        if (!Make(c, road == ERoad::kTable ? c.column : "v")) break;
        const std::string want = std::string(kRoads) + (road == ERoad::kTable ? kHeld : kHeldAfterDeleteAll);
        EXPECT_EQ(Roads(c, road, host), want) << c.what << ", " << RoadName(road) << (host == m_blocks ? ", blocks of 1" : "");
      }
    Raw("DROP TABLE IF EXISTS " + Quoted(c.table) + ", " + Quoted(c.beside));
  }
}

// A database of each odd name as the connection's own: a table in it is described, browsed and
// written, and the database list names the database with its table.
TEST_P(Names, EveryDatabaseNameTheServerTakesIsTheConnectionsOwn) {
  // The test user may create the databases named after its own and "_".
  const std::string stem = m_server.database + "_" + std::to_string(getpid());
  for (const std::string& database : {stem + "d`b", stem + "d'b", stem + "d\\b", stem + "d\"b", stem + "d b",
                                      stem + "d_b", stem + "d\xC3\xA9"}) {
    if (!Raw("CREATE DATABASE " + Quoted(database))) continue;
    Raw("CREATE TABLE " + Quoted(database) + ".t (id INT PRIMARY KEY, v INT)");
    Raw("INSERT INTO " + Quoted(database) + ".t VALUES (1, 20), (2, 10)");
    CHostConnectionDescription* host =
        m_connections.Add(m_server, std::string(";QX Unicode Support=") + (std::get<0>(GetParam()) == 65001 ? "1" : "0"),
                          nullptr, database);
    std::string got;
    {
      COpenRoad r;
      if (const std::string why = r.Open(m_driver, &m_loader, host, ERoad::kTable, "t"); !why.empty()) {
        got = "not open: " + why;
      } else {
        got = r.Browse(true) + "| ";
        got += r.Seek(Number(10));
        got += " | modify " + Answer(r, r.Put(Number(30)) && r->bHModifie(&r.ctx, 0, 0, kNoLock));
      }
    }
    CXYString<wchar_t> list;
    const bool listed = m_driver->bGetDatabaseList(&list, host, 1) && list.pszGet() != nullptr &&
                        std::wstring(list.pszGet()).find(WideOfUTF8(database) + L"\tt") != std::wstring::npos;
    m_driver->bCloseConnection(host);
    EXPECT_EQ(got + " | " + Held(Quoted(database) + ".t") + "| listed " + std::to_string(listed),
              "2 1 | found 2 | modify TRUE | 1:20 2:30 | listed 1")
        << database;
    Raw("DROP DATABASE " + Quoted(database));
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, Names, testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace
