// A client library for fault runs: it exports every function the driver's loader resolves and
// forwards each to the real client library, opened by its full path (QX_REAL_CLIENT). On command
// it fails the n-th of the calls that can fail in the real library, the way a lost server makes
// them fail: the call returns the real function's failure value, mysql_errno and mysql_error of
// its handle answer 2013 (or 2006 for a text that never left), and the handle's socket is shut,
// so that the server ends the session (rolling back an open transaction) and every later call
// on the handle meets a dead connection until mysql_close.
//
// Text-sending calls (mysql_real_connect, mysql_real_query, mysql_set_character_set) fail one of
// two ways: before the real call (the server never sees the text) or after it (the server did the
// work, the reply is lost). A fetch counts only on a streamed result: a stored one is in memory.
// The quote-aware escaper is not exported: the real library has none.
//
// It can also run a statement of the test's on every handle as soon as it connects (the SQL mode
// a write test wants on the driver's session), uncounted.
//
// The test reaches the controls below through its own dlopen of this file, which gives it the
// instance the driver loaded. State is process-wide, under one mutex.
#include <dlfcn.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "driver/mysqlapi.h"

#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr unsigned int kLost = 2013;  // CR_SERVER_LOST
constexpr unsigned int kGone = 2006;  // CR_SERVER_GONE_ERROR

std::recursive_mutex g_mutex;
void* g_real = nullptr;
long g_counted = 0;
long g_failAt = 0;
bool g_afterRealCall = false;
bool g_fired = false;
// Every counted call since the last arm: its name (a query's with the first word of its text)
// and whether it sends text.
std::vector<std::pair<std::string, bool>> g_log;
// The error a failed call left on its handle, until the next call forwarded on that handle.
std::map<MYSQL*, unsigned int> g_override;
std::map<MYSQL_RES*, MYSQL*> g_streamed;
// Run on every handle right after it connects (a session setting the driver does not make).
std::string g_sessionSql;
thread_local int t_depth = 0;

