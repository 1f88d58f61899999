// CNATableCache: the whole result of one statement of a data access (the parse statement) held on
// the client under one filter, so that other orders, seeks and counts over it need no server.
// While the host browses, the parse statement's row cache fills; the first need for the whole
// set takes that cache, complete, as the full cache and lets the parse statement go. Indexes
// over the full cache (access/natablecacheindex.h) serve the other orders.
//
// Ownership: it holds a count on its error object, one reference on the parse statement until
// the full cache is taken, and one on the full cache after; it borrows its data access, which
// owns it. An index it makes belongs to the caller. Everything here runs under the driver mutex.
#pragma once

#include "platform/qxunknown.h"
#include "platform/wintypes.h"
#include "sql/nafilter.h"

class CNAColumn;
class CNADataAccess;
class CNAError;
class CNARecordCache;
class CNAStatement;
class CNATableCacheIndex;

class CNATableCache : public CQXUnknown {
 public:
  // Takes a count on error; borrows access.
  CNATableCache(CNAError* error, CNADataAccess* access);
  ~CNATableCache() override;
  CNATableCache(const CNATableCache&) = delete;
  CNATableCache& operator=(const CNATableCache&) = delete;

  // The first statement given becomes the parse statement, and its filter in force is recorded;
  // every statement given gets its row cache switched on. TRUE when one was already set, else
  // _bSetStatementParse's answer.
  BOOL bSetStatementParse(CNAStatement* statement);
  BOOL bIsStatementParse(const CNAStatement* statement) const;
  // c is the full cache, or before it is taken the parse statement's row cache.
  BOOL bIsRecordCache(const CNARecordCache* c) const;
  // No full cache, or one without rows.
  BOOL bIsEmpty() const;
  // TRUE only while neither a parse statement nor a full cache is set.
  BOOL bInitDone() const;
  // Whether filter is the one recorded with the parse statement (null equals an inactive one).
  BOOL bFilterEquals(const CNAFilter* filter) const { return m_clFilter.bFilterEquals(filter); }
  // The parse statement's row cache is active and complete; TRUE without a parse statement.
  BOOL bCacheCompleted() const;
  // The full cache, taken on first call from the parse statement (which reads the rest of its
  // result). When the parse statement is not the access's last statement, the access's position
  // is saved around the take: returned to (and freed) on success, freed on failure. Null when
  // there is no parse statement or the take fails.
  CNARecordCache* pclGetFullCache();
  // Whether the full cache has been taken.
  BOOL bHasFullCache() const { return m_pclFullCache != nullptr ? TRUE : FALSE; }
  // Rows of the full cache (0 when it cannot be had); the active ones leave the deleted out.
  long long llGetRecordNbr();
  long long llGetRecordNbrActive();
  // A built index of statement over column on the full cache, with one reference for the
  // caller; null without a full cache or when it cannot be built.
  CNATableCacheIndex* pclGetCacheIndex(CNAStatement* statement, CNAColumn* column);

  CNAStatement* pclGetStatementParseNoRef() const { return m_pclStatementParse; }

 protected:
  // Keeps statement (a reference) as the parse statement and records its filter. TRUE.
  virtual BOOL _bSetStatementParse(CNAStatement* statement);

 private:
  CNAError* m_pclError = nullptr;
  CNADataAccess* m_pclDataAccess;
  CNAStatement* m_pclStatementParse = nullptr;
  CNARecordCache* m_pclFullCache = nullptr;
  CNAFilterSave m_clFilter;
};
