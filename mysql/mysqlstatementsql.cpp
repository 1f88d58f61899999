#include "mysql/mysqlstatementsql.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/xystring.h"
#include "driver/mysqlapi.h"
#include "driver/naerror.h"
#include "mysql/mysqlconnection.h"
#include "mysql/mysqlguard.h"
#include "sql/naconvertvariant.h"
#include "sql/naitemtype.h"

namespace {

// Raise sites of this file.
enum {
  kSiteNoHandle = 1,
  kSiteQuery,
  kSiteStore,
  kSiteStoreError,
  kSiteCounts,
  kSiteNext,
  kSiteNextError,
  kSiteFree,
  kSiteUse,
  kSiteUseError,
  kSiteFields,
  kSiteColumnsMemory,
  kSiteFetchRow,
  kSiteLengths,
  kSiteEndOfRows,
  kSiteSeek,
  kSiteStepOverStore,
  kSiteStepOverError,
  kSiteLost,
};

bool bBlob(int type) {
  return type == MYSQL_TYPE_TINY_BLOB || type == MYSQL_TYPE_MEDIUM_BLOB || type == MYSQL_TYPE_LONG_BLOB ||
         type == MYSQL_TYPE_BLOB;
}

bool bBinaryItem(eNA_ITEMTYPE type) { return type == NA_IT_MEMOBINAIRE || type == NA_IT_BINAIRE; }

// 0x80 in each byte of w that is '-'.
uint64_t DashBytes(uint64_t w) {
  const uint64_t x = w ^ 0x2D2D2D2D2D2D2D2DULL;
  return ~(((x & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | x) & 0x8080808080808080ULL;
}

// The n bytes at a and b are the same, and so are the terminators after them, which the words
// compared take in. Column names are short: most are compared without a call.
inline bool bSameNames(const char* a, const char* b, size_t n) {
  const size_t m = n + 1;
  if (m - 4 <= 4) {
    uint32_t x, y, u, v;
    memcpy(&x, a, 4), memcpy(&y, b, 4), memcpy(&u, a + m - 4, 4), memcpy(&v, b + m - 4, 4);
    return x == y && u == v;
  }
  if (m - 9 <= 7) {
    uint64_t x, y, u, v;
    memcpy(&x, a, 8), memcpy(&y, b, 8), memcpy(&u, a + m - 8, 8), memcpy(&v, b + m - 8, 8);
    return x == y && u == v;
  }
  if (m > 16) return memcmp(a, b, m) == 0;
  if (m == 1) return true;
  uint16_t x, y, u, v;
  memcpy(&x, a, 2), memcpy(&y, b, 2), memcpy(&u, a + m - 2, 2), memcpy(&v, b + m - 2, 2);
  return x == y && u == v;
}

// A field's flags, decimals, character set and type, read as two words: of the flags only
// UNSIGNED_FLAG decides the column.
static_assert(offsetof(MYSQL_FIELD, decimals) == offsetof(MYSQL_FIELD, flags) + 4 &&
                  offsetof(MYSQL_FIELD, charsetnr) == offsetof(MYSQL_FIELD, flags) + 8 &&
                  offsetof(MYSQL_FIELD, type) == offsetof(MYSQL_FIELD, flags) + 12 && sizeof(MYSQL_FIELD::type) == 4,
              "flags, decimals, charsetnr and type follow one another");
struct STFlagsDecimals {
  unsigned int flags, decimals;
};
constexpr uint64_t kFlagsDecimalsMask =
    std::bit_cast<uint64_t>(STFlagsDecimals{UNSIGNED_FLAG | ENUM_FLAG | SET_FLAG, ~0u});

[[gnu::always_inline]] inline void FieldWords(const MYSQL_FIELD& field, uint64_t* words) {
  memcpy(words, &field.flags, 16);
  words[0] &= kFlagsDecimalsMask;
}

// A DECIMAL column's digits: the declared width counts a point when there are decimals and a
// sign unless UNSIGNED. 0 for other types.
[[gnu::always_inline]] inline int nColumnPrecision(const MYSQL_FIELD& field, long long width) {
  if (field.type != MYSQL_TYPE_DECIMAL && field.type != MYSQL_TYPE_NEWDECIMAL) return 0;
  const int decimals = static_cast<int>(field.decimals);
  const long long digits = width - decimals - (decimals > 0 ? 1 : 0) - ((field.flags & UNSIGNED_FLAG) != 0 ? 0 : 1);
  return static_cast<int>(std::clamp<long long>(digits, 0, INT_MAX));
}

// The facts of a result's column: its character set is the result's, which tells only bytes.
inline uint32_t dwFieldFacts(const MYSQL_FIELD& field) {
  return CMySQLConnection::s_dwColumnFacts(static_cast<int>(field.type), field.flags,
                                           field.charsetnr == 63 ? L"binary" : nullptr);
}

// The column stands as field describes it at width: its item type is the one they give.
[[gnu::always_inline]] inline bool bColumnAsField(const CNAColumnSQL& column, const MYSQL_FIELD& field, long long width,
                                                  int precision) {
  return column.m_nDBType == static_cast<int>(field.type) && column.m_llLength == width &&
         column.m_nDecimals == static_cast<int>(field.decimals) && column.m_nCharset == field.charsetnr &&
         column.m_nPrecision == precision && column.m_bUnsigned == ((field.flags & UNSIGNED_FLAG) != 0) &&
         column.m_dwItemFacts == dwFieldFacts(field);
}

// text without its '-' into digits (room for length bytes): the converter's digit form of a date.
unsigned int nWithoutDashes(const char* text, unsigned int length, char* digits) {
  unsigned int n = 0;
  for (unsigned int i = 0; i < length; ++i)
    if (text[i] != '-') digits[n++] = text[i];
  return n;
}

}  // namespace

unsigned int nMySQLDateDigits(const char* text, unsigned int length, char* digits) {
  // The server's "YYYY-MM-DD[ HH:MM:SS]" has its two at 4 and 7, tested a word at a time.
  uint64_t head, tail = 0;
  memcpy(&head, text, 8);
  if (length == 19) memcpy(&tail, text + 11, 8);
  if (DashBytes(head) == 0x8000008000000000ULL && text[8] != '-' && text[9] != '-' &&
      (length == 10 || (text[10] != '-' && DashBytes(tail) == 0))) {
    // Written as the converter reads them, a word at a time: the date's eight digits, the space,
    // then "HH:MM:SS", so that its loads take the stored words whole.
    uint16_t day;
    memcpy(&day, text + 8, 2);
    const uint64_t date = (head & 0xFFFFFFFFULL) | ((head >> 8) & 0xFFFF00000000ULL) | (uint64_t{day} << 48);
    memcpy(digits, &date, 8);
    if (length == 19) {
      digits[8] = text[10];
      memcpy(digits + 9, &tail, 8);
    }
    return length - 2;
  }
  return nWithoutDashes(text, length, digits);
}

CMySQLStatementSQL::CMySQLStatementSQL(CNAConnectionDescription* connection, CNAError* error)
    : CNAStatementSQL(connection, error) {}

CMySQLStatementSQL::~CMySQLStatementSQL() {
  if (m_bResultOpen || m_pResult != nullptr) _bCloseParse();
}

template <typename F>
BOOL CMySQLStatementSQL::_bCall(int site, F&& call) {
  return bMySQLGuardWhere([this] { return std::pair{m_pclError, m_pclCnx}; }, kSourceFile, site, call);
}

CMySQLConnection* CMySQLStatementSQL::_pclMySQL() const { return static_cast<CMySQLConnection*>(m_pclCnx); }

MYSQL* CMySQLStatementSQL::_pHandle() const { return _pclMySQL()->pGetHandle(); }

BOOL CMySQLStatementSQL::_bHasHandle(int site) {
  return _pHandle() != nullptr || _pclMySQL()->bHandleOrReopen(m_pclError, kSourceFile, site);
}

// ---------------------------------------------------------------- execution

BOOL CMySQLStatementSQL::_bExecuteDirect(const char* text, unsigned long length, CTabValParser*,
                                         NA_WRITEPARSEFLAGS flags) {
  if (text == nullptr) text = "", length = 0;
  if (!_pclMySQL()->bPassLostTransaction(m_pclError, text, length, kSourceFile, kSiteLost)) return FALSE;
  if (!_bHasHandle(kSiteNoHandle)) return FALSE;
  MYSQL* handle = _pHandle();
  int rc = 0;
  if (!_bCall(kSiteQuery, [&] { rc = __mysql_real_query(handle, text, length); })) return FALSE;
  if (rc != 0) {
    _InitExecuteErrorOfText(kSourceFile, kSiteQuery, text, length, flags);
    return FALSE;
  }
  m_ullAffected = 0;
  const BOOL taken = m_bStoreResult ? _bGetStoreResult() : _bGetUseResult();
  if (taken) _pclMySQL()->NoteServerStatus();
  return taken && (m_nColumnCount == 0 || CMySQLStatementSQL::_bInitTabNAColumn());
}

BOOL CMySQLStatementSQL::_bGetStoreResult() { return _bTakeResult(true); }

BOOL CMySQLStatementSQL::_bGetUseResult() { return _bTakeResult(false); }

BOOL CMySQLStatementSQL::_bTakeResult(bool stored) {
  MYSQL* handle = _pHandle();
  // The first statement of the text that yields a result set gives the result; those before it
  // are stepped over.
  for (;;) {
    m_pResult = nullptr;
    // Open before any handle is taken, closed only once it is freed (_ForgetStreaming): a reset
    // skips the close while it is 0.
    m_bResultOpen = 1;
    if (!_bCall(stored ? kSiteStore : kSiteUse, [&] {
          m_pResult = stored ? __mysql_store_result(handle) : __mysql_use_result(handle);
          m_ullAffected = __mysql_affected_rows(handle);
        }))
      return FALSE;
    if (m_pResult != nullptr) {
      if (!stored) {
        m_bRowsPending = m_bStreamed = m_bStepOverPending = 1;
        _pclMySQL()->SetStreamedResult(this);
      }
      my_ulonglong rows = 0;
      unsigned int fields = 0;
      if (!_bCall(kSiteCounts, [&] {
            if (stored) rows = __mysql_num_rows(m_pResult);
            fields = __mysql_num_fields(m_pResult);
          }))
        return FALSE;
      m_llRowCount = stored ? static_cast<long long>(rows) : kStreamedRowCount;
      m_nColumnCount = fields;
      // A reply that announces no further result: the client's look for one would only clear its
      // error and count (clear after the store, and taken) and find none.
      if (!stored || (handle->server_status & SERVER_MORE_RESULTS_EXIST) == 0) return TRUE;
      return _bStepOverResults();
    }
    unsigned int code = 0;
    if (!_pclMySQL()->bGetLastError(m_pclError, &code)) return FALSE;
    if (code != 0) return _bInitLastError(kSourceFile, stored ? kSiteStoreError : kSiteUseError), FALSE;
    int next = -1;
    if (CMySQLConnection::bMultipleRecordsetEnabled() && !_bCall(kSiteNext, [&] { next = __mysql_next_result(handle); }))
      return FALSE;
    if (next > 0) return _bInitLastError(kSourceFile, kSiteNextError), FALSE;
    if (next < 0) {
      m_llRowCount = 0;
      m_nColumnCount = 0;
      return TRUE;
    }
  }
}

BOOL CMySQLStatementSQL::_bStepOverResults() {
  m_bStepOverPending = 0;
  MYSQL* handle = _pHandle();
  if (handle == nullptr || !CMySQLConnection::bMultipleRecordsetEnabled()) return TRUE;
  for (;;) {
    int next = -1;
    if (!_bCall(kSiteNext, [&] { next = __mysql_next_result(handle); })) return FALSE;
    if (next < 0) return TRUE;
    if (next > 0) return _bInitLastError(kSourceFile, kSiteStepOverError), FALSE;
    MYSQL_RES* extra = nullptr;
    if (!_bCall(kSiteStepOverStore, [&] { extra = __mysql_store_result(handle); })) return FALSE;
    if (extra != nullptr) {
      if (!_bCall(kSiteFree, [&] { __mysql_free_result(extra); })) return FALSE;
      continue;
    }
    unsigned int code = 0;
    if (!_pclMySQL()->bGetLastError(m_pclError, &code)) return FALSE;
    if (code != 0) return _bInitLastError(kSourceFile, kSiteStepOverError), FALSE;
  }
}

BOOL CMySQLStatementSQL::_bInitTabNAColumn() {
  if (m_pResult == nullptr) return FALSE;
  bool taken = false;
  const unsigned int last = _nTakeColumnsStamp();
  if (_pclNewColumns(m_nColumnCount, &taken) == nullptr) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteColumnsMemory, m_pclCnx, nullptr,
                               nullptr, 12);
    return FALSE;
  }
  MYSQL_FIELD* fields = nullptr;
  if (!_bCall(kSiteFields, [&] { fields = __mysql_fetch_fields(m_pResult); }) || fields == nullptr) {
    // What the array holds is known of no field any more.
    m_tabKept.clear();
    return FALSE;
  }
  const int cp = m_pclCnx->nGetServerCodePage();
  const unsigned int count = m_nColumnCount;
  // A result of the last one's columns (a browse's next block, the next seek) keeps their names:
  // only a name whose bytes or code page changed is converted again.
  const bool same = taken && cp == m_nNamesCodePage && m_tabKept.size() == count;
  const STKeptField* const keptFields = m_tabKept.data();
  unsigned int rowMax = m_nRowMaxLength;
  unsigned int i = 0;
  // The usual result, the last one's columns again, each with a declared width (so that the
  // longest values before it change nothing): read only, up to the first column that differs.
  if (same)
    for (; i < count; ++i) {
      const MYSQL_FIELD& field = fields[i];
      const STKeptField& kept = keptFields[i];
      uint64_t words[2];
      FieldWords(field, words);
      if (field.length != kept.width || field.name_length != kept.nameLength ||
          words[0] != kept.words[0] || words[1] != kept.words[1] || field.name == nullptr ||
          !bSameNames(kept.name.data(), field.name, kept.nameLength))
        break;
      rowMax += static_cast<unsigned int>(field.max_length);
    }
  // Every column as the last result gave it: what was bound on that result's stamp holds.
  const bool unchanged = same && i == count;
  if (!unchanged) rowMax = _nBuildColumns(fields, i, same, cp, rowMax);
  m_nNamesCodePage = cp;
  m_nRowMaxLength = rowMax;
  _NoteColumnsBuilt(last, unchanged);
  return TRUE;
}

