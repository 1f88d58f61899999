// A lost session against the private server, in both code pages and SQL modes: a text above the
// server's packet limit, a KILL outside any transaction, a KILL inside a host transaction, a
// nested one and one of the SQL functions, and a streamed result still open when the handle
// closes. The raw connection and the session's own counters tell what reached the server.
#include <ctime>

#include "driver/nadriversql.h"
#include "mysql/mysqlstatementsql.h"
#include "tests/mysql/statement_bench.h"

namespace {

class LiveReconnect : public LiveStatementBench {
 protected:
  LiveReconnect() : LiveStatementBench("_rc") {}
  void SetUp() override {
    LiveStatementBench::SetUp();
    if (HasFatalFailure()) return;
    m_pService = static_cast<CNADriverSQL*>(m_driver.piGetInterface(1));
    ASSERT_NE(m_pService, nullptr);
    ASSERT_TRUE(m_raw.exec("CREATE TABLE " + m_strTable + " (n INT, m LONGTEXT) CHARACTER SET utf8mb4 ENGINE=InnoDB",
                           nullptr));
  }
  void TearDown() override {
    if (m_pService != nullptr) {
      EXPECT_EQ(m_pService->nExternalRelease(), 0);
    }
    m_raw.exec("DROP TABLE IF EXISTS " + m_strTable, nullptr);
    LiveStatementBench::TearDown();
  }
  std::wstring T() const { return Wide(m_strTable); }

  // The ways a transaction is held: the host's on the fixture's connection (one level or two),
  // the SQL functions' on a numbered connection.
  enum eRoad { kHost, kNested, kService };
  CNAError* Error(eRoad road) {
    return road == kService ? static_cast<CNAError*>(m_pService->piGetLastError()) : &m_error;
  }
  // The first column of the first row of sql as UTF-8 ("" without a row), or "error".
  std::string Value(const std::wstring& sql, eRoad road = kHost) {
    if (road != kService) {
      m_error.Reset();
      CTString out;
      return m_pCnx->bGetRequestedValueString(&m_error, &out, 0, sql.c_str()) ? Utf8(out.pszGet()) : "error";
    }
    int stmt = 0;
    if (!m_pService->bExecute(&stmt, m_nNumbered, sql.c_str(), nullptr, 0)) return "error";
    CAny value;
    const bool read = stmt == 0 || (m_pService->bFetch(m_nNumbered, stmt, 0) &&
                                    m_pService->bGetValue(&value, m_nNumbered, stmt, 1, 0));
    if (stmt != 0) m_pService->bFreeStmt(m_nNumbered, stmt, 0);
    return !read ? "unread" : stmt == 0 ? "" : Utf8(Show(value));
  }
  bool Begin(eRoad road) {
    if (road == kService) return m_pService->bTrsBegin(nullptr, m_nNumbered, 0);
    return m_pCnx->bTransactionBegin(&m_error, L"T") && (road != kNested || m_pCnx->bTransactionBegin(&m_error, L"U"));
  }
  bool Commit(eRoad road) {
    if (road == kService) return m_pService->bTrsCommit(m_nNumbered, 0, 0);
    m_error.Reset();
    return m_pCnx->bTransactionCommit(&m_error, L"");
  }
  bool RollBack(eRoad road) {
    if (road == kService) return m_pService->bTrsRollBack(m_nNumbered, 0, 0);
    m_error.Reset();
    return m_pCnx->bTransactionRollBack(&m_error, L"T");
  }
  // "<user error>/<server code>", with "lost" for a code after which the session is gone (2006,
  // 2013, 1153: which one depends on when the client learns of it).
  static std::string Code(const CNAError* e) {
    const unsigned int server = e->dwGetDataBaseErrorCode();
    return std::to_string(e->dwGetErrorId()) + "/" +
           (server == 2006 || server == 2013 || server == 1153 ? std::string("lost") : std::to_string(server));
  }
  void Kill(const std::string& session) {
    std::string err;
    ASSERT_TRUE(m_raw.exec("KILL " + session, &err)) << err;
  }
  // What the open road settles for a session: database, character sets, and the found-rows flag
  // (ROW_COUNT() of an UPDATE that changes nothing counts the matched row only with it).
  std::string Facts() {
    std::string out;
    for (const wchar_t* sql : {L"SELECT DATABASE()", L"SELECT @@character_set_client", L"SELECT @@character_set_results"})
      out += Value(sql) + ",";
    Value(L"UPDATE " + T() + L" SET n = n WHERE n = 0");
    return out + Value(L"SELECT ROW_COUNT()");
  }
  std::string Counter(const char* name) {
    m_error.Reset();
    CTString out;
    const std::wstring sql = L"SHOW SESSION STATUS LIKE '" + Wide(name) + L"'";
    return m_pCnx->bGetRequestedValueString(&m_error, &out, 1, sql.c_str()) ? Utf8(out.pszGet()) : "error";
  }
  std::string RawValue(const std::string& sql) { return LiveConnection::Rows(sql, true); }
  // The session now answering on road, when it is another than before; "" otherwise.
  std::string NewSession(const std::string& before, eRoad road = kHost) {
    const std::string now = Value(L"SELECT CONNECTION_ID()", road);
    return now != before && !now.empty() && now.find_first_not_of("0123456789") == std::string::npos ? now : "";
  }

