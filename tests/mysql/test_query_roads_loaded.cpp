// A query's columns read, sought, filtered, browsed and written as the table's own columns are:
// each case runs on the table road, a query the host parsed and the same query sent as written,
// through the loaded driver against the private server, and every road must answer what the
// table road answers (a query sent as written refuses writes).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/utf.h"
#include "host/host_control.h"
#include "tests/support/hostconnections.h"
#include "tests/support/loaded_roads.h"
#include "tests/support/loaded_types.h"
#include "tests/support/rawmysql.h"
#include "values/any.h"

namespace {

CAny Text(const std::string& utf8) {
  const std::wstring w = WideOfUTF8(utf8);
  CAny any;
  any.__SetType(ZV_DSTRW, 0);
  any.SetValueByte(w.data(), static_cast<unsigned int>(w.size() * sizeof(wchar_t)));
  return any;
}
CAny Bytes(const std::string& bytes) {
  CAny any;
  any.SetBIN(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned int>(bytes.size()));
  return any;
}

const std::string kEmoji = "\xF0\x9F\x98\x80", kOdblAcute = "\xC5\x91";
// A query sent as written is neither filtered nor written to (user error 35; a filter names its
// item).
const std::string kAsWrittenRefusesFilters = "read failed 35 v", kAsWrittenRefusesWrites = "refused 35 ";

class QueryRoads : public CLoadedTypes<int> {
 protected:
  void SetUp() override {
    Start();
    if (HasFatalFailure()) return;
    m_host = m_connections.Add(m_server, Utf8() ? ";QX Unicode Support=1" : ";QX Unicode Support=0");
    m_table = "qxroads_" + std::to_string(getpid()) + "_" + std::to_string(GetParam());
  }
  void TearDown() override {
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS `" + m_table + "`", &err);
    Stop();
  }
  bool Utf8() const { return GetParam() == 65001; }
  // The test's table made anew: (id INT PRIMARY KEY, v type) holding the rows given as "(1, ...)".
  void Make(const std::string& type, const std::string& rows) {
    std::string err;
    ASSERT_TRUE(m_raw.exec("DROP TABLE IF EXISTS `" + m_table + "`", &err)) << err;
    ASSERT_TRUE(m_raw.exec("CREATE TABLE `" + m_table + "` (id INT PRIMARY KEY, v " + type + ")", &err)) << err;
    if (!rows.empty()) {
      ASSERT_TRUE(m_raw.exec("INSERT INTO `" + m_table + "` VALUES " + rows, &err)) << err;
    }
  }
  std::string Stored(int id) { return CLoadedTypes::Stored(m_table, id); }
  // what(road) on every road, as "road: answer" lines.
  template <typename F>
  std::string OnEveryRoad(F what, const std::string& where = "") {
    std::string out;
    for (ERoad road : kEveryRoad) {
      COpenRoad open;
      const std::string why = open.Open(m_driver, &m_loader, m_host, road, m_table, where);
      out += std::string(RoadName(road)) + ": " + (why.empty() ? what(open, road) : "not open: " + why) + "\n";
    }
    return out;
  }
  // The same answer on every road, but where a query sent as written answers otherwise by design.
  static std::string Alike(const std::string& answer, const std::string& asWritten = "") {
    std::string out;
    for (ERoad road : kEveryRoad)
      out += std::string(RoadName(road)) + ": " +
             (road == ERoad::kAsWritten && !asWritten.empty() ? asWritten : answer) + "\n";
    return out;
  }

  std::string m_table;
};

// A BIT column is compared as the number its bytes make on every road, found by its own bytes.
TEST_P(QueryRoads, BitColumnOfAQuerySoughtAndFilteredAsANumber) {
  Make("BIT(8)", "(1, b'00000001'), (2, b'10000000'), (3, NULL), (4, b'00000000')");
  const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
    return r.Seek(Bytes("\x80")) + ", " + r.Seek(Bytes(std::string(1, '\0'))) + ", " + r.Seek(Bytes("\x02")) +
           ", filtered " + r.Filter(Bytes("\x01"), Bytes("\xFF"));
  });
  EXPECT_EQ(got, Alike("found 2, found 4, not found, filtered 1 2 ",
                       "found 2, found 4, not found, filtered " + kAsWrittenRefusesFilters));
}

