// CNAStatementSQL: the driver-neutral statement on one connection. It runs complete SQL texts,
// with bind values spliced in as literals (the server always receives one whole text), through
// its backend, and gives the result: column count and records, the current row's values as host
// values or text, whole rows as text. It makes no SQL of its own.
//
// It holds a reference on its connection (given back through the driver, so that a connection
// whose close was requested goes with its last user) and a count on its error object for its
// whole life, owns the column array of its current result (built on first access, set aside by
// bReset for the next result of as many columns to take back, freed with the statement) and one
// value holder (made on first read, reused for every read after). Every failure
// goes into the statement's error; a failed execution leaves the state bReset left (no result,
// no row). The backend overrides the operations that reach the server; without a backend they
// answer FALSE without an error.
//
// Callers hold the driver mutex; the statement numbering is a plain counter under it.
#pragma once

#include <atomic>
#include <utility>

#include "common/interf.h"
#include "common/tstringconcataw.h"
#include "common/xystringconcat.h"
#include "sql/isqlparserinformation.h"
#include "sql/naconvertvariant.h"
#include "sql/nacolumnsql.h"
#include "values/any.h"

class CNAConnectionDescription;
class CNAConvertVariant;
class CNAError;
class INAError;

using NA_WRITEPARSEFLAGS = unsigned int;

class CNAStatementSQL : public CInterf {
 public:
  // Takes a reference on the connection and a count on the error; numbers the statement.
  CNAStatementSQL(CNAConnectionDescription* connection, CNAError* error);
  ~CNAStatementSQL() override;
  CNAStatementSQL(const CNAStatementSQL&) = delete;
  CNAStatementSQL& operator=(const CNAStatementSQL&) = delete;

  // ---- Backend slots ----
  virtual BOOL bPrepareSQL(CTStringConcatAW*) { return FALSE; }
  virtual BOOL bExecutePreparedQuery(NA_WRITEPARSEFLAGS) { return FALSE; }
  // bReset, then the text with each value's literal in place of its placeholder. The entries
  // must be ascending, non-overlapping and inside the text: otherwise, when a value does not
  // convert or its file does not load, or when the text sent as written holds a character a
  // single-byte connection has no byte for (user error 60), FALSE before anything is sent.
  virtual BOOL bExecuteDirect(const wchar_t* text, CTabValParser* values, NA_WRITEPARSEFLAGS flags);
  virtual BOOL bGetAffected_rows(unsigned long long*) { return FALSE; }
  // TRUE with bIsEnd() 0: a row is current; TRUE with bIsEnd() 1: no (further) row; FALSE: error.
  virtual BOOL bFetch(unsigned int) { return FALSE; }
  // The next fetch gives the row of that 0-based index; no row is current until then.
  virtual BOOL bDataSeek(long long) { return FALSE; }
  // The open result holds all its rows on the client, so that bDataSeek reaches any of them.
  virtual BOOL bRowsSeekable() const { return FALSE; }
  // One column of the current row into the converter.
  virtual BOOL bGetValue(CNAConvertVariant*, unsigned int, unsigned int) { return FALSE; }
  // The column as a wide dynamic string (host type 16), through the value holder.
  virtual BOOL bGetValue(CAny* value, unsigned int column, unsigned int flags);
  // The column as a binary (host type 28), through the value holder.
  virtual BOOL bGetBLOBValue(CAny* value, unsigned int column, unsigned int flags);
  // Closes the result and forgets columns, row count (-1), position (-1) and row. The close's
  // answer: FALSE when reading past the result met an error (the state is reset all the same).
  virtual BOOL bReset();
  // Closes the open result. A backend holds nothing open while m_bResultOpen is 0: bReset does
  // not call it then.
  virtual BOOL _bCloseParse();
  virtual BOOL _bInitTabNAColumn() { return FALSE; }
  // The connection fills the statement's error with its last server error.
  virtual BOOL _bInitLastError(unsigned int file, unsigned int site);
  // The server's error, then the database, default database and user names and the query text
  // (at most 5000 characters) as debug lines.
  virtual void _InitExecuteError(unsigned int file, unsigned int site, const wchar_t* text, int length,
                                 unsigned int flags);
  // The current row as the server's texts (null: NULL) and their byte lengths, by column; FALSE
  // without a current row or where the backend keeps no such row. Valid until the next fetch,
  // seek or reset. Every row read asks it: the backend keeps its row in m_pRow, no call; its
  // lengths are set only while m_pRow holds a row (both cleared together), so they alone tell.
  BOOL bGetRowTexts(const char* const** texts, const unsigned long** lengths) const {
    if (m_pnLengths == nullptr) return FALSE;
    *texts = m_pRow;
    *lengths = m_pnLengths;
    return TRUE;
  }
  // How column's texts reach value's bSetValueDB (CNAConvertVariant::GetRowSlot), so that a row
  // text a slot writer takes lands as bGetValue would write it; NA_ROWTEXT_OTHER: bGetValue only.
  // Right while nGetResultStamp() stays.
  virtual CNAConvertVariant::eNAROWTEXT eGetRowTextForm(unsigned int /*column*/,
                                                         const CNAConvertVariant* /*value*/) const {
    return CNAConvertVariant::NA_ROWTEXT_OTHER;
  }
  // Appends the value's SQL literal (never a bind marker).
  virtual BOOL _bAddParameter(CTStringConcatAW* out, unsigned int index, const CAny* value);
  // The wide or the narrow execution, by the builder's content.
  BOOL _bExecuteDirect(CTStringConcatAW* text, CTabValParser* values, NA_WRITEPARSEFLAGS flags) {
    if (text->bIsWide()) return _bExecuteDirect(text->pszGetW(), values, flags);
    return _bExecuteDirect(text->pszGetA(), static_cast<unsigned long>(text->nGetLength()), values, flags);
  }
  // The text converted to the connection's code page, then the narrow execution; FALSE at once
  // for a connection whose code page is the wide marker -2.
  virtual BOOL _bExecuteDirect(const wchar_t* text, CTabValParser* values, NA_WRITEPARSEFLAGS flags);
  // Sends length bytes of text (which may hold NUL bytes inside literals).
  virtual BOOL _bExecuteDirect(const char*, unsigned long, CTabValParser*, NA_WRITEPARSEFLAGS) { return FALSE; }

