// Columns' quoted names against the server: a table whose column names need quoting (a blank, a
// reserved word, a backquote inside, accented letters) is read by a SELECT of every column's
// select name, in the record's order, on both code pages and SQL modes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/xystringconcat.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/record_bench.h"

namespace {

class LiveColumnNames : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveColumnNames() : LiveConnection("_names") {}
  static void SetUpTestSuite() { VM::Bind(); }

  // The text in the connection's code page.
  std::string Narrow(const std::wstring& text) const {
    CXYStringConcat<char> out;
    out.AddWide(text.c_str(), static_cast<int>(text.size()), static_cast<unsigned int>(m_pCnx->nGetServerCodePage()));
    return std::string(out.pszGet(), out.nGetLength());
  }
};

// The SELECT goes to the server on the connection's handle, as bytes of its code page with their
// length.
TEST_P(LiveColumnNames, SelectOfEveryColumnsSelectNameReadsTheColumnsInOrder) {
  m_pCnx->SetStatic(true);  // the record counts it; the fixture owns it
  const std::wstring table = Wide(m_strTable);
  ASSERT_TRUE(m_pCnx->bExecuteQueryNoResult(
      &m_error, (L"CREATE TABLE " + table + L" (`a b` INT, `order` INT, `x``y` INT, `\u00e9t\u00e9` INT)").c_str()));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, 2, 3, 4)"));

  // Items named otherwise, whose names in the table are the server's column names.
  const struct {
    const wchar_t* item;
    const wchar_t* column;
    const char* value;
  } columns[] = {{L"E", L"\u00e9t\u00e9", "4"}, {L"X", L"x`y", "3"}, {L"O", L"order", "2"}, {L"A", L"a b", "1"}};
  RecordBench bench;
  for (const auto& c : columns) bench.Add(c.item, NA_IT_I4, 4)->m_pszNameInSource = c.column;
  CNARecord* record = new CNARecord(&bench.m_error, nullptr);
  record->AddRef();
  ASSERT_TRUE(record->bInitRecord(&bench.m_desc, nullptr, m_pCnx.get()));
  std::wstring select = L"SELECT ";
  for (int i = 0; i < record->nGetNbColumn(); ++i)
    select += (i > 0 ? L", " : L"") + std::wstring(record->pclGetColumnNoRef(i)->pszGetFormatedSelectName(0));
  select += L" FROM " + table;
  record->nRelease();

  const std::string sql = Narrow(select);
  MYSQL* h = m_pCnx->pGetHandle();
  ASSERT_EQ(__mysql_real_query(h, sql.data(), sql.size()), 0) << sql << ": " << __mysql_error(h);
  MYSQL_RES* result = __mysql_store_result(h);
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(__mysql_num_fields(result), 4u);
  MYSQL_FIELD* fields = __mysql_fetch_fields(result);
  MYSQL_ROW row = __mysql_fetch_row(result);
  ASSERT_NE(row, nullptr);
  for (unsigned int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::string(fields[i].name), Narrow(columns[i].column)) << i;
    EXPECT_STREQ(row[i], columns[i].value) << i;
  }
  __mysql_free_result(result);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveColumnNames,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