  CNADriverSQL* m_pService = nullptr;
  int m_nNumbered = 0;
};

TEST_P(LiveReconnect, TextAboveThePacketLimitGivesTheSizeErrorAndTheNextRunsOnANewSession) {
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_strTable + " VALUES (0, '')", nullptr));
  const std::string session = Value(L"SELECT CONNECTION_ID()"), facts = Facts();
  const std::wstring sql = L"INSERT INTO " + T() + L" (n, m) VALUES (1, '" + std::wstring(17u << 20, L'x') + L"')";
  EXPECT_EQ(Value(sql), "error");
  EXPECT_EQ(m_error.dwGetErrorId(), 320101u);
  // The server refuses the packet (1153) and closes the session; a write cut short gives 2006.
  const unsigned int server = m_error.dwGetDataBaseErrorCode();
  EXPECT_TRUE(server == 1153 || server == 2006) << server;
  const std::wstring message = m_error.pszGetError();
  for (const std::wstring& part : {L"<" + std::wstring(m_pCnx->pszGetDataBase()) + L">", std::to_wstring(server),
                                   std::wstring(L"16777216"), std::to_wstring(sql.size()), L"<" + sql.substr(0, 20) + L">"})
    EXPECT_NE(message.find(part), std::wstring::npos) << Utf8(part);
  EXPECT_EQ(message.find(L"show variables"), std::wstring::npos) << "the question's own errors stay out";

  // The new session: asked once, the text not sent again, the open road's settings as before.
  EXPECT_NE(NewSession(session), "");
  EXPECT_EQ(Counter("Com_show_variables"), "1");
  EXPECT_EQ(Counter("Com_insert"), "0");
  EXPECT_EQ(Facts(), facts);
  const std::wstring text = Unicode() ? L"\U0001F600\u00e9" : L"\u00e9";
  EXPECT_EQ(Value(L"INSERT INTO " + T() + L" VALUES (2, '" + text + L"')"), "") << Code(&m_error);
  EXPECT_EQ(RawValue("SELECT HEX(m) FROM " + m_strTable + " WHERE n = 2"), Unicode() ? "F09F9880C3A9" : "C3A9");
  EXPECT_EQ(Value(L"SELECT m FROM " + T() + L" WHERE n = 2"), Utf8(text));
  EXPECT_EQ(RawValue("SELECT COUNT(*) FROM " + m_strTable), "2");
}

