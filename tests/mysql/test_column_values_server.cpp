// Values of column types whose bytes the items must keep exactly, read through the statement's
// columns and written back, on both code pages and both SQL modes: BIT and BINARY columns,
// results of the binary character set and unsigned results typed from the server's fields, an
// unsigned identifier above the signed range, NUL characters in memos, and memos extracted to a
// file and attached again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "sql/naitemtype.h"
#include "tests/mysql/statement_bench.h"

namespace {

class LiveColumnValues : public LiveStatementBench {
 protected:
  LiveColumnValues() : LiveStatementBench("_cv") {}
  std::string T() const { return m_strTable; }
  // The server's bytes of the columns of row id, in hexadecimal, "|" between them.
  std::string Hex(const std::string& columns, int id) {
    std::string list;
    for (size_t at = 0; at < columns.size();) {
      const size_t comma = std::min(columns.find(',', at), columns.size());
      list += (list.empty() ? "" : ", ") + ("HEX(" + columns.substr(at, comma - at) + ")");
      at = comma + 1;
    }
    return Got("SELECT " + list + " FROM " + Q(T()) + " WHERE id = " + std::to_string(id));
  }
  // Each column of the list read into the record, then set again from the value read and the
  // row updated: the server's bytes before and after, and the values read ("|" between them).
  std::string ReadAndWriteBack(Opened* o, const std::vector<const wchar_t*>& columns, int id, std::string* before) {
    std::string names;
    for (const wchar_t* c : columns) names += (names.empty() ? "" : ",") + Utf8(c);
    *before = Hex(names, id);
    if (!Read(o, "id = " + std::to_string(id))) return "not read: " + Err();
    std::string values;
    for (const wchar_t* c : columns) {
      CAny v;
      if (!o->Column(c)->bGetCurrentValue(&v, 0)) return "no value";
      values += (values.empty() ? "" : "|") + Utf8(Show(v));
      if (!Set(o, c, v)) return "not set: " + Err();
    }
    if (!Exec(o, NA_QUERY_UPDATE)) return "not written: " + m_sent + ": " + Err();
    const std::string after = Hex(names, id);
    return after == *before ? values : values + " but the server holds " + after + " for " + *before;
  }
};

// A BIT column is read as its bytes (an integer item refused them, and no row could be read),
// and written back unchanged.
TEST_P(LiveColumnValues, BitColumnsReadAsTheirBytesAndWriteBackUnchanged) {
  Create(T(), "(id INT PRIMARY KEY, b1 BIT(1) NULL, b8 BIT(8) NULL, b12 BIT(12) NULL, b64 BIT(64) NULL, n INT)");
  Raw("INSERT INTO " + Q(T()) +
      " VALUES (1, b'1', b'11111111', b'100000000001', 0xFFFFFFFFFFFFFFFF, 1), "
      "(2, b'0', b'0', b'0', 0, 2), (3, NULL, b'10000000', b'1', 0x8000000000000001, 3)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  const struct {
    int id;
    const char* values;
  } rows[] = {
      {1, "01|FF|0801|FFFFFFFFFFFFFFFF"}, {2, "00|00|0000|0000000000000000"}, {3, "NULL|80|0001|8000000000000001"}};
  for (const auto& row : rows) {
    std::string before;
    EXPECT_EQ(ReadAndWriteBack(o, {L"b1", L"b8", L"b12", L"b64"}, row.id, &before), row.values) << row.id;
  }
}

// A keyless table names its row by every column: a BIT column's value there is the number its
// bytes make (as a quoted string the server took it for 0, and the row was not found).
TEST_P(LiveColumnValues, KeylessRowWithABitColumnIsUpdatedAndDeletedByItsValues) {
  Create(T(), "(b12 BIT(12) NULL, b64 BIT(64) NULL, n INT)");
  Raw("INSERT INTO " + Q(T()) +
      " VALUES (0, 0, 1), (b'100000000001', 0xFFFFFFFFFFFFFFFF, 2), (4095, 1, 3), (NULL, NULL, 4)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  for (const int n : {2, 3, 1, 4}) {
    ASSERT_TRUE(Read(o, "n = " + std::to_string(n))) << Err();
    ASSERT_TRUE(Set(o, L"n", Int(10 * n)));
    EXPECT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
  }
  ASSERT_TRUE(Read(o, "n = 30")) << Err();
  EXPECT_TRUE(Exec(o, NA_QUERY_DELETE)) << m_sent << ": " << Err();
  EXPECT_EQ(Got("SELECT HEX(b12), HEX(b64), n FROM " + Q(T()) + " ORDER BY n"),
            "0|0|10;801|FFFFFFFFFFFFFFFF|20;NULL|NULL|40");
}

// A BINARY(n) column keeps every byte, NUL and pad bytes included (as text it was decoded and
// cut at its first NUL), and is written back unchanged.
TEST_P(LiveColumnValues, BinaryColumnsKeepTheirNulAndPadBytes) {
  Create(T(), "(id INT PRIMARY KEY, b4 BINARY(4) NULL, b12 BINARY(12) NULL, b BINARY NULL)");
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, X'000102FF', 'abc', X'00'), (2, '', X'5C27', 'a')");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  const struct {
    int id;
    const char* values;
  } rows[] = {{1, "000102FF|616263000000000000000000|00"}, {2, "00000000|5C2700000000000000000000|61"}};
  for (const auto& row : rows) {
    std::string before;
    EXPECT_EQ(ReadAndWriteBack(o, {L"b4", L"b12", L"b"}, row.id, &before), row.values) << row.id;
  }
}