void* Real(const char* name) {
  std::lock_guard lock(g_mutex);
  if (g_real == nullptr) {
    g_real = dlopen(QX_REAL_CLIENT, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (g_real == nullptr) {
      fprintf(stderr, "fault client: %s\n", dlerror());
      abort();
    }
  }
  void* f = dlsym(g_real, name);
  if (f == nullptr) {
    fprintf(stderr, "fault client: no %s in %s\n", name, QX_REAL_CLIENT);
    abort();
  }
  return f;
}

template <typename F>
F RealFn(const char* name) {
  return reinterpret_cast<F>(Real(name));
}

// The server sees the connection end; the client library finds it gone on its next use.
void ShutSocket(MYSQL* handle) {
  if (handle == nullptr) return;
  auto getSocket = RealFn<int (*)(MYSQL*)>("mysql_get_socket");
  const int fd = getSocket(handle);
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

// Counts one call that can fail; true when this is the one to fail. Nested calls (the real
// library calling its own exports) are not counted.
bool Fails(std::string name, bool sendsText) {
  if (t_depth > 0) return false;
  std::lock_guard lock(g_mutex);
  ++g_counted;
  g_log.emplace_back(std::move(name), sendsText);
  if (g_counted != g_failAt) return false;
  g_fired = true;
  return true;
}

bool AfterRealCall() {
  std::lock_guard lock(g_mutex);
  return g_afterRealCall;
}

// Marks handle as lost with code; its socket is shut.
void Lose(MYSQL* handle, unsigned int code) {
  if (handle == nullptr) return;
  ShutSocket(handle);
  std::lock_guard lock(g_mutex);
  g_override[handle] = code;
}

// A forwarded call on handle replaces the error a failure left there.
void Forwarding(MYSQL* handle) {
  std::lock_guard lock(g_mutex);
  g_override.erase(handle);
}

MYSQL* HandleOf(MYSQL_RES* result) {
  std::lock_guard lock(g_mutex);
  auto it = g_streamed.find(result);
  return it == g_streamed.end() ? nullptr : it->second;
}

struct Depth {
  Depth() { ++t_depth; }
  ~Depth() { --t_depth; }
};

// The results of a text the server ran are read and dropped: the reply reached the client and
// was lost there, and the handle is not left waiting for it.
void DropResults(MYSQL* h) {
  Depth d;
  auto store = RealFn<decltype(&::mysql_store_result)>("mysql_store_result");
  auto free = RealFn<decltype(&::mysql_free_result)>("mysql_free_result");
  auto next = RealFn<decltype(&::mysql_next_result)>("mysql_next_result");
  do {
    if (MYSQL_RES* r = store(h)) free(r);
  } while (next(h) == 0);
}

#define REAL(name) RealFn<decltype(&::name)>(#name)

// The rows of a streamed result read off and the result freed.
void DrainRows(MYSQL_RES* r) {
  Depth d;
  while (REAL(mysql_fetch_row)(r) != nullptr) {
  }
  REAL(mysql_free_result)(r);
}

// A text-sending call answering 0 on success: failing before the real call sends it, or after
// (the results it produced then read and dropped when it has any).
template <typename F>
int SendText(std::string name, MYSQL* h, F&& real, bool hasResults) {
  const bool fails = Fails(std::move(name), true);
  if (fails && !AfterRealCall()) {
    Lose(h, kGone);
    return 1;
  }
  Forwarding(h);
  int r;
  {
    Depth d;
    r = real();
  }
  if (!fails) return r;
  if (r == 0 && hasResults) DropResults(h);
  Lose(h, kLost);
  return 1;
}

}  // namespace

// ---- controls ----

// From now on counting starts again at 0 and call n fails (0: none); after: text-sending calls
// fail once the real call ran.
SHIM_EXPORT void qxfault_arm(long n, int after) {
  std::lock_guard lock(g_mutex);
  g_counted = 0;
  g_failAt = n;
  g_afterRealCall = after != 0;
  g_fired = false;
  g_log.clear();
}
// Every later connection runs sql (empty: nothing) as soon as it is made, uncounted.
SHIM_EXPORT void qxfault_session_sql(const char* sql) {
  std::lock_guard lock(g_mutex);
  g_sessionSql = sql != nullptr ? sql : "";
}
SHIM_EXPORT long qxfault_count() {
  std::lock_guard lock(g_mutex);
  return g_counted;
}
SHIM_EXPORT int qxfault_fired() {
  std::lock_guard lock(g_mutex);
  return g_fired ? 1 : 0;
}
// The name of counted call n (1-based) since the arm, null past the count; *sendsText set. The
// text lives until the next arm.
SHIM_EXPORT const char* qxfault_call(long n, int* sendsText) {
  std::lock_guard lock(g_mutex);
  if (n < 1 || n > static_cast<long>(g_log.size())) return nullptr;
  if (sendsText != nullptr) *sendsText = g_log[static_cast<size_t>(n - 1)].second ? 1 : 0;
  return g_log[static_cast<size_t>(n - 1)].first.c_str();
}

// ---- calls that can fail ----

SHIM_EXPORT MYSQL* mysql_init(MYSQL* m) {
  if (Fails("mysql_init", false)) return nullptr;
  Depth d;
  return REAL(mysql_init)(m);
}

SHIM_EXPORT MYSQL* mysql_real_connect(MYSQL* h, const char* host, const char* user, const char* password,
                                      const char* db, unsigned int port, const char* socket, unsigned long flags) {
  const bool fails = Fails("mysql_real_connect", true);
  if (fails && !AfterRealCall()) {
    Lose(h, kLost);
    return nullptr;
  }
  Forwarding(h);
  MYSQL* r;
  {
    Depth d;
    r = REAL(mysql_real_connect)(h, host, user, password, db, port, socket, flags);
    std::string sql;
    {
      std::lock_guard lock(g_mutex);
      sql = g_sessionSql;
    }
    if (r != nullptr && !sql.empty() && REAL(mysql_real_query)(r, sql.data(), sql.size()) == 0) DropResults(r);
  }
  if (!fails || r == nullptr) return r;
  Lose(h, kLost);
  return nullptr;
}

SHIM_EXPORT int mysql_real_query(MYSQL* h, const char* text, unsigned long length) {
  std::string name = "mysql_real_query ";
  for (unsigned long i = 0; i < length && text[i] != ' '; ++i) name += text[i];
  return SendText(std::move(name), h, [&] { return REAL(mysql_real_query)(h, text, length); }, true);
}

SHIM_EXPORT int mysql_set_character_set(MYSQL* h, const char* charset) {
  return SendText("mysql_set_character_set", h, [&] { return REAL(mysql_set_character_set)(h, charset); }, false);
}

// A call failing on a connection that is gone: the real library meets the loss too (its reads
// find the socket shut), so that its handle is left as a lost connection leaves it.
SHIM_EXPORT MYSQL_RES* mysql_store_result(MYSQL* h) {
  if (Fails("mysql_store_result", false)) {
    Lose(h, kLost);
    DropResults(h);
    return nullptr;
  }
  Forwarding(h);
  Depth d;
  return REAL(mysql_store_result)(h);
}

SHIM_EXPORT MYSQL_RES* mysql_use_result(MYSQL* h) {
  if (Fails("mysql_use_result", false)) {
    Lose(h, kLost);
    Depth d;
    if (MYSQL_RES* r = REAL(mysql_use_result)(h)) DrainRows(r);
    return nullptr;
  }
  Forwarding(h);
  MYSQL_RES* r;
  {
    Depth d;
    r = REAL(mysql_use_result)(h);
  }
  if (r != nullptr) {
    std::lock_guard lock(g_mutex);
    g_streamed[r] = h;
  }
  return r;
}

SHIM_EXPORT int mysql_next_result(MYSQL* h) {
  if (Fails("mysql_next_result", false)) {
    Lose(h, kLost);
    Depth d;
    if (REAL(mysql_next_result)(h) == 0) DropResults(h);
    return 1;
  }
  Forwarding(h);
  Depth d;
  return REAL(mysql_next_result)(h);
}

SHIM_EXPORT MYSQL_ROW mysql_fetch_row(MYSQL_RES* r) {
  MYSQL* h = HandleOf(r);
  if (h != nullptr) {
    if (Fails("mysql_fetch_row", false)) {
      Lose(h, kLost);
      Depth d;
      while (REAL(mysql_fetch_row)(r) != nullptr) {
      }
      return nullptr;
    }
    Forwarding(h);
  }
  Depth d;
  return REAL(mysql_fetch_row)(r);
}

SHIM_EXPORT int mysql_options(MYSQL* h, enum mysql_option option, const void* arg) {
  if (Fails("mysql_options", false)) {
    Lose(h, kLost);
    return 1;
  }
  Depth d;
  return REAL(mysql_options)(h, option, arg);
}

SHIM_EXPORT int mysql_ssl_set(MYSQL* h, const char* key, const char* cert, const char* ca, const char* capath,
                              const char* cipher) {
  if (Fails("mysql_ssl_set", false)) {
    Lose(h, kLost);
    return 1;
  }
  Depth d;
  return REAL(mysql_ssl_set)(h, key, cert, ca, capath, cipher);
}

SHIM_EXPORT unsigned long mysql_real_escape_string(MYSQL* h, char* to, const char* from, unsigned long length) {
  if (Fails("mysql_real_escape_string", false)) {
    Lose(h, kLost);
    return static_cast<unsigned long>(-1);
  }
  Depth d;
  return REAL(mysql_real_escape_string)(h, to, from, length);
}

// ---- errors of a handle: a failure's own until the handle is used again ----

SHIM_EXPORT unsigned int mysql_errno(MYSQL* h) {
  {
    std::lock_guard lock(g_mutex);
    auto it = g_override.find(h);
    if (it != g_override.end()) return it->second;
  }
  Depth d;
  return REAL(mysql_errno)(h);
}

SHIM_EXPORT const char* mysql_error(MYSQL* h) {
  {
    std::lock_guard lock(g_mutex);
    auto it = g_override.find(h);
    if (it != g_override.end())
      return it->second == kGone ? "Server has gone away" : "Lost connection to server during query";
  }
  Depth d;
  return REAL(mysql_error)(h);
}

// ---- calls that cannot fail, forwarded as they are ----

SHIM_EXPORT void mysql_close(MYSQL* h) {
  {
    std::lock_guard lock(g_mutex);
    g_override.erase(h);
    for (auto it = g_streamed.begin(); it != g_streamed.end();)
      it = it->second == h ? g_streamed.erase(it) : std::next(it);
  }
  Depth d;
  REAL(mysql_close)(h);
}

SHIM_EXPORT void mysql_free_result(MYSQL_RES* r) {
  {
    std::lock_guard lock(g_mutex);
    g_streamed.erase(r);
  }
  Depth d;
  REAL(mysql_free_result)(r);
}

#define SHIM_FORWARD(name, R, P, A) \
  SHIM_EXPORT R name P {            \
    Depth d;                        \
    return REAL(name) A;            \
  }
SHIM_FORWARD(mysql_get_client_info, const char*, (), ())
SHIM_FORWARD(mysql_get_server_info, char*, (MYSQL * h), (h))
SHIM_FORWARD(mysql_escape_string, unsigned long, (char* to, const char* from, unsigned long n), (to, from, n))
SHIM_FORWARD(mysql_fetch_fields, MYSQL_FIELD*, (MYSQL_RES * r), (r))
SHIM_FORWARD(mysql_num_fields, unsigned int, (MYSQL_RES * r), (r))
SHIM_FORWARD(mysql_fetch_lengths, unsigned long*, (MYSQL_RES * r), (r))
SHIM_FORWARD(mysql_data_seek, void, (MYSQL_RES * r, unsigned long long row), (r, row))
SHIM_FORWARD(mysql_num_rows, my_ulonglong, (MYSQL_RES * r), (r))
SHIM_FORWARD(mysql_insert_id, my_ulonglong, (MYSQL * h), (h))
// It reports what the last statement left; it cannot fail by itself.
SHIM_FORWARD(mysql_affected_rows, my_ulonglong, (MYSQL * h), (h))
