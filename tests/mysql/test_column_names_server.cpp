// Columns' quoted names against the server: a table whose column names need quoting (a blank, a
// reserved word, a backquote inside, accented letters) is read by a SELECT of every column's
// select name, in the record's order, on both code pages and SQL modes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/xystringconcat.h"
#include "mysql/mysqlstatementsql.h"
#include "tests/mysql/live_connection.h"
#include "tests/support/record_bench.h"

namespace {

class LiveColumnNames : public LiveConnection {
 protected:
  struct VM : AnyTest {
    static void Bind() { SetUpTestSuite(); }
  };
  LiveColumnNames() : LiveConnection("_names") { CNAError::s_Hold(&m_error); }  // statements count it too
  static void SetUpTestSuite() { VM::Bind(); }

  // The text in the connection's code page.
  std::string Narrow(const std::wstring& text) const {
    CXYStringConcat<char> out;
    out.AddWide(text.c_str(), static_cast<int>(text.size()), static_cast<unsigned int>(m_pCnx->nGetServerCodePage()));
    return std::string(out.pszGet(), out.nGetLength());
  }
};

TEST_P(LiveColumnNames, SelectOfEveryColumnsSelectNameReadsTheColumnsInOrder) {
  m_pCnx->SetStatic(true);  // the record counts it; the fixture owns it
  m_pCnx->AddRef();         // the fixture's own, so that the statement never deletes it
  const std::wstring table = Wide(m_strTable);
  ASSERT_TRUE(m_pCnx->bExecuteQueryNoResult(
      &m_error, (L"CREATE TABLE " + table + L" (`a b` INT, `order` INT, `x``y` INT, `\u00e9t\u00e9` INT)").c_str()));
  ASSERT_TRUE(Run("INSERT INTO " + m_strTable + " VALUES (1, 2, 3, 4)"));

  // Items named otherwise, whose names in the table are the server's column names.
  const struct {
    const wchar_t* item;
    const wchar_t* column;
  } columns[] = {{L"E", L"\u00e9t\u00e9"}, {L"X", L"x`y"}, {L"O", L"order"}, {L"A", L"a b"}};
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

  CMySQLStatementSQL st(m_pCnx.get(), &m_error);
  ASSERT_TRUE(st.bExecuteDirect(select.c_str(), nullptr, 0)) << Narrow(select);
  ASSERT_EQ(st.nGetColumnCount(), 4u);
  ASSERT_TRUE(st.bFetch(0) && !st.bIsEnd());
  CXYStringConcat<wchar_t> row;
  ASSERT_TRUE(st.bGetRow(&row, L"|", 0, 0));
  EXPECT_EQ(std::wstring(row.pszGet(), row.nGetLength()), L"4|3|2|1");
  for (unsigned int i = 0; i < 4; ++i) EXPECT_STREQ(st._pszGetColumnName(i), columns[i].column) << i;
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveColumnNames,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
