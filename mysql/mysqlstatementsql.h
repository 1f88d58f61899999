// CMySQLStatementSQL: the MySQL form of the low-level statement. It sends texts with
// mysql_real_query by their byte length and takes the result stored (whole, counted, seekable)
// or streamed (row by row); rows and values come straight from the client's row arrays into the
// caller's converters. Its connection must be a CMySQLConnection.
//
// It owns the client's result handle of its current result: bReset (and so every execution)
// and the destructor free it, reading first what a streamed result still holds on the server.
// Every result a multi-statement text produces is read: the first result set becomes the
// statement's, the others are read and freed (a streamed result's once its rows are read), and
// an error of any later statement fails the execution, fetch or close that meets it with the
// server's error. So the connection is always ready for the next text.
//
// A text that meets a lost session (2006, or 2013 during the query) outside a transaction asks
// the server for its packet limit, closing and reopening the connection once when that question
// fails; the failed text is never sent again. Inside a transaction nothing reopens: the
// connection marks the transaction lost. A streamed result registers itself with its connection
// while it is open, so that closing the handle frees it first.
#pragma once

#include <mariadb/mysql.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sql/nastatementsql.h"

class CMySQLConnection;

// A 10- or 19-character DATE or DATETIME text without its '-' into digits (room for length): the
// digit form the converter reads by length. The count written.
unsigned int nMySQLDateDigits(const char* text, unsigned int length, char* digits);

class CMySQLStatementSQL : public CNAStatementSQL {
 public:
  CMySQLStatementSQL(CNAConnectionDescription* connection, CNAError* error);
  ~CMySQLStatementSQL() override;

  using CNAStatementSQL::_bExecuteDirect;
  using CNAStatementSQL::bGetValue;

  // TRUE: the text ran, its result (if any) is open with its columns built.
  BOOL _bExecuteDirect(const char* text, unsigned long length, CTabValParser* values,
                       NA_WRITEPARSEFLAGS flags) override;
  // The rows touched by the last statement of the text this statement ran (taken before the
  // look for further results, which clears the client's count); 0 before any run. TRUE.
  BOOL bGetAffected_rows(unsigned long long* count) override;
  // Without rows (no result set, or an empty stored one) TRUE at once, no row current.
  BOOL bFetch(unsigned int) override;
  // Stored results only: FALSE, nothing changed, for a streamed one, none or a negative index.
  // Any other 64-bit index; past the end, the next fetch finds no row.
  BOOL bDataSeek(long long row) override;
  BOOL bRowsSeekable() const override { return m_pResult != nullptr && !m_bStreamed ? TRUE : FALSE; }
  // The column of the current row into value: FALSE without a current row, or with user error
  // 50 for a column past the count.
  BOOL bGetValue(CNAConvertVariant* value, unsigned int column, unsigned int flags) override;
  // bGetValue's road for the column's type: DATE columns (digit forms) and BLOB columns read as
  // bytes or as wide text have no writer.
  CNAConvertVariant::eNAROWTEXT eGetRowTextForm(unsigned int column, const CNAConvertVariant* value) const override;
  BOOL _bCloseParse() override;
  BOOL _bInitTabNAColumn() override;
  // The server's error and the text (the base's report). On a lost session outside any
  // transaction, the packet-limit question, which may reopen the connection once; a text
  // longer, in characters, than the limit puts user error 320101 first (database, server code,
  // limit, length, its first 20 characters), the server code kept.
  void _InitExecuteError(unsigned int file, unsigned int site, const wchar_t* text, int length,
                         unsigned int flags) override;
  // _InitExecuteError for the narrow text sent: its length in characters and its first
  // characters are all the report needs, so a long text is not converted whole.
  void _InitExecuteErrorOfText(unsigned int file, unsigned int site, const char* text, unsigned long length,
                               unsigned int flags);
  // Frees an open streamed result and forgets it, before its connection closes the handle under
  // it; nothing is reported.
  void _DropStreamedResult();

  // The next row of the open result; FALSE on an error (no row current then).
  BOOL _bFetch();
  // _bFetch past a streamed result's last row (m_bRowsPending): the server's error, if any, then
  // the results after it stepped over.
  BOOL _bEndOfPendingRows();
  // The next row, null at the end, on an error and after a failed call; changes nothing.
  MYSQL_ROW __pFetchRow();
  // The column's bytes and length in the current row (null bytes: NULL); FALSE without a current
  // row or with user error 50 for a column past the count.
  BOOL bGetValue(unsigned char** value, unsigned int* length, unsigned int column);

