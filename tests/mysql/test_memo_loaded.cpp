// Memos (TEXT and BLOB columns) through the loaded driver: values set with the host's BLOB write,
// attached from files, extracted to files and read back after a browse in blocks, on the table and
// through a parsed query. What the server then holds is read over a raw connection, byte for byte
// (a long value by its length and CRC-32). Code pages 1252 and 65001, each in the default SQL mode
// and with NO_BACKSLASH_ESCAPES; the private server keeps a packet limit of 16 MiB.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/utf.h"
#include "common/xystring.h"
#include "host/host_control.h"
#include "host/host_values.h"
#include "tests/support/every_column_type.h"
#include "tests/support/loaded_roads.h"
#include "tests/support/loaded_types.h"
#include "values/any.h"

namespace {

constexpr eNA_LOCKTYPE kNoLock{0};

unsigned int Crc32(const std::string& s) {
  unsigned int crc = 0xFFFFFFFFu;
  for (unsigned char c : s) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
// How Stored shows bytes: short ones as hexadecimal, long ones by length and CRC-32.
std::string Shown(const std::string& bytes) {
  if (bytes.size() <= 64) return HexDigits(bytes);
  return std::to_string(bytes.size()) + ":" + std::to_string(Crc32(bytes));
}

// The host's value: bytes for a binary memo, a wide text of UTF-8 for a text memo, or NULL.
struct SValue {
  bool null = false;
  std::string bytes;
};
CAny HostValue(const SValue& v, bool binary) { return HostAny(v.null, binary, v.bytes); }
// A value as the host got it: NULL, a binary's bytes, a text's UTF-8.
std::string Got(const CAny& a) {
  if (a.bIsNull()) return "NULL";
  if (a.wGetType() == ZV_BIN || a.wGetType() == ZV_BUFFER) {
    unsigned int n = 0;
    if (a.Intern()->nGetDataSize(&n) != 0) return "?";
    std::string data(n, '\0');
    if (n != 0 && a.Intern()->nFillDataBuffer(data.data()) != 0) return "?";
    return Shown(data);
  }
  CAny copy(a);
  CXYString<wchar_t> text;
  copy.__nCastTo(ZV_DSTRW, nullptr, 1);
  copy.__nFillString(text, nullptr);
  const wchar_t* w = text.pszGet();
  const int len = static_cast<int>(text.nGetLength());
  std::string utf8(static_cast<size_t>(len) * 4 + 1, '\0');
  const int n = nWideToUTF8(utf8.data(), static_cast<int>(utf8.size()), w, len);
  utf8.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return Shown(utf8);
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<no file>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class MemoLoaded : public CLoadedTypes<std::tuple<int, bool>> {
 protected:
  void SetUp() override {
    StartInSqlMode(std::get<1>(GetParam()));
    if (HasFatalFailure()) return;
    ASSERT_TRUE(HostBindValues(m_loader.Control()));
    const std::string page = std::string(";QX Unicode Support=") + (Utf8() ? "1" : "0") + ";QX CLIENT LIBRARY=" + QX_FAULT_CLIENT;
    m_host = m_connections.Add(m_server, page);
    m_blocks = m_connections.Add(m_server, page + ";QX Cache Size=2");
    for (CHostConnectionDescription* h : {m_host, m_blocks})
      ASSERT_TRUE(m_loader.bOpenConnection(h)) << Narrow(m_driver->piGetLastError()->pszGetError());
    m_table = NameOfRun("qxmemo_");
    m_dir = "/tmp/" + m_table;
    ASSERT_EQ(system(("mkdir -p " + m_dir).c_str()), 0);
  }
  void TearDown() override {
    std::string err;
    m_raw.exec("DROP TABLE IF EXISTS `" + m_table + "`", &err);
    if (system(("rm -rf " + m_dir).c_str()) != 0) ADD_FAILURE() << "rm " << m_dir;
    if (m_driver != nullptr) {
      m_driver->bCloseConnection(m_host);
      m_driver->bCloseConnection(m_blocks);
    }
    Stop();
  }
  bool Utf8() const { return std::get<0>(GetParam()) == 65001; }
  void Raw(const std::string& sql) {
    std::string err;
    EXPECT_TRUE(m_raw.exec(sql, &err)) << sql.substr(0, 200) << ": " << err;
  }
  // The table (id, v of type, n INT) made anew.
  void Make(const std::string& type) {
    Raw("DROP TABLE IF EXISTS `" + m_table + "`");
    Raw("CREATE TABLE `" + m_table + "` (id INT PRIMARY KEY, v " + type + ", n INT)");
  }
  // v and n of row id as the server holds them, "none" without the row.
  std::string Stored(int id) {
    RawRows rows;
    std::string err;
    if (!m_raw.query("SELECT IF(v IS NULL, 'NULL', IF(LENGTH(v) <= 64, HEX(v), CONCAT(LENGTH(v), ':', CRC32(v)))), "
                     "IFNULL(n, 'NULL') FROM `" + m_table + "` WHERE id = " + std::to_string(id),
                     &rows, &err))
      return "error " + err;
    return rows.empty() ? "none" : rows[0][0].value_or("?") + " n=" + rows[0][1].value_or("?");
  }
  std::string Open(COpenRoad* road, ERoad kind, CHostConnectionDescription* host = nullptr) {
    return road->Open(m_driver, &m_loader, host != nullptr ? host : m_host, kind, m_table);
  }
  // The road's answer: TRUE, or FALSE with its error code.
  static std::string Answer(COpenRoad& road, BOOL ok) { return ok ? "TRUE" : "FALSE " + road.Error(); }
  std::string Path(const char* name) const { return m_dir + "/" + name; }

  std::string m_table, m_dir;
  CHostConnectionDescription* m_blocks = nullptr;
};

struct SMemoCase {
  const char* name;
  const char* type;
  SValue value;
  // The error of a refusal ("" when stored): 22 the server's (the column's limit), 320101 past
  // the packet limit, 60 a character a 1252 connection cannot carry (refused on 1252 only).
  const char* refusal = "";
};

std::vector<SMemoCase> MemoCases() {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const char* text = "TEXT CHARACTER SET utf8mb4";
  return {
      {"empty blob", "BLOB", {false, ""}},
      {"null blob", "BLOB", {true, ""}},
      {"nul bytes", "BLOB", {false, std::string("\0a\0\0", 4)}},
      {"every byte", "BLOB", {false, all}},
      {"blob at its limit", "BLOB", {false, std::string(65535, '\xA5')}},
      {"blob past its limit", "BLOB", {false, std::string(65536, 'b')}, "22 "},
      {"megabyte", "LONGBLOB", {false, std::string(1 << 20, '\x5C')}},
      {"ten megabytes", "LONGBLOB", {false, std::string(10 << 20, '\xFE')}},
      {"past the packet", "LONGBLOB", {false, std::string(17 << 20, 'p')}, "320101 "},
      {"empty text", text, {false, ""}},
      {"null text", text, {true, ""}},
      {"text with nul", text, {false, std::string("a\0b", 3)}},
      {"quotes", text, {false, "it's \\' \"q\" \\\\ ''"}},
      {"1252 characters", text, {false, "\xC3\xA9\xE2\x82\xAC\xC5\x93"}},
      {"above U+FFFF", text, {false, "a\xF0\x9F\x98\x80" "b"}, "60 v"},
      {"text at its limit", text, {false, std::string(65535, 't')}},
      {"text past its limit", text, {false, std::string(65536, 't')}, "22 "},
  };
}

// Each value added and written over another through the table and a parsed query: stored as it
// was given, or refused with the row left as it was.
TEST_P(MemoLoaded, EveryValueIsStoredWholeOrRefusedWithNothingWritten) {
  for (const SMemoCase& c : MemoCases()) {
    const bool binary = std::string(c.type).find("BLOB") != std::string::npos;
    const std::string refusal = std::string(c.refusal) == "60 v" && Utf8() ? "" : c.refusal;
    const bool refused = !refusal.empty();
    const std::string answer = refused ? "FALSE " + refusal : "TRUE";
    for (ERoad kind : {ERoad::kTable, ERoad::kParsed}) {
      SCOPED_TRACE(std::string(c.name) + " " + RoadName(kind));
      // The query reads id and v only: its add leaves n NULL.
      const std::string n7 = kind == ERoad::kTable ? " n=7" : " n=NULL";
      const std::string want = c.value.null ? "NULL" : Shown(c.value.bytes);
      Make(c.type);
      {
        COpenRoad road;
        ASSERT_EQ(Open(&road, kind), "");
        CAny id, n;
        id.SetI4(1);
        n.SetI4(7);
        const BOOL ok = road.Put(id, L"id") && (kind != ERoad::kTable || road.Put(n, L"n")) &&
                        road.Put(HostValue(c.value, binary)) &&
                        road->bHAjoute(&road.ctx, 0, kNoLock);
        EXPECT_EQ(Answer(road, ok), answer);
        EXPECT_EQ(Stored(1), refused ? "none" : want + n7);
      }
      Raw("REPLACE INTO `" + m_table + "` VALUES (1, 'x', 7)");
      COpenRoad road;
      ASSERT_EQ(Open(&road, kind), "");
      ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << road.FullError();
      const BOOL ok = road.Put(HostValue(c.value, binary)) && road->bHModifie(&road.ctx, 0, 0, kNoLock);
      EXPECT_EQ(Answer(road, ok), answer);
      EXPECT_EQ(Stored(1), (refused ? "78" : want) + " n=7");
      // The connection serves the next write after a refusal.
      EXPECT_EQ(Answer(road, road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0) &&
                                 road.Put(HostValue({false, "y"}, binary)) && road->bHModifie(&road.ctx, 0, 0, kNoLock)),
                "TRUE");
      EXPECT_EQ(Stored(1), "79 n=7");
    }
  }
}

// A modify of another column sends the memo as it was read: its bytes stay, also a character the
// 1252 connection reads as '?'.
TEST_P(MemoLoaded, ModifyOfAnotherColumnLeavesTheMemoUntouched) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const struct {
    const char* type;
    std::string sql;
  } cases[] = {{"BLOB", "X'" + HexDigits(all) + "'"},
               {"TEXT CHARACTER SET utf8mb4", "_utf8mb4 X'" + HexDigits("a\xF0\x9F\x98\x80\xE6\x9D\xB1\0z") + "'"},
               {"TEXT CHARACTER SET latin1", "X'41E98081'"},
               {"LONGBLOB", "REPEAT('m', 1048577)"},
               {"LONGBLOB", "REPEAT('M', 16777000)"}};
  for (const auto& c : cases) {
    for (CHostConnectionDescription* host : {m_host, m_blocks}) {
      SCOPED_TRACE(std::string(c.type) + (host == m_blocks ? " in blocks" : ""));
      Make(c.type);
      std::string before;
      for (int i = 1; i <= 4; ++i) {
        Raw("INSERT INTO `" + m_table + "` VALUES (" + std::to_string(i) + ", CONCAT(" + c.sql + ", " + std::to_string(i) +
            "), 1)");
        before += Stored(i) + "\n";
      }
      COpenRoad road;
      ASSERT_EQ(Open(&road, ERoad::kTable, host), "");
      // The memo of row 2 read, the browse gone on to row 3 (past a block of two).
      ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << road.FullError();
      ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0)) << road.FullError();
      CAny memo;
      EXPECT_TRUE(road->bGetBLOB(&road.ctx, 0, &memo));
      ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0)) << road.FullError();
      CAny n;
      n.SetI4(2);
      EXPECT_EQ(Answer(road, road.Put(n, L"n") && road->bHModifie(&road.ctx, 0, 0, kNoLock)), "TRUE");
      std::string after;
      for (int i = 1; i <= 4; ++i) after += Stored(i) + "\n";
      const size_t third = before.find("n=1", before.find("n=1", before.find("n=1") + 1) + 1);
      EXPECT_EQ(after, before.replace(third, 3, "n=2"));
    }
  }
}

