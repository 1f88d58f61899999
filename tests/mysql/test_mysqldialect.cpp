// The MySQL dialect against the private server: literals, transactions and quoted names.
#include <algorithm>
#include <string>
#include <vector>

#include "mysql/mysqlguard.h"
#include "platform/xerror.h"
#include "sql/naitemdescription.h"
#include "tests/mysql/live_connection.h"
#include "values/any.h"

namespace {

class LiveDialect : public LiveConnection {
 protected:
  LiveDialect() : LiveConnection("_dialect") {}
};

TEST_P(LiveDialect, LiteralsReadBackByteForByteAndNeverRunAsSQL) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (id INT, t TEXT CHARACTER SET utf8mb4, b LONGBLOB)"));
  const bool utf8 = std::get<0>(GetParam()) == 65001;
  std::vector<std::wstring> texts = {L"'", L"\\", L"a\rb\nc", L"\x1a", L"%_", L"`", L"\u00e9", L"x\\' OR 1=1 -- ",
                                     L"' OR '1'='1", L"1 OR 1=1"};
  if (utf8) texts.push_back(L"\U0001F600");
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::wstring& w = texts[i];
    const std::string utf8Text = CNACodePageCnvIN(w.c_str(), 65001).psz();
    const std::string lit =
        Literal(ZV_PSTRW, const_cast<wchar_t*>(w.c_str()), static_cast<unsigned int>(w.size() * sizeof(wchar_t)));
    if (std::all_of(w.begin(), w.end(), [](wchar_t c) { return c <= 0xFF; })) {  // as the host's 1252 text
      std::string narrow(w.begin(), w.end());
      EXPECT_EQ(Literal(ZV_PSTRA, narrow.data(), static_cast<unsigned int>(narrow.size())), lit);
    }
    EXPECT_EQ(Rows("INSERT INTO " + m_strTable + " VALUES (" + std::to_string(i) + ", " + lit + ", NULL)"), "");
    EXPECT_EQ(Rows("SELECT " + lit), utf8 ? utf8Text : std::string(w.begin(), w.end()));
    EXPECT_EQ(Rows("SELECT t FROM " + m_strTable + " WHERE id = " + std::to_string(i), true), utf8Text);
    EXPECT_EQ(Rows("SELECT id FROM " + m_strTable + " WHERE NULL = " + lit), "") << lit;
  }
  std::string bytes(256, 0);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
  const std::string lit = Literal(ZV_BIN, bytes.data(), 256);
  EXPECT_EQ(Rows("INSERT INTO " + m_strTable + " VALUES (999, NULL, " + lit + ")"), "");
  EXPECT_EQ(Rows("SELECT b FROM " + m_strTable + " WHERE id = 999", true), bytes);
  EXPECT_EQ(Rows("SELECT _binary " + lit), bytes);
  EXPECT_EQ(Literal(ZV_BIN, nullptr, 0), "''");
  // Dynamic strings carry their length and a terminator: a NUL inside them is data.
  char narrow[] = "a\0b";
  wchar_t wide[] = L"c\0d";
  EXPECT_EQ(Rows("SELECT " + Literal(ZV_DSTRA, narrow, sizeof narrow)), std::string("a\0b", 3));
  EXPECT_EQ(Rows("SELECT " + Literal(ZV_DSTRW, wide, sizeof wide)), std::string("c\0d", 3));
  EXPECT_EQ(Rows("SELECT " + Literal(ZV_PSTRA, narrow, sizeof narrow)), "a");
}

TEST_P(LiveDialect, NestedTransactionsAreSavepointsAndALostCommitFails) {
  ASSERT_TRUE(Run("CREATE TABLE " + m_strTable + " (v CHAR(1)) ENGINE=InnoDB"));
  // B begin, a / b insert, C commit, R roll back; the rows a second connection sees
  const std::pair<const char*, const char*> rows[] = {{"BaBbRC", "a"}, {"BaBbRR", ""}, {"BaBbCC", "a|b"}};
  for (const auto& [steps, want] : rows) {
    ASSERT_TRUE(Run("DELETE FROM " + m_strTable));
    for (const char* s = steps; *s != 0; ++s) {
      const BOOL ok = *s == 'B'   ? m_pCnx->bTransactionBegin(&m_error, L"")
                      : *s == 'C' ? m_pCnx->bTransactionCommit(&m_error, L"")
                      : *s == 'R' ? m_pCnx->bTransactionRollBack(&m_error, L"")
                                  : Run("INSERT INTO " + m_strTable + " VALUES ('" + *s + "')");
      ASSERT_TRUE(ok) << steps << " " << m_error.pszGetError();
    }
    EXPECT_EQ(Rows("SELECT v FROM " + m_strTable + " ORDER BY v", true), want) << steps;
  }
  ASSERT_TRUE(m_pCnx->bTransactionBegin(&m_error, L"") && Run("INSERT INTO " + m_strTable + " VALUES ('k')"));
  ASSERT_TRUE(m_raw.exec("KILL " + Rows("SELECT CONNECTION_ID()"), nullptr));
  EXPECT_FALSE(m_pCnx->bTransactionCommit(&m_error, L""));
  const void* code = nullptr;
  EXPECT_TRUE(m_error.pclGetXError()->bGetInfo(EIT_BASECODE, &code));
  EXPECT_TRUE(uintptr_t(code) == 2013 || uintptr_t(code) == 2006) << uintptr_t(code);
  EXPECT_FALSE(m_pCnx->_bTransactionOpened());
  EXPECT_EQ(Rows("SELECT v FROM " + m_strTable + " WHERE v = 'k'", true), "");
  m_pCnx.reset();
  m_raw.exec("DROP TABLE " + m_strTable, nullptr);
}

TEST_P(LiveDialect, BackquotedNamesAndEveryMappedTypeAreAccepted) {
  CTString table, column;
  m_pCnx->bFormatTableName(nullptr, Wide(m_server.database + "." + m_strTable + "`x").c_str(), &table);
  m_pCnx->bFormatItemName(nullptr, L"c`d", &column);
  const std::wstring t = table.pszGet(), c = column.pszGet();
  ASSERT_TRUE(m_pCnx->bExecuteQueryNoResult(&m_error, (L"CREATE TABLE " + t + L" (" + c + L" INT)").c_str()));
  EXPECT_TRUE(m_pCnx->bExecuteQueryNoResult(&m_error, (L"INSERT INTO " + t + L" (" + c + L") VALUES (7)").c_str()));
  EXPECT_EQ(Rows("SELECT `c``d` FROM `" + m_strTable + "``x`", true), "7");
  EXPECT_TRUE(m_pCnx->bExecuteQueryNoResult(&m_error, (L"DROP TABLE " + t).c_str()));
  std::wstring create = L"CREATE TABLE " + Wide(m_strTable) + L" (";
  for (int type = 1; type <= NA_IT_LAST; ++type) {
    CNAItemDescription item;
    item.bInit(L"c", L"t", L"c", 1, 11, static_cast<eNA_ITEMTYPE>(type), 0, -1, 0, 10, 2);
    CTString text;
    if (m_pCnx->bGetMatchingSQLType(nullptr, &item, &text))
      create += L"c" + std::to_wstring(type) + L" " + text.pszGet() + L", ";
  }
  create.replace(create.size() - 2, 2, L")");
  EXPECT_TRUE(m_pCnx->bExecuteQueryNoResult(&m_error, create.c_str())) << m_error.pszGetError();
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveDialect,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