unsigned int CMySQLStatementSQL::_nBuildColumns(const MYSQL_FIELD* fields, unsigned int i, bool same, int cp,
                                                unsigned int rowMax) {
  const unsigned int count = m_nColumnCount;
  if (!same) {
    m_tabKept.resize(count);
    for (STKeptField& kept : m_tabKept) kept.named = false, kept.width = STKeptField::kNoWidth;
  }
  // Members read into locals: the loop's stores do not make them be read again each column.
  CNAColumnSQL* const columns = m_pTabColumn;
  STKeptField* const keptFields = m_tabKept.data();
  for (; i < count; ++i) {
    const MYSQL_FIELD& field = fields[i];
    CNAColumnSQL& column = columns[i];
    STKeptField& kept = keptFields[i];
    const char* name = field.name != nullptr ? field.name : "";
    // The terminators compared too: the name's length is the client's count.
    const bool known = kept.named && field.name_length == kept.nameLength && bSameNames(kept.name.data(), name, kept.nameLength);
    if (!known) {
      column.m_csName = CNACodePageCnvOUT(field.name, cp).psz();
      kept.name.assign(name);
      kept.nameLength = field.name_length;
      kept.named = kept.name.size() == field.name_length;
    }
    rowMax += static_cast<unsigned int>(field.max_length);
    long long width = static_cast<long long>(field.length);
    kept.width = kept.named && field.length != 0 ? field.length : STKeptField::kNoWidth;
    FieldWords(field, kept.words);
    if (width == 0 && rowMax != 0) width = rowMax;
    const int precision = nColumnPrecision(field, width);
    // A record this column's last field wrote from the same values has its item type already.
    if (known && bColumnAsField(column, field, width, precision)) continue;
    column.m_nDBType = static_cast<int>(field.type);
    column.m_llLength = width;
    column.m_nDecimals = static_cast<int>(field.decimals);
    column.m_nCharset = field.charsetnr;
    column.m_nPrecision = precision;
    column.m_bUnsigned = (field.flags & UNSIGNED_FLAG) != 0;
    column.m_dwItemFacts = dwFieldFacts(field);
    CMySQLConnection::ConvertItemType(&column.m_eItemType, &column.m_nItemSize, column.m_nDBType,
                                      static_cast<unsigned int>(column.m_llLength), column.m_nPrecision,
                                      column.m_nDecimals, column.m_nCharset, column.m_bUnsigned ? TRUE : FALSE);
  }
  return rowMax;
}

