#include "sql/nastatementsql.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

#include "common/xystring.h"
#include "driver/naconnectiondescription.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/naconvertvariant.h"

unsigned int CNAStatementSQL::m_gnStmtGenerator = 0;
std::atomic<unsigned int> CNAStatementSQL::s_nResultStampGenerator{0};

namespace {

// Raise sites of this file.
enum {
  kSiteColumnPastCount = 1,
  kSiteColumnNegative = 2,
  kSiteNoCurrentRow = 3,
  kSiteBindEntry = 4,
  kSiteHolderMemory = 5,
};

// A bind entry out of place: the host handed a list the text does not match.
constexpr unsigned int kErrInternal = 24;

void SetWideText(CAny* value, unsigned short type, const wchar_t* text, unsigned int length) {
  value->__SetType(type, 0);
  value->Intern()->SetValue(text, length * static_cast<unsigned int>(sizeof(wchar_t)));
  value->SetFlags(0);
}

}  // namespace

CNAStatementSQL::CNAStatementSQL(CNAConnectionDescription* connection, CNAError* error)
    : m_pclError(error), m_pclCnx(connection), m_nStmtNumber(++m_gnStmtGenerator),
      m_nResultStamp(++s_nResultStampGenerator) {
  if (m_pclCnx != nullptr) m_pclCnx->AddRef();
  CNAError::s_Hold(m_pclError);
}

CNAStatementSQL::~CNAStatementSQL() {
  if (m_pclValue != nullptr) m_pclValue->nRelease();
  _DestroyColumns();
  delete[] m_pSpareColumn;
  // Through the driver: a connection whose close was requested goes with its last statement.
  CNADriver::g_nReleaseConnection(m_pclCnx);
  CNAError::s_Drop(&m_pclError);
}

// ---------------------------------------------------------------- state

void CNAStatementSQL::_FreeSpareColumns() {
  delete[] m_pSpareColumn;
  m_pSpareColumn = nullptr;
  m_nSpareColumn = 0;
}

CNAColumnSQL* CNAStatementSQL::_pclNewColumns(unsigned int count, bool* taken) {
  if (m_pTabColumn != nullptr) _SetColumnsAside();
  _NewResultStamp();
  *taken = m_pSpareColumn != nullptr && m_nSpareColumn == count;
  if (*taken) {
    m_pTabColumn = m_pSpareColumn;
  } else {
    delete[] m_pSpareColumn;
    m_pTabColumn = new (std::nothrow) CNAColumnSQL[count];
  }
  m_pSpareColumn = nullptr;
  m_nSpareColumn = 0;
  m_nTabColumn = m_pTabColumn != nullptr ? count : 0;
  return m_pTabColumn;
}

BOOL CNAStatementSQL::bReset() {
  // No result open: nothing to close (the reset after a reset, before each execution).
  const BOOL closed = m_bResultOpen ? _bCloseParse() : TRUE;
  m_llRowCount = -1;
  m_llPosition = -1;
  m_nColumnCount = 0;
  _DestroyColumns();
  m_bEnd = 1;
  m_nRowMaxLength = 0;
  return closed;
}

BOOL CNAStatementSQL::_bCloseParse() {
  m_bResultOpen = 0;
  return TRUE;
}

BOOL CNAStatementSQL::bGetStmtLastError(INAError** error) {
  *error = m_pclError;
  return TRUE;
}

void CNAStatementSQL::ResetLastError() {
  if (m_pclError != nullptr) m_pclError->Reset();
}

// ---------------------------------------------------------------- running

BOOL CNAStatementSQL::bExecuteDirect(const char* text, NA_WRITEPARSEFLAGS flags) {
  if (!bReset()) return FALSE;
  return _bExecuteDirect(text, text != nullptr ? strlen(text) : 0, nullptr, flags);
}

