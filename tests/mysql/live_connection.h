// A MySQL connection of the driver and a raw second one to the private server, parameterised on
// the code page (1252 with Unicode off, 65001) and on NO_BACKSLASH_ESCAPES added to the SQL mode.
// Statements go as bytes with their length on the driver's handle, the road SQL text takes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/tstringconcataw.h"
#include "common/utf.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "host/host_nadescription.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqldriver.h"
#include "tests/support/rawmysql.h"

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
// Wide text as UTF-8, the raw connection's character set.
inline std::string Utf8(const std::wstring& w) {
  std::string out(w.size() * 4, '\0');
  const int n = nWideToUTF8(out.data(), static_cast<int>(out.size()), w.data(), static_cast<int>(w.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}
// A name between backquotes for the raw connection, an embedded backquote doubled.
inline std::string Quoted(const std::wstring& name) {
  std::string q = "`";
  for (char c : Utf8(name)) q += c == '`' ? std::string("``") : std::string(1, c);
  return q + "`";
}

// Connections on 1252 (Unicode off) and 65001, in the default SQL mode and with NO_BACKSLASH_ESCAPES.
class LiveConnection : public ::testing::TestWithParam<std::tuple<int, bool>> {
 protected:
  explicit LiveConnection(const char* table) : m_strTable("qxtest_" + std::to_string(getpid()) + table) {}
  void SetUp() override {
    if (!TestServer::fromEnv(&m_server)) FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err) && m_raw.connect(m_server, RawTransport::Tcp, &err)) << err;
    m_str = {Wide(m_server.user), Wide(m_server.password), Wide(m_server.host),
             Wide("Server Port=" + std::to_string(m_server.port) + ";Initial Catalog=" + m_server.database +
                  ";QX Unicode Support=" + (std::get<0>(GetParam()) == 65001 ? "1" : "0"))};
    m_host.m_pszUser = m_str[0].c_str();
    m_host.m_pszPassword = m_str[1].c_str();
    m_host.m_pszDataSource = m_str[2].c_str();
    m_host.m_pszExtendedInfo = m_str[3].c_str();
    m_pCnx = std::make_unique<CMySQLConnection>(L"id", &m_host);
    ASSERT_TRUE(m_pCnx->bOpen(&m_error) && m_pCnx->nGetServerCodePage() == std::get<0>(GetParam()));
    ASSERT_TRUE(!std::get<1>(GetParam()) || Run("SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
  }
  void TearDown() override { if (m_pCnx) Run("DROP TABLE IF EXISTS " + m_strTable); }
  BOOL Run(const std::string& sql) { return m_pCnx->bExecuteQueryNoResult(&m_error, Wide(sql).c_str()); }
  // The first column of the rows of sql, joined by "|": sent as bytes with their length on the
  // driver's handle, or through the second connection.
  std::string Rows(const std::string& sql, bool raw = false) {
    std::string out, err;
    ::RawRows rows;
    MYSQL* h = m_pCnx->pGetHandle();
    if (raw ? !m_raw.query(sql, &rows, &err) : __mysql_real_query(h, sql.data(), sql.size()) != 0) return "error";
    MYSQL_RES* result = raw ? nullptr : __mysql_store_result(h);
    while (MYSQL_ROW row = result != nullptr ? __mysql_fetch_row(result) : nullptr)
      rows.push_back({std::string(row[0], __mysql_fetch_lengths(result)[0])});
    if (result != nullptr) __mysql_free_result(result);
    for (const RawRow& r : rows) out += (out.empty() ? "" : "|") + r.at(0).value_or("NULL");
    return out;
  }
  std::string Literal(unsigned short type, void* data, unsigned int size) {
    CTStringConcatAW out(CTStringConcatAW::kWideContent, 1252);
    EXPECT_EQ(m_pCnx->_bEscapeString(&m_error, &out, type, static_cast<unsigned char*>(data), size), 1);
    return std::string(out.pszGetA(), static_cast<size_t>(out.nGetLength()));
  }

  CMySQLDriver m_driver;
  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_raw{m_lib};
  CHostConnectionDescription m_host;
  std::vector<std::wstring> m_str;
  const std::string m_strTable;
  CNAError m_error;
  std::unique_ptr<CMySQLConnection> m_pCnx;
};