// A file attached to a memo becomes its value when the record is written; a file that cannot be
// read refuses the write and leaves the row as it was.
TEST_P(MemoLoaded, AttachedFileBecomesTheValueAndAMissingOneRefusesTheWrite) {
  std::string big(1 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 8));
  std::ofstream(Path("empty"), std::ios::binary).flush();
  std::ofstream(Path("big"), std::ios::binary).write(big.data(), static_cast<std::streamsize>(big.size()));
  const struct {
    const char* file;
    std::string answer, stored;
  } cases[] = {{"empty", "TRUE", " n=1"}, {"big", "TRUE", Shown(big) + " n=1"}, {"missing", "FALSE", "78 n=1"}};
  Make("MEDIUMBLOB");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Raw("DELETE FROM `" + m_table + "`");
    Raw("INSERT INTO `" + m_table + "` VALUES (1, 'x', 1)");
    COpenRoad road;
    ASSERT_EQ(Open(&road, ERoad::kTable), "");
    ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0)) << road.FullError();
    const std::wstring path = WideOfUTF8(Path(c.file));
    EXPECT_EQ(Answer(road, road->bHAttacheMemo(&road.ctx, 0, path.c_str()) && road->bHModifie(&road.ctx, 0, 0, kNoLock))
                  .substr(0, c.answer.size()),
              c.answer);
    EXPECT_EQ(Stored(1), c.stored);
    // The same file added as a new row's memo.
    CAny id;
    id.SetI4(2);
    EXPECT_EQ(Answer(road, road.Put(id, L"id") && road->bHAttacheMemo(&road.ctx, 0, path.c_str()) &&
                               road->bHAjoute(&road.ctx, 0, kNoLock))
                  .substr(0, c.answer.size()),
              c.answer);
    EXPECT_EQ(Stored(2), c.answer == "TRUE" ? c.stored : "none");
    // Once written, the file is no longer the memo's: a later write of another column leaves it.
    std::ofstream(Path(c.file), std::ios::binary) << "changed";
    CAny n;
    n.SetI4(5);
    ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    EXPECT_EQ(Answer(road, road.Put(n, L"n") && road->bHModifie(&road.ctx, 0, 0, kNoLock)), "TRUE");
    EXPECT_EQ(Stored(1), c.stored.substr(0, c.stored.size() - 1) + "5");
    std::remove(Path(c.file).c_str());
  }
}