// The limit is compared with the text's characters: 9 Mi two-byte characters in UTF-8 are too
// many bytes for the server, which says so itself; in 1252 they are 9 MiB and go through.
TEST_P(LiveReconnect, TextAboveTheLimitInBytesOnlyGivesTheServersErrorAlone) {
  const std::wstring sql = L"INSERT INTO " + T() + L" (n, m) VALUES (1, '" + std::wstring(9u << 20, L'\u00e9') + L"')";
  const std::string session = Value(L"SELECT CONNECTION_ID()");
  EXPECT_EQ(Value(sql), Unicode() ? "error" : "");
  EXPECT_EQ(Code(&m_error), Unicode() ? "22/lost" : "0/0");
  EXPECT_EQ(NewSession(session) != "", Unicode());
  EXPECT_EQ(RawValue("SELECT COUNT(*) FROM " + m_strTable), Unicode() ? "0" : "1");
}

// The report of a failed text needs its length and its first characters: a long text whose
// bytes are not UTF-8 is not converted whole (byte by byte, slowly) for it.
TEST_P(LiveReconnect, AFailedLongTextIsNotConvertedWholeForItsError) {
  std::string text = "SELECT n FROM " + m_strTable + "_none WHERE m = '";
  const std::string head = text;
  text.append(4u << 20, '\xFF');
  text += "'";
  auto* st = new CMySQLStatementSQL(m_pCnx.get(), &m_error);
  st->AddRef();
  m_error.Reset();
  timespec from{}, to{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &from);
  EXPECT_FALSE(st->_bExecuteDirect(text.c_str(), text.size(), nullptr, 0));
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &to);
  st->nRelease();
  const double seconds = static_cast<double>(to.tv_sec - from.tv_sec) + (to.tv_nsec - from.tv_nsec) / 1e9;
  EXPECT_EQ(Code(&m_error), "22/1146");
  EXPECT_LT(seconds, 0.1);
  // The text's beginning is still in the error.
  EXPECT_NE(std::wstring(m_error.pszGetError()).find(Wide(head)), std::wstring::npos);
}

TEST_P(LiveReconnect, OutsideATransactionOnlyALostSessionReopensAndTheFailedTextIsNotSentAgain) {
  ASSERT_TRUE(m_raw.exec("INSERT INTO " + m_strTable + " VALUES (0, '')", nullptr));
  const std::string facts = Facts();
  const struct {
    const char* pszName;
    bool bKill;
    std::wstring sql;
    std::string code;  // of the failed text
  } rows[] = {
      {"syntax error", false, L"SELEC 1", "22/1064"},
      {"missing table", false, L"SELECT * FROM " + T() + L"_none", "22/1146"},
      {"killed, a SELECT", true, L"SELECT n FROM " + T(), "22/lost"},
      {"killed, an INSERT", true, L"INSERT INTO " + T() + L" VALUES (5, 'k')", "22/lost"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pszName);
    const std::string session = Value(L"SELECT CONNECTION_ID()"), asked = Counter("Com_show_variables");
    if (row.bKill) Kill(session);
    EXPECT_EQ(Value(row.sql), "error");
    EXPECT_EQ(Code(&m_error), row.code);
    // The next statement works: on the same session, or on a new one where the packet limit was
    // asked once and the failed text never ran.
    EXPECT_EQ(NewSession(session) != "", row.bKill);
    EXPECT_EQ(Counter("Com_show_variables"), row.bKill ? "1" : asked);
    if (row.bKill) {
      EXPECT_EQ(Counter("Com_insert"), "0");
    }
    EXPECT_EQ(Facts(), facts);
  }
  EXPECT_EQ(RawValue("SELECT COUNT(*) FROM " + m_strTable), "1");
}