BOOL CNAStatementSQL::bExecuteDirect(const wchar_t* text, CTabValParser* values, NA_WRITEPARSEFLAGS flags) {
  if (!bReset()) return FALSE;
  const int length = text != nullptr ? static_cast<int>(wcslen(text)) : 0;
  if (values == nullptr) return !_bRefuseTextLost(text, length, 0, length) && _bExecuteDirect(text, nullptr, flags);
  if (!_bCheckEntries(values, length)) return FALSE;
  // Only the text around the placeholders is sent as the host wrote it: the values are refused as
  // their literals are written.
  int mark = 0;
  for (int i = 0; i < values->nCount; mark = values->ppEntries[i]->nStart + values->ppEntries[i]->nLength, ++i)
    if (_bRefuseTextLost(text, length, mark, values->ppEntries[i]->nStart - mark)) return FALSE;
  if (_bRefuseTextLost(text, length, mark, length - mark)) return FALSE;
  CTStringConcatAW sql(m_pclCnx->nGetServerCodePage(), m_pclCnx->nGetHostCodePage(), 1024);
  mark = 0;
  for (int i = 0; i < values->nCount; ++i) {
    CAny value;
    if (!_bGetParameter(values, i, &value)) return FALSE;
    const STValParser* entry = values->ppEntries[i];
    sql.Add(text + mark, entry->nStart - mark);
    mark = entry->nStart + entry->nLength;
    if (!_bAddParameter(&sql, static_cast<unsigned int>(i), &value)) return FALSE;
  }
  sql.Add(text + mark, length - mark);
  return _bExecuteDirect(&sql, values, flags);
}

BOOL CNAStatementSQL::_bRefuseTextLost(const wchar_t* text, int length, int start, int n) {
  if (text == nullptr || !m_pclCnx->bRefuseTextLost(m_pclError, text + start, n)) return FALSE;
  _DumpQueryInError(text, length);
  return TRUE;
}

BOOL CNAStatementSQL::_bCheckEntries(const CTabValParser* values, int length) {
  int mark = 0;
  for (int i = 0; i < values->nCount; ++i) {
    const STValParser* entry = values->ppEntries != nullptr ? values->ppEntries[i] : nullptr;
    if (entry != nullptr && entry->nStart >= mark && entry->nLength >= 0 && entry->nStart <= length &&
        entry->nLength <= length - entry->nStart) {
      mark = entry->nStart + entry->nLength;
      continue;
    }
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteBindEntry, m_pclCnx, nullptr,
                               nullptr, kErrInternal);
    if (m_pclError != nullptr) {
      CTString line;
      line.printf(L"Bind value %d: placeholder %d+%d, text of %d characters, previous end %d", i,
                  entry != nullptr ? entry->nStart : -1, entry != nullptr ? entry->nLength : -1, length, mark);
      m_pclError->AddDebugMessageNoFormat(line.pszGet());
    }
    return FALSE;
  }
  return TRUE;
}

BOOL CNAStatementSQL::_bGetParameter(CTabValParser* values, int i, CAny* value) {
  const STValParser* entry = values->ppEntries[i];
  *value = entry->clValue;
  if ((entry->dwFlags & 1) == 0) return TRUE;
  CXYString<wchar_t> path;
  m_pclCnx->bCopyString(m_pclError, &path, &entry->clValue);
  return CNAVariant::gbLoadFile(value, path.pszGet(), m_pclError, (entry->dwFlags & 0x10) == 0);
}

BOOL CNAStatementSQL::_bAddParameter(CTStringConcatAW* out, unsigned int, const CAny* value) {
  CTStringConcatAW literal(CTStringConcatAW::kWideContent, m_pclCnx->nGetHostCodePage());
  if (!m_pclCnx->bConvertValueToString(m_pclError, &literal, value, NA_IT_EMPTY, NA_IT_EMPTY)) return FALSE;
  // A literal already in the text's code page goes as its bytes: escaped binary data is no
  // text of any code page and would not survive a round through wide characters.
  if (!out->bIsWide() && !literal.bIsWide() && literal.nGetCodePage() == out->nGetCodePage())
    out->Add(literal.pszGetA(), literal.nGetLength(), static_cast<unsigned int>(out->nGetCodePage()));
  else
    out->Add(literal.pszGetW(), literal.nGetLengthW());
  return TRUE;
}

BOOL CNAStatementSQL::_bExecuteDirect(const wchar_t* text, CTabValParser* values, NA_WRITEPARSEFLAGS flags) {
  const int cp = m_pclCnx->nGetServerCodePage();
  if (cp == CTStringConcatAW::kWideContent) return FALSE;
  if (text == nullptr) return _bExecuteDirect(static_cast<const char*>(nullptr), 0, values, flags);
  CXYString<char> narrow;
  if (*text != 0) narrow.__nConversion(text, static_cast<int>(wcslen(text)), 0, cp, 0, nullptr);
  return _bExecuteDirect(narrow.pszGet(), static_cast<unsigned long>(narrow.nGetLength()), values, flags);
}