// A file that is not UTF-8 attached to a Unicode memo is read in the host's page.
TEST_P(MemoLoaded, NonUtf8FileAttachedToAUnicodeMemoIsReadInTheHostsPage) {
  std::ofstream(Path("latin"), std::ios::binary) << "a\xE9\x80";
  Make("TEXT CHARACTER SET utf8mb4");
  Raw("INSERT INTO `" + m_table + "` VALUES (1, 'x', 1)");
  COpenRoad road;
  ASSERT_EQ(Open(&road, ERoad::kTable), "");
  ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
  const std::wstring path = WideOfUTF8(Path("latin"));
  EXPECT_EQ(Answer(road, road->bHAttacheMemo(&road.ctx, 0, path.c_str()) && road->bHModifie(&road.ctx, 0, 0, kNoLock)),
            "TRUE");
  EXPECT_EQ(Stored(1), HexDigits("a\xC3\xA9\xE2\x82\xAC") + " n=1");
}

// Rows read in blocks of two: each row's memo read and extracted to a file is that row's own.
TEST_P(MemoLoaded, EachRowOfABrowseInBlocksReadsAndExtractsItsOwnMemo) {
  Make("BLOB");
  const std::vector<SValue> values = {{false, std::string("\0\xFF\x5C'", 4)}, {true, ""}, {false, ""},
                                      {false, std::string(70, 'q')}, {false, "last"}};
  for (size_t i = 0; i < values.size(); ++i)
    Raw("INSERT INTO `" + m_table + "` VALUES (" + std::to_string(i + 1) + ", " +
        (values[i].null ? std::string("NULL") : "X'" + HexDigits(values[i].bytes) + "'") + ", 0)");
  for (ERoad kind : {ERoad::kTable, ERoad::kParsed}) {
  SCOPED_TRACE(RoadName(kind));
  COpenRoad road;
  ASSERT_EQ(Open(&road, kind, m_blocks), "");
  const std::wstring path = WideOfUTF8(Path("out"));
  size_t i = 0;
  for (eNA_PARSEDIRECTION dir = NA_PARSE_FIRST; road->bHLitxxx(&road.ctx, L"id", dir, 1, kNoLock, nullptr, 0);
       dir = NA_PARSE_NEXT, ++i) {
    if (road.Current(L"id") == "out") break;
    ASSERT_LT(i, values.size());
    SCOPED_TRACE(i + 1);
    // Extracted before it is read, then read.
    std::remove(Path("out").c_str());
    EXPECT_TRUE(road->bExtraitMemo(&road.ctx, 0, path.c_str())) << road.FullError();
    EXPECT_EQ(HexDigits(FileBytes(Path("out"))), HexDigits(values[i].bytes));
    CAny value;
    EXPECT_TRUE(road->bGetBLOB(&road.ctx, 0, &value)) << road.FullError();
    EXPECT_EQ(Got(value), values[i].null ? "NULL" : Shown(values[i].bytes));
  }
  EXPECT_EQ(i, values.size());
  }
}