BOOL CMySQLStatementSQL::bGetColumnOrigin(unsigned int i, CTString* database, CTString* table, CTString* column) {
  if (m_pResult == nullptr || i >= m_nColumnCount) return FALSE;
  MYSQL_FIELD* fields = nullptr;
  if (!_bCall(kSiteFields, [&] { fields = __mysql_fetch_fields(m_pResult); }) || fields == nullptr) return FALSE;
  const MYSQL_FIELD& field = fields[i];
  const int cp = m_pclCnx->nGetServerCodePage();
  auto text = [cp](const char* bytes, CTString* out) {
    *out = bytes != nullptr && *bytes != 0 ? CNACodePageCnvOUT(bytes, cp).psz() : L"";
  };
  text(field.db, database);
  text(field.org_table, table);
  text(field.org_name, column);
  return TRUE;
}

BOOL CMySQLStatementSQL::_bCloseParse() {
  BOOL result = TRUE;
  if (m_pResult != nullptr) {
    // A streamed result's rows are read off the wire, or the connection stays busy with them.
    if (m_bRowsPending && _pHandle() != nullptr)
      while (__pFetchRow() != nullptr) {
      }
    MYSQL_RES* freed = m_pResult;
    _bCall(kSiteFree, [&] { __mysql_free_result(freed); });
    if (m_bStepOverPending) result = _bStepOverResults();
    _ForgetResult();
  }
  _ForgetStreaming();
  return result;
}

