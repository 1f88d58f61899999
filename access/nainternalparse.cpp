#include "access/nainternalparse.h"

#include <new>

#include "access/nadataaccess.h"
#include "access/narecord.h"
#include "driver/nadriver.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/nastatement.h"
#include "values/any.h"

namespace {
constexpr NA_WRITEPARSEFLAGS kNoRecordCache = 0x110000;
}  // namespace

CNAInternalParse::~CNAInternalParse() {
  if (m_pclStatement != nullptr) m_pclStatement->nRelease();
  if (m_pclDataAccess != nullptr) m_pclDataAccess->nRelease();
}

CNAInternalParse* CNAInternalParse::s_pclGetNAInternalParse(const wchar_t* sql, CNAError* error,
                                                            CNAConnectionDescription* cnx) {
  CNAInternalParse* parse = new (std::nothrow) CNAInternalParse(error, cnx);
  if (parse == nullptr) {
    CNAError::g_RaiseNoMemory(error, cnx);
    return nullptr;
  }
  if (parse->_bAllocate() && parse->_bExecute(sql)) return parse;
  parse->AddRef();
  parse->dwRelease();
  return nullptr;
}

BOOL CNAInternalParse::s_bDoInternalParse(const wchar_t* sql, CNAError* error, CNAConnectionDescription* cnx,
                                          CXYStringConcat<wchar_t>* out, const wchar_t* lineSeparator,
                                          const wchar_t* columnSeparator) {
  CNAInternalParse* parse = s_pclGetNAInternalParse(sql, error, cnx);
  if (parse == nullptr) return FALSE;
  parse->AddRef();
  // A text without result columns has no rows to read.
  const BOOL ok = parse->m_pclStatement == nullptr || parse->bFetchAll(out, lineSeparator, columnSeparator);
  parse->dwRelease();
  return ok;
}

BOOL CNAInternalParse::_bAllocate() {
  CNADriver* driver = CNADriver::s_pclDriver;
  m_pclDataAccess = driver != nullptr ? driver->pclAllocDataAccess(nullptr, m_pclConnection, m_pclError) : nullptr;
  if (m_pclDataAccess == nullptr) {
    CNAError::g_RaiseNoMemory(m_pclError, m_pclConnection);
    return FALSE;
  }
  m_pclDataAccess->AddRef();
  return TRUE;
}

BOOL CNAInternalParse::_bExecute(const wchar_t* sql) {
  if (!m_pclDataAccess->bExecuteQueryInternal(&m_pclStatement, L"$QXInternal", sql)) return FALSE;
  // Rows come straight from the server's result.
  if (m_pclStatement != nullptr) m_pclStatement->EnableCache(0);
  return TRUE;
}

BOOL CNAInternalParse::bFetch(eNA_PARSEDIRECTION direction, int* outOfRange) {
  if (m_pclStatement == nullptr) {
    if (outOfRange != nullptr) *outOfRange = 1;
    return TRUE;
  }
  if (!m_pclStatement->bFetch(direction, 1, 1)) return FALSE;
  return m_pclStatement->HEndehors(outOfRange);
}

BOOL CNAInternalParse::bFetchData(eNA_PARSEDIRECTION direction, int* outOfRange, CAny* values, int count) {
  return m_pclStatement != nullptr && m_pclStatement->bFetchData(direction, outOfRange, values, count);
}

BOOL CNAInternalParse::bFetchData(eNA_PARSEDIRECTION direction, int* outOfRange, CXYStringConcat<wchar_t>* out,
                                  const wchar_t* lineSeparator, const wchar_t* columnSeparator) {
  if (m_pclStatement == nullptr) return FALSE;
  const BOOL fetched = m_pclStatement->bFetch(direction, 1, 1);
  int out0 = 1;
  m_pclStatement->HEndehors(&out0);
  if (outOfRange != nullptr) *outOfRange = out0;
  if (!fetched || out0) return fetched;
  const unsigned int before = out->nGetLength();
  if (!out->bEstVide() && lineSeparator != nullptr && *lineSeparator != 0) out->Add(lineSeparator);
  CNARecord* record = m_pclStatement->pclGetCurrentRecordNoRef();
  const int columns = record != nullptr ? record->nGetNbColumn() : 0;
  for (int i = 0; i < columns; ++i) {
    CAny value;
    if (!record->pclGetColumnNoRef(i)->bGetCurrentValue(&value, 0)) {
      // Half a row would read as a whole one.
      out->Tronque(before);
      return FALSE;
    }
    const wchar_t* text = nullptr;
    const bool shown = value.__nCastTo(ZV_PSTRW, nullptr, 0) <= 99 && !value.bIsNull() &&
                       value.__nCastToString(&text, nullptr) <= 99 && text != nullptr;
    if (i > 0 && columnSeparator != nullptr && *columnSeparator != 0) out->Add(columnSeparator);
    if (shown && *text != 0) out->Add(text);
  }
  return TRUE;
}

BOOL CNAInternalParse::bFetchAll(CXYStringConcat<wchar_t>* out, const wchar_t* lineSeparator,
                                 const wchar_t* columnSeparator) {
  if (m_pclStatement == nullptr) return FALSE;
  int outOfRange = 1;
  BOOL ok = bFetchData(NA_PARSE_FIRST, &outOfRange, out, lineSeparator, columnSeparator);
  while (ok && !outOfRange) ok = bFetchData(NA_PARSE_NEXT, &outOfRange, out, lineSeparator, columnSeparator);
  return ok;
}

BOOL CNAInternalParse::bReExecute() {
  return m_pclStatement != nullptr && m_pclStatement->bExecutePreparedQuery(kNoRecordCache, 0);
}

int CNAInternalParse::nGetColumnNbr() const {
  CNARecord* record = m_pclStatement != nullptr ? m_pclDataAccess->pclGetCurrentRecordNoRef() : nullptr;
  return record != nullptr ? record->nGetNbColumn() : 0;
}

CNAColumn* CNAInternalParse::pclGetColumnNoRef(const wchar_t* name) const {
  CNARecord* record = m_pclDataAccess != nullptr ? m_pclDataAccess->pclGetCurrentRecordNoRef() : nullptr;
  return record != nullptr ? record->pclGetColumnNoRef(name) : nullptr;
}

CNAColumn* CNAInternalParse::pclGetColumnNoRef(int i) const {
  return m_pclDataAccess->pclGetCurrentRecordNoRef()->pclGetColumnNoRef(i);
}