// After a write the memo reads, extracts and reads again from the server as it was written.
TEST_P(MemoLoaded, WrittenMemoReadsAndExtractsAsWritten) {
  const std::string bytes("\0\x01'\\\xFF", 5);
  for (ERoad kind : {ERoad::kTable, ERoad::kParsed}) {
    SCOPED_TRACE(RoadName(kind));
    Make("BLOB");
    Raw("INSERT INTO `" + m_table + "` VALUES (1, 'x', 1), (2, 'y', 2)");
    COpenRoad road;
    ASSERT_EQ(Open(&road, kind, m_blocks), "");
    ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    const std::wstring path = WideOfUTF8(Path("written"));
    const struct {
      const char* step;
      std::function<BOOL()> write;
    } steps[] = {{"set", [&] { return road.Put(HostValue({false, bytes}, true)); }},
                 {"modified", [&] { return road->bHModifie(&road.ctx, 0, 0, kNoLock); }},
                 {"read again", [&] {
                    return road->bHLitxxx(&road.ctx, L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0) &&
                           road->bHLitxxx(&road.ctx, L"id", NA_PARSE_PREVIOUS, 1, kNoLock, nullptr, 0);
                  }}};
    for (const auto& step : steps) {
      SCOPED_TRACE(step.step);
      ASSERT_TRUE(step.write()) << road.FullError();
      CAny value;
      EXPECT_TRUE(road->bGetBLOB(&road.ctx, 0, &value));
      EXPECT_EQ(Got(value), HexDigits(bytes));
      EXPECT_TRUE(road->bExtraitMemo(&road.ctx, 0, path.c_str()));
      EXPECT_EQ(HexDigits(FileBytes(Path("written"))), HexDigits(bytes));
    }
    EXPECT_EQ(Stored(1), HexDigits(bytes) + " n=1");
    EXPECT_EQ(Stored(2), "79 n=2");
  }
}