void CMySQLStatementSQL::_ForgetResult() {
  m_pResult = nullptr;
  m_pRow = nullptr;
  m_bEnd = 1;
  m_pnLengths = nullptr;
  m_llRowCount = 0;
  m_nColumnCount = 0;
  m_llPosition = -1;
}

void CMySQLStatementSQL::_ForgetStreaming() {
  _pclMySQL()->ClearStreamedResult(this);
  m_bRowsPending = 0;
  m_bStreamed = 0;
  m_bStepOverPending = 0;
  m_bResultOpen = 0;
}

void CMySQLStatementSQL::_DropStreamedResult() {
  if (m_pResult != nullptr) {
    MYSQL_RES* freed = m_pResult;
    bMySQLGuard(nullptr, m_pclCnx, kSourceFile, kSiteFree, [&] { __mysql_free_result(freed); });
    _ForgetResult();
  }
  _ForgetStreaming();
}

// ---------------------------------------------------------------- rows

MYSQL_ROW CMySQLStatementSQL::__pFetchRow() {
  MYSQL_ROW row = nullptr;
  if (m_pResult != nullptr) _bCall(kSiteFetchRow, [&] { row = __mysql_fetch_row(m_pResult); });
  return row;
}

BOOL CMySQLStatementSQL::bFetch(unsigned int) { return m_llRowCount > 0 ? _bFetch() : TRUE; }