BOOL CNAStatementSQL::bGetRequestedValue(CAny* value, int column, const wchar_t* text) {
  BOOL result = bExecuteDirect(text, nullptr, 0);
  if (result) {
    result = bFetch(0);
    if (result && !m_bEnd) result = bGetValue(value, static_cast<unsigned int>(column), 0);
  }
  bReset();
  return result;
}

// ---------------------------------------------------------------- errors

BOOL CNAStatementSQL::_bInitLastError(unsigned int file, unsigned int site) {
  return m_pclCnx->bInitError(m_pclError, file, site);
}

void CNAStatementSQL::_InitExecuteError(unsigned int file, unsigned int site, const wchar_t* text, int length,
                                        unsigned int) {
  _bInitLastError(file, site);
  _DumpQueryInError(text, length);
}

void CNAStatementSQL::_DumpQueryInError(CTStringConcatAW* text) {
  _DumpQueryInError(text->pszGetW(), text->nGetLengthW());
}

void CNAStatementSQL::_DumpQueryInError(const char* text, int length) {
  if (text == nullptr) return _DumpQueryInError(static_cast<const wchar_t*>(nullptr), 0);
  if (length < 0) length = static_cast<int>(strlen(text));
  // No character takes more than 4 bytes: this prefix holds the characters kept, whole.
  CXYString<wchar_t> wide;
  wide.__nConversion(text, std::min(length, 4 * kDumpChars + 4), 0, m_pclCnx->nGetServerCodePage(), 0, nullptr);
  _DumpQueryInError(wide.pszGet(), wide.nGetLength());
}

void CNAStatementSQL::_DumpQueryInError(const wchar_t* text, int length) {
  if (m_pclError == nullptr) return;
  if (text == nullptr) text = L"";
  if (length < 0) length = static_cast<int>(wcslen(text));
  const CTString query(text, std::min(length, kDumpChars));
  const wchar_t* database = m_pclCnx->pszGetDataBase();
  const wchar_t* defaultDatabase = m_pclCnx->pszGetDefaultDataBaseEx();
  const wchar_t* user = m_pclCnx->pszGetUserName();
  m_pclError->AddDebugMessage(28588, database != nullptr ? database : L"",
                              defaultDatabase != nullptr ? defaultDatabase : L"", user != nullptr ? user : L"");
  m_pclError->AddDebugMessageNoFormat(query.pszGet());
}

// ---------------------------------------------------------------- columns

BOOL CNAStatementSQL::bGetColumnNbr(int* count, unsigned int) {
  if (count != nullptr) *count = static_cast<int>(m_nColumnCount);
  return TRUE;
}

CNAColumnSQL* CNAStatementSQL::pclGetNAColumnSQL(int index) {
  if (index < 0) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteColumnNegative, m_pclCnx, nullptr,
                               nullptr, 51, index);
    return nullptr;
  }
  if (static_cast<unsigned int>(index) >= m_nColumnCount) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteColumnPastCount, m_pclCnx,
                               nullptr, nullptr, 50, index, static_cast<int>(m_nColumnCount));
    return nullptr;
  }
  if (m_pTabColumn == nullptr && !_bInitTabNAColumn()) return nullptr;
  return m_pTabColumn != nullptr ? &m_pTabColumn[index] : nullptr;
}

eNA_ITEMTYPE CNAStatementSQL::_eGetColumnType(unsigned int column) {
  if (column >= m_nColumnCount) return NA_IT_EMPTY;
  const CNAColumnSQL* c = pclGetNAColumnSQL(static_cast<int>(column));
  return c != nullptr ? c->m_eItemType : NA_IT_EMPTY;
}

const wchar_t* CNAStatementSQL::_pszGetColumnName(unsigned int column) {
  if (column >= m_nColumnCount) return nullptr;
  const CNAColumnSQL* c = pclGetNAColumnSQL(static_cast<int>(column));
  return c != nullptr ? c->m_csName.pszGet() : nullptr;
}