  // ---- Running ----
  // bReset, then the zero-terminated narrow text.
  BOOL bExecuteDirect(const char* text, NA_WRITEPARSEFLAGS flags);
  // Runs text and reads the column of its first row into value (left untouched when there is
  // no row); the statement is reset afterwards in every case. The last step's answer.
  BOOL bGetRequestedValue(CAny* value, int column, const wchar_t* text);

  // ---- Errors ----
  // The statement's error, no reference; TRUE.
  BOOL bGetStmtLastError(INAError** error);
  void ResetLastError();
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

  // ---- Columns ----
  BOOL bGetColumnNbr(int* count, unsigned int);
  // The column record, the array built first when needed; null with user error 51 (negative
  // index) or 50 (at or past the count), or when the backend cannot build it.
  CNAColumnSQL* pclGetNAColumnSQL(int index);
  // 0 / null when there is no such column (no error raised).
  eNA_ITEMTYPE _eGetColumnType(unsigned int column);
  const wchar_t* _pszGetColumnName(unsigned int column);
  // The name as an owned wide text (host type 110); FALSE when there is no such column.
  BOOL bGetColumnName(CAny* value, unsigned int column, unsigned int);
  // Every name, "\r\n" between them, as a wide dynamic string; TRUE and untouched without columns.
  BOOL bGetColumnList(CAny* value, unsigned int);

  // ---- Rows as text ----
  // The first columns values (all when columns is below 1 or not below the count) with the
  // separator between them; a NULL column gives only its separator. FALSE with user error 7
  // without a current row, or on the first read that fails.
  BOOL bGetRow(CXYStringConcat<wchar_t>* out, const wchar_t* separator, int columns, unsigned int flags);
  // The same as an owned wide text (host type 110).
  BOOL bGetRow(CAny* value, const wchar_t* separator, int columns, unsigned int flags);
  // The text of column (from 0) of the current row appended to out; NULL or empty adds nothing.
  // FALSE when the value cannot be read.
  BOOL bAddValueText(CXYStringConcat<wchar_t>* out, unsigned int column, unsigned int flags);

  // ---- Error context of a failed query ----
  void _DumpQueryInError(CTStringConcatAW* text);
  void _DumpQueryInError(const wchar_t* text, int length);
  void _DumpQueryInError(const char* text, int length);