BOOL CMySQLStatementSQL::_bFetch() {
  m_pRow = __pFetchRow();
  if (m_pRow != nullptr) {
    ++m_llPosition;
    // Without its lengths the row cannot be read: no row is current. Taken straight into the
    // member: no local kept across the call.
    if (!_bCall(kSiteLengths, [this] { m_pnLengths = __mysql_fetch_lengths(m_pResult); }) ||
        m_pnLengths == nullptr) [[unlikely]] {
      m_pRow = nullptr;
      m_pnLengths = nullptr;
      m_bEnd = 1;
      return FALSE;
    }
    m_bEnd = 0;
    return TRUE;
  }
  m_pnLengths = nullptr;
  m_bEnd = 1;
  // A stored result holds all its rows: its end is no error, whatever the connection ran since.
  return m_bRowsPending ? _bEndOfPendingRows() : TRUE;
}

// Out of line: the error code's local would give every row's fetch a frame.
[[gnu::noinline]] BOOL CMySQLStatementSQL::_bEndOfPendingRows() {
  m_bRowsPending = 0;
  unsigned int code = 0;
  if (!_pclMySQL()->bGetLastError(m_pclError, &code)) return FALSE;
  if (code != 0) return _bInitLastError(kSourceFile, kSiteEndOfRows), FALSE;
  _pclMySQL()->NoteServerStatus();
  return !m_bStepOverPending || _bStepOverResults();
}