// A record read and added again under another id carries the memo it read, unread till then,
// also when the rows came in blocks and the browse went on past it.
TEST_P(MemoLoaded, AddOfAReadRecordCopiesItsOwnMemo) {
  Make("BLOB");
  for (int i = 1; i <= 5; ++i)
    Raw("INSERT INTO `" + m_table + "` VALUES (" + std::to_string(i) + ", X'00" + HexDigits(std::string(1, char('0' + i))) +
        "5C27FF', " + std::to_string(i) + ")");
  for (CHostConnectionDescription* host : {m_host, m_blocks}) {
    COpenRoad road;
    ASSERT_EQ(Open(&road, ERoad::kTable, host), "");
    ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    for (int k = 0; k < 2; ++k) ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_NEXT, 1, kNoLock, nullptr, 0));
    const int id = host == m_host ? 10 : 11;
    CAny number;
    number.SetI4(id);
    EXPECT_EQ(Answer(road, road.Put(number, L"id") && road->bHAjoute(&road.ctx, 0, kNoLock)), "TRUE");
    EXPECT_EQ(Stored(id), Stored(3).substr(0, 10) + " n=3");
  }
}

// A utf8mb4 text memo is a Unicode memo on both pages: extracted it holds UTF-8, and attached back
// it gives the same text.
TEST_P(MemoLoaded, TextMemoExtractedAndAttachedBackIsTheSameText) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC'\\";
  Make("TEXT CHARACTER SET utf8mb4");
  Raw("INSERT INTO `" + m_table + "` VALUES (1, _utf8mb4 X'" + HexDigits(text) + "', 1)");
  COpenRoad road;
  ASSERT_EQ(Open(&road, ERoad::kTable), "");
  ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
  const std::wstring path = WideOfUTF8(Path("text"));
  EXPECT_TRUE(road->bExtraitMemo(&road.ctx, 0, path.c_str())) << road.FullError();
  EXPECT_EQ(HexDigits(FileBytes(Path("text"))), HexDigits(text));
  Raw("UPDATE `" + m_table + "` SET v = 'other'");
  ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
  EXPECT_EQ(Answer(road, road->bHAttacheMemo(&road.ctx, 0, path.c_str()) && road->bHModifie(&road.ctx, 0, 0, kNoLock)),
            "TRUE");
  EXPECT_EQ(Stored(1), HexDigits(text) + " n=1");
}