// Result columns typed from the server's fields: the binary character set gives binary items
// (as text, bytes that are no UTF-8 became '?' or nothing), UNSIGNED_FLAG the unsigned integers
// (the signed items refused the upper half).
TEST_P(LiveColumnValues, ResultColumnsOfTheBinaryCharsetAndUnsignedTypesKeepTheirValues) {
  Create(T(),
         "(id INT PRIMARY KEY, vb VARBINARY(8), cb VARCHAR(6) CHARACTER SET binary, u1 TINYINT UNSIGNED, "
         "u2 SMALLINT UNSIGNED, u3 MEDIUMINT UNSIGNED, u4 INT UNSIGNED, u8 BIGINT UNSIGNED, i1 TINYINT)");
  Raw("INSERT INTO " + Q(T()) +
      " VALUES (1, X'00FF80E9', X'C3', 255, 65535, 16777215, 4294967295, "
      "18446744073709551615, -128)");
  CMySQLStatementSQL sql(m_pCnx.get(), &m_error);
  sql.SetStatic(true);
  ASSERT_TRUE(
      sql.bExecuteDirect(Wide("SELECT vb, cb, u1, u2, u3, u4, u8, i1, CAST('x' AS BINARY) FROM " + Q(T())).c_str(),
                         nullptr, 0) &&
      sql.bFetch(0))
      << Err();
  std::string got;
  for (unsigned int i = 0; i < 9; ++i) {
    const CNAColumnSQL* column = sql.pclGetNAColumnSQL(static_cast<int>(i));
    ASSERT_NE(column, nullptr);
    CNAConvertVariant value(&m_error, m_pCnx.get());
    value.InitTypeVariantAny(ConverteItemToZVType(column->m_eItemType, 0), column->m_nItemSize);
    ASSERT_TRUE(sql.bGetValue(&value, i, 0)) << i << ": " << Err();
    CAny v;
    value.bGetValue(&v);
    got += (i > 0 ? " " : "") + std::to_string(column->m_eItemType) + ":" + Utf8(Show(v));
  }
  EXPECT_EQ(got, "23:00FF80E9 23:C3 12:255 9:65535 22:16777215 22:4294967295 20:18446744073709551615 4:-128 23:78");
}

// An INT UNSIGNED AUTO_INCREMENT identifier above 2,147,483,647 is read and written back exactly
// (a signed 4-byte identifier cannot hold it).
TEST_P(LiveColumnValues, UnsignedIdentifierAboveTheSignedRangeReadsAndWritesBackExactly) {
  Create(T(), "(id INT UNSIGNED AUTO_INCREMENT PRIMARY KEY, n INT) AUTO_INCREMENT=4294967290");
  Raw("INSERT INTO " + Q(T()) + " (n) VALUES (1), (2)");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  for (const char* id : {"4294967290", "4294967291"}) {
    ASSERT_TRUE(Read(o, std::string("id = ") + id)) << Err();
    EXPECT_EQ(Utf8(Value(o, L"id")), id);
    ASSERT_TRUE(Set(o, L"n", Int(7)));
    ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
    EXPECT_EQ(Got(std::string("SELECT n FROM ") + Q(T()) + " WHERE id = " + id), "7") << m_sent;
  }
  EXPECT_EQ(Got("SELECT COUNT(*) FROM " + Q(T())), "2");
}

