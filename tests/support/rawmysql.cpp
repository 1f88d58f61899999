#include "tests/support/rawmysql.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <mutex>

namespace {

constexpr const char* kLibraryName = "libmysqlclient.so";

// The environment variables, in TestServer's field order.
constexpr const char* kVarHost = "QX_TEST_HOST";
constexpr const char* kVarPort = "QX_TEST_PORT";
constexpr const char* kVarSocket = "QX_TEST_SOCKET";
constexpr const char* kVarUser = "QX_TEST_USER";
constexpr const char* kVarPassword = "QX_TEST_PASSWORD";
constexpr const char* kVarDatabase = "QX_TEST_DATABASE";
constexpr const char* kAllVars[] = {kVarHost, kVarPort, kVarSocket,
                                    kVarUser, kVarPassword, kVarDatabase};

template <typename Fn>
bool bind(void* lib, const char* name, Fn* fn, std::string* err) {
  void* sym = dlsym(lib, name);
  if (sym == nullptr) {
    if (err != nullptr) *err = std::string(kLibraryName) + ": no symbol " + name;
    return false;
  }
  *fn = reinterpret_cast<Fn>(sym);
  return true;
}

bool parsePort(const char* text, unsigned int* port) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || *end != '\0' || value == 0 || value > 65535) return false;
  *port = static_cast<unsigned int>(value);
  return true;
}

// The client library's first initialisation is not thread-safe; this one runs once.
std::once_flag g_libraryInit;
int g_libraryInitResult = 0;

}  // namespace

bool RawMySQL::load(std::string* err) {
  if (m_loaded) return true;
  // Never closed: see the header.
  void* lib = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    if (err != nullptr) {
      const char* why = dlerror();
      *err = why != nullptr ? why : "cannot load " + std::string(kLibraryName);
    }
    return false;
  }
  int (*serverInit)(int, char**, char**) = nullptr;
  bool ok = bind(lib, "mysql_server_init", &serverInit, err) &&
            bind(lib, "mysql_init", &init, err) &&
            bind(lib, "mysql_real_connect", &real_connect, err) &&
            bind(lib, "mysql_close", &close, err) &&
            bind(lib, "mysql_options", &options, err) &&
            bind(lib, "mysql_query", &query, err) &&
            bind(lib, "mysql_real_query", &real_query, err) &&
            bind(lib, "mysql_store_result", &store_result, err) &&
            bind(lib, "mysql_use_result", &use_result, err) &&
            bind(lib, "mysql_free_result", &free_result, err) &&
            bind(lib, "mysql_fetch_row", &fetch_row, err) &&
            bind(lib, "mysql_fetch_lengths", &fetch_lengths, err) &&
            bind(lib, "mysql_num_fields", &num_fields, err) &&
            bind(lib, "mysql_num_rows", &num_rows, err) &&
            bind(lib, "mysql_field_count", &field_count, err) &&
            bind(lib, "mysql_affected_rows", &affected_rows, err) &&
            bind(lib, "mysql_error", &error, err) &&
            bind(lib, "mysql_errno", &errno_, err);
  if (ok) {
    std::call_once(g_libraryInit, [&] { g_libraryInitResult = serverInit(0, nullptr, nullptr); });
    if (g_libraryInitResult != 0) {
      if (err != nullptr) *err = std::string(kLibraryName) + ": library initialisation failed";
      ok = false;
    }
  }
  if (!ok) {
    *this = RawMySQL();
    dlclose(lib);
    return false;
  }
  m_loaded = true;
  return true;
}

bool TestServer::fromEnv(TestServer* out) {
  const char* values[std::size(kAllVars)];
  for (size_t i = 0; i < std::size(kAllVars); ++i) {
    values[i] = std::getenv(kAllVars[i]);
    if (values[i] == nullptr) return false;
  }
  TestServer server;
  if (!parsePort(values[1], &server.port)) return false;
  server.host = values[0];
  server.socket = values[2];
  server.user = values[3];
  server.password = values[4];
  server.database = values[5];
  *out = std::move(server);
  return true;
}

