// CNAInternalParse: one SQL text of the driver's own run on a connection through a data access
// made for it (query name "$QXInternal", no record cache), its rows read into host values or
// appended to a text with the caller's separators.
//
// Ownership: it borrows its error object and connection (the caller's, which outlive it) and
// holds one reference on its data access and one on the statement that ran the text (none when
// the text produced no result columns). It is made with a count of 0 and freed by the release
// that brings the count back to 0, statement first.
//
// Rules: every failure is reported into the error object by the operation that failed; nothing
// here adds a code of its own. A text fetch that fails leaves the builder as it was before the
// row. Everything runs under the driver mutex.
#pragma once

#include "common/xystringconcat.h"
#include "driver/nahost.h"
#include "platform/qxunknown.h"
#include "platform/wintypes.h"

class CAny;
class CNAColumn;
class CNAConnectionDescription;
class CNADataAccess;
class CNAError;
class CNAStatement;

class CNAInternalParse : public CQXUnknown {
 public:
  CNAInternalParse(CNAError* error, CNAConnectionDescription* cnx) : m_pclError(error), m_pclConnection(cnx) {}
  ~CNAInternalParse() override;
  CNAInternalParse(const CNAInternalParse&) = delete;
  CNAInternalParse& operator=(const CNAInternalParse&) = delete;

  // sql run on cnx: the object with a count of 0 (the caller takes the first reference), or null
  // with the reason in error.
  static CNAInternalParse* s_pclGetNAInternalParse(const wchar_t* sql, CNAError* error, CNAConnectionDescription* cnx);
  // sql run and its whole result appended to out. FALSE when it cannot run, or when a row or value
  // cannot be read (out then ends after the last whole row).
  static BOOL s_bDoInternalParse(const wchar_t* sql, CNAError* error, CNAConnectionDescription* cnx,
                                 CXYStringConcat<wchar_t>* out, const wchar_t* lineSeparator,
                                 const wchar_t* columnSeparator);

  // One row in direction; *outOfRange the statement's. Without a statement: out of range, TRUE.
  BOOL bFetch(eNA_PARSEDIRECTION direction, int* outOfRange);
  // One row, its first count values (at most the record's columns) into values. FALSE without a
  // statement.
  BOOL bFetchData(eNA_PARSEDIRECTION direction, int* outOfRange, CAny* values, int count);
  // One row appended to out: the line separator first when out holds text, then its values as
  // text between column separators (NULL and values with no text give empty fields). A value that
  // cannot be read fails and cuts out back to its length before the row. FALSE without a statement.
  BOOL bFetchData(eNA_PARSEDIRECTION direction, int* outOfRange, CXYStringConcat<wchar_t>* out,
                  const wchar_t* lineSeparator, const wchar_t* columnSeparator);
  // Every row from the first appended to out. FALSE without a statement or when a row fails
  // (out ends after the last whole row); leaving the rows is no failure.
  BOOL bFetchAll(CXYStringConcat<wchar_t>* out, const wchar_t* lineSeparator, const wchar_t* columnSeparator);
  // The same text run again on the same statement, without record cache. FALSE without a statement.
  BOOL bReExecute();
  // The current record's columns; 0 without a statement.
  int nGetColumnNbr() const;
  CNAColumn* pclGetColumnNoRef(const wchar_t* name) const;
  // No bounds check: i is below nGetColumnNbr().
  CNAColumn* pclGetColumnNoRef(int i) const;

 private:
  BOOL _bAllocate();
  BOOL _bExecute(const wchar_t* sql);

  CNAError* m_pclError;
  CNAConnectionDescription* m_pclConnection;
  CNADataAccess* m_pclDataAccess = nullptr;
  CNAStatement* m_pclStatement = nullptr;
};
