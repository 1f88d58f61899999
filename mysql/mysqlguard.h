// How the backend calls the client library: every call goes through the function table
// (driver/mysqlapi.h) inside bMySQLGuard, and text crosses the call through the code-page
// converters below.
//
// The guard turns an exception into a driver error: a thrown CTString (a function the loaded
// library lacks) is user error 37 naming it, into the caller's error object (dropped without
// one); anything else is user error 23 into the caller's error object or else the driver's, with
// the driver's crash debug message, and sets CNADriver::s_bGPFCatched. Either way the call counts
// as failed and its result must not be used.
#pragma once

#include <utility>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "platform/wintypes.h"

class CNAConnectionDescription;
class CNAError;

void MySQLGuardReport(CNAError* error, CNAConnectionDescription* cnx, int file, int site, const CTString* missing);

// TRUE when call returned; FALSE, reported into where()'s error and connection (a pair, asked
// for only then: nothing is held across the call for a throw), when it threw.
template <typename W, typename F>
BOOL bMySQLGuardWhere(W&& where, int file, int site, F&& call) {
  try {
    call();
    return TRUE;
  } catch (const CTString& missing) {
    const auto [error, cnx] = where();
    MySQLGuardReport(error, cnx, file, site, &missing);
  } catch (...) {
    const auto [error, cnx] = where();
    MySQLGuardReport(error, cnx, file, site, nullptr);
  }
  return FALSE;
}

// TRUE when call returned; FALSE, reported, when it threw. The error object and the connection
// are read only then: a call that returns (every row's fetch) does not load them.
template <typename F>
BOOL bMySQLGuard(CNAError* const& error, CNAConnectionDescription* const& cnx, int file, int site, F&& call) {
  return bMySQLGuardWhere([&] { return std::pair{error, cnx}; }, file, site, call);
}

// Code page -2: the text is already in the form wanted.
class CNACodePageCnv {
 public:
  explicit CNACodePageCnv(int codePage) : m_nCodePage(codePage) {}
  virtual ~CNACodePageCnv() = default;
  CNACodePageCnv(const CNACodePageCnv&) = delete;
  CNACodePageCnv& operator=(const CNACodePageCnv&) = delete;

 protected:
  int m_nCodePage;
};

// Wide text going to the client, converted at construction: null stays null, an empty or
// unconvertible text becomes "". A short ASCII text, the same bytes in 1252 and UTF-8, is
// copied into the object itself: the common short command costs no allocation.
class CNACodePageCnvIN : public CNACodePageCnv {
 public:
  CNACodePageCnvIN(const wchar_t* source, int codePage);
  const char* psz() const;
  // Bytes of psz().
  unsigned long nLength() const;

 private:
  const wchar_t* m_pszSource;
  int m_nSourceLength;
  CXYString<char> m_clText;
  bool m_bInline = false;
  char m_szInline[128];
};

// Narrow text coming back from the client: null stays null, an unconvertible text becomes "".
class CNACodePageCnvOUT : public CNACodePageCnv {
 public:
  CNACodePageCnvOUT(const char* source, int codePage);
  const wchar_t* psz() const;

 protected:
  const char* m_pszSource;
  int m_nSourceLength;
  CXYString<wchar_t> m_clText;
};

class CNACodePageCnvOUTPtr : public CNACodePageCnvOUT {
 public:
  using CNACodePageCnvOUT::CNACodePageCnvOUT;
};