BOOL CNAStatementSQL::bGetColumnName(CAny* value, unsigned int column, unsigned int) {
  const wchar_t* name = _pszGetColumnName(column);
  if (name == nullptr) return FALSE;
  SetWideText(value, ZV_PSTRW, name, static_cast<unsigned int>(wcslen(name)));
  return TRUE;
}

BOOL CNAStatementSQL::bGetColumnList(CAny* value, unsigned int) {
  if (m_nColumnCount == 0) return TRUE;
  CXYStringConcat<wchar_t> list;
  for (unsigned int i = 0; i < m_nColumnCount; ++i) {
    const CNAColumnSQL* c = pclGetNAColumnSQL(static_cast<int>(i));
    if (c == nullptr) return FALSE;
    if (i > 0) list.Add(L"\r\n", 2);
    list.Add(c->m_csName.pszGet());
  }
  SetWideText(value, ZV_DSTRW, list.pszGet(), list.nGetLength());
  return TRUE;
}

// ---------------------------------------------------------------- values

CNAConvertVariant* CNAStatementSQL::_pclGetValueHolder() {
  if (m_pclValue != nullptr) return m_pclValue;
  CNADriver* driver = CNADriver::s_pclDriver;
  m_pclValue = driver != nullptr ? driver->pclAllocVariant(m_pclError, m_pclCnx)
                                 : new (std::nothrow) CNAConvertVariant(m_pclError, m_pclCnx);
  if (m_pclValue == nullptr) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteHolderMemory, m_pclCnx, nullptr,
                               nullptr, 12);
    return nullptr;
  }
  m_pclValue->AddRef();
  return m_pclValue;
}

BOOL CNAStatementSQL::_bReadAsHolder(CAny* value, unsigned int column, unsigned int flags, unsigned short type) {
  CNAConvertVariant* holder = _pclGetValueHolder();
  if (holder == nullptr) return FALSE;
  holder->InitTypeVariantAny(type, 0);
  return bGetValue(holder, column, flags) && holder->bGetValue(value);
}

BOOL CNAStatementSQL::bGetValue(CAny* value, unsigned int column, unsigned int flags) {
  return _bReadAsHolder(value, column, flags, ZV_DSTRW);
}

BOOL CNAStatementSQL::bGetBLOBValue(CAny* value, unsigned int column, unsigned int flags) {
  return _bReadAsHolder(value, column, flags, ZV_BIN);
}

BOOL CNAStatementSQL::bGetRow(CXYStringConcat<wchar_t>* out, const wchar_t* separator, int columns,
                              unsigned int flags) {
  if (m_bEnd) {
    CNAError::g_RaiseUserError(m_pclError, NA_ERRORTYPE_DEFAULT, kSourceFile, kSiteNoCurrentRow, m_pclCnx, nullptr,
                               nullptr, 7, L"");
    return FALSE;
  }
  out->Vide();
  const unsigned int n = columns >= 1 && static_cast<unsigned int>(columns) < m_nColumnCount
                             ? static_cast<unsigned int>(columns)
                             : m_nColumnCount;
  const bool bSeparator = separator != nullptr && *separator != 0;
  for (unsigned int i = 0; i < n; ++i) {
    if (i > 0 && bSeparator) out->Add(separator);
    if (!bAddValueText(out, i, flags)) return FALSE;
  }
  return TRUE;
}

BOOL CNAStatementSQL::bAddValueText(CXYStringConcat<wchar_t>* out, unsigned int column, unsigned int flags) {
  CAny value;
  if (!bGetValue(&value, column, flags)) return FALSE;
  const wchar_t* text = nullptr;
  unsigned int length = 0;
  if (!value.bIsNull() && value.Intern()->nGetPCWSTR(&text) == 0 && value.Intern()->nGetSTRLEN(&length) == 0 &&
      text != nullptr && length > 0)
    out->Add(text, static_cast<int>(length));
  return TRUE;
}

BOOL CNAStatementSQL::bGetRow(CAny* value, const wchar_t* separator, int columns, unsigned int flags) {
  CXYStringConcat<wchar_t> text;
  if (!bGetRow(&text, separator, columns, flags)) return FALSE;
  SetWideText(value, ZV_PSTRW, text.pszGet(), text.nGetLength());
  return TRUE;
}