// A character above U+FFFF sought or filtered on a ucs2 or 3-byte UTF-8 column equals no row
// and stands where U+FFFD stands, on every road, instead of the server's illegal mix of
// collations; so does such a character in the host's parsed condition, whether or not the items
// it was parsed against name their source.
TEST_P(QueryRoads, CharacterAboveTheBmpOnAUcs2ColumnOfAQueryEqualsNoRow) {
  if (!Utf8()) GTEST_SKIP() << "a 1252 connection refuses the character itself";
  for (const char* type : {"VARCHAR(20) CHARACTER SET ucs2", "VARCHAR(20) CHARACTER SET utf8mb3"}) {
    Make(type, "(1, 'a'), (2, 'b'), (3, 'z')");
    const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
      return r.Seek(Text(kEmoji)) + ", " + r.Seek(Text("a" + kEmoji)) + ", filtered " +
             r.Filter(Text("b"), Text(kEmoji));
    });
    EXPECT_EQ(got, Alike("not found, not found, filtered 2 3 ",
                         "not found, not found, filtered " + kAsWrittenRefusesFilters))
        << type;
    // The host's own condition, parsed against items naming their source or, as the host describes
    // a file of its own, none; sent as written, the server judges it.
    const struct {
      std::string where;
      const char* want;
    } conditions[] = {{" WHERE v = '" + kEmoji + "'", ""},
                      {" WHERE v <> '" + kEmoji + "'", "1 2 3 "},
                      {" WHERE v = '" + kEmoji + "' OR v > 'y'", "3 "},
                      {" WHERE v <> '" + kEmoji + "' AND v < 'y'", "1 2 "},
                      {" WHERE v > '" + kEmoji + "' OR v < 'b'", "1 "}};
    for (const bool sourced : {true, false})
      for (const auto& c : conditions) {
        COpenRoad parsed;
        const std::string why =
            parsed.Open(m_driver, &m_loader, m_host, ERoad::kParsed, m_table, c.where, {"", L"v", sourced});
        EXPECT_EQ(why.empty() ? parsed.Browse(true) : why, c.want)
            << type << c.where << (sourced ? "" : ", items naming no source");
      }
  }
}

// On a 1252 connection a wide value the page cannot hold, written or sought through a query, is
// refused with user error 60 naming its item, and nothing is written.
TEST_P(QueryRoads, WideValueBeyondThePageThroughAQueryIsRefusedNamingItsItem) {
  if (Utf8()) GTEST_SKIP() << "a 65001 connection carries every character";
  const struct {
    const char* type;
    const char* rows;
    std::string wide;
    bool sought;
  } cases[] = {{"VARCHAR(20) CHARACTER SET utf8mb4", "(1, 'x'), (2, 'a?')", "a" + kOdblAcute, true},
               {"TEXT CHARACTER SET utf8mb4", "(1, 'x'), (2, 'a?')", "a" + kOdblAcute, false},
               {"JSON", "(1, '\"x\"'), (2, '\"a?\"')", "\"a" + kOdblAcute + "\"", false}};
  for (const auto& c : cases) {
    Make(c.type, c.rows);
    const std::string before = Stored(1);
    const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
      std::string out = c.sought ? r.Seek(Text(c.wide)) + ", " : "";
      r->bHLitxxx(&r.ctx, L"id", NA_PARSE_FIRST, 1, eNA_LOCKTYPE{0}, nullptr, 0);
      out += r.Put(Text(c.wide)) && r->bHModifie(&r.ctx, 0, 0, eNA_LOCKTYPE{0}) ? "modified" : "refused " + r.Error();
      return out + (Stored(1) == before ? " unchanged" : " written " + Stored(1));
    });
    const std::string seek = c.sought ? "FALSE 60 v, " : "";
    EXPECT_EQ(got, Alike(seek + "refused 60 v unchanged", seek + kAsWrittenRefusesWrites + " unchanged")) << c.type;
  }
}