std::string TestServer::setupHint() {
  std::string problems;
  for (const char* name : kAllVars) {
    if (std::getenv(name) == nullptr) problems += std::string(problems.empty() ? "" : ", ") + name;
  }
  if (!problems.empty()) {
    problems = "not set: " + problems;
  } else {
    unsigned int port = 0;
    if (!parsePort(std::getenv(kVarPort), &port))
      problems = std::string(kVarPort) + " is not a port number: \"" + std::getenv(kVarPort) + "\"";
  }
  if (problems.empty()) return "the test server environment is complete";
  return "test server environment incomplete (" + problems +
         "). Start the test server with `scripts/testdb start DIR` and load its settings with "
         "`set -a; . DIR/env; set +a` before running the tests.";
}

bool RawConnection::connect(const TestServer& server, RawTransport transport, std::string* err) {
  disconnect();
  if (!m_lib.loaded() && !m_lib.load(err)) return false;
  m_mysql = m_lib.init(nullptr);
  if (m_mysql == nullptr) {
    if (err != nullptr) *err = "mysql_init failed";
    return false;
  }
  const bool tcp = transport == RawTransport::Tcp;
  const unsigned int protocol = tcp ? RawMySQL::kProtocolTcp : RawMySQL::kProtocolSocket;
  const unsigned int timeout = 10;
  m_lib.options(m_mysql, RawMySQL::kOptProtocol, &protocol);
  m_lib.options(m_mysql, RawMySQL::kOptConnectTimeout, &timeout);
  m_lib.options(m_mysql, RawMySQL::kOptCharsetName, "utf8mb4");
  // The host decides the transport as much as the protocol option does: "localhost" means the
  // socket to the client library.
  const char* host = tcp ? server.host.c_str() : "localhost";
  const char* socket = tcp ? nullptr : server.socket.c_str();
  if (m_lib.real_connect(m_mysql, host, server.user.c_str(), server.password.c_str(),
                         server.database.c_str(), tcp ? server.port : 0, socket, 0) == nullptr) {
    fail(err);
    disconnect();
    return false;
  }
  return true;
}

void RawConnection::disconnect() {
  if (m_mysql != nullptr) {
    m_lib.close(m_mysql);
    m_mysql = nullptr;
  }
}

unsigned int RawConnection::lastErrno() const {
  return m_mysql != nullptr ? m_lib.errno_(m_mysql) : 0;
}

bool RawConnection::fail(std::string* err) const {
  if (err != nullptr) {
    *err = m_mysql != nullptr
               ? "[" + std::to_string(m_lib.errno_(m_mysql)) + "] " + m_lib.error(m_mysql)
               : std::string("not connected");
  }
  return false;
}

bool RawConnection::query(std::string_view sql, RawRows* rows, std::string* err) {
  if (rows != nullptr) rows->clear();
  if (m_mysql == nullptr) return fail(err);
  if (m_lib.real_query(m_mysql, sql.data(), static_cast<unsigned long>(sql.size())) != 0)
    return fail(err);
  RawMySQL::MYSQL_RES* res = m_lib.store_result(m_mysql);
  if (res == nullptr) {
    // No result set is fine for a statement without columns; otherwise reading it failed.
    return m_lib.field_count(m_mysql) == 0 ? true : fail(err);
  }
  const unsigned int columns = m_lib.num_fields(res);
  while (RawMySQL::MYSQL_ROW row = m_lib.fetch_row(res)) {
    if (rows == nullptr) continue;
    const unsigned long* lengths = m_lib.fetch_lengths(res);
    RawRow& out = rows->emplace_back();
    out.reserve(columns);
    for (unsigned int i = 0; i < columns; ++i) {
      if (row[i] == nullptr)
        out.emplace_back(std::nullopt);
      else
        out.emplace_back(std::string(row[i], lengths[i]));
    }
  }
  m_lib.free_result(res);
  return true;
}

bool rawQuery(RawMySQL& lib, const TestServer& server, RawTransport transport,
              std::string_view sql, RawRows* rows, std::string* err) {
  RawConnection conn(lib);
  return conn.connect(server, transport, err) && conn.query(sql, rows, err);
}
