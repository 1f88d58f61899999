// CNAIDAuto: the generator of automatic identifiers for the columns the server does not number:
// the column's largest value plus one (1 for an empty table), or its current largest value, read
// from the server at each call through an internal query built afresh. A backend may derive its
// own through the driver's factory.
//
// Ownership: counted (CInterf); a data access holds at most one. Its two internal queries live
// only during a call (one reference each while they do). It borrows the access, column and error
// object of each call.
#pragma once

#include "common/interf.h"
#include "common/xystringconcat.h"
#include "platform/wintypes.h"

class CAny;
class CNAColumn;
class CNADataAccess;
class CNAError;

class CNAIDAuto : public CInterf {
 public:
  CNAIDAuto() = default;
  CNAIDAuto(const CNAIDAuto&) = delete;
  CNAIDAuto& operator=(const CNAIDAuto&) = delete;

  // ---- Virtual operations, in their slot order ----
  // value = the column's largest value plus one, an empty table's 1 as a 64-bit integer. FALSE
  // with the server's (or the internal query's) error and message 28576 (table, column) first.
  virtual BOOL bGetNextValue(CNADataAccess* access, CNAColumn* column, CNAError* error, CAny* value);
  // value = the column's largest value (NULL for an empty table). FALSE with user error 59
  // (table, column) when the query gives no row.
  virtual BOOL bGetMaxCurrentValue(CNADataAccess* access, CNAColumn* column, CNAError* error, CAny* value);
  // "SELECT MAX(<column>)+1 FROM <table>", names in the connection's quotes: a query's column
  // by its source column and source table.
  virtual BOOL _bBuildQueryGetNextValue(CXYStringConcat<wchar_t>* text, CNADataAccess* access, CNAColumn* column);
  virtual BOOL _bBuildQueryGetMaxCurrentValue(CXYStringConcat<wchar_t>* text, CNADataAccess* access,
                                              CNAColumn* column);
  // Message 28576 (logical table name, column name) put first in error.
  virtual void _PrefixMessageErreur(CNAError* error, CNADataAccess* access, CNAColumn* column);

 protected:
  BOOL _bBuildQueryGetMax(CXYStringConcat<wchar_t>* text, CNADataAccess* access, CNAColumn* column, int plusOne);

 private:
  // text run as an internal query and its first row's first value fetched into value, the query
  // let go before it answers: FALSE when it cannot run, else TRUE with the fetch's answer in
  // *fetched.
  BOOL _bRunFirstRow(const CXYStringConcat<wchar_t>& text, CNADataAccess* access, CNAError* error, BOOL* fetched,
                     int* outOfRange, CAny* value);
};