  // The table column that column i of the open result is, as the server names it: its database,
  // table and name in the table; empty texts for an expression. FALSE, nothing told, without a
  // result or past its columns.
  BOOL bGetColumnOrigin(unsigned int i, CTString* database, CTString* table, CTString* column);

  // 1 (from construction): the next execution stores its result; 0: streams it.
  void SetStoreResult(BOOL bStore) { m_bStoreResult = bStore ? 1 : 0; }
  int bGetStoreResult() const { return m_bStoreResult; }
  int bRowsPending() const { return m_bRowsPending; }

  // A streamed result's row count: its rows are counted only once read.
  static constexpr long long kStreamedRowCount = 4294967295LL;
  static constexpr int kSourceFile = 100;

 private:
  BOOL _bGetStoreResult();
  BOOL _bGetUseResult();
  // The result of the text just run, stored or streamed.
  BOOL _bTakeResult(bool stored);
  // Reads and frees the results left after the current one; FALSE with the server's error when
  // a later statement failed.
  BOOL _bStepOverResults();
  // _bInitTabNAColumn's columns from i on, built from their fields (kept entries first forgotten
  // unless same), their names converted from code page cp; rowMax with their longest values added.
  [[gnu::noinline]] unsigned int _nBuildColumns(const MYSQL_FIELD* fields, unsigned int i, bool same, int cp,
                                                unsigned int rowMax);
  // The connection's handle, or its reopening after a lost session (bHandleOrReopen).
  BOOL _bHasHandle(int site);
  // The freed result's handle, row pointers, counts and position cleared; no row current.
  void _ForgetResult();
  // No result open, none streamed: flags cleared, the registration given back.
  void _ForgetStreaming();
  // The server's max_allowed_packet through a quiet error object of the driver's, the connection
  // closed and reopened once when the first question fails (a failed reopening leaves one wanted);
  // 0 when it cannot be had.
  int _nProbePacketLimit();
  // bGetValue before the columns are built (it builds them), or past the count (user error 50).
  // Kept out of bGetValue, which then holds nothing across a call.
  [[gnu::noinline]] BOOL _bGetValueBuildingColumns(CNAConvertVariant* value, unsigned int column);
  // bGetValue's DATE and DATETIME columns: date texts as digits, or a date-time as it stands.
  BOOL _bGetDateValue(CNAConvertVariant* value, const CNAColumnSQL* c, const char* data, unsigned int length);
  // eGetRowTextForm's BLOB columns, out of line: the other columns' answer saves no registers.
  [[gnu::noinline]] static CNAConvertVariant::eNAROWTEXT _eGetBlobRowTextForm(const CNAColumnSQL* c,
                                                                              const CNAConvertVariant* value);
  // bGetValue's BLOB columns: bytes or text by the item.
  BOOL _bGetBlobValue(CNAConvertVariant* value, const CNAColumnSQL* c, const char* data, unsigned int length);
  CMySQLConnection* _pclMySQL() const;
  MYSQL* _pHandle() const;
  template <typename F>
  BOOL _bCall(int site, F&& call);

  MYSQL_RES* m_pResult = nullptr;
  int m_bRowsPending = 0;
  int m_bStoreResult = 1;
  int m_bStreamed = 0;
  unsigned long long m_ullAffected = 0;
  // A streamed result set whose further results are still to be stepped over.
  int m_bStepOverPending = 0;
  // What each column of the column array was built from: the field's name bytes and the words
  // that decide its column, so that a result giving them again reads only those.
  struct STKeptField {
    // The field's declared width; kNoWidth, which no field declares: the entry does not stand for
    // its column as it is (no name known, or no declared width, which makes the column's width
    // the result's own).
    static constexpr unsigned long kNoWidth = ~0UL;
    unsigned long width = kNoWidth;
    // Flags (UNSIGNED_FLAG, ENUM_FLAG, SET_FLAG) and decimals, character set and type, as the
    // field holds them.
    uint64_t words[2] = {};
    // The client's count of the name's bytes; named: name holds them (its length that count).
    unsigned int nameLength = 0;
    bool named = false;
    std::string name;
  };
  std::vector<STKeptField> m_tabKept;
  // The code page the names were converted from.
  int m_nNamesCodePage = 0;
  // 4-byte characters of a BLOB read as wide text, copied out of the unaligned row.
  std::vector<wchar_t> m_tabWide;
};
