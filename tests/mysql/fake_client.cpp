// A client library that exports only the required functions, each answering zero: the loader
// must accept it without the optional ones. Built a second time with mysql_affected_rows renamed
// away, for a library that lacks a required function.
#include <type_traits>

#include "driver/mysqlapi.h"

template <typename T>
T Zero() {
  if constexpr (!std::is_void_v<T>) return T{};
}

#define FAKE_1(name, R, P) \
  extern "C" __attribute__((visibility("default"))) R name P { return Zero<R>(); }
#define FAKE_0(name, R, P)
#define FAKE(n, name, R, P, req) FAKE_##req(name, R, P)
QX_MYSQL_FUNCTIONS(FAKE)
