// A server of the test's own for the kill and restart tests: started by scripts/testdb in a
// temporary directory at set-up, stopped and removed at tear-down, and restarted on demand with
// the same port and socket. The raw connection of the bench is moved to it; the sessions the
// driver opens on it can be killed from there.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/mysql/fault_bench.h"

class OwnServerBench : public FaultBench {
 protected:
  using Clock = std::chrono::steady_clock;

  void SetUp() override {
    FaultBench::SetUp();
    if (HasFatalFailure()) return;
    char dir[] = "/tmp/qxrestart.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_dir = dir;
    ASSERT_TRUE(Testdb("start", &m_own));
    Reconnect();
  }
  void TearDown() override {
    FaultBench::TearDown();
    if (!m_dir.empty()) {
      Testdb("stop", nullptr);
      std::error_code ignored;
      std::filesystem::remove_all(m_dir, ignored);
    }
  }
  // Runs scripts/testdb; a start fills *server from what it prints.
  bool Testdb(const char* command, TestServer* server) {
    const std::string cmd = std::string("bash ") + QX_SOURCE_DIR + "/scripts/testdb " + command + " " + m_dir;
    FILE* out = popen(cmd.c_str(), "r");
    if (out == nullptr) return false;
    char line[512];
    while (fgets(line, sizeof line, out) != nullptr) {
      std::string l(line);
      if (!l.empty() && l.back() == '\n') l.pop_back();
      const size_t eq = l.find('=');
      if (server == nullptr || eq == std::string::npos) continue;
      const std::string key = l.substr(0, eq), value = l.substr(eq + 1);
      if (key == "QX_TEST_HOST") server->host = value;
      if (key == "QX_TEST_PORT") server->port = static_cast<unsigned int>(std::stoul(value));
      if (key == "QX_TEST_SOCKET") server->socket = value;
      if (key == "QX_TEST_USER") server->user = value;
      if (key == "QX_TEST_PASSWORD") server->password = value;
      if (key == "QX_TEST_DATABASE") server->database = value;
    }
    return pclose(out) == 0;
  }
  void Reconnect() {
    std::string err;
    ASSERT_TRUE(m_raw.connect(m_own, RawTransport::Tcp, &err)) << err;
  }
  // Restarts the server; its port and socket stay.
  void Restart(const std::function<void()>& whileDown) {
    ASSERT_TRUE(Testdb("stop", nullptr));
    whileDown();
    TestServer again;
    ASSERT_TRUE(Testdb("start", &again));
    ASSERT_EQ(again.port, m_own.port);
    ASSERT_EQ(again.socket, m_own.socket);
    Reconnect();
  }
  // KILL of every session in the server's database but the raw one; false when there was none.
  bool KillSessions() {
    RawRows ids;
    std::string err;
    EXPECT_TRUE(m_raw.query("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = '" + m_own.database +
                                "' AND ID <> CONNECTION_ID() AND COMMAND <> 'Killed'",
                            &ids, &err))
        << err;
    // A session that ended meanwhile is no longer there to kill.
    for (const RawRow& id : ids) m_raw.exec("KILL " + *id[0], &err);
    return !ids.empty();
  }
  // An error of a call made while the server is down, and that the call came back in time.
  static void Down(const std::string& what, const std::string& error, Clock::duration took) {
    EXPECT_LT(took, std::chrono::seconds(10)) << what;
    const bool named = error.find("/2002") != std::string::npos || error.find("/2003") != std::string::npos ||
                       error.find("/2013") != std::string::npos || error.find("/2006") != std::string::npos;
    EXPECT_TRUE(named) << what << ": " << error;
  }

  std::string m_dir;
  TestServer m_own;
};