BOOL CMySQLStatementSQL::bDataSeek(long long row) {
  if (m_pResult == nullptr || m_bStreamed || row < 0) return FALSE;
  m_llPosition = row - 1;
  m_pRow = nullptr;
  m_pnLengths = nullptr;
  m_bEnd = 1;
  MYSQL_RES* result = m_pResult;
  return _bCall(kSiteSeek, [&] { __mysql_data_seek(result, static_cast<unsigned long long>(row)); });
}

BOOL CMySQLStatementSQL::bGetAffected_rows(unsigned long long* count) {
  *count = m_ullAffected;
  return TRUE;
}

// ---------------------------------------------------------------- values

BOOL CMySQLStatementSQL::bGetValue(unsigned char** value, unsigned int* length, unsigned int column) {
  if (m_pRow == nullptr) return FALSE;
  if (column >= m_nColumnCount) {
    pclGetNAColumnSQL(static_cast<int>(column));
    return FALSE;
  }
  *length = static_cast<unsigned int>(m_pnLengths[column]);
  *value = reinterpret_cast<unsigned char*>(m_pRow[column]);
  return TRUE;
}

BOOL CMySQLStatementSQL::bGetValue(CNAConvertVariant* value, unsigned int column, unsigned int) {
  // Each step below ends in a call that gives the answer: no state is kept across a call.
  if (m_pRow == nullptr) return FALSE;
  if (column >= m_nColumnCount || m_pTabColumn == nullptr) return _bGetValueBuildingColumns(value, column);
  const CNAColumnSQL* c = &m_pTabColumn[column];
  const char* data = m_pRow[column];
  if (data == nullptr) return value->SetNull(), TRUE;
  const unsigned int length = static_cast<unsigned int>(m_pnLengths[column]);
  const int type = c->m_nDBType;
  if (type == MYSQL_TYPE_DATE || type == MYSQL_TYPE_DATETIME) return _bGetDateValue(value, c, data, length);
  if (bBlob(type)) return _bGetBlobValue(value, c, data, length);
  return value->bSetValueDB(data, length, static_cast<unsigned int>(m_pclCnx->nGetServerCodePage()));
}

CNAConvertVariant::eNAROWTEXT CMySQLStatementSQL::eGetRowTextForm(unsigned int column,
                                                                 const CNAConvertVariant* value) const {
  using F = CNAConvertVariant;
  if (value == nullptr || column >= m_nColumnCount || m_pTabColumn == nullptr) return F::NA_ROWTEXT_OTHER;
  const CNAColumnSQL* c = &m_pTabColumn[column];
  const int type = c->m_nDBType;
  if (type == MYSQL_TYPE_DATE) return F::NA_ROWTEXT_DATE;
  if (type == MYSQL_TYPE_DATETIME) return F::NA_ROWTEXT_DATETIME;
  return bBlob(type) ? _eGetBlobRowTextForm(c, value) : F::NA_ROWTEXT_DB;
}