// A statement whose error object is quiet (the packet-limit question's own) never asks or reopens:
// the next statement does, once.
TEST_P(LiveReconnect, AQuietErrorNeitherAsksNorReopens) {
  const std::string session = Value(L"SELECT CONNECTION_ID()");
  Kill(session);
  CNAError quiet;
  CNAError::s_Hold(&quiet);
  quiet.SetQuiet(TRUE);
  CTString out;
  EXPECT_FALSE(m_pCnx->bGetRequestedValueString(&quiet, &out, 0, L"SELECT 1"));
  EXPECT_EQ(Code(&quiet), "22/lost");
  EXPECT_EQ(Value(L"SELECT 2"), "error");
  EXPECT_EQ(Code(&m_error), "22/lost");
  EXPECT_NE(NewSession(session), "");
  EXPECT_EQ(Counter("Com_show_variables"), "1");
}

MYSQL* ConnectFails(MYSQL*, const char*, const char*, const char*, const char*, unsigned int, const char*,
                    unsigned long) {
  return nullptr;
}

// A reopening that fails (the server still away) leaves the connection closed; each statement after
// it opens the connection again before it runs, until one succeeds.
TEST_P(LiveReconnect, AFailedReopeningIsTriedAgainByTheStatementsAfterIt) {
  const std::string session = Value(L"SELECT CONNECTION_ID()");
  Kill(session);
  const auto connect = __mysql_real_connect;
  __mysql_real_connect = ConnectFails;
  const std::string lost = Value(L"SELECT 1"), code = Code(&m_error);
  const bool closed = m_pCnx->pGetHandle() == nullptr;
  const std::string again = Value(L"SELECT 2");
  __mysql_real_connect = connect;
  EXPECT_EQ(lost + " " + code, "error 22/lost");
  EXPECT_TRUE(closed);
  EXPECT_EQ(again, "error");
  EXPECT_EQ(m_error.dwGetErrorId(), 79u) << "the open's own error";
  EXPECT_EQ(Value(L"SELECT 3"), "3") << Utf8(m_error.pszGetError());
  EXPECT_NE(NewSession(session), "");
}

// The host's "Client Flag" (here the server's IGNORE_SPACE for the session) holds on the new session.
TEST_P(LiveReconnect, TheReopenedSessionKeepsTheHostsClientFlag) {
  CHostConnectionDescription host = m_host;
  const std::wstring info = m_str[3] + L";Client Flag=256";
  host.m_pszExtendedInfo = info.c_str();
  auto* cnx = new CMySQLConnection(L"flagged", &host);
  cnx->AddRef();
  ASSERT_TRUE(cnx->bOpen(&m_error)) << Utf8(m_error.pszGetError());
  const auto ask = [&](const wchar_t* sql) {
    m_error.Reset();
    CTString out;
    return cnx->bGetRequestedValueString(&m_error, &out, 0, sql) ? Utf8(out.pszGet()) : "error";
  };
  const wchar_t* const mode = L"SELECT FIND_IN_SET('IGNORE_SPACE', @@sql_mode) > 0";
  EXPECT_EQ(ask(mode), "1");
  const std::string session = ask(L"SELECT CONNECTION_ID()");
  Kill(session);
  EXPECT_EQ(ask(L"SELECT 1"), "error");
  EXPECT_EQ(ask(mode), "1");
  EXPECT_NE(ask(L"SELECT CONNECTION_ID()"), session);
  cnx->nRelease();
}