// A query sent as written seeks its client-side index by binary keys that keep their length:
// X'27' and X'2700' are two keys.
TEST_P(QueryRoads, BinaryKeysOfAQueryIndexKeepTheirLength) {
  Make("VARBINARY(4)", "(1, X'27'), (2, X'2700'), (3, X'3F00'), (4, X'3F'), (5, X'0000'), (6, X'00'), (7, X'')");
  const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
    std::string out;
    for (const std::string& b : {std::string("\x27"), std::string("\x27\0", 2), std::string("\x3F\0", 2),
                                 std::string("\x3F"), std::string("\0\0", 2), std::string(1, '\0'), std::string()})
      out += r.Seek(Bytes(b)) + ", ";
    return out + "from X'' " + r.SeekOn(Bytes("")) + "| from X'3F00' back " + r.SeekOn(Bytes(std::string("\x3F\0", 2)), false);
  });
  EXPECT_EQ(got, Alike("found 1, found 2, found 3, found 4, found 5, found 6, found 7, from X'' 7 6 5 1 2 4 3 | from "
                       "X'3F00' back 3 4 2 1 5 6 7 "));
}

// A BINARY(n) column holds its value padded with NUL bytes, which are its own: a seek of the
// shorter value finds no row on any road.
TEST_P(QueryRoads, PaddedBinaryValueIsNotTheShorterOne) {
  Make("BINARY(4)", "(1, X'00'), (2, X'616263')");
  const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
    return r.Seek(Bytes(std::string(1, '\0'))) + ", " + r.Seek(Bytes("abc")) + ", " +
           r.Seek(Bytes(std::string(4, '\0'))) + ", " + r.Seek(Bytes(std::string("abc\0", 4)));
  });
  EXPECT_EQ(got, Alike("not found, not found, found 1, found 2"));
}

// A query browsed in blocks on an ENUM or SET column reads its rows in the server's order, by
// member number, each once, as the table does. (A query sent as written is read in its own
// order, and its client-side index orders texts by their code units: not compared here.)
TEST_P(QueryRoads, EnumAndSetColumnsOfAQueryBrowseInBlocksByMemberNumber) {
  const struct {
    const char* type;
    const char* rows;
  } cases[] = {{"ENUM('b','a','c')", "(1, 'a'), (2, 'b'), (3, 'c'), (4, 'a'), (5, NULL)"},
               {"SET('b','a','c')", "(1, 'a'), (2, 'b'), (3, 'c'), (4, 'a,b'), (5, '')"}};
  for (const char* extra : {";QX Cache Size=1", ";QX Cache Size=2", ""}) {
    m_host = m_connections.Add(m_server, std::string(Utf8() ? ";QX Unicode Support=1" : ";QX Unicode Support=0") + extra);
    for (const auto& c : cases) {
      Make(c.type, c.rows);
      for (ERoad road : {ERoad::kTable, ERoad::kParsed}) {
        COpenRoad r;
        ASSERT_EQ(r.Open(m_driver, &m_loader, m_host, road, m_table), "");
        EXPECT_EQ(r.Browse(true) + "| " + r.Browse(false), "5 2 1 4 3 | 3 4 1 2 5 ") << c.type << extra << " " << RoadName(road);
      }
    }
  }
}