CNAConvertVariant::eNAROWTEXT CMySQLStatementSQL::_eGetBlobRowTextForm(const CNAColumnSQL* c,
                                                                      const CNAConvertVariant* value) {
  // _bGetBlobValue's text in the server's code page only.
  const eNA_ITEMTYPE database = value->eNAGetItemTypeDatabase();
  if (bBinaryItem(value->eNAGetItemTypeAnalyse()) || bBinaryItem(database) ||
      (database == NA_IT_EMPTY && c->m_nCharset == 63))
    return CNAConvertVariant::NA_ROWTEXT_OTHER;
  return CNAConvertVariant::NA_ROWTEXT_DB;
}

BOOL CMySQLStatementSQL::_bGetValueBuildingColumns(CNAConvertVariant* value, unsigned int column) {
  // Once the columns are built, the read takes bGetValue's own steps.
  return pclGetNAColumnSQL(static_cast<int>(column)) != nullptr && CMySQLStatementSQL::bGetValue(value, column, 0);
}

BOOL CMySQLStatementSQL::_bGetDateValue(CNAConvertVariant* value, const CNAColumnSQL* c, const char* data,
                                       unsigned int length) {
  const unsigned int cp = static_cast<unsigned int>(m_pclCnx->nGetServerCodePage());
  const int type = c->m_nDBType;
  // "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS" go as the digit forms the converter reads by length;
  // a date-time with a fraction goes as it is to a date holder, as its digits to any other.
  if ((type == MYSQL_TYPE_DATE && length == 10) || (type == MYSQL_TYPE_DATETIME && length == 19)) {
    // A date-time slot reads the server's text as it stands, without the digit form.
    if (type == MYSQL_TYPE_DATETIME && value->bSetServerDateTimeDB(data, length)) return TRUE;
    char digits[19];
    return value->bSetValueDB(digits, nMySQLDateDigits(data, length, digits), cp);
  }
  // Only a date holder parses a fraction in the server's own form; a holder that keeps the text
  // (a text or bytes) takes the digit form of every date-time, as it does without a fraction.
  const unsigned short holder = value->wGetType();
  const bool dateHolder = holder == ZV_DATEW || holder == ZV_TIMEW || holder == ZV_DATEA || holder == ZV_TIMEA;
  char digits[32];
  if (length <= sizeof digits && (holder == ZV_BIN || (g_bIsZVText(holder) && !dateHolder))) {
    return value->bSetValueDB(digits, nWithoutDashes(data, length, digits), cp);
  }
  return value->bSetValueDB(data, length, cp);
}

BOOL CMySQLStatementSQL::_bGetBlobValue(CNAConvertVariant* value, const CNAColumnSQL* c, const char* data,
                                       unsigned int length) {
  const eNA_ITEMTYPE analysis = value->eNAGetItemTypeAnalyse();
  if (bBinaryItem(analysis)) return value->bSetValue(reinterpret_cast<const unsigned char*>(data), length);
  const eNA_ITEMTYPE database = value->eNAGetItemTypeDatabase();
  if (bBinaryItem(database) || (database == NA_IT_EMPTY && c->m_nCharset == 63)) {
    if (analysis == NA_IT_UNICODE || analysis == NA_IT_MEMOUNICODE) {
      // The row's bytes are not aligned for 4-byte characters.
      const unsigned int count = length / sizeof(wchar_t);
      m_tabWide.resize(count + 1);
      memcpy(m_tabWide.data(), data, count * sizeof(wchar_t));
      return value->bSetValueDB(m_tabWide.data(), count);
    }
    return value->bSetValueDB(data, length, static_cast<unsigned int>(m_pclCnx->nGetHostCodePage()));
  }
  return value->bSetValueDB(data, length, static_cast<unsigned int>(m_pclCnx->nGetServerCodePage()));
}