// Without strict mode the server cuts a value longer than its column and warns; the write answers
// as the server does.
TEST_P(MemoLoaded, NonStrictServerCutsALongValueAsARawInsertDoes) {
  void* client = dlopen(QX_FAULT_CLIENT, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(client, nullptr);
  auto session = reinterpret_cast<void (*)(const char*)>(dlsym(client, "qxfault_session_sql"));
  session("SET SESSION sql_mode = ''");
  CHostConnectionDescription* loose = m_connections.Add(
      m_server, std::string(";QX Unicode Support=") + (Utf8() ? "1" : "0") + ";QX Cache Size=3;QX CLIENT LIBRARY=" + QX_FAULT_CLIENT);
  ASSERT_TRUE(m_loader.bOpenConnection(loose));
  Make("BLOB");
  Raw("INSERT INTO `" + m_table + "` VALUES (1, 'x', 1)");
  {
    COpenRoad road;
    ASSERT_EQ(road.Open(m_driver, &m_loader, loose, ERoad::kTable, m_table), "");
    ASSERT_TRUE(road->bHLitxxx(&road.ctx, L"id", NA_PARSE_FIRST, 1, kNoLock, nullptr, 0));
    std::string value(65536 + 10, 'c');
    EXPECT_EQ(Answer(road, road.Put(HostValue({false, value}, true)) && road->bHModifie(&road.ctx, 0, 0, kNoLock)), "TRUE") << road.FullError();
    EXPECT_EQ(Stored(1), Shown(value.substr(0, 65535)) + " n=1");
  }
  m_driver->bCloseConnection(loose);
  session(std::get<1>(GetParam()) ? "SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')" : "");
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, MemoLoaded, testing::Combine(testing::Values(1252, 65001), testing::Bool()));

}  // namespace