// A number sought by its text is compared in the column's type, as a condition on the server
// compares it: the float or double nearest to the text, an integer rounded. A query sent as
// written, sought in its client-side index, finds the row too; so does a return to the seek's
// saved position.
TEST_P(QueryRoads, NumberSoughtByItsTextIsComparedInTheColumnsType) {
  const struct {
    const char* type;
    const char* rows;
    std::vector<const char*> sought;
    const char* want;  // with the first seek's row after the return to it
  } cases[] = {
      {"FLOAT", "(1, 3.40282e38), (2, -0.000123457), (3, -1.17549e-38), (4, 1.5)",
       {"3.40282e38", "-0.000123457", "-1.17549e-38", "1.5", "1.6"},
       "found 1, found 2, found 3, found 4, not found, returned found 1"},
      {"DOUBLE", "(1, 0.1), (2, 0.3), (3, 1e-300)", {"0.1", "0.3", "1e-300", "0.2"},
       "found 1, found 2, found 3, not found, returned found 1"},
      {"INT", "(1, 1), (2, 2), (3, -2)", {"1.5", "1.4", "-1.5", "2.5"},
       "found 2, found 1, found 3, not found, returned found 2"},
  };
  for (const auto& c : cases) {
    Make(c.type, c.rows);
    const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
      std::string out;
      for (const char* s : c.sought) out += r.Seek(Text(s)) + ", ";
      // Back on the first seek's row, by its saved position.
      r.Seek(Text(c.sought[0]));
      int id = 0;
      if (!r->bHSauvePosition(&r.ctx, L"v", &id, 0)) return out + "not saved " + r.Error();
      r->bHLitxxx(&r.ctx, L"id", NA_PARSE_LAST, 1, eNA_LOCKTYPE{0}, nullptr, 0);
      if (!r->bHRetourPosition(&r.ctx, id, nullptr, 0, 0)) return out + "not returned " + r.Error();
      int found = 0;
      r->bEvalHTrouve(&r.ctx, L"v", &found, nullptr);
      return out + "returned " + (found != 0 ? "found " : "not found ") + r.Current();
    });
    EXPECT_EQ(got, Alike(c.want)) << c.type;
  }
}

// A query's TIME column is a time item, as the table's own: sought by a time's text, whole or
// by its start (generic), it finds the rows the table finds.
TEST_P(QueryRoads, TimeColumnOfAQueryIsSoughtByATimesText) {
  const struct {
    const char* type;
    const char* rows;
    const char* want;
    const char* generic;
  } cases[] = {
      // The item keeps HHMMSS: longer digits are cut, shorter ones completed with zeros.
      {"TIME", "(1, '23:59:00'), (2, '23:59:59'), (3, '12:00:01'), (4, NULL), (5, '00:00:00')",
       "found 1, found 2, found 2, not found, found 2, not found, not found, found 3, ",
       "found 1, not found, found 2, found 2, not found, found 1, found 3, not found, "},
      // HHMMSS and milliseconds.
      {"TIME(3)", "(1, '23:59:00'), (2, '23:59:59.500'), (3, '12:00:01.001')",
       "found 1, not found, not found, not found, not found, not found, not found, found 3, ",
       "found 1, not found, found 2, found 2, not found, found 1, found 3, found 3, "},
  };
  const char* sought[] = {"2359", "235959000", "235959", "23595", "2359590", "23", "12", "120001001"};
  for (const auto& c : cases) {
    Make(c.type, c.rows);
    const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
      std::string whole, start;
      for (const char* s : sought) {
        whole += r.Seek(Text(s)) + ", ";
        start += r.Seek(Text(s), true) + ", ";
      }
      return whole + "| " + start;
    });
    EXPECT_EQ(got, Alike(std::string(c.want) + "| " + c.generic)) << c.type;
  }
}

// The texts of a query's memo column, sought in its client-side index, are compared in the
// width the rows hold them: a wide text sought on a page connection finds its own row, not the
// first row after its bytes.
TEST_P(QueryRoads, TextSoughtInAQueryMemoIndexIsComparedInTheRowsWidth) {
  const std::string first = "{\"a\": \"x\"}", second = "{\"a\": [1, \"x\"]}";
  for (const char* type : {"JSON", "TEXT CHARACTER SET utf8mb4", "TEXT CHARACTER SET latin1"}) {
    Make(type, "(1, '" + first + "'), (2, '" + second + "'), (3, '[]')");
    const std::string got = OnEveryRoad([&](COpenRoad& r, ERoad) {
      return r.Seek(Text(second)) + ", " + r.Seek(Text(first)) + ", " + r.Seek(Text("[]")) + ", " +
             r.Seek(Text("{")) + ", " + r.Seek(Text(second), true);
    });
    EXPECT_EQ(got, Alike("found 2, found 1, found 3, not found, found 2")) << type;
  }
}

INSTANTIATE_TEST_SUITE_P(CodePages, QueryRoads, testing::Values(1252, 65001));

}  // namespace
