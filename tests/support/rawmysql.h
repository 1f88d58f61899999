// Direct access to the MySQL client library for tests and benchmarks, independent of the driver:
// RawMySQL binds the C API from "libmysqlclient.so" at run time (never linked, its headers never
// included), TestServer is the test server the environment names (see scripts/testdb), and
// RawConnection is one client connection with a query-to-rows helper.
//
// The library stays loaded for the life of the process once loaded: client threads keep
// per-thread state in it. A RawConnection owns its handle and closes it; it borrows the RawMySQL,
// which must outlive it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class RawMySQL {
 public:
  // The client's opaque types: MYSQL*, MYSQL_RES* and MYSQL_ROW.
  using MYSQL = void;
  using MYSQL_RES = void;
  using MYSQL_ROW = char**;

  // Values of the client's enum mysql_option and enum mysql_protocol_type used here.
  static constexpr int kOptConnectTimeout = 0;
  static constexpr int kOptCharsetName = 7;
  static constexpr int kOptProtocol = 9;
  static constexpr unsigned int kProtocolTcp = 1;
  static constexpr unsigned int kProtocolSocket = 2;

  // Opens the library and binds every entry point below. Safe to call again once it succeeded.
  // On failure says why in *err (may be null) and leaves the object unloaded.
  bool load(std::string* err);
  bool loaded() const { return m_loaded; }

  MYSQL* (*init)(MYSQL*) = nullptr;
  MYSQL* (*real_connect)(MYSQL*, const char* host, const char* user, const char* password,
                         const char* db, unsigned int port, const char* unix_socket,
                         unsigned long flags) = nullptr;
  void (*close)(MYSQL*) = nullptr;
  int (*options)(MYSQL*, int option, const void* arg) = nullptr;
  int (*query)(MYSQL*, const char*) = nullptr;
  int (*real_query)(MYSQL*, const char*, unsigned long length) = nullptr;
  MYSQL_RES* (*store_result)(MYSQL*) = nullptr;
  MYSQL_RES* (*use_result)(MYSQL*) = nullptr;
  void (*free_result)(MYSQL_RES*) = nullptr;
  MYSQL_ROW (*fetch_row)(MYSQL_RES*) = nullptr;
  unsigned long* (*fetch_lengths)(MYSQL_RES*) = nullptr;
  unsigned int (*num_fields)(MYSQL_RES*) = nullptr;
  unsigned long long (*num_rows)(MYSQL_RES*) = nullptr;
  unsigned int (*field_count)(MYSQL*) = nullptr;
  unsigned long long (*affected_rows)(MYSQL*) = nullptr;
  const char* (*error)(MYSQL*) = nullptr;
  unsigned int (*errno_)(MYSQL*) = nullptr;

 private:
  bool m_loaded = false;
};

// The server the tests talk to, as `scripts/testdb start DIR` describes it in DIR/env.
struct TestServer {
  std::string host;
  unsigned int port = 0;
  std::string socket;
  std::string user;
  std::string password;
  std::string database;

  // Reads QX_TEST_HOST, QX_TEST_PORT, QX_TEST_SOCKET, QX_TEST_USER, QX_TEST_PASSWORD and
  // QX_TEST_DATABASE. False, with *out untouched, if any is unset or the port is not 1..65535.
  static bool fromEnv(TestServer* out);
  // What is missing or wrong in the environment, and how to set it up; for failure messages.
  static std::string setupHint();
};

enum class RawTransport { Tcp, Socket };

using RawCell = std::optional<std::string>;  // nullopt is SQL NULL
using RawRow = std::vector<RawCell>;
using RawRows = std::vector<RawRow>;

class RawConnection {
 public:
  explicit RawConnection(RawMySQL& lib) : m_lib(lib) {}
  ~RawConnection() { disconnect(); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // Connects to the server's database by the given transport only (no fallback from one to the
  // other), in utf8mb4. Any previous connection is closed first.
  bool connect(const TestServer& server, RawTransport transport, std::string* err);
  void disconnect();

  // Runs one statement; its rows, if it has any, are read whole into *rows (may be null).
  // SQL may contain zero bytes. *rows is cleared first.
  bool query(std::string_view sql, RawRows* rows, std::string* err);
  bool exec(std::string_view sql, std::string* err) { return query(sql, nullptr, err); }

  RawMySQL::MYSQL* handle() const { return m_mysql; }
  unsigned int lastErrno() const;

 private:
  bool fail(std::string* err) const;

  RawMySQL& m_lib;
  RawMySQL::MYSQL* m_mysql = nullptr;
};

// One-shot: loads the library if needed, connects, runs sql, disconnects.
bool rawQuery(RawMySQL& lib, const TestServer& server, RawTransport transport,
              std::string_view sql, RawRows* rows, std::string* err);
