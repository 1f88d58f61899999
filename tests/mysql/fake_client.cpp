// A client library that exports only the required functions, each answering zero: the loader
// must accept it without the optional ones. Built a second time with mysql_affected_rows renamed
// away, for a library that lacks a required function, and a third time (QX_FAKE_REFUSING_ESCAPER)
// as a client that connects and whose quote-aware escaper refuses every text; with
// QX_FAKE_SILENT_REFUSAL too, it gives no reason (no error number, no message).
#include <type_traits>

#include "driver/mysqlapi.h"

template <typename T>
T Zero() {
  if constexpr (!std::is_void_v<T>) return T{};
}

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_1(name, R, P) \
  FAKE_EXPORT R name P { return Zero<R>(); }
#define FAKE_0(name, R, P)
#define FAKE(n, name, R, P, req) FAKE_##req(name, R, P)

#ifdef QX_FAKE_REFUSING_ESCAPER
// Answered below instead of by zero.
#define mysql_get_client_info fake_zero_client_info
#define mysql_get_server_info fake_zero_server_info
#define mysql_init fake_zero_init
#define mysql_real_connect fake_zero_real_connect
#define mysql_errno fake_zero_errno
#define mysql_error fake_zero_error
#endif

QX_MYSQL_FUNCTIONS(FAKE)

#ifdef QX_FAKE_REFUSING_ESCAPER
#undef mysql_get_client_info
#undef mysql_get_server_info
#undef mysql_init
#undef mysql_real_connect
#undef mysql_errno
#undef mysql_error

namespace {
MYSQL g_handle;
bool g_bRefused = false;
}  // namespace

FAKE_EXPORT const char* mysql_get_client_info() { return "10.11.6"; }
FAKE_EXPORT char* mysql_get_server_info(MYSQL*) { return const_cast<char*>("10.11.6-fake"); }
FAKE_EXPORT MYSQL* mysql_init(MYSQL*) { return &g_handle; }
FAKE_EXPORT MYSQL* mysql_real_connect(MYSQL* h, const char*, const char*, const char*, const char*, unsigned int,
                                      const char*, unsigned long) {
  return h;
}
#ifdef QX_FAKE_SILENT_REFUSAL
FAKE_EXPORT unsigned int mysql_errno(MYSQL*) { return 0; }
FAKE_EXPORT const char* mysql_error(MYSQL*) { return ""; }
#else
// The error of the last refusal; none before it.
FAKE_EXPORT unsigned int mysql_errno(MYSQL*) { return g_bRefused ? 2062 : 0; }
FAKE_EXPORT const char* mysql_error(MYSQL*) { return g_bRefused ? "Insecure API function call" : ""; }
#endif
FAKE_EXPORT unsigned long mysql_real_escape_string_quote(MYSQL*, char*, const char*, unsigned long, char) {
  g_bRefused = true;
  return static_cast<unsigned long>(-1);
}
#endif