// A memo keeps every character the server sent, NUL included, on both pages (a wide memo, and
// a narrow one on 65001, were cut at the NUL), and is written back unchanged.
TEST_P(LiveColumnValues, MemosKeepTheirNulCharacters) {
  Create(T(), "(id INT PRIMARY KEY, mu TEXT CHARACTER SET utf8mb4, ml TEXT CHARACTER SET latin1, mb BLOB)");
  Raw("INSERT INTO " + Q(T()) +
      " VALUES (1, 'a\\0b', 'a\\0b', X'610062'), (2, '\\0', '\\0\\0', X'00'), "
      "(3, '\xC3\xA9\\0\xE2\x82\xAC', '\xC3\xA9\\0', X'00FF')");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  for (int id = 1; id <= 3; ++id) {
    ASSERT_TRUE(Read(o, "id = " + std::to_string(id))) << Err();
    std::string lengths;
    for (const wchar_t* c : {L"mu", L"ml"}) {
      CAny v;
      ASSERT_TRUE(o->Column(c)->bGetCurrentValue(&v, 0));
      unsigned int n = 0;
      v.Intern()->nGetUtilDataSize(&n);
      lengths += std::to_string(v.wGetType() == ZV_DSTRW ? n / sizeof(wchar_t) : n) + " ";
    }
    EXPECT_EQ(lengths, id == 1 ? "3 3 " : id == 2 ? "1 2 " : "3 2 ") << id;
    std::string before;
    const std::string values = ReadAndWriteBack(o, {L"mu", L"ml", L"mb"}, id, &before);
    EXPECT_EQ(values.find("server holds"), std::string::npos) << values;
  }
}

// A memo extracted to a file and attached again, then written, leaves the server's value as it
// was, round after round: text, Unicode and binary memos (the file held the text's terminator,
// and each round grew the memo by one NUL; a Unicode memo's file held its 4-byte characters).
TEST_P(LiveColumnValues, ExtractedThenAttachedMemoKeepsItsValue) {
  Create(T(), "(id INT PRIMARY KEY, ml TEXT CHARACTER SET latin1, mu TEXT CHARACTER SET utf8mb4, mb BLOB)");
  // On 1252 a character outside the page reads as '?': the Unicode memo keeps to the page there.
  const std::string unicode = Unicode() ? "\xF0\x9F\x98\x80 \xC5\x91 \xC3\xA9" : "\xE2\x82\xAC \xC3\xA9";
  Raw("INSERT INTO " + Q(T()) + " VALUES (1, 'caf\xC3\xA9 \\\\ ''q''', '" + unicode +
      "', X'00FF0010'), "
      "(2, '', '', '')");
  Opened* o = Open(T());
  ASSERT_NE(o, nullptr);
  const std::string path = "/tmp/qx_memo_" + std::to_string(getpid()) + "_" + std::to_string(std::get<0>(GetParam())) +
                           (std::get<1>(GetParam()) ? "n" : "d");
  const std::wstring wpath(path.begin(), path.end());
  for (int id = 1; id <= 2; ++id) {
    const std::string before = Hex("ml,mu,mb", id);
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(Read(o, "id = " + std::to_string(id))) << Err();
      for (const wchar_t* c : {L"ml", L"mu", L"mb"}) {
        ASSERT_TRUE(o->Column(c)->bHExtraitMemo(wpath.c_str())) << Err();
        ASSERT_TRUE(o->Column(c)->bHAttacheMemo(wpath.c_str()));
        // The value comes from the file when the row is written.
        ASSERT_TRUE(Exec(o, NA_QUERY_UPDATE)) << m_sent << ": " << Err();
        EXPECT_EQ(Hex("ml,mu,mb", id), before) << Utf8(c) << " round " << round << ": " << m_sent;
        ASSERT_TRUE(Read(o, "id = " + std::to_string(id))) << Err();
      }
    }
  }
  // The file of a text memo holds its text only: a narrow memo's in the host's page, a Unicode
  // memo's in UTF-8.
  ASSERT_TRUE(Read(o, "id = 1"));
  for (const wchar_t* c : {L"ml", L"mu"}) {
    ASSERT_TRUE(o->Column(c)->bHExtraitMemo(wpath.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_EQ(file.str(), c[1] == L'l' ? std::string("caf\xE9 \\ 'q'") : unicode) << Utf8(c);
  }
  remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveColumnValues,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
