// The client library's function table: one pointer per client function the driver calls, named
// "__" + the function's name, in the loader's order. The library is never linked: until the loader
// resolves an entry it points to its default routine "DefaultError_" + the name, which throws a
// CTString holding the function's name. The MySQL backend calls the client through these entries
// only, each call inside its guard (mysql/mysqlguard.h).
//
// Entries 1 to 20 are required, 21 to 26 optional (a library without them still loads). The
// table is process-wide and written only by the loader, under the driver mutex.
#pragma once

#include <mariadb/mysql.h>

// X(number, name, result, parameters, required)
#define QX_MYSQL_FUNCTIONS(X)                                                                             \
  X(1, mysql_get_client_info, const char*, (), 1)                                                         \
  X(2, mysql_get_server_info, char*, (MYSQL*), 1)                                                         \
  X(3, mysql_init, MYSQL*, (MYSQL*), 1)                                                                   \
  X(4, mysql_real_connect, MYSQL*,                                                                        \
    (MYSQL*, const char*, const char*, const char*, const char*, unsigned int, const char*, unsigned long), 1) \
  X(5, mysql_close, void, (MYSQL*), 1)                                                                    \
  X(6, mysql_escape_string, unsigned long, (char*, const char*, unsigned long), 1)                        \
  X(7, mysql_real_query, int, (MYSQL*, const char*, unsigned long), 1)                                    \
  X(8, mysql_store_result, MYSQL_RES*, (MYSQL*), 1)                                                       \
  X(9, mysql_use_result, MYSQL_RES*, (MYSQL*), 1)                                                         \
  X(10, mysql_free_result, void, (MYSQL_RES*), 1)                                                         \
  X(11, mysql_fetch_fields, MYSQL_FIELD*, (MYSQL_RES*), 1)                                                \
  X(12, mysql_num_fields, unsigned int, (MYSQL_RES*), 1)                                                  \
  X(13, mysql_fetch_lengths, unsigned long*, (MYSQL_RES*), 1)                                             \
  X(14, mysql_data_seek, void, (MYSQL_RES*, unsigned long long), 1)                                       \
  X(15, mysql_fetch_row, MYSQL_ROW, (MYSQL_RES*), 1)                                                      \
  X(16, mysql_num_rows, my_ulonglong, (MYSQL_RES*), 1)                                                    \
  X(17, mysql_insert_id, my_ulonglong, (MYSQL*), 1)                                                       \
  X(18, mysql_errno, unsigned int, (MYSQL*), 1)                                                           \
  X(19, mysql_error, const char*, (MYSQL*), 1)                                                            \
  X(20, mysql_affected_rows, my_ulonglong, (MYSQL*), 1)                                                   \
  X(21, mysql_next_result, int, (MYSQL*), 0)                                                              \
  X(22, mysql_set_character_set, int, (MYSQL*, const char*), 0)                                           \
  X(23, mysql_ssl_set, int, (MYSQL*, const char*, const char*, const char*, const char*, const char*), 0) \
  X(24, mysql_options, int, (MYSQL*, enum mysql_option, const void*), 0)                                  \
  X(25, mysql_real_escape_string, unsigned long, (MYSQL*, char*, const char*, unsigned long), 0)         \
  X(26, mysql_real_escape_string_quote, unsigned long, (MYSQL*, char*, const char*, unsigned long, char), 0)

#define QX_MYSQL_DECLARE(n, name, R, P, req) \
  R DefaultError_##name P;                   \
  extern R(*__##name) P;
QX_MYSQL_FUNCTIONS(QX_MYSQL_DECLARE)
#undef QX_MYSQL_DECLARE

// TRUE when the loaded library gave the entry (it no longer holds its default routine).
#define QX_MYSQL_RESOLVED(name) \
  (reinterpret_cast<void*>(__##name) != reinterpret_cast<void*>(&DefaultError_##name))
