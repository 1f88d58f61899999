#include "access/natablecache.h"

#include <new>

#include "access/nadataaccess.h"
#include "access/narecordcache.h"
#include "access/natablecacheindex.h"
#include "driver/naerror.h"
#include "sql/nastatement.h"

namespace {

// The item a position returns to is written into a buffer of this many characters.
constexpr int kItemLength = 255;

}  // namespace

CNATableCache::CNATableCache(CNAError* error, CNADataAccess* access) : m_pclError(error), m_pclDataAccess(access) {
  CNAError::s_Hold(m_pclError);
}

CNATableCache::~CNATableCache() {
  if (m_pclFullCache != nullptr) m_pclFullCache->nRelease();
  if (m_pclStatementParse != nullptr) m_pclStatementParse->nRelease();
  CNAError::s_Drop(&m_pclError);
}

BOOL CNATableCache::_bSetStatementParse(CNAStatement* statement) {
  statement->AddRef();
  m_pclStatementParse = statement;
  m_clFilter.SetFilter(statement->pclGetFilterNoRef());
  return TRUE;
}

BOOL CNATableCache::bSetStatementParse(CNAStatement* statement) {
  if (statement == nullptr) return FALSE;
  const BOOL result = m_pclStatementParse != nullptr ? TRUE : _bSetStatementParse(statement);
  statement->EnableCache(TRUE);
  return result;
}

BOOL CNATableCache::bIsStatementParse(const CNAStatement* statement) const {
  return statement != nullptr && statement == m_pclStatementParse ? TRUE : FALSE;
}

BOOL CNATableCache::bIsRecordCache(const CNARecordCache* c) const {
  if (c == nullptr) return FALSE;
  if (m_pclFullCache != nullptr) return c == m_pclFullCache ? TRUE : FALSE;
  return m_pclStatementParse != nullptr && c == m_pclStatementParse->pclGetRecordCacheNoRef() ? TRUE : FALSE;
}

BOOL CNATableCache::bIsEmpty() const {
  return m_pclFullCache == nullptr || m_pclFullCache->nGetCount() == 0 ? TRUE : FALSE;
}

BOOL CNATableCache::bInitDone() const {
  return m_pclFullCache == nullptr && m_pclStatementParse == nullptr ? TRUE : FALSE;
}

BOOL CNATableCache::bCacheCompleted() const {
  return m_pclStatementParse == nullptr || m_pclStatementParse->bCacheCompleted() ? TRUE : FALSE;
}

CNARecordCache* CNATableCache::pclGetFullCache() {
  if (m_pclFullCache != nullptr) return m_pclFullCache;
  if (m_pclStatementParse == nullptr) return nullptr;
  int position = -1;
  const bool saved = m_pclDataAccess != nullptr && m_pclDataAccess->pclGetLastStatementNoRef() != m_pclStatementParse &&
                     m_pclDataAccess->bHSauvePosition(&position, m_pclStatementParse->pszGetParseItem(),
                                                      static_cast<eNAPOSITION>(0));
  // Reading the rest of the result may make the access drop this table cache.
  AddRef();
  CNARecordCache* full = m_pclStatementParse->pclGetFullRecordCache();
  wchar_t item[kItemLength];
  if (full != nullptr) {
    full->AddRef();
    m_pclFullCache = full;
    if (saved) m_pclDataAccess->bHRetourPosition(position, item, 0, static_cast<eNAPOSITION>(0));
    CNAStatement* parse = m_pclStatementParse;
    m_pclStatementParse = nullptr;
    parse->nRelease();
  } else if (saved) {
    // Nothing to return to: the position and its record saves go.
    m_pclDataAccess->bHLiberePosition(position);
  }
  dwRelease();
  return full;
}

long long CNATableCache::llGetRecordNbr() {
  const CNARecordCache* full = pclGetFullCache();
  return full != nullptr ? full->nGetCount() : 0;
}

long long CNATableCache::llGetRecordNbrActive() {
  const CNARecordCache* full = pclGetFullCache();
  return full != nullptr ? full->nGetCount() - full->nGetDeletedCount() : 0;
}

CNATableCacheIndex* CNATableCache::pclGetCacheIndex(CNAStatement* statement, CNAColumn* column) {
  CNARecordCache* full = pclGetFullCache();
  if (full == nullptr) return nullptr;
  CNATableCacheIndex* index = new (std::nothrow) CNATableCacheIndex(m_pclError, statement, full, column);
  if (index == nullptr) {
    if (m_pclError != nullptr) m_pclError->pclGetXError()->SetErrorNoMemory();
    return nullptr;
  }
  index->AddRef();
  if (index->bInit()) return index;
  index->dwRelease();
  return nullptr;
}
