// The private test server (scripts/testdb) answers as the tests expect, over TCP and over the
// socket, and the raw client helper reads back what it stores, NULLs and zero bytes included.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/support/rawmysql.h"

void PrintTo(RawTransport transport, std::ostream* os) {
  *os << (transport == RawTransport::Tcp ? "TCP" : "socket");
}

namespace {

using namespace std::string_literals;

class FixtureTest : public ::testing::TestWithParam<RawTransport> {
 protected:
  void SetUp() override {
    // Not a skip: the test command starts the server, so its absence is a broken setup.
    if (!TestServer::fromEnv(&m_server)) FAIL() << TestServer::setupHint();
    std::string err;
    ASSERT_TRUE(m_lib.load(&err)) << err;
    ASSERT_TRUE(m_conn.connect(m_server, GetParam(), &err)) << describe() << ": " << err;
  }

  bool tcp() const { return GetParam() == RawTransport::Tcp; }

  std::string describe() const {
    return tcp() ? m_server.host + ":" + std::to_string(m_server.port) : m_server.socket;
  }

  RawRows rows(const std::string& sql) {
    RawRows out;
    std::string err;
    EXPECT_TRUE(m_conn.query(sql, &out, &err)) << sql << ": " << err;
    return out;
  }

  void exec(const std::string& sql) {
    std::string err;
    ASSERT_TRUE(m_conn.exec(sql, &err)) << sql << ": " << err;
  }

  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_conn{m_lib};
};

TEST_P(FixtureTest, LandsInTestDatabaseAsTestUserOverRequestedTransport) {
  RawRows r = rows("SELECT DATABASE(), CURRENT_USER()");
  ASSERT_EQ(r.size(), 1u);
  ASSERT_EQ(r[0].size(), 2u);
  EXPECT_EQ(r[0][0], RawCell(m_server.database));
  // The account matched tells the transport apart: TCP comes from 127.0.0.1, the socket is
  // localhost.
  EXPECT_EQ(r[0][1], RawCell(m_server.user + (tcp() ? "@127.0.0.1" : "@localhost")));
}

TEST_P(FixtureTest, TableRoundTripKeepsNullsEmptyStringsAndZeroBytes) {
  const std::string table = tcp() ? "fixture_tcp" : "fixture_socket";  // cases may run at once
  exec("DROP TABLE IF EXISTS " + table);
  exec("CREATE TABLE " + table +
       " (id INT PRIMARY KEY, txt VARCHAR(20) CHARACTER SET utf8mb4, bin VARBINARY(16))");
  exec("INSERT INTO " + table +
       " VALUES (1, 'caf\xC3\xA9', X'00FF0061'), (2, NULL, 'a\\0b'), (3, '', NULL)");
  EXPECT_EQ(m_lib.affected_rows(m_conn.handle()), 3u);

  RawRows r = rows("SELECT id, txt, bin, LENGTH(bin) FROM " + table + " ORDER BY id");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0], (RawRow{"1"s, "caf\xC3\xA9"s, "\0\xFF\0a"s, "4"s}));
  EXPECT_EQ(r[1], (RawRow{"2"s, std::nullopt, "a\0b"s, "3"s}));
  EXPECT_EQ(r[2], (RawRow{"3"s, ""s, std::nullopt, std::nullopt}));

  exec("DROP TABLE " + table);
  EXPECT_TRUE(rows("SHOW TABLES LIKE '" + table + "'").empty());
}

TEST_P(FixtureTest, ErrorsComeBackWithNumberAndMessage) {
  std::string err;
  RawRows out{{RawCell("stale")}};
  EXPECT_FALSE(m_conn.query("SELECT * FROM no_such_table", &out, &err));
  EXPECT_EQ(m_conn.lastErrno(), 1146u);  // ER_NO_SUCH_TABLE
  EXPECT_NE(err.find("no_such_table"), std::string::npos) << err;
  EXPECT_TRUE(out.empty());
}

TEST_P(FixtureTest, WrongPasswordIsRefused) {
  TestServer wrong = m_server;
  wrong.password += "-wrong";
  RawConnection conn(m_lib);
  std::string err;
  EXPECT_FALSE(conn.connect(wrong, GetParam(), &err));
  EXPECT_NE(err.find("[1045]"), std::string::npos) << err;  // ER_ACCESS_DENIED_ERROR
  EXPECT_EQ(conn.handle(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Transports, FixtureTest,
                         ::testing::Values(RawTransport::Tcp, RawTransport::Socket),
                         [](const ::testing::TestParamInfo<RawTransport>& info) {
                           return info.param == RawTransport::Tcp ? "Tcp" : "Socket";
                         });

}  // namespace