TEST_P(LiveReconnect, InsideATransactionEveryStatementFailsAndItsCommitIsRefusedUntilRollBack) {
  const struct {
    const char* pszName;
    eRoad eWay;
    bool bCommitFirst;  // a COMMIT (refused) before the ROLLBACK
    int nCommits;       // refused commits: one per level
  } rows[] = {
      {"host", kHost, true, 1},
      {"host, rolled back at once", kHost, false, 0},
      {"host, nested", kNested, true, 2},
      {"SQL functions", kService, true, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pszName);
    ASSERT_TRUE(m_raw.exec("DELETE FROM " + m_strTable, nullptr));
    if (row.eWay == kService) {
      ASSERT_TRUE(m_pService->bOpenConnection(&m_nNumbered, &m_host));
    }
    const std::string session = Value(L"SELECT CONNECTION_ID()", row.eWay);
    ASSERT_TRUE(Begin(row.eWay));
    ASSERT_EQ(Value(L"INSERT INTO " + T() + L" VALUES (1, 'a')", row.eWay), "");
    Kill(session);
    // No question, no reopening: the statements after the first fail too, saying that the
    // transaction was lost (user error 320103), and so do the commits.
    const char* code = "22/lost";
    for (const wchar_t* sql : {L"INSERT INTO qx_none VALUES (2)", L"SELECT 1", L"SELECT 2"}) {
      EXPECT_EQ(Value(sql, row.eWay), "error") << Utf8(sql);
      EXPECT_EQ(Code(Error(row.eWay)), code);
      code = "320103/lost";
    }
    for (int i = 0; i < (row.bCommitFirst ? row.nCommits : 0); ++i) {
      EXPECT_FALSE(Commit(row.eWay)) << "level " << i;
      EXPECT_EQ(Code(Error(row.eWay)), "320103/lost");
    }
    EXPECT_EQ(RawValue("SELECT COUNT(*) FROM " + m_strTable), "0");
    // The server rolled it back: the roll-back sends nothing on the dead session and says so,
    // and the next statement runs on a new session.
    EXPECT_TRUE(RollBack(row.eWay)) << Code(Error(row.eWay));
    EXPECT_EQ(Value(L"SELECT 4", row.eWay), "4") << Code(Error(row.eWay));
    EXPECT_NE(NewSession(session, row.eWay), "");
    // A transaction on the new session commits its work.
    ASSERT_TRUE(Begin(row.eWay));
    EXPECT_EQ(Value(L"INSERT INTO " + T() + L" VALUES (7, 'b')", row.eWay), "");
    for (int i = 0; i < (row.eWay == kNested ? 2 : 1); ++i) EXPECT_TRUE(Commit(row.eWay)) << Code(Error(row.eWay));
    EXPECT_EQ(RawValue("SELECT n FROM " + m_strTable), "7");
    if (row.eWay == kService) {
      EXPECT_TRUE(m_pService->bCloseConnection(m_nNumbered));
    }
  }
}

// A result open when the handle closes: a streamed one is freed first (the client reads the
// handle when it frees an unfinished one); a stored one holds its rows and is read to its end.
TEST_P(LiveReconnect, StreamedResultOpenWhenTheHandleClosesIsFreedFirstAndAStoredOneIsKept) {
  const struct {
    BOOL bStore;
    int nOpenAfter;
    long long nRowsAfter;  // rows fetched after the close
  } rows[] = {{FALSE, 0, 0}, {TRUE, 1, 199999}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bStore ? "stored" : "streamed");
    auto* st = new CMySQLStatementSQL(m_pCnx.get(), &m_error);
    st->AddRef();
    st->SetStoreResult(row.bStore);
    ASSERT_TRUE(st->bExecuteDirect(L"SELECT seq FROM seq_1_to_200000", nullptr, 0)) << m_error.pszGetError();
    ASSERT_TRUE(st->bFetch(0) && st->bIsEnd() == 0);
    EXPECT_TRUE(m_pCnx->bClose(&m_error));
    EXPECT_EQ(st->bIsResultOpen(), row.nOpenAfter);
    long long fetched = 0, last = 1;
    while (st->bFetch(0) && st->bIsEnd() == 0) {
      ++fetched;
      CAny value;
      EXPECT_TRUE(st->bGetValue(&value, 0, 0));
      last = std::stoll(Utf8(Show(value)));
    }
    EXPECT_EQ(fetched, row.nRowsAfter);
    EXPECT_EQ(last, 1 + row.nRowsAfter);
    st->nRelease();
    ASSERT_TRUE(m_pCnx->bOpen(&m_error)) << m_error.pszGetError();
    EXPECT_EQ(Value(L"SELECT 1"), "1");
  }
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndModes, LiveReconnect,
                         ::testing::Combine(::testing::Values(1252, 65001), ::testing::Bool()));

}  // namespace
