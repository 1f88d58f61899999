// The program a new user runs first, run as that user runs it: against the private server its
// output is the kept transcript, the same on a second run, and the rows it reports are the rows
// the server holds; without a usable server (none listening, one that never answers, a refused
// password) it ends within its connect time-out with the driver's reason and a non-zero status.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/rawmysql.h"

namespace {

struct Outcome {
  int status = -1;
  std::string output;  // stdout and stderr as they interleave
  double seconds = 0;
};

// Runs the program with the environment changed as given (an empty value unsets the name).
Outcome RunDemo(const std::vector<std::pair<std::string, std::string>>& changes) {
  Outcome outcome;
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return outcome;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], 1);
    dup2(pipeFd[1], 2);
    close(pipeFd[0]);
    close(pipeFd[1]);
    for (const auto& [name, value] : changes) {
      if (value.empty())
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
    execl(QX_DEMO_PROGRAM, "qxdemo", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFd[1]);
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFd[0], buffer, sizeof buffer)) > 0;) outcome.output.append(buffer, static_cast<size_t>(n));
  close(pipeFd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

std::string Transcript() {
  std::ifstream in(QX_DEMO_TRANSCRIPT, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A TCP port of this machine bound by *fd: listening (connections wait unanswered in its queue)
// or, with listening false, closed again so that connecting is refused.
std::string Port(bool listening, int* fd) {
  *fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (*fd < 0 || bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (listening && listen(*fd, 4) != 0) || getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return "1";
  if (!listening) close(*fd);
  return std::to_string(ntohs(address.sin_port));
}

TEST(Demo, PrintsTheTranscriptOnEveryRunAndTheServerHoldsWhatItShows) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) GTEST_FAIL() << TestServer::setupHint();
  const std::string transcript = Transcript();
  ASSERT_FALSE(transcript.empty()) << QX_DEMO_TRANSCRIPT;
  for (int run = 1; run <= 2; ++run) {
    const Outcome outcome = RunDemo({});
    EXPECT_EQ(outcome.status, 0) << "run " << run;
    EXPECT_EQ(outcome.output, transcript) << "run " << run;
  }
  // The rows as the server holds them, read without the driver: the names and values printed,
  // the 256 byte values whose CRC-32 the program shows, the SQL functions' table gone.
  RawMySQL lib;
  RawConnection raw(lib);
  std::string err;
  ASSERT_TRUE(lib.load(&err)) << err;
  ASSERT_TRUE(raw.connect(server, RawTransport::Tcp, &err)) << err;
  RawRows rows;
  ASSERT_TRUE(raw.query("SELECT id, name, ref, price, DATE_FORMAT(added, '%Y-%m-%d %H:%i'), LENGTH(photo), "
                        "HEX(CRC32(photo)), notes FROM qxdemo_article ORDER BY id",
                        &rows, &err))
      << err;
  const std::vector<std::vector<const char*>> expected = {
      {"1", "Crème brûlée", "FR-001", "6.50", "2025-03-14 09:00", "256", "29058C73", "Dessert, caramel brûlé"},
      {"2", "Größe", "DE-002", "12.90", "2025-04-02 10:15", nullptr, nullptr, "Maß und Größe"},
      {"3", "東京タワー", "JP-003", "3.33", "2025-12-23 18:00", nullptr, nullptr, "東京の電波塔"},
      {"4", "Ωμέγα", "GR-004", "0.99", "2026-01-01 00:00", nullptr, nullptr, "Τέλος"},
      {"5", "Café", "FR-005", "2.50", "2025-05-05 07:30", nullptr, nullptr, "Noir, sans sucre"},
      {"6", "Zürich", "CH-006", "45.00", "2025-08-01 12:00", nullptr, nullptr, "Ville"},
  };
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(rows[r].size(), expected[r].size());
    for (size_t c = 0; c < rows[r].size(); ++c) {
      const std::string seen = rows[r][c].value_or("NULL");
      std::string want = expected[r][c] != nullptr ? expected[r][c] : "NULL";
      // DECIMAL columns print their scale: compare the leading digits.
      if (c == 3) EXPECT_EQ(seen.substr(0, want.size()), want) << "row " << r << " column " << c;
      else EXPECT_EQ(seen, want) << "row " << r << " column " << c;
    }
  }
  ASSERT_TRUE(raw.query("SHOW TABLES LIKE 'qxdemo_note'", &rows, &err)) << err;
  EXPECT_TRUE(rows.empty());
}

// Each way of having no usable server: the status, what the output must say, how it ends.
TEST(Demo, WithoutAUsableServerEndsWithinTheTimeOutWithTheDriversReason) {
  TestServer server;
  if (!TestServer::fromEnv(&server)) GTEST_FAIL() << TestServer::setupHint();
  int refused = -1, silent = -1;
  // The program connects with a time-out of 10 seconds.
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> changes;
    int status;
    std::vector<std::string> says;
    double seconds;  // at most
  } cases[] = {
      {"nobody listens on the port",
       {{"QX_TEST_PORT", Port(false, &refused)}},
       1,
       {"driver error 79", "2002", "Can't connect", "1 step, 1 failure\n"},
       5},
      {"the server never answers",
       {{"QX_TEST_PORT", Port(true, &silent)}},
       1,
       {"driver error 79", "2013", "1 step, 1 failure\n"},
       15},
      {"the password is refused", {{"QX_TEST_PASSWORD", "not the password"}}, 1,
       {"driver error 79", "1045", "1 step, 1 failure\n"}, 5},
      {"no server given", {{"QX_TEST_PORT", ""}}, 2, {"QX_TEST_PORT"}, 5},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunDemo(c.changes);
    EXPECT_EQ(outcome.status, c.status) << c.what << "\n" << outcome.output;
    for (const std::string& text : c.says)
      EXPECT_NE(outcome.output.find(text), std::string::npos) << c.what << ": " << text << "\n" << outcome.output;
    EXPECT_LT(outcome.seconds, c.seconds) << c.what;
    EXPECT_EQ(outcome.output.find("0 failures"), std::string::npos) << c.what;
  }
  close(silent);
}

}  // namespace