  // ---- State ----
  long long llGetRowCount() const { return m_llRowCount; }
  long long llGetPosition() const { return m_llPosition; }
  unsigned int nGetColumnCount() const { return m_nColumnCount; }
  // 1: no current row.
  int bIsEnd() const { return m_bEnd; }
  int bIsResultOpen() const { return m_bResultOpen; }
  unsigned int nGetRowMaxLength() const { return m_nRowMaxLength; }
  unsigned int nGetStmtNumber() const { return m_nStmtNumber; }
  // Moves whenever the result's columns may change: every reset and every column array made or
  // set aside; a result whose columns the backend found as the last one built left them takes
  // back that one's stamp. Unique among statements (one counter for all), so that a statement
  // made where another was freed never shows the other's stamp.
  unsigned int nGetResultStamp() const { return m_nResultStamp; }
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclCnx; }

  // Source-file number of the statement's debug lines; the longest query text kept in an error.
  static constexpr int kSourceFile = 50;
  static constexpr int kDumpChars = 5000;
  static unsigned int m_gnStmtGenerator;

 protected:
  void _NewResultStamp() { m_nResultStamp = ++s_nResultStampGenerator; }
  // The stamp of the last column array built whole, taken (none left) as a build starts.
  unsigned int _nTakeColumnsStamp() { return std::exchange(m_nColumnsStamp, 0u); }
  // A build done: when it found every column as the build of stamp last left them (same names,
  // types and charsets, in the array it left), the result takes back that stamp.
  void _NoteColumnsBuilt(unsigned int last, bool unchanged) {
    if (unchanged && last != 0) m_nResultStamp = last;
    m_nColumnsStamp = m_nResultStamp;
  }
  static std::atomic<unsigned int> s_nResultStampGenerator;
  // The value holder, made through the driver on first use; null without memory.
  CNAConvertVariant* _pclGetValueHolder();
  // The current column array is set aside (the one set aside before it is freed).
  void _DestroyColumns() {
    _NewResultStamp();
    if (m_pTabColumn != nullptr) _SetColumnsAside();
  }
  void _SetColumnsAside() {
    if (m_pSpareColumn != nullptr) _FreeSpareColumns();
    m_pSpareColumn = std::exchange(m_pTabColumn, nullptr);
    m_nSpareColumn = std::exchange(m_nTabColumn, 0u);
  }
  // The array set aside is freed and forgotten.
  void _FreeSpareColumns();
  // A column array for count columns: the one set aside when it has as many, *taken TRUE, its
  // records as the last result left them; else a new one of default records (null without
  // memory), the one set aside freed. It becomes the current array.
  CNAColumnSQL* _pclNewColumns(unsigned int count, bool* taken);
  // Reads entry i into value (a file's content when flagged); FALSE with the loader's error.
  BOOL _bGetParameter(CTabValParser* values, int i, CAny* value);

  CNAError* m_pclError;
  CNAConnectionDescription* m_pclCnx;
  int m_bResultOpen = 0;
  long long m_llRowCount = 0;
  long long m_llPosition = -1;
  unsigned int m_nColumnCount = 0;
  CNAColumnSQL* m_pTabColumn = nullptr;
  // The current array's size, and the array bReset set aside with its size.
  unsigned int m_nTabColumn = 0;
  CNAColumnSQL* m_pSpareColumn = nullptr;
  unsigned int m_nSpareColumn = 0;
  int m_bEnd = 1;
  unsigned int m_nRowMaxLength = 0;
  unsigned int m_nStmtNumber;
  unsigned int m_nResultStamp;
  // The stamp of the last column array built whole; 0: none.
  unsigned int m_nColumnsStamp = 0;
  CNAConvertVariant* m_pclValue = nullptr;
  // The client's current row and its lengths, for a backend that keeps its rows as texts; both
  // null without a current row.
  char** m_pRow = nullptr;
  unsigned long* m_pnLengths = nullptr;

 private:
  BOOL _bReadAsHolder(CAny* value, unsigned int column, unsigned int flags, unsigned short type);
  // FALSE with user error 24 unless every entry is ascending, non-overlapping and inside a text
  // of length characters.
  BOOL _bCheckEntries(const CTabValParser* values, int length);
  // TRUE, with the conversion error and the text's dump in the error, when the n characters at
  // start of the host's text (length characters) hold one the connection's page cannot carry.
  BOOL _bRefuseTextLost(const wchar_t* text, int length, int start, int n);
};
